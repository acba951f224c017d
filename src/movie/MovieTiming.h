// The clock of a movie, worked out in one place for the player, the Information dialog and
// cpktool: the display period, the timer's period, and how many periods the movie lasts.
#pragma once

#include <cstdint>

namespace lunavue {

class MovieReader;

struct MovieTiming {
    // As the player holds them: single precision, so that slot boundaries fall where they
    // always have.
    float periodTicks = 0;
    float baseFrequency = 0;
    uint32_t timerDelayMs = 0;  // one display period, at least 1 ms
    // Display periods the movie lasts: as its last frame's time says, but never much longer
    // than its frames fill, so that a damaged time stamp cannot hold the queue, and never
    // longer than kMaxDurationMs, so that every time in the movie fits the player's clock.
    uint32_t periodCount = 0;

    // The longest a movie plays: about 24.8 days, half of what the millisecond clock holds
    // before it wraps, so that times and their differences never overflow.
    static constexpr double kMaxDurationMs = 2147483647.0;

    // When display period `slot` begins, in ms from the start.
    double DueMs(double slot) const;
    // Whole seconds the movie lasts.
    uint32_t TotalSeconds() const;
};

// The timing of an open reader's movie.
MovieTiming TimingOf(const MovieReader& reader);

}  // namespace lunavue
