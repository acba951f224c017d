// Sound output on SDL2's audio subsystem. The SDL driver is SDL's choice, or the one named
// by SDL_AUDIODRIVER ("dummy" for tests, "disk" to capture what is played).
#pragma once

#include <SDL.h>

#include <atomic>

#include "platform/mm/WaveOut.h"

namespace lunavue::mm {

class SdlWaveOut : public WaveOut {
  public:
    SdlWaveOut() = default;
    ~SdlWaveOut() override;

    bool Open(const WAVEFORMATEX& format, std::string& reason) override;
    void Close() override;
    void Write(const uint8_t* data, uint32_t len) override;
    int Space() override;
    uint64_t Played() override { return played_.load(); }
    uint32_t DelayMs() override;
    void Pause() override;
    void Resume() override;
    void Reset() override;
    void SetVolume(int percent) override;
    uint32_t Underruns() const override { return underruns_.load(); }
    bool HeardMs(uint32_t& ms) override;

  private:
    static void Callback(void* self, Uint8* stream, int len);
    void Fill(Uint8* stream, int len);

    SDL_AudioDeviceID device_ = 0;
    uint8_t silence_ = 0;
    bool sixteenBits_ = true;
    std::atomic<int> volume_{100};
    uint32_t bytesPerSecond_ = 0;  // of the format the device plays
    uint32_t bufferMs_ = 0;        // the sound one callback hands the device
    std::atomic<uint64_t> played_{0};
    std::atomic<uint32_t> underruns_{0};
    // Guarded by the SDL device lock, with the written buffers in play order.
    struct Queued {
        const uint8_t* data;
        uint32_t len;
    };
    bool paused_ = false;   // asked by Pause
    bool started_ = false;  // the first buffer has been written
    Queued queue_[kMaxQueued] = {};
    int head_ = 0;
    int count_ = 0;
    uint32_t offset_ = 0;       // bytes of the head buffer already played
    uint64_t queuedBytes_ = 0;  // bytes written and not yet handed to SDL
    uint32_t lastFillMs_ = 0;   // when the callback last handed SDL written sound
    uint32_t lastSoundMs_ = 0;  // how much written sound that callback handed over
    bool dry_ = false;          // the device ran out of sound after playing some
    uint64_t handedBytes_ = 0;  // written sound handed to SDL since Open or Reset
    uint32_t heardBaseMs_ = 0;  // of it, before the last callback
    uint32_t deviceLagMs_ = 0;  // what the device holds before it plays
};

}  // namespace lunavue::mm
