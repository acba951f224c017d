#include "playback/CTovrinDoc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lunavue {
namespace {

constexpr const char* kTimeReset = " 0: 0";

}  // namespace

void PrintPlaybackStats(FILE* out, const PlaybackStats& s, uint32_t underruns) {
    std::fprintf(out, "passes: %u\nframes shown: %u\nlate slots: %u\nworst lateness: %u ms\n",
                 s.plays, s.framesShown, s.lateSlots, s.worstLateMs);
    std::fprintf(out, "sound chunks written: %u\nunderruns: %u\ndamaged frames: %u\n",
                 s.chunksWritten, underruns, s.damagedFrames);
}

PlayState After(PlayState state, PlayEvent event) {
    switch (event) {
        case PlayEvent::kOpened:
            return PlayState::kLoaded;
        case PlayEvent::kPlay:
            return state == PlayState::kLoaded || state == PlayState::kFinished
                       ? PlayState::kPlaying
                       : state;
        case PlayEvent::kPause:
            return state == PlayState::kPlaying ? PlayState::kPaused : state;
        case PlayEvent::kResume:
            return state == PlayState::kPaused ? PlayState::kPlaying : state;
        case PlayEvent::kStop:
            return state == PlayState::kNoMovie ? state : PlayState::kFinished;
        case PlayEvent::kClosed:
            return PlayState::kNoMovie;
    }
    return state;
}

CTovrinDoc::CTovrinDoc(DocumentPlatform platform, DocumentShell& shell)
    : platform_(platform), shell_(shell), audio_(platform.waveOut, platform.clock) {
    Loop = platform_.settings.Read(settings::kLoop);
}

CTovrinDoc::~CTovrinDoc() {
    CloseMovie();
    platform_.settings.Write(settings::kLoop, Loop);
}

void CTovrinDoc::Enter(PlayEvent event) {
    const PlayState before = State();
    const PlayState after = After(before, event);
    state_ = after;
    if (after != before && observer_ != nullptr) {
        observer_->StateChanged(after);
    }
}

const MovieClock& CTovrinDoc::Clock() const {
    static const MovieClock kNoMovie;
    return session_ ? session_->Clock() : kNoMovie;
}

PlaybackStats CTovrinDoc::Stats() const {
    PlaybackStats s = stats_;
    s.chunksWritten = audio_.ChunksWritten();
    s.damagedFrames = damagedBefore_ + Reader_.GetDamagedFrames();
    return s;
}

std::string CTovrinDoc::PositionText() {
    return ClockTime(PositionMs()) + " / " + ClockTime(DurationMs());
}

void CTovrinDoc::OnLoop() {
    Loop = Loop == 0 ? 1 : 0;
    if (observer_ != nullptr) {
        observer_->LoopChanged(Loop != 0);
    }
}

void CTovrinDoc::SetRepeatMovie(bool on) {
    if (on != repeatMovie_) {
        repeatMovie_ = on;
        if (observer_ != nullptr) {
            observer_->LoopChanged(Loop != 0);
        }
    }
}

void CTovrinDoc::SetVolume(int percent) {
    platform_.waveOut.SetVolume(percent);
    if (observer_ != nullptr) {
        observer_->VolumeChanged(percent);
    }
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
        shell_.Notify({EngineNotice::Kind::kRefused, path, status, {}});
        return false;
    }
    BITMAPINFOHEADER header{};
    Reader_.GetOutputFormat(&header);
    MovieClock clock;
    std::unique_ptr<PlaybackSession> session;
    if (MovieClock::Make(Reader_, clock)) {
        session = std::make_unique<PlaybackSession>(Reader_, std::move(clock));
    }
    if (!session || !session->AllocatePictures(header.biSizeImage)) {
        Reader_.Close();
        shell_.Notify({EngineNotice::Kind::kNoMemory, path, {}, {}});
        return false;
    }
    session_ = std::move(session);
    Reader_.Rewind();
    ShowPoster();
    shell_.SetPaneText(2, PaneTime(session_->Clock().TotalSeconds()));
    SetUpSound();

    shell_.AddToRecentFileList(path);
    const size_t slash = path.rfind('/');
    const std::string title = slash == std::string::npos ? path : path.substr(slash + 1);
    shell_.SetTitle(title);
    platform_.waveOut.SetTitle(title);

    Enter(PlayEvent::kOpened);
    if (view_ != nullptr) {
        view_->SetPictureFormat(header);
        view_->ApplyWindowSize();
    }
    Invalidate();
    moviePath_ = path;
    if (observer_ != nullptr) {
        observer_->MovieOpened();
    }
    ResumeWhereLeft();
    return true;
}

// A movie left midway last time opens where it was left, and says so.
void CTovrinDoc::ResumeWhereLeft() {
    std::optional<uint32_t> ms;
    if (auto it = interruptedAt_.find(moviePath_); it != interruptedAt_.end()) {
        ms = it->second;
        interruptedAt_.erase(it);
    } else if (resume_ != nullptr) {
        ms = resume_->Find(moviePath_);
    }
    if (!ms || *ms >= DurationMs()) {
        return;
    }
    Seek(*ms);
    shell_.Notify({EngineNotice::Kind::kResumed, moviePath_, {}, ClockTime(*ms)});
}

// The sound buffers; without them the movie plays silently, after a message.
void CTovrinDoc::SetUpSound() {
    const uint32_t capacity = Reader_.GetAudioChunkCapacity();
    if (capacity != 0 && !audio_.Allocate(capacity)) {
        shell_.Notify({EngineNotice::Kind::kNoSoundMemory, {}, {}, {}});
    }
}

void CTovrinDoc::CloseMovie() {
    if (resume_ != nullptr && session_ != nullptr) {
        resume_->Leave(moviePath_, PositionMs(), DurationMs());
    }
    if (!moviePath_.empty() && !goingBack_) {
        history_.push_back(moviePath_);
        if (history_.size() > kHistory) {
            history_.pop_front();
        }
    }
    moviePath_.clear();
    repeatStart_.reset();
    repeatEnd_.reset();
    KillTimer();
    CloseAudio();
    damagedBefore_ += Reader_.GetDamagedFrames();
    Reader_.Close();
    if (view_ != nullptr) {
        view_->ReleaseRenderer();
    }
    audio_.Release();
    const bool wasOpen = session_ != nullptr;
    session_.reset();  // the pictures are gone; the view paints nothing now
    Enter(PlayEvent::kClosed);
    if (wasOpen && observer_ != nullptr) {
        observer_->MovieClosed();
    }
}

// The first frame, shown while the movie is loaded and not playing.
void CTovrinDoc::ShowPoster() {
    session_->ShowPoster();
    Invalidate();
}

// --- Starting and stopping ------------------------------------------------------------

void CTovrinDoc::Play() {
    if (!IsOpen() || IsPlaying()) {
        return;
    }
    KillTimer();  // a stopped movie's seek may still be running up
    ++stats_.plays;
    Start(session_->startMs, PlayState::kPlaying);
    session_->startMs = 0;
    if (view_ != nullptr) {
        view_->EnterFullScreen();
    }
}

// Starts the clock at ms (playing, or paused there): the pictures from its slot on, the
// sound from its sample on, then the timer.
void CTovrinDoc::Start(uint32_t ms, PlayState as) {
    const uint32_t slot = session_->Clock().SlotAt(ms);
    session_->PositionAt(slot, ms);
    StartSound(as);
    session_->soundStartMs = ms;
    session_->lastShownSecond = ms / 1000;
    session_->lastSlotShown = slot;
    const uint32_t now = platform_.clock.NowMs();
    PauseStart = now;
    StartTime = now - WallMs(ms);
    Enter(as == PlayState::kPaused ? PlayEvent::kPause : PlayEvent::kPlay);
    // Paused, nothing is due but a seek's run-up: the rest starts when the clock resumes.
    if (as == PlayState::kPlaying || session_->RunUpPending()) {
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
    soundDelivered_ = !audio_.HasBuffers();
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
    session_->startMs = 0;
    session_->awaitedMs.reset();
    Enter(PlayEvent::kStop);
    if (view_ != nullptr) {
        view_->LeaveFullScreen();
    }
    Reader_.Rewind();
    ShowPoster();
    shell_.SetPaneText(1, kTimeReset);
    if (observer_ != nullptr) {
        observer_->PositionChanged(0);
        observer_->PositionJumped(0);
    }
}

void CTovrinDoc::OnStop() {
    CloseAtEnd = false;
    if (IsOpen()) {
        Stop();
    }
}

// The end of the movie: it plays again when repeated, or when looping with nothing else
// queued.
void CTovrinDoc::EndOfMovie() {
    Stop();
    if (repeatMovie_ || (Loop != 0 && PlayQueue_.Empty())) {
        Play();
    }
}

void CTovrinDoc::OnPause() {
    switch (State()) {
        case PlayState::kPlaying:
            PauseStart = platform_.clock.NowMs();
            Enter(PlayEvent::kPause);
            PauseClock();
            break;
        case PlayState::kPaused:
            // The clock leaves out the paused time and resumes at the slot where it stopped.
            StartTime = StartTime.load() + (platform_.clock.NowMs() - PauseStart);
            Enter(PlayEvent::kResume);
            ResumeClock();
            break;
        default:
            break;
    }
}

// While paused nothing is due, so the timer stops (a paused player does no periodic work);
// it starts again at the resume unless the movie's last picture and sound are handed over.
void CTovrinDoc::PauseClock() {
    KillTimer();
    audio_.Pause();
}

void CTovrinDoc::ResumeClock() {
    audio_.Resume();
    if (!(session_->AllDecoded() && soundDelivered_.load())) {
        StartTimer();
    }
}

// Faster than 1x the slots come sooner, and the timer with them.
void CTovrinDoc::StartTimer() {
    const uint32_t period = session_->Clock().TimerDelayMs();
    const uint32_t speed = speedPermille_.load();
    const uint32_t delay = speed > 1000 ? std::max<uint32_t>(1, period * 1000 / speed) : period;
    TimerId = platform_.timer.Set(delay, [this] { OnTimerTick(); });
}

// Stops the timer and waits for a tick in progress; from inside a tick it only stops it.
void CTovrinDoc::KillTimer() {
    if (const uint32_t id = TimerId.exchange(0); id != 0) {
        platform_.timer.Kill(id);
    }
}

// The movie's time: the clock's milliseconds since StartTime, at the speed chosen.
uint32_t CTovrinDoc::Elapsed() {
    return MovieMs(platform_.clock.NowMs() - StartTime.load());
}

uint32_t CTovrinDoc::MovieMs(uint32_t wallMs) const {
    const uint32_t speed = speedPermille_.load();
    return speed == 1000 ? wallMs : static_cast<uint32_t>(uint64_t{wallMs} * speed / 1000);
}

uint32_t CTovrinDoc::WallMs(uint32_t movieMs) const {
    const uint32_t speed = speedPermille_.load();
    return speed == 1000 ? movieMs : static_cast<uint32_t>(uint64_t{movieMs} * 1000 / speed);
}

// Faster or slower, at the sound's own pitch: from the place the movie is at now (the
// sound starts again there); a movie opened later plays at it too.
void CTovrinDoc::SetSpeed(uint32_t permille) {
    permille = std::clamp(permille, kSlowest, kFastest);
    if (permille == speedPermille_.load()) {
        return;
    }
    const bool open = IsOpen();
    const uint32_t ms = open ? PositionMs() : 0;
    KillTimer();
    speedPermille_ = permille;
    audio_.SetTempo(permille / 1000.0);
    if (open && IsPlaying()) {
        Seek(ms);
    }
}

// --- The timer thread -------------------------------------------------------------------

void CTovrinDoc::OnTimerTick() {
    if (session_->RunUpPending() && !RunUp()) {
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
    const MovieClock& clock = session_->Clock();
    for (uint32_t n = 0; n < kMaxSlotsPerTick; ++n) {
        const double ahead = static_cast<double>(session_->SlotsFilled()) - kLead;
        if (static_cast<double>(elapsed) < std::trunc(clock.DueMs(ahead)) || !FillNextSlot()) {
            break;
        }
        FeedSound();  // the sound goes first: a slow decode never starves the device
    }
}

// The next slot; once every frame is decoded and every sound chunk handed over, the timer
// has nothing left to do and stops.
bool CTovrinDoc::FillNextSlot() {
    if (session_->FillNextSlot()) {
        return true;
    }
    if (session_->AllDecoded() && soundDelivered_.load()) {
        KillTimer();
    }
    return false;
}

// A seek's run-up, a slice at a time with the sound fed in between; then the first slot
// and the lead. True once it is done.
bool CTovrinDoc::RunUp() {
    const uint32_t started = platform_.clock.NowMs();
    while (session_->RunUpFrame()) {
        FeedSound();
        if (platform_.clock.NowMs() - started >= kRunUpSliceMs) {
            return false;
        }
    }
    session_->FinishRunUp();
    return true;
}

// Hands every chunk that is ready to the free buffers, lowest index first. One chunk a
// tick would starve the device whenever chunks are shorter than a display period.
void CTovrinDoc::FeedSound() {
    if (audio_.Feed(Reader_) && session_->AllDecoded() && !Reader_.HasSoundLeft()) {
        soundDelivered_ = true;
    }
}

// L: sets A at the position, then B, then clears both. A B at or before A is taken as
// nothing (B again).
CTovrinDoc::Repeat CTovrinDoc::MarkRepeat() {
    if (!IsOpen()) {
        return Repeat::kOff;
    }
    const uint32_t ms = PositionMs();
    if (!repeatStart_) {
        repeatStart_ = ms;
        return Repeat::kStartSet;
    }
    if (!repeatEnd_) {
        if (ms <= *repeatStart_) {
            return Repeat::kStartSet;
        }
        repeatEnd_ = ms;
        return Repeat::kRepeating;
    }
    repeatStart_.reset();
    repeatEnd_.reset();
    return Repeat::kOff;
}

// --- The main thread's idle step ------------------------------------------------------------

bool CTovrinDoc::IdleStep(bool frameworkAnswer) {
    switch (State()) {
        case PlayState::kPlaying:
            WatchSoundDevice();
            if (repeatEnd_ && PositionMs() >= *repeatEnd_) {
                Seek(repeatStart_.value_or(0));  // A-B: back to A
                return true;
            }
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
            if (!PlayQueue_.Empty()) {
                AdvanceQueue();
                return true;
            }
            // The queue has ended, however it ended: the last movie played out, or the last
            // name could not be opened.
            if (CloseAtEnd && (IsOpen() || PlayQueue_.EverTaken())) {
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
    if (!session_ || !session_->awaitedMs) {
        return false;
    }
    if (session_->RunUpPending()) {
        return true;
    }
    const uint32_t ms = *session_->awaitedMs;
    session_->awaitedMs.reset();
    ShowPosition(session_->firstSlot, ms);
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
    const MovieClock& clock = session_->Clock();
    const uint32_t slot = clock.SlotAt(elapsed);
    // The picture and its announcement first, the pane after: the pane's immediate redraw
    // then also draws whatever the announcement changed, in one pass.
    if (slot < clock.PeriodCount()) {
        ShowSlot(slot, elapsed);
        UpdateElapsedPane(elapsed);
        return true;
    }
    UpdateElapsedPane(elapsed);
    // The end of the movie, once its sound has played out.
    if (!mayEnd ||
        (SoundStillPlaying() &&
         static_cast<double>(elapsed) < clock.DueMs(clock.PeriodCount()) + kSoundDrainLimitMs)) {
        return true;
    }
    EndOfMovie();
    return true;
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
    // What has been heard is the device's time: faster or slower, more or less of the movie.
    const auto ahead = static_cast<int32_t>(Elapsed() - (session_->soundStartMs + MovieMs(heard)));
    if (ahead > kSyncToleranceMs || ahead < -kSyncToleranceMs) {
        const auto wall = static_cast<int32_t>(static_cast<int64_t>(ahead) * 1000 /
                                               static_cast<int64_t>(speedPermille_.load()));
        StartTime = StartTime.load() + static_cast<uint32_t>(wall);
    }
}

// The sound server went away, or came back: the movie goes on without sound, or its sound
// comes back in step, from where the picture is.
void CTovrinDoc::WatchSoundDevice() {
    if (audio_.DeviceLost()) {
        shell_.Notify({EngineNotice::Kind::kSoundLost, {}, {}, "the sound server went away"});
        session_->soundProblemSaid = true;  // its refusals while it is away are not said again
        Seek(PositionMs());
    } else if (audio_.DeviceBack()) {
        session_->soundProblemSaid = false;
        Seek(PositionMs());
        shell_.Notify({EngineNotice::Kind::kSoundBack, {}, {}, {}});
    }
}

// The elapsed pane shows whole seconds; in full screen it lies off the screen and is left
// alone, so it catches up on the first step after full screen ends.
void CTovrinDoc::UpdateElapsedPane(uint32_t elapsed) {
    const uint32_t sec = elapsed / 1000;
    if (sec != session_->lastShownSecond && !(view_ != nullptr && view_->IsFullScreen())) {
        shell_.SetPaneText(1, PaneTime(sec));
        session_->lastShownSecond = sec;
    }
}

uint32_t CTovrinDoc::IdleWaitMs() {
    constexpr uint32_t kAwaitPollMs = 10;
    if (State() != PlayState::kPlaying) {
        return session_ && session_->awaitedMs ? kAwaitPollMs : 1;
    }
    const uint32_t elapsed = Elapsed();
    const MovieClock& clock = session_->Clock();
    if (static_cast<double>(elapsed) >= clock.DueMs(clock.PeriodCount())) {
        return 1;  // at the end: waiting for the last sound to play out
    }
    return std::min(clock.MsToNextSlot(elapsed), 1000 - elapsed % 1000);
}

// Shows the picture of a slot. A slot the tick has not filled yet (decoding slower than
// real time, gaps in the timestamps) shows the newest picture that is filled.
void CTovrinDoc::ShowSlot(uint32_t slot, uint32_t elapsed) {
    uint8_t* picture = session_->PictureFor(slot);
    if (picture == nullptr) {
        return;  // the picture sought is not ready: the one shown stays
    }
    if (slot < session_->lastSlotShown) {
        return;  // the clock was set back to the sound: the picture waits for it
    }
    if (picture != session_->Shown()) {
        if (session_->Show(picture)) {
            ++stats_.framesShown;
            Invalidate();
        }  // else being decoded right now: shown next time
    }
    if (slot != session_->lastSlotShown) {
        CountLateness(slot, elapsed, slot < session_->SlotsFilled());
        session_->lastSlotShown = slot;
        if (observer_ != nullptr) {
            observer_->PositionChanged(std::min(elapsed, DurationMs()));
        }
    }
}

void CTovrinDoc::CountLateness(uint32_t slot, uint32_t elapsed, bool ready) {
    const MovieClock& clock = session_->Clock();
    if (slot > session_->lastSlotShown + 1) {
        stats_.lateSlots += slot - session_->lastSlotShown - 1;  // never shown at all
    }
    const double late = static_cast<double>(elapsed) - clock.DueMs(slot);
    if (!ready || late > clock.DueMs(1)) {
        ++stats_.lateSlots;
    }
    if (late > stats_.worstLateMs) {
        stats_.worstLateMs = static_cast<uint32_t>(late);
    }
}

// --- The sound device ---------------------------------------------------------------------

// Opens the device for the movie's sound (the null device when it cannot play it, or the
// movie has none; why is said once a movie).
void CTovrinDoc::OpenAudio() {
    std::string failure;
    audio_.Open(Reader_.GetAudioFormat(), failure);
    if (!failure.empty() && !session_->soundProblemSaid) {
        session_->soundProblemSaid = true;
        shell_.Notify({EngineNotice::Kind::kNoSound, {}, {}, failure});
    }
}

void CTovrinDoc::CloseAudio() {
    audio_.Close();
}

bool CTovrinDoc::SoundStillPlaying() {
    return !soundDelivered_.load() || audio_.StillPlaying();
}

}  // namespace lunavue
