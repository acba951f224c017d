#include "platform/codec/Adpcm.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/BigEndian.h"

namespace lunavue::codec {
namespace {

constexpr uint16_t kMagic = 0x8000;
constexpr uint8_t kEncodingType = 3;
constexpr uint8_t kBitsPerSample = 4;
constexpr uint32_t kMinHeaderBytes = 24;

}  // namespace

AdpcmHeader ParseAdpcmHeader(const uint8_t* s, size_t len, AdpcmFormat& f) {
    if (len < AdpcmDecoder::kPrefixBytes) {
        // Refuse as early as the bytes allow; otherwise wait for the rest.
        if ((len >= 2 && Be16(s) != kMagic) || (len >= 5 && s[4] != kEncodingType)) {
            return AdpcmHeader::kRefused;
        }
        return AdpcmHeader::kNeedMore;
    }
    f = {};
    f.headerBytes = uint32_t{Be16(s + 2)} + 4;
    f.channels = s[7];
    f.rate = Be32(s + 8);
    f.cutoff = Be16(s + 16);
    f.version = s[18];
    if (Be16(s) != kMagic || s[4] != kEncodingType || s[5] != AdpcmDecoder::kBlockBytes ||
        s[6] != kBitsPerSample || (f.channels != 1 && f.channels != 2) || f.rate == 0 ||
        f.headerBytes < kMinHeaderBytes) {
        return AdpcmHeader::kRefused;
    }
    AdpcmCoefficients(f.cutoff, f.rate, f.c1, f.c2);
    return AdpcmHeader::kAccepted;
}

void AdpcmCoefficients(uint32_t cutoff, uint32_t rate, int& c1, int& c2) {
    const double pi = 3.14159265358979323846;
    const double a = std::sqrt(2.0) - std::cos((2.0 * pi) * cutoff / rate);
    const double b = std::sqrt(2.0) - 1.0;
    const double c = (a - std::sqrt((a + b) * (a - b))) / b;
    // Through single precision first: a value a hair above .5 can become an exact tie,
    // which then rounds to even (the default rounding mode).
    c1 = static_cast<int>(std::nearbyint(static_cast<float>(c * 2 * 4096)));
    c2 = static_cast<int>(std::nearbyint(static_cast<float>(-(c * c) * 4096)));
}

size_t AdpcmDecoder::Capacity(size_t len, int channels) {
    const size_t group = kBlockBytes * static_cast<size_t>(channels);
    return channels <= 0 ? 0 : (len + group - 1) / group * 4 * kSamplesPerBlock * channels;
}

void AdpcmDecoder::Reset() {
    *this = AdpcmDecoder();
}

size_t AdpcmDecoder::TakeHeader(const uint8_t* in, size_t len) {
    size_t used = 0;
    if (headerSeen_ < kPrefixBytes) {
        used = std::min(len, kPrefixBytes - headerSeen_);
        std::memcpy(prefix_.data() + headerSeen_, in, used);
        headerSeen_ += static_cast<uint32_t>(used);
        const AdpcmHeader h = ParseAdpcmHeader(prefix_.data(), headerSeen_, format_);
        if (h == AdpcmHeader::kRefused) {
            refused_ = true;
            return len;
        }
        if (h == AdpcmHeader::kNeedMore) {
            return used;
        }
    }
    // The rest of the header (version fields, padding, signature) is not needed.
    const size_t skip = std::min<size_t>(len - used, format_.headerBytes - headerSeen_);
    headerSeen_ += static_cast<uint32_t>(skip);
    headerDone_ = headerSeen_ == format_.headerBytes;
    return used + skip;
}

bool AdpcmDecoder::DecodeGroup(const uint8_t* group, uint8_t* out) {
    const int channels = format_.channels;
    for (int ch = 0; ch < channels; ++ch) {
        if (group[ch * kBlockBytes] & 0x80) {
            // The end marker: nothing from here on is sound, not even the left block of a
            // group whose right block is the marker.
            ended_ = true;
            return false;
        }
    }
    for (int ch = 0; ch < channels; ++ch) {
        const uint8_t* block = group + ch * kBlockBytes;
        const int32_t scale = Be16(block);
        int32_t h1 = h1_[ch];
        int32_t h2 = h2_[ch];
        uint8_t* o = out != nullptr ? out + 2 * ch : nullptr;
        for (size_t i = 0; i < kSamplesPerBlock; ++i) {
            const uint8_t byte = block[2 + i / 2];
            const int nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
            const int32_t d = nibble >= 8 ? nibble - 16 : nibble;
            const int32_t y =
                AdpcmSample(d, scale, AdpcmPrediction(format_.c1, format_.c2, h1, h2));
            h2 = h1;
            h1 = y;
            if (o != nullptr) {
                o[0] = static_cast<uint8_t>(y);
                o[1] = static_cast<uint8_t>(y >> 8);
                o += 2 * channels;
            }
        }
        h1_[ch] = h1;
        h2_[ch] = h2;
    }
    return true;
}

size_t AdpcmDecoder::Decode(const uint8_t* in, size_t len, uint8_t* out) {
    if (len == 0) {
        return 0;  // an empty chunk (its data may be no buffer at all)
    }
    if (!headerDone_ && !refused_) {
        const size_t used = TakeHeader(in, len);
        in += used;
        len -= used;
    }
    if (!headerDone_ || refused_ || ended_) {
        return 0;
    }
    const size_t group = kBlockBytes * static_cast<size_t>(format_.channels);
    const size_t groupOut = 2 * kSamplesPerBlock * static_cast<size_t>(format_.channels);
    size_t written = 0;
    auto emit = [&](const uint8_t* g) {
        if (!DecodeGroup(g, out != nullptr ? out + written : nullptr)) {
            return false;
        }
        written += groupOut;
        return true;
    };
    if (carried_ > 0) {
        const size_t take = std::min(len, group - carried_);
        std::memcpy(carry_.data() + carried_, in, take);
        carried_ += take;
        in += take;
        len -= take;
        if (carried_ < group) {
            return 0;
        }
        carried_ = 0;
        if (!emit(carry_.data())) {
            return written;
        }
    }
    for (; len >= group; in += group, len -= group) {
        if (!emit(in)) {
            return written;
        }
    }
    std::memcpy(carry_.data(), in, len);
    carried_ = len;
    return written;
}

}  // namespace lunavue::codec
