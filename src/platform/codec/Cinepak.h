// Our Cinepak decompressor. It turns one compressed frame (the 10-byte frame header and
// its strips) into a bottom-up 24-bit picture with rows padded to 4 bytes, and keeps the
// codebooks of every strip from frame to frame, as inter strips refer to them.
//
// It is used like a system codec: located for an input and an output picture format (it
// declines anything but Cinepak to 24-bit RGB), prepared with Begin, asked per frame to
// Decompress, and closed by destroying it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Formats.h"

namespace lunavue::codec {

class CinepakDecompressor {
  public:
    static constexpr int kMaxStrips = 32;

    // A decompressor for these formats, or null when they are not Cinepak ("cvid") in and
    // uncompressed 24-bit out with a sane size.
    static std::unique_ptr<CinepakDecompressor> Locate(const BITMAPINFOHEADER& in,
                                                       const BITMAPINFOHEADER& out);

    // Prepares for a stream: forgets every codebook.
    void Begin(const BITMAPINFOHEADER& in, const BITMAPINFOHEADER& out);

    // Decodes one frame. `in.biSizeImage` is the number of readable bytes at `data`; no read
    // goes past it, nor past the lengths the frame gives. `bits` holds out.biSizeImage bytes
    // and keeps, where the frame skips blocks, what it held before. Returns false when the
    // frame was damaged; everything up to the damage has been painted.
    bool Decompress(const BITMAPINFOHEADER& in, const uint8_t* data, const BITMAPINFOHEADER& out,
                    uint8_t* bits);

  private:
    // A V1 entry paints a 4x4 block: two rows of 4 pixels (the top pair and bottom pair of
    // quadrants), each row repeated twice. A V4 entry paints a 2x2 quadrant: two rows of 2.
    struct V1Entry {
        uint8_t top[12];
        uint8_t bottom[12];
    };
    struct V4Entry {
        uint8_t top[6];
        uint8_t bottom[6];
    };
    struct Codebooks {
        std::array<V1Entry, 256> v1{};
        std::array<V4Entry, 256> v4{};
    };

    struct Target;
    static void PaintV4(uint8_t* const rows[4], int x0, bool whole, int width, const V4Entry& q0,
                        const V4Entry& q1, const V4Entry& q2, const V4Entry& q3);
    static void PaintV1(uint8_t* const rows[4], int x0, bool whole, int width, const V1Entry& e);
    bool DecodeStrip(const uint8_t* p, size_t size, Codebooks& books, const Target& t);
    static void LoadCodebook(const uint8_t* p, size_t size, uint16_t id, Codebooks& books);
    template <int Kind>
    static bool DecodeVectors(const uint8_t* p, const uint8_t* end, const Codebooks& books,
                              const Target& t);

    std::array<Codebooks, kMaxStrips> strips_{};
};

}  // namespace lunavue::codec
