#include "display/PictureScaler.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUNAVUE_VECTOR_ROWS 1
#endif

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

#ifdef LUNAVUE_VECTOR_ROWS
// Four picture pixels at a time: one 16-byte load, one shuffle into four shown pixels, and
// each written n times with 16-byte stores. Stops where a 16-byte load would reach past
// the row's last pixel and answers how many pixels it did; the caller does the rest.
template <int N>
__attribute__((target("ssse3"))) int WideRowVector(const uint8_t* row, int sw, uint32_t* out) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 6 <= sw; x += 4) {  // the load reaches into pixel x + 5, which is in the row
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * x));
        const __m128i px = _mm_or_si128(_mm_shuffle_epi8(in, spread), alpha);
        auto* to = reinterpret_cast<__m128i*>(out + N * x);
        if constexpr (N == 1) {
            _mm_storeu_si128(to, px);
        } else if constexpr (N == 2) {
            _mm_storeu_si128(to, _mm_unpacklo_epi32(px, px));
            _mm_storeu_si128(to + 1, _mm_unpackhi_epi32(px, px));
        } else {
            _mm_storeu_si128(to, _mm_shuffle_epi32(px, _MM_SHUFFLE(1, 0, 0, 0)));
            _mm_storeu_si128(to + 1, _mm_shuffle_epi32(px, _MM_SHUFFLE(2, 2, 1, 1)));
            _mm_storeu_si128(to + 2, _mm_shuffle_epi32(px, _MM_SHUFFLE(3, 3, 3, 2)));
        }
    }
    return x;
}
#else
template <int N>
int WideRowVector(const uint8_t*, int, uint32_t*) {
    return 0;  // no vector rows here: the plain rows do it all
}
#endif

// The usual sizes, four pixels at a time where the processor can.
template <int N>
void FastWideRow(const uint8_t* row, int sw, uint32_t* out, bool vector) {
    const int done = vector ? WideRowVector<N>(row, sw, out) : 0;
    WideRow<N>(row + 3 * done, sw - done, out + N * done);
}

void WideRow(const uint8_t* row, int sw, int n, uint32_t* out, bool vector) {
    switch (n) {  // the usual sizes, each in a loop the compiler can see through
        case 1:
            return FastWideRow<1>(row, sw, out, vector);
        case 2:
            return FastWideRow<2>(row, sw, out, vector);
        case 3:
            return FastWideRow<3>(row, sw, out, vector);
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

PictureScaler::PictureScaler(bool vectorRows) {
#ifdef LUNAVUE_VECTOR_ROWS
    vector_ = vectorRows && __builtin_cpu_supports("ssse3");
#else
    (void)vectorRows;
#endif
}

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
            WideRow(sourceRow(sy), sw, n, out, vector_);
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
