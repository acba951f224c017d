#include "playback/PlaybackSession.h"

#include "platform/Memory.h"

namespace lunavue {

PlaybackSession::PlaybackSession(MovieReader& reader, MovieClock clock)
    : reader_(reader), clock_(std::move(clock)) {}

bool PlaybackSession::AllocatePictures(size_t pictureBytes) {
    if (!TryAllocate(block_, kPoolSize * pictureBytes)) {
        return false;
    }
    for (int i = 0; i < kPoolSize; ++i) {
        pool_[i] = block_.data() + static_cast<size_t>(i) * pictureBytes;
    }
    for (auto& slot : ring_) {
        slot.store(pool_[0]);
    }
    return true;
}

void PlaybackSession::ShowPoster() {
    reader_.DecodeFirstFrame(pool_[0]);
    shown_ = pool_[0];
}

void PlaybackSession::PositionAt(uint32_t slot, uint32_t ms) {
    const uint32_t frame = clock_.FrameAtSlot(slot);
    slotsFilled_ = slot;
    firstSlot = slot;
    firstFrame_ = frame;
    framesDecoded_ = frame;
    remainingTicks_ = 0;
    runUpLeft_ = 0;
    if (ms == 0) {
        reader_.Rewind();
    } else {
        const uint32_t key = reader_.KeyFrameAtOrBefore(frame);
        const uint64_t rate = reader_.GetAudioFormat().nSamplesPerSec;
        reader_.SeekTo(key, uint64_t{ms} * rate / 1000);
        runUpLeft_ = frame - key;
    }
    if (runUpLeft_ > kRunUpOnTheSpot) {
        runUpPending_ = true;
        return;
    }
    while (RunUpFrame()) {
    }
    FillFirstSlot();
    Prefill();
}

void PlaybackSession::Prefill() {
    while (slotsFilled_.load() < firstSlot + kLead && FillNextSlot()) {
    }
}

bool PlaybackSession::RunUpFrame() {
    if (runUpLeft_ == 0) {
        return false;
    }
    reader_.DecodeNextFrame(nullptr);
    --runUpLeft_;
    return true;
}

void PlaybackSession::FinishRunUp() {
    FillFirstSlot();
    Prefill();
    runUpPending_ = false;
}

// The first slot's picture; the ticks its frame already covered before the slot are used up.
void PlaybackSession::FillFirstSlot() {
    if (FillNextSlot()) {
        remainingTicks_ -= int64_t{firstSlot - clock_.FirstSlotOfFrame(firstFrame_)} *
                           static_cast<int64_t>(clock_.PeriodTicks());
    }
}

bool PlaybackSession::FillNextSlot() {
    const uint32_t filled = slotsFilled_.load();
    const uint32_t s = filled % kRingSize;
    if (remainingTicks_ > 0) {
        ring_[s].store(ring_[(s + kRingSize - 1) % kRingSize].load());
    } else {
        if (AllDecoded() || !reader_.NextFrameFits()) {
            return false;
        }
        uint8_t* target = DecodeTarget();
        remainingTicks_ = reader_.DecodeNextFrame(target);
        decoding_.store(nullptr);
        ring_[s].store(target);
        ++framesDecoded_;
    }
    remainingTicks_ -= static_cast<int64_t>(clock_.PeriodTicks());
    slotsFilled_.store(filled + 1);
    return true;
}

// The pool picture the next frame is decoded into: the next in turn, but never the one on
// screen (a main thread held up by a menu or a dialog can still show a picture the turn has
// come round to).
uint8_t* PlaybackSession::DecodeTarget() {
    for (;;) {
        uint8_t* target = pool_[nextPicture_];
        nextPicture_ = (nextPicture_ + 1) % kPoolSize;
        decoding_.store(target);
        if (shown_.load() != target) {
            return target;
        }
    }
}

uint8_t* PlaybackSession::PictureFor(uint32_t slot) const {
    const uint32_t filled = slotsFilled_.load();
    if (filled == 0 || runUpPending_.load()) {
        return nullptr;
    }
    return ring_[(slot < filled ? slot : filled - 1) % kRingSize].load();
}

bool PlaybackSession::Show(uint8_t* picture) {
    uint8_t* before = shown_.load();
    shown_.store(picture);
    if (decoding_.load() == picture) {
        shown_.store(before);
        return false;
    }
    return true;
}

}  // namespace lunavue
