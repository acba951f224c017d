// Plays a movie without a window, through the real engine, clock, timer and sound device.
#pragma once

#include <cstdint>

namespace lunavue {

// Plays the movie `passes` times over, the first time from startMs on, then prints what
// playback did. Returns the exit status: 0 when it played, 1 when it could not be opened.
int PlayHeadless(const char* path, int passes, uint32_t startMs = 0);

}  // namespace lunavue
