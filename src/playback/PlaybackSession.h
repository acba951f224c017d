// One open movie as the engine plays it: its clock, its sixteen pictures and the ring of
// display slots that point at them, how far the timer thread has got in filling the ring,
// and what the main thread last showed of it. Made when a movie opens and destroyed when it
// closes: no session, no movie.
//
// Threads: the main thread positions the session (PositionAt, Prefill) while no tick runs;
// while the timer runs, the tick alone decodes and fills the ring (RunUpFrame, FinishRunUp,
// FillNextSlot), and the main thread only reads the ring and shows its pictures (Show).
// Members say which thread owns them.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "movie/MovieClock.h"
#include "movie/MovieReader.h"

namespace lunavue {

class PlaybackSession {
  public:
    static constexpr int kPoolSize = 16;
    static constexpr int kRingSize = 16;
    static constexpr uint32_t kLead = 10;  // display slots decoded ahead of the clock
    // A seek decodes the frames from the key frame before its frame at once when there are
    // this few; more are left to the timer thread (RunUpPending).
    static constexpr uint32_t kRunUpOnTheSpot = 8;

    PlaybackSession(MovieReader& reader, MovieClock clock);
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // The sixteen pictures of the movie's size; false when out of memory.
    bool AllocatePictures(size_t pictureBytes);
    const MovieClock& Clock() const { return clock_; }

    // Main thread, no tick running. The first frame, shown while the movie is stopped.
    void ShowPoster();
    // Makes the reader and the ring ready for the clock to run from this slot: from the
    // start, or from the key frame at or before the slot's frame, decoding the frames
    // between without showing them. A long run-up is left to the timer thread.
    void PositionAt(uint32_t slot, uint32_t ms);
    // Fills the ring up to kLead slots past the first (fewer for a movie that has fewer).
    void Prefill();

    // Timer thread. A frame of a seek's run-up decoded unseen; false once none is left.
    bool RunUpFrame();
    // The run-up is done: the first slot and the lead are filled, the picture may show.
    void FinishRunUp();
    // Fills the next slot: the last picture again while its frame lasts, else the next
    // frame. False when nothing could be filled: every frame is decoded, or the sound
    // stored before the next frame has no room until the device takes more.
    bool FillNextSlot();

    // Any thread.
    bool RunUpPending() const { return runUpPending_.load(); }
    uint32_t SlotsFilled() const { return slotsFilled_.load(); }
    bool AllDecoded() const { return framesDecoded_.load() == clock_.FrameCount(); }
    uint32_t FramesDecoded() const { return framesDecoded_.load(); }
    uint8_t* Shown() const { return shown_.load(); }

    // Main thread: the picture of a slot that has been filled, or the newest filled one;
    // null while none is (or a seek's picture is still being run up to).
    uint8_t* PictureFor(uint32_t slot) const;
    // Puts a picture on screen; false (and the one shown stays) when the tick is decoding
    // into it right now.
    bool Show(uint8_t* picture);

    // Main thread only: what the clock and the window last made of the movie.
    uint32_t firstSlot = 0;     // the slot playback (re)started at
    uint32_t startMs = 0;       // where Play starts: 0, or a time sought while stopped
    uint32_t soundStartMs = 0;  // the movie's time of the first sound since the clock started
    uint32_t lastSlotShown = 0;
    uint32_t lastShownSecond = 0;
    // A picture sought while the clock stands, still being run up to: shown once ready.
    std::optional<uint32_t> awaitedMs;
    bool soundProblemSaid = false;  // the device's refusal has been said for this movie

  private:
    uint8_t* DecodeTarget();
    void FillFirstSlot();

    MovieReader& reader_;
    const MovieClock clock_;
    std::vector<uint8_t> block_;
    uint8_t* pool_[kPoolSize] = {};
    std::atomic<uint8_t*> ring_[kRingSize] = {};  // written by the tick, read by the window
    std::atomic<uint8_t*> shown_{nullptr};        // the window's picture, read by the tick
    // The picture the tick is decoding into, so that the window never shows it: announced
    // before the tick's test of shown_, tested by the window after it sets shown_, so one of
    // the two always sees the other.
    std::atomic<uint8_t*> decoding_{nullptr};
    std::atomic<bool> runUpPending_{false};

    // The tick's (the main thread's while no tick runs), read by the window as atomics.
    std::atomic<uint32_t> slotsFilled_{0};
    std::atomic<uint32_t> framesDecoded_{0};
    int64_t remainingTicks_ = 0;  // of the last decoded frame, not yet covered by slots
    uint32_t firstFrame_ = 0;     // the frame of firstSlot
    uint32_t runUpLeft_ = 0;      // frames still to decode, unseen, before it
    int nextPicture_ = 0;         // the pool picture the next decode goes to, if not shown
};

}  // namespace lunavue
