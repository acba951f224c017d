// The real clock, timer and sound device, on real threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "Fixtures.h"
#include "TestUtil.h"
#include "platform/mm/Clock.h"
#include "platform/mm/NullWaveOut.h"
#include "platform/mm/SdlWaveOut.h"
#include "platform/mm/TempoStretcher.h"
#include "platform/mm/Timer.h"
#include "tools/PlayCommand.h"

using namespace lunavue;
using namespace std::chrono_literals;

namespace {
// Waits up to 10 s for a condition; machines under load are slow, never wrong.
template <typename F>
bool Eventually(F f) {
    for (int i = 0; i < 1000; ++i) {
        if (f())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return f();
}
}  // namespace

TEST(Timer, TicksOnItsOwnThreadWithoutOverlapAndKillWaits) {
    mm::ThreadTimer timer;
    std::atomic<int> ticks{0};
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> otherThread{true};
    const auto main = std::this_thread::get_id();
    uint32_t id = timer.Set(5, [&] {
        if (inside.fetch_add(1) != 0)
            overlapped = true;
        if (std::this_thread::get_id() == main)
            otherThread = false;
        std::this_thread::sleep_for(8ms);  // longer than the period
        ++ticks;
        inside.fetch_sub(1);
    });
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(Eventually([&] { return ticks.load() >= 5; }));
    timer.Kill(id);
    EXPECT_EQ(inside.load(), 0) << "Kill returns only after the tick in progress";
    const int after = ticks.load();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ticks.load(), after) << "no tick after Kill";
    EXPECT_FALSE(overlapped.load());
    EXPECT_TRUE(otherThread.load());
    timer.Kill(id);  // killing a dead timer does nothing
}

TEST(Timer, ATickMayKillItsOwnTimer) {
    mm::ThreadTimer timer;
    std::atomic<int> ticks{0};
    std::atomic<uint32_t> id{0};
    id = timer.Set(2, [&] {
        if (++ticks == 3)
            timer.Kill(id.load());
    });
    ASSERT_TRUE(Eventually([&] { return ticks.load() >= 3; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ticks.load(), 3);
    timer.Kill(id.load());  // the owner's later Kill is harmless
    std::atomic<int> again{0};
    uint32_t second = timer.Set(2, [&] { ++again; });
    EXPECT_NE(second, id.load());
    EXPECT_TRUE(Eventually([&] { return again.load() >= 2; }));
}

TEST(Timer, DeadlinesDoNotDrift) {
    mm::SystemClock clock;
    mm::ThreadTimer timer;
    std::atomic<int> ticks{0};
    const uint32_t start = clock.NowMs();
    uint32_t id = timer.Set(10, [&] {
        ++ticks;
        std::this_thread::sleep_for(3ms);  // work inside each tick does not push the next
    });
    std::this_thread::sleep_for(500ms);
    timer.Kill(id);
    const uint32_t elapsed = clock.NowMs() - start;
    // Deadlines every 10 ms from the start: never more ticks than periods.
    EXPECT_LE(ticks.load(), static_cast<int>(elapsed / 10) + 1);
    EXPECT_GE(ticks.load(), 1);
}

TEST(SdlWaveOut, PlaysWritesInOrderCountsThemAndSaysWhyItCannotOpen) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    mm::SdlWaveOut out;
    WAVEFORMATEX fmt{};
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = 22050;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = 88200;
    WAVEFORMATEX bad = fmt;
    bad.nChannels = 3;
    std::string why;
    EXPECT_FALSE(out.Open(bad, why));
    EXPECT_NE(why.find("3 channels"), std::string::npos) << why;
    ASSERT_TRUE(out.Open(fmt, why));
    EXPECT_EQ(out.Space(), mm::WaveOut::kMaxQueued);
    std::vector<uint8_t> data(3 * 4096, 1);
    for (int i = 0; i < 3; ++i) {
        out.Write(data.data() + 4096 * i, 4096);
    }
    EXPECT_LT(out.Played(), 3u);
    EXPECT_GT(out.DelayMs(), 0u) << "written sound is still to be heard";
    EXPECT_TRUE(Eventually([&] { return out.Played() == 3; }));
    EXPECT_TRUE(Eventually([&] { return out.DelayMs() == 0; })) << "and then it has been";

    // Pause holds the queue; Reset drops it, counting every write as played.
    out.Pause();
    std::this_thread::sleep_for(20ms);
    out.Write(data.data(), 4096);
    out.Write(data.data() + 4096, 4096);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(out.Played(), 3u) << "nothing plays while paused";
    EXPECT_EQ(out.Space(), mm::WaveOut::kMaxQueued - 2);
    out.Reset();
    EXPECT_EQ(out.Played(), 5u);
    EXPECT_EQ(out.DelayMs(), 0u);
    out.Close();
    fmt.wBitsPerSample = 8;
    fmt.nChannels = 1;
    EXPECT_TRUE(out.Open(fmt, why)) << "8-bit mono opens too";
    EXPECT_EQ(out.Played(), 0u) << "counted from each Open";

    // A driver that does not exist: SDL's own reason reaches the caller.
    out.Close();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    why.clear();
    EXPECT_FALSE(out.Open(fmt, why));
    EXPECT_FALSE(why.empty());
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// The null device plays at the pace of the clock it is given, and holds still while paused.
TEST(NullWaveOut, PacedByTheClock) {
    struct : mm::Clock {
        uint32_t now = 5000;
        uint32_t NowMs() override { return now; }
    } clock;
    mm::NullWaveOut out(clock);
    WAVEFORMATEX fmt{};
    fmt.nAvgBytesPerSec = 1000;  // a byte a millisecond
    std::string why;
    ASSERT_TRUE(out.Open(fmt, why));
    uint8_t data[400] = {};
    out.Write(data, 100);
    out.Write(data, 300);
    EXPECT_EQ(out.Played(), 0u);
    EXPECT_EQ(out.DelayMs(), 400u);
    clock.now += 99;
    EXPECT_EQ(out.Played(), 0u);
    clock.now += 1;
    EXPECT_EQ(out.Played(), 1u) << "the first write lasts 100 ms";
    EXPECT_EQ(out.DelayMs(), 300u);
    out.Pause();
    clock.now += 1000;
    EXPECT_EQ(out.Played(), 1u) << "no time passes while paused";
    out.Resume();
    clock.now += 299;
    EXPECT_EQ(out.Played(), 1u);
    clock.now += 1;
    EXPECT_EQ(out.Played(), 2u);
    EXPECT_EQ(out.DelayMs(), 0u);
    // A write after a gap starts when it is written, not where the last one ended.
    clock.now += 500;
    out.Write(data, 50);
    clock.now += 49;
    EXPECT_EQ(out.Played(), 2u);
    clock.now += 1;
    EXPECT_EQ(out.Played(), 3u);
    for (int i = 0; i < mm::WaveOut::kMaxQueued; ++i) {
        out.Write(data, 10);
    }
    EXPECT_EQ(out.Space(), 0);
    out.Reset();
    EXPECT_EQ(out.Played(), 3u + mm::WaveOut::kMaxQueued);
    EXPECT_EQ(out.Space(), mm::WaveOut::kMaxQueued);
}

// Plays whole fixtures through the real engine, timer and SDL's disk driver: what the
// device received is the reference sound, whole and in order, with silence only after it.
TEST(HeadlessPlay, CapturedSoundEqualsTheReference) {
    for (const char* name :
         {"gray-320x200-s8-mono", "bars-320x224-s16-stereo", "adpcm-256x224-stereo-32k",
          "adpcm-320x224-mono-22k", "adpcm-160x120-mono-11k-unaligned"}) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        const std::string capture = dir.File("out.raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        const std::string movie = test::FixturePath(std::string(name) + ".cpk");
        ASSERT_EQ(PlayHeadless(movie.c_str(), 1), 0);
        const test::Bytes want = test::Gunzip(std::string(name) + ".audio.pcm.gz");
        const test::Bytes got = test::ReadBytes(capture);
        const uint8_t silence = std::string(name).find("s8") != std::string::npos ? 0x80 : 0;
        // The device may have played silence before the first buffer arrived; after that
        // comes the whole sound, then nothing but silence.
        const auto start = std::search(got.begin(), got.end(), want.begin(), want.end());
        ASSERT_NE(start, got.end()) << "the sound is not there whole and in order";
        EXPECT_TRUE(std::all_of(got.begin(), start, [&](uint8_t b) { return b == silence; }));
        EXPECT_TRUE(std::all_of(start + static_cast<ptrdiff_t>(want.size()), got.end(),
                                [&](uint8_t b) { return b == silence; }));
        EXPECT_LE(start - got.begin(), 8192) << "sound starts late";
    }
    unsetenv("SDL_DISKAUDIOFILE");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(PlayHeadless("/nonexistent.cpk", 1), 1);
}

// The volume scales what the device plays, not the buffers written: at 50% a 16-bit 1000
// plays as 500 and an unsigned 8-bit 228 (100 above the middle) as 178.
TEST(SdlWaveOut, VolumeScalesInTheDevice) {
    for (int bits : {16, 8}) {
        SCOPED_TRACE(bits);
        test::TempDir dir;
        const std::string capture = dir.File("out.raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        mm::SdlWaveOut out;
        WAVEFORMATEX fmt{};
        fmt.wFormatTag = WAVE_FORMAT_PCM;
        fmt.nChannels = 1;
        fmt.nSamplesPerSec = 8000;
        fmt.wBitsPerSample = static_cast<uint16_t>(bits);
        fmt.nBlockAlign = static_cast<uint16_t>(bits / 8);
        fmt.nAvgBytesPerSec = 8000u * fmt.nBlockAlign;
        std::string why;
        ASSERT_TRUE(out.Open(fmt, why));
        out.SetVolume(50);
        std::vector<uint8_t> data;
        for (int i = 0; i < 800; ++i) {
            if (bits == 16) {
                data.push_back(1000 & 0xFF);
                data.push_back(1000 >> 8);
            } else {
                data.push_back(228);
            }
        }
        const std::vector<uint8_t> written = data;
        out.Write(data.data(), static_cast<uint32_t>(data.size()));
        ASSERT_TRUE(Eventually([&] { return out.Played() == 1 && out.DelayMs() == 0; }));
        out.Close();
        out.SetVolume(100);
        EXPECT_EQ(data, written) << "the buffer itself is left as it was";
        const test::Bytes got = test::ReadBytes(capture);
        const test::Bytes half = bits == 16 ? test::Bytes{500 & 0xFF, 500 >> 8} : test::Bytes{178};
        EXPECT_NE(std::search(got.begin(), got.end(), half.begin(), half.end()), got.end());
        const test::Bytes full =
            bits == 16 ? test::Bytes{1000 & 0xFF, 1000 >> 8} : test::Bytes{228};
        EXPECT_EQ(std::search(got.begin(), got.end(), full.begin(), full.end()), got.end());
    }
    unsetenv("SDL_DISKAUDIOFILE");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Faster or slower at the same pitch: a 440 Hz tone at 1.5 times lasts two thirds as long
// and is still 440 Hz (within 1%); at half speed it lasts twice as long; 8-bit stereo
// comes out as 8-bit stereo.
TEST(TempoStretcher, KeepsThePitch) {
    constexpr int kRate = 22050;
    constexpr int kSeconds = 4;
    std::vector<uint8_t> tone;
    for (int n = 0; n < kRate * kSeconds; ++n) {
        const auto s =
            static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 440 * n / kRate)));
        tone.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
        tone.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    WAVEFORMATEX format{};
    format.nChannels = 1;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    for (const double tempo : {1.5, 0.5, 2.0}) {
        SCOPED_TRACE(tempo);
        mm::TempoStretcher stretcher;
        stretcher.Start(format, tempo);
        std::vector<uint8_t> out;
        for (size_t at = 0; at < tone.size(); at += 4410)  // in the reader's chunk sizes
            stretcher.Put(tone.data() + at, std::min<size_t>(4410, tone.size() - at), out);
        stretcher.Finish(out);
        const double seconds = static_cast<double>(out.size() / 2) / kRate;
        EXPECT_NEAR(seconds, kSeconds / tempo, 0.03 * kSeconds / tempo);
        // The pitch, from the rising zero crossings of the middle half.
        const size_t from = out.size() / 8 * 2, to = out.size() / 8 * 6;
        int crossings = 0;
        int16_t before = 0;
        for (size_t i = from; i < to; i += 2) {
            const auto s = static_cast<int16_t>(static_cast<uint16_t>(out[i] | out[i + 1] << 8));
            crossings += before < 0 && s >= 0 ? 1 : 0;
            before = s;
        }
        const double hz = crossings / (static_cast<double>(to - from) / 2 / kRate);
        EXPECT_NEAR(hz, 440.0, 4.4);
    }
    format.nChannels = 2;
    format.wBitsPerSample = 8;
    mm::TempoStretcher stereo;
    stereo.Start(format, 2.0);
    std::vector<uint8_t> in(kRate * 2 * 2, 128), out;
    stereo.Put(in.data(), in.size(), out);
    stereo.Finish(out);
    EXPECT_NEAR(static_cast<double>(out.size()), in.size() / 2.0, in.size() * 0.03);
    EXPECT_EQ(out.size() % 2, 0u) << "whole stereo samples";
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v >= 127 && v <= 129; }))
        << "silence stays silence";
}
