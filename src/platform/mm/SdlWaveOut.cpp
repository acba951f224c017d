#include "platform/mm/SdlWaveOut.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/mm/Pcm.h"

namespace lunavue::mm {

SdlWaveOut::~SdlWaveOut() {
    Close();
}

bool SdlWaveOut::Open(const WAVEFORMATEX& format, std::string& reason) {
    Close();
    if (!PlayableFormat(format, reason)) {
        return false;
    }
    // Only the sound is SDL's: the program's signals (SIGTERM, SIGINT) stay its own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        reason = std::string("no sound system: ") + SDL_GetError();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = format.wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8;
    want.channels = static_cast<Uint8>(format.nChannels);
    // About 46 ms of sound a callback at any rate: the picture follows what has been heard
    // (HeardMs), so a longer buffer costs no sync, and the sound thread wakes less often.
    want.samples = static_cast<Uint16>(std::clamp(
        1 << static_cast<int>(std::lround(std::log2(format.nSamplesPerSec / 21.5))), 256, 8192));
    want.callback = &SdlWaveOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // SDL converts if need be
    if (device_ == 0) {
        reason = std::string("the sound device cannot be opened: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    silence_ = have.silence;
    sixteenBits_ = have.format == AUDIO_S16LSB;
    bytesPerSecond_ = format.nAvgBytesPerSec;
    bufferMs_ =
        have.freq > 0 ? static_cast<uint32_t>(uint64_t{have.samples} * 1000 / have.freq) : 0;
    // A real device holds a buffer of its own before it plays what a callback hands it; the
    // dummy and disk drivers take it as it comes.
    const char* driver = SDL_GetCurrentAudioDriver();
    const bool real =
        driver != nullptr && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "disk") != 0;
    deviceLagMs_ = real ? bufferMs_ : 0;
    handedBytes_ = 0;
    heardBaseMs_ = 0;
    paused_ = false;
    started_ = false;
    head_ = 0;
    count_ = 0;
    offset_ = 0;
    queuedBytes_ = 0;
    lastSoundMs_ = 0;
    dry_ = false;
    played_ = 0;
    return true;
}

void SdlWaveOut::Write(const uint8_t* data, uint32_t len) {
    if (device_ == 0) {
        return;
    }
    SDL_LockAudioDevice(device_);
    if (count_ < kMaxQueued) {
        queue_[(head_ + count_) % kMaxQueued] = {data, len};
        ++count_;
        queuedBytes_ += len;
        if (dry_) {
            ++underruns_;
            dry_ = false;
        }
        // The device starts playing with the first buffer written, in the same step as the
        // test for a pause, so that a Pause cannot slip in between.
        if (!started_) {
            started_ = true;
            if (!paused_) {
                SDL_PauseAudioDevice(device_, 0);
            }
        }
    }
    SDL_UnlockAudioDevice(device_);
}

int SdlWaveOut::Space() {
    if (device_ == 0) {
        return 0;
    }
    SDL_LockAudioDevice(device_);
    const int space = kMaxQueued - count_;
    SDL_UnlockAudioDevice(device_);
    return space;
}

// What waits in the queue, and what the last callback handed SDL: the device plays that
// after the buffer it is playing, so it is heard within one buffer and its own length.
uint32_t SdlWaveOut::DelayMs() {
    if (device_ == 0) {
        return 0;
    }
    SDL_LockAudioDevice(device_);
    const uint64_t queuedMs = bytesPerSecond_ != 0 ? queuedBytes_ * 1000 / bytesPerSecond_ : 0;
    const int64_t heldMs = lastSoundMs_ == 0 ? 0
                                             : int64_t{lastFillMs_} + bufferMs_ + lastSoundMs_ -
                                                   int64_t{SDL_GetTicks()};
    SDL_UnlockAudioDevice(device_);
    return static_cast<uint32_t>(std::min<uint64_t>(
        queuedMs + static_cast<uint64_t>(std::max<int64_t>(0, heldMs)), UINT32_MAX));
}

void SdlWaveOut::Pause() {
    if (device_ == 0) {
        return;
    }
    SDL_LockAudioDevice(device_);
    paused_ = true;
    SDL_PauseAudioDevice(device_, 1);
    SDL_UnlockAudioDevice(device_);
}

void SdlWaveOut::Resume() {
    if (device_ == 0) {
        return;
    }
    SDL_LockAudioDevice(device_);
    paused_ = false;
    if (started_) {
        SDL_PauseAudioDevice(device_, 0);
    }
    SDL_UnlockAudioDevice(device_);
}

void SdlWaveOut::Reset() {
    if (device_ == 0) {
        return;
    }
    SDL_PauseAudioDevice(device_, 1);
    SDL_LockAudioDevice(device_);
    played_ += static_cast<uint64_t>(count_);
    head_ = 0;
    count_ = 0;
    offset_ = 0;
    queuedBytes_ = 0;
    lastSoundMs_ = 0;
    dry_ = false;
    started_ = false;
    handedBytes_ = 0;
    heardBaseMs_ = 0;
    SDL_UnlockAudioDevice(device_);
}

// What was handed to SDL before its last callback, and as much of that callback's sound as
// has played since (less what a real device holds first).
bool SdlWaveOut::HeardMs(uint32_t& ms) {
    if (device_ == 0) {
        return false;
    }
    SDL_LockAudioDevice(device_);
    const bool flowing = started_ && !paused_ && !dry_ && lastSoundMs_ != 0;
    if (flowing) {
        const int64_t since = int64_t{SDL_GetTicks()} - lastFillMs_;
        const int64_t heard =
            int64_t{heardBaseMs_} + std::clamp<int64_t>(since, 0, lastSoundMs_) - deviceLagMs_;
        ms = static_cast<uint32_t>(std::max<int64_t>(0, heard));
    }
    SDL_UnlockAudioDevice(device_);
    return flowing;
}

void SdlWaveOut::Close() {
    if (device_ == 0) {
        return;
    }
    Reset();
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlWaveOut::SetVolume(int percent) {
    volume_ = std::clamp(percent, 0, 100);
}

void SdlWaveOut::Callback(void* self, Uint8* stream, int len) {
    auto* out = static_cast<SdlWaveOut*>(self);
    out->Fill(stream, len);
    // Turned down in the device's own copy: the buffers stay as they were written.
    ScaleSamples(stream, static_cast<size_t>(len), out->sixteenBits_, out->volume_.load());
}

void SdlWaveOut::Fill(Uint8* stream, int len) {
    uint32_t taken = 0;
    while (len > 0 && count_ > 0) {
        const Queued& q = queue_[head_];
        const uint32_t n = std::min<uint32_t>(q.len - offset_, static_cast<uint32_t>(len));
        std::memcpy(stream, q.data + offset_, n);
        stream += n;
        len -= static_cast<int>(n);
        offset_ += n;
        taken += n;
        if (offset_ >= q.len) {
            // Played to its end: the buffer is the caller's again.
            head_ = (head_ + 1) % kMaxQueued;
            --count_;
            offset_ = 0;
            played_.fetch_add(1);
        }
    }
    queuedBytes_ -= taken;
    if (taken > 0 && bytesPerSecond_ != 0) {
        heardBaseMs_ = static_cast<uint32_t>(handedBytes_ * 1000 / bytesPerSecond_);
        handedBytes_ += taken;
    }
    if (taken > 0) {
        lastFillMs_ = SDL_GetTicks();
        lastSoundMs_ = bytesPerSecond_ != 0
                           ? static_cast<uint32_t>(uint64_t{taken} * 1000 / bytesPerSecond_) + 1
                           : 0;
    }
    if (len > 0) {
        std::memset(stream, silence_, static_cast<size_t>(len));
        dry_ = count_ == 0 && started_;
    }
}

}  // namespace lunavue::mm
