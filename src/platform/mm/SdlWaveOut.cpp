#include "platform/mm/SdlWaveOut.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lunavue::mm {

SdlWaveOut::~SdlWaveOut() {
    Close();
}

bool SdlWaveOut::Open(const WAVEFORMATEX& format) {
    Close();
    if (format.wFormatTag != WAVE_FORMAT_PCM || (format.nChannels != 1 && format.nChannels != 2) ||
        (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) || format.nSamplesPerSec == 0 ||
        format.nSamplesPerSec > 384000) {
        return false;
    }
    // Only the sound is SDL's: the program's signals (SIGTERM, SIGINT) stay its own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = format.wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8;
    want.channels = static_cast<Uint8>(format.nChannels);
    // About 23 ms of sound a callback at any rate: short enough to follow the picture, long
    // enough not to wake the sound thread more often than that.
    want.samples = static_cast<Uint16>(std::clamp(
        1 << static_cast<int>(std::lround(std::log2(format.nSamplesPerSec / 43.0))), 256, 4096));
    want.callback = &SdlWaveOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // SDL converts if need be
    if (device_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    silence_ = have.silence;
    sixteenBits_ = have.format == AUDIO_S16LSB;
    bufferMs_ =
        have.freq > 0 ? static_cast<uint32_t>(uint64_t{have.samples} * 1000 / have.freq) : 0;
    paused_ = false;
    started_ = false;
    head_ = 0;
    count_ = 0;
    offset_ = 0;
    dry_ = false;
    return true;
}

void SdlWaveOut::Prepare(WaveHeader& h) {
    h.dwFlags |= WHDR_PREPARED;
}

void SdlWaveOut::Unprepare(WaveHeader& h) {
    h.dwFlags &= ~WHDR_PREPARED;
}

void SdlWaveOut::Write(WaveHeader& h) {
    if (device_ == 0) {
        return;
    }
    SDL_LockAudioDevice(device_);
    if (count_ == kMaxQueued) {
        SDL_UnlockAudioDevice(device_);
        return;  // more buffers than a queue of prepared headers can hold: refused
    }
    h.dwFlags = (h.dwFlags.load() & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_[(head_ + count_) % kMaxQueued] = &h;
    ++count_;
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
    SDL_UnlockAudioDevice(device_);
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

void SdlWaveOut::Restart() {
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

bool SdlWaveOut::HoldsSound() {
    if (device_ == 0) {
        return false;
    }
    SDL_LockAudioDevice(device_);
    // The last bytes taken are heard within about two of the device's own buffers.
    const bool holds =
        count_ > 0 || (started_ && SDL_GetTicks() - lastTakenMs_ < 2 * bufferMs_ + 10);
    SDL_UnlockAudioDevice(device_);
    return holds;
}

void SdlWaveOut::Reset() {
    if (device_ == 0) {
        return;
    }
    SDL_PauseAudioDevice(device_, 1);
    SDL_LockAudioDevice(device_);
    for (int i = 0; i < count_; ++i) {
        WaveHeader* h = queue_[(head_ + i) % kMaxQueued];
        h->dwFlags = (h->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
    }
    head_ = 0;
    count_ = 0;
    offset_ = 0;
    dry_ = false;
    started_ = false;
    SDL_UnlockAudioDevice(device_);
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
    out->Scale(stream, len);
}

// Turns the sound down to the volume, in the device's own copy: the buffers stay as they
// were written, and at 100 nothing is touched.
void SdlWaveOut::Scale(Uint8* stream, int len) const {
    const int volume = volume_.load();
    if (volume >= 100) {
        return;
    }
    if (sixteenBits_) {
        for (int i = 0; i + 1 < len; i += 2) {
            const int16_t s = static_cast<int16_t>(stream[i] | stream[i + 1] << 8);
            const int16_t scaled = static_cast<int16_t>(s * volume / 100);
            stream[i] = static_cast<Uint8>(scaled);
            stream[i + 1] = static_cast<Uint8>(static_cast<uint16_t>(scaled) >> 8);
        }
    } else {
        for (int i = 0; i < len; ++i) {
            stream[i] = static_cast<Uint8>(128 + (stream[i] - 128) * volume / 100);
        }
    }
}

void SdlWaveOut::Fill(Uint8* stream, int len) {
    while (len > 0 && count_ > 0) {
        WaveHeader* h = queue_[head_];
        const uint32_t left = h->dwBufferLength - offset_;
        const uint32_t n = std::min<uint32_t>(left, static_cast<uint32_t>(len));
        std::memcpy(stream, h->lpData + offset_, n);
        stream += n;
        len -= static_cast<int>(n);
        offset_ += n;
        if (offset_ >= h->dwBufferLength) {
            // Played to its end: the buffer is free again.
            h->dwFlags = (h->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
            head_ = (head_ + 1) % kMaxQueued;
            --count_;
            offset_ = 0;
            lastTakenMs_ = SDL_GetTicks();
        }
    }
    if (len > 0) {
        std::memset(stream, silence_, static_cast<size_t>(len));
        dry_ = true;
    }
}

}  // namespace lunavue::mm
