#include <algorithm>
#include <cmath>

#include "playback/CTovrinDoc.h"

// Seeking, frame stepping and where playback stands.

namespace lunavue {

// Makes the reader and the display ring ready for the clock to run from this slot: from
// the start as it always has, or from the key frame at or before the slot's frame, decoding
// the frames between without showing them. A long run-up is left to the timer thread
// (runUpPending_), so that a seek never holds the window.
void CTovrinDoc::PositionAt(uint32_t slot, uint32_t ms) {
    const uint32_t frame = FrameAtSlot(slot);
    SlotsFilled = slot;
    firstSlot_ = slot;
    firstFrame_ = frame;
    FramesDecoded = frame;
    RemainingTicks = 0;
    runUpLeft_ = 0;
    if (ms == 0) {
        Reader_.Rewind();
    } else {
        const uint32_t key = Reader_.KeyFrameAtOrBefore(frame);
        const uint64_t rate = Reader_.GetAudioFormat().nSamplesPerSec;
        Reader_.SeekTo(key, uint64_t{ms} * rate / 1000);
        runUpLeft_ = frame - key;
    }
    if (runUpLeft_ > kRunUpOnTheSpot) {
        runUpPending_ = true;
        return;
    }
    for (; runUpLeft_ > 0; --runUpLeft_) {
        Reader_.DecodeNextFrame(nullptr);
    }
    FillFirstSlot();
    PrefillRing();
}

// The first slot's picture; the ticks its frame already covered before the slot are used up.
void CTovrinDoc::FillFirstSlot() {
    if (FillNextSlot()) {
        RemainingTicks -=
            int64_t{firstSlot_ - frameSlots_[firstFrame_]} * static_cast<int64_t>(PeriodTicks);
    }
}

// Timer thread: the run-up of a seek, a slice at a time with the sound fed in between;
// then the first slot and the lead. True once it is done.
bool CTovrinDoc::RunUp() {
    const uint32_t started = platform_.clock.NowMs();
    while (runUpLeft_ > 0) {
        Reader_.DecodeNextFrame(nullptr);
        --runUpLeft_;
        FeedSound();
        if (platform_.clock.NowMs() - started >= kRunUpSliceMs) {
            return false;
        }
    }
    FillFirstSlot();
    PrefillRing();
    runUpPending_ = false;
    return true;
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
    for (int i = 0; i < kMostSteps && ms > 0 && SlotAt(static_cast<uint32_t>(ms - 1)) >= slot;
         ++i) {
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
    if (IsPlaying()) {
        Start(ms, was);
    } else {
        PositionAt(slot, ms);
        startMs_ = ms;
        if (runUpPending_.load()) {
            StartTimer();  // for the run-up alone
        }
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

// Shows the picture and the time of a position at once, without waiting for the clock. A
// picture still being run up to is shown when it is ready: by the clock while playing,
// else by the idle step.
void CTovrinDoc::ShowPosition(uint32_t slot, uint32_t ms) {
    lastSlotShown_ = slot;
    awaitingPicture_ = runUpPending_.load() && State() != PlayState::kPlaying;
    awaitedMs_ = ms;
    if (!runUpPending_.load()) {
        CurrentFrame_ = DisplayRing[slot % kRingSize].load();
        Invalidate();
    }
    LastShownSecond = UINT32_MAX;
    UpdateElapsedPane(ms);
}

}  // namespace lunavue
