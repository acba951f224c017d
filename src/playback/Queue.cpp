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

size_t CTovrinDoc::PlayNow(const std::vector<std::string>& names) {
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
    if (!MoveInQueue(i, 0)) {
        return false;
    }
    AdvanceQueue();
    if (IsOpen()) {
        Play();
    }
    return true;
}

}  // namespace lunavue
