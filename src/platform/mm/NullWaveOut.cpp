#include "platform/mm/NullWaveOut.h"

namespace lunavue::mm {
namespace {
// Whether clock time a is at or after b, on a clock that wraps.
bool Reached(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) >= 0;
}
}  // namespace

bool NullWaveOut::Open(const WAVEFORMATEX& format, std::string&) {
    std::lock_guard<std::mutex> lock(mutex_);
    head_ = 0;
    count_ = 0;
    played_ = 0;
    bytesPerSecond_ = format.nAvgBytesPerSec;
    paused_ = false;
    return true;
}

void NullWaveOut::Write(const uint8_t*, uint32_t len) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == kMaxQueued) {
        return;
    }
    const uint32_t now = Now();
    uint32_t start = now;
    if (count_ > 0) {
        const uint32_t last = ends_[(head_ + count_ - 1) % kMaxQueued];
        start = Reached(last, now) ? last : now;
    }
    const uint64_t ms = bytesPerSecond_ != 0 ? uint64_t{len} * 1000 / bytesPerSecond_ : 0;
    ends_[(head_ + count_) % kMaxQueued] = start + static_cast<uint32_t>(ms);
    ++count_;
}

void NullWaveOut::PlayUpTo(uint32_t now) {
    while (count_ > 0 && Reached(now, ends_[head_])) {
        head_ = (head_ + 1) % kMaxQueued;
        --count_;
        ++played_;
    }
}

int NullWaveOut::Space() {
    std::lock_guard<std::mutex> lock(mutex_);
    PlayUpTo(Now());
    return kMaxQueued - count_;
}

uint64_t NullWaveOut::Played() {
    std::lock_guard<std::mutex> lock(mutex_);
    PlayUpTo(Now());
    return played_;
}

uint32_t NullWaveOut::DelayMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t now = Now();
    PlayUpTo(now);
    return count_ == 0 ? 0 : ends_[(head_ + count_ - 1) % kMaxQueued] - now;
}

void NullWaveOut::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paused_) {
        paused_ = true;
        pausedAt_ = clock_.NowMs();
    }
}

void NullWaveOut::Resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paused_) {
        return;
    }
    paused_ = false;
    const uint32_t shift = clock_.NowMs() - pausedAt_;
    for (int i = 0; i < count_; ++i) {
        ends_[(head_ + i) % kMaxQueued] += shift;
    }
}

void NullWaveOut::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    played_ += static_cast<uint64_t>(count_);
    head_ = 0;
    count_ = 0;
}

}  // namespace lunavue::mm
