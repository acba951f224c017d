// Error boxes: a task-modal box with an error icon, no owner and no caption. The window
// installs a sink that shows a real box; without one the text goes to standard error.
#pragma once

#include <string>

namespace lunavue {

class MessageBoxSink {
  public:
    virtual ~MessageBoxSink() = default;
    virtual void ShowError(const std::string& text) = 0;
};

// Installs the sink (nullptr restores the standard-error default); returns the old one.
MessageBoxSink* SetMessageBoxSink(MessageBoxSink* sink);
void ShowErrorBox(const std::string& text);

// The program's error texts.
namespace messages {
inline constexpr const char* kNoMemory = "ﾒﾓﾘが確保出来ません";
inline constexpr const char* kNoCodec = "CODECが使用出来ません";
inline constexpr const char* kNoSoundMemory = "音声用のﾒﾓﾘが確保出来ません";
inline constexpr const char* kCannotOpen = "ﾌｧｲﾙが開けません";
inline constexpr const char* kDamaged = "ﾌｧｲﾙが壊れています";
}  // namespace messages

}  // namespace lunavue
