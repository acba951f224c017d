// Keeps the screen lit while a movie plays: asks the desktop's screen saver service
// (org.freedesktop.ScreenSaver on the session bus, where there is one) not to start, and on
// X11 also suspends the server's own screen saver (the MIT-SCREEN-SAVER extension's
// suspension, which the server ends by itself should the player go), so that plain X
// sessions stay lit too; only a server without the extension has its saver put off every
// second. Released as soon as the owner says so (pause, stop, end, exit).
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace lunavue {

class IdleInhibitor : public QObject {
    Q_OBJECT
  public:
    explicit IdleInhibitor(QObject* parent = nullptr);
    ~IdleInhibitor() override;

    void SetInhibited(bool on);
    bool Inhibited() const { return on_; }

  private:
    void AskService();
    void ReleaseService();
    void KeepXAwake();
    void SuspendXSaver(bool suspend);

    bool on_ = false;
    QTimer reset_;         // the X server's saver put off again and again, without the extension
    uint32_t cookie_ = 0;  // the service's answer to our request; 0: none
    bool asking_ = false;  // a request is on its way
};

}  // namespace lunavue
