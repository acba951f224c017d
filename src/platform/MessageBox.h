// Error boxes: a task-modal box with an error icon, no owner and no caption. The window
// installs a sink that shows a real box; without one the text goes to standard error.
#pragma once

#include <string>

#include "platform/Translation.h"

namespace lunavue {

class MessageBoxSink {
  public:
    virtual ~MessageBoxSink() = default;
    virtual void ShowError(const std::string& text) = 0;
};

// Installs the sink (nullptr restores the standard-error default); returns the old one.
MessageBoxSink* SetMessageBoxSink(MessageBoxSink* sink);
void ShowErrorBox(const std::string& text);

// The program's error texts, in English; their Japanese translations are the texts the
// player has always shown.
namespace messages {
inline constexpr const char* kNoMemory = QT_TRANSLATE_NOOP("Message", "Not enough memory");
inline constexpr const char* kNoCodec = QT_TRANSLATE_NOOP("Message", "The codec cannot be used");
inline constexpr const char* kNoSoundMemory =
    QT_TRANSLATE_NOOP("Message", "Not enough memory for the sound");
inline constexpr const char* kCannotOpen =
    QT_TRANSLATE_NOOP("Message", "The file cannot be opened");
inline constexpr const char* kDamaged = QT_TRANSLATE_NOOP("Message", "The file is damaged");
}  // namespace messages

}  // namespace lunavue
