// The sound device of a movie that has none to play on: it takes every buffer and marks it
// done once the clock has passed the time the buffer would take to play, so that playback
// keeps the same pace, pauses and ending with or without a device. Nothing is heard.
#pragma once

#include <mutex>

#include "platform/mm/Clock.h"
#include "platform/mm/WaveOut.h"

namespace lunavue::mm {

class NullWaveOut : public WaveOut {
  public:
    static constexpr int kMaxQueued = 16;

    explicit NullWaveOut(Clock& clock) : clock_(clock) {}

    bool Open(const WAVEFORMATEX& format) override;
    void Prepare(WaveHeader& h) override { h.dwFlags |= WHDR_PREPARED; }
    void Unprepare(WaveHeader& h) override { h.dwFlags &= ~WHDR_PREPARED; }
    void Write(WaveHeader& h) override;
    void Pause() override;
    void Restart() override;
    void Reset() override;
    void Close() override { Reset(); }
    bool IsDone(const WaveHeader& h) override;

  private:
    void PlayUpTo(uint32_t now);  // marks every buffer done whose time has passed

    struct Queued {
        WaveHeader* header;
        uint32_t end;  // clock time at which it has been played
    };
    Clock& clock_;
    std::mutex mutex_;
    uint32_t bytesPerSecond_ = 0;
    Queued queue_[kMaxQueued] = {};
    int head_ = 0;
    int count_ = 0;
    bool paused_ = false;
    uint32_t pausedAt_ = 0;
};

}  // namespace lunavue::mm
