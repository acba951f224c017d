// Sound output: buffers of sound in the device's format (8-bit unsigned or 16-bit
// little-endian PCM, interleaved), played in the order they are written.
//
// The device reads a written buffer where it lies (no copy), so the caller keeps it as it is
// until Played() has counted that write. Writes are counted from 1 after each Open.
//
// Threads: Open, Pause, Resume, Reset and Close come from the main thread while no timer
// tick runs; Write, Space and Played from the timer thread while one runs; Played,
// DelayMs, HeardMs, Lost and Available also from the main thread; SetVolume and SetTitle
// from the main thread at any time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Formats.h"

namespace lunavue::mm {

class WaveOut {
  public:
    // The most writes that can wait at the device at once.
    static constexpr int kMaxQueued = 16;

    virtual ~WaveOut() = default;
    // Opens the device for this PCM format (1 or 2 channels, 8 or 16 bits, any rate). On
    // failure, reason says why in the words of the layer that failed.
    virtual bool Open(const WAVEFORMATEX& format, std::string& reason) = 0;
    virtual void Close() = 0;
    // Queues len bytes behind every write before, when Space() allows. The device starts
    // playing with the first write after Open or Reset, unless it is paused.
    virtual void Write(const uint8_t* data, uint32_t len) = 0;
    // How many more writes the device takes now.
    virtual int Space() = 0;
    // Writes played to their end since Open. Reset counts every queued write as played.
    virtual uint64_t Played() = 0;
    // Milliseconds until the last sound written has been heard: what still waits in the
    // queue and what the device itself holds. 0 once everything has been heard.
    virtual uint32_t DelayMs() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Stops at once and drops every queued write (each counts as played).
    virtual void Reset() = 0;
    // Scales what is played to percent (0 to 100) of its level; 100 plays the bytes as they
    // are. Kept across Open and Close.
    virtual void SetVolume(int percent) { (void)percent; }
    // Times the device ran dry inside a stream (a gap of silence), since it was made.
    virtual uint32_t Underruns() const { return 0; }

    // Where the listener is: milliseconds of the sound written since Open or Reset that have
    // been heard, as the device itself measures it (what it still holds counted out). False
    // when the device cannot say, or when its sound does not flow (nothing written yet, or
    // it ran dry): the caller's clock then paces alone. Optional.
    virtual bool HeardMs(uint32_t& ms) {
        (void)ms;
        return false;
    }
    // The device went away since Open (a sound server that ended): what is written now is
    // dropped and counted played at once. Open again once Available() says it is back.
    virtual bool Lost() { return false; }
    // Whether Open would find the device now.
    virtual bool Available() { return true; }
    // The name the desktop's mixer shows for the sound (the movie's title).
    virtual void SetTitle(const std::string& title) { (void)title; }
};

}  // namespace lunavue::mm
