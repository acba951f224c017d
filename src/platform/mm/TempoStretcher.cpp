#include "platform/mm/TempoStretcher.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>

namespace lunavue::mm {

TempoStretcher::TempoStretcher() : touch_(std::make_unique<soundtouch::SoundTouch>()) {}

TempoStretcher::~TempoStretcher() = default;

void TempoStretcher::Start(const WAVEFORMATEX& format, double tempo) {
    channels_ = std::clamp<int>(format.nChannels, 1, 2);
    sixteen_ = format.wBitsPerSample == 16;
    touch_->clear();
    touch_->setChannels(static_cast<unsigned>(channels_));
    touch_->setSampleRate(std::max<unsigned>(format.nSamplesPerSec, 1000));
    touch_->setTempo(tempo);
    touch_->setPitch(1.0);
    touch_->setRate(1.0);
}

void TempoStretcher::Put(const uint8_t* pcm, size_t bytes, std::vector<uint8_t>& out) {
    const size_t width = sixteen_ ? 2 : 1;
    const size_t values = bytes / width;
    floats_.resize(values);
    for (size_t i = 0; i < values; ++i) {
        floats_[i] = sixteen_ ? static_cast<float>(static_cast<int16_t>(
                                    static_cast<uint16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8))) /
                                    32768.0f
                              : (static_cast<float>(pcm[i]) - 128.0f) / 128.0f;
    }
    const size_t frames = values / static_cast<size_t>(channels_);
    if (frames != 0) {
        touch_->putSamples(floats_.data(), static_cast<unsigned>(frames));
    }
    Take(out);
}

void TempoStretcher::Finish(std::vector<uint8_t>& out) {
    touch_->flush();
    Take(out);
}

void TempoStretcher::Take(std::vector<uint8_t>& out) {
    constexpr unsigned kFrames = 2048;
    float block[kFrames * 2];
    while (const unsigned got = touch_->receiveSamples(block, kFrames)) {
        const size_t values = static_cast<size_t>(got) * static_cast<size_t>(channels_);
        for (size_t i = 0; i < values; ++i) {
            const float v = std::clamp(block[i], -1.0f, 1.0f);
            if (sixteen_) {
                const auto s = static_cast<int16_t>(std::lround(v * 32767.0f));
                out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
                out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
            } else {
                out.push_back(static_cast<uint8_t>(std::lround(v * 127.0f) + 128));
            }
        }
    }
}

}  // namespace lunavue::mm
