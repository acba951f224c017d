// What every sound output does with the PCM it is given (8-bit unsigned or 16-bit
// little-endian, interleaved): checking that it can be played, and turning it down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Formats.h"

namespace lunavue::mm {

// PCM of 1 or 2 channels, 8 or 16 bits, at a rate a device can take; otherwise false, and
// reason names the format.
bool PlayableFormat(const WAVEFORMATEX& format, std::string& reason);

// Scales len bytes of samples to percent (0 to 100) of their level; at 100 or more nothing
// is touched, so the sound stays bit-exact.
void ScaleSamples(uint8_t* samples, size_t len, bool sixteenBits, int percent);

}  // namespace lunavue::mm
