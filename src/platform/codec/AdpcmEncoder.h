// An encoder of the 4-bit ADPCM sound coding (the inverse of AdpcmDecoder): 16-bit samples
// in, the stream out a piece at a time: its header (cutoff 500 Hz, version 3), then groups
// of one 18-byte block per channel, each block's scale chosen by trying the candidates near
// the one its largest prediction error asks for and keeping the one that decodes closest,
// and at the end a last group filled with silence and the end marker. The predictor runs on
// the decoded samples, as the decoder's does, so that errors never build up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lunavue::codec {

class AdpcmEncoder {
  public:
    static constexpr uint16_t kCutoff = 500;
    static constexpr size_t kHeaderBytes = 36;

    // totalSamples: per channel, written into the header (informative).
    AdpcmEncoder(int channels, uint32_t rate, uint32_t totalSamples);
    // Samples (16-bit, channels interleaved) in; what is ready out, appended (the header
    // first). Whole groups of 32 samples a channel are coded; the rest waits.
    void Put(const int16_t* samples, size_t frames, std::vector<uint8_t>& out);
    // The last group (filled with silence) and the end marker.
    void Finish(std::vector<uint8_t>& out);

  private:
    void Group(const int16_t* samples, std::vector<uint8_t>& out);
    void Block(int channel, const int16_t* samples, std::vector<uint8_t>& out);

    int channels_;
    uint32_t rate_;
    uint32_t total_;
    int c1_ = 0, c2_ = 0;
    bool headerOut_ = false;
    std::array<int32_t, 2> h1_{}, h2_{};
    std::vector<int16_t> waiting_;  // interleaved, fewer than a group
};

}  // namespace lunavue::codec
