// The playback engine: one document that opens queued movies, plays them on a clock, keeps
// decoded pictures ten display periods ahead on the timer thread, feeds the sound device,
// and picks the picture of the current time in the main thread's idle processing.
//
// Two threads touch it: the main thread (commands, idle step, painting) and the timer
// thread (OnTimerTick). Every field they share is atomic; everything else belongs to one
// thread at a time, handed over when the timer starts (Play) and stops (Stop, CloseMovie).
// While the timer runs, only the tick calls the reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "movie/MovieReader.h"
#include "movie/MovieTiming.h"
#include "platform/mm/Clock.h"
#include "platform/mm/Timer.h"
#include "platform/mm/WaveOut.h"
#include "platform/profile/Settings.h"
#include "playback/AudioOutputQueue.h"
#include "playback/DocumentHost.h"

namespace lunavue {

// The platform services the engine runs on: real ones in the program, fakes in tests.
struct DocumentPlatform {
    mm::Clock& clock;
    mm::PeriodicTimer& timer;
    mm::WaveOut& waveOut;
    SettingsStore& settings;
};

// What playback has done so far, for the headless player and for tests.
struct PlaybackStats {
    uint32_t plays = 0;        // times Play started the clock
    uint32_t framesShown = 0;  // pictures handed to the view
    uint32_t lateSlots = 0;    // slots shown more than a display period after their time
    uint32_t worstLateMs = 0;
    uint32_t chunksWritten = 0;  // sound chunks handed to the device
    uint32_t damagedFrames = 0;  // frames whose data were short or damaged
};

// Prints the statistics, one "key: value" a line.
void PrintPlaybackStats(FILE* out, const PlaybackStats& s, uint32_t underruns);

// The document's states. A movie stays loaded from the open until it is closed; Stop and
// the end of a movie leave it finished, at its poster frame.
enum class PlayState { kNoMovie, kLoaded, kPlaying, kPaused, kFinished };

class CTovrinDoc {
  public:
    static constexpr int kPoolSize = 16;
    static constexpr int kRingSize = 16;
    static constexpr uint32_t kLead = 10;  // display slots decoded ahead of the clock
    static constexpr int kAudioBuffers = AudioOutputQueue::kBuffers;
    // What the player keeps of a movie besides the reader's own buffers: the pool, the
    // picture the view keeps of it, the sound buffers; and how far ahead it reads.
    static constexpr DeliveryBudget kBudget{kLead, kPoolSize + 1, kAudioBuffers, nullptr};
    // How long the end of a movie waits for its last sound to play out.
    static constexpr uint32_t kSoundDrainLimitMs = 2000;
    // The most slots one tick fills when it finds itself behind the clock.
    static constexpr uint32_t kMaxSlotsPerTick = 2 * kLead;
    // A seek decodes the frames from the key frame before its frame at once when there are
    // this few; more are decoded on the timer thread, a slice of this many ms a tick, while
    // the window goes on answering and the picture follows when they are done.
    static constexpr uint32_t kRunUpOnTheSpot = 8;
    static constexpr uint32_t kRunUpSliceMs = 20;
    // How far the clock may be from the sound heard before it is set to it.
    static constexpr int32_t kSyncToleranceMs = 8;
    // The most names the play queue holds: more are refused.
    static constexpr size_t kMaxQueue = 10000;

    // Reads the loop setting.
    CTovrinDoc(DocumentPlatform platform, DocumentShell& shell);
    // Closes the movie and writes the loop setting back.
    ~CTovrinDoc();
    CTovrinDoc(const CTovrinDoc&) = delete;
    CTovrinDoc& operator=(const CTovrinDoc&) = delete;

    void SetView(DocumentView* view) { view_ = view; }

    // Engine operations (main thread).
    bool OpenMovie(const std::string& path);
    void Play();
    void Stop();
    void OnPause();
    void CloseMovie();

    // Seeking (main thread), while playing, paused, or stopped with a movie loaded. The
    // picture becomes the frame whose slots hold the time, and the sound goes on from the
    // time's sample, in step. A time past the end ends the movie as reaching the end does;
    // a stopped movie then plays from the time sought.
    void Seek(uint32_t ms);
    void SeekBy(int64_t deltaMs);
    // One frame forward (+1) or back (-1), while paused or stopped with a movie loaded.
    void StepFrame(int direction);
    // Where playback stands, and how long the movie lasts, in ms.
    uint32_t PositionMs();
    uint32_t DurationMs() const;
    // The clock is running (playing and not paused).
    bool ClockRuns() const { return State() == PlayState::kPlaying; }
    // Plays a movie that is loaded and stopped; otherwise pauses or resumes.
    void PlayPause();
    // Ends the movie and opens the next queued name, playing it if this one was playing.
    void NextMovie();
    // Puts the names at the front of the queue and plays the first at once; a movie open now
    // ends as NextMovie ends it.
    void PlayNow(const std::vector<std::string>& names);
    // The queue as a person edits it: a name taken out, one moved to another place, one
    // played now (the movie open now ends as NextMovie ends it). False for a place that is
    // not in the queue.
    bool RemoveFromQueue(size_t i);
    bool MoveInQueue(size_t from, size_t to);
    bool PlayQueued(size_t i);
    // The sound device's volume, 0 to 100 (100 leaves the sound as it is).
    void SetVolume(int percent) { platform_.waveOut.SetVolume(percent); }

    // Timer thread, every TimerDelayMs while playing. Feeds the sound device first, then
    // fills every display slot that is due (decoding the frames it must), then feeds the
    // sound again. Touches only: the reader, the audio headers and buffers, the slot
    // counters, the display ring, and pool pictures other than the one on screen. Returns
    // at once while paused.
    void OnTimerTick();

    // Main thread, from the idle hook while the event queue is empty: shows the picture of
    // the current time and the elapsed time, ends the movie (loop, next name, close), and
    // while stopped opens the next queued name or starts auto-play. Touches the view, the
    // status bar, the queue and the state; never the reader while the timer runs. Returns
    // true when it wants to be called again.
    bool IdleStep(bool frameworkAnswer);
    // Main thread, while a menu or a modal dialog holds the main loop: only shows the
    // picture and the time of the current slot. Nothing is opened, ended or closed.
    void IdleWhileModal();
    // While the clock runs: milliseconds until the idle step has something to do again
    // (the next display slot or the next whole second), at least 1. The main loop may
    // sleep that long instead of polling every millisecond.
    uint32_t IdleWaitMs();

    // Commands and their states.
    void OnStop();
    void OnLoop() { Loop = Loop == 0 ? 1 : 0; }
    bool OnUpdateLoop() const { return Loop != 0; }
    bool OnUpdatePlay() const { return IsOpen() && !IsPlaying(); }
    bool OnUpdateStop() const { return IsPlaying(); }  // Stop and Pause
    bool OnUpdateInformation() const { return IsOpen(); }

    // The play queue and the command-line flags.
    // Queues a name; false when the queue already holds kMaxQueue names.
    bool AppendToQueue(const std::string& name) {
        if (PlayQueue.size() >= kMaxQueue) {
            return false;
        }
        PlayQueue.push_back(name);
        return true;
    }
    const std::deque<std::string>& Queue() const { return PlayQueue; }
    void SetAutoPlay(bool on) { AutoPlay = on; }
    void SetCloseAtEnd(bool on) { CloseAtEnd = on; }
    bool GetCloseAtEnd() const { return CloseAtEnd; }
    int32_t GetLoop() const { return Loop; }

    PlayState State() const { return state_.load(); }
    bool IsOpen() const { return State() != PlayState::kNoMovie; }
    // Playing also while paused: the clock has been started and not stopped.
    bool IsPlaying() const { return State() == PlayState::kPlaying || IsPaused(); }
    bool IsPaused() const { return State() == PlayState::kPaused; }
    bool IsFinished() const { return State() == PlayState::kFinished; }
    // The picture the view paints: a bottom-up 24-bit picture in the reader's format.
    const uint8_t* CurrentFrame() const { return CurrentFrame_.load(); }

    const MovieReader& Reader() const { return Reader_; }
    // The open movie's clock, as the engine runs it.
    const MovieTiming& Timing() const { return timing_; }
    uint32_t GetPeriodCount() const { return PeriodCount; }
    float GetPeriodTicks() const { return PeriodTicks; }
    float GetBaseFrequency() const { return BaseFrequency; }
    uint32_t GetTimerDelayMs() const { return TimerDelayMs; }
    uint32_t GetSlotsFilled() const { return SlotsFilled.load(); }
    uint32_t GetFramesDecoded() const { return FramesDecoded; }
    PlaybackStats Stats() const;

    // "%2d:%2d" of whole minutes and seconds.
    static std::string TimeText(uint32_t seconds);
    // Where playback stands in the movie: "1:23 / 4:56".
    std::string PositionText();

  private:
    bool AllocatePictures(size_t size);
    void SetUpTiming();
    void AllocateSound();
    void AdvanceQueue();
    void Start(uint32_t ms, PlayState as);
    void StartSound(PlayState as);
    void FollowSound();
    void WatchSoundDevice();
    void PositionAt(uint32_t slot, uint32_t ms);
    uint32_t FrameAtSlot(uint32_t slot) const;
    uint32_t FirstMsOfSlot(uint32_t slot) const;
    void ShowPosition(uint32_t slot, uint32_t ms);
    bool IdlePlaying(bool mayEnd);
    bool AwaitPicture();
    void EndOfMovie();
    void ShowPoster();
    void StartTimer();
    void KillTimer();
    void PauseClock();
    void ResumeClock();
    uint32_t Elapsed();
    uint32_t SlotAt(uint32_t elapsed) const;
    // When slot begins, in ms of the clock (slot may be negative: before the start).
    double DueMs(double slot) const;
    void PrefillRing();
    void FillFirstSlot();
    bool RunUp();
    bool FillNextSlot();
    uint8_t* DecodeTarget();
    void ShowSlot(uint32_t slot, uint32_t elapsed);
    void UpdateElapsedPane(uint32_t elapsed);
    void OpenAudio();
    void FeedSound();
    void CloseAudio();
    bool SoundStillPlaying();
    void Invalidate();
    void ResetSlots();

    DocumentPlatform platform_;
    DocumentShell& shell_;
    DocumentView* view_ = nullptr;

    std::deque<std::string> PlayQueue;
    bool CloseAtEnd = false;
    bool AutoPlay = false;
    std::atomic<PlayState> state_{PlayState::kNoMovie};
    std::atomic<uint8_t*> CurrentFrame_{nullptr};
    int64_t RemainingTicks = 0;
    MovieReader Reader_;
    int32_t Loop = 0;
    uint32_t AudioChunkCapacity = 0;
    MovieTiming timing_;
    uint32_t VideoFrameCount = 0;
    uint32_t PeriodCount = 0;
    uint32_t LastShownSecond = 0;
    AudioOutputQueue audio_;
    std::atomic<uint8_t*> DisplayRing[kRingSize] = {};
    uint8_t* FramePool[kPoolSize] = {};
    uint32_t TimerDelayMs = 0;
    std::atomic<uint32_t> TimerId{0};
    std::atomic<uint32_t> StartTime{0};
    uint32_t PauseStart = 0;
    float BaseFrequency = 0;
    float PeriodTicks = 0;
    uint32_t FramesDecoded = 0;
    std::atomic<uint32_t> SlotsFilled{0};

    std::vector<uint8_t> pictureBlock_;
    std::vector<uint32_t> frameSlots_;  // the first slot of each frame, then the slot count
    uint32_t firstSlot_ = 0;            // the slot playback (re)started at
    uint32_t firstFrame_ = 0;           // the frame of that slot
    uint32_t runUpLeft_ = 0;            // frames still to decode, unseen, before it
    // The timer thread is decoding a seek's run-up; the first slot is not filled yet.
    std::atomic<bool> runUpPending_{false};
    // A seek of a movie whose clock does not run waits for its picture (main thread).
    bool awaitingPicture_ = false;
    uint32_t awaitedMs_ = 0;
    uint32_t startMs_ = 0;       // where Play starts: 0, or a time sought while stopped
    uint32_t soundStartMs_ = 0;  // the movie's time of the first sound since the clock started
    int nextPicture_ = 0;        // the pool picture the next decode goes to, if not on screen
    // The picture the tick is decoding into, so that the main thread never shows it.
    std::atomic<uint8_t*> decoding_{nullptr};
    // Set by the tick once every sound chunk of the movie has been handed to the device.
    std::atomic<bool> soundDelivered_{false};
    // A name has been taken off the queue since start: an empty queue now means it ended.
    bool queueTaken_ = false;
    // The timer ran when the clock was paused, and runs again when it resumes.
    bool timerWasRunning_ = false;
    // The sound device's failure has been reported for this movie.
    bool soundProblemShown_ = false;
    uint32_t lastSlotShown_ = 0;
    PlaybackStats stats_;
    uint32_t damagedBefore_ = 0;  // damaged frames of movies closed before this one
};

}  // namespace lunavue
