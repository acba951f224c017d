// Where the main window goes on the screens: whole, decorations included, inside the work
// area of the screen it is on (a window off every screen, its monitor unplugged, comes back
// to the primary one). The window manager's decorations are known only once it reports them,
// some time after the window is first shown; until then they count as none, and the owner is
// told when they arrive, so that it can place the window again.
#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <functional>

class QScreen;
class QWidget;

namespace lunavue {

class WindowPlacement : public QObject {
    Q_OBJECT
  public:
    // window: the top-level window; replace: called when the decorations become known and
    // when the screens change, to place the window again.
    WindowPlacement(QWidget* window, std::function<void()> replace);

    // Starts looking for the decorations the window manager puts around the shown window.
    void WatchForDecorations();
    // The decorations' width on each side, as the window manager reports them (none yet,
    // or none without a window manager).
    QMargins Decorations() const;
    // Whether the window has decorations around it right now (full screen has none).
    bool Decorated() const;
    // The screen most of the window is on, else the primary screen.
    QScreen* Screen() const;
    QRect ScreenGeometry() const;
    QRect WorkArea() const;
    // The window's own area placed so that its decorated frame lies inside the work area.
    QRect Inside(const QRect& client) const;
    // Moves the window so (keeping its size).
    void KeepInside();
    // Makes the window no larger than the work area (its decorations counted) and moves it
    // inside: for a window whose saved size and place may come from screens now gone.
    void FitInside();

  private:
    void CheckDecorations();

    QWidget* window_;
    std::function<void()> replace_;
    QTimer poll_;
    int polls_ = 0;
    QMargins known_;
};

}  // namespace lunavue
