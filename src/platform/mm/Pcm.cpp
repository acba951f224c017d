#include "platform/mm/Pcm.h"

namespace lunavue::mm {

bool PlayableFormat(const WAVEFORMATEX& format, std::string& reason) {
    constexpr uint32_t kHighestRate = 384000;
    if (format.wFormatTag == WAVE_FORMAT_PCM && (format.nChannels == 1 || format.nChannels == 2) &&
        (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nSamplesPerSec != 0 &&
        format.nSamplesPerSec <= kHighestRate) {
        return true;
    }
    reason = "the sound format (" + std::to_string(format.nChannels) + " channels, " +
             std::to_string(format.wBitsPerSample) + " bits, " +
             std::to_string(format.nSamplesPerSec) + " Hz) cannot be played";
    return false;
}

void ScaleSamples(uint8_t* samples, size_t len, bool sixteenBits, int percent) {
    if (percent >= 100) {
        return;
    }
    if (sixteenBits) {
        for (size_t i = 0; i + 1 < len; i += 2) {
            const int16_t s = static_cast<int16_t>(samples[i] | samples[i + 1] << 8);
            const int16_t scaled = static_cast<int16_t>(s * percent / 100);
            samples[i] = static_cast<uint8_t>(scaled);
            samples[i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(scaled) >> 8);
        }
    } else {
        for (size_t i = 0; i < len; ++i) {
            samples[i] = static_cast<uint8_t>(128 + (samples[i] - 128) * percent / 100);
        }
    }
}

}  // namespace lunavue::mm
