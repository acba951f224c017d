#include "movie/OpenStatus.h"

#include <cstring>

#include "platform/MessageBox.h"

namespace lunavue {
namespace {

// A four-character code as text, with bytes that do not print shown as escapes.
std::string FourCcText(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (8 * i));
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            text += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
    return text;
}

}  // namespace

std::string OpenStatus::Describe() const {
    const std::string n = std::to_string(detail);
    switch (error) {
        case OpenError::kNone:
            return "opened";
        case OpenError::kNotCinepak:
            return "the video is not Cinepak (the header says \"" +
                   FourCcText(static_cast<uint32_t>(detail)) + "\")";
        case OpenError::kCannotOpen:
            return std::string("cannot open the file: ") + std::strerror(static_cast<int>(detail));
        case OpenError::kNotRegularFile:
            return "not a regular file";
        case OpenError::kTooShort:
            return "the file ends inside its header or its sample table";
        case OpenError::kEntryCount:
            return "the sample table's entry count (" +
                   std::to_string(static_cast<int32_t>(detail)) + ") is not a positive number";
        case OpenError::kPictureSize:
            return "the picture size is 0 or larger than 4096 pixels";
        case OpenError::kNoVideo:
            return "the sample table has no video entry";
        case OpenError::kPeriodZero:
            return "sample table entry " + n + " is a picture lasting 0 ticks";
        case OpenError::kBaseFrequencyZero:
            return "the base frequency (ticks per second) is 0";
        case OpenError::kDataPastEnd:
            return "sample table entry " + n + " runs past the end of the file";
        case OpenError::kOutOfMemory:
            return "playing it would need " + std::to_string(detail >> 20) +
                   " MB of memory, more than the 512 MB allowed or available";
        case OpenError::kNoDecompressor:
            return "no decompressor for this picture format";
        case OpenError::kRawPictureBits:
            return "raw pictures of " + n + " bits a pixel; only 24-bit raw pictures are read";
        case OpenError::kUnknownVersion:
            return "FILM version 00 02 00 00 in a layout other than the standard one, which "
                   "this player does not know";
        case OpenError::kThreeDoStream:
            return "a 3DO stream whose first chunk is a FILM chunk (FHDR), not a FILM file";
        case OpenError::kAbridgedFilm:
            return "a FILM file without an FDSC chunk (the abridged form of cartridge games), "
                   "which this player does not read";
    }
    return "refused";
}

const char* RefusalMessage(OpenError error) {
    switch (error) {
        case OpenError::kNone:
        case OpenError::kNotCinepak:
            return nullptr;
        case OpenError::kCannotOpen:
        case OpenError::kNotRegularFile:
            return messages::kCannotOpen;
        case OpenError::kOutOfMemory:
            return messages::kNoMemory;
        case OpenError::kNoDecompressor:
        case OpenError::kRawPictureBits:
        case OpenError::kUnknownVersion:
        case OpenError::kThreeDoStream:
        case OpenError::kAbridgedFilm:
            return messages::kNoCodec;
        default:
            return messages::kDamaged;
    }
}

}  // namespace lunavue
