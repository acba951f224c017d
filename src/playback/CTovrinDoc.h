// The playback engine: one document that opens queued movies, plays them on a clock, keeps
// decoded pictures ten display periods ahead on the timer thread, feeds the sound device,
// and picks the picture of the current time in the main thread's idle processing.
//
// Two threads touch it: the main thread (commands, idle step, painting) and the timer
// thread (OnTimerTick). Every field they share is atomic; everything else belongs to one
// thread at a time, handed over when the timer starts (Play) and stops (Stop, CloseMovie).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "movie/MovieReader.h"
#include "platform/mm/Clock.h"
#include "platform/mm/Timer.h"
#include "platform/mm/WaveOut.h"
#include "playback/DocumentHost.h"

namespace lunavue {

// The platform services the engine runs on: real ones in the program, fakes in tests.
struct DocumentPlatform {
    mm::Clock& clock;
    mm::PeriodicTimer& timer;
    mm::WaveOut& waveOut;
};

// What playback has done so far, for the headless player and for tests.
struct PlaybackStats {
    uint32_t plays = 0;        // times Play started the clock
    uint32_t framesShown = 0;  // pictures handed to the view
    uint32_t lateSlots = 0;    // slots shown more than a display period after their time
    uint32_t worstLateMs = 0;
    std::atomic<uint32_t> chunksWritten{0};
};

// Prints the statistics, one "key: value" a line.
void PrintPlaybackStats(FILE* out, const PlaybackStats& s, uint32_t underruns);

class CTovrinDoc {
  public:
    static constexpr int kPoolSize = 16;
    static constexpr int kRingSize = 16;
    static constexpr uint32_t kLead = 10;  // display slots decoded ahead of the clock
    static constexpr int kAudioBuffers = 10;
    static constexpr uint32_t kTimerResolutionMs = 5;
    // How long the end of a movie waits for its last sound to play out.
    static constexpr uint32_t kSoundDrainLimitMs = 2000;

    // Reads the loop setting.
    CTovrinDoc(DocumentPlatform platform, DocumentShell& shell);
    // Closes the movie and writes the loop setting back.
    ~CTovrinDoc();
    CTovrinDoc(const CTovrinDoc&) = delete;
    CTovrinDoc& operator=(const CTovrinDoc&) = delete;

    void SetView(DocumentView* view) { view_ = view; }

    // Engine operations.
    bool OpenMovie(const std::string& path);
    void Play();
    void Stop();
    void OnPause();
    void CloseMovie();
    void OnTimerTick();
    bool IdleStep(bool frameworkAnswer);
    // While the clock runs: milliseconds until the idle step has something to do again
    // (the next display slot or the next whole second), at least 1. The main loop may
    // sleep that long instead of polling every millisecond.
    uint32_t IdleWaitMs();

    // Commands and their states.
    void OnStop();
    void OnLoop() { Loop = Loop == 0 ? 1 : 0; }
    bool OnUpdateLoop() const { return Loop != 0; }
    bool OnUpdatePlay() const { return MovieOpen && !Playing; }
    bool OnUpdateStop() const { return MovieOpen && Playing; }  // Stop and Pause
    bool OnUpdateInformation() const { return MovieOpen; }

    // The play queue and the command-line flags.
    void AppendToQueue(const std::string& name) { PlayQueue.push_back(name); }
    const std::deque<std::string>& Queue() const { return PlayQueue; }
    void SetAutoPlay(bool on) { AutoPlay = on; }
    void SetCloseAtEnd(bool on) { CloseAtEnd = on; }
    bool GetCloseAtEnd() const { return CloseAtEnd; }
    int32_t GetLoop() const { return Loop; }

    bool IsOpen() const { return MovieOpen; }
    bool IsPlaying() const { return Playing; }
    bool IsPaused() const { return Paused.load(); }
    bool IsFinished() const { return Finished; }
    // The picture the view paints: a bottom-up 24-bit picture in the reader's format.
    const uint8_t* CurrentFrame() const { return CurrentFrame_.load(); }

    const MovieReader& Reader() const { return Reader_; }
    uint32_t GetPeriodCount() const { return PeriodCount; }
    float GetPeriodTicks() const { return PeriodTicks; }
    float GetBaseFrequency() const { return BaseFrequency; }
    uint32_t GetTimerDelayMs() const { return TimerDelayMs; }
    uint32_t GetSlotsFilled() const { return SlotsFilled.load(); }
    uint32_t GetFramesDecoded() const { return FramesDecoded; }
    const uint8_t* Pool(int i) const { return FramePool[i]; }
    PlaybackStats& Stats() { return stats_; }

    // "%2d:%2d" of whole minutes and seconds.
    static std::string TimeText(uint32_t seconds);

  private:
    void PrefillRing();
    void DecodeIntoNextSlot();
    void OpenAudio();
    void FillAudio();
    void CloseAudio();
    void Invalidate();
    void ShowSlot(uint32_t slot, uint32_t elapsed);
    // When slot begins, in ms of the clock (slot may be negative: before the start).
    double DueMs(double slot) const;
    bool SoundStillPlaying() const;

    DocumentPlatform platform_;
    DocumentShell& shell_;
    DocumentView* view_ = nullptr;

    std::deque<std::string> PlayQueue;
    bool CloseAtEnd = false;
    bool AutoPlay = false;
    bool Playing = false;
    std::atomic<uint8_t*> CurrentFrame_{nullptr};
    int32_t RemainingTicks = 0;
    MovieReader Reader_;
    int32_t Loop = 0;
    bool Finished = false;
    std::atomic<bool> Paused{false};
    uint32_t AudioChunkCapacity = 0;
    uint32_t VideoFrameCount = 0;
    uint32_t PeriodCount = 0;
    uint32_t LastShownSecond = 0;
    bool AudioOpen = false;
    mm::WaveHeader AudioHeaders[kAudioBuffers];
    uint8_t* AudioBuffers[kAudioBuffers] = {};
    std::atomic<uint8_t*> DisplayRing[kRingSize] = {};
    uint8_t* FramePool[kPoolSize] = {};
    uint32_t TimerDelayMs = 0;
    std::atomic<uint32_t> TimerId{0};
    std::atomic<uint32_t> StartTime{0};
    uint32_t PauseStart = 0;
    float BaseFrequency = 0;
    float PeriodTicks = 0;
    bool MovieOpen = false;
    uint32_t FramesDecoded = 0;
    std::atomic<uint32_t> SlotsFilled{0};

    std::vector<uint8_t> pictureBlock_;
    std::vector<uint8_t> audioBlock_;
    // The picture the tick is decoding into, so that the main thread never shows it.
    std::atomic<uint8_t*> decoding_{nullptr};
    // Set by the tick once every sound chunk of the movie has been handed to the device.
    std::atomic<bool> soundDelivered_{false};
    uint32_t lastSlotShown_ = 0;
    PlaybackStats stats_;
};

}  // namespace lunavue
