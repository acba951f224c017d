// Plays a movie without a window, through the real engine, clock, timer and sound device.
#pragma once

namespace lunavue {

// Plays the movie `passes` times over, then prints what playback did. Returns the exit
// status: 0 when it played, 1 when it could not be opened.
int PlayHeadless(const char* path, int passes);

}  // namespace lunavue
