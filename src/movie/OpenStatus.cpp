#include "movie/OpenStatus.h"

#include <cstring>

#include "platform/Translation.h"

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

const char* OpenStatus::Format() const {
    switch (error) {
        case OpenError::kNone:
            return QT_TRANSLATE_NOOP("Refusal", "opened");
        case OpenError::kNotCinepak:
            return QT_TRANSLATE_NOOP("Refusal",
                                     "the video is not Cinepak (the header says \"%1\")");
        case OpenError::kCannotOpen:
            return QT_TRANSLATE_NOOP("Refusal", "cannot open the file: %1");
        case OpenError::kNotRegularFile:
            return QT_TRANSLATE_NOOP("Refusal", "not a regular file");
        case OpenError::kNotFilm:
            return QT_TRANSLATE_NOOP("Refusal", "not a FILM movie: no FILM header");
        case OpenError::kTooShort:
            return QT_TRANSLATE_NOOP("Refusal",
                                     "the file ends inside its header or its sample table");
        case OpenError::kEntryCount:
            return QT_TRANSLATE_NOOP(
                "Refusal", "the sample table's entry count (%1) is not a positive number");
        case OpenError::kPictureSize:
            return QT_TRANSLATE_NOOP("Refusal", "the picture size is 0 or larger than 4096 pixels");
        case OpenError::kNoVideo:
            return QT_TRANSLATE_NOOP("Refusal", "the sample table has no video entry");
        case OpenError::kPeriodZero:
            return QT_TRANSLATE_NOOP("Refusal",
                                     "sample table entry %1 is a picture lasting 0 ticks");
        case OpenError::kBaseFrequencyZero:
            return QT_TRANSLATE_NOOP("Refusal", "the base frequency (ticks per second) is 0");
        case OpenError::kDataPastEnd:
            return QT_TRANSLATE_NOOP("Refusal",
                                     "sample table entry %1 runs past the end of the file");
        case OpenError::kOutOfMemory:
            return QT_TRANSLATE_NOOP(
                "Refusal",
                "playing it would need %1 MB of memory, more than the 512 MB allowed or "
                "available");
        case OpenError::kNoDecompressor:
            return QT_TRANSLATE_NOOP("Refusal", "no decompressor for this picture format");
        case OpenError::kRawPictureBits:
            return QT_TRANSLATE_NOOP(
                "Refusal", "raw pictures of %1 bits a pixel; only 24-bit raw pictures are read");
        case OpenError::kUnknownVersion:
            return QT_TRANSLATE_NOOP("Refusal",
                                     "FILM version 00 02 00 00 in a layout other than the standard "
                                     "one, which this player does not know");
        case OpenError::kThreeDoStream:
            return QT_TRANSLATE_NOOP(
                "Refusal",
                "a 3DO stream whose first chunk is a FILM chunk (FHDR), not a FILM file");
        case OpenError::kAbridgedFilm:
            return QT_TRANSLATE_NOOP("Refusal",
                                     "a FILM file without an FDSC chunk (the abridged form of "
                                     "cartridge games), which this player does not read");
    }
    return QT_TRANSLATE_NOOP("Refusal", "refused");
}

std::string OpenStatus::Argument() const {
    switch (error) {
        case OpenError::kNotCinepak:
            return FourCcText(static_cast<uint32_t>(detail));
        case OpenError::kCannotOpen:
            return std::strerror(static_cast<int>(detail));
        case OpenError::kEntryCount:
            return std::to_string(static_cast<int32_t>(detail));
        case OpenError::kOutOfMemory:
            return std::to_string(detail >> 20);
        default:
            return std::to_string(detail);
    }
}

std::string OpenStatus::Describe() const {
    std::string text = Format();
    if (const size_t at = text.find("%1"); at != std::string::npos) {
        text.replace(at, 2, Argument());
    }
    return text;
}

}  // namespace lunavue
