#include "movie/MovieInfo.h"

#include <cstdio>

namespace lunavue {
namespace {
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}
}  // namespace

MovieInfo FormatMovieInfo(const BITMAPINFOHEADER& picture, const WAVEFORMATEX& sound,
                          const MovieClock& clock) {
    MovieInfo info;
    const bool pictures = picture.biWidth > 0 && picture.biHeight > 0;
    info.size = pictures ? Format("%dx%d", picture.biWidth, picture.biHeight) : kNoPicture;
    info.soundRate = Format("%dHz", static_cast<int>(sound.nSamplesPerSec));
    info.soundType = Format("%dbit", static_cast<int>(sound.wBitsPerSample));
    info.channels = Format("%d", static_cast<int>(sound.nChannels));
    // A movie of sound alone has no frames; its clock's periods are not a frame rate.
    info.frames = pictures ? Format("%d", static_cast<int>(clock.PeriodCount())) : "0";
    const double rate = clock.PeriodTicks() != 0 ? static_cast<double>(clock.BaseFrequency()) /
                                                       static_cast<double>(clock.PeriodTicks())
                                                 : 0;
    info.frameRate = pictures ? Format("%.2ffps", rate) : "-";
    info.time = InfoTime(clock.TotalSeconds());
    return info;
}

namespace {

std::string SoundCodingText(const MovieReader& reader) {
    switch (reader.Sound().Coding()) {
        case SoundCoding::kNone:
            return "none";
        case SoundCoding::kPcm:
            return "pcm";
        case SoundCoding::kAdpcm:
            return "adpcm";
        case SoundCoding::kUnknown:
            break;
    }
    const int byte = reader.Contents().header.sound.compression;
    return byte == 0   ? "pcm, in a format or at a rate that cannot be played: silent"
           : byte == 2 ? "adpcm, with a stream header that is not accepted: silent"
                       : "unknown (" + std::to_string(byte) + "): silent";
}

}  // namespace

void DescribeCodings(const MovieReader& reader, MovieInfo& info) {
    const FilmHeader& header = reader.Contents().header;
    info.layout = header.LayoutName();
    info.pictureCoding = header.CodingName();
    info.soundCoding = SoundCodingText(reader);
}

bool DescribeMovie(const MovieReader& reader, MovieInfo& info) {
    BITMAPINFOHEADER picture{};
    reader.GetOutputFormat(&picture);
    MovieClock clock;
    if (!MovieClock::Make(reader, clock)) {
        return false;
    }
    info = FormatMovieInfo(picture, reader.GetAudioFormat(), clock);
    DescribeCodings(reader, info);
    return true;
}

}  // namespace lunavue
