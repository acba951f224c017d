#include "tools/SoundInput.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lunavue {
namespace {

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// n sample frames of WAV PCM (silence past its end) as FILM stores them: 16-bit big-endian,
// 8-bit signed, stereo as the left half then the right half of the chunk.
std::vector<uint8_t> FilmSound(const std::vector<uint8_t>& wav, size_t n, uint32_t channels,
                               uint32_t bits) {
    const size_t width = bits / 8;
    std::vector<uint8_t> out(n * channels * width, 0);
    const size_t have = wav.size() / (channels * width);
    for (size_t i = 0; i < n; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            const size_t to = (c * n + i) * width;
            if (i >= have) {
                continue;  // silence: zero in both forms
            }
            const uint8_t* from = wav.data() + (i * channels + c) * width;
            if (width == 2) {
                out[to] = from[1];
                out[to + 1] = from[0];
            } else {
                out[to] = static_cast<uint8_t>(from[0] - 128);
            }
        }
    }
    return out;
}

// n sample frames of WAV PCM (silence past its end) through the ADPCM coding: what it
// gives out now.
std::vector<uint8_t> AdpcmSound(codec::AdpcmEncoder& encoder, const std::vector<uint8_t>& wav,
                                size_t n, uint32_t channels, uint32_t bits) {
    std::vector<int16_t> samples(n * channels, 0);
    const size_t width = bits / 8;
    const size_t have = std::min(samples.size(), wav.size() / width);
    for (size_t i = 0; i < have; ++i) {
        samples[i] = width == 2 ? static_cast<int16_t>(wav[2 * i] | wav[2 * i + 1] << 8)
                                : static_cast<int16_t>((wav[i] - 128) * 256);
    }
    std::vector<uint8_t> out;
    encoder.Put(samples.data(), n, out);
    return out;
}

}  // namespace

WavReader::~WavReader() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool WavReader::Open(const std::string& path, std::string& why) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    uint8_t riff[12];
    if (std::fread(riff, 1, 12, file_) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        why = "not a WAV file";
        return false;
    }
    bool format = false;
    for (;;) {
        uint8_t head[8];
        if (std::fread(head, 1, 8, file_) != 8) {
            why = format ? "no sound data in it" : "no format in it";
            return false;
        }
        const uint32_t size = Le32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            uint8_t f[40] = {};
            const size_t want = std::min<size_t>(size, sizeof f);
            if (size < 16 || std::fread(f, 1, want, file_) != want) {
                why = "a format chunk too short";
                return false;
            }
            uint32_t tag = Le16(f);
            if (tag == 0xFFFE && size >= 26) {
                tag = Le16(f + 24);  // the extensible format's sub-format
            }
            channels_ = Le16(f + 2);
            rate_ = Le32(f + 4);
            bits_ = Le16(f + 14);
            if (tag == 3) {
                why = "its samples are floating point; 8- or 16-bit PCM is taken";
                return false;
            }
            if (tag != 1) {
                why = "format " + std::to_string(tag) + " is not PCM; 8- or 16-bit PCM is taken";
                return false;
            }
            if (bits_ != 8 && bits_ != 16) {
                why = std::to_string(bits_) + "-bit samples; 8- or 16-bit PCM is taken";
                return false;
            }
            if (channels_ != 1 && channels_ != 2) {
                why = std::to_string(channels_) + " channels; mono or stereo is taken";
                return false;
            }
            if (rate_ < 1000 || rate_ > 65535) {
                why = "a rate of " + std::to_string(rate_) + " Hz; 1000 to 65535 is taken";
                return false;
            }
            format = true;
            if (std::fseek(file_, static_cast<long>(size + (size % 2) - want), SEEK_CUR) != 0) {
                why = "it ends inside its format";
                return false;
            }
            continue;
        }
        if (std::memcmp(head, "data", 4) == 0) {
            if (!format) {
                why = "sound data before its format";
                return false;
            }
            left_ = size;  // a length that lies ends where the file does
            return true;
        }
        if (std::fseek(file_, static_cast<long>(size + (size % 2)), SEEK_CUR) != 0) {
            why = "it ends inside a chunk";
            return false;
        }
    }
}
size_t WavReader::Read(size_t n, std::vector<uint8_t>& out) {
    const size_t frame = channels_ * bits_ / 8;
    const size_t want = std::min<uint64_t>(n * frame, left_) / frame * frame;
    out.resize(want);
    const size_t got = want == 0 ? 0 : std::fread(out.data(), 1, want, file_) / frame * frame;
    out.resize(got);
    left_ -= got;
    return got / frame;
}

std::vector<uint8_t> WavFeed::UpTo(uint64_t until, bool last) {
    if (adpcm_ == nullptr && wav_.Channels() == 1 && wav_.Bits() == 8 && !last) {
        until &= ~uint64_t{1};
    }
    if (until <= done_) {
        return {};
    }
    const auto n = static_cast<size_t>(until - done_);
    wav_.Read(n, pcm_);
    done_ = until;
    return adpcm_ != nullptr ? AdpcmSound(*adpcm_, pcm_, n, wav_.Channels(), wav_.Bits())
                             : FilmSound(pcm_, n, wav_.Channels(), wav_.Bits());
}

}  // namespace lunavue
