#include "movie/MovieTiming.h"

#include <algorithm>

#include "movie/MovieReader.h"

namespace lunavue {

double MovieTiming::DueMs(double slot) const {
    return baseFrequency != 0 ? slot * 1000.0 * periodTicks / baseFrequency : 0;
}

uint32_t MovieTiming::TotalSeconds() const {
    const double seconds =
        baseFrequency != 0 ? static_cast<double>(periodCount) * periodTicks / baseFrequency : 0;
    return static_cast<uint32_t>(std::min(seconds, 4294967295.0));
}

MovieTiming TimingOf(const MovieReader& reader) {
    MovieTiming t;
    const uint32_t p = reader.GetFramePeriodTicks();
    const uint32_t base = reader.GetBaseFrequency();
    if (p == 0 || base == 0) {
        return t;
    }
    t.periodTicks = static_cast<float>(p);
    t.baseFrequency = static_cast<float>(base);
    // At least a millisecond: a timer of period 0 would spin its thread.
    const double delay = static_cast<double>(t.periodTicks) * 1000.0 / t.baseFrequency;
    t.timerDelayMs = delay < 1.0 ? 1u : (delay > 1e9 ? 1000000000u : static_cast<uint32_t>(delay));
    const uint64_t slack = uint64_t{FilmDemuxer::kMaxFrameSeconds} * base / p;
    const double periodMs = static_cast<double>(t.periodTicks) * 1000.0 / t.baseFrequency;
    const uint64_t longest = static_cast<uint64_t>(MovieTiming::kMaxDurationMs / periodMs);
    t.periodCount = static_cast<uint32_t>(
        std::min<uint64_t>({reader.GetTotalTicks() / p, reader.GetSlotCount() + slack, longest}));
    return t;
}

}  // namespace lunavue
