// Sound from a WAV file for the movies cpktool writes: its PCM read a little at a time,
// and turned into what FILM stores (PCM in FILM's own byte order and channel layout, or
// the 4-bit ADPCM coding).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/codec/AdpcmEncoder.h"

namespace lunavue {

// A WAV file's 8- or 16-bit PCM, mono or stereo, at 1000 to 65535 Hz; other formats are
// refused with the reason. A data length that says more than the file holds ends where the
// file does.
class WavReader {
  public:
    WavReader() = default;
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    bool Open(const std::string& path, std::string& why);
    uint32_t Rate() const { return rate_; }
    uint32_t Channels() const { return channels_; }
    uint32_t Bits() const { return bits_; }
    // Up to n sample frames as the WAV has them; fewer at its end.
    size_t Read(size_t n, std::vector<uint8_t>& out);

  private:
    std::FILE* file_ = nullptr;
    uint32_t channels_ = 0, rate_ = 0, bits_ = 0;
    uint64_t left_ = 0;
};

// n sample frames of WAV PCM (silence past its end) as FILM stores them: 16-bit big-endian,
// 8-bit signed, stereo as the left half then the right half of the chunk.
std::vector<uint8_t> FilmSound(const std::vector<uint8_t>& wav, size_t n, uint32_t channels,
                               uint32_t bits);

// The same through the ADPCM coding: what it gives out now.
std::vector<uint8_t> AdpcmSound(codec::AdpcmEncoder& encoder, const std::vector<uint8_t>& wav,
                                size_t n, uint32_t channels, uint32_t bits);

}  // namespace lunavue
