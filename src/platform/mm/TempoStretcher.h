// Sound played faster or slower at its own pitch, through SoundTouch (a library made for
// it): PCM in the device's format (8-bit unsigned or 16-bit little-endian, 1 or 2 channels)
// goes in as the movie has it, and comes out shorter (faster) or longer (slower) in the same
// format. The output begins with the input's first sample; the library holds back a few
// tens of milliseconds, which Finish lets out at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Formats.h"

namespace soundtouch {
class SoundTouch;
}

namespace lunavue::mm {

class TempoStretcher {
  public:
    TempoStretcher();
    ~TempoStretcher();
    TempoStretcher(const TempoStretcher&) = delete;
    TempoStretcher& operator=(const TempoStretcher&) = delete;

    // A new sound (or a new place in it): nothing held; tempo 1.5 plays it in two thirds
    // of the time.
    void Start(const WAVEFORMATEX& format, double tempo);
    // Input bytes (whole samples); what is ready comes out appended to out.
    void Put(const uint8_t* pcm, size_t bytes, std::vector<uint8_t>& out);
    // The end of the sound: what is held back comes out.
    void Finish(std::vector<uint8_t>& out);

  private:
    void Take(std::vector<uint8_t>& out);

    std::unique_ptr<soundtouch::SoundTouch> touch_;
    std::vector<float> floats_;
    int channels_ = 1;
    bool sixteen_ = true;
};

}  // namespace lunavue::mm
