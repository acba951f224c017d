// The playback engine: one document that opens queued movies, plays them on a clock, keeps
// decoded pictures ten display periods ahead on the timer thread, feeds the sound device,
// and picks the picture of the current time in the main thread's idle processing.
//
// Two threads touch it: the main thread (commands, idle step, painting) and the timer
// thread (OnTimerTick). Every field they share is atomic; everything else belongs to one
// thread at a time, handed over when the timer starts (Play, a resume, a seek's run-up)
// and stops (Stop, a pause, CloseMovie). While the timer runs, only the tick calls the
// reader. Members say which thread may touch them.
//
// The state moves only through Enter(event), whose transitions After() lists; every change
// is announced to the observer, as are position, queue and volume changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "movie/MovieClock.h"
#include "movie/MovieReader.h"
#include "platform/mm/Clock.h"
#include "platform/mm/Timer.h"
#include "platform/mm/WaveOut.h"
#include "platform/profile/Settings.h"
#include "playback/AudioOutputQueue.h"
#include "playback/DocumentHost.h"
#include "playback/PlayQueue.h"
#include "playback/PlaybackSession.h"
#include "playback/ResumePoints.h"

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

// What makes the state change.
enum class PlayEvent { kOpened, kPlay, kPause, kResume, kStop, kClosed };
// The state an event leads to; an event that does not apply leaves the state as it is.
//   no movie --opened--> loaded --play--> playing <--pause/resume--> paused
//   playing, paused, loaded, finished --stop--> finished --play--> playing
//   any --closed--> no movie
PlayState After(PlayState state, PlayEvent event);

class CTovrinDoc {
  public:
    static constexpr uint32_t kLead = PlaybackSession::kLead;
    static constexpr int kAudioBuffers = AudioOutputQueue::kBuffers;
    // What the player keeps of a movie besides the reader's own buffers: the pool, the
    // picture the view keeps of it, the sound buffers; and how far ahead it reads.
    static constexpr DeliveryBudget kBudget{kLead, PlaybackSession::kPoolSize + 1, kAudioBuffers,
                                            nullptr};
    // How long the end of a movie waits for its last sound to play out.
    static constexpr uint32_t kSoundDrainLimitMs = 2000;
    // The most slots one tick fills when it finds itself behind the clock.
    static constexpr uint32_t kMaxSlotsPerTick = 2 * kLead;
    // A seek's long run-up is decoded on the timer thread a slice of this many ms a tick,
    // while the window goes on answering; the picture follows when it is done.
    static constexpr uint32_t kRunUpSliceMs = 20;
    // How far the clock may be from the sound heard before it is set to it.
    static constexpr int32_t kSyncToleranceMs = 8;
    static constexpr size_t kMaxQueue = PlayQueue::kLimit;

    // Reads the loop setting.
    CTovrinDoc(DocumentPlatform platform, DocumentShell& shell);
    // Closes the movie and writes the loop setting back.
    ~CTovrinDoc();
    CTovrinDoc(const CTovrinDoc&) = delete;
    CTovrinDoc& operator=(const CTovrinDoc&) = delete;

    // Main thread.
    void SetView(DocumentView* view) { view_ = view; }
    void SetObserver(DocumentObserver* observer) { observer_ = observer; }
    // Where movies were left: kept at each close, gone back to at each open (none: off).
    void SetResumePoints(ResumePoints* points) { resume_ = points; }
    // The open movie's name as it was opened; empty when none is open.
    const std::string& MoviePath() const { return moviePath_; }

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
    uint32_t DurationMs() const { return session_ ? session_->Clock().DurationMs() : 0; }
    // The clock is running (playing and not paused).
    bool ClockRuns() const { return State() == PlayState::kPlaying; }
    // Plays a movie that is loaded and stopped; otherwise pauses or resumes.
    void PlayPause();
    // Ends the movie and opens the next queued name, playing it if this one was playing.
    void NextMovie();
    // The speed in thousandths (1000: as the movie is, the sound bit-exact), from 500 to
    // 2000; the sound keeps its pitch.
    static constexpr uint32_t kSlowest = 500;
    static constexpr uint32_t kFastest = 2000;
    void SetSpeed(uint32_t permille);
    uint32_t Speed() const { return speedPermille_.load(); }
    // A-B repeat: the first call marks A at the position, the second B (playing reaches B,
    // it goes back to A), the third clears both. Cleared when the movie closes.
    enum class Repeat { kOff, kStartSet, kRepeating };
    Repeat MarkRepeat();
    std::optional<uint32_t> RepeatStart() const { return repeatStart_; }
    std::optional<uint32_t> RepeatEnd() const { return repeatEnd_; }
    // The movie played before this one, playing from where it was left (false: none).
    bool PreviousMovie();
    bool HasPrevious() const { return !history_.empty(); }
    // Puts the names at the front of the queue (as many as it has room for) and plays the
    // first at once; a movie playing or paused midway goes back to the front of the queue,
    // behind them, and opens again where it was left. Returns how many names were taken.
    size_t PlayNow(const std::vector<std::string>& names);
    // The queue as a person edits it: a name taken out, one moved to another place, one
    // played now (the movie open now ends as NextMovie ends it). False for a place that is
    // not in the queue.
    bool RemoveFromQueue(size_t i);
    bool MoveInQueue(size_t from, size_t to);
    bool PlayQueued(size_t i);
    // The sound device's volume, 0 to 100 (100 leaves the sound as it is).
    void SetVolume(int percent);

    // Timer thread, every TimerDelayMs while playing (and while a seek's run-up is being
    // decoded). Feeds the sound device first, then fills every display slot that is due
    // (decoding the frames it must), then feeds the sound again. Touches only: the reader,
    // the sound buffers, the session's ring and counters. Returns at once while paused.
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
    void OnLoop();
    // Plays the movie open now again at its end, whatever is queued (the desktop's "repeat
    // track"); not kept in the settings.
    void SetRepeatMovie(bool on);
    bool GetRepeatMovie() const { return repeatMovie_; }
    bool OnUpdateLoop() const { return Loop != 0; }
    bool OnUpdatePlay() const { return IsOpen() && !IsPlaying(); }
    bool OnUpdateStop() const { return IsPlaying(); }  // Stop and Pause
    bool OnUpdateInformation() const { return IsOpen(); }

    // The play queue and the command-line flags (main thread).
    // Queues a name; false when the queue already holds kMaxQueue names.
    bool AppendToQueue(const std::string& name);
    const PlayQueue& Queue() const { return PlayQueue_; }
    void SetAutoPlay(bool on) { AutoPlay = on; }
    void SetCloseAtEnd(bool on) { CloseAtEnd = on; }
    bool GetCloseAtEnd() const { return CloseAtEnd; }
    int32_t GetLoop() const { return Loop; }

    // Any thread.
    PlayState State() const { return state_.load(); }
    bool IsOpen() const { return State() != PlayState::kNoMovie; }
    // The clock has been started and not stopped: true while playing and while paused.
    bool IsPlaying() const { return State() == PlayState::kPlaying || IsPaused(); }
    bool IsPaused() const { return State() == PlayState::kPaused; }
    bool IsFinished() const { return State() == PlayState::kFinished; }
    // The picture the view paints: a bottom-up 24-bit picture in the reader's format, or
    // null with no movie.
    const uint8_t* CurrentFrame() const { return session_ ? session_->Shown() : nullptr; }

    const MovieReader& Reader() const { return Reader_; }
    // The open movie's clock (a clock of no movie when none is open).
    const MovieClock& Clock() const;
    uint32_t GetSlotsFilled() const { return session_ ? session_->SlotsFilled() : 0; }
    uint32_t GetFramesDecoded() const { return session_ ? session_->FramesDecoded() : 0; }
    PlaybackStats Stats() const;

    // Where playback stands in the movie: "1:23 / 4:56".
    std::string PositionText();

  private:
    void Enter(PlayEvent event);
    void SetUpSound();
    void ResumeWhereLeft();
    uint32_t MovieMs(uint32_t wallMs) const;
    uint32_t WallMs(uint32_t movieMs) const;
    void KeepInterrupted(const std::string& next);
    void AdvanceQueue();
    void QueueChanged();
    void Start(uint32_t ms, PlayState as);
    void StartSound(PlayState as);
    void EndOfMovie();
    void ShowPoster();
    void ShowPosition(uint32_t slot, uint32_t ms);
    bool AwaitPicture();
    bool IdlePlaying(bool mayEnd);
    void FollowSound();
    void WatchSoundDevice();
    void ShowSlot(uint32_t slot, uint32_t elapsed);
    void CountLateness(uint32_t slot, uint32_t elapsed, bool ready);
    void UpdateElapsedPane(uint32_t elapsed);
    void StartTimer();
    void KillTimer();
    void PauseClock();
    void ResumeClock();
    uint32_t Elapsed();
    bool RunUp();
    bool FillNextSlot();
    void OpenAudio();
    void FeedSound();
    void CloseAudio();
    bool SoundStillPlaying();
    void Invalidate();

    DocumentPlatform platform_;
    DocumentShell& shell_;
    DocumentView* view_ = nullptr;          // main thread
    DocumentObserver* observer_ = nullptr;  // main thread
    ResumePoints* resume_ = nullptr;
    std::string moviePath_;
    // Movies played before this one, the latest last; where interrupted movies were left.
    static constexpr size_t kHistory = 100;
    std::deque<std::string> history_;
    std::map<std::string, uint32_t> interruptedAt_;
    bool goingBack_ = false;
    std::optional<uint32_t> repeatStart_, repeatEnd_;

    // Main thread.
    PlayQueue PlayQueue_;
    bool CloseAtEnd = false;
    bool AutoPlay = false;
    int32_t Loop = 0;
    bool repeatMovie_ = false;
    uint32_t PauseStart = 0;
    PlaybackStats stats_;
    uint32_t damagedBefore_ = 0;  // damaged frames of movies closed before this one

    // Written by the main thread, read by the tick.
    std::atomic<PlayState> state_{PlayState::kNoMovie};
    std::atomic<uint32_t> speedPermille_{1000};  // read by the timer thread
    std::atomic<uint32_t> StartTime{0};  // the clock reading at which the movie's time was 0
    std::atomic<uint32_t> TimerId{0};
    // The open movie; made and destroyed by the main thread while no tick runs.
    std::unique_ptr<PlaybackSession> session_;

    // The tick's while it runs (the main thread's otherwise).
    MovieReader Reader_;
    AudioOutputQueue audio_;
    // Every sound chunk of the movie has been handed to the device (set by the tick).
    std::atomic<bool> soundDelivered_{false};
};

}  // namespace lunavue
