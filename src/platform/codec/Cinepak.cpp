#include "platform/codec/Cinepak.h"

#include <algorithm>
#include <cstring>

#include "platform/BigEndian.h"

namespace lunavue::codec {
namespace {

constexpr uint32_t kMaxDimension = 4096;

// Clamps -512 ... 511 to a byte without a branch: kClamp[v + 512].
struct ClampTable {
    uint8_t v[1024];
    constexpr ClampTable() : v() {
        for (int i = 0; i < 1024; ++i) {
            int x = i - 512;
            v[i] = static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x));
        }
    }
};
constexpr ClampTable kClamp;

// The colour offsets an entry's chroma adds to each luminance, in the picture's byte order
// (blue, green, red): b = y + 2u, g = y - u/2 - v, r = y + 2v, where u/2 rounds toward zero.
struct Chroma {
    int b, g, r;
    Chroma(int u, int v) : b(2 * u + 512), g(-(u / 2) - v + 512), r(2 * v + 512) {}
    void Paint(uint8_t* px, int y) const {
        px[0] = kClamp.v[y + b];
        px[1] = kClamp.v[y + g];
        px[2] = kClamp.v[y + r];
    }
};

}  // namespace

// Where a strip paints: the picture's bits, its size and row stride, and the strip's rows.
struct CinepakDecompressor::Target {
    uint8_t* bits;
    int width;
    int height;
    size_t stride;
    int top;         // first picture row of the strip
    int stripWidth;  // coded size of the strip
    int stripHeight;

    // Bytes of picture row y (rows are stored bottom-up).
    uint8_t* Row(int y) const { return bits + static_cast<size_t>(height - 1 - y) * stride; }
    // The four rows of the blocks at row y0, null below the picture; true when all are in it.
    bool BlockRows(int y0, uint8_t* rows[4]) const {
        for (int i = 0; i < 4; ++i) {
            rows[i] = y0 + i < height ? Row(y0 + i) : nullptr;
        }
        return rows[3] != nullptr;
    }
};

std::unique_ptr<CinepakDecompressor> CinepakDecompressor::Locate(const BITMAPINFOHEADER& in,
                                                                 const BITMAPINFOHEADER& out) {
    if (in.biCompression != FourCC("cvid") || out.biCompression != 0 || out.biBitCount != 24 ||
        out.biWidth <= 0 || out.biHeight <= 0 ||
        static_cast<uint32_t>(out.biWidth) > kMaxDimension ||
        static_cast<uint32_t>(out.biHeight) > kMaxDimension) {
        return nullptr;
    }
    return std::unique_ptr<CinepakDecompressor>(new CinepakDecompressor());
}

void CinepakDecompressor::Begin(const BITMAPINFOHEADER&, const BITMAPINFOHEADER&) {
    strips_ = {};
}

namespace {

// Stores one codebook entry (4 luminances, then u and v in 12-bit mode) as the pixels it
// paints.
template <bool kV1, bool kColour, typename Books>
inline __attribute__((always_inline)) void StoreEntry(Books& books, int index, const uint8_t* e) {
    const Chroma c =
        kColour ? Chroma(static_cast<int8_t>(e[4]), static_cast<int8_t>(e[5])) : Chroma(0, 0);
    if constexpr (kV1) {
        // Each luminance covers a 2x2 quadrant of the block.
        auto& d = books.v1[index];
        c.Paint(d.top, e[0]);
        c.Paint(d.top + 6, e[1]);
        c.Paint(d.bottom, e[2]);
        c.Paint(d.bottom + 6, e[3]);
        std::memcpy(d.top + 3, d.top, 3);
        std::memcpy(d.top + 9, d.top + 6, 3);
        std::memcpy(d.bottom + 3, d.bottom, 3);
        std::memcpy(d.bottom + 9, d.bottom + 6, 3);
    } else {
        auto& d = books.v4[index];
        c.Paint(d.top, e[0]);
        c.Paint(d.top + 3, e[1]);
        c.Paint(d.bottom, e[2]);
        c.Paint(d.bottom + 3, e[3]);
    }
}

// A full load fills entries 0, 1, 2, ... while whole entries remain. A partial update reads
// 32-bit masks: for each bit, most significant first, a set bit replaces the entry at the
// current index with the next one in the chunk; the index advances for every bit.
template <bool kV1, bool kColour, typename Books>
void LoadEntries(const uint8_t* p, const uint8_t* end, bool partial, Books& books) {
    constexpr ptrdiff_t kEntrySize = kColour ? 6 : 4;
    if (!partial) {
        for (int index = 0; index < 256 && end - p >= kEntrySize; ++index, p += kEntrySize) {
            StoreEntry<kV1, kColour>(books, index, p);
        }
        return;
    }
    int index = 0;
    while (index < 256 && end - p >= 4) {
        const uint32_t mask = Be32(p);
        p += 4;
        for (int bit = 0; bit < 32 && index < 256; ++bit, ++index) {
            if (mask & (0x80000000u >> bit)) {
                if (end - p < kEntrySize) {
                    return;
                }
                StoreEntry<kV1, kColour>(books, index, p);
                p += kEntrySize;
            }
        }
    }
}

}  // namespace

void CinepakDecompressor::LoadCodebook(const uint8_t* p, size_t size, uint16_t id,
                                       Codebooks& books) {
    const bool v1 = (id & 0x0200) != 0;
    const bool partial = (id & 0x0100) != 0;
    const bool colour = (id & 0x0400) == 0;  // 12-bit entries carry u and v
    const uint8_t* end = p + size;
    if (v1) {
        colour ? LoadEntries<true, true>(p, end, partial, books)
               : LoadEntries<true, false>(p, end, partial, books);
    } else {
        colour ? LoadEntries<false, true>(p, end, partial, books)
               : LoadEntries<false, false>(p, end, partial, books);
    }
}

namespace {

// Paints a 4x4 block whose rows are given by row(i) (12 bytes each), clipped to the picture.
template <typename RowFn>
inline void PaintClipped(uint8_t* const rows[4], int x0, int columns, RowFn row) {
    for (int i = 0; i < 4; ++i) {
        if (rows[i] != nullptr) {
            std::memcpy(rows[i] + x0 * 3, row(i), static_cast<size_t>(columns) * 3);
        }
    }
}

}  // namespace

// Takes the next 32 flag bits of a vector chunk; false when the chunk has no more.
inline bool RefillFlags(const uint8_t*& p, const uint8_t* end, uint32_t& word, int& left) {
    if (end - p < 4) {
        return false;
    }
    word = Be32(p);
    p += 4;
    left = 32;
    return true;
}

// A block of four V4 entries, one a quadrant, at x0 of these rows: whole, or clipped to the
// picture's width and the rows there are.
inline __attribute__((always_inline)) void CinepakDecompressor::PaintV4(
    uint8_t* const rows[4], int x0, bool whole, int width, const V4Entry& q0, const V4Entry& q1,
    const V4Entry& q2, const V4Entry& q3) {
    if (whole) {
        std::memcpy(rows[0] + x0 * 3, q0.top, 6);
        std::memcpy(rows[0] + x0 * 3 + 6, q1.top, 6);
        std::memcpy(rows[1] + x0 * 3, q0.bottom, 6);
        std::memcpy(rows[1] + x0 * 3 + 6, q1.bottom, 6);
        std::memcpy(rows[2] + x0 * 3, q2.top, 6);
        std::memcpy(rows[2] + x0 * 3 + 6, q3.top, 6);
        std::memcpy(rows[3] + x0 * 3, q2.bottom, 6);
        std::memcpy(rows[3] + x0 * 3 + 6, q3.bottom, 6);
    } else if (x0 < width) {
        uint8_t line[4][12];
        std::memcpy(line[0], q0.top, 6);
        std::memcpy(line[0] + 6, q1.top, 6);
        std::memcpy(line[1], q0.bottom, 6);
        std::memcpy(line[1] + 6, q1.bottom, 6);
        std::memcpy(line[2], q2.top, 6);
        std::memcpy(line[2] + 6, q3.top, 6);
        std::memcpy(line[3], q2.bottom, 6);
        std::memcpy(line[3] + 6, q3.bottom, 6);
        PaintClipped(rows, x0, std::min(4, width - x0), [&](int i) { return line[i]; });
    }
}

// A block of one V1 entry, each of its pixels a 2x2 square.
inline __attribute__((always_inline)) void CinepakDecompressor::PaintV1(uint8_t* const rows[4],
                                                                        int x0, bool whole,
                                                                        int width,
                                                                        const V1Entry& e) {
    if (whole) {
        std::memcpy(rows[0] + x0 * 3, e.top, 12);
        std::memcpy(rows[1] + x0 * 3, e.top, 12);
        std::memcpy(rows[2] + x0 * 3, e.bottom, 12);
        std::memcpy(rows[3] + x0 * 3, e.bottom, 12);
    } else if (x0 < width) {
        PaintClipped(rows, x0, std::min(4, width - x0),
                     [&](int i) { return i < 2 ? e.top : e.bottom; });
    }
}

// Paints the strip's blocks in raster order. Kind 0x30: one flag bit a block, 1 = V4 and
// 0 = V1; kind 0x31: a first bit 0 keeps the block, 1 codes it and a second bit picks V4
// or V1; kind 0x32: every block is V1. Flag bits come most significant first from
// big-endian 32-bit words. Runs of kept blocks are skipped a whole run at a time.
template <int Kind>
bool CinepakDecompressor::DecodeVectors(const uint8_t* p, const uint8_t* end,
                                        const Codebooks& books, const Target& t) {
    uint32_t word = 0;  // the unread flag bits, the next one at bit 31
    int left = 0;       // how many unread flag bits word holds
    auto refill = [&]() { return RefillFlags(p, end, word, left); };
    const int blocksX = (t.stripWidth + 3) / 4;
    const int blocksY = (t.stripHeight + 3) / 4;
    const int fullBlocks = std::min(blocksX, t.width / 4);  // blocks wholly inside the picture
    for (int by = 0; by < blocksY; ++by) {
        const int y0 = t.top + by * 4;
        if (y0 >= t.height) {
            return true;  // the rest of the strip lies below the picture
        }
        uint8_t* rows[4];
        const bool fullHeight = t.BlockRows(y0, rows);
        for (int bx = 0; bx < blocksX; ++bx) {
            if constexpr (Kind == 0x31) {
                if (left == 0 && !refill()) {
                    return false;
                }
                if ((word & 0x80000000u) == 0) {
                    const int zeros = word == 0 ? left : std::min(left, __builtin_clz(word));
                    const int run = std::min(zeros, blocksX - bx);
                    word = run >= 32 ? 0 : word << run;
                    left -= run;
                    bx += run - 1;
                    continue;
                }
                word <<= 1;
                --left;
            }
            bool v4 = false;
            if constexpr (Kind != 0x32) {
                if (left == 0 && !refill()) {
                    return false;
                }
                v4 = (word & 0x80000000u) != 0;
                word <<= 1;
                --left;
            }
            const int x0 = bx * 4;
            if (v4) {
                if (end - p < 4) {
                    return false;
                }
                const uint8_t* q = p;
                p += 4;
                PaintV4(rows, x0, bx < fullBlocks && fullHeight, t.width, books.v4[q[0]],
                        books.v4[q[1]], books.v4[q[2]], books.v4[q[3]]);
            } else {
                if (end - p < 1) {
                    return false;
                }
                PaintV1(rows, x0, bx < fullBlocks && fullHeight, t.width, books.v1[*p++]);
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
            const uint8_t* bodyEnd = body + bodySize;
            const bool ok = kind == 0x30   ? DecodeVectors<0x30>(body, bodyEnd, books, t)
                            : kind == 0x31 ? DecodeVectors<0x31>(body, bodyEnd, books, t)
                                           : DecodeVectors<0x32>(body, bodyEnd, books, t);
            if (!ok) {
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
