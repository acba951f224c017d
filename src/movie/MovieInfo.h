// The texts of the Information dialog, computed from a movie's formats and timing.
#pragma once

#include <string>

#include "movie/MovieReader.h"

namespace lunavue {

struct MovieInfo {
    std::string size;       // "320x224"
    std::string frameRate;  // "15.00fps"
    std::string frames;     // display periods in the movie
    std::string time;       // "1:40": minutes and seconds, neither zero-padded
    std::string soundRate;  // "22050Hz"
    std::string soundType;  // "16bit"
    std::string channels;   // "2"
};

// periodCount: total ticks / frame period; periodTicks and baseFrequency as the engine
// holds them (single precision).
MovieInfo FormatMovieInfo(const BITMAPINFOHEADER& picture, const WAVEFORMATEX& sound,
                          uint32_t periodCount, float periodTicks, float baseFrequency);

// The same for an open reader, with the timing derived as the engine derives it.
MovieInfo DescribeMovie(const MovieReader& reader);

}  // namespace lunavue
