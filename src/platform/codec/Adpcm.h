// Our decoder of the 4-bit ADPCM sound coding some FILM movies carry (sound compression
// byte 39 = 2). The sound chunks of such a movie, concatenated in table order, form one
// stream: a stream header, then groups of one 18-byte block per channel, then an end
// marker. Chunk boundaries mean nothing: bytes left over at the end of a chunk are carried
// into the next, and the predictor's history runs on from chunk to chunk.
//
// Each block holds a scale and 32 four-bit differences; a sample is
//     Y = clamp(D * S + ((C1 * H1 + C2 * H2) >> 12))
// with the two previous outputs H1, H2 of its channel and coefficients C1, C2 that follow
// from the stream's high-pass cutoff and rate. The output is 16-bit little-endian,
// channels interleaved.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace lunavue::codec {

// The fields of an accepted stream header.
struct AdpcmFormat {
    uint32_t headerBytes = 0;  // the block data start here (the signature offset + 4)
    int channels = 0;
    uint32_t rate = 0;
    uint16_t cutoff = 0;
    uint8_t version = 0;
    int c1 = 0;  // predictor coefficients, scaled by 4096
    int c2 = 0;
};

enum class AdpcmHeader { kAccepted, kNeedMore, kRefused };

// Reads a stream header from the first `len` bytes of the stream (20 are enough). A header
// is accepted for magic 0x8000, encoding type 3, 18-byte blocks of 4-bit samples, 1 or 2
// channels, a rate of at least 1 and a data offset of at least 24.
AdpcmHeader ParseAdpcmHeader(const uint8_t* stream, size_t len, AdpcmFormat& format);

// C1 = round(single(2c * 4096)) and C2 = round(single(-c^2 * 4096)), rounding half to even,
// with c from the cutoff and the rate in double precision.
void AdpcmCoefficients(uint32_t cutoff, uint32_t rate, int& c1, int& c2);

// The prediction from a channel's two previous outputs, (C1 * H1 + C2 * H2) >> 12 (the
// shift rounds toward minus infinity), and the sample a difference and a scale make of it:
// what the decoder outputs and the encoder must reproduce.
inline int32_t AdpcmPrediction(int c1, int c2, int32_t h1, int32_t h2) {
    return (c1 * h1 + c2 * h2) >> 12;
}
inline int32_t AdpcmSample(int32_t d, int32_t scale, int32_t prediction) {
    return std::clamp<int32_t>(d * scale + prediction, -32768, 32767);
}

class AdpcmDecoder {
  public:
    static constexpr size_t kBlockBytes = 18;
    static constexpr size_t kSamplesPerBlock = 32;
    static constexpr size_t kPrefixBytes = 20;  // the header fields a decoder reads

    // The most device bytes one chunk of len stored bytes gives, whatever is carried into
    // it: ceil(len / (18 x channels)) groups of 64 x channels bytes.
    static size_t Capacity(size_t len, int channels);

    // Starts the stream again: no history, nothing carried, the header still to come.
    void Reset();

    // Decodes the next chunk of the stream into out (which holds Capacity(len) bytes) and
    // returns the device bytes written; out may be null to decode without keeping the sound.
    // Gives nothing once the header was refused or the end marker was met.
    size_t Decode(const uint8_t* in, size_t len, uint8_t* out);

    const AdpcmFormat& Format() const { return format_; }

  private:
    size_t TakeHeader(const uint8_t* in, size_t len);
    // Decodes one group (a block per channel); false when it holds the end marker.
    bool DecodeGroup(const uint8_t* group, uint8_t* out);

    AdpcmFormat format_;
    std::array<uint8_t, kPrefixBytes> prefix_{};
    uint32_t headerSeen_ = 0;  // header bytes consumed so far
    bool headerDone_ = false;
    bool refused_ = false;
    bool ended_ = false;
    std::array<uint8_t, 2 * kBlockBytes> carry_{};  // an unfinished group from the last chunk
    size_t carried_ = 0;
    std::array<int32_t, 2> h1_{};  // the previous output of each channel
    std::array<int32_t, 2> h2_{};  // the one before it
};

}  // namespace lunavue::codec
