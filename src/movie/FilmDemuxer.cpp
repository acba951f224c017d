#include "movie/FilmDemuxer.h"

#include <algorithm>
#include <cstring>

#include "movie/FilmLayout.h"
#include "platform/BigEndian.h"
#include "platform/Memory.h"

namespace lunavue {
namespace {

using film::kDependentBit;
using film::kFullDescriptor;
using film::kHeaderBytes;
using film::kShortestDescriptor;
using film::kSoundMarker;
using film::kStandardTable;
using film::kTimeMask;
using film::kVersionUnknownLayout;
using film::Tagged;

// What files without sound fields are taken to hold: signed 8-bit mono at 22050 Hz, the
// assumption of every reader of such files.
constexpr SoundFields kAssumedSound{1, 8, 0, 22050, false};

}  // namespace

std::string FilmHeader::LayoutName() const {
    if (layout == FilmLayout::kVersion0) {
        return "version 0";
    }
    if (versionWord == kVersionUnknownLayout) {
        return "standard (version 00 02 00 00)";
    }
    return version.empty() ? "standard" : "standard " + version;
}

const char* FilmHeader::CodingName() const {
    switch (coding) {
        case PictureCoding::kCinepak:
            return "cvid";
        case PictureCoding::kRaw:
            return "raw ";
        case PictureCoding::kNone:
            break;
    }
    return "none";
}

OpenStatus FilmDemuxer::Read(const MovieFile& file, Film& film) {
    film.Clear();
    uint64_t tableAt = 0;
    uint32_t entries = 0;
    OpenStatus status = ReadHeader(file, film, tableAt, entries);
    if (status) {
        status = ReadTable(file, tableAt, entries, film);
    }
    // The layout of version 00 02 00 00 is not known: such a file is read only where the
    // standard layout checks out, and refused in its own words where it does not.
    const bool unknownLayout = film.header.versionWord == kVersionUnknownLayout;
    if (!status && unknownLayout &&
        (status.error == OpenError::kTooShort || status.error == OpenError::kEntryCount ||
         status.error == OpenError::kDataPastEnd)) {
        status = {OpenError::kUnknownVersion};
    }
    if (!status) {
        film.Clear();
    }
    return status;
}

// The header decides the layout: where the table lies, which sound fields there are, the
// picture coding and size, and the clock.
OpenStatus FilmDemuxer::ReadHeader(const MovieFile& file, Film& film, uint64_t& tableAt,
                                   uint32_t& entries) {
    uint8_t h[kHeaderBytes];
    const size_t got = file.ReadAt(0, h, kHeaderBytes);
    // Every FILM movie, of any layout, begins with its signature; anything else (a text, a
    // picture, another container) is not one, whatever its bytes would say further on.
    if (got < 4 || !Tagged(h, "FILM")) {
        return {OpenError::kNotFilm};
    }
    if (got != kHeaderBytes) {
        return {OpenError::kTooShort};
    }
    FilmHeader& hd = film.header;
    uint32_t stab = 0;
    bool shortDescriptor = false;
    if (OpenStatus s = ReadLayout(h, hd, stab, shortDescriptor); !s) {
        return s;
    }
    if (OpenStatus s = ReadCoding(h, shortDescriptor, hd); !s) {
        return s;
    }
    hd.headerLength = Be32(h + 4);
    hd.height = Be32(h + 28);
    hd.width = Be32(h + 32);
    hd.sound =
        shortDescriptor ? kAssumedSound : SoundFields{h[37], h[38], h[39], Be16(h + 40), true};
    if (hd.coding != PictureCoding::kNone &&
        (hd.width == 0 || hd.height == 0 || hd.width > kMaxPicture || hd.height > kMaxPicture)) {
        return {OpenError::kPictureSize};
    }
    hd.baseFrequency = Be32(h + stab + 8);
    if (hd.baseFrequency == 0) {
        return {OpenError::kBaseFrequencyZero};
    }
    // The table's own length field is not used: some files leave its preamble out.
    const int32_t n = static_cast<int32_t>(Be32(h + stab + 12));
    if (n <= 0) {
        return {OpenError::kEntryCount, static_cast<uint32_t>(n)};
    }
    tableAt = stab + 16;
    if (tableAt + 16 * static_cast<uint64_t>(n) > file.Size()) {
        return {OpenError::kTooShort};
    }
    entries = static_cast<uint32_t>(n);
    return {};
}

// The layout from the signatures, the version word and the descriptor's length: where the
// sample table's chunk begins, and whether the descriptor lacks the sound fields.
OpenStatus FilmDemuxer::ReadLayout(const uint8_t* h, FilmHeader& hd, uint32_t& stab,
                                   bool& shortDescriptor) {
    if (Tagged(h, "FILM") && Tagged(h + 16, "FHDR")) {
        return {OpenError::kThreeDoStream};
    }
    hd.versionWord = Be32(h + 8);
    for (const uint8_t* c = h + 8; c < h + 12 && *c >= 0x20 && *c < 0x7F; ++c) {
        hd.version += static_cast<char>(*c);
    }
    hd.layout = hd.versionWord == 0 ? FilmLayout::kVersion0 : FilmLayout::kStandard;
    const uint32_t descriptor = Be32(h + 20);
    shortDescriptor = hd.layout == FilmLayout::kVersion0 ||
                      (descriptor >= kShortestDescriptor && descriptor < kFullDescriptor);
    stab = hd.layout == FilmLayout::kVersion0 ? 16 + kShortestDescriptor
           : shortDescriptor                  ? 16 + descriptor
                                              : kStandardTable;
    if (hd.versionWord == kVersionUnknownLayout &&
        (descriptor != kFullDescriptor || !Tagged(h + kStandardTable, "STAB"))) {
        return {OpenError::kUnknownVersion};
    }
    return {};
}

// The picture coding from its four characters.
OpenStatus FilmDemuxer::ReadCoding(const uint8_t* h, bool shortDescriptor, FilmHeader& hd) {
    const uint32_t fourcc = static_cast<uint32_t>(h[24]) | static_cast<uint32_t>(h[25]) << 8 |
                            static_cast<uint32_t>(h[26]) << 16 | static_cast<uint32_t>(h[27]) << 24;
    if (Tagged(h + 24, "cvid")) {
        hd.coding = PictureCoding::kCinepak;
    } else if (Tagged(h + 24, "raw ")) {
        hd.coding = PictureCoding::kRaw;
        // Raw pictures are 24-bit; files without the field are taken to be.
        const uint32_t bits = shortDescriptor ? 24 : h[36];
        if (bits != 24) {
            return {OpenError::kRawPictureBits, bits};
        }
    } else if (fourcc == 0) {
        hd.coding = PictureCoding::kNone;
    } else if (Tagged(h, "FILM") && !Tagged(h + 16, "FDSC")) {
        return {OpenError::kAbridgedFilm};
    } else {
        return {OpenError::kNotCinepak, fourcc};
    }
    return {};
}

// The table: one record per entry, checked against the file. Sample data lie back to back
// from the first entry's offset, so each record's place follows from the lengths before it.
OpenStatus FilmDemuxer::ReadTable(const MovieFile& file, uint64_t at, uint32_t n, Film& film) {
    const uint64_t tableBytes = n * kBytesPerEntry;
    if (tableBytes > kMemoryLimit) {
        return {OpenError::kOutOfMemory, tableBytes};
    }
    std::vector<uint8_t> raw;
    if (!TryAllocate(raw, 16 * static_cast<size_t>(n)) || !TryReserve(film.samples, n)) {
        return {OpenError::kOutOfMemory, tableBytes};
    }
    if (file.ReadAt(at, raw.data(), raw.size()) != raw.size()) {
        return {OpenError::kTooShort};
    }
    const FilmHeader& hd = film.header;
    const uint32_t maxDuration = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{kMaxFrameSeconds} * hd.baseFrequency, INT32_MAX));
    uint32_t pictureCount = 0;
    uint64_t position = 0;
    film.framePeriod = kMaxFramePeriod;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* r = raw.data() + 16 * static_cast<size_t>(i);
        const uint32_t offset = Be32(r) + hd.headerLength;
        const uint32_t length = Be32(r + 4);
        const uint32_t word = Be32(r + 8);
        position = i == 0 ? offset : position;
        const uint64_t place = position;
        position += length;
        if (static_cast<int32_t>(length) < 0 || position > file.Size()) {
            return {OpenError::kDataPastEnd, i};
        }
        if (word == kSoundMarker) {
            film.samples.push_back({place, length, 0, 0, SampleKind::kSound, KeyMark::kKey});
            continue;
        }
        if (hd.coding == PictureCoding::kNone) {
            continue;  // pictures of a file that declares none are never shown as anything
        }
        const uint32_t duration = Be32(r + 12);
        if (duration == 0) {
            return {OpenError::kPeriodZero, i};
        }
        SampleRecord picture{place,
                             length,
                             word & kTimeMask,
                             std::min(duration, maxDuration),
                             SampleKind::kPicture,
                             (word & kDependentBit) == 0 ? KeyMark::kKey : KeyMark::kDependent};
        // Every raw picture stands alone.
        picture.key = hd.coding == PictureCoding::kRaw ? KeyMark::kKey : picture.key;
        film.framePeriod = std::min(film.framePeriod, picture.duration);
        film.samples.push_back(picture);
        ++pictureCount;
    }
    return Index(film, pictureCount);
}

// The pictures and the sound chunks of the table, each in file order; their largest sizes;
// the key marks; the movie's length.
OpenStatus FilmDemuxer::Index(Film& film, uint32_t pictureCount) {
    const size_t n = film.samples.size();
    if (pictureCount == 0 && (film.header.coding != PictureCoding::kNone || n == 0)) {
        return {OpenError::kNoVideo};
    }
    if (!TryReserve(film.pictures, pictureCount) || !TryReserve(film.sounds, n - pictureCount)) {
        return {OpenError::kOutOfMemory, n * kBytesPerEntry};
    }
    for (uint32_t i = 0; i < n; ++i) {
        const SampleRecord& s = film.samples[i];
        if (s.kind == SampleKind::kSound) {
            film.sounds.push_back(i);
            film.largestSound = std::max(film.largestSound, s.size);
        } else {
            film.pictures.push_back(i);
            film.largestPicture = std::max(film.largestPicture, s.size);
        }
    }
    if (pictureCount == 0) {
        film.framePeriod = 0;  // a movie of sound alone: its timing comes from the sound
        return {};
    }
    // Files of an old muxer mark the first frame as dependent, and their marks mean the
    // opposite: then the frames' own data tell.
    if (film.Picture(0).key != KeyMark::kKey) {
        for (uint32_t index : film.pictures) {
            film.samples[index].key = KeyMark::kAskTheData;
        }
    }
    const SampleRecord& last = film.Picture(pictureCount - 1);
    film.totalTicks = last.time + last.duration;
    return {};
}

}  // namespace lunavue
