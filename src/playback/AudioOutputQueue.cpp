#include "playback/AudioOutputQueue.h"

#include "platform/Memory.h"

namespace lunavue {

bool AudioOutputQueue::Allocate(uint32_t capacity) {
    if (!TryAllocate(block_, static_cast<size_t>(capacity) * kBuffers)) {
        Release();
        return false;
    }
    capacity_ = capacity;
    for (int i = 0; i < kBuffers; ++i) {
        buffers_[i] = block_.data() + static_cast<size_t>(i) * capacity;
    }
    return true;
}

void AudioOutputQueue::Release() {
    Close();
    block_ = {};
    capacity_ = 0;
    for (auto& b : buffers_) {
        b = nullptr;
    }
}

void AudioOutputQueue::Open(const WAVEFORMATEX& format, std::string& failure) {
    Close();
    out_ = &null_;
    deviceAway_ = false;
    if (HasBuffers() && device_.Open(format, failure)) {
        out_ = &device_;
    } else {
        deviceAway_ = HasBuffers() && device_.Lost();
        null_.Open(format, failure);
    }
    ForgetWrites();
}

// The device counts every dropped write played, so the write numbers go on from there and
// every buffer is free.
void AudioOutputQueue::Restart() {
    if (out_ != nullptr) {
        out_->Reset();
    }
}

// Counting starts again: every buffer is free.
void AudioOutputQueue::ForgetWrites() {
    writes_ = 0;
    for (auto& n : writeNumber_) {
        n = 0;
    }
}

void AudioOutputQueue::Close() {
    if (out_ != nullptr) {
        out_->Reset();
        out_->Close();
        out_ = nullptr;
    }
}

bool AudioOutputQueue::Feed(MovieReader& reader) {
    if (!HasBuffers() || out_ == nullptr) {
        return true;  // the movie has no sound to feed, or no device to feed it to
    }
    const uint64_t played = out_->Played();
    for (int i = 0; i < kBuffers && out_->Space() > 0; ++i) {
        if (!IsFree(i, played)) {
            continue;
        }
        const uint32_t n = reader.NextAudioChunk(buffers_[i]);
        if (n == 0) {
            return true;
        }
        writeNumber_[i] = writes_.fetch_add(1) + 1;
        out_->Write(buffers_[i], n);
        ++written_;
    }
    return false;
}

bool AudioOutputQueue::StillPlaying() {
    return out_ != nullptr && (out_->Played() < writes_.load() || out_->DelayMs() > 0);
}

}  // namespace lunavue
