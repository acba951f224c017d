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

RgbImage Resize(const RgbImage& in, int width, int height) {
    const Taps across = MakeTaps(in.width, width);
    const Taps down = MakeTaps(in.height, height);
    // Across first, into rows of the new width, then down.
    std::vector<double> rows(3 * static_cast<size_t>(width) * in.height);
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                const auto& w = across.weights[static_cast<size_t>(x)];
                for (size_t k = 0; k < w.size(); ++k) {
                    const int s = across.first[static_cast<size_t>(x)] + static_cast<int>(k);
                    v += w[k] * in.rgb[3 * (static_cast<size_t>(y) * in.width + s) + c];
                }
                rows[3 * (static_cast<size_t>(y) * width + x) + c] = v;
            }
        }
    }
    RgbImage out{width, height, std::vector<uint8_t>(3 * static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const auto& w = down.weights[static_cast<size_t>(y)];
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (size_t k = 0; k < w.size(); ++k) {
                    const int s = down.first[static_cast<size_t>(y)] + static_cast<int>(k);
                    v += w[k] * rows[3 * (static_cast<size_t>(s) * width + x) + c];
                }
                out.rgb[3 * (static_cast<size_t>(y) * width + x) + c] =
                    static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            }
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
