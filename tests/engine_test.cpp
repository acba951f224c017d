#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <thread>

#include "EngineFakes.h"
#include "FilmBuilder.h"
#include "Fixtures.h"
#include "TestUtil.h"
#include "movie/MovieInfo.h"
#include "platform/profile/Settings.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

// A document on fake platform services, with settings and movies of its own.
struct Engine : FakeHost {
    TempDir dir;
    std::unique_ptr<CTovrinDoc> doc;
    uint32_t start = 0;

    explicit Engine(int loop = 0) {
        settings.Write(settings::kLoop, loop);
        doc = std::make_unique<CTovrinDoc>(Platform(), shell);
        doc->SetView(&view);
    }
    std::string Save(const FilmMovie& m, const std::string& name = "m.cpk") {
        m.Save(dir.File(name));
        return dir.File(name);
    }
    void Open(const FilmMovie& m) {
        doc->AppendToQueue(Save(m));
        ASSERT_TRUE(doc->IdleStep(false));
        ASSERT_TRUE(doc->IsOpen());
    }
    void Play() {
        doc->Play();
        start = clock.now;
    }
    // The grey level of the picture on screen, which is the number of its frame.
    int Shown() const { return doc->CurrentFrame() ? doc->CurrentFrame()[0] : -1; }
    // Runs playback up to `ms` after Play: a tick every timer period, an idle step every ms.
    void RunTo(uint32_t ms) {
        while (clock.now - start < ms) {
            ++clock.now;
            if ((clock.now - start) % timer.period == 0)
                timer.Tick();
            doc->IdleStep(false);
        }
    }
    void At(uint32_t ms) { clock.now = start + ms; }
};

// Frames numbered 1, 2, 3, ... (their grey level), each lasting `duration` ticks.
FilmMovie Numbered(int frames, uint32_t duration, uint32_t base) {
    FilmMovie m;
    m.baseFrequency = base;
    for (int i = 1; i <= frames; ++i)
        m.Video(GreyFrame(i), duration);
    return m;
}

}  // namespace

TEST(Engine, WorkedExampleOfTheClock) {
    Engine e;
    e.Open(Numbered(300, 40, 600));  // 12000 ticks at 600 a second
    EXPECT_EQ(e.doc->Clock().TimerDelayMs(), 66u);
    EXPECT_EQ(e.doc->Clock().PeriodCount(), 300u);
    EXPECT_EQ(e.shell.panes[2], " 0:20");
    EXPECT_EQ(e.shell.title, "m.cpk");
    EXPECT_EQ(e.shell.recent, std::vector<std::string>{e.dir.File("m.cpk")});
    EXPECT_EQ(e.Shown(), 1) << "the poster frame";

    e.Play();
    EXPECT_EQ(e.timer.period, 66u);
    EXPECT_EQ(e.doc->GetSlotsFilled(), 10u);
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 11u) << "slot 10 is filled by the first tick";
    e.At(65);
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 11u);
    e.At(66);
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 12u);
    e.At(132);
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 12u);
    e.At(133);
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 13u);

    for (auto [ms, frame] : {std::pair{66u, 1}, {67u, 2}, {133u, 2}, {134u, 3}}) {
        e.At(ms);
        e.doc->IdleStep(false);
        EXPECT_EQ(e.Shown(), frame) << ms << " ms";
    }
    // Between changes the main loop may sleep: until the next slot, or the next second.
    e.At(0);
    EXPECT_EQ(e.doc->IdleWaitMs(), 67u);
    e.At(66);
    EXPECT_EQ(e.doc->IdleWaitMs(), 1u);
    e.At(67);
    EXPECT_EQ(e.doc->IdleWaitMs(), 67u);
    e.At(990);
    EXPECT_EQ(e.doc->IdleWaitMs(), 10u) << "the elapsed pane changes at 1000 ms";
    e.At(134);
    e.RunTo(999);
    EXPECT_EQ(e.Shown(), 15);
    e.RunTo(1000);
    EXPECT_EQ(e.Shown(), 16);
    EXPECT_EQ(e.shell.panes[1], " 0: 1");

    e.RunTo(19999);
    EXPECT_TRUE(e.doc->IsPlaying());
    EXPECT_EQ(e.Shown(), 300 % 256);  // the grey level of frame 300
    EXPECT_EQ(e.shell.panes[1], " 0:19");
    e.RunTo(20000);
    EXPECT_FALSE(e.doc->IsPlaying());
    EXPECT_TRUE(e.doc->IsFinished());
    EXPECT_EQ(e.Shown(), 1) << "the poster frame after the end";
    EXPECT_EQ(e.shell.panes[1], " 0: 0");
    EXPECT_EQ(e.doc->Stats().lateSlots, 0u);
    EXPECT_EQ(e.doc->Stats().framesShown, 300u);
}

TEST(Engine, LongFramesFillSeveralSlotsAndLeftoverTicksAreDropped) {
    Engine e;
    FilmMovie m;
    m.baseFrequency = 1000;  // P = 4 ticks = 4 ms
    m.Video(GreyFrame(1), 4);
    m.Video(GreyFrame(2), 8);
    m.Video(GreyFrame(3), 6);
    m.Video(GreyFrame(4), 4);
    m.Video(GreyFrame(5), 4);
    e.Open(m);
    EXPECT_EQ(e.doc->Clock().PeriodCount(), 6u);  // 26 ticks
    e.Play();
    // Only six slots exist: the fill stops at the last frame instead of decoding past it.
    EXPECT_EQ(e.doc->GetFramesDecoded(), 5u);
    EXPECT_EQ(e.doc->GetSlotsFilled(), 7u);
    std::vector<int> shown;
    for (uint32_t slot = 0; slot < 6; ++slot) {
        e.At(slot * 4 + 1);
        e.doc->IdleStep(false);
        shown.push_back(e.Shown());
    }
    // The 6-tick frame shows for 8 ticks and the next one starts a period late.
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 2, 3, 3, 4}));
    e.timer.Tick();
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 7u) << "a tick after the last frame fills nothing";
    EXPECT_FALSE(e.timer.Running()) << "and stops the timer";
    e.At(24);
    e.doc->IdleStep(false);
    EXPECT_TRUE(e.doc->IsFinished());
}

TEST(Engine, ASingleFrameMoviePlaysAndEnds) {
    Engine e;
    e.Open(Numbered(1, 1, 10));
    e.Play();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 1u);
    e.RunTo(99);
    EXPECT_TRUE(e.doc->IsPlaying());
    EXPECT_EQ(e.Shown(), 1);
    e.RunTo(100);
    EXPECT_TRUE(e.doc->IsFinished());
}

TEST(Engine, PauseHoldsTheSlotAndTheElapsedTime) {
    Engine e;
    e.Open(Numbered(300, 40, 600));
    e.Play();
    e.RunTo(1500);
    const int before = e.Shown();
    EXPECT_EQ(e.shell.panes[1], " 0: 1");
    e.doc->OnPause();
    EXPECT_TRUE(e.doc->IsPaused());
    EXPECT_TRUE(e.doc->OnUpdateStop()) << "Stop and Pause stay enabled while paused";
    EXPECT_FALSE(e.doc->OnUpdatePlay());
    const uint32_t filled = e.doc->GetSlotsFilled();
    EXPECT_FALSE(e.timer.Running()) << "paused, nothing is due: no timer wakes";
    EXPECT_FALSE(e.doc->IdleStep(false)) << "paused, the idle step asks for nothing more";
    for (int i = 0; i < 5000; ++i) {
        ++e.clock.now;
        e.doc->IdleStep(false);
    }
    EXPECT_EQ(e.doc->GetSlotsFilled(), filled);
    EXPECT_EQ(e.Shown(), before);
    e.doc->OnPause();
    EXPECT_TRUE(e.timer.Running());
    e.doc->IdleStep(false);
    EXPECT_EQ(e.Shown(), before) << "resumes at the slot where it stopped";
    e.start += 5000;  // playing time, not wall time
    e.RunTo(2000);
    EXPECT_EQ(e.shell.panes[1], " 0: 2");
}

TEST(Engine, EndOfMovieLoopsStopsOrMovesOn) {
    Engine e;
    e.view.fullScreenSetting = true;
    e.Open(Numbered(3, 1, 10));
    e.doc->OnLoop();
    e.Play();
    EXPECT_TRUE(e.view.fullScreen);
    e.RunTo(300);
    EXPECT_TRUE(e.doc->IsPlaying()) << "looping with an empty queue replays";
    EXPECT_EQ(e.doc->Stats().plays, 2u);
    EXPECT_EQ(e.view.leaves, 1);
    EXPECT_EQ(e.view.enters, 2) << "full screen is left and entered again at each restart";

    // A name in the queue wins over looping.
    e.doc->AppendToQueue(e.Save(Numbered(2, 1, 10), "next.cpk"));
    e.start = e.clock.now;
    e.RunTo(300);
    EXPECT_TRUE(e.doc->IsFinished());
    e.doc->IdleStep(false);  // the next name replaces the finished movie
    EXPECT_TRUE(e.doc->IsOpen());
    EXPECT_EQ(e.shell.title, "next.cpk");
    EXPECT_FALSE(e.doc->IsPlaying()) << "without auto-play it waits for Play";

    // Without loop the movie is done and stays loaded.
    e.doc->OnLoop();
    e.Play();
    e.RunTo(200);
    EXPECT_TRUE(e.doc->IsOpen());
    EXPECT_TRUE(e.doc->IsFinished());
    EXPECT_TRUE(e.doc->OnUpdatePlay());
    EXPECT_FALSE(e.doc->IdleStep(false)) << "nothing to do: the framework's answer";
    EXPECT_EQ(e.view.releases, 1);
}

TEST(Engine, CloseAtEndAndStop) {
    Engine e;
    e.doc->SetAutoPlay(true);
    e.doc->SetCloseAtEnd(true);
    e.doc->AppendToQueue(e.Save(Numbered(2, 1, 10), "a.cpk"));
    e.doc->AppendToQueue(e.Save(Numbered(2, 1, 10), "b.cpk"));
    e.doc->IdleStep(false);  // opens a
    e.doc->IdleStep(false);  // auto-play
    e.start = e.clock.now;
    ASSERT_TRUE(e.doc->IsPlaying());
    e.RunTo(200);  // a ends; the stop unloads it as b waits
    e.doc->IdleStep(false);
    EXPECT_EQ(e.shell.title, "b.cpk");
    e.doc->IdleStep(false);
    e.start = e.clock.now;
    EXPECT_TRUE(e.doc->IsPlaying());
    EXPECT_EQ(e.shell.closeRequests, 0);
    e.RunTo(200);
    e.doc->IdleStep(false);
    EXPECT_EQ(e.shell.closeRequests, 1) << "the queue is done: the program closes";
    EXPECT_FALSE(e.doc->IsOpen());

    // The Stop command clears the close flag: the program stays open.
    Engine s;
    s.doc->SetAutoPlay(true);
    s.doc->SetCloseAtEnd(true);
    s.doc->AppendToQueue(s.Save(Numbered(20, 1, 10)));
    s.doc->IdleStep(false);
    s.doc->IdleStep(false);
    s.start = s.clock.now;
    s.RunTo(500);
    s.doc->OnStop();
    EXPECT_FALSE(s.doc->GetCloseAtEnd());
    EXPECT_TRUE(s.doc->IsFinished());
    EXPECT_EQ(s.shell.panes[1], " 0: 0");
    EXPECT_EQ(s.Shown(), 1);
    for (int i = 0; i < 10; ++i)
        s.doc->IdleStep(false);
    EXPECT_EQ(s.shell.closeRequests, 0);
    EXPECT_TRUE(s.doc->IsOpen());
}

TEST(Engine, CommandStatesFollowTheEngineState) {
    Engine e;
    auto states = [&] {
        return std::vector<bool>{e.doc->OnUpdatePlay(), e.doc->OnUpdateStop(),
                                 e.doc->OnUpdateInformation()};
    };
    e.doc->Play();  // nothing loaded: nothing happens
    EXPECT_FALSE(e.doc->IsPlaying());
    EXPECT_FALSE(e.timer.Running());
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false}));
    e.Open(Numbered(30, 1, 10));
    EXPECT_EQ(states(), (std::vector<bool>{true, false, true}));
    e.Play();
    EXPECT_EQ(states(), (std::vector<bool>{false, true, true}));
    e.doc->OnPause();
    EXPECT_EQ(states(), (std::vector<bool>{false, true, true}));
    e.doc->OnStop();
    EXPECT_EQ(states(), (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(e.timer.Running());
    EXPECT_TRUE(e.doc->IsFinished());
    e.Play();  // a finished movie plays again
    EXPECT_TRUE(e.doc->IsPlaying());
    EXPECT_EQ(states(), (std::vector<bool>{false, true, true}));
}

TEST(Engine, SlotsTheTickHasNotFilledShowTheNewestPicture) {
    Engine e;
    e.Open(Numbered(100, 1, 10));
    e.Play();
    // No tick has run (decoding far behind): slot 12 falls back to slot 9, the newest.
    e.At(1250);
    e.doc->IdleStep(false);
    EXPECT_EQ(e.Shown(), 10);
    EXPECT_GE(e.doc->Stats().lateSlots, 1u);
}

// A menu or a dialog holds the main thread: the idle step does not run, while the clock and
// the ticks go on. The ticks keep reading and feeding the sound and decoding pictures (never
// into the one on screen), and the first idle step afterwards shows the current slot.
TEST(Engine, PlaybackGoesOnWhileTheMainThreadIsHeldUp) {
    Engine e;
    FilmMovie m;
    m.channels = 1;
    m.bits = 8;
    m.rate = 8000;
    m.baseFrequency = 10;  // 100 ms a frame
    for (int i = 1; i <= 80; ++i) {
        m.Audio(Bytes(800, static_cast<uint8_t>(i)));  // 100 ms of sound before each frame
        m.Video(GreyFrame(i));
    }
    e.Open(m);
    e.Play();
    const uint8_t* poster = e.doc->CurrentFrame();
    // 30 display periods without an idle step; the device plays what it is given.
    for (int t = 1; t <= 3000; ++t) {
        ++e.clock.now;
        if (t % 100 == 0) {
            e.timer.Tick();
            e.wave.Play(1);
        }
    }
    EXPECT_EQ(e.doc->CurrentFrame(), poster) << "nothing has changed the picture on screen";
    EXPECT_EQ(e.doc->CurrentFrame()[0], 1) << "and nothing has written into it";
    EXPECT_EQ(e.doc->GetFramesDecoded(), 41u) << "ten periods ahead of the clock";
    EXPECT_GE(e.wave.writes.size(), 39u) << "the sound went on";
    e.doc->IdleStep(false);
    EXPECT_EQ(e.Shown(), 31) << "the slot of the current time";

    // A tick held up for ten periods catches up in one tick.
    e.clock.now += 1000;
    e.timer.Tick();
    EXPECT_EQ(e.doc->GetSlotsFilled(), 51u);
    e.doc->IdleStep(false);
    EXPECT_EQ(e.Shown(), 41);
    EXPECT_EQ(e.doc->Stats().damagedFrames, 0u);

    // Every chunk reaches the device once, in order.
    e.start = e.clock.now - 4000;
    for (int t = 4001; t <= 8200; ++t) {
        ++e.clock.now;
        if (t % 100 == 0)
            e.timer.Tick();
        e.wave.Play(10);
        e.doc->IdleStep(false);
    }
    EXPECT_TRUE(e.doc->IsFinished());
    Bytes expected;
    for (int i = 1; i <= 80; ++i)
        expected.insert(expected.end(), 800, static_cast<uint8_t>(i + 128));
    EXPECT_EQ(e.wave.played, expected);
}

TEST(Engine, SoundQueueFillsEveryFreeHeaderInOrder) {
    Engine e;
    FilmMovie m;
    m.channels = 1;
    m.bits = 8;
    m.rate = 8000;
    m.baseFrequency = 10;
    for (int a = 0; a < 4; ++a)
        m.Audio(Bytes(8, static_cast<uint8_t>(a)));
    for (int i = 1; i <= 11; ++i)
        m.Video(GreyFrame(i));
    m.Audio(Bytes(8, 4));
    m.Video(GreyFrame(12));
    m.Audio(Bytes(8, 5));
    m.Audio(Bytes(8, 6));
    m.Video(GreyFrame(13));
    m.Audio(Bytes(8, 7));
    m.Audio(Bytes(8, 8));
    m.Video(GreyFrame(14));
    e.Open(m);
    e.Play();
    EXPECT_TRUE(e.wave.open);
    EXPECT_EQ(e.wave.writes, (std::vector<int>{0, 1, 2, 3})) << "four chunks were ready";
    e.timer.Tick();  // decodes frame 11; the chunk behind it is read ahead at once
    EXPECT_EQ(e.wave.writes, (std::vector<int>{0, 1, 2, 3, 4}));
    e.At(100);
    e.timer.Tick();  // decodes frame 12, reading chunk 5; chunk 6 is read ahead
    EXPECT_EQ(e.wave.writes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    e.wave.Play(2);  // headers 0 and 1 are done and free again
    e.At(200);
    e.timer.Tick();  // decodes frame 13; chunks 7 and 8 go to the lowest free headers
    EXPECT_EQ(e.wave.writes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 0, 1}));
    e.wave.Play(10);
    Bytes expected;
    for (int a = 0; a < 9; ++a)
        expected.insert(expected.end(), 8, static_cast<uint8_t>(a + 128));
    EXPECT_EQ(e.wave.played, expected) << "every chunk, once, in file order";

    // Stop while paused resets and closes the device without restarting it.
    e.doc->OnPause();
    EXPECT_TRUE(e.wave.paused);
    e.doc->OnStop();
    EXPECT_EQ(e.wave.resets, 1);
    EXPECT_FALSE(e.wave.open);
    EXPECT_TRUE(e.wave.paused);
}

TEST(Engine, SilentOrDeviceLessMoviesStillPlayAndPause) {
    Engine e;
    e.wave.openOk = false;
    FilmMovie m = Numbered(30, 1, 10);
    m.channels = 2;
    m.bits = 16;
    m.rate = 22050;
    m.Audio(Bytes(16, 1));
    e.Open(m);
    e.Play();
    EXPECT_TRUE(e.wave.writes.empty());
    e.RunTo(500);
    e.doc->OnPause();
    EXPECT_FALSE(e.wave.paused) << "no device: nothing to pause but the picture";
    const int shown = e.Shown();
    e.clock.now += 1000;
    e.doc->IdleStep(false);
    EXPECT_EQ(e.Shown(), shown);
}

TEST(Engine, TheEndWaitsForTheLastSound) {
    Engine e;
    FilmMovie m = Numbered(5, 1, 10);
    m.channels = 1;
    m.bits = 8;
    m.rate = 1000;
    m.Audio(Bytes(300, 7));  // 300 ms of sound after the last frame
    e.Open(m);
    e.Play();
    e.RunTo(600);
    EXPECT_TRUE(e.doc->IsPlaying()) << "the chunk is still playing";
    e.wave.Play(1);
    e.RunTo(601);
    EXPECT_TRUE(e.doc->IsFinished());
    EXPECT_EQ(e.wave.played, Bytes(300, 7 + 128));
}

TEST(Engine, LoopSettingIsReadAndWrittenBack) {
    Engine kept(5);
    EXPECT_TRUE(kept.doc->OnUpdateLoop());
    kept.settings.Write(settings::kLoop, 0);
    kept.doc.reset();
    EXPECT_EQ(kept.settings.Read(settings::kLoop), 5) << "written back unchanged";

    Engine toggled(5);
    toggled.doc->OnLoop();
    EXPECT_FALSE(toggled.doc->OnUpdateLoop());
    toggled.doc.reset();
    EXPECT_EQ(toggled.settings.Read(settings::kLoop), 0);
}

TEST(Engine, BrokenNamesAreDroppedAndTheQueueMovesOn) {
    Engine e;
    e.doc->AppendToQueue(e.dir.File("missing.cpk"));
    e.doc->AppendToQueue(e.Save(Numbered(2, 1, 10)));
    EXPECT_TRUE(e.doc->IdleStep(false));
    EXPECT_FALSE(e.doc->IsOpen());
    ASSERT_EQ(e.shell.refusals.size(), 1u);
    EXPECT_EQ(e.shell.refusals[0].second, OpenError::kCannotOpen);
    EXPECT_TRUE(e.doc->IdleStep(false));
    EXPECT_TRUE(e.doc->IsOpen());
    EXPECT_TRUE(e.doc->Queue().Empty());
}

TEST(Engine, TimeTexts) {
    for (auto [seconds, pane, info, clock] : {std::tuple{0u, " 0: 0", "0:0", "0:00"},
                                              {65u, " 1: 5", "1:5", "1:05"},
                                              {20u, " 0:20", "0:20", "0:20"},
                                              {6000u, "100: 0", "100:0", "100:00"}}) {
        EXPECT_EQ(PaneTime(seconds), pane);
        EXPECT_EQ(InfoTime(seconds), info);
        EXPECT_EQ(ClockTime(seconds * 1000 + 999), clock);
    }
}

// The queue ends however it ends: with the last name that cannot be opened (missing, a
// pipe that would block for good, damaged), -close still closes the program.
TEST(Engine, TheQueueEndsAlsoWithNamesThatDoNotOpen) {
    Engine e;
    const std::string fifo = e.dir.File("pipe.cpk");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    e.doc->SetAutoPlay(true);
    e.doc->SetCloseAtEnd(true);
    e.doc->AppendToQueue(e.Save(Numbered(2, 1, 10), "a.cpk"));
    e.doc->AppendToQueue(fifo);
    e.doc->AppendToQueue(e.dir.File("missing.cpk"));
    e.doc->IdleStep(false);  // opens a
    e.doc->IdleStep(false);  // plays it
    e.start = e.clock.now;
    e.RunTo(200);
    for (int i = 0; i < 5; ++i)
        e.doc->IdleStep(false);
    ASSERT_EQ(e.shell.refusals.size(), 2u);
    EXPECT_EQ(e.shell.refusals[0].second, OpenError::kNotRegularFile);
    EXPECT_EQ(e.shell.refusals[1].second, OpenError::kCannotOpen);
    EXPECT_EQ(e.shell.closeRequests, 1) << "the queue has ended: the program closes, once";

    // Without -close, or with -close and nothing ever queued, it stays open.
    Engine idle;
    idle.doc->SetCloseAtEnd(true);
    for (int i = 0; i < 5; ++i)
        idle.doc->IdleStep(false);
    EXPECT_EQ(idle.shell.closeRequests, 0);
}

// Damaged durations never hold the queue nor overflow: a last frame lasting 0x01000001
// ticks at 10 ticks a second ends about a minute after the frames, not 19 days.
TEST(Engine, DamagedDurationsAreCapped) {
    Engine e;
    FilmMovie m = Numbered(20, 1, 10);
    m.samples.back().duration = 0x01000001;
    m.samples[3].duration = 0x80000000u;
    e.Open(m);
    EXPECT_LE(e.doc->Clock().PeriodCount(), 20u + 600 + 600);
    e.Play();
    e.RunTo(150000);
    EXPECT_TRUE(e.doc->IsFinished());
}

// The Information dialog (from the engine's timing) and cpktool info (from the reader alone)
// say the same of every fixture, and of a movie whose last time stamp is damaged: its
// length is capped near what its frames fill.
TEST(Engine, InformationAndCpktoolAgree) {
    std::vector<std::string> paths;
    for (const Fixture& fx : Fixtures())
        paths.push_back(FixturePath(std::string(fx.name) + ".cpk"));
    Engine e;
    FilmMovie damaged = Numbered(20, 1, 10);
    damaged.samples.back().timestamp = 0x00FFFFF0;
    paths.push_back(e.Save(damaged, "damaged.cpk"));
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        MovieReader reader;
        ASSERT_TRUE(reader.Open(path, CTovrinDoc::kBudget));
        MovieInfo tool;
        ASSERT_TRUE(DescribeMovie(reader, tool));
        e.doc->CloseMovie();
        e.doc->AppendToQueue(path);
        ASSERT_TRUE(e.doc->IdleStep(false));
        BITMAPINFOHEADER picture{};
        e.doc->Reader().GetOutputFormat(&picture);
        const MovieInfo dialog =
            FormatMovieInfo(picture, e.doc->Reader().GetAudioFormat(), e.doc->Clock());
        EXPECT_EQ(tool.time, dialog.time);
        EXPECT_EQ(tool.frames, dialog.frames);
        EXPECT_EQ(tool.frameRate, dialog.frameRate);
        EXPECT_EQ(tool.size, dialog.size);
        EXPECT_EQ(e.shell.panes[2], PaneTime(e.doc->Clock().TotalSeconds()));
    }
    EXPECT_EQ(e.doc->Clock().TotalSeconds(), 62u) << "2 s of frames and a minute's grace";
}

// A movie of sound alone plays its sound for as long as it lasts, shows no picture, and
// seeks within its sound; there is no frame to step to.
TEST(Engine, SoundAlonePlaysForItsLength) {
    Engine e;
    FilmMovie m;
    m.codec = std::string(4, '\0');
    m.width = 0;
    m.height = 0;
    m.channels = 1;
    m.bits = 8;
    m.rate = 1000;
    for (int c = 0; c < 3; ++c)
        m.Audio(Bytes(500, static_cast<uint8_t>(c)));
    e.Open(m);
    EXPECT_EQ(e.doc->DurationMs(), 1500u);
    EXPECT_EQ(e.shell.panes[2], " 0: 1");
    EXPECT_EQ(e.doc->CurrentFrame(), nullptr) << "no picture";
    e.doc->StepFrame(+1);
    EXPECT_EQ(e.doc->PositionMs(), 0u);
    e.doc->Seek(750);
    e.Play();
    e.start -= 750;
    ASSERT_FALSE(e.wave.written.empty());
    EXPECT_EQ(e.wave.written.size(), 750u) << "the sound from 750 ms on";
    EXPECT_EQ(e.wave.written.front(), 1 + 128);
    e.RunTo(1499);
    EXPECT_TRUE(e.doc->IsPlaying());
    e.wave.Play(10);
    e.RunTo(1510);
    EXPECT_TRUE(e.doc->IsFinished());
}

// The memory limit counts what the view keeps of the pictures too: a movie whose pictures
// just fit with the player's own buffers is refused once the view's copies are counted.
TEST(Engine, TheViewsCopiesCountAgainstTheMemoryLimit) {
    FilmMovie m;
    m.width = 4096;
    m.height = 2427;
    m.Video(GreyFrame(3));
    for (uint64_t shown : {uint64_t{0}, uint64_t{8} << 20}) {
        Engine e;
        e.view.shownBytes = shown;
        e.doc->AppendToQueue(e.Save(m));
        e.doc->IdleStep(false);
        EXPECT_EQ(e.doc->IsOpen(), shown == 0) << shown;
        if (shown != 0) {
            ASSERT_EQ(e.shell.refusals.size(), 1u);
            EXPECT_EQ(e.shell.refusals[0].second, OpenError::kOutOfMemory);
        }
    }
}

// The window reads the statistics while the timer thread decodes, damaged frames among the
// others (ThreadSanitizer watches this one).
TEST(Engine, StatisticsAreReadWhileTheTimerThreadDecodes) {
    mm::SystemClock clock;
    mm::ThreadTimer timer;
    CapturingWaveOut wave;
    MemorySettings settings;
    RecordingShell shell;
    TempDir dir;
    FilmMovie m;
    m.baseFrequency = 1000;  // a frame every 5 ms, for half a second
    for (int i = 1; i <= 100; ++i)
        m.Video(i % 2 == 0 ? Bytes(16, 0xEE) : GreyFrame(i), 5);
    m.Save(dir.File("damaged.cpk"));
    CTovrinDoc doc({clock, timer, wave, settings}, shell);
    doc.AppendToQueue(dir.File("damaged.cpk"));
    doc.SetAutoPlay(true);
    uint32_t damaged = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!doc.IsFinished() && std::chrono::steady_clock::now() < deadline) {
        doc.IdleStep(false);
        damaged = doc.Stats().damagedFrames;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    doc.Stop();
    EXPECT_EQ(doc.Stats().damagedFrames, 50u);
    EXPECT_GT(damaged, 0u) << "read while the frames were decoded";
}

// The queue keeps to its limit however names arrive, and the document's state moves only
// as its transitions say.
TEST(Engine, TheQueueKeepsToItsLimitAndTheStatesToTheirTransitions) {
    PlayQueue q;
    for (size_t i = 0; i + 2 < PlayQueue::kLimit; ++i)
        ASSERT_TRUE(q.Append("n"));
    EXPECT_EQ(q.PutFirst({"a", "b", "c"}), 2u) << "as many as there is room for";
    EXPECT_EQ(q[0], "a");
    EXPECT_EQ(q.Size(), PlayQueue::kLimit);
    EXPECT_FALSE(q.Append("d"));
    EXPECT_EQ(q.PutFirst({"e"}), 0u);
    EXPECT_FALSE(q.Move(0, PlayQueue::kLimit));
    EXPECT_TRUE(q.Move(0, 1));
    EXPECT_EQ(q[1], "a");
    EXPECT_FALSE(q.EverTaken());
    EXPECT_EQ(q.TakeFirst(), "b");
    EXPECT_TRUE(q.EverTaken());

    using S = PlayState;
    using E = PlayEvent;
    const S all[] = {S::kNoMovie, S::kLoaded, S::kPlaying, S::kPaused, S::kFinished};
    for (S s : all) {
        EXPECT_EQ(After(s, E::kOpened), S::kLoaded);
        EXPECT_EQ(After(s, E::kClosed), S::kNoMovie);
        EXPECT_EQ(After(s, E::kStop), s == S::kNoMovie ? S::kNoMovie : S::kFinished);
        const bool startable = s == S::kLoaded || s == S::kFinished;
        EXPECT_EQ(After(s, E::kPlay), startable ? S::kPlaying : s);
        EXPECT_EQ(After(s, E::kPause), s == S::kPlaying ? S::kPaused : s);
        EXPECT_EQ(After(s, E::kResume), s == S::kPaused ? S::kPlaying : s);
    }

    // Every change is announced, once.
    struct Heard : DocumentObserver {
        std::vector<PlayState> states;
        int opened = 0, closed = 0, queue = 0;
        void StateChanged(PlayState s) override { states.push_back(s); }
        void MovieOpened() override { ++opened; }
        void MovieClosed() override { ++closed; }
        void QueueChanged() override { ++queue; }
    } heard;
    Engine e;
    e.doc->SetObserver(&heard);
    e.Open(Numbered(20, 1, 10));
    e.Play();
    e.doc->OnPause();
    e.doc->OnPause();
    e.doc->OnStop();
    e.doc->CloseMovie();
    EXPECT_EQ(heard.states, (std::vector<PlayState>{S::kLoaded, S::kPlaying, S::kPaused,
                                                    S::kPlaying, S::kFinished, S::kNoMovie}));
    EXPECT_EQ(heard.opened, 1);
    EXPECT_EQ(heard.closed, 1);
    EXPECT_EQ(heard.queue, 2) << "the name queued, then taken";
}
