// The header that makes sound as the device receives it into a WAV file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Formats.h"

namespace lunavue {

// The 44-byte header of a PCM WAV file holding `bytes` bytes of sound in this format.
std::vector<uint8_t> WavHeader(const WAVEFORMATEX& f, uint32_t bytes);

}  // namespace lunavue
