#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>

namespace lunavue {
namespace {
std::atomic<MessageBoxSink*> g_sink{nullptr};
}

MessageBoxSink* SetMessageBoxSink(MessageBoxSink* sink) {
    return g_sink.exchange(sink);
}

void ShowErrorBox(const std::string& text) {
    if (MessageBoxSink* sink = g_sink.load()) {
        sink->ShowError(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

}  // namespace lunavue
