// cpktool make: PNG frames and an optional WAV into a FILM movie in the standard layout.
#pragma once

#include <string>
#include <vector>

#include "platform/codec/CinepakEncoder.h"

namespace lunavue {

struct MakeOptions {
    std::string out;
    std::vector<std::string> frames;  // PNG files, in order
    std::string sound;                // a WAV file, or empty
    bool adpcm = false;               // the sound in the 4-bit ADPCM coding, not PCM
    int framesPerSecond = 15;         // must divide 600
    CinepakOptions picture;
};

// Exit statuses as cpktool's: 0, 1 (usage, an output that cannot be written, input that is
// refused: the reason on standard error).
int MakeMovie(const MakeOptions& options);

}  // namespace lunavue
