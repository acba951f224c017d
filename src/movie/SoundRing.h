// Sound chunks waiting between the file and the sound device, held as bytes. Every chunk
// lies whole in one piece of the ring, so that it can be converted in one pass; a chunk
// that does not fit behind the newest one starts again at the front of the ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lunavue {

class SoundRing {
  public:
    // Room for `bytes` bytes in at most `chunks` chunks; false when out of memory.
    bool Allocate(size_t bytes, size_t chunks);
    void Release();
    // Empties the ring.
    void Clear();

    // Where the next chunk of len bytes goes (len > 0), or null when it does not fit now.
    uint8_t* Place(size_t len);
    // Stores the chunk just placed with its final length (at most the placed length) and a
    // number of the caller's.
    void Commit(size_t len, uint32_t tag);

    // Whether `chunks` more chunks of `bytes` bytes in all, none above `largest`, surely fit.
    bool WouldFit(uint64_t bytes, uint64_t largest, size_t chunks) const;

    bool Empty() const { return count_ == 0; }
    size_t Capacity() const { return bytes_.size(); }
    const uint8_t* FrontData() const { return bytes_.data() + records_[head_].start; }
    size_t FrontLength() const { return records_[head_].length; }
    uint32_t FrontTag() const { return records_[head_].tag; }
    void Pop();

  private:
    struct Record {
        size_t start;
        size_t length;
        uint32_t tag;
    };
    std::vector<uint8_t> bytes_;
    std::vector<Record> records_;  // a ring of chunk records, oldest at head_
    size_t head_ = 0;
    size_t count_ = 0;
    size_t write_ = 0;   // the byte after the newest chunk
    size_t placed_ = 0;  // start of the chunk placed and not yet committed
};

}  // namespace lunavue
