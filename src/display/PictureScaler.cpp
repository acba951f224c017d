#include "display/PictureScaler.h"

#include <cstring>

namespace lunavue {
namespace {

// One picture pixel (blue, green, red) as a shown one (0xFFRRGGBB). Reading four bytes at
// once gives the three in place; the fourth belongs to the next pixel and is masked off.
inline uint32_t Pixel4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return 0xFF000000u | (v & 0x00FFFFFFu);
}
inline uint32_t Pixel3(const uint8_t* p) {
    return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// A picture row written n times wider: each pixel as n shown pixels. The row's last pixel
// is read byte by byte: four bytes would reach past the picture at its end.
template <int N>
void WideRow(const uint8_t* row, int sw, uint32_t* out) {
    for (int x = 0; x + 1 < sw; ++x) {
        const uint32_t px = Pixel4(row + 3 * x);
        for (int k = 0; k < N; ++k) {
            *out++ = px;
        }
    }
    for (int k = 0; k < N; ++k) {
        *out++ = Pixel3(row + 3 * (sw - 1));
    }
}

void WideRow(const uint8_t* row, int sw, int n, uint32_t* out) {
    switch (n) {  // the usual sizes, each in a loop the compiler can see through
        case 1:
            return WideRow<1>(row, sw, out);
        case 2:
            return WideRow<2>(row, sw, out);
        case 3:
            return WideRow<3>(row, sw, out);
        default:
            for (int x = 0; x < sw; ++x) {
                const uint32_t px = x + 1 < sw ? Pixel4(row + 3 * x) : Pixel3(row + 3 * x);
                for (int k = 0; k < n; ++k) {
                    *out++ = px;
                }
            }
    }
}

}  // namespace

void PictureScaler::Scale(const uint8_t* src, int sw, int sh, size_t srcStride, uint32_t* dst,
                          int dw, int dh, size_t dstStride) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) {
        return;
    }
    const size_t rowBytes = static_cast<size_t>(dw) * sizeof(uint32_t);
    // The picture's rows run bottom-up.
    auto sourceRow = [&](int sy) { return src + static_cast<size_t>(sh - 1 - sy) * srcStride; };
    if (dw % sw == 0 && dh % sh == 0 && dw / sw == dh / sh) {
        // A whole multiple (1x, 2x, 3x): each picture pixel as an n x n block.
        const int n = dw / sw;
        for (int sy = 0; sy < sh; ++sy) {
            uint32_t* out = dst + static_cast<size_t>(sy) * n * dstStride;
            WideRow(sourceRow(sy), sw, n, out);
            for (int k = 1; k < n; ++k) {
                std::memcpy(out + k * dstStride, out, rowBytes);
            }
        }
        return;
    }
    if (sw != sw_ || dw != dw_) {
        columns_.resize(static_cast<size_t>(dw));
        for (int x = 0; x < dw; ++x) {
            const int sx = static_cast<int>((2 * int64_t{x} + 1) * sw / (2 * int64_t{dw}));
            columns_[static_cast<size_t>(x)] = 3 * sx;
        }
        sw_ = sw;
        dw_ = dw;
    }
    const int lastColumn = 3 * (sw - 1);
    int lastSource = -1;
    for (int y = 0; y < dh; ++y) {
        uint32_t* out = dst + static_cast<size_t>(y) * dstStride;
        const int sy = static_cast<int>((2 * int64_t{y} + 1) * sh / (2 * int64_t{dh}));
        if (sy == lastSource) {
            std::memcpy(out, out - dstStride, rowBytes);
            continue;
        }
        lastSource = sy;
        const uint8_t* row = sourceRow(sy);
        for (int x = 0; x < dw; ++x) {
            const int at = columns_[static_cast<size_t>(x)];
            out[x] = at < lastColumn ? Pixel4(row + at) : Pixel3(row + at);
        }
    }
}

}  // namespace lunavue
