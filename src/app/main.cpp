#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <string>
#include <vector>

#include "app/CTovrinApp.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    (void)!write(g_signalPipe[1], &byte, 1);
}
}  // namespace

int main(int argc, char** argv) {
    // A write beyond the file size limit fails like any other write instead of killing us.
    signal(SIGXFSZ, SIG_IGN);
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Lunavue");
    QApplication::setApplicationVersion(LUNAVUE_VERSION);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    lunavue::CTovrinApp app;
    if (!app.InitInstance(args)) {
        return app.Forwarded() ? 0 : app.ExitInstance();
    }
    // SIGTERM and SIGHUP (the session ending), and SIGINT and SIGQUIT from a terminal, end
    // the program as a log-off does: the document and the view keep their settings; no
    // close request reaches the window, so its position is not saved.
    std::unique_ptr<QSocketNotifier> terminate;
    if (pipe(g_signalPipe) == 0) {
        terminate = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(terminate.get(), &QSocketNotifier::activated,
                         [] { QApplication::exit(0); });
        struct sigaction sa {};
        sa.sa_handler = OnTerminate;
        sigemptyset(&sa.sa_mask);
        for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
            sigaction(signal, &sa, nullptr);
        }
    }
    return app.Run();
}
