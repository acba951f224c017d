// The engine's announcements as Qt signals, so that any widget or service of the window
// half can subscribe: the frame's bars, the desktop's media controls, the idle inhibitor and
// the queue window follow the document through these instead of asking it on every idle
// pass. Main thread only, as the engine announces them.
#pragma once

#include <QObject>
#include <cstdint>

#include "playback/DocumentHost.h"

namespace lunavue {

class DocumentEvents : public QObject, public DocumentObserver {
    Q_OBJECT
  public:
    using QObject::QObject;

    void MovieOpened() override { emit movieOpened(); }
    void MovieClosed() override { emit movieClosed(); }
    void StateChanged(PlayState state) override { emit stateChanged(state); }
    void PositionChanged(uint32_t ms) override { emit positionChanged(ms); }
    void PositionJumped(uint32_t ms) override { emit positionJumped(ms); }
    void QueueChanged() override { emit queueChanged(); }
    void LoopChanged(bool on) override { emit loopChanged(on); }
    void VolumeChanged(int percent) override { emit volumeChanged(percent); }

  signals:
    void movieOpened();
    void movieClosed();
    void stateChanged(lunavue::PlayState state);
    void positionChanged(uint32_t ms);
    void positionJumped(uint32_t ms);
    void queueChanged();
    void loopChanged(bool on);
    void volumeChanged(int percent);
};

}  // namespace lunavue
