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

// The WAV's sound as FILM stores it, handed out up to a point at a time: PCM in FILM's own
// form, or through the ADPCM coding (adpcm not null); silence past the WAV's end. 8-bit mono
// PCM is handed out in even counts, for even chunk lengths, except by the last call.
class WavFeed {
  public:
    WavFeed(WavReader& wav, codec::AdpcmEncoder* adpcm) : wav_(wav), adpcm_(adpcm) {}
    // The stored bytes of the sample frames from where the last call ended to until (counted
    // from the start of the sound).
    std::vector<uint8_t> UpTo(uint64_t until, bool last = false);
    uint64_t Done() const { return done_; }

  private:
    WavReader& wav_;
    codec::AdpcmEncoder* adpcm_;
    uint64_t done_ = 0;
    std::vector<uint8_t> pcm_;
};

}  // namespace lunavue
