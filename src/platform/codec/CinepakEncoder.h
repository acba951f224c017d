// A Cinepak encoder: pictures in, frames out in the form FILM movies store them (the
// 10-byte frame header, two bytes, then the strips). Each strip's 4 x 4 blocks are coded
// with two codebooks of up to 256 entries found by vector quantisation of the picture
// itself (k-means over its 2 x 2 blocks for V4 and over its 4 x 4 blocks, halved, for V1):
// a block takes one V1 index or four V4 indices, whichever costs less for its error at the
// quality asked for. Key frames come at an interval; between them a block that has hardly
// changed since the picture the decoder holds is skipped, and codebooks are made from the
// changed blocks alone. The strip count is the same in every frame, and no codebook chunk
// is ever empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lunavue {

struct CinepakOptions {
    int strips = 1;        // 1 to 32; each a whole number of 4-row blocks
    int keyInterval = 30;  // a key frame every this many frames (1: every one)
    int quality = 70;      // 1 (smallest) to 100 (best)
};

class CinepakEncoder {
  public:
    // width and height: multiples of 4, at most 4096.
    CinepakEncoder(int width, int height, const CinepakOptions& options);

    // Encodes a picture (top-down rows of red, green, blue, no padding) and returns the
    // frame as a FILM movie stores it; key says whether it needs no frame before it.
    std::vector<uint8_t> Encode(const uint8_t* rgb, bool& key);

  private:
    struct Entry {
        int y[4];
        int u, v;
    };
    struct Strip {
        int top, rows;  // in pixels
    };
    void ToYuv(const uint8_t* rgb);
    void EncodeStrip(const Strip& strip, bool key, std::vector<uint8_t>& out);
    std::vector<Entry> Quantise(std::vector<Entry> vectors, size_t size) const;
    static long Distance(const Entry& a, const Entry& b);
    static int Nearest(const std::vector<Entry>& book, const Entry& e, long& error);
    void Paint(int bx, int by, const Entry* quadrants);

    int width_, height_;
    CinepakOptions options_;
    long lambda_;
    long skipLimit_;
    std::vector<Strip> strips_;
    int frame_ = 0;
    // The picture being coded, as 2 x 2 entries (row-major over the 2 x 2 grid), and what
    // the decoder holds (the same form), for skipping unchanged blocks.
    std::vector<Entry> now_;
    std::vector<Entry> held_;
};

}  // namespace lunavue
