// The system's calls as the program makes them: a call that a signal interrupted before it
// did anything is made again.
#pragma once

#include <cerrno>

namespace lunavue {

// Calls f until it returns something other than -1 with errno EINTR, and returns that.
template <typename F>
auto RetryOnInterrupt(F f) {
    for (;;) {
        const auto n = f();
        if (!(n < 0 && errno == EINTR)) {
            return n;
        }
    }
}

}  // namespace lunavue
