// The sound of the playing movie on its way to the device: ten buffers of the reader's chunk
// size, written to the device in the order their chunks come, each free again once the device
// has played it. The buffers live as long as the movie is open; the device is open only
// while the clock runs. A movie whose sound the platform's device cannot play is written to
// a null device that keeps the same pace, so that pauses and the end of the movie behave
// alike with or without sound.
//
// Threads: the main thread allocates, opens, pauses, resumes and closes while no tick runs;
// the timer thread feeds while the clock runs; StillPlaying comes from the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "movie/MovieReader.h"
#include "platform/mm/Clock.h"
#include "platform/mm/NullWaveOut.h"
#include "platform/mm/TempoStretcher.h"
#include "platform/mm/WaveOut.h"

namespace lunavue {

class AudioOutputQueue {
  public:
    static constexpr int kBuffers = 10;

    AudioOutputQueue(mm::WaveOut& device, mm::Clock& clock) : device_(device), null_(clock) {}

    // Ten buffers of capacity bytes; false when they cannot be had.
    bool Allocate(uint32_t capacity);
    void Release();
    bool HasBuffers() const { return !block_.empty(); }

    // Opens the platform's device for the format, or the null device when it cannot; then
    // failure says why. Every buffer is free.
    void Open(const WAVEFORMATEX& format, std::string& failure);
    void Close();
    bool IsOpen() const { return out_ != nullptr; }
    void Pause() { out_->Pause(); }
    void Resume() { out_->Resume(); }
    // Drops every queued write and starts the device again with the next one, as at Open:
    // for a new place in the same sound.
    void Restart();

    // Where the listener is in the sound written since Open or Restart, when the device
    // can tell (WaveOut::HeardMs).
    bool HeardMs(uint32_t& ms) { return out_ != nullptr && out_->HeardMs(ms); }
    // The device went away while in use: its writes are dropped now.
    bool DeviceLost() { return out_ == &device_ && device_.Lost(); }
    // The device that was away when the sound last opened (or went away while in use) is
    // there again.
    bool DeviceBack() { return out_ == &null_ && deviceAway_ && device_.Available(); }

    // The sound faster or slower at its own pitch (1: as it is, bit-exact), from the next
    // Open or Restart on. Main thread, no tick running.
    void SetTempo(double tempo) { tempo_ = tempo; }

    // Writes chunks from the reader into the free buffers, lowest index first, until the
    // device is full or the reader has none ready; true when the reader had none (and,
    // faster or slower, nothing stretched is left to write).
    bool Feed(MovieReader& reader);
    // Whether sound written to the device is still to be heard.
    bool StillPlaying();
    uint32_t ChunksWritten() const { return written_.load(); }

  private:
    void ForgetWrites();
    void StartStretching();
    bool FeedStretched(MovieReader& reader);
    bool IsFree(int i, uint64_t played) const { return writeNumber_[i] <= played; }

    mm::WaveOut& device_;
    mm::NullWaveOut null_;
    mm::WaveOut* out_ = nullptr;  // the device in use while open
    bool deviceAway_ = false;     // the last Open found the device gone
    std::vector<uint8_t> block_;
    uint32_t capacity_ = 0;
    uint8_t* buffers_[kBuffers] = {};
    // The device's number of the write that last used each buffer (0: none since Open): the
    // buffer is free once the device has played that many writes.
    uint64_t writeNumber_[kBuffers] = {};
    // Writes since Open (read by StillPlaying on the main thread), and chunks written since
    // the queue was made, for the statistics.
    std::atomic<uint64_t> writes_{0};
    std::atomic<uint32_t> written_{0};
    // Faster or slower: the chunks go through the stretcher, and what comes out waits in
    // stretched_ (from stretchedAt_ on) for a free buffer.
    double tempo_ = 1.0;
    WAVEFORMATEX format_{};
    mm::TempoStretcher stretcher_;
    std::vector<uint8_t> chunk_;
    std::vector<uint8_t> stretched_;
    size_t stretchedAt_ = 0;
    bool stretchFinished_ = false;
};

}  // namespace lunavue
