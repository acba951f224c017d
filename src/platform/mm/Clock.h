// The millisecond clock playback runs by, read as an unsigned 32-bit count that wraps.
#pragma once

#include <cstdint>

namespace lunavue::mm {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint32_t NowMs() = 0;
};

// Milliseconds of the system's monotonic clock.
class SystemClock : public Clock {
  public:
    uint32_t NowMs() override;
};

}  // namespace lunavue::mm
