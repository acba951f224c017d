#include <algorithm>

#include "playback/CTovrinDoc.h"

// Seeking, frame stepping and where playback stands.

namespace lunavue {

uint32_t CTovrinDoc::PositionMs() {
    switch (State()) {
        case PlayState::kPlaying:
            return std::min(Elapsed(), DurationMs());
        case PlayState::kPaused:
            return MovieMs(PauseStart - StartTime.load());
        case PlayState::kLoaded:
        case PlayState::kFinished:
            return session_->startMs;
        default:
            return 0;
    }
}

void CTovrinDoc::Seek(uint32_t ms) {
    if (!IsOpen()) {
        return;
    }
    const uint32_t slot = session_->Clock().SlotAt(ms);
    if (slot >= session_->Clock().PeriodCount()) {
        // Past the end: the movie ends as reaching its end ends it.
        if (IsPlaying()) {
            EndOfMovie();
        } else {
            Stop();
        }
        return;
    }
    KillTimer();
    if (IsPlaying()) {
        Start(ms, State());
    } else {
        session_->PositionAt(slot, ms);
        session_->startMs = ms;
        if (session_->RunUpPending()) {
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
    const MovieClock& clock = Clock();
    if (!IsOpen() || State() == PlayState::kPlaying || clock.FrameCount() == 0) {
        return;
    }
    const int64_t frame = clock.FrameAtSlot(clock.SlotAt(PositionMs()));
    const int64_t target =
        std::clamp<int64_t>(frame + direction, 0, int64_t{clock.FrameCount()} - 1);
    if (target != frame) {
        Seek(clock.FirstMsOfFrame(static_cast<uint32_t>(target)));
    }
}

// Shows the picture and the time of a position at once, without waiting for the clock. A
// picture still being run up to is shown when it is ready: by the clock while playing,
// else by the idle step.
void CTovrinDoc::ShowPosition(uint32_t slot, uint32_t ms) {
    session_->lastSlotShown = slot;
    const bool coming = session_->RunUpPending();
    if (coming && State() != PlayState::kPlaying) {
        session_->awaitedMs = ms;
    } else {
        session_->awaitedMs.reset();
    }
    if (!coming) {
        session_->Show(session_->PictureFor(slot));
        Invalidate();
    }
    session_->lastShownSecond = UINT32_MAX;
    UpdateElapsedPane(ms);
    if (observer_ != nullptr) {
        observer_->PositionChanged(ms);
        observer_->PositionJumped(ms);
    }
}

}  // namespace lunavue
