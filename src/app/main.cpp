#include <QApplication>
#include <string>
#include <vector>

#include "app/CTovrinApp.h"

int main(int argc, char** argv) {
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
    return app.Run();
}
