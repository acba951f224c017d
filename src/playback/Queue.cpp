#include "playback/CTovrinDoc.h"

// The queue of names waiting to play: moving on, reordering, and playing one now.

namespace lunavue {

// Closes what is loaded and opens the head of the queue, which leaves the queue whether or
// not it opens.
void CTovrinDoc::AdvanceQueue() {
    if (IsOpen()) {
        CloseMovie();
    }
    const std::string name = PlayQueue.front();
    PlayQueue.pop_front();
    queueTaken_ = true;
    OpenMovie(name);
}

void CTovrinDoc::NextMovie() {
    if (PlayQueue.empty()) {
        return;
    }
    const bool wasPlaying = IsPlaying();
    AdvanceQueue();
    if (wasPlaying) {
        Play();
    }
}

void CTovrinDoc::PlayNow(const std::vector<std::string>& names) {
    if (names.empty()) {
        return;
    }
    PlayQueue.insert(PlayQueue.begin(), names.begin(), names.end());
    AdvanceQueue();
    if (IsOpen()) {
        Play();
    }
}

bool CTovrinDoc::RemoveFromQueue(size_t i) {
    if (i >= PlayQueue.size()) {
        return false;
    }
    PlayQueue.erase(PlayQueue.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool CTovrinDoc::MoveInQueue(size_t from, size_t to) {
    if (from >= PlayQueue.size() || to >= PlayQueue.size()) {
        return false;
    }
    std::string name = std::move(PlayQueue[from]);
    PlayQueue.erase(PlayQueue.begin() + static_cast<std::ptrdiff_t>(from));
    PlayQueue.insert(PlayQueue.begin() + static_cast<std::ptrdiff_t>(to), std::move(name));
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
