// The names waiting to play, first in first out. It holds at most kLimit names, however
// they arrive: appended, put at the front, or moved within it.
//
// Threads: the main thread only.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace lunavue {

class PlayQueue {
  public:
    static constexpr size_t kLimit = 10000;

    // Queues a name at the end; false when the queue is full.
    bool Append(const std::string& name);
    // Puts names at the front, in their order, as many as there is room for; returns how
    // many were taken.
    size_t PutFirst(const std::vector<std::string>& names);
    // Takes the first name off (the queue must not be empty).
    std::string TakeFirst();
    // A name taken out, one moved to another place; false for a place not in the queue.
    bool Remove(size_t i);
    bool Move(size_t from, size_t to);

    bool Empty() const { return names_.empty(); }
    size_t Size() const { return names_.size(); }
    const std::string& operator[](size_t i) const { return names_[i]; }
    const std::string& Back() const { return names_.back(); }
    const std::deque<std::string>& Names() const { return names_; }
    // Whether a name has ever been taken off: an empty queue then means it has ended.
    bool EverTaken() const { return everTaken_; }

  private:
    std::deque<std::string> names_;
    bool everTaken_ = false;
};

}  // namespace lunavue
