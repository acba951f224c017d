#include "playback/CTovrinDoc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "platform/MessageBox.h"

namespace lunavue {
namespace {

// 0.001 as single precision holds it (0.0010000000474974513): the slot of the clock is
// computed with exactly this factor, so that slot boundaries fall where they always have.
constexpr double kMsToSeconds = static_cast<double>(0.001f);

constexpr const char* kTimeReset = " 0: 0";

}  // namespace

void PrintPlaybackStats(FILE* out, const PlaybackStats& s, uint32_t underruns) {
    std::fprintf(out, "passes: %u\nframes shown: %u\nlate slots: %u\nworst lateness: %u ms\n",
                 s.plays, s.framesShown, s.lateSlots, s.worstLateMs);
    std::fprintf(out, "sound chunks written: %u\nunderruns: %u\ndamaged frames: %u\n",
                 s.chunksWritten, underruns, s.damagedFrames);
}

std::string CTovrinDoc::TimeText(uint32_t seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2d:%2d", static_cast<int>(seconds / 60),
                  static_cast<int>(seconds % 60));
    return buf;
}

std::string CTovrinDoc::PositionText() {
    auto text = [](uint32_t ms) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%u:%02u", ms / 60000, ms / 1000 % 60);
        return std::string(buf);
    };
    return text(PositionMs()) + " / " + text(DurationMs());
}

CTovrinDoc::CTovrinDoc(DocumentPlatform platform, DocumentShell& shell)
    : platform_(platform), shell_(shell), audio_(platform.waveOut, platform.clock) {
    Loop = platform_.settings.Read(settings::kLoop);
}

CTovrinDoc::~CTovrinDoc() {
    CloseMovie();
    platform_.settings.Write(settings::kLoop, Loop);
}

PlaybackStats CTovrinDoc::Stats() const {
    PlaybackStats s = stats_;
    s.chunksWritten = audio_.ChunksWritten();
    s.damagedFrames = damagedBefore_ + Reader_.GetDamagedFrames();
    return s;
}

void CTovrinDoc::Invalidate() {
    if (view_ != nullptr) {
        view_->Invalidate();
    }
}

// --- Opening and closing -------------------------------------------------------------

bool CTovrinDoc::OpenMovie(const std::string& path) {
    DeliveryBudget budget = kBudget;
    budget.shown = view_;  // the view's copies of the picture count too
    if (const OpenStatus status = Reader_.Open(path, budget); !status) {
        shell_.ShowRefusal(path, status);
        return false;
    }
    BITMAPINFOHEADER header{};
    Reader_.GetOutputFormat(&header);
    if (!AllocatePictures(header.biSizeImage)) {
        Reader_.Close();
        ShowErrorBox(messages::kNoMemory);
        return false;
    }
    SetUpTiming();
    Reader_.Rewind();
    ShowPoster();
    shell_.SetPaneText(2, TimeText(timing_.TotalSeconds()));
    AllocateSound();
    soundProblemShown_ = false;

    shell_.AddToRecentFileList(path);
    const size_t slash = path.rfind('/');
    const std::string title = slash == std::string::npos ? path : path.substr(slash + 1);
    shell_.SetTitle(title);
    platform_.waveOut.SetTitle(title);

    state_ = PlayState::kLoaded;
    lastSlotShown_ = 0;
    if (view_ != nullptr) {
        view_->SetPictureFormat(header);
        view_->ApplyWindowSize();
    }
    Invalidate();
    return true;
}

// The pool of pictures and where each frame's slots begin; false when out of memory.
bool CTovrinDoc::AllocatePictures(size_t size) {
    try {
        pictureBlock_.assign(kPoolSize * size, 0);
    } catch (const std::bad_alloc&) {
        pictureBlock_ = {};
        return false;
    }
    for (int i = 0; i < kPoolSize; ++i) {
        FramePool[i] = pictureBlock_.data() + static_cast<size_t>(i) * size;
    }
    for (auto& slot : DisplayRing) {
        slot.store(FramePool[0]);
    }
    return Reader_.FrameSlots(frameSlots_);
}

// The display period, the timer's period and the movie's length in display periods.
void CTovrinDoc::SetUpTiming() {
    timing_ = TimingOf(Reader_);
    PeriodTicks = timing_.periodTicks;
    BaseFrequency = timing_.baseFrequency;
    TimerDelayMs = timing_.timerDelayMs;
    PeriodCount = timing_.periodCount;
    VideoFrameCount = Reader_.GetVideoFrameCount();
    SlotsFilled = 0;
    startMs_ = 0;
}

// The sound buffers; without them the movie plays silently, after a message.
void CTovrinDoc::AllocateSound() {
    AudioChunkCapacity = Reader_.GetAudioChunkCapacity();
    if (AudioChunkCapacity != 0 && !audio_.Allocate(AudioChunkCapacity)) {
        ShowErrorBox(messages::kNoSoundMemory);
    }
}

void CTovrinDoc::CloseMovie() {
    KillTimer();
    CloseAudio();
    damagedBefore_ += Reader_.GetDamagedFrames();
    Reader_.Close();
    if (view_ != nullptr) {
        view_->ReleaseRenderer();
    }
    pictureBlock_ = {};
    audio_.Release();
    frameSlots_ = {};
    for (auto& p : FramePool) {
        p = nullptr;
    }
    CurrentFrame_ = nullptr;  // the pictures are gone; the view paints nothing now
    state_ = PlayState::kNoMovie;
}

// The first frame, shown while the movie is loaded and not playing.
void CTovrinDoc::ShowPoster() {
    Reader_.DecodeFirstFrame(FramePool[0]);
    CurrentFrame_ = FramePool[0];
    Invalidate();
}

// --- Starting and stopping ------------------------------------------------------------

void CTovrinDoc::Play() {
    if (!IsOpen() || IsPlaying()) {
        return;
    }
    KillTimer();  // a stopped movie's seek may still be running up
    ++stats_.plays;
    Start(startMs_, PlayState::kPlaying);
    startMs_ = 0;
    if (view_ != nullptr) {
        view_->EnterFullScreen();
    }
}

// Starts the clock at ms (playing, or paused there): the pictures from its slot on, the
// sound from its sample on, then the timer.
void CTovrinDoc::Start(uint32_t ms, PlayState as) {
    const uint32_t slot = SlotAt(ms);
    PositionAt(slot, ms);
    StartSound(as);
    soundStartMs_ = ms;
    LastShownSecond = ms / 1000;
    lastSlotShown_ = slot;
    const uint32_t now = platform_.clock.NowMs();
    PauseStart = now;
    StartTime = now - ms;
    state_ = as;
    // Paused, nothing is due: the timer starts when the clock resumes.
    timerWasRunning_ = as == PlayState::kPaused;
    if (as == PlayState::kPlaying || runUpPending_.load()) {
        StartTimer();
    }
}

// The sound from the reader's new place: on the device already open, dropping what it
// holds, or on a device opened now (also when the one in use went away, or came back).
void CTovrinDoc::StartSound(PlayState as) {
    if (audio_.IsOpen() && !audio_.DeviceLost() && !audio_.DeviceBack()) {
        audio_.Restart();
    } else {
        CloseAudio();
        OpenAudio();
    }
    if (as == PlayState::kPaused) {
        audio_.Pause();  // before the first write, which would start the device
    } else {
        audio_.Resume();
    }
    FeedSound();
}

void CTovrinDoc::PlayPause() {
    if (IsPlaying()) {
        OnPause();
    } else {
        Play();
    }
}

void CTovrinDoc::Stop() {
    KillTimer();
    CloseAudio();
    SlotsFilled = 0;
    FramesDecoded = 0;
    startMs_ = 0;
    state_ = PlayState::kFinished;
    if (view_ != nullptr) {
        view_->LeaveFullScreen();
    }
    Reader_.Rewind();
    ShowPoster();
    shell_.SetPaneText(1, kTimeReset);
}

void CTovrinDoc::OnStop() {
    CloseAtEnd = false;
    if (IsOpen()) {
        Stop();
    }
}

// The end of the movie: it plays again when looping with nothing else queued.
void CTovrinDoc::EndOfMovie() {
    Stop();
    if (Loop != 0 && PlayQueue.empty()) {
        Play();
    }
}

void CTovrinDoc::OnPause() {
    switch (State()) {
        case PlayState::kPlaying:
            PauseStart = platform_.clock.NowMs();
            state_ = PlayState::kPaused;
            PauseClock();
            break;
        case PlayState::kPaused:
            // The clock leaves out the paused time and resumes at the slot where it stopped.
            StartTime = StartTime.load() + (platform_.clock.NowMs() - PauseStart);
            state_ = PlayState::kPlaying;
            ResumeClock();
            break;
        default:
            break;
    }
}

// While paused nothing is due, so the timer stops (a paused player does no periodic work);
// it starts again at the resume unless it had ended with the movie's last picture and sound.
void CTovrinDoc::PauseClock() {
    const uint32_t id = TimerId.exchange(0);
    timerWasRunning_ = id != 0;
    if (id != 0) {
        platform_.timer.Kill(id);
    }
    audio_.Pause();
}

void CTovrinDoc::ResumeClock() {
    audio_.Resume();
    if (timerWasRunning_) {
        timerWasRunning_ = false;
        StartTimer();
    }
}

void CTovrinDoc::StartTimer() {
    TimerId = platform_.timer.Set(TimerDelayMs, [this] { OnTimerTick(); });
}

// Stops the timer and waits for a tick in progress; from inside a tick it only stops it.
void CTovrinDoc::KillTimer() {
    if (const uint32_t id = TimerId.exchange(0); id != 0) {
        platform_.timer.Kill(id);
    }
}

// --- The clock --------------------------------------------------------------------------

uint32_t CTovrinDoc::Elapsed() {
    return platform_.clock.NowMs() - StartTime.load();
}

uint32_t CTovrinDoc::SlotAt(uint32_t elapsed) const {
    const double exact =
        (static_cast<double>(elapsed) * BaseFrequency / PeriodTicks) * kMsToSeconds;
    return exact >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(exact);
}

double CTovrinDoc::DueMs(double slot) const {
    return slot * 1000.0 * PeriodTicks / BaseFrequency;
}

// --- The timer thread -------------------------------------------------------------------

void CTovrinDoc::OnTimerTick() {
    if (runUpPending_.load() && !RunUp()) {
        return;
    }
    if (State() != PlayState::kPlaying) {
        KillTimer();  // it ran for a seek's run-up alone
        return;
    }
    FeedSound();
    // Slot n is due once the clock has reached slot n - 10 (at once for the first ten,
    // which a movie shorter than ten display periods may not have filled at Play). A tick
    // that finds itself behind fills every due slot, so that lateness never accumulates.
    const uint32_t elapsed = Elapsed();
    for (uint32_t n = 0; n < kMaxSlotsPerTick; ++n) {
        const double ahead = static_cast<double>(SlotsFilled.load()) - kLead;
        if (static_cast<double>(elapsed) < std::trunc(DueMs(ahead)) || !FillNextSlot()) {
            break;
        }
        FeedSound();  // the sound goes first: a slow decode never starves the device
    }
}

// Fills the first ten display slots before the clock starts. A movie whose pictures cover
// fewer slots stops at its last picture.
void CTovrinDoc::PrefillRing() {
    while (SlotsFilled.load() < firstSlot_ + kLead && FillNextSlot()) {
    }
}

// Fills the next display slot: the previous picture again while the last decoded frame
// lasts, otherwise the next frame. False when nothing could be filled: every frame is
// decoded (the timer then stops once the sound is delivered too), or the sound stored
// before the next frame has no room until the device takes more.
bool CTovrinDoc::FillNextSlot() {
    const uint32_t filled = SlotsFilled.load();
    const uint32_t s = filled % kRingSize;
    if (RemainingTicks > 0) {
        DisplayRing[s].store(DisplayRing[(s + kRingSize - 1) % kRingSize].load());
    } else {
        if (FramesDecoded == VideoFrameCount) {
            if (soundDelivered_.load()) {
                KillTimer();
            }
            return false;
        }
        if (!Reader_.NextFrameFits()) {
            return false;
        }
        uint8_t* target = DecodeTarget();
        RemainingTicks = Reader_.DecodeNextFrame(target);
        decoding_.store(nullptr);
        DisplayRing[s].store(target);
        ++FramesDecoded;
    }
    RemainingTicks -= static_cast<int64_t>(PeriodTicks);
    SlotsFilled.store(filled + 1);
    return true;
}

// The pool picture the next frame is decoded into: the next in turn, but never the one on
// screen (a main thread held up by a menu or a dialog can still show a picture the turn
// has come round to). The target is announced before the test, and the main thread tests
// the announcement after it sets a new picture, so one of the two always sees the other.
uint8_t* CTovrinDoc::DecodeTarget() {
    for (;;) {
        uint8_t* target = FramePool[nextPicture_];
        nextPicture_ = (nextPicture_ + 1) % kPoolSize;
        decoding_.store(target);
        if (CurrentFrame_.load() != target) {
            return target;
        }
    }
}

// Hands every chunk that is ready to the free headers, lowest index first. One chunk a
// tick would starve the device whenever chunks are shorter than a display period.
void CTovrinDoc::FeedSound() {
    if (audio_.Feed(Reader_) && FramesDecoded == VideoFrameCount && !Reader_.HasSoundLeft()) {
        soundDelivered_ = true;
    }
}

// --- The main thread's idle step ------------------------------------------------------------

bool CTovrinDoc::IdleStep(bool frameworkAnswer) {
    switch (State()) {
        case PlayState::kPlaying:
            WatchSoundDevice();
            return IdlePlaying(true);
        case PlayState::kPaused:
            WatchSoundDevice();
            // Nothing moves until the next command, but a picture sought may still come.
            return AwaitPicture() || frameworkAnswer;
        case PlayState::kLoaded:
            if (AwaitPicture()) {
                return true;
            }
            if (AutoPlay) {
                Play();
                return true;
            }
            return frameworkAnswer;
        case PlayState::kFinished:
        case PlayState::kNoMovie:
            if (AwaitPicture()) {
                return true;
            }
            if (!PlayQueue.empty()) {
                AdvanceQueue();
                return true;
            }
            // The queue has ended, however it ended: the last movie played out, or the last
            // name could not be opened.
            if (CloseAtEnd && (IsOpen() || queueTaken_)) {
                CloseAtEnd = false;
                CloseMovie();
                shell_.CloseMainWindow();
            }
            return frameworkAnswer;
    }
    return frameworkAnswer;
}

// While a sought picture is run up with the clock stopped: shows it once it is ready; true
// while it is still coming.
bool CTovrinDoc::AwaitPicture() {
    if (!awaitingPicture_) {
        return false;
    }
    if (runUpPending_.load()) {
        return true;
    }
    awaitingPicture_ = false;
    ShowPosition(firstSlot_, awaitedMs_);
    return false;
}

void CTovrinDoc::IdleWhileModal() {
    if (State() == PlayState::kPlaying) {
        IdlePlaying(false);
    }
}

bool CTovrinDoc::IdlePlaying(bool mayEnd) {
    FollowSound();
    const uint32_t elapsed = Elapsed();
    UpdateElapsedPane(elapsed);
    const uint32_t slot = SlotAt(elapsed);
    if (slot < PeriodCount) {
        ShowSlot(slot, elapsed);
        return true;
    }
    // The end of the movie, once its sound has played out.
    if (!mayEnd || (SoundStillPlaying() &&
                    static_cast<double>(elapsed) < DueMs(PeriodCount) + kSoundDrainLimitMs)) {
        return true;
    }
    EndOfMovie();
    return true;
}

// The elapsed pane shows whole seconds; in full screen it lies off the screen and is left
// alone, so it catches up on the first step after full screen ends.
void CTovrinDoc::UpdateElapsedPane(uint32_t elapsed) {
    const uint32_t sec = elapsed / 1000;
    if (sec != LastShownSecond && !(view_ != nullptr && view_->IsFullScreen())) {
        shell_.SetPaneText(1, TimeText(sec));
        LastShownSecond = sec;
    }
}

uint32_t CTovrinDoc::IdleWaitMs() {
    constexpr uint32_t kAwaitPollMs = 10;
    if (State() != PlayState::kPlaying) {
        return awaitingPicture_ ? kAwaitPollMs : 1;
    }
    const uint32_t elapsed = Elapsed();
    if (static_cast<double>(elapsed) >= DueMs(PeriodCount)) {
        return 1;  // at the end: waiting for the last sound to play out
    }
    // Slot(e) = floor(e * rate) for the elapsed milliseconds e: find the first e at which
    // it moves past the current slot.
    const double rate = static_cast<double>(BaseFrequency) / PeriodTicks * kMsToSeconds;
    const double nextSlot = std::floor(static_cast<double>(elapsed) * rate) + 1;
    // Rounding may put the quotient a millisecond or two off; never walked further.
    double at = std::ceil(nextSlot / rate);
    for (int i = 0; i < 4 && at * rate < nextSlot; ++i) {
        at += 1;
    }
    for (int i = 0; i < 4 && at - 1 > elapsed && (at - 1) * rate >= nextSlot; ++i) {
        at -= 1;
    }
    const uint32_t wait = at - elapsed > 1000 ? 1000u : static_cast<uint32_t>(at - elapsed);
    const uint32_t toSecond = 1000 - elapsed % 1000;
    return std::max<uint32_t>(1, std::min(wait, toSecond));
}

// While the device can say what the listener hears, the clock is set to it, so that the
// picture shows what goes with the sound being heard: a device that starts late (a sound
// server waking its output), a pause, a seek or a gap in the sound never leaves the two
// apart, and no offset builds up. Without it the clock paces alone.
void CTovrinDoc::FollowSound() {
    uint32_t heard = 0;
    if (!audio_.HeardMs(heard)) {
        return;
    }
    const auto ahead = static_cast<int32_t>(Elapsed() - (soundStartMs_ + heard));
    if (ahead > kSyncToleranceMs || ahead < -kSyncToleranceMs) {
        StartTime = StartTime.load() + static_cast<uint32_t>(ahead);
    }
}

// The sound server went away, or came back: the movie goes on without sound, or its sound
// comes back in step, from where the picture is.
void CTovrinDoc::WatchSoundDevice() {
    if (audio_.DeviceLost()) {
        shell_.ReportNoSound("the sound server went away");
        soundProblemShown_ = true;  // its refusals while it is away are not said again
        Seek(PositionMs());
    } else if (audio_.DeviceBack()) {
        soundProblemShown_ = false;
        Seek(PositionMs());
        shell_.ReportSoundBack();
    }
}

// Shows the picture of a slot. A slot the tick has not filled yet (decoding slower than
// real time, gaps in the timestamps) shows the newest picture that is filled.
void CTovrinDoc::ShowSlot(uint32_t slot, uint32_t elapsed) {
    const uint32_t filled = SlotsFilled.load();
    if (filled == 0 || runUpPending_.load()) {
        return;  // the picture sought is not ready: the one shown stays
    }
    if (slot < lastSlotShown_) {
        return;  // the clock was set back to the sound: the picture waits for it
    }
    const bool ready = slot < filled;
    uint8_t* picture = DisplayRing[(ready ? slot : filled - 1) % kRingSize].load();
    uint8_t* shown = CurrentFrame_.load();
    if (picture != shown) {
        CurrentFrame_.store(picture);
        if (decoding_.load() == picture) {
            CurrentFrame_.store(shown);  // being decoded right now: show it next time
        } else {
            ++stats_.framesShown;
            Invalidate();
        }
    }
    if (slot != lastSlotShown_) {
        if (slot > lastSlotShown_ + 1) {
            stats_.lateSlots += slot - lastSlotShown_ - 1;  // never shown at all
        }
        const double late = static_cast<double>(elapsed) - DueMs(slot);
        if (!ready || late > DueMs(1)) {
            ++stats_.lateSlots;
        }
        if (late > stats_.worstLateMs) {
            stats_.worstLateMs = static_cast<uint32_t>(late);
        }
        lastSlotShown_ = slot;
    }
}

// --- The sound device ---------------------------------------------------------------------

// Opens the device for the movie's sound (the null device when it cannot play it, or the
// movie has none; why is reported once a movie).
void CTovrinDoc::OpenAudio() {
    std::string failure;
    audio_.Open(Reader_.GetAudioFormat(), failure);
    if (!failure.empty() && !soundProblemShown_) {
        soundProblemShown_ = true;
        shell_.ReportNoSound(failure);
    }
    soundDelivered_ = !audio_.HasBuffers();
}

void CTovrinDoc::CloseAudio() {
    audio_.Close();
}

bool CTovrinDoc::SoundStillPlaying() {
    return !soundDelivered_.load() || audio_.StillPlaying();
}

}  // namespace lunavue
