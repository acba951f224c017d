#include "playback/AudioOutputQueue.h"

#include <algorithm>

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
    format_ = format;
    StartStretching();
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
    StartStretching();
}

void AudioOutputQueue::StartStretching() {
    stretched_.clear();
    stretchedAt_ = 0;
    stretchFinished_ = false;
    if (tempo_ != 1.0) {
        stretcher_.Start(format_, tempo_);
        chunk_.resize(capacity_);
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
    if (tempo_ != 1.0) {
        return FeedStretched(reader);
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

// Faster or slower: each buffer takes a buffer's worth of stretched sound (whole samples),
// stretching the reader's chunks as they come; the library's last few milliseconds are
// let out once the reader has no sound left.
bool AudioOutputQueue::FeedStretched(MovieReader& reader) {
    const uint64_t played = out_->Played();
    const size_t align = std::max<size_t>(format_.nBlockAlign, 1);
    for (int i = 0; i < kBuffers && out_->Space() > 0; ++i) {
        if (!IsFree(i, played)) {
            continue;
        }
        while (stretched_.size() - stretchedAt_ < capacity_ && !stretchFinished_) {
            const uint32_t n = reader.NextAudioChunk(chunk_.data());
            if (n == 0) {
                if (!reader.HasSoundLeft()) {
                    stretcher_.Finish(stretched_);
                    stretchFinished_ = true;
                }
                break;
            }
            stretcher_.Put(chunk_.data(), n, stretched_);
        }
        size_t ready = std::min<size_t>(capacity_, stretched_.size() - stretchedAt_);
        if (ready < stretched_.size() - stretchedAt_ || !stretchFinished_) {
            ready -= ready % align;  // whole samples; the last write takes what is left
        }
        if (ready == 0) {
            return true;
        }
        std::copy_n(stretched_.begin() + static_cast<std::ptrdiff_t>(stretchedAt_), ready,
                    buffers_[i]);
        stretchedAt_ += ready;
        if (stretchedAt_ == stretched_.size()) {
            stretched_.clear();
            stretchedAt_ = 0;
        } else if (stretchedAt_ > 4 * static_cast<size_t>(capacity_)) {
            stretched_.erase(stretched_.begin(),
                             stretched_.begin() + static_cast<std::ptrdiff_t>(stretchedAt_));
            stretchedAt_ = 0;
        }
        writeNumber_[i] = writes_.fetch_add(1) + 1;
        out_->Write(buffers_[i], static_cast<uint32_t>(ready));
        ++written_;
    }
    return false;
}

bool AudioOutputQueue::StillPlaying() {
    return out_ != nullptr && (out_->Played() < writes_.load() || out_->DelayMs() > 0);
}

}  // namespace lunavue
