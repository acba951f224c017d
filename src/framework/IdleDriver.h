// Calls the application's idle hook whenever the event loop has nothing else to do: with a
// count that starts at 0 after each event and rises while the queue stays empty, again and
// again for as long as the hook answers true (no sooner than the owner's wait says nothing
// will change, and at least about once a millisecond otherwise), and not again until the
// next event once it answers false.
//
// While a menu or a modal dialog holds the main loop, the idle hook does not run; the modal
// hook runs instead, again after as many milliseconds as it answers, so that a playing
// movie keeps moving.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace lunavue {

class IdleDriver : public QObject {
    Q_OBJECT
  public:
    using Hook = std::function<bool(int count)>;
    // wait: how long the next call may wait when the hook wants more (at least 1 ms).
    using Wait = std::function<int()>;
    using ModalHook = std::function<int()>;
    IdleDriver(Hook hook, Wait wait, ModalHook modal, QObject* parent = nullptr);
    ~IdleDriver() override;

    // A menu or a modal dialog opens (true) or closes (false); they may nest.
    void SetModal(bool on);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void RunIdle();
    int NextWait() const;

    Hook hook_;
    Wait wait_;
    ModalHook modal_;
    QTimer timer_;
    int count_ = 0;
    bool sawEvent_ = true;
    int modalDepth_ = 0;
};

}  // namespace lunavue
