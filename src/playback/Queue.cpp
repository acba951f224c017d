#include "playback/CTovrinDoc.h"

// The queue of names waiting to play: moving on, reordering, and playing one now.

namespace lunavue {

bool CTovrinDoc::AppendToQueue(const std::string& name) {
    if (!PlayQueue_.Append(name)) {
        return false;
    }
    QueueChanged();
    return true;
}

void CTovrinDoc::QueueChanged() {
    if (observer_ != nullptr) {
        observer_->QueueChanged();
    }
}

// Closes what is loaded and opens the head of the queue, which leaves the queue whether or
// not it opens.
void CTovrinDoc::AdvanceQueue() {
    if (IsOpen()) {
        CloseMovie();
    }
    const std::string name = PlayQueue_.TakeFirst();
    QueueChanged();
    OpenMovie(name);
}

void CTovrinDoc::NextMovie() {
    if (PlayQueue_.Empty()) {
        return;
    }
    const bool wasPlaying = IsPlaying();
    AdvanceQueue();
    if (wasPlaying) {
        Play();
    }
}

// The movie playing (or paused) midway, which a movie played now interrupts: it goes back
// to the front of the queue and, when it opens again, to where it was left.
void CTovrinDoc::KeepInterrupted(const std::string& next) {
    // The names played now come first: the queue's last place is theirs.
    // The same movie asked for again starts over instead.
    if (!IsOpen() || !IsPlaying() || IsFinished() || next == moviePath_ ||
        PlayQueue_.Size() + 1 >= PlayQueue::kLimit) {
        return;
    }
    if (PlayQueue_.PutFirst({moviePath_}) == 1) {
        interruptedAt_[moviePath_] = PositionMs();
    }
}

size_t CTovrinDoc::PlayNow(const std::vector<std::string>& names) {
    if (names.empty() || PlayQueue_.Size() >= PlayQueue::kLimit) {
        return 0;
    }
    KeepInterrupted(names.front());
    // Asked for again while it waits as interrupted: it starts over, and waits no more.
    if (!PlayQueue_.Empty() && PlayQueue_.Names().front() == names.front() &&
        interruptedAt_.erase(names.front()) != 0) {
        PlayQueue_.Remove(0);
    }
    const size_t taken = PlayQueue_.PutFirst(names);
    if (taken == 0) {
        return 0;
    }
    AdvanceQueue();
    if (IsOpen()) {
        Play();
    }
    return taken;
}

bool CTovrinDoc::RemoveFromQueue(size_t i) {
    if (!PlayQueue_.Remove(i)) {
        return false;
    }
    QueueChanged();
    return true;
}

bool CTovrinDoc::MoveInQueue(size_t from, size_t to) {
    if (!PlayQueue_.Move(from, to)) {
        return false;
    }
    QueueChanged();
    return true;
}

bool CTovrinDoc::PlayQueued(size_t i) {
    if (i >= PlayQueue_.Size()) {
        return false;
    }
    const std::string chosen = PlayQueue_.Names()[i];
    PlayQueue_.Remove(i);
    KeepInterrupted(chosen);
    PlayQueue_.PutFirst({chosen});
    AdvanceQueue();
    if (IsOpen()) {
        Play();
    }
    return true;
}

// The movie played before this one, from where it was left; the one playing goes back to
// the front of the queue as any interrupted movie does.
bool CTovrinDoc::PreviousMovie() {
    if (history_.empty()) {
        return false;
    }
    const std::string previous = history_.back();
    history_.pop_back();
    const bool wasPlaying = IsPlaying() || !IsOpen();
    // Interrupted on its way to it, it waits at the front of the queue: taken from there.
    if (!PlayQueue_.Empty() && PlayQueue_.Names().front() == previous) {
        PlayQueue_.Remove(0);
    }
    KeepInterrupted(previous);
    PlayQueue_.PutFirst({previous});
    goingBack_ = true;  // the movie left now does not join the history
    AdvanceQueue();
    goingBack_ = false;
    if (IsOpen() && wasPlaying) {
        Play();
    }
    return true;
}

}  // namespace lunavue
