// What the window says when something goes wrong: the box texts (in English; their Japanese
// translations are the texts the player has always shown) and which one a refusal gets.
#pragma once

#include "movie/OpenStatus.h"
#include "platform/Translation.h"

namespace lunavue {

namespace messages {
inline constexpr const char* kNoMemory = QT_TRANSLATE_NOOP("Message", "Not enough memory");
inline constexpr const char* kNoCodec = QT_TRANSLATE_NOOP("Message", "The codec cannot be used");
inline constexpr const char* kNoSoundMemory =
    QT_TRANSLATE_NOOP("Message", "Not enough memory for the sound");
inline constexpr const char* kCannotOpen =
    QT_TRANSLATE_NOOP("Message", "The file cannot be opened");
inline constexpr const char* kDamaged = QT_TRANSLATE_NOOP("Message", "The file is damaged");
}  // namespace messages

// The box text for a refusal, or null for one that shows none (a picture coding this
// player does not read is passed over quietly).
const char* RefusalMessage(OpenError error);

}  // namespace lunavue
