// The FILM container's layout as the standard files have it, for every part that reads or
// checks one: the header's chunks and their places, the table's entries and their marks,
// and the clock the games' own movies use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/BigEndian.h"

namespace lunavue::film {

// The file begins with "FILM", the header's length, the version word and 4 reserved bytes;
// the descriptor chunk "FDSC" follows at 16, then the table chunk "STAB".
inline constexpr size_t kHeaderBytes = 64;  // read at once: enough for every layout's header
inline constexpr uint32_t kVersionUnknownLayout = 0x00020000;
// The standard descriptor is 32 bytes; shorter ones (from 20, which holds the picture
// fields) end before the sound fields, and the table follows them.
inline constexpr uint32_t kFullDescriptor = 32;
inline constexpr uint32_t kShortestDescriptor = 20;
inline constexpr uint32_t kStandardTable = 48;  // 16 + kFullDescriptor
// The table chunk: tag, length, base frequency, entry count, then 16-byte entries of offset
// (from the header's end), length, and two words: a sound chunk's first is kSoundMarker; a
// picture's are its time (bit 31: it depends on the picture before) and its duration.
inline constexpr uint32_t kTablePreamble = 16;
inline constexpr uint32_t kEntryBytes = 16;
inline constexpr uint32_t kSoundMarker = 0xFFFFFFFF;
inline constexpr uint32_t kDependentBit = 0x80000000u;
inline constexpr uint32_t kTimeMask = 0x00FFFFFF;
// The games' movies count time in 600ths of a second, each frame a number of them.
inline constexpr uint32_t kGamesBase = 600;

// Stored sound bytes a second: PCM as it is; the 4-bit ADPCM stream in 18-byte blocks of 32
// samples of one channel.
inline uint64_t StoredBytesPerSecond(uint32_t rate, uint32_t channels, uint32_t bits,
                                     uint32_t compression) {
    channels = channels == 0 ? 1 : channels;
    if (compression == 2) {
        return uint64_t{rate} * channels * 18 / 32;
    }
    return uint64_t{rate} * channels * (bits == 16 ? 2 : 1);
}

// A Cinepak picture in FILM: its 10-byte frame header, then the bytes FILM keeps before the
// strips: none where the header's length is the sample's (or divides it), six where they are
// these, else the standard two.
inline constexpr size_t kCinepakFrameHeader = 10;
inline constexpr uint8_t kSixExtraBytes[6] = {0xFE, 0x00, 0x00, 0x06, 0x00, 0x00};

// The frame's extra bytes by that rule, from the first `available` bytes of the sample
// (at least the frame header).
inline uint32_t PictureExtraBytes(const uint8_t* frame, size_t available, uint32_t sampleSize) {
    const uint32_t length = Be24(frame + 1);
    if (length == sampleSize || (length != 0 && sampleSize % length == 0)) {
        return 0;
    }
    if (sampleSize >= kCinepakFrameHeader + sizeof kSixExtraBytes &&
        available >= kCinepakFrameHeader + sizeof kSixExtraBytes &&
        std::memcmp(frame + kCinepakFrameHeader, kSixExtraBytes, sizeof kSixExtraBytes) == 0) {
        return 6;
    }
    return 2;
}

inline bool Tagged(const uint8_t* at, const char (&tag)[5]) {
    return std::memcmp(at, tag, 4) == 0;
}

}  // namespace lunavue::film
