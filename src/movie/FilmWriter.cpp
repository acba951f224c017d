#include "movie/FilmWriter.h"

#include <algorithm>

#include "movie/FilmLayout.h"
#include "platform/BigEndian.h"

namespace lunavue {
namespace {

// Fills a buffer of known size front to back, big-endian.
class Cursor {
  public:
    explicit Cursor(std::vector<uint8_t>& b) : b_(b) {}
    void Put32(uint32_t v) {
        PutBe32(&b_[at_], v);
        at_ += 4;
    }
    void Put16(uint16_t v) {
        PutBe16(&b_[at_], v);
        at_ += 2;
    }
    void Put8(uint8_t v) { b_[at_++] = v; }
    void Tag(const char* tag) {
        for (int i = 0; i < 4; ++i) {
            b_[at_++] = static_cast<uint8_t>(tag[i]);
        }
    }
    void Zeros(size_t n) { at_ += n; }

  private:
    std::vector<uint8_t>& b_;
    size_t at_ = 0;
};

}  // namespace

FilmWriter::FilmWriter(const FilmDescription& description)
    : description_(description), spool_(std::tmpfile()) {
    ok_ = spool_ != nullptr;
}

FilmWriter::~FilmWriter() {
    if (spool_ != nullptr) {
        std::fclose(spool_);
    }
}

bool FilmWriter::AddPicture(const uint8_t* data, size_t size, uint32_t time, uint32_t duration,
                            bool key, bool pad) {
    const uint32_t word = (time & film::kTimeMask) | (key ? 0 : film::kDependentBit);
    return Spool(data, size, word, duration, pad);
}

bool FilmWriter::AddSound(const uint8_t* data, size_t size) {
    return Spool(data, size, film::kSoundMarker, 1, true);
}

// Each chunk padded to an even length (a zero byte after it, counted in its length).
bool FilmWriter::Spool(const uint8_t* data, size_t size, uint32_t third, uint32_t fourth,
                       bool pad) {
    const size_t padded = size + (pad ? size % 2 : 0);
    if (!ok_ || padded > UINT32_MAX || spooled_ + padded > UINT32_MAX) {
        return ok_ = false;
    }
    static const uint8_t kZero = 0;
    if ((size != 0 && std::fwrite(data, 1, size, spool_) != size) ||
        (padded != size && std::fwrite(&kZero, 1, 1, spool_) != 1)) {
        return ok_ = false;
    }
    entries_.push_back(
        {static_cast<uint32_t>(spooled_), static_cast<uint32_t>(padded), third, fourth});
    spooled_ += padded;
    return true;
}

bool FilmWriter::WriteTo(const std::function<bool(const void*, size_t)>& write) {
    if (!ok_ || std::fflush(spool_) != 0) {
        return false;
    }
    const uint64_t table = film::kTablePreamble + uint64_t{film::kEntryBytes} * entries_.size();
    const uint64_t headerLength = film::kStandardTable + table;
    if (headerLength > UINT32_MAX) {
        return false;
    }
    std::vector<uint8_t> h(headerLength, 0);
    Cursor c(h);
    c.Tag("FILM");
    c.Put32(static_cast<uint32_t>(headerLength));
    c.Tag("1.09");
    c.Zeros(4);
    c.Tag("FDSC");
    c.Put32(film::kFullDescriptor);
    c.Tag(description_.coding);
    c.Put32(description_.height);
    c.Put32(description_.width);
    c.Put8(24);  // bits a pixel of the pictures
    c.Put8(description_.channels);
    c.Put8(description_.bits);
    c.Put8(description_.compression);
    c.Put16(description_.rate);
    c.Zeros(6);
    c.Tag("STAB");
    c.Put32(static_cast<uint32_t>(table));
    c.Put32(description_.base);
    c.Put32(static_cast<uint32_t>(entries_.size()));
    for (const Entry& e : entries_) {
        c.Put32(e.offset);
        c.Put32(e.size);
        c.Put32(e.third);
        c.Put32(e.fourth);
    }
    if (!write(h.data(), h.size())) {
        return false;
    }
    std::rewind(spool_);
    std::vector<uint8_t> block(1 << 16);
    uint64_t left = spooled_;
    while (left > 0) {
        const size_t n =
            std::fread(block.data(), 1, std::min<uint64_t>(left, block.size()), spool_);
        if (n == 0 || !write(block.data(), n)) {
            return false;
        }
        left -= n;
    }
    return true;
}

}  // namespace lunavue
