// Builds FILM movies and Cinepak frames for tests, byte by byte as the format lays them out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace lunavue::test {

using Bytes = std::vector<uint8_t>;

// Appends [first, last) by growing the vector first: GCC 12 at -O3 warns of out-of-bounds
// copies (falsely) inside vector::insert and push_back on a vector that starts empty.
template <typename It>
inline void Append(Bytes& b, It first, It last) {
    const size_t at = b.size();
    b.resize(at + static_cast<size_t>(std::distance(first, last)));
    std::copy(first, last, b.begin() + static_cast<ptrdiff_t>(at));
}
inline void Append(Bytes& b, const Bytes& more) {
    Append(b, more.begin(), more.end());
}

inline void Put16(Bytes& b, uint32_t v) {
    const uint8_t two[] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    Append(b, std::begin(two), std::end(two));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}
inline void Set32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
}

// A Cinepak chunk: id, size including its 4-byte header, body.
inline Bytes Chunk(uint16_t id, const Bytes& body) {
    Bytes c;
    Put16(c, id);
    Put16(c, static_cast<uint32_t>(body.size() + 4));
    Append(c, body);
    return c;
}

// A strip of the given coded size (coordinates relative to the strip), made of chunks.
inline Bytes Strip(uint16_t id, int width, int height, const std::vector<Bytes>& chunks) {
    Bytes body;
    for (const Bytes& c : chunks) {
        Append(body, c);
    }
    Bytes s;
    Put16(s, id);
    Put16(s, static_cast<uint32_t>(body.size() + 12));
    Put16(s, 0);
    Put16(s, 0);
    Put16(s, static_cast<uint32_t>(height));
    Put16(s, static_cast<uint32_t>(width));
    Append(s, body);
    return s;
}

// A video sample as stored in a FILM file: the 10-byte frame header (its length field 8
// short of the sample, as the files carry it), two extra bytes, then the strips.
inline Bytes StoredFrame(uint8_t flags, int width, int height, const std::vector<Bytes>& strips) {
    Bytes body;
    for (const Bytes& s : strips) {
        Append(body, s);
    }
    const uint32_t sampleLength = static_cast<uint32_t>(12 + body.size());
    const uint32_t len = sampleLength - 8;
    Bytes f(12, 0);
    f[0] = flags;
    f[1] = static_cast<uint8_t>(len >> 16);
    f[2] = static_cast<uint8_t>(len >> 8);
    f[3] = static_cast<uint8_t>(len);
    f[4] = static_cast<uint8_t>(width >> 8);
    f[5] = static_cast<uint8_t>(width);
    f[6] = static_cast<uint8_t>(height >> 8);
    f[7] = static_cast<uint8_t>(height);
    f[8] = static_cast<uint8_t>(strips.size() >> 8);
    f[9] = static_cast<uint8_t>(strips.size());
    Append(f, body);
    return f;
}

// A one-strip key frame painted in a single grey level: every pixel tells which frame it is.
inline Bytes GreyFrame(int level, int w = 8, int h = 8) {
    Bytes book = {static_cast<uint8_t>(level),
                  static_cast<uint8_t>(level),
                  static_cast<uint8_t>(level),
                  static_cast<uint8_t>(level),
                  0,
                  0};
    Bytes vectors(static_cast<size_t>((w + 3) / 4) * static_cast<size_t>((h + 3) / 4), 0);
    return StoredFrame(0, w, h,
                       {Strip(0x1000, w, h, {Chunk(0x2200, book), Chunk(0x3200, vectors)})});
}

struct FilmSample {
    bool audio;
    Bytes data;
    uint32_t timestamp = 0;  // video only
    uint32_t duration = 1;
};

// Stored frames in the other layouts: a plain Cinepak frame (no bytes between the header and
// the strips, the length that of the whole frame), and one with the six bytes FE 00 00 06 00
// 00 there (the length 8 short of the sample, as version-0 files carry it).
inline Bytes PlainFrame(const Bytes& stored) {
    Bytes f(stored.begin(), stored.begin() + 10);
    Append(f, stored.begin() + 12, stored.end());
    f[1] = static_cast<uint8_t>(f.size() >> 16);
    f[2] = static_cast<uint8_t>(f.size() >> 8);
    f[3] = static_cast<uint8_t>(f.size());
    return f;
}
inline Bytes SixByteFrame(const Bytes& stored) {
    Bytes f(stored.size() + 4, 0);
    std::copy(stored.begin(), stored.begin() + 10, f.begin());
    f[10] = 0xFE;
    f[13] = 0x06;
    std::copy(stored.begin() + 12, stored.end(), f.begin() + 16);
    const size_t len = f.size() - 8;
    f[1] = static_cast<uint8_t>(len >> 16);
    f[2] = static_cast<uint8_t>(len >> 8);
    f[3] = static_cast<uint8_t>(len);
    return f;
}

struct FilmMovie {
    std::string codec = "cvid";
    Bytes version = {'1', '.', '0', '9'};  // bytes 8 to 11; 0 0 0 0 for the version-0 layout
    uint32_t descriptor = 32;              // FDSC length: 32, or 20 without the sound fields
    uint8_t pictureBits = 24;
    uint32_t width = 8;
    uint32_t height = 8;
    uint8_t channels = 0;
    uint8_t bits = 0;
    uint16_t rate = 0;
    uint8_t codingByte = 0;  // the sound compression byte: 0 PCM, 2 ADPCM
    uint32_t baseFrequency = 10;
    int64_t entryCountOverride = -1;            // >= 0: the header's entry count says this instead
    std::map<size_t, uint32_t> lengthOverride;  // table lengths that lie about their data
    std::vector<FilmSample> samples;

    // A frame that starts where the frame before it ends.
    void Video(Bytes data, uint32_t duration = 1) {
        uint32_t ts = 0;
        for (auto it = samples.rbegin(); it != samples.rend(); ++it) {
            if (!it->audio) {
                ts = (it->timestamp & 0x00FFFFFF) + it->duration;
                break;
            }
        }
        samples.push_back({false, std::move(data), ts, duration});
    }
    void Audio(Bytes data) { samples.push_back({true, std::move(data), 0, 0}); }

    Bytes Build() const {
        const uint32_t n = static_cast<uint32_t>(samples.size());
        const uint32_t headerLength = 16 + descriptor + 16 + 16 * n;
        Bytes b;
        b.insert(b.end(), {'F', 'I', 'L', 'M'});
        Put32(b, headerLength);
        Append(b, version);
        b.insert(b.end(), 4, 0);
        b.insert(b.end(), {'F', 'D', 'S', 'C'});
        Put32(b, descriptor);
        Append(b, codec.begin(), codec.begin() + 4);
        Put32(b, height);
        Put32(b, width);
        if (descriptor >= 32) {
            b.push_back(pictureBits);
            b.push_back(channels);
            b.push_back(bits);
            b.push_back(codingByte);
            Put16(b, rate);
            b.insert(b.end(), descriptor - 26, 0);
        } else {
            b.insert(b.end(), descriptor - 20, 0);
        }
        b.insert(b.end(), {'S', 'T', 'A', 'B'});
        Put32(b, 16 + 16 * n);
        Put32(b, baseFrequency);
        Put32(b, entryCountOverride >= 0 ? static_cast<uint32_t>(entryCountOverride) : n);
        uint32_t offset = 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            const FilmSample& s = samples[i];
            Put32(b, offset);
            auto lie = lengthOverride.find(i);
            Put32(b,
                  lie != lengthOverride.end() ? lie->second : static_cast<uint32_t>(s.data.size()));
            Put32(b, s.audio ? 0xFFFFFFFFu : s.timestamp);
            Put32(b, s.duration);
            offset += static_cast<uint32_t>(s.data.size());
        }
        for (const FilmSample& s : samples) {
            Append(b, s.data.begin(), s.data.end());
        }
        return b;
    }

    void Save(const std::string& path) const {
        Bytes b = Build();
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    }
};

// The colour the format defines for luminance y and chroma u, v, as blue, green, red.
struct Bgr {
    uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};
inline Bgr Colour(int y, int u, int v) {
    auto clamp = [](int x) { return static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x); };
    return {clamp(y + 2 * u), clamp(y - u / 2 - v), clamp(y + 2 * v)};
}

}  // namespace lunavue::test
