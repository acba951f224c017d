// Sound output on SDL2's audio subsystem. The SDL driver is SDL's choice, or the one named
// by SDL_AUDIODRIVER ("dummy" for tests, "disk" to capture what is played).
#pragma once

#include <SDL.h>

#include <atomic>

#include "platform/mm/WaveOut.h"

namespace lunavue::mm {

class SdlWaveOut : public WaveOut {
  public:
    static constexpr int kMaxQueued = 16;

    SdlWaveOut() = default;
    ~SdlWaveOut() override;

    bool Open(const WAVEFORMATEX& format) override;
    void Prepare(WaveHeader& h) override;
    void Unprepare(WaveHeader& h) override;
    void Write(WaveHeader& h) override;
    void Pause() override;
    void Restart() override;
    void Reset() override;
    void Close() override;
    bool HoldsSound() override;
    void SetVolume(int percent) override;
    uint32_t Underruns() const override { return underruns_.load(); }

  private:
    static void Callback(void* self, Uint8* stream, int len);
    void Fill(Uint8* stream, int len);
    void Scale(Uint8* stream, int len) const;

    SDL_AudioDeviceID device_ = 0;
    uint8_t silence_ = 0;
    bool sixteenBits_ = true;
    std::atomic<int> volume_{100};
    uint32_t bufferMs_ = 0;  // the sound one callback hands the device
    // Guarded by the SDL device lock, with the written buffers in play order.
    bool paused_ = false;       // asked by Pause
    bool started_ = false;      // the first buffer has been written
    uint32_t lastTakenMs_ = 0;  // when the callback took the last bytes of a buffer
    WaveHeader* queue_[kMaxQueued] = {};
    int head_ = 0;
    int count_ = 0;
    uint32_t offset_ = 0;  // bytes of the head buffer already played
    bool dry_ = false;     // the device ran out of sound after playing some
    std::atomic<uint32_t> underruns_{0};
};

}  // namespace lunavue::mm
