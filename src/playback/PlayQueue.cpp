#include "playback/PlayQueue.h"

#include <algorithm>

namespace lunavue {

bool PlayQueue::Append(const std::string& name) {
    if (names_.size() >= kLimit) {
        return false;
    }
    names_.push_back(name);
    return true;
}

size_t PlayQueue::PutFirst(const std::vector<std::string>& names) {
    const size_t taken = std::min(names.size(), kLimit - names_.size());
    names_.insert(names_.begin(), names.begin(),
                  names.begin() + static_cast<std::ptrdiff_t>(taken));
    return taken;
}

std::string PlayQueue::TakeFirst() {
    std::string name = std::move(names_.front());
    names_.pop_front();
    everTaken_ = true;
    return name;
}

bool PlayQueue::Remove(size_t i) {
    if (i >= names_.size()) {
        return false;
    }
    names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

bool PlayQueue::Move(size_t from, size_t to) {
    if (from >= names_.size() || to >= names_.size()) {
        return false;
    }
    std::string name = std::move(names_[from]);
    names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(from));
    names_.insert(names_.begin() + static_cast<std::ptrdiff_t>(to), std::move(name));
    return true;
}

}  // namespace lunavue
