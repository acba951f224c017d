// The sound device of a movie that has none to play on: it takes every write and counts it
// played once the clock has passed the time it would take to play, so that playback keeps
// the same pace, pauses and ending with or without a device. Nothing is heard.
#pragma once

#include <mutex>

#include "platform/mm/Clock.h"
#include "platform/mm/WaveOut.h"

namespace lunavue::mm {

class NullWaveOut : public WaveOut {
  public:
    explicit NullWaveOut(Clock& clock) : clock_(clock) {}

    bool Open(const WAVEFORMATEX& format, std::string& reason) override;
    void Close() override { Reset(); }
    void Write(const uint8_t* data, uint32_t len) override;
    int Space() override;
    uint64_t Played() override;
    uint32_t DelayMs() override;
    void Pause() override;
    void Resume() override;
    void Reset() override;

  private:
    void PlayUpTo(uint32_t now);  // counts every write played whose time has passed
    uint32_t Now() const { return paused_ ? pausedAt_ : clock_.NowMs(); }

    Clock& clock_;
    std::mutex mutex_;
    uint32_t bytesPerSecond_ = 0;
    uint32_t ends_[kMaxQueued] = {};  // clock time at which each queued write has played
    int head_ = 0;
    int count_ = 0;
    uint64_t played_ = 0;
    bool paused_ = false;
    uint32_t pausedAt_ = 0;
};

}  // namespace lunavue::mm
