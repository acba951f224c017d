// Pictures on their way out of cpktool: top-down RGB, resized smoothly, written as PNG.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/OutputFile.h"

namespace lunavue {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top-down, 3 bytes a pixel, no padding
};

// A decoded picture (bottom-up, blue-green-red, rows padded to 4 bytes) as RGB.
RgbImage FromDecoded(const uint8_t* bits, int width, int height);

// The picture at another size: each output pixel the average of the source area it covers
// when shrinking, interpolated between the nearest source pixels when growing.
RgbImage Resize(const RgbImage& in, int width, int height);

// The largest size of the same shape that fits a box of side `box`, at least 1 x 1.
void FitInBox(int width, int height, int box, int& outWidth, int& outHeight);

// Writes the picture as an 8-bit RGB PNG; false when it could not be written.
bool WritePng(OutputFile& file, const RgbImage& image);

}  // namespace lunavue
