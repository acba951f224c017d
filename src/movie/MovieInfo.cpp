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
                          uint32_t periodCount, float periodTicks, float baseFrequency) {
    MovieInfo info;
    info.size = Format("%dx%d", picture.biWidth, picture.biHeight);
    info.soundRate = Format("%dHz", static_cast<int>(sound.nSamplesPerSec));
    info.soundType = Format("%dbit", static_cast<int>(sound.wBitsPerSample));
    info.channels = Format("%d", static_cast<int>(sound.nChannels));
    info.frames = Format("%d", static_cast<int>(periodCount));
    const double rate = periodTicks != 0
                            ? static_cast<double>(baseFrequency) / static_cast<double>(periodTicks)
                            : 0;
    info.frameRate = Format("%.2ffps", rate);
    const double seconds = baseFrequency != 0 ? static_cast<double>(periodCount) *
                                                    static_cast<double>(periodTicks) / baseFrequency
                                              : 0;
    const long s = static_cast<long>(seconds);
    info.time = Format("%ld:%ld", s / 60, s % 60);
    return info;
}

MovieInfo DescribeMovie(const MovieReader& reader) {
    BITMAPINFOHEADER picture{};
    reader.GetOutputFormat(&picture);
    const uint32_t period = reader.GetFramePeriodTicks();
    const uint32_t count = period != 0 ? reader.GetTotalTicks() / period : 0;
    return FormatMovieInfo(picture, reader.GetAudioFormat(), count, static_cast<float>(period),
                           static_cast<float>(reader.GetBaseFrequency()));
}

}  // namespace lunavue
