#include "platform/codec/AdpcmEncoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/BigEndian.h"
#include "platform/codec/Adpcm.h"

namespace lunavue::codec {
namespace {

constexpr size_t kSamples = AdpcmDecoder::kSamplesPerBlock;

// Codes 32 samples at scale s from the histories; the squared error, and (when asked) the
// nibbles and the histories after.
int64_t Code(const int16_t* x, int stride, int32_t s, int c1, int c2, int32_t& h1, int32_t& h2,
             uint8_t* nibbles) {
    int64_t error = 0;
    for (size_t i = 0; i < kSamples; ++i) {
        const int32_t p = AdpcmPrediction(c1, c2, h1, h2);
        const int32_t want = x[static_cast<ptrdiff_t>(i) * stride];
        int d = 0;
        if (s != 0) {
            const int32_t diff = want - p;
            d = static_cast<int>(
                std::clamp<int64_t>((diff >= 0 ? diff + s / 2 : diff - s / 2) / s, -8, 7));
        }
        const int32_t y = AdpcmSample(d, s, p);
        error += int64_t{want - y} * (want - y);
        if (nibbles != nullptr) {
            nibbles[i] = static_cast<uint8_t>(d & 0xF);
        }
        h2 = h1;
        h1 = y;
    }
    return error;
}

}  // namespace

AdpcmEncoder::AdpcmEncoder(int channels, uint32_t rate, uint32_t totalSamples)
    : channels_(std::clamp(channels, 1, 2)), rate_(rate), total_(totalSamples) {
    AdpcmCoefficients(kCutoff, rate_, c1_, c2_);
}

void AdpcmEncoder::Put(const int16_t* samples, size_t frames, std::vector<uint8_t>& out) {
    if (!headerOut_) {
        // Magic, the data at 36, type 3, 18-byte blocks of 4-bit samples, the channels, the
        // rate, the samples a channel, the cutoff, version 3; then the format's signature,
        // ending where the data start (other readers look for it there).
        std::array<uint8_t, kHeaderBytes> h{};
        const uint8_t start[8] = {0x80, 0x00, 0x00, 0x20,
                                  3,    18,   4,    static_cast<uint8_t>(channels_)};
        std::memcpy(h.data(), start, sizeof start);
        PutBe32(h.data() + 8, rate_);
        PutBe32(h.data() + 12, total_);
        PutBe16(h.data() + 16, kCutoff);
        h[18] = 3;
        std::memcpy(h.data() + kHeaderBytes - 6, "(c)CRI", 6);
        out.insert(out.end(), h.begin(), h.end());
        headerOut_ = true;
    }
    if (frames != 0) {
        waiting_.insert(waiting_.end(), samples, samples + frames * static_cast<size_t>(channels_));
    }
    const size_t group = kSamples * static_cast<size_t>(channels_);
    size_t at = 0;
    for (; waiting_.size() - at >= group; at += group) {
        Group(waiting_.data() + at, out);
    }
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<ptrdiff_t>(at));
}

void AdpcmEncoder::Finish(std::vector<uint8_t>& out) {
    if (!headerOut_) {
        Put(nullptr, 0, out);
    }
    if (!waiting_.empty()) {
        waiting_.resize(kSamples * static_cast<size_t>(channels_), 0);
        Group(waiting_.data(), out);
        waiting_.clear();
    }
    const uint8_t marker[AdpcmDecoder::kBlockBytes] = {0x80, 0x01, 0x00, 0x0E};
    out.insert(out.end(), marker, marker + sizeof marker);
}

void AdpcmEncoder::Group(const int16_t* samples, std::vector<uint8_t>& out) {
    for (int c = 0; c < channels_; ++c) {
        Block(c, samples, out);
    }
}

// The scale the largest prediction error asks for, and its neighbours; the one that
// decodes closest is kept.
void AdpcmEncoder::Block(int channel, const int16_t* samples, std::vector<uint8_t>& out) {
    const int16_t* x = samples + channel;
    int32_t h1 = h1_[static_cast<size_t>(channel)], h2 = h2_[static_cast<size_t>(channel)];
    int32_t largest = 0;
    {
        int32_t a = h1, b = h2;
        for (size_t i = 0; i < kSamples; ++i) {
            const int32_t p = AdpcmPrediction(c1_, c2_, a, b);
            const int32_t want = x[static_cast<ptrdiff_t>(i) * channels_];
            largest = std::max(largest, std::abs(want - p));
            b = a;
            a = want;
        }
    }
    const int32_t guess = (largest + 6) / 7;
    int32_t best = 0;
    int64_t bestError = INT64_MAX;
    for (const int tenths : {6, 8, 10, 12, 15, 20}) {
        const int32_t s = std::min<int32_t>(0x7FFF, guess * tenths / 10);
        int32_t a = h1, b = h2;
        const int64_t e = Code(x, channels_, s, c1_, c2_, a, b, nullptr);
        if (e < bestError) {
            bestError = e;
            best = s;
        }
    }
    uint8_t nibbles[kSamples];
    Code(x, channels_, best, c1_, c2_, h1, h2, nibbles);
    h1_[static_cast<size_t>(channel)] = h1;
    h2_[static_cast<size_t>(channel)] = h2;
    out.push_back(static_cast<uint8_t>(best >> 8));
    out.push_back(static_cast<uint8_t>(best));
    for (size_t i = 0; i < kSamples; i += 2) {
        out.push_back(static_cast<uint8_t>(nibbles[i] << 4 | nibbles[i + 1]));
    }
}

}  // namespace lunavue::codec
