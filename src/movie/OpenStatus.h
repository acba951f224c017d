// Why a movie could not be opened, with the detail the reason is about.
#pragma once

#include <cstdint>
#include <string>

namespace lunavue {

enum class OpenError {
    kNone,
    kNotCinepak,      // a picture coding this player does not read: refused without a box
    kCannotOpen,      // the file cannot be opened for reading (detail: errno)
    kNotRegularFile,  // a folder, a pipe, a device
    kTooShort,        // shorter than its header or its sample table
    kEntryCount,      // no entries, or a count that cannot be
    kPictureSize,     // width or height 0 or beyond the largest picture
    kNoVideo,         // nothing to show or hear: no picture entry (and no sound to play)
    kPeriodZero,      // a picture entry lasting 0 ticks (detail: the entry)
    kBaseFrequencyZero,
    kDataPastEnd,  // a sample's data runs past the end of the file (detail: the entry)
    kOutOfMemory,  // the buffers cannot be had, or would pass the limit (detail: bytes)
    kNoDecompressor,
    kRawPictureBits,  // raw pictures of another depth than 24 bits (detail: the depth)
    kUnknownVersion,  // version 00 02 00 00 whose layout is not the standard one
    kThreeDoStream,   // a 3DO stream's FILM chunk (FHDR), not a FILM container
    kAbridgedFilm,    // FILM without FDSC: the abridged form of cartridge games
    kNotFilm,         // no FILM signature at the start: another kind of file
};

struct OpenStatus {
    OpenError error = OpenError::kNone;
    uint64_t detail = 0;  // the entry, the size, the depth or the system error
    explicit operator bool() const { return error == OpenError::kNone; }
    // The reason in English, for the command line: "sample table entry 12 runs past the
    // end of the file".
    std::string Describe() const;
    // The same as a text with %1 where Argument() goes, so that a window can show it in
    // its own language (the texts are marked for translation).
    const char* Format() const;
    std::string Argument() const;
};

}  // namespace lunavue
