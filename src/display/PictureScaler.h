// Turns a decoded picture into the pixels the window shows: a bottom-up 24-bit picture
// (blue, green, red, rows padded to 4 bytes) into a top-down 32-bit one (0xFFRRGGBB) of any
// size, each shown pixel taking the picture's pixel under its centre. Whole multiples (2x,
// 3x) so write each picture pixel as a block, and a row that repeats the one above it is
// copied whole. Done once for each new picture, so that painting is a plain copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lunavue {

class PictureScaler {
  public:
    // vectorRows: whole multiples use the processor's vector instructions where it has them
    // (off only to test the plain rows).
    explicit PictureScaler(bool vectorRows = true);

    // dst holds dh rows of dstStride pixels.
    void Scale(const uint8_t* src, int sw, int sh, size_t srcStride, uint32_t* dst, int dw, int dh,
               size_t dstStride);

  private:
    std::vector<int> columns_;  // for each shown column, the byte offset of its picture pixel
    int sw_ = 0;
    int dw_ = 0;
    bool vector_ = false;
};

}  // namespace lunavue
