#include "movie/MovieClock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "movie/MovieReader.h"
#include "platform/Memory.h"

namespace lunavue {
namespace {

// 0.001 as single precision holds it: the factor that turns a time into its slot.
constexpr double kMsToSeconds = static_cast<double>(0.001f);
// Rounding may put a computed boundary a millisecond or two off; never walked further.
constexpr int kMostSteps = 4;

}  // namespace

bool MovieClock::Make(const MovieReader& reader, MovieClock& out) {
    out = MovieClock();
    const uint32_t p = reader.GetFramePeriodTicks();
    const uint32_t base = reader.GetBaseFrequency();
    const uint32_t frames = reader.GetVideoFrameCount();
    std::vector<uint32_t> starts;
    if (!TryAllocate(starts, size_t{frames} + 1)) {
        return false;
    }
    if (p == 0 || base == 0) {
        return true;
    }
    uint64_t slots = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        starts[f] = static_cast<uint32_t>(std::min<uint64_t>(slots, UINT32_MAX));
        slots += std::max<uint64_t>(1, (uint64_t{reader.GetFrameDuration(f)} + p - 1) / p);
    }
    if (frames == 0) {
        slots = (uint64_t{reader.GetTotalTicks()} + p - 1) / p;  // sound alone: its length
    }
    starts.back() = static_cast<uint32_t>(std::min<uint64_t>(slots, UINT32_MAX));
    const uint64_t slack = uint64_t{FilmDemuxer::kMaxFrameSeconds} * base / p;
    const double periodMs =
        static_cast<double>(static_cast<float>(p)) * 1000.0 / static_cast<float>(base);
    const auto longest = static_cast<uint64_t>(kMaxDurationMs / periodMs);
    const auto periods = static_cast<uint32_t>(
        std::min<uint64_t>({reader.GetTotalTicks() / p, slots + slack, longest}));
    out = FromNumbers(static_cast<float>(p), static_cast<float>(base), periods, std::move(starts));
    return true;
}

MovieClock MovieClock::FromNumbers(float periodTicks, float baseFrequency, uint32_t periodCount,
                                   std::vector<uint32_t> frameSlots) {
    MovieClock c;
    c.periodTicks_ = periodTicks;
    c.baseFrequency_ = baseFrequency;
    // At least a millisecond: a timer of period 0 would spin its thread.
    const double periodMs =
        baseFrequency != 0 ? static_cast<double>(periodTicks) * 1000.0 / baseFrequency : 0;
    c.timerDelayMs_ = periodMs < 1.0 ? 1u : static_cast<uint32_t>(std::min(periodMs, 1e9));
    c.periodCount_ = periodCount;
    c.frameSlots_ = frameSlots.empty() ? std::vector<uint32_t>{0} : std::move(frameSlots);
    return c;
}

double MovieClock::DueMs(double slot) const {
    return baseFrequency_ != 0 ? slot * 1000.0 * periodTicks_ / baseFrequency_ : 0;
}

uint32_t MovieClock::SlotAt(uint32_t ms) const {
    if (periodTicks_ == 0) {
        return 0;
    }
    const double exact = (static_cast<double>(ms) * baseFrequency_ / periodTicks_) * kMsToSeconds;
    return exact >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(exact);
}

uint32_t MovieClock::FirstMsOfSlot(uint32_t slot) const {
    const double end = std::trunc(DueMs(periodCount_));
    double ms = std::clamp(std::ceil(DueMs(slot)), 0.0, end);
    for (int i = 0; i < kMostSteps && ms > 0 && SlotAt(static_cast<uint32_t>(ms - 1)) >= slot;
         ++i) {
        ms -= 1;
    }
    for (int i = 0; i < kMostSteps && ms < end && SlotAt(static_cast<uint32_t>(ms)) < slot; ++i) {
        ms += 1;
    }
    return static_cast<uint32_t>(ms);
}

uint32_t MovieClock::MsToNextSlot(uint32_t ms) const {
    constexpr uint32_t kLongest = 1000;
    if (periodTicks_ == 0) {
        return kLongest;
    }
    const double rate = static_cast<double>(baseFrequency_) / periodTicks_ * kMsToSeconds;
    const double next = std::floor(static_cast<double>(ms) * rate) + 1;
    double at = std::ceil(next / rate);
    for (int i = 0; i < kMostSteps && at * rate < next; ++i) {
        at += 1;
    }
    for (int i = 0; i < kMostSteps && at - 1 > ms && (at - 1) * rate >= next; ++i) {
        at -= 1;
    }
    const double wait = at - ms;
    return wait > kLongest ? kLongest : std::max<uint32_t>(1, static_cast<uint32_t>(wait));
}

uint32_t MovieClock::FrameAtSlot(uint32_t slot) const {
    const auto next = std::upper_bound(frameSlots_.begin(), frameSlots_.end() - 1, slot);
    return static_cast<uint32_t>(std::max<ptrdiff_t>(0, next - frameSlots_.begin() - 1));
}

uint32_t MovieClock::FirstSlotOfFrame(uint32_t frame) const {
    return frameSlots_[std::min<size_t>(frame, frameSlots_.size() - 1)];
}

uint32_t MovieClock::DurationMs() const {
    return static_cast<uint32_t>(std::trunc(DueMs(periodCount_)));
}

uint32_t MovieClock::TotalSeconds() const {
    const double seconds =
        baseFrequency_ != 0 ? static_cast<double>(periodCount_) * periodTicks_ / baseFrequency_ : 0;
    return static_cast<uint32_t>(std::min(seconds, 4294967295.0));
}

namespace {
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}
}  // namespace

std::string PaneTime(uint32_t seconds) {
    return Format("%2d:%2d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
}

std::string InfoTime(uint32_t seconds) {
    return Format("%u:%u", seconds / 60, seconds % 60);
}

std::string ClockTime(uint32_t ms) {
    return Format("%u:%02u", ms / 60000, ms / 1000 % 60);
}

std::optional<uint32_t> ParseClockTime(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::string t = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    // Up to three fields of digits; a fraction of a second after the last.
    uint64_t fields[3] = {};
    int count = 0;
    size_t i = 0;
    uint64_t fractionMs = 0;
    for (;;) {
        if (count == 3 || i >= t.size() || t[i] < '0' || t[i] > '9') {
            return std::nullopt;
        }
        uint64_t v = 0;
        size_t digits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            if (++digits > 10) {
                return std::nullopt;
            }
            v = v * 10 + static_cast<uint64_t>(t[i++] - '0');
        }
        fields[count++] = v;
        if (i == t.size()) {
            break;
        }
        if (t[i] == '.') {
            uint64_t scale = 100;
            for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, scale /= 10) {
                fractionMs += static_cast<uint64_t>(t[i] - '0') * scale;
            }
            if (i != t.size() || scale == 100) {
                return std::nullopt;  // something after the fraction, or no digit in it
            }
            break;
        }
        if (t[i++] != ':') {
            return std::nullopt;
        }
    }
    // The fields after the first are minutes and seconds below 60.
    for (int f = 1; f < count; ++f) {
        if (fields[f] >= 60) {
            return std::nullopt;
        }
    }
    uint64_t seconds = 0;
    for (int f = 0; f < count; ++f) {
        seconds = seconds * 60 + fields[f];
    }
    const uint64_t ms = seconds * 1000 + fractionMs;
    if (ms > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(ms);
}

}  // namespace lunavue
