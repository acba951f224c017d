#include "movie/SoundRing.h"

#include "platform/Memory.h"

namespace lunavue {

bool SoundRing::Allocate(size_t bytes, size_t chunks) {
    if (!TryAllocate(bytes_, bytes) || !TryAllocate(records_, chunks, Record{0, 0, 0})) {
        Release();
        return false;
    }
    Clear();
    return true;
}

void SoundRing::Release() {
    bytes_ = {};
    records_ = {};
    Clear();
}

void SoundRing::Clear() {
    head_ = 0;
    count_ = 0;
    write_ = 0;
}

uint8_t* SoundRing::Place(size_t len) {
    if (len == 0 || count_ == records_.size()) {
        return nullptr;
    }
    const size_t capacity = bytes_.size();
    if (count_ == 0) {
        write_ = 0;  // an empty ring starts over at the front
        placed_ = 0;
        return len <= capacity ? bytes_.data() : nullptr;
    }
    const size_t read = records_[head_].start;
    if (write_ > read) {
        // Free: the tail behind the newest chunk, then the front before the oldest.
        if (len <= capacity - write_) {
            placed_ = write_;
        } else if (len <= read) {
            placed_ = 0;
        } else {
            return nullptr;
        }
    } else if (write_ < read && len <= read - write_) {
        placed_ = write_;
    } else {
        return nullptr;  // write_ == read with chunks waiting: the ring is full
    }
    return bytes_.data() + placed_;
}

void SoundRing::Commit(size_t len, uint32_t tag) {
    if (len == 0) {
        return;
    }
    records_[(head_ + count_) % records_.size()] = Record{placed_, len, tag};
    ++count_;
    write_ = placed_ + len;
}

bool SoundRing::WouldFit(uint64_t bytes, uint64_t largest, size_t chunks) const {
    if (chunks > records_.size() - count_) {
        return false;
    }
    const size_t capacity = bytes_.size();
    size_t used = 0;
    if (count_ > 0) {
        const size_t read = records_[head_].start;
        used = write_ > read ? write_ - read : capacity - read + write_;
    }
    // Placing them one after another wastes less than the largest at the end of the ring.
    return bytes + largest <= capacity - used;
}

void SoundRing::Pop() {
    if (count_ == 0) {
        return;
    }
    head_ = (head_ + 1) % records_.size();
    --count_;
}

}  // namespace lunavue
