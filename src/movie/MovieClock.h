// The clock of one movie, made once when it opens and never changed after: the display
// period, the timer's period, how many periods the movie lasts, where each frame's periods
// begin, and every conversion between milliseconds, display periods ("slots") and frames.
// The player, the Information dialog, cpktool and the thumbnails all ask this one object.
//
// Slot n covers the clock from n display periods to n + 1 after the start. Frame f fills
// one slot for every period its duration begins (at least one), from FirstSlotOfFrame(f) on.
// The period and the ticks a second are held in single precision, and a time is turned into
// its slot with the single-precision value of 0.001 (0.0010000000474974513), so that slot
// boundaries fall where the player has always put them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lunavue {

class MovieReader;

class MovieClock {
  public:
    // The longest a movie plays: about 24.8 days, half of what the millisecond clock holds
    // before it wraps, so that times and their differences never overflow.
    static constexpr double kMaxDurationMs = 2147483647.0;

    // No movie: no periods, and every conversion answers 0.
    MovieClock() = default;
    // The clock of an open reader's movie; false when the frame table cannot be had.
    static bool Make(const MovieReader& reader, MovieClock& out);
    // A clock of these numbers (each frame's first slot, then the slots in all; none: no
    // frames), for tools and tests that know them.
    static MovieClock FromNumbers(float periodTicks, float baseFrequency, uint32_t periodCount,
                                  std::vector<uint32_t> frameSlots = {0});

    float PeriodTicks() const { return periodTicks_; }
    float BaseFrequency() const { return baseFrequency_; }
    // One display period in ms, at least 1: the timer's period.
    uint32_t TimerDelayMs() const { return timerDelayMs_; }
    // Display periods the movie lasts: as its last frame's time says, but never much longer
    // than its frames fill (a damaged time stamp cannot hold the queue) and never longer
    // than kMaxDurationMs.
    uint32_t PeriodCount() const { return periodCount_; }
    uint32_t FrameCount() const { return static_cast<uint32_t>(frameSlots_.size()) - 1; }

    // When slot begins, in ms from the start (a negative slot lies before it).
    double DueMs(double slot) const;
    // The slot of a time.
    uint32_t SlotAt(uint32_t ms) const;
    // The first millisecond whose slot is this one.
    uint32_t FirstMsOfSlot(uint32_t slot) const;
    // Ms from `ms` until the slot changes, at least 1 (1000 at most).
    uint32_t MsToNextSlot(uint32_t ms) const;
    uint32_t FrameAtSlot(uint32_t slot) const;
    uint32_t FirstSlotOfFrame(uint32_t frame) const;
    // The first millisecond at which the frame shows.
    uint32_t FirstMsOfFrame(uint32_t frame) const { return FirstMsOfSlot(FirstSlotOfFrame(frame)); }
    // How long the movie lasts, in ms and in whole seconds.
    uint32_t DurationMs() const;
    uint32_t TotalSeconds() const;

  private:
    float periodTicks_ = 0;
    float baseFrequency_ = 0;
    uint32_t timerDelayMs_ = 0;
    uint32_t periodCount_ = 0;
    std::vector<uint32_t> frameSlots_{0};  // each frame's first slot, then the slots in all
};

// Times as the player writes them: the elapsed and total panes ("%2d:%2d" of minutes and
// seconds, blank-padded: " 1: 5"), the Information dialog ("%d:%d": "1:5"), and everywhere
// else a clock's "m:ss" ("1:05").
std::string PaneTime(uint32_t seconds);
std::string InfoTime(uint32_t seconds);
std::string ClockTime(uint32_t ms);
// A time as a person types it: "75" or "75.5" seconds, "1:15", "1:15.5", "1:02:03"; blanks
// around it are ignored. Nothing for any other text or a time beyond the 32-bit range.
std::optional<uint32_t> ParseClockTime(const std::string& text);

}  // namespace lunavue
