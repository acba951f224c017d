#include "display/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "display/Geometry.h"

namespace lunavue {
namespace {

// How long to wait for a window manager to report its decorations.
constexpr int kPollMs = 50;
constexpr int kPolls = 200;  // ten seconds: a window manager starting beside a busy machine

// A screen to size against when the window system reports none.
const QRect kFallbackScreen(0, 0, 640, 480);

geometry::Rect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

}  // namespace

WindowPlacement::WindowPlacement(QWidget* window, std::function<void()> replace)
    : QObject(window), window_(window), replace_(std::move(replace)) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &WindowPlacement::CheckDecorations);
    // A screen that goes or changes its work area may leave the window off it.
    auto watch = [this](QScreen* s) {
        connect(s, &QScreen::availableGeometryChanged, this, [this] { replace_(); });
    };
    for (QScreen* s : QGuiApplication::screens()) {
        watch(s);
    }
    connect(qApp, &QGuiApplication::screenAdded, this, watch);
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { replace_(); });
}

void WindowPlacement::WatchForDecorations() {
    polls_ = 0;
    poll_.start();
}

void WindowPlacement::CheckDecorations() {
    const QWindow* w = window_->windowHandle();
    const QMargins now = w != nullptr ? w->frameMargins() : QMargins();
    if (now != QMargins() && now != known_) {
        known_ = now;
        poll_.stop();
        replace_();
    } else if (++polls_ >= kPolls) {
        poll_.stop();  // no window manager, or one without decorations
    }
}

QMargins WindowPlacement::Decorations() const {
    const QWindow* w = window_->windowHandle();
    const QMargins now = w != nullptr ? w->frameMargins() : QMargins();
    return now != QMargins() ? now : known_;
}

bool WindowPlacement::Decorated() const {
    const QWindow* w = window_->windowHandle();
    return w != nullptr && w->frameMargins() != QMargins();
}

QScreen* WindowPlacement::Screen() const {
    const QRect outer = window_->geometry().marginsAdded(Decorations());
    QScreen* best = nullptr;
    int most = 0;
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect common = s->geometry().intersected(outer);
        if (common.width() * common.height() > most) {
            most = common.width() * common.height();
            best = s;
        }
    }
    return best != nullptr ? best : QGuiApplication::primaryScreen();
}

QRect WindowPlacement::ScreenGeometry() const {
    const QScreen* s = Screen();
    return s != nullptr ? s->geometry() : kFallbackScreen;
}

QRect WindowPlacement::WorkArea() const {
    const QScreen* s = Screen();
    return s != nullptr ? s->availableGeometry() : kFallbackScreen;
}

QRect WindowPlacement::Inside(const QRect& client) const {
    const QMargins d = Decorations();
    const geometry::Rect outer =
        geometry::KeepInside(ToRect(client.marginsAdded(d)), ToRect(WorkArea()));
    return QRect(outer.x + d.left(), outer.y + d.top(), client.width(), client.height());
}

void WindowPlacement::FitInside() {
    const QMargins d = Decorations();
    const QRect area = WorkArea();
    const QSize most(std::max(1, area.width() - d.left() - d.right()),
                     std::max(1, area.height() - d.top() - d.bottom()));
    QRect client = window_->geometry();
    client.setSize(client.size().boundedTo(most));
    client = Inside(client);
    if (client != window_->geometry()) {
        window_->setGeometry(client);
    }
}

void WindowPlacement::KeepInside() {
    const QRect client = window_->geometry();
    const QRect inside = Inside(client);
    if (inside != client) {
        window_->setGeometry(inside);
    }
}

}  // namespace lunavue
