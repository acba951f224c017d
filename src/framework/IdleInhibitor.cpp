#include "framework/IdleInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

// Xlib last: its macros would clash with the toolkit's names.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace lunavue {
namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
// How often the X server's saver is put off: well within any timeout a person sets.
constexpr int kResetMs = 1000;

QDBusMessage Call(const char* method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

}  // namespace

IdleInhibitor::IdleInhibitor(QObject* parent) : QObject(parent) {
    reset_.setInterval(kResetMs);
    connect(&reset_, &QTimer::timeout, this, &IdleInhibitor::KeepXAwake);
}

IdleInhibitor::~IdleInhibitor() {
    SetInhibited(false);
}

void IdleInhibitor::SetInhibited(bool on) {
    if (on == on_) {
        return;
    }
    on_ = on;
    SuspendXSaver(on);
    if (on) {
        AskService();
    } else {
        ReleaseService();
    }
}

// The request goes out without waiting; its answer (the cookie) comes back later. Where no
// service answers, nothing more is done.
void IdleInhibitor::AskService() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || asking_ || cookie_ != 0) {
        return;
    }
    QDBusMessage inhibit = Call("Inhibit");
    inhibit << QStringLiteral("Lunavue") << QStringLiteral("Playing a movie");
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint32_t> reply = *w;
        w->deleteLater();
        asking_ = false;
        if (!reply.isError()) {
            cookie_ = reply.value();
            if (!on_) {
                ReleaseService();  // released while the request was on its way
            }
        }
    });
}

void IdleInhibitor::ReleaseService() {
    if (cookie_ == 0) {
        return;
    }
    QDBusMessage release = Call("UnInhibit");
    release << cookie_;
    QDBusConnection::sessionBus().call(release, QDBus::NoBlock);
    cookie_ = 0;
}

// With the extension the server holds its saver off until told otherwise (or until this
// client goes); without it the saver is put off now and every second.
void IdleInhibitor::SuspendXSaver(bool suspend) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) {
        return;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (XScreenSaverQueryExtension(display, &event, &error) &&
        XScreenSaverQueryVersion(display, &major, &minor) && (major > 1 || minor >= 1)) {
        XScreenSaverSuspend(display, suspend ? True : False);
        XFlush(display);
    } else if (suspend) {
        KeepXAwake();
        reset_.start();
    } else {
        reset_.stop();
    }
}

void IdleInhibitor::KeepXAwake() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (Display* display = x11 != nullptr ? x11->display() : nullptr) {
        XResetScreenSaver(display);
        XFlush(display);
    }
}

}  // namespace lunavue
