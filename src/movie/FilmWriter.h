// Writes a FILM movie in the standard layout the games' loaders accept: the header ("FILM",
// its length, version "1.09"), the 32-byte descriptor, the table (the base frequency, one
// entry a chunk), then the chunks back to back, each padded to an even length. Chunks are
// kept in a temporary file as they come, so that memory holds only the table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace lunavue {

struct FilmDescription {
    char coding[4] = {'c', 'v', 'i', 'd'};  // "cvid", "raw ", or four zero bytes (sound alone)
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t channels = 0;     // 0: no sound
    uint8_t bits = 0;         // 8 or 16
    uint8_t compression = 0;  // 0 PCM, 2 ADPCM
    uint16_t rate = 0;
    uint32_t base = 600;  // ticks a second
};

class FilmWriter {
  public:
    explicit FilmWriter(const FilmDescription& description);
    ~FilmWriter();
    FilmWriter(const FilmWriter&) = delete;
    FilmWriter& operator=(const FilmWriter&) = delete;

    // A picture at time (ticks) lasting duration ticks; key: it needs no picture before it.
    // pad false leaves an odd picture odd (one whose stored length its reader relies on).
    bool AddPicture(const uint8_t* data, size_t size, uint32_t time, uint32_t duration, bool key,
                    bool pad = true);
    bool AddSound(const uint8_t* data, size_t size);
    size_t Chunks() const { return entries_.size(); }
    // The whole movie, through write (false from it ends the writing); false when anything
    // failed.
    bool WriteTo(const std::function<bool(const void*, size_t)>& write);

  private:
    struct Entry {
        uint32_t offset, size, third, fourth;
    };
    bool Spool(const uint8_t* data, size_t size, uint32_t third, uint32_t fourth, bool pad);

    FilmDescription description_;
    std::FILE* spool_ = nullptr;
    uint64_t spooled_ = 0;
    std::vector<Entry> entries_;
    bool ok_ = true;
};

}  // namespace lunavue
