#include "app/ErrorTexts.h"

namespace lunavue {

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
