// The FILM container turned into records. The layout of the file is decided once, from its
// header (the standard layout, or the older version-0 layout), and everything after it (where
// the table lies, which sound fields exist, how the clock runs) follows from that decision.
// Each entry of the sample table becomes one record with its kind, place, size, time,
// duration and key mark, so that delivery never looks at the stored table again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "movie/MovieFile.h"
#include "movie/OpenStatus.h"

namespace lunavue {

enum class FilmLayout {
    kStandard,  // an ASCII version ("1.09"; also 00 02 00 00 where the layout checks out)
    kVersion0,  // version word 0: a 20-byte FDSC, no sound fields, the table at 36
};

enum class PictureCoding { kCinepak, kRaw, kNone };

enum class SampleKind : uint8_t { kPicture, kSound };

// Whether a picture can be decoded without the ones before it.
enum class KeyMark : uint8_t {
    kKey,
    kDependent,
    kAskTheData,  // the table's marks cannot be trusted: the frame's own strips tell
};

struct SampleRecord {
    uint64_t position = 0;  // where the data lie in the file
    uint32_t size = 0;      // bytes
    uint32_t time = 0;      // pictures: ticks (the stored word's low 24 bits); sound: 0
    uint32_t duration = 0;  // pictures: ticks, never above kMaxFrameSeconds; sound: 0
    SampleKind kind = SampleKind::kPicture;
    KeyMark key = KeyMark::kKey;  // pictures only
};

// The header's sound fields (bytes 37 to 41), or the convention for files without them.
struct SoundFields {
    uint8_t channels = 0;
    uint8_t bits = 0;
    uint8_t compression = 0;
    uint16_t rate = 0;
    bool fromHeader = true;  // false: the file has no sound fields; these are assumed
};

struct FilmHeader {
    FilmLayout layout = FilmLayout::kStandard;
    std::string version;  // the version word's printable characters ("1.09")
    uint32_t versionWord = 0;
    PictureCoding coding = PictureCoding::kCinepak;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t baseFrequency = 0;
    uint32_t headerLength = 0;  // added to every sample's offset
    SoundFields sound;
    // "standard 1.09", "version 0", "standard (version 00 02 00 00)".
    std::string LayoutName() const;
    // "cvid", "raw ", "none".
    const char* CodingName() const;
};

struct Film {
    FilmHeader header;
    std::vector<SampleRecord> samples;  // in file order, as the table lists them
    std::vector<uint32_t> pictures;     // the record of each picture, in order
    std::vector<uint32_t> sounds;       // the record of each sound chunk, in order
    uint32_t framePeriod = 0;           // the shortest picture duration, at most 10000
    uint32_t totalTicks = 0;            // the last picture's time + duration
    uint32_t largestPicture = 0;        // bytes of the largest picture sample
    uint32_t largestSound = 0;          // bytes of the largest sound sample

    bool HasPictures() const { return !pictures.empty(); }
    const SampleRecord& Picture(uint32_t f) const { return samples[pictures[f]]; }
    const SampleRecord& Sound(size_t c) const { return samples[sounds[c]]; }
    void Clear() { *this = Film{}; }
};

class FilmDemuxer {
  public:
    static constexpr uint32_t kMaxPicture = 4096;
    static constexpr uint32_t kMaxFramePeriod = 10000;
    // A single frame never lasts longer than this, whatever its table entry says.
    static constexpr uint32_t kMaxFrameSeconds = 60;
    // The most a movie may ask of memory for reading and playing it.
    static constexpr uint64_t kMemoryLimit = 512ull << 20;
    // Memory the demuxed table takes for each entry (the stored bytes while it is read, the
    // record, an index).
    static constexpr uint64_t kBytesPerEntry = 16 + sizeof(SampleRecord) + 2 * sizeof(uint32_t);

    // Reads the header and the table of an open file, or says why the file cannot be played.
    static OpenStatus Read(const MovieFile& file, Film& film);

  private:
    static OpenStatus ReadLayout(const uint8_t* h, FilmHeader& hd, uint32_t& stab,
                                 bool& shortDescriptor);
    static OpenStatus ReadCoding(const uint8_t* h, bool shortDescriptor, FilmHeader& hd);
    static OpenStatus ReadHeader(const MovieFile& file, Film& film, uint64_t& tableAt,
                                 uint32_t& entries);
    static OpenStatus ReadTable(const MovieFile& file, uint64_t at, uint32_t entries, Film& film);
    static OpenStatus Index(Film& film, uint32_t pictureCount);
};

}  // namespace lunavue
