// Calls the application's idle hook whenever the event loop has nothing else to do: with a
// count that starts at 0 after each event and rises while the queue stays empty, again and
// again for as long as the hook answers true (about once a millisecond, so that a playing
// movie is polled continuously without spinning a core), and not again until the next
// event once it answers false. The hook's owner may say how long nothing will change, and
// the next call then comes no earlier than that.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace lunavue {

class IdleDriver : public QObject {
    Q_OBJECT
  public:
    using Hook = std::function<bool(int count)>;
    // wait: how long the next idle call may wait when the hook wants more (at least 1 ms).
    using Wait = std::function<int()>;
    explicit IdleDriver(Hook hook, Wait wait = {}, QObject* parent = nullptr);
    ~IdleDriver() override;

    // Suspends idle calls (a modal dialog or a menu is open) or resumes them.
    void SetEnabled(bool on);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void RunIdle();

    Hook hook_;
    Wait wait_;
    QTimer timer_;
    int count_ = 0;
    bool sawEvent_ = true;
    bool enabled_ = true;
};

}  // namespace lunavue
