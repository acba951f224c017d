// A stand-in for the desktop's screen saver service on a private session bus: it takes
// org.freedesktop.ScreenSaver and writes each Inhibit and UnInhibit it receives to standard
// output, a line each, until it is killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <cstdio>

class ScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        std::printf("Inhibit %s (%s) -> %u\n", qPrintable(application), qPrintable(reason),
                    ++last_);
        std::fflush(stdout);
        return last_;
    }
    void UnInhibit(uint cookie) {
        std::printf("UnInhibit %u\n", cookie);
        std::fflush(stdout);
    }

  private:
    uint last_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ScreenSaver saver;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/ScreenSaver", &saver,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.ScreenSaver")) {
        std::fprintf(stderr, "fake_screensaver: cannot take the name\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_screensaver.moc"
