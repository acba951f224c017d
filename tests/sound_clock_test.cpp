// The picture's clock against a sound device that says what has been heard, and a device
// that goes away with its server and comes back.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "EngineFakes.h"
#include "FilmBuilder.h"
#include "TestUtil.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

// Frames numbered 1 to 100 (their grey level) of 100 ms each, and 100 ms of 8-bit sound
// at 1000 Hz before each, whose bytes are the number of their frame.
FilmMovie Talking() {
    FilmMovie m;
    m.baseFrequency = 100;
    m.channels = 1;
    m.bits = 8;
    m.rate = 1000;
    for (int i = 1; i <= 100; ++i) {
        m.Audio(Bytes(100, static_cast<uint8_t>(i)));
        m.Video(GreyFrame(i), 10);
    }
    return m;
}

struct Listener : FakeHost {
    TempDir dir;
    std::unique_ptr<CTovrinDoc> doc;

    Listener() {
        doc = std::make_unique<CTovrinDoc>(Platform(), shell);
        doc->SetView(&view);
        Talking().Save(dir.File("talk.cpk"));
        doc->AppendToQueue(dir.File("talk.cpk"));
        doc->IdleStep(false);
    }
    int Shown() const { return doc->CurrentFrame() ? doc->CurrentFrame()[0] : -1; }
    // Lets ms go by on the clock: a tick every timer period, an idle step every ms, the
    // device playing what it gets; `hearing` moves what the device says is heard with it.
    void Pass(uint32_t ms, bool hearing) {
        for (uint32_t i = 0; i < ms; ++i) {
            ++clock.now;
            if (hearing && wave.heard)
                ++*wave.heard;
            if (clock.now % timer.period == 0)
                timer.Tick();
            wave.Play(1);
            doc->IdleStep(false);
        }
    }
};

}  // namespace

// A device that starts late (a sound server waking its output) holds the picture until
// the sound is heard; then the picture follows the sound, also across a long pause, so that
// no offset builds up; a device that cannot say lets the clock pace alone.
TEST(SoundClock, ThePictureFollowsTheSoundHeard) {
    Listener l;
    l.wave.heard = 0;
    l.doc->Play();
    l.Pass(300, false);
    EXPECT_EQ(l.Shown(), 1) << "nothing heard yet: the first picture stays";
    EXPECT_LE(l.doc->PositionMs(), CTovrinDoc::kSyncToleranceMs);

    l.Pass(1000, true);
    EXPECT_EQ(l.Shown(), 11) << "1 s of sound heard: the picture of 1 s";
    EXPECT_NEAR(l.doc->PositionMs(), 1000, CTovrinDoc::kSyncToleranceMs);

    l.doc->OnPause();
    l.Pass(5000, false);
    l.doc->OnPause();
    l.Pass(120, false);  // the device takes a while to play again
    EXPECT_EQ(l.Shown(), 11);
    l.Pass(500, true);
    EXPECT_NEAR(l.doc->PositionMs(), 1500, CTovrinDoc::kSyncToleranceMs);
    EXPECT_EQ(l.Shown(), 16);

    // Sound heard ahead of the clock pulls the picture along.
    *l.wave.heard += 300;
    l.Pass(1, true);
    EXPECT_NEAR(l.doc->PositionMs(), 1801, CTovrinDoc::kSyncToleranceMs);
    EXPECT_EQ(l.Shown(), 19);

    l.wave.heard.reset();
    l.Pass(400, false);
    EXPECT_NEAR(l.doc->PositionMs(), 2201, CTovrinDoc::kSyncToleranceMs);
}

// A seek keeps the device and drops what it holds; the device knows the movie's name.
TEST(SoundClock, ASeekRestartsTheDeviceItHas) {
    Listener l;
    EXPECT_EQ(l.wave.title, "talk.cpk");
    l.doc->Play();
    l.Pass(200, false);
    const int resets = l.wave.resets;
    l.doc->Seek(5000);
    EXPECT_EQ(l.wave.opens, 1);
    EXPECT_EQ(l.wave.resets, resets + 1);
    ASSERT_FALSE(l.wave.queued.empty());
    EXPECT_EQ(l.wave.queued.front().data[0], 51 + 128) << "the sound of 5 s";
}

// The sound server goes away mid-movie: said once, the picture goes on by the clock; the
// server returns: the sound comes back by itself, from where the picture is.
TEST(SoundClock, TheSoundComesBackWithItsServer) {
    Listener l;
    l.doc->Play();
    l.Pass(1000, false);
    l.wave.serverUp = false;
    l.wave.lost = true;
    l.Pass(1000, false);
    ASSERT_EQ(l.shell.problems, std::vector<std::string>{"the sound server went away"});
    EXPECT_TRUE(l.doc->ClockRuns());
    EXPECT_NEAR(l.doc->PositionMs(), 2000, 2);
    EXPECT_EQ(l.Shown(), 21);

    const size_t before = l.wave.written.size();
    l.wave.serverUp = true;
    l.Pass(1, false);
    EXPECT_EQ(l.shell.soundBack, 1);
    EXPECT_TRUE(l.wave.open);
    ASSERT_GT(l.wave.written.size(), before);
    EXPECT_EQ(l.wave.written[before], 21 + 128) << "the sound of 2 s";
    l.Pass(3000, false);
    EXPECT_EQ(l.shell.problems.size(), 1u);
    EXPECT_EQ(l.shell.soundBack, 1);
    EXPECT_EQ(l.Shown(), 51);
}

// Faster or slower: a 20 s movie at 1.5 times ends after 13.3 s of the clock, the time shown
// runs at 1.5 seconds a second from where the speed changed, and the sound written lasts
// two thirds as long (stretched at its pitch); back at 1 times the sound is the movie's own.
TEST(SoundClock, FasterAndSlower) {
    FilmMovie m;
    m.width = 32;
    m.height = 16;
    m.channels = 1;
    m.bits = 16;
    m.rate = 8000;
    for (int i = 1; i <= 200; ++i) {  // 20 s at 10 frames a second
        Bytes sound(1600);
        for (size_t n = 0; n < 800; ++n) {
            const auto s =
                static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * (i * 800 + n) / 8000));
            sound[2 * n] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);  // big-endian
            sound[2 * n + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF);
        }
        m.Audio(sound);
        m.Video(GreyFrame(i, 32, 16));
    }
    TempDir dir;
    m.Save(dir.File("m.cpk"));
    const auto play = [&](uint32_t speed, uint32_t& endedAfter, size_t& soundBytes) {
        FakeHost host;
        CTovrinDoc doc{host.Platform(), host.shell};
        doc.SetView(&host.view);
        doc.SetSpeed(speed);
        doc.AppendToQueue(dir.File("m.cpk"));
        doc.IdleStep(false);
        doc.Play();
        const uint32_t start = host.clock.now;
        for (int i = 0; i < 60000 && doc.IsPlaying(); ++i) {
            ++host.clock.now;
            if (i % host.timer.period == 0)
                host.timer.Tick();
            host.wave.Play(10);
            doc.IdleStep(false);
        }
        endedAfter = host.clock.now - start;
        soundBytes = host.wave.written.size();
    };
    uint32_t normal = 0, fast = 0, slow = 0;
    size_t normalBytes = 0, fastBytes = 0, slowBytes = 0;
    play(1000, normal, normalBytes);
    play(1500, fast, fastBytes);
    play(750, slow, slowBytes);
    EXPECT_NEAR(normal, 20000, 200);
    EXPECT_NEAR(fast, 13333, 200);
    EXPECT_NEAR(slow, 26667, 250);
    EXPECT_NEAR(static_cast<double>(fastBytes), normalBytes / 1.5, normalBytes * 0.02);
    EXPECT_NEAR(static_cast<double>(slowBytes), normalBytes / 0.75, normalBytes * 0.02);

    // Changed while playing: from the same place, at the new pace; the sound starts again.
    FakeHost host;
    CTovrinDoc doc{host.Platform(), host.shell};
    doc.SetView(&host.view);
    doc.AppendToQueue(dir.File("m.cpk"));
    doc.IdleStep(false);
    doc.Play();
    doc.Seek(5000);
    doc.SetSpeed(2000);
    EXPECT_EQ(doc.Speed(), 2000u);
    EXPECT_NEAR(doc.PositionMs(), 5000, 20);
    host.clock.now += 1000;
    EXPECT_NEAR(doc.PositionMs(), 7000, 20);
    doc.OnPause();
    host.clock.now += 3000;
    EXPECT_NEAR(doc.PositionMs(), 7000, 20) << "paused, the time stands";
    doc.OnPause();
    host.clock.now += 500;
    EXPECT_NEAR(doc.PositionMs(), 8000, 20);
    doc.SetSpeed(5000);
    EXPECT_EQ(doc.Speed(), CTovrinDoc::kFastest) << "no faster than twice";
    doc.SetSpeed(1000);
    EXPECT_NEAR(doc.PositionMs(), 8000, 20);
}
