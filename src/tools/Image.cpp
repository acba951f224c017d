#include "tools/Image.h"

#include <png.h>

#include <algorithm>
#include <cmath>

#include "platform/Formats.h"

namespace lunavue {

RgbImage FromDecoded(const uint8_t* bits, int width, int height) {
    RgbImage out{width, height, std::vector<uint8_t>(3 * static_cast<size_t>(width) * height)};
    const size_t stride = PictureStride(static_cast<uint32_t>(width));
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bits + static_cast<size_t>(height - 1 - y) * stride;
        uint8_t* dst = out.rgb.data() + 3 * static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return out;
}

namespace {

// One direction of a separable resize: the weights of the source pixels that make each
// output pixel (a box when shrinking, a tent when growing).
struct Taps {
    std::vector<int> first;
    std::vector<std::vector<double>> weights;
};

Taps MakeTaps(int from, int to) {
    Taps t;
    const double scale = static_cast<double>(from) / to;
    const double support = std::max(scale, 1.0);  // a box as wide as one output pixel
    for (int i = 0; i < to; ++i) {
        const double centre = (i + 0.5) * scale;
        const int lo = std::max(0, static_cast<int>(std::floor(centre - support)));
        const int hi = std::min(from - 1, static_cast<int>(std::ceil(centre + support)));
        std::vector<double> w;
        double sum = 0;
        for (int s = lo; s <= hi; ++s) {
            const double d = std::fabs(s + 0.5 - centre);
            const double v =
                scale > 1 ? std::clamp(std::min(scale / 2 + 0.5 - d, 1.0), 0.0, 1.0)  // coverage
                          : std::max(0.0, 1.0 - d);                                   // tent
            w.push_back(v);
            sum += v;
        }
        for (double& v : w) {
            v = sum > 0 ? v / sum : 1.0 / static_cast<double>(w.size());
        }
        t.first.push_back(lo);
        t.weights.push_back(std::move(w));
    }
    return t;
}

}  // namespace

// Across each source row into the new width, then down. Only the rows that output rows
// being made still need are kept, in a ring as deep as the tallest column of taps, so that
// memory grows with the output's width and not with the source's height.
RgbImage Resize(const RgbImage& in, int width, int height) {
    const Taps across = MakeTaps(in.width, width);
    const Taps down = MakeTaps(in.height, height);
    size_t depth = 1;
    for (const auto& w : down.weights) {
        depth = std::max(depth, w.size());
    }
    const size_t row = 3 * static_cast<size_t>(width);
    std::vector<double> ring(depth * row);
    std::vector<int> held(depth, -1);  // the source row each place of the ring holds
    auto acrossRow = [&](int y) -> const double* {
        double* out = ring.data() + static_cast<size_t>(y) % depth * row;
        if (held[static_cast<size_t>(y) % depth] == y) {
            return out;
        }
        held[static_cast<size_t>(y) % depth] = y;
        const uint8_t* src = in.rgb.data() + 3 * static_cast<size_t>(y) * in.width;
        for (int x = 0; x < width; ++x) {
            const auto& w = across.weights[static_cast<size_t>(x)];
            const int first = across.first[static_cast<size_t>(x)];
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (size_t k = 0; k < w.size(); ++k) {
                    v += w[k] * src[3 * (first + static_cast<int>(k)) + c];
                }
                out[3 * x + c] = v;
            }
        }
        return out;
    };
    RgbImage out{width, height, std::vector<uint8_t>(row * height)};
    std::vector<double> sum(row);
    for (int y = 0; y < height; ++y) {
        const auto& w = down.weights[static_cast<size_t>(y)];
        std::fill(sum.begin(), sum.end(), 0.0);
        for (size_t k = 0; k < w.size(); ++k) {
            const double* source =
                acrossRow(down.first[static_cast<size_t>(y)] + static_cast<int>(k));
            for (size_t i = 0; i < row; ++i) {
                sum[i] += w[k] * source[i];
            }
        }
        uint8_t* dst = out.rgb.data() + row * static_cast<size_t>(y);
        for (size_t i = 0; i < row; ++i) {
            dst[i] = static_cast<uint8_t>(std::clamp(std::lround(sum[i]), 0L, 255L));
        }
    }
    return out;
}

void FitInBox(int width, int height, int box, int& outWidth, int& outHeight) {
    const double scale =
        std::min(static_cast<double>(box) / width, static_cast<double>(box) / height);
    outWidth = std::clamp(static_cast<int>(std::lround(width * scale)), 1, box);
    outHeight = std::clamp(static_cast<int>(std::lround(height * scale)), 1, box);
}

bool WritePng(OutputFile& file, const RgbImage& image) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports its errors by jumping back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.Stream());
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.rgb.data() + 3 * static_cast<size_t>(y) * image.width);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::ferror(file.Stream()) == 0;
}

}  // namespace lunavue
