#include <algorithm>
#include <cmath>

#include "playback/CTovrinDoc.h"

// Seeking, frame stepping and where playback stands.

namespace lunavue {

// Makes the reader and the display ring ready for the clock to run from this slot: from
// the start as it always has, or from the key frame at or before the slot's frame, decoding
// the frames between without showing them.
void CTovrinDoc::PositionAt(uint32_t slot, uint32_t ms) {
    const uint32_t frame = FrameAtSlot(slot);
    SlotsFilled = slot;
    firstSlot_ = slot;
    FramesDecoded = frame;
    RemainingTicks = 0;
    if (ms == 0) {
        Reader_.Rewind();
    } else {
        const uint32_t key = Reader_.KeyFrameAtOrBefore(frame);
        const uint64_t rate = Reader_.GetAudioFormat().nSamplesPerSec;
        Reader_.SeekTo(key, uint64_t{ms} * rate / 1000);
        for (uint32_t f = key; f < frame; ++f) {
            Reader_.DecodeNextFrame(nullptr);
        }
    }
    // The frame's first picture; the ticks it already covered before the slot are used up.
    if (FillNextSlot()) {
        RemainingTicks -= int64_t{slot - frameSlots_[frame]} * static_cast<int64_t>(PeriodTicks);
    }
    PrefillRing();
}

uint32_t CTovrinDoc::FrameAtSlot(uint32_t slot) const {
    const auto next = std::upper_bound(frameSlots_.begin(), frameSlots_.end() - 1, slot);
    return static_cast<uint32_t>(std::max<ptrdiff_t>(0, next - frameSlots_.begin() - 1));
}

// The first millisecond whose slot is the slot given: where the slot's due time says, set
// right by the few milliseconds that rounding may put it off (never walked further).
uint32_t CTovrinDoc::FirstMsOfSlot(uint32_t slot) const {
    constexpr int kMostSteps = 4;
    const double end = std::trunc(DueMs(PeriodCount));
    double ms = std::clamp(std::ceil(DueMs(slot)), 0.0, end);
    for (int i = 0; i < kMostSteps && ms > 0 && SlotAt(static_cast<uint32_t>(ms - 1)) >= slot; ++i) {
        ms -= 1;
    }
    for (int i = 0; i < kMostSteps && ms < end && SlotAt(static_cast<uint32_t>(ms)) < slot; ++i) {
        ms += 1;
    }
    return static_cast<uint32_t>(ms);
}

uint32_t CTovrinDoc::DurationMs() const {
    return static_cast<uint32_t>(std::trunc(DueMs(PeriodCount)));
}

uint32_t CTovrinDoc::PositionMs() {
    switch (State()) {
        case PlayState::kPlaying:
            return std::min(Elapsed(), DurationMs());
        case PlayState::kPaused:
            return PauseStart - StartTime.load();
        case PlayState::kLoaded:
        case PlayState::kFinished:
            return startMs_;
        default:
            return 0;
    }
}

void CTovrinDoc::Seek(uint32_t ms) {
    if (!IsOpen()) {
        return;
    }
    const uint32_t slot = SlotAt(ms);
    if (slot >= PeriodCount) {
        // Past the end: the movie ends as reaching its end ends it.
        if (IsPlaying()) {
            EndOfMovie();
        } else {
            Stop();
        }
        return;
    }
    const PlayState was = State();
    KillTimer();
    CloseAudio();
    if (IsPlaying()) {
        Start(ms, was);
    } else {
        PositionAt(slot, ms);
        startMs_ = ms;
    }
    ShowPosition(slot, ms);
}

void CTovrinDoc::SeekBy(int64_t deltaMs) {
    if (IsOpen()) {
        Seek(static_cast<uint32_t>(
            std::clamp<int64_t>(int64_t{PositionMs()} + deltaMs, 0, UINT32_MAX)));
    }
}

void CTovrinDoc::StepFrame(int direction) {
    if (!IsOpen() || State() == PlayState::kPlaying || VideoFrameCount == 0) {
        return;
    }
    const int64_t frame = FrameAtSlot(SlotAt(PositionMs()));
    const int64_t target = std::clamp<int64_t>(frame + direction, 0, int64_t{VideoFrameCount} - 1);
    if (target != frame) {
        Seek(FirstMsOfSlot(frameSlots_[static_cast<size_t>(target)]));
    }
}

// Shows the picture and the time of a position at once, without waiting for the clock.
void CTovrinDoc::ShowPosition(uint32_t slot, uint32_t ms) {
    CurrentFrame_ = DisplayRing[slot % kRingSize].load();
    lastSlotShown_ = slot;
    Invalidate();
    LastShownSecond = UINT32_MAX;
    UpdateElapsedPane(ms);
}

}  // namespace lunavue
