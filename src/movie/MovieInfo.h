// The texts of the Information dialog, computed from a movie's formats and timing.
#pragma once

#include <string>

#include "movie/MovieClock.h"
#include "movie/MovieReader.h"
#include "platform/Translation.h"

namespace lunavue {

struct MovieInfo {
    std::string size;       // "320x224", or kNoPicture for a movie of sound alone
    std::string frameRate;  // "15.00fps"
    std::string frames;     // display periods in the movie
    std::string time;       // "1:40": minutes and seconds, neither zero-padded
    std::string soundRate;  // "22050Hz"
    std::string soundType;  // "16bit"
    std::string channels;   // "2"
    // What the file is, as cpktool info names it (set by DescribeCodings).
    std::string name;  // the file's name and folder, shown as they are
    std::string folder;
    std::string layout;         // "standard 1.09"
    std::string pictureCoding;  // "cvid"
    std::string soundCoding;    // "pcm", "adpcm", "none", or why it is silent
};

inline constexpr const char* kNoPicture = QT_TRANSLATE_NOOP("Lunavue", "No picture");

// picture: the reader's output format (width and height 0: no picture).
MovieInfo FormatMovieInfo(const BITMAPINFOHEADER& picture, const WAVEFORMATEX& sound,
                          const MovieClock& clock);

// The same for an open reader (false when its clock cannot be had), the codings included.
bool DescribeMovie(const MovieReader& reader, MovieInfo& info);

// The layout and the codings of an open reader.
void DescribeCodings(const MovieReader& reader, MovieInfo& info);

}  // namespace lunavue
