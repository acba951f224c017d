#include "platform/codec/Cinepak.h"

#include <algorithm>
#include <cstring>

namespace lunavue::codec {
namespace {

constexpr uint32_t kMaxDimension = 4096;

inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}
inline uint32_t Be32(const uint8_t* p) { return Be24(p) << 8 | p[3]; }

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// One pixel in the picture's byte order: blue, green, red.
inline void Colour(uint8_t* px, int y, int u, int v) {
    px[0] = Clamp(y + 2 * u);
    px[1] = Clamp(y - u / 2 - v);  // u / 2 rounds toward zero, as the format wants
    px[2] = Clamp(y + 2 * v);
}

}  // namespace

// Where a strip paints: the picture's bits, its size and row stride, and the strip's rows.
struct CinepakDecompressor::Target {
    uint8_t* bits;
    int width;
    int height;
    size_t stride;
    int top;          // first picture row of the strip
    int stripWidth;   // coded size of the strip
    int stripHeight;

    // Bytes of picture row y (rows are stored bottom-up).
    uint8_t* Row(int y) const { return bits + static_cast<size_t>(height - 1 - y) * stride; }
};

std::unique_ptr<CinepakDecompressor> CinepakDecompressor::Locate(const BITMAPINFOHEADER& in,
                                                                 const BITMAPINFOHEADER& out) {
    if (in.biCompression != FourCC("cvid") || out.biCompression != 0 || out.biBitCount != 24 ||
        out.biWidth <= 0 || out.biHeight <= 0 || static_cast<uint32_t>(out.biWidth) > kMaxDimension ||
        static_cast<uint32_t>(out.biHeight) > kMaxDimension) {
        return nullptr;
    }
    return std::unique_ptr<CinepakDecompressor>(new CinepakDecompressor());
}

void CinepakDecompressor::Begin(const BITMAPINFOHEADER&, const BITMAPINFOHEADER&) {
    strips_ = {};
}

void CinepakDecompressor::LoadCodebook(const uint8_t* p, size_t size, uint16_t id,
                                       Codebooks& books) {
    const bool v1 = (id & 0x0200) != 0;
    const bool partial = (id & 0x0100) != 0;
    const size_t entrySize = (id & 0x0400) ? 4 : 6;
    const uint8_t* end = p + size;

    auto store = [&](int index, const uint8_t* e) {
        int u = entrySize == 6 ? static_cast<int8_t>(e[4]) : 0;
        int v = entrySize == 6 ? static_cast<int8_t>(e[5]) : 0;
        uint8_t c[4][3];
        for (int i = 0; i < 4; ++i) {
            Colour(c[i], e[i], u, v);
        }
        if (v1) {
            V1Entry& d = books.v1[index];
            // Each luminance covers a 2x2 quadrant of the block.
            for (int i = 0; i < 2; ++i) {
                std::memcpy(d.top + 6 * i, c[i], 3);
                std::memcpy(d.top + 6 * i + 3, c[i], 3);
                std::memcpy(d.bottom + 6 * i, c[2 + i], 3);
                std::memcpy(d.bottom + 6 * i + 3, c[2 + i], 3);
            }
        } else {
            V4Entry& d = books.v4[index];
            std::memcpy(d.top, c[0], 3);
            std::memcpy(d.top + 3, c[1], 3);
            std::memcpy(d.bottom, c[2], 3);
            std::memcpy(d.bottom + 3, c[3], 3);
        }
    };

    if (!partial) {
        for (int index = 0; index < 256 && static_cast<size_t>(end - p) >= entrySize; ++index) {
            store(index, p);
            p += entrySize;
        }
        return;
    }
    int index = 0;
    while (index < 256 && end - p >= 4) {
        uint32_t mask = Be32(p);
        p += 4;
        for (int bit = 0; bit < 32 && index < 256; ++bit, ++index) {
            if (mask & (0x80000000u >> bit)) {
                if (static_cast<size_t>(end - p) < entrySize) {
                    return;
                }
                store(index, p);
                p += entrySize;
            }
        }
    }
}

namespace {

// Flag bits taken most significant first from big-endian 32-bit words.
class FlagReader {
public:
    FlagReader(const uint8_t*& p, const uint8_t* end) : p_(p), end_(end) {}
    // Returns 0 or 1, or -1 when the data are used up.
    int Next() {
        if (left_ == 0) {
            if (end_ - p_ < 4) {
                return -1;
            }
            word_ = Be32(p_);
            p_ += 4;
            left_ = 32;
        }
        --left_;
        return static_cast<int>((word_ >> left_) & 1);
    }

private:
    const uint8_t*& p_;
    const uint8_t* end_;
    uint32_t word_ = 0;
    int left_ = 0;
};

// Paints a 4x4 block whose rows are given by row(i) (12 bytes each), clipped to the picture.
template <typename RowFn>
inline void PaintBlock(uint8_t* const rows[4], int columns, RowFn row) {
    for (int i = 0; i < 4; ++i) {
        if (rows[i] != nullptr) {
            std::memcpy(rows[i], row(i), static_cast<size_t>(columns) * 3);
        }
    }
}

}  // namespace

bool CinepakDecompressor::DecodeVectors(const uint8_t* p, size_t size, uint16_t id,
                                        const Codebooks& books, const Target& t) {
    const uint8_t* end = p + size;
    const int kind = id >> 8;  // 0x30 key, 0x31 inter, 0x32 all V1
    FlagReader flags(p, end);
    const int blocksX = (t.stripWidth + 3) / 4;
    const int blocksY = (t.stripHeight + 3) / 4;
    for (int by = 0; by < blocksY; ++by) {
        const int y0 = t.top + by * 4;
        if (y0 >= t.height) {
            // The rest of the strip lies below the picture; nothing more can be painted.
            return true;
        }
        uint8_t* rowStart[4];
        for (int i = 0; i < 4; ++i) {
            rowStart[i] = y0 + i < t.height ? t.Row(y0 + i) : nullptr;
        }
        for (int bx = 0; bx < blocksX; ++bx) {
            int coded = 1;
            bool v4 = false;
            if (kind == 0x31) {
                coded = flags.Next();
                if (coded < 0) {
                    return false;
                }
            }
            if (coded == 0) {
                continue;
            }
            if (kind != 0x32) {
                int f = flags.Next();
                if (f < 0) {
                    return false;
                }
                v4 = f == 1;
            }
            const int x0 = bx * 4;
            const int columns = std::min(4, t.width - x0);
            if (v4) {
                if (end - p < 4) {
                    return false;
                }
                const V4Entry* q[4] = {&books.v4[p[0]], &books.v4[p[1]], &books.v4[p[2]],
                                       &books.v4[p[3]]};
                p += 4;
                if (columns <= 0) {
                    continue;
                }
                if (columns == 4 && rowStart[3] != nullptr) {
                    uint8_t* d = rowStart[0] + x0 * 3;
                    std::memcpy(d, q[0]->top, 6);
                    std::memcpy(d + 6, q[1]->top, 6);
                    d = rowStart[1] + x0 * 3;
                    std::memcpy(d, q[0]->bottom, 6);
                    std::memcpy(d + 6, q[1]->bottom, 6);
                    d = rowStart[2] + x0 * 3;
                    std::memcpy(d, q[2]->top, 6);
                    std::memcpy(d + 6, q[3]->top, 6);
                    d = rowStart[3] + x0 * 3;
                    std::memcpy(d, q[2]->bottom, 6);
                    std::memcpy(d + 6, q[3]->bottom, 6);
                } else {
                    uint8_t line[4][12];
                    for (int i = 0; i < 2; ++i) {
                        std::memcpy(line[0] + 6 * i, q[i]->top, 6);
                        std::memcpy(line[1] + 6 * i, q[i]->bottom, 6);
                        std::memcpy(line[2] + 6 * i, q[2 + i]->top, 6);
                        std::memcpy(line[3] + 6 * i, q[2 + i]->bottom, 6);
                    }
                    uint8_t* dst[4];
                    for (int i = 0; i < 4; ++i) {
                        dst[i] = rowStart[i] ? rowStart[i] + x0 * 3 : nullptr;
                    }
                    PaintBlock(dst, columns, [&](int i) { return line[i]; });
                }
            } else {
                if (end - p < 1) {
                    return false;
                }
                const V1Entry& e = books.v1[*p++];
                if (columns <= 0) {
                    continue;
                }
                if (columns == 4 && rowStart[3] != nullptr) {
                    std::memcpy(rowStart[0] + x0 * 3, e.top, 12);
                    std::memcpy(rowStart[1] + x0 * 3, e.top, 12);
                    std::memcpy(rowStart[2] + x0 * 3, e.bottom, 12);
                    std::memcpy(rowStart[3] + x0 * 3, e.bottom, 12);
                } else {
                    uint8_t* dst[4];
                    for (int i = 0; i < 4; ++i) {
                        dst[i] = rowStart[i] ? rowStart[i] + x0 * 3 : nullptr;
                    }
                    PaintBlock(dst, columns, [&](int i) { return i < 2 ? e.top : e.bottom; });
                }
            }
        }
    }
    return true;
}

bool CinepakDecompressor::DecodeStrip(const uint8_t* p, size_t size, Codebooks& books,
                                      const Target& t) {
    const uint8_t* end = p + size;
    while (end - p >= 4) {
        const uint16_t id = Be16(p);
        const uint16_t chunkSize = Be16(p + 2);
        if (chunkSize < 4 || chunkSize > end - p) {
            return false;
        }
        const uint8_t* body = p + 4;
        const size_t bodySize = chunkSize - 4u;
        const int kind = id >> 8;
        if (kind >= 0x20 && kind <= 0x27) {
            LoadCodebook(body, bodySize, id, books);
        } else if (kind == 0x30 || kind == 0x31 || kind == 0x32) {
            if (!DecodeVectors(body, bodySize, id, books, t)) {
                return false;
            }
        }
        p += chunkSize;
    }
    return true;
}

bool CinepakDecompressor::Decompress(const BITMAPINFOHEADER& in, const uint8_t* data,
                                     const BITMAPINFOHEADER& out, uint8_t* bits) {
    if (data == nullptr || bits == nullptr || out.biWidth <= 0 || out.biHeight <= 0 ||
        static_cast<uint32_t>(out.biWidth) > kMaxDimension ||
        static_cast<uint32_t>(out.biHeight) > kMaxDimension) {
        return false;
    }
    const size_t stride = PictureStride(static_cast<uint32_t>(out.biWidth));
    if (out.biSizeImage < stride * static_cast<size_t>(out.biHeight)) {
        return false;
    }
    size_t avail = in.biSizeImage;
    if (avail < 10) {
        return false;
    }
    const uint8_t flags = data[0];
    const size_t frameLength = Be24(data + 1);
    const size_t limit = std::min(avail, frameLength);
    const int stripCount = Be16(data + 8);
    const uint8_t* p = data + 10;
    const uint8_t* end = data + std::max<size_t>(limit, 10);

    Target t{bits, out.biWidth, out.biHeight, stride, 0, 0, 0};
    bool sound = true;
    for (int s = 0; s < stripCount; ++s) {
        if (s >= kMaxStrips || end - p < 12) {
            return false;
        }
        const uint16_t stripSize = Be16(p + 2);
        const int top = Be16(p + 4);
        const int left = Be16(p + 6);
        const int bottom = Be16(p + 8);
        const int right = Be16(p + 10);
        if (stripSize < 12 || bottom < top || right < left) {
            return false;
        }
        if (s > 0 && !(flags & 1)) {
            strips_[s] = strips_[s - 1];
        }
        t.stripWidth = right - left;
        t.stripHeight = bottom - top;
        const size_t size = std::min<size_t>(stripSize, static_cast<size_t>(end - p));
        // A damaged strip ends where its damage starts; the next strip still decodes.
        sound = DecodeStrip(p + 12, size - 12, strips_[s], t) && sound;
        t.top += t.stripHeight;
        if (stripSize > end - p) {
            return false;
        }
        p += stripSize;
    }
    return sound;
}

}  // namespace lunavue::codec
