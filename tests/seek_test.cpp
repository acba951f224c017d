// Seeking and frame stepping, checked against the reference frames and sound of the
// fixtures: the picture shown is the frame whose slots hold the time sought, and the
// sound written from then on is the reference from the time's sample.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

#include "EngineFakes.h"
#include "Fixtures.h"
#include "TestUtil.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

struct Reference {
    std::vector<Bytes> frames;  // bottom-up, rows padded, as the engine holds pictures
    Bytes sound;
    uint32_t rate = 0;
    uint32_t frameBytes = 0;  // device bytes of one sample of every channel

    explicit Reference(const Fixture& fx) {
        const Bytes all = Gunzip(std::string(fx.name) + ".frames.bgr.gz");
        const size_t row = 3 * static_cast<size_t>(fx.width);
        const size_t stride = PictureStride(static_cast<uint32_t>(fx.width));
        for (int f = 0; f < fx.frames; ++f) {
            Bytes picture(stride * fx.height, 0);
            for (int y = 0; y < fx.height; ++y) {
                const uint8_t* src = all.data() + row * (static_cast<size_t>(f) * fx.height + y);
                std::memcpy(picture.data() + stride * (fx.height - 1 - y), src, row);
            }
            frames.push_back(std::move(picture));
        }
        if (fx.sound)
            sound = Gunzip(std::string(fx.name) + ".audio.pcm.gz");
    }
};

// A document on fake platform services with a movie the test built, opened.
struct BuiltPlayer : FakeHost {
    TempDir dir;
    CTovrinDoc doc{Platform(), shell};

    explicit BuiltPlayer(const FilmMovie& m) {
        m.Save(dir.File("m.cpk"));
        doc.SetView(&view);
        doc.AppendToQueue(dir.File("m.cpk"));
        doc.IdleStep(false);
    }
};

// A document on fake platform services playing one fixture.
struct Player : FakeHost {
    CTovrinDoc doc{Platform(), shell};
    Reference ref;
    size_t pictureBytes;

    explicit Player(const Fixture& fx) : ref(fx) {
        doc.SetView(&view);
        doc.AppendToQueue(FixturePath(std::string(fx.name) + ".cpk"));
        doc.IdleStep(false);
        pictureBytes = ref.frames[0].size();
        const WAVEFORMATEX w = doc.Reader().GetAudioFormat();
        ref.rate = w.nSamplesPerSec;
        ref.frameBytes = w.nBlockAlign;
    }
    // The index of the reference frame on screen, or -1.
    int Shown() const {
        for (size_t f = 0; f < ref.frames.size(); ++f) {
            if (std::memcmp(doc.CurrentFrame(), ref.frames[f].data(), pictureBytes) == 0)
                return static_cast<int>(f);
        }
        return -1;
    }
    // Lets a seek's run-up on the timer thread finish and the picture be shown (the clock
    // stands still).
    void Settle() {
        for (int i = 0; i < 3; ++i)
            timer.Tick();
        doc.IdleStep(false);
    }
    // Seeks and checks the picture and the first sound written after it.
    void SeekAndCheck(uint32_t ms, int frame) {
        SCOPED_TRACE(::testing::Message() << "seek to " << ms << " ms");
        const size_t before = wave.written.size();
        doc.Seek(ms);
        Settle();
        EXPECT_EQ(std::memcmp(doc.CurrentFrame(), ref.frames[frame].data(), pictureBytes), 0)
            << "showing frame " << Shown() << ", not " << frame;
        if (ref.sound.empty() || !doc.IsPlaying())
            return;
        const size_t at = uint64_t{ms} * ref.rate / 1000 * ref.frameBytes;
        const size_t n = std::min<size_t>(wave.written.size() - before, ref.sound.size() - at);
        ASSERT_GT(n, 0u);
        EXPECT_TRUE(std::equal(wave.written.begin() + before, wave.written.begin() + before + n,
                               ref.sound.begin() + at))
            << "the sound does not go on from sample " << at / ref.frameBytes;
    }
    // Plays to the end: every slot's ticks, the device playing what it gets.
    void PlayOut() {
        for (int i = 0; i < 100000 && doc.IsPlaying(); ++i) {
            ++clock.now;
            if (i % timer.period == 0)
                timer.Tick();
            wave.Play(10);
            doc.IdleStep(false);
        }
    }
};

const Fixture& Named(const char* name) {
    for (const Fixture& fx : Fixtures())
        if (std::string(fx.name) == name)
            return fx;
    throw std::runtime_error(name);
}

}  // namespace

TEST(Seek, LandsOnTheFrameAndTheSampleOfTheTime) {
    for (const char* name : {"bars-320x224-s16-stereo", "gray-320x200-s8-mono",
                             "adpcm-320x224-mono-22k", "adpcm-160x120-mono-11k-unaligned"}) {
        SCOPED_TRACE(name);
        Player p(Named(name));
        const double period =
            1000.0 / (p.doc.Clock().BaseFrequency() / p.doc.Clock().PeriodTicks());
        const int frames = static_cast<int>(p.ref.frames.size());
        auto startOf = [&](int f) { return static_cast<uint32_t>(std::ceil(f * period + 0.01)); };
        p.doc.Play();
        // The start, the middle, a key frame, the frame just before one, the last frame.
        p.SeekAndCheck(0, 0);
        p.SeekAndCheck(startOf(frames / 2) + 10, frames / 2);
        p.SeekAndCheck(startOf(12), 12);
        p.SeekAndCheck(startOf(11), 11);
        p.SeekAndCheck(startOf(frames - 1), frames - 1);
        EXPECT_TRUE(p.doc.IsPlaying());
        // Paused, the same; stepping goes frame by frame both ways, also over a key frame.
        p.doc.OnPause();
        p.SeekAndCheck(startOf(13), 13);
        ASSERT_TRUE(p.doc.IsPaused());
        p.doc.StepFrame(-1);
        p.Settle();
        EXPECT_EQ(p.Shown(), 12);
        p.doc.StepFrame(-1);
        p.Settle();
        EXPECT_EQ(p.Shown(), 11);
        for (int i = 0; i < 3; ++i) {
            p.doc.StepFrame(+1);
            p.Settle();
        }
        EXPECT_EQ(p.Shown(), 14);
        EXPECT_TRUE(p.doc.IsPaused());
        EXPECT_EQ(p.shell.panes[1], PaneTime(startOf(14) / 1000));
        // Before 0 is 0; past the end ends the movie.
        p.doc.OnPause();
        p.doc.SeekBy(-60000);
        p.Settle();
        EXPECT_EQ(p.Shown(), 0);
        p.doc.Seek(p.doc.DurationMs() + 5);
        EXPECT_TRUE(p.doc.IsFinished());
        EXPECT_EQ(p.Shown(), 0) << "the poster frame";
    }
}

// Seeking while stopped shows the frame; Play then starts there, sound and all.
TEST(Seek, AStoppedMoviePlaysFromTheTimeSought) {
    Player p(Named("strips8-352x240-s16-mono"));
    p.doc.Seek(1500);
    EXPECT_EQ(p.Shown(), 36);
    EXPECT_FALSE(p.doc.IsPlaying());
    EXPECT_EQ(p.doc.PositionMs(), 1500u);
    EXPECT_EQ(p.shell.panes[1], " 0: 1");
    p.doc.StepFrame(+1);
    EXPECT_EQ(p.Shown(), 37);
    p.doc.Play();
    EXPECT_EQ(p.Shown(), 37);
    const size_t at = uint64_t{p.doc.PositionMs()} * 32000 / 1000 * 2;
    EXPECT_TRUE(std::equal(p.wave.written.begin(), p.wave.written.begin() + 2000,
                           p.ref.sound.begin() + static_cast<ptrdiff_t>(at)));
    p.PlayOut();
    EXPECT_TRUE(p.doc.IsFinished());
    p.doc.Play();
    EXPECT_EQ(p.doc.PositionMs(), 0u) << "after the end, Play starts at the start again";
}

// A storm of seeks leaves nothing behind: after the last one, the sound written is the
// reference from its sample to the end, with no chunk lost or twice.
TEST(Seek, AfterManySeeksTheSoundGoesOnWhole) {
    for (const char* name : {"bars-320x224-s16-stereo", "adpcm-256x224-stereo-32k"}) {
        SCOPED_TRACE(name);
        Player p(Named(name));
        p.doc.Play();
        std::mt19937 rng(7);
        for (int i = 0; i < 100; ++i) {
            p.clock.now += rng() % 50;
            if (i % 3 == 0)
                p.timer.Tick();
            p.wave.Play(rng() % 3);
            p.doc.Seek(rng() % p.doc.DurationMs());
        }
        const uint32_t last = 1234;
        const size_t before = p.wave.written.size();
        p.doc.Seek(last);
        p.PlayOut();
        EXPECT_TRUE(p.doc.IsFinished());
        const size_t at = uint64_t{last} * p.ref.rate / 1000 * p.ref.frameBytes;
        const Bytes after(p.wave.written.begin() + static_cast<ptrdiff_t>(before),
                          p.wave.written.end());
        EXPECT_EQ(after,
                  Bytes(p.ref.sound.begin() + static_cast<ptrdiff_t>(at), p.ref.sound.end()));
    }
}

// A time line longer than the clock holds (99 days: 143,165 frames of a minute): the movie
// lasts as long as the clock allows, and seeking to its end, stepping frames both ways and
// the times shown all take milliseconds.
TEST(Seek, ATimeLinePastTheClocksRangeIsCapped) {
    FilmMovie m;
    m.baseFrequency = 1;
    const Bytes frame = GreyFrame(7);
    for (int i = 0; i < 143165; ++i)
        m.Video(frame, 60);
    BuiltPlayer player(m);
    CTovrinDoc& doc = player.doc;
    ASSERT_TRUE(doc.IsOpen());
    const auto start = std::chrono::steady_clock::now();
    const uint32_t duration = doc.DurationMs();
    EXPECT_GT(duration, 2000000000u) << "about 24.8 days";
    EXPECT_LE(duration, 2147483647u);
    const uint32_t nearEnd = duration - 30000;
    doc.Seek(nearEnd);
    EXPECT_EQ(doc.PositionMs() / 60000, nearEnd / 60000);
    doc.StepFrame(+1);
    doc.StepFrame(+1);
    doc.StepFrame(-1);
    doc.StepFrame(-1);
    doc.StepFrame(-1);
    EXPECT_LT(doc.PositionMs(), nearEnd);
    EXPECT_EQ(doc.PositionText().substr(doc.PositionText().find(" / ")),
              " / " + std::to_string(duration / 60000) + ":" +
                  (duration / 1000 % 60 < 10 ? "0" : "") + std::to_string(duration / 1000 % 60));
    doc.Seek(duration);  // the end: the movie ends
    EXPECT_TRUE(doc.IsFinished());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
        << "nothing walks the time line";
}

// A seek far from its key frame returns at once: the frames between are decoded on the
// timer thread, and the picture sought follows when they are done, playing or paused.
TEST(Seek, ALongRunUpIsDecodedOnTheTimerThread) {
    FilmMovie m;
    m.baseFrequency = 10;
    m.Video(GreyFrame(1));
    for (int i = 2; i <= 60; ++i) {
        // An inter frame that paints every block in its own grey.
        const Bytes book = {static_cast<uint8_t>(i),
                            static_cast<uint8_t>(i),
                            static_cast<uint8_t>(i),
                            static_cast<uint8_t>(i),
                            0,
                            0};
        const Bytes flags = {0xAA, 0, 0, 0, 0, 0, 0, 0};  // four blocks: coded, V1
        m.Video(StoredFrame(1, 8, 8,
                            {Strip(0x1100, 8, 8, {Chunk(0x2200, book), Chunk(0x3100, flags)})}));
        m.samples.back().timestamp |= 0x80000000u;  // depends on the frame before
    }
    BuiltPlayer host(m);
    CTovrinDoc& doc = host.doc;
    auto shown = [&] { return doc.CurrentFrame()[0]; };
    doc.Play();
    doc.IdleStep(false);
    ASSERT_EQ(shown(), 1);
    doc.Seek(5000);  // frame 51, 50 frames after the key frame
    EXPECT_EQ(shown(), 1) << "the picture sought is not there yet";
    host.clock.now += 1;
    doc.IdleStep(false);
    EXPECT_EQ(shown(), 1) << "nor is a stale one shown meanwhile";
    host.timer.Tick();
    doc.IdleStep(false);
    EXPECT_EQ(shown(), 51);

    doc.OnPause();
    doc.Seek(2000);  // frame 21, paused
    EXPECT_EQ(shown(), 51);
    EXPECT_TRUE(doc.IdleStep(false)) << "waiting for the picture";
    ASSERT_TRUE(host.timer.Running()) << "the run-up runs while paused";
    host.timer.Tick();
    EXPECT_FALSE(host.timer.Running()) << "and then the timer stops again";
    EXPECT_FALSE(doc.IdleStep(false));
    EXPECT_EQ(shown(), 21);
    EXPECT_TRUE(doc.IsPaused());
    doc.OnPause();
    EXPECT_TRUE(host.timer.Running()) << "the clock runs again";

    doc.OnStop();
    doc.Seek(4000);  // stopped: the picture sought, and Play starts there
    host.timer.Tick();
    doc.IdleStep(false);
    EXPECT_EQ(shown(), 41);
    doc.Play();
    host.timer.Tick();
    doc.IdleStep(false);
    EXPECT_EQ(shown(), 41);
}

// A movie left midway opens where it was left (and says so), from a file that outlives the
// player; left near its start or its end, or gone back to the start, it opens at 0:00. The
// file keeps the newest points, takes any name, and passes over lines it cannot read.
TEST(Seek, MoviesOpenWhereTheyWereLeft) {
    TempDir dir;
    FilmMovie m;
    m.width = 32;
    m.height = 16;
    for (int i = 1; i <= 300; ++i)  // 30 s
        m.Video(GreyFrame(i % 250, 32, 16));
    const std::string movie = dir.File("long\nname%09.cpk");
    m.Save(movie);
    const std::string file = dir.File("lunavue.resume");
    {
        FakeHost host;
        ResumePoints points(file);
        CTovrinDoc doc{host.Platform(), host.shell};
        doc.SetResumePoints(&points);
        doc.AppendToQueue(movie);
        doc.IdleStep(false);
        ASSERT_TRUE(doc.IsOpen());
        EXPECT_TRUE(host.shell.resumed.empty()) << "nothing kept yet";
        doc.Seek(12400);
        doc.CloseMovie();
    }
    {
        FakeHost host;
        ResumePoints points(file);
        EXPECT_EQ(points.Find(movie), 12400u);
        CTovrinDoc doc{host.Platform(), host.shell};
        doc.SetResumePoints(&points);
        doc.AppendToQueue(movie);
        doc.IdleStep(false);
        EXPECT_EQ(doc.PositionMs(), 12400u);
        EXPECT_EQ(host.shell.resumed, std::vector<std::string>{"0:12"});
        doc.Seek(27000);  // 3 s before the end: as good as seen to the end
        doc.CloseMovie();
        EXPECT_FALSE(points.Find(movie));
        doc.AppendToQueue(movie);
        doc.IdleStep(false);
        EXPECT_EQ(doc.PositionMs(), 0u);
        doc.Seek(2000);  // near the start
        doc.CloseMovie();
        EXPECT_FALSE(points.Find(movie));
    }
    // The newest kKept points stay; damaged lines are passed over.
    {
        ResumePoints points(file);
        for (size_t i = 0; i < ResumePoints::kKept + 5; ++i)
            points.Leave("/m" + std::to_string(i), 10000 + static_cast<uint32_t>(i), 60000);
        EXPECT_EQ(points.Size(), ResumePoints::kKept);
    }
    {
        std::ofstream(file, std::ios::app) << "junk\n\t/x\n99999999999\t/y\n12\t/bad%zz\n";
        ResumePoints points(file);
        EXPECT_EQ(points.Size(), ResumePoints::kKept);
        EXPECT_EQ(points.Find("/m" + std::to_string(ResumePoints::kKept + 4)),
                  10000u + ResumePoints::kKept + 4);
        EXPECT_FALSE(points.Find("/m0")) << "the oldest went";
    }
    EXPECT_EQ(ResumeFileBeside("/a/lunavue.ini"), "/a/lunavue.resume");
    EXPECT_EQ(ResumeFileBeside("/a/settings"), "/a/settings.resume");
}

// A movie played now interrupts the one playing: that one waits at the front of the queue
// and opens again where it was left; Previous goes back to the movie played before, from
// where it was left, and the one it leaves waits in its turn.
TEST(Seek, InterruptedMoviesAndPreviousGoOnWhereTheyWereLeft) {
    TempDir dir;
    FakeHost host;
    CTovrinDoc doc{host.Platform(), host.shell};
    doc.SetView(&host.view);
    std::vector<std::string> movies;
    for (const char* name : {"a.cpk", "b.cpk", "c.cpk"}) {
        FilmMovie m;
        m.width = 32;
        m.height = 16;
        for (int i = 1; i <= 200; ++i)
            m.Video(GreyFrame(i, 32, 16));
        m.Save(dir.File(name));
        movies.push_back(dir.File(name));
    }
    const std::string &a = movies[0], &b = movies[1], &c = movies[2];
    EXPECT_FALSE(doc.HasPrevious());
    doc.AppendToQueue(a);
    doc.AppendToQueue(c);
    doc.IdleStep(false);
    doc.Play();
    doc.Seek(7000);
    ASSERT_EQ(doc.MoviePath(), a);

    doc.PlayNow({b});  // Open and Play
    EXPECT_EQ(doc.MoviePath(), b);
    EXPECT_TRUE(doc.IsPlaying());
    EXPECT_EQ(std::vector<std::string>(doc.Queue().Names().begin(), doc.Queue().Names().end()),
              (std::vector<std::string>{a, c}))
        << "the interrupted movie first, then the rest";
    EXPECT_TRUE(doc.HasPrevious());
    doc.Seek(3000);

    ASSERT_TRUE(doc.PreviousMovie());  // Page Up
    EXPECT_EQ(doc.MoviePath(), a);
    EXPECT_TRUE(doc.IsPlaying());
    EXPECT_EQ(doc.PositionMs(), 7000u) << "from where it was left";
    EXPECT_EQ(std::vector<std::string>(doc.Queue().Names().begin(), doc.Queue().Names().end()),
              (std::vector<std::string>{b, c}))
        << "taken from the queue's front; the one left waits there in its turn";
    doc.NextMovie();
    EXPECT_EQ(doc.MoviePath(), b);
    EXPECT_EQ(doc.PositionMs(), 3000u);

    // Enter in the queue window: the chosen one plays, the interrupted one waits first.
    doc.PlayQueued(0);  // c
    EXPECT_EQ(doc.MoviePath(), c);
    EXPECT_EQ(doc.Queue().Names().front(), b);
    // A stopped movie is not interrupted: it is left, as before.
    doc.Stop();
    doc.PlayQueued(0);
    EXPECT_EQ(doc.MoviePath(), b);
    EXPECT_TRUE(doc.Queue().Empty());
    // The same movie asked for again starts over; nothing waits.
    doc.Play();
    doc.Seek(4000);
    doc.PlayNow({b});
    EXPECT_EQ(doc.MoviePath(), b);
    EXPECT_EQ(doc.PositionMs(), 0u);
    EXPECT_TRUE(doc.Queue().Empty());
    // Also while it waits as interrupted behind a name that did not open.
    doc.Seek(4000);
    doc.PlayNow({dir.File("missing.cpk")});
    EXPECT_FALSE(doc.IsOpen());
    EXPECT_EQ(std::vector<std::string>(doc.Queue().Names().begin(), doc.Queue().Names().end()),
              std::vector<std::string>{b});
    doc.PlayNow({b});
    EXPECT_EQ(doc.MoviePath(), b);
    EXPECT_EQ(doc.PositionMs(), 0u);
    EXPECT_TRUE(doc.Queue().Empty()) << "not twice";
}

// A-B repeat: playing reaches B and goes on from A, until the marks are cleared; a B at or
// before A is not taken; a movie closed forgets them.
TEST(Seek, ASectionRepeatsUntilCleared) {
    FilmMovie m;
    m.width = 32;
    m.height = 16;
    for (int i = 1; i <= 100; ++i)  // 10 s
        m.Video(GreyFrame(i, 32, 16));
    BuiltPlayer p(m);
    ASSERT_TRUE(p.doc.IsOpen());
    EXPECT_EQ(p.doc.MarkRepeat(), CTovrinDoc::Repeat::kStartSet);  // A at 0:00
    p.doc.Seek(3000);
    p.doc.Play();
    EXPECT_EQ(p.doc.MarkRepeat(), CTovrinDoc::Repeat::kRepeating);  // B at 0:03
    EXPECT_EQ(p.doc.RepeatEnd(), 3000u);
    p.doc.Seek(2500);
    uint32_t highest = 0, wraps = 0, last = p.doc.PositionMs();
    for (int i = 0; i < 8000 && p.doc.IsPlaying(); ++i) {
        ++p.clock.now;
        if (i % p.timer.period == 0)
            p.timer.Tick();
        p.doc.IdleStep(false);
        const uint32_t now = p.doc.PositionMs();
        highest = std::max(highest, now);
        wraps += now < last ? 1 : 0;
        last = now;
    }
    EXPECT_TRUE(p.doc.IsPlaying());
    EXPECT_LE(highest, 3100u) << "never far past B";
    EXPECT_GE(wraps, 2u) << "back to A each time B is reached";
    EXPECT_EQ(p.doc.MarkRepeat(), CTovrinDoc::Repeat::kOff);
    for (int i = 0; i < 12000 && p.doc.IsPlaying(); ++i) {
        ++p.clock.now;
        if (i % p.timer.period == 0)
            p.timer.Tick();
        p.doc.IdleStep(false);
    }
    EXPECT_FALSE(p.doc.IsPlaying()) << "cleared, it plays to the end";

    BuiltPlayer q(m);
    q.doc.Seek(5000);
    q.doc.MarkRepeat();
    q.doc.Seek(4000);
    EXPECT_EQ(q.doc.MarkRepeat(), CTovrinDoc::Repeat::kStartSet) << "B before A";
    EXPECT_FALSE(q.doc.RepeatEnd());
    q.doc.CloseMovie();
    EXPECT_FALSE(q.doc.RepeatStart());
}
