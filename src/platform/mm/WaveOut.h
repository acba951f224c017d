// Sound output from a queue of caller-owned buffers, played in the order they are written.
//
// Each buffer is described by a WaveHeader. A header counts as free while it is done:
// prepared and not yet written, or played to its end. The device marks buffers done on its
// own thread; callers ask IsDone.
//
// Threads: Open, Prepare, Unprepare, Pause, Restart, Reset and Close come from the main
// thread while no timer tick runs; Write and IsDone from the timer thread while one runs,
// IsDone and HoldsSound also from the main thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Formats.h"

namespace lunavue::mm {

inline constexpr uint32_t WHDR_DONE = 0x1;
inline constexpr uint32_t WHDR_PREPARED = 0x2;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

struct WaveHeader {
    uint8_t* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    std::atomic<uint32_t> dwFlags{0};
    uint32_t dwLoops = 0;
};

class WaveOut {
  public:
    virtual ~WaveOut() = default;
    // Opens the device for this PCM format (8-bit unsigned or 16-bit little-endian, 1 or 2
    // channels, any rate). False when the device or the format is not available.
    virtual bool Open(const WAVEFORMATEX& format) = 0;
    virtual void Prepare(WaveHeader& h) = 0;
    virtual void Unprepare(WaveHeader& h) = 0;
    // Queues the header's dwBufferLength bytes behind every buffer written before. The
    // device starts playing with the first buffer written after Open or Reset, unless it
    // is paused.
    virtual void Write(WaveHeader& h) = 0;
    virtual void Pause() = 0;
    virtual void Restart() = 0;
    // Stops at once and marks every queued buffer done.
    virtual void Reset() = 0;
    virtual void Close() = 0;
    // Whether the buffer has been played to its end (or was never written).
    virtual bool IsDone(const WaveHeader& h) { return (h.dwFlags.load() & WHDR_DONE) != 0; }
    // Whether sound the device took from finished buffers is still to be heard (a device
    // copies ahead of what it plays).
    virtual bool HoldsSound() { return false; }
    // Scales what is played to percent (0 to 100) of its level; 100 plays the bytes as they
    // are. Kept across Open and Close; from the main thread at any time.
    virtual void SetVolume(int percent) { (void)percent; }
    // Times the device ran dry inside a stream (a gap of silence), since it was made.
    virtual uint32_t Underruns() const { return 0; }
};

}  // namespace lunavue::mm
