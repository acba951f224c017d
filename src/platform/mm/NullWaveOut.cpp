#include "platform/mm/NullWaveOut.h"

namespace lunavue::mm {
namespace {
// Whether clock time a is at or after b, on a clock that wraps.
bool Reached(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) >= 0;
}
}  // namespace

bool NullWaveOut::Open(const WAVEFORMATEX& format) {
    Reset();
    std::lock_guard<std::mutex> lock(mutex_);
    bytesPerSecond_ = format.nAvgBytesPerSec;
    paused_ = false;
    return true;
}

void NullWaveOut::Write(WaveHeader& h) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == kMaxQueued) {
        return;
    }
    const uint32_t now = paused_ ? pausedAt_ : clock_.NowMs();
    uint32_t start = now;
    if (count_ > 0) {
        const uint32_t last = queue_[(head_ + count_ - 1) % kMaxQueued].end;
        start = Reached(last, now) ? last : now;
    }
    const uint64_t ms =
        bytesPerSecond_ != 0 ? uint64_t{h.dwBufferLength} * 1000 / bytesPerSecond_ : 0;
    h.dwFlags = (h.dwFlags.load() & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_[(head_ + count_) % kMaxQueued] = {&h, start + static_cast<uint32_t>(ms)};
    ++count_;
}

void NullWaveOut::PlayUpTo(uint32_t now) {
    while (count_ > 0 && Reached(now, queue_[head_].end)) {
        WaveHeader* h = queue_[head_].header;
        h->dwFlags = (h->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
        head_ = (head_ + 1) % kMaxQueued;
        --count_;
    }
}

bool NullWaveOut::IsDone(const WaveHeader& h) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paused_) {
        PlayUpTo(clock_.NowMs());
    }
    return (h.dwFlags.load() & WHDR_DONE) != 0;
}

void NullWaveOut::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paused_) {
        paused_ = true;
        pausedAt_ = clock_.NowMs();
    }
}

void NullWaveOut::Restart() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paused_) {
        return;
    }
    paused_ = false;
    const uint32_t shift = clock_.NowMs() - pausedAt_;
    for (int i = 0; i < count_; ++i) {
        queue_[(head_ + i) % kMaxQueued].end += shift;
    }
}

void NullWaveOut::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (; count_ > 0; --count_) {
        WaveHeader* h = queue_[head_].header;
        h->dwFlags = (h->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
        head_ = (head_ + 1) % kMaxQueued;
    }
    head_ = 0;
}

}  // namespace lunavue::mm
