#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/CTovrinApp.h"
#include "framework/Translation.h"
#include "res/Resources.h"

namespace {

const char kUsage[] =
    "usage: lunavue [MOVIE ...] [-play] [-close]\n"
    "\n"
    "Plays FILM movies (.cpk): Cinepak video with PCM or ADPCM sound.\n"
    "\n"
    "The movies named go into the play queue, in order, and play one after another.\n"
    "  -play    start each movie as soon as it is opened\n"
    "  -close   end the program when the queue is done\n"
    "  (\"/play\" and \"/close\" work too; the words are not case-sensitive)\n"
    "\n"
    "Movies also reach the queue through File > Open (several at once), Ctrl+O, the\n"
    "recent-file list, and by dropping them on the window. Starting lunavue with movies\n"
    "while it runs hands them, and the flags, to the running player.\n"
    "\n"
    "Settings are kept in an INI file beside the program (lunavue.ini next to lunavue);\n"
    "LUNAVUE_INI names another one.\n"
    "\n"
    "Sound goes through the desktop's sound server (PulseAudio, or PipeWire's pulse\n"
    "server) where one answers, else through SDL (ALSA). LUNAVUE_SOUND=sdl or =pulse\n"
    "asks for one; SDL_AUDIODRIVER set asks for SDL.\n"
    "\n"
    "Keys:\n";

void PrintUsage() {
    std::fputs(kUsage, stdout);
    for (const lunavue::res::Accelerator& a : lunavue::res::Accelerators()) {
        std::printf("  %-8s %s\n", a.key, a.help);
    }
    std::puts(
        "  The mouse wheel turns the volume; a double click on the picture toggles full\n"
        "  screen; a right click on it goes to that point of the movie; a click ends\n"
        "  full screen.");
}

// Window placement, the saved position, Maximum and full screen rely on what X11 lets a
// program do; on a Wayland desktop the X11 server it runs (XWayland) is used when there is
// one, unless a platform is asked for.
void PreferX11() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    if ((platform == nullptr || *platform == '\0') && display != nullptr && *display != '\0' &&
        std::getenv("WAYLAND_DISPLAY") != nullptr) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}
int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    (void)!write(g_signalPipe[1], &byte, 1);
}
}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lunavue %s\n", LUNAVUE_VERSION);
            return 0;
        }
    }
    // A write beyond the file size limit fails like any other write instead of killing us.
    signal(SIGXFSZ, SIG_IGN);
    PreferX11();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Lunavue");
    QApplication::setApplicationVersion(LUNAVUE_VERSION);
    lunavue::InstallTranslation(qapp);
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
