// The clock of a movie: every conversion between milliseconds, display periods and frames,
// from movies built for it and from the numbers the player has always used.
#include <gtest/gtest.h>

#include "FilmBuilder.h"
#include "TestUtil.h"
#include "movie/MovieClock.h"
#include "movie/MovieReader.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

// A clock of a movie whose frames last these ticks at this base frequency.
MovieClock ClockOf(uint32_t base, std::vector<uint32_t> durations) {
    FilmMovie m;
    m.baseFrequency = base;
    for (size_t i = 0; i < durations.size(); ++i)
        m.Video(GreyFrame(static_cast<int>(i + 1)), durations[i]);
    TempDir dir;
    m.Save(dir.File("m.cpk"));
    MovieReader reader;
    EXPECT_TRUE(reader.Open(dir.File("m.cpk")));
    MovieClock clock;
    EXPECT_TRUE(MovieClock::Make(reader, clock));
    return clock;
}

}  // namespace

TEST(MovieClock, ConvertsBetweenTimesSlotsAndFrames) {
    // 600 ticks a second, a 40-tick period: 15 slots a second, a period of 66.67 ms.
    const MovieClock c = ClockOf(600, std::vector<uint32_t>(300, 40));
    EXPECT_EQ(c.TimerDelayMs(), 66u);
    EXPECT_EQ(c.PeriodCount(), 300u);
    EXPECT_EQ(c.FrameCount(), 300u);
    EXPECT_EQ(c.DurationMs(), 20000u);
    EXPECT_EQ(c.TotalSeconds(), 20u);
    struct Case {
        uint32_t ms, slot, firstMsOfSlot, toNextSlot;
    };
    // The single-precision 0.001 puts 1000 ms in slot 15 and 999 ms in slot 14.
    for (const Case& k :
         {Case{0, 0, 0, 67}, Case{66, 0, 0, 1}, Case{67, 1, 67, 67}, Case{999, 14, 934, 1},
          Case{1000, 15, 1000, 67}, Case{19999, 299, 19934, 1}}) {
        SCOPED_TRACE(k.ms);
        EXPECT_EQ(c.SlotAt(k.ms), k.slot);
        EXPECT_EQ(c.FirstMsOfSlot(k.slot), k.firstMsOfSlot);
        EXPECT_EQ(c.SlotAt(c.FirstMsOfSlot(k.slot)), k.slot);
        EXPECT_EQ(c.MsToNextSlot(k.ms), k.toNextSlot);
        EXPECT_EQ(c.FrameAtSlot(k.slot), k.slot) << "one slot a frame";
    }
    EXPECT_DOUBLE_EQ(c.DueMs(15), 1000.0);
    EXPECT_LT(c.DueMs(-10), 0.0) << "before the start";
}

// Frames of 4, 8 and 6 ticks with a period of 4 fill 1, 2 and 2 slots; the part of a frame
// that does not fill a whole period is dropped.
TEST(MovieClock, LongFramesFillSeveralSlots) {
    const MovieClock c = ClockOf(100, {4, 8, 6, 4});
    EXPECT_EQ(c.PeriodTicks(), 4.0f);
    for (auto [frame, slot] : {std::pair{0u, 0u}, {1u, 1u}, {2u, 3u}, {3u, 5u}})
        EXPECT_EQ(c.FirstSlotOfFrame(frame), slot) << frame;
    for (auto [slot, frame] : {std::pair{0u, 0u}, {1u, 1u}, {2u, 1u}, {3u, 2u}, {4u, 2u}, {5u, 3u}})
        EXPECT_EQ(c.FrameAtSlot(slot), frame) << slot;
    EXPECT_EQ(c.FirstMsOfFrame(2), 120u);
    EXPECT_EQ(c.FrameAtSlot(1000), 3u) << "past the end: the last frame";
    EXPECT_EQ(c.PeriodCount(), 5u) << "22 ticks of time stamps: 5 whole periods";
}

TEST(MovieClock, NoMovieAnswersZero) {
    const MovieClock none;
    EXPECT_EQ(none.SlotAt(12345), 0u);
    EXPECT_EQ(none.DurationMs(), 0u);
    EXPECT_EQ(none.FrameCount(), 0u);
    EXPECT_EQ(none.FrameAtSlot(7), 0u);
    EXPECT_EQ(none.FirstMsOfSlot(3), 0u);
    EXPECT_EQ(none.MsToNextSlot(5), 1000u);
}

// What a person types into Go to Time.
TEST(MovieClock, TimesAsTyped) {
    EXPECT_EQ(ParseClockTime("75"), 75000u);
    EXPECT_EQ(ParseClockTime(" 1:15 "), 75000u);
    EXPECT_EQ(ParseClockTime("0:12"), 12000u);
    EXPECT_EQ(ParseClockTime("1:15.5"), 75500u);
    EXPECT_EQ(ParseClockTime("12.345"), 12345u);
    EXPECT_EQ(ParseClockTime("1:02:03"), 3723000u);
    EXPECT_EQ(ParseClockTime("0"), 0u);
    for (const char* bad : {"", " ", "1:60", "1:2:3:4", "a", "1:", ":5", "1.", "1.5.5", "-3", "1 2",
                            "99999999999", "1193:03:00", "12s"})
        EXPECT_FALSE(ParseClockTime(bad)) << bad;
    EXPECT_EQ(ParseClockTime("1193:02:47"), 4294967000u) << "the largest that fits";
}
