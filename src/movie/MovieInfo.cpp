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
                          const MovieTiming& timing) {
    MovieInfo info;
    const bool pictures = picture.biWidth > 0 && picture.biHeight > 0;
    info.size = pictures ? Format("%dx%d", picture.biWidth, picture.biHeight) : kNoPicture;
    info.soundRate = Format("%dHz", static_cast<int>(sound.nSamplesPerSec));
    info.soundType = Format("%dbit", static_cast<int>(sound.wBitsPerSample));
    info.channels = Format("%d", static_cast<int>(sound.nChannels));
    // A movie of sound alone has no frames; its clock's periods are not a frame rate.
    info.frames = pictures ? Format("%d", static_cast<int>(timing.periodCount)) : "0";
    const double rate = timing.periodTicks != 0 ? static_cast<double>(timing.baseFrequency) /
                                                      static_cast<double>(timing.periodTicks)
                                                : 0;
    info.frameRate = pictures ? Format("%.2ffps", rate) : "-";
    const uint32_t s = timing.TotalSeconds();
    info.time = Format("%u:%u", s / 60, s % 60);
    return info;
}

MovieInfo DescribeMovie(const MovieReader& reader) {
    BITMAPINFOHEADER picture{};
    reader.GetOutputFormat(&picture);
    return FormatMovieInfo(picture, reader.GetAudioFormat(), TimingOf(reader));
}

}  // namespace lunavue
