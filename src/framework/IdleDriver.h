// Calls the application's idle hook whenever the event loop has nothing else to do: with a
// count that starts at 0 after each event and rises while the queue stays empty, again and
// again for as long as the hook answers true (about once a millisecond, so that a playing
// movie is polled continuously without spinning a core), and not again until the next
// event once it answers false.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace lunavue {

class IdleDriver : public QObject {
    Q_OBJECT
  public:
    using Hook = std::function<bool(int count)>;
    explicit IdleDriver(Hook hook, QObject* parent = nullptr);
    ~IdleDriver() override;

    // Suspends idle calls (a modal dialog or a menu is open) or resumes them.
    void SetEnabled(bool on);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void RunIdle();

    Hook hook_;
    QTimer timer_;
    int count_ = 0;
    bool sawEvent_ = true;
    bool enabled_ = true;
};

}  // namespace lunavue
