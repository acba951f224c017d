#include "playback/CTovrinDoc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "platform/MessageBox.h"
#include "platform/profile/Settings.h"

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
    std::fprintf(out, "sound chunks written: %u\nunderruns: %u\n", s.chunksWritten.load(),
                 underruns);
}

std::string CTovrinDoc::TimeText(uint32_t seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2d:%2d", static_cast<int>(seconds / 60),
                  static_cast<int>(seconds % 60));
    return buf;
}

CTovrinDoc::CTovrinDoc(DocumentPlatform platform, DocumentShell& shell)
    : platform_(platform), shell_(shell) {
    Loop = ReadSetting(settings::kLoop);
}

CTovrinDoc::~CTovrinDoc() {
    CloseMovie();
    WriteSetting(settings::kLoop, Loop);
}

void CTovrinDoc::Invalidate() {
    if (view_ != nullptr) {
        view_->Invalidate();
    }
}

bool CTovrinDoc::OpenMovie(const std::string& path) {
    if (!Reader_.Open(path)) {
        MovieOpen = false;
        return false;
    }
    Playing = false;
    PeriodTicks = static_cast<float>(Reader_.GetFramePeriodTicks());
    BaseFrequency = static_cast<float>(Reader_.GetBaseFrequency());
    // At least a millisecond: a timer of period 0 would spin its thread.
    const double delay = static_cast<double>(PeriodTicks) * 1000.0 / BaseFrequency;
    TimerDelayMs = delay < 1.0 ? 1u : (delay > 1e9 ? 1000000000u : static_cast<uint32_t>(delay));
    VideoFrameCount = Reader_.GetVideoFrameCount();
    PeriodCount = Reader_.GetTotalTicks() / static_cast<uint32_t>(PeriodTicks);
    SlotsFilled = 0;

    BITMAPINFOHEADER header{};
    Reader_.GetOutputFormat(&header);
    const size_t size = header.biSizeImage;
    try {
        pictureBlock_.assign(kPoolSize * size, 0);
    } catch (const std::bad_alloc&) {
        Reader_.Close();
        ShowErrorBox(messages::kNoMemory);
        return false;
    }
    for (int i = 0; i < kPoolSize; ++i) {
        FramePool[i] = pictureBlock_.data() + static_cast<size_t>(i) * size;
    }
    for (auto& slot : DisplayRing) {
        slot.store(FramePool[0]);
    }
    CurrentFrame_ = FramePool[0];
    Reader_.Rewind();
    Reader_.DecodeFirstFrame(FramePool[0]);  // the poster frame

    const double total = static_cast<double>(PeriodCount) * PeriodTicks / BaseFrequency;
    shell_.SetPaneText(2, TimeText(static_cast<uint32_t>(total)));

    AudioChunkCapacity = Reader_.GetAudioChunkCapacity();
    if (AudioChunkCapacity != 0) {
        try {
            audioBlock_.assign(static_cast<size_t>(AudioChunkCapacity) * kAudioBuffers, 0);
            for (int i = 0; i < kAudioBuffers; ++i) {
                AudioBuffers[i] = audioBlock_.data() + static_cast<size_t>(i) * AudioChunkCapacity;
            }
        } catch (const std::bad_alloc&) {
            ShowErrorBox(messages::kNoSoundMemory);
            AudioBuffers[0] = nullptr;
        }
    }

    shell_.AddToRecentFileList(path);
    const size_t slash = path.rfind('/');
    shell_.SetTitle(slash == std::string::npos ? path : path.substr(slash + 1));

    Finished = false;
    MovieOpen = true;
    lastSlotShown_ = 0;
    if (view_ != nullptr) {
        view_->SetPictureFormat(header);
        view_->ApplyWindowSize();
    }
    Invalidate();
    return true;
}

void CTovrinDoc::Play() {
    if (!MovieOpen) {
        return;
    }
    Paused = false;
    SlotsFilled = 0;
    FramesDecoded = 0;
    Reader_.Rewind();
    PrefillRing();
    OpenAudio();
    soundDelivered_ = !AudioOpen;
    if (AudioOpen) {
        FillAudio();
    }
    LastShownSecond = 0;
    lastSlotShown_ = 0;
    ++stats_.plays;
    StartTime = platform_.clock.NowMs();
    Playing = true;
    TimerId = platform_.timer.Set(TimerDelayMs, kTimerResolutionMs, [this] { OnTimerTick(); });
    if (view_ != nullptr) {
        view_->EnterFullScreen();
    }
}

// Fills the first ten display slots before the clock starts. A movie whose pictures cover
// fewer slots stops at its last picture.
void CTovrinDoc::PrefillRing() {
    const int32_t p = static_cast<int32_t>(PeriodTicks);
    while (FramesDecoded < VideoFrameCount) {
        uint8_t* picture = FramePool[FramesDecoded % kPoolSize];
        RemainingTicks = static_cast<int32_t>(Reader_.DecodeNextFrame(picture));
        uint32_t filled = SlotsFilled.load();
        DisplayRing[filled % kRingSize].store(picture);
        SlotsFilled = ++filled;
        ++FramesDecoded;
        RemainingTicks -= p;
        if (filled == kLead) {
            return;
        }
        while (RemainingTicks > 0) {
            DisplayRing[filled % kRingSize].store(DisplayRing[(filled - 1) % kRingSize].load());
            RemainingTicks -= p;
            SlotsFilled = ++filled;
            if (filled == kLead) {
                return;
            }
        }
    }
}

double CTovrinDoc::DueMs(double slot) const {
    return static_cast<double>(slot) * 1000.0 * PeriodTicks / BaseFrequency;
}

void CTovrinDoc::OnTimerTick() {
    if (Paused.load()) {
        return;
    }
    if (AudioOpen) {
        FillAudio();
    }
    // Slot n is filled once the clock has reached slot n - 10 (at once for the first ten,
    // which a movie shorter than ten display periods may not have filled at Play).
    const uint32_t elapsed = platform_.clock.NowMs() - StartTime.load();
    const double ahead = static_cast<double>(SlotsFilled.load()) - kLead;
    const double due = std::trunc(DueMs(ahead));
    if (static_cast<double>(elapsed) < due) {
        return;
    }
    DecodeIntoNextSlot();
}

// Fills the next display slot: the previous picture again while the last decoded frame
// lasts, otherwise the next frame; or nothing, when this tick has to wait.
void CTovrinDoc::DecodeIntoNextSlot() {
    const uint32_t filled = SlotsFilled.load();
    const uint32_t s = filled % kRingSize;
    if (RemainingTicks > 0) {
        DisplayRing[s].store(DisplayRing[(s + kRingSize - 1) % kRingSize].load());
    } else {
        if (FramesDecoded == VideoFrameCount) {
            // Every frame is decoded. Once the last sound chunk has been handed over too,
            // the timer stops; the clock and the sound go on.
            if (soundDelivered_.load()) {
                platform_.timer.Kill(TimerId.load());
            }
            return;
        }
        uint8_t* target = FramePool[FramesDecoded % kPoolSize];
        // Never decode into the picture on screen (a main thread held up by a dialog can
        // fall that far behind): announce the target, then make sure it is not shown.
        decoding_.store(target);
        if (CurrentFrame_.load() == target) {
            decoding_.store(nullptr);
            return;
        }
        RemainingTicks = static_cast<int32_t>(Reader_.DecodeNextFrame(target));
        decoding_.store(nullptr);
        DisplayRing[s].store(target);
        ++FramesDecoded;
    }
    RemainingTicks -= static_cast<int32_t>(PeriodTicks);
    SlotsFilled.store(filled + 1);
}

bool CTovrinDoc::IdleStep(bool frameworkAnswer) {
    if (Playing) {
        if (Paused.load()) {
            return true;
        }
        const uint32_t elapsed = platform_.clock.NowMs() - StartTime.load();
        const uint32_t sec = elapsed / 1000;
        if (sec != LastShownSecond && !(view_ != nullptr && view_->IsFullScreen())) {
            shell_.SetPaneText(1, TimeText(sec));
            LastShownSecond = sec;
        }
        const double exact =
            (static_cast<double>(elapsed) * BaseFrequency / PeriodTicks) * kMsToSeconds;
        const uint32_t slot = exact >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(exact);
        if (slot < PeriodCount) {
            ShowSlot(slot, elapsed);
            return true;
        }
        // The end of the movie, once its sound has played out.
        if (SoundStillPlaying() &&
            static_cast<double>(elapsed) < DueMs(PeriodCount) + kSoundDrainLimitMs) {
            return true;
        }
        Stop();
        if (Loop != 0) {
            Play();
        } else {
            Finished = true;
        }
        return true;
    }

    if (MovieOpen && !Finished) {
        if (AutoPlay) {
            Play();
            return true;
        }
        return frameworkAnswer;
    }
    if (MovieOpen && Finished) {
        if (!PlayQueue.empty()) {
            CloseMovie();
            const std::string name = PlayQueue.front();
            OpenMovie(name);
            PlayQueue.pop_front();
            return true;
        }
        if (CloseAtEnd) {
            CloseMovie();
            shell_.CloseMainWindow();
        }
        return frameworkAnswer;
    }
    if (PlayQueue.empty()) {
        return frameworkAnswer;
    }
    const std::string name = PlayQueue.front();
    OpenMovie(name);
    PlayQueue.pop_front();
    return true;
}

uint32_t CTovrinDoc::IdleWaitMs() {
    if (!Playing || Paused.load()) {
        return 1;
    }
    const uint32_t elapsed = platform_.clock.NowMs() - StartTime.load();
    if (static_cast<double>(elapsed) >= DueMs(PeriodCount)) {
        return 1;  // at the end: waiting for the last sound to play out
    }
    // Slot(e) = floor(e * rate) for the elapsed milliseconds e: find the first e at which
    // it moves past the current slot.
    const double rate = static_cast<double>(BaseFrequency) / PeriodTicks * kMsToSeconds;
    const double nextSlot = std::floor(static_cast<double>(elapsed) * rate) + 1;
    double at = std::ceil(nextSlot / rate);
    while (at * rate < nextSlot) {
        at += 1;
    }
    while (at - 1 > elapsed && (at - 1) * rate >= nextSlot) {
        at -= 1;
    }
    const uint32_t wait = at - elapsed > 1000 ? 1000u : static_cast<uint32_t>(at - elapsed);
    const uint32_t toSecond = 1000 - elapsed % 1000;
    return std::max<uint32_t>(1, std::min(wait, toSecond));
}

// Shows the picture of a slot. A slot the tick has not filled yet (decoding slower than
// real time, gaps in the timestamps) shows the newest picture that is filled.
void CTovrinDoc::ShowSlot(uint32_t slot, uint32_t elapsed) {
    const uint32_t filled = SlotsFilled.load();
    if (filled == 0) {
        return;
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
        const double period = DueMs(1);
        if (!ready || late > period) {
            ++stats_.lateSlots;
        }
        if (late > stats_.worstLateMs) {
            stats_.worstLateMs = static_cast<uint32_t>(late);
        }
        lastSlotShown_ = slot;
    }
}

bool CTovrinDoc::SoundStillPlaying() const {
    if (!AudioOpen) {
        return false;
    }
    if (!soundDelivered_.load()) {
        return true;
    }
    for (const auto& h : AudioHeaders) {
        if ((h.dwFlags.load() & mm::WHDR_DONE) == 0) {
            return true;
        }
    }
    return false;
}

void CTovrinDoc::Stop() {
    if (const uint32_t id = TimerId.load(); id != 0) {
        platform_.timer.Kill(id);
        TimerId = 0;
    }
    Playing = false;
    SlotsFilled = 0;
    FramesDecoded = 0;
    CloseAudio();
    if (view_ != nullptr) {
        view_->LeaveFullScreen();
    }
    if (FramePool[0] != nullptr) {
        Reader_.Rewind();
        Reader_.DecodeFirstFrame(FramePool[0]);
        CurrentFrame_ = FramePool[0];
        Invalidate();
    }
    shell_.SetPaneText(1, kTimeReset);
    if (!PlayQueue.empty()) {
        CloseMovie();
    }
}

void CTovrinDoc::OnStop() {
    Finished = true;
    CloseAtEnd = false;
    if (MovieOpen) {
        Stop();
    }
}

void CTovrinDoc::OnPause() {
    if (!Playing) {
        return;
    }
    if (!Paused.load()) {
        Paused = true;
        PauseStart = platform_.clock.NowMs();
        if (AudioOpen) {
            platform_.waveOut.Pause();
        }
    } else {
        // The clock leaves out the paused time and resumes at the slot where it stopped.
        StartTime = StartTime.load() + (platform_.clock.NowMs() - PauseStart);
        Paused = false;
        if (AudioOpen) {
            platform_.waveOut.Restart();
        }
    }
}

void CTovrinDoc::CloseMovie() {
    if (const uint32_t id = TimerId.load(); id != 0) {
        platform_.timer.Kill(id);
        TimerId = 0;
    }
    if (Playing) {
        CloseAudio();
    }
    Reader_.Close();
    if (view_ != nullptr) {
        view_->ReleaseRenderer();
    }
    pictureBlock_ = {};
    audioBlock_ = {};
    for (int i = 0; i < kPoolSize; ++i) {
        FramePool[i] = nullptr;
    }
    for (auto& b : AudioBuffers) {
        b = nullptr;
    }
    CurrentFrame_ = nullptr;  // the pictures are gone; the view paints nothing now
    MovieOpen = false;
}

void CTovrinDoc::OpenAudio() {
    if (AudioBuffers[0] == nullptr) {
        return;  // the movie plays silently
    }
    if (!platform_.waveOut.Open(Reader_.GetAudioFormat())) {
        return;  // no device: silent playback, no message
    }
    for (int i = 0; i < kAudioBuffers; ++i) {
        mm::WaveHeader& h = AudioHeaders[i];
        h.lpData = AudioBuffers[i];
        h.dwBufferLength = AudioChunkCapacity;
        h.dwBytesRecorded = 0;
        h.dwUser = static_cast<uintptr_t>(i);
        h.dwFlags = 0;
        h.dwLoops = 0;
        platform_.waveOut.Prepare(h);
        h.dwFlags |= mm::WHDR_DONE;  // prepared and not written: free
    }
    AudioOpen = true;
}

// Hands every chunk that is ready to the free headers, lowest index first. One chunk a
// tick would starve the device whenever chunks are shorter than a display period.
void CTovrinDoc::FillAudio() {
    for (int i = 0; i < kAudioBuffers; ++i) {
        mm::WaveHeader& h = AudioHeaders[i];
        if ((h.dwFlags.load() & mm::WHDR_DONE) == 0) {
            continue;
        }
        const uint32_t n = Reader_.NextAudioChunk(AudioBuffers[i]);
        if (n == 0) {
            if (FramesDecoded == VideoFrameCount && !Reader_.HasSoundLeft()) {
                soundDelivered_ = true;
            }
            return;
        }
        h.dwBufferLength = n;
        platform_.waveOut.Write(h);
        stats_.chunksWritten.fetch_add(1, std::memory_order_relaxed);
    }
}

void CTovrinDoc::CloseAudio() {
    if (!AudioOpen) {
        return;
    }
    platform_.waveOut.Reset();
    for (auto& h : AudioHeaders) {
        platform_.waveOut.Unprepare(h);
    }
    platform_.waveOut.Close();
    AudioOpen = false;
}

}  // namespace lunavue
