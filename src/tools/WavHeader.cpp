#include "tools/WavHeader.h"

#include <cstddef>

namespace lunavue {

std::vector<uint8_t> WavHeader(const WAVEFORMATEX& f, uint32_t bytes) {
    std::vector<uint8_t> h(44);
    std::size_t at = 0;
    auto text = [&](const char* s) {
        for (int i = 0; i < 4; ++i) {
            h[at++] = static_cast<uint8_t>(s[i]);
        }
    };
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            h[at++] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    text("RIFF");
    le(36 + bytes, 4);
    text("WAVE");
    text("fmt ");
    le(16, 4);
    le(1, 2);  // PCM
    le(f.nChannels, 2);
    le(f.nSamplesPerSec, 4);
    le(f.nAvgBytesPerSec, 4);
    le(f.nBlockAlign, 2);
    le(f.wBitsPerSample, 2);
    text("data");
    le(bytes, 4);
    return h;
}

}  // namespace lunavue
