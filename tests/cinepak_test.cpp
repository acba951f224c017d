#include <gtest/gtest.h>

#include <random>

#include "FilmBuilder.h"
#include "platform/codec/Cinepak.h"

using namespace lunavue;
using namespace lunavue::test;
using codec::CinepakDecompressor;

namespace {

// A frame as the decoder receives it: the 10-byte header, then the strips.
Bytes DecoderFrame(uint8_t flags, int w, int h, const std::vector<Bytes>& strips) {
    Bytes stored = StoredFrame(flags, w, h, strips);
    Bytes f(stored.begin(), stored.begin() + 10);
    Append(f, stored.begin() + 12, stored.end());
    const uint32_t len = static_cast<uint32_t>(stored.size());  // raised by 8, as fixed up
    f[1] = static_cast<uint8_t>(len >> 16);
    f[2] = static_cast<uint8_t>(len >> 8);
    f[3] = static_cast<uint8_t>(len);
    return f;
}

// Codebook entries: four luminances and, in 12-bit mode, u and v.
Bytes Entry(int y0, int y1, int y2, int y3, int u, int v) {
    return {static_cast<uint8_t>(y0),
            static_cast<uint8_t>(y1),
            static_cast<uint8_t>(y2),
            static_cast<uint8_t>(y3),
            static_cast<uint8_t>(static_cast<int8_t>(u)),
            static_cast<uint8_t>(static_cast<int8_t>(v))};
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Picture {
    int w, h;
    size_t stride;
    Bytes bits;
    BITMAPINFOHEADER in{}, out{};
    std::unique_ptr<CinepakDecompressor> dec;

    Picture(int width, int height) : w(width), h(height), stride(PictureStride(width)) {
        out.biWidth = w;
        out.biHeight = h;
        out.biBitCount = 24;
        out.biSizeImage = static_cast<uint32_t>(stride * h);
        in = out;
        in.biCompression = FourCC("cvid");
        bits.assign(out.biSizeImage + 16, 0xEE);  // 16 guard bytes after the picture
        dec = CinepakDecompressor::Locate(in, out);
        dec->Begin(in, out);
    }
    bool Decode(const Bytes& frame) {
        in.biSizeImage = static_cast<uint32_t>(frame.size());
        Bytes exact(frame);  // exactly sized, so a sanitizer sees any read past it
        return dec->Decompress(in, exact.data(), out, bits.data());
    }
    Bgr At(int x, int y) const {
        const uint8_t* p = bits.data() + static_cast<size_t>(h - 1 - y) * stride + 3 * x;
        return {p[0], p[1], p[2]};
    }
};

}  // namespace

TEST(Cinepak, LocatesOnlyCinepakTo24Bit) {
    BITMAPINFOHEADER out{};
    out.biWidth = 320;
    out.biHeight = 224;
    out.biBitCount = 24;
    BITMAPINFOHEADER in = out;
    in.biCompression = FourCC("cvid");
    EXPECT_NE(CinepakDecompressor::Locate(in, out), nullptr);
    in.biCompression = FourCC("CVID");
    EXPECT_EQ(CinepakDecompressor::Locate(in, out), nullptr);
    in.biCompression = FourCC("cvid");
    out.biBitCount = 16;
    EXPECT_EQ(CinepakDecompressor::Locate(in, out), nullptr);
}

TEST(Cinepak, KeyFramePaintsV1AndV4Blocks) {
    Picture pic(8, 8);
    const Bytes v1Book = Cat({Entry(10, 20, 30, 40, -3, 5), Entry(100, 110, 120, 130, 7, -7)});
    const Bytes v4Book = Cat({Entry(0, 50, 100, 150, 0, 0), Entry(200, 210, 220, 230, -128, 127),
                              Entry(60, 61, 62, 63, 1, -1), Entry(250, 251, 252, 253, 100, 100)});
    // Blocks in raster order: V1 #1, V4 (0,1,2,3), V1 #0, V4 (3,2,1,0).
    Bytes vectors = {0x50, 0, 0, 0, 1, 0, 1, 2, 3, 0, 3, 2, 1, 0};
    Bytes frame = DecoderFrame(
        0, 8, 8,
        {Strip(0x1000, 8, 8,
               {Chunk(0x2200, v1Book), Chunk(0x2000, v4Book), Chunk(0x3000, vectors)})});
    ASSERT_TRUE(pic.Decode(frame));

    // Block (0,0): V1 entry 1 paints 2x2 quadrants.
    EXPECT_EQ(pic.At(0, 0), Colour(100, 7, -7));
    EXPECT_EQ(pic.At(1, 1), Colour(100, 7, -7));
    EXPECT_EQ(pic.At(3, 0), Colour(110, 7, -7));
    EXPECT_EQ(pic.At(0, 3), Colour(120, 7, -7));
    EXPECT_EQ(pic.At(3, 3), Colour(130, 7, -7));
    // Block (1,0): V4, quadrant top-left entry 0, top-right 1, bottom-left 2, bottom-right 3.
    EXPECT_EQ(pic.At(4, 0), Colour(0, 0, 0));
    EXPECT_EQ(pic.At(5, 0), Colour(50, 0, 0));
    EXPECT_EQ(pic.At(4, 1), Colour(100, 0, 0));
    EXPECT_EQ(pic.At(5, 1), Colour(150, 0, 0));
    EXPECT_EQ(pic.At(6, 0), Colour(200, -128, 127));
    EXPECT_EQ(pic.At(7, 1), Colour(230, -128, 127));
    EXPECT_EQ(pic.At(4, 2), Colour(60, 1, -1));
    EXPECT_EQ(pic.At(7, 3), Colour(253, 100, 100));
    // Block (0,1): V1 entry 0, whose u = -3 halves toward zero (-1).
    EXPECT_EQ(pic.At(0, 4), Colour(10, -3, 5));
    EXPECT_EQ(pic.At(0, 4), (Bgr{4, 6, 20}));
    EXPECT_EQ(pic.At(3, 7), Colour(40, -3, 5));
    // Block (1,1): V4 with the quadrants reversed.
    EXPECT_EQ(pic.At(4, 4), Colour(250, 100, 100));
    EXPECT_EQ(pic.At(7, 7), Colour(150, 0, 0));
    // Rows are stored bottom-up: picture row 0 is the last row of the buffer.
    EXPECT_EQ(pic.bits[7 * pic.stride], Colour(100, 7, -7).b);
    EXPECT_EQ(pic.bits[pic.out.biSizeImage], 0xEE);
}

TEST(Cinepak, PartialUpdatesEightBitBooksAndSkippedBlocks) {
    Picture pic(8, 4);
    // Frame 1: a full V1 book of 40 entries (entry i has luminance i), all-V1 vectors.
    Bytes book;
    for (int i = 0; i < 40; ++i)
        book = Cat({book, Entry(i, i, i, i, 0, 0)});
    ASSERT_TRUE(pic.Decode(DecoderFrame(
        0, 8, 4, {Strip(0x1000, 8, 4, {Chunk(0x2200, book), Chunk(0x3200, {5, 6})})})));
    EXPECT_EQ(pic.At(0, 0), Colour(5, 0, 0));
    EXPECT_EQ(pic.At(4, 0), Colour(6, 0, 0));

    // Frame 2 (inter, each strip keeps its own books): a partial V1 update replaces entries
    // 0 and 33 only (two masks); an 8-bit V4 load gives grey entries; block 0 is kept, block
    // 1 is V1 entry 33, then the same blocks again from an 8-bit partial V1 update.
    Bytes partial = Cat({{0x80, 0, 0, 0},
                         Entry(77, 78, 79, 80, 10, 20),
                         {0x40, 0, 0, 0},
                         Entry(90, 91, 92, 93, -10, -20)});
    Bytes grey = {1, 2, 3, 4};
    Bytes inter = {0x40, 0, 0, 0, 33};  // bits 0 (keep), 1 0 (V1), index 33
    ASSERT_TRUE(pic.Decode(DecoderFrame(
        1, 8, 4,
        {Strip(0x1100, 8, 4,
               {Chunk(0x2300, partial), Chunk(0x2400, grey), Chunk(0x3100, inter)})})));
    EXPECT_EQ(pic.At(0, 0), Colour(5, 0, 0));  // kept from frame 1
    EXPECT_EQ(pic.At(4, 0), Colour(90, -10, -20));
    EXPECT_EQ(pic.At(7, 3), Colour(93, -10, -20));

    // Frame 3: entry 32 untouched by the partial update keeps luminance 32; an 8-bit V1
    // partial update makes entry 1 grey; the V4 block uses the grey 8-bit V4 entry 0.
    Bytes eightBitPartial = {0x40, 0, 0, 0, 200, 201, 202, 203};
    Bytes vectors = {0xE0, 0, 0, 0, 0, 0, 0, 0, 1};  // 1 1 (V4: 0 0 0 0), 1 0 (V1: 1)
    ASSERT_TRUE(pic.Decode(DecoderFrame(
        1, 8, 4, {Strip(0x1100, 8, 4, {Chunk(0x2700, eightBitPartial), Chunk(0x3100, vectors)})})));
    EXPECT_EQ(pic.At(0, 0), (Bgr{1, 1, 1}));
    EXPECT_EQ(pic.At(1, 1), (Bgr{4, 4, 4}));
    EXPECT_EQ(pic.At(4, 0), (Bgr{200, 200, 200}));
    EXPECT_EQ(pic.At(7, 3), (Bgr{203, 203, 203}));
    ASSERT_TRUE(pic.Decode(DecoderFrame(1, 8, 4, {Strip(0x1100, 8, 4, {Chunk(0x3200, {32, 0})})})));
    EXPECT_EQ(pic.At(0, 0), Colour(32, 0, 0));
    EXPECT_EQ(pic.At(4, 0), Colour(77, 10, 20));
}

TEST(Cinepak, SizesThatAreNoMultipleOfFourAreClipped) {
    Picture pic(10, 6);  // stride 32: two padding bytes a row
    Bytes book = Entry(50, 60, 70, 80, 0, 0);
    Bytes v4 = Cat({Entry(1, 2, 3, 4, 0, 0)});
    // 3 x 2 blocks: the last column and the last row hang over the picture's edge.
    Bytes vectors = {0xFC, 0, 0, 0};
    for (int i = 0; i < 6; ++i)
        vectors.insert(vectors.end(), {0, 0, 0, 0});
    ASSERT_TRUE(pic.Decode(DecoderFrame(
        0, 10, 6,
        {Strip(0x1000, 12, 8, {Chunk(0x2200, book), Chunk(0x2000, v4), Chunk(0x3000, vectors)})})));
    EXPECT_EQ(pic.At(8, 4), (Bgr{1, 1, 1}));  // the last, clipped block's top-left quadrant
    EXPECT_EQ(pic.At(9, 4), (Bgr{2, 2, 2}));
    EXPECT_EQ(pic.At(8, 5), (Bgr{3, 3, 3}));
    EXPECT_EQ(pic.At(9, 5), (Bgr{4, 4, 4}));
    EXPECT_EQ(pic.At(0, 0), (Bgr{1, 1, 1}));
    for (int y = 0; y < 6; ++y) {
        const uint8_t* row = pic.bits.data() + static_cast<size_t>(y) * pic.stride;
        EXPECT_EQ(row[30], 0xEE) << "row padding is never written";
        EXPECT_EQ(row[31], 0xEE);
    }
    for (size_t i = pic.out.biSizeImage; i < pic.bits.size(); ++i) {
        EXPECT_EQ(pic.bits[i], 0xEE);
    }
}

TEST(Cinepak, StripsInheritCodebooksAsTheFrameFlagSays) {
    Picture pic(4, 8);
    auto book = [](int y) { return Chunk(0x2200, Entry(y, y, y, y, 0, 0)); };
    // Frame 1, flag 0: strip 1 starts from strip 0's books as strip 0 left them.
    ASSERT_TRUE(pic.Decode(DecoderFrame(0, 4, 8,
                                        {Strip(0x1000, 4, 4, {book(10), Chunk(0x3200, {0})}),
                                         Strip(0x1000, 4, 4, {Chunk(0x3200, {0})})})));
    EXPECT_EQ(pic.At(0, 0), (Bgr{10, 10, 10}));
    EXPECT_EQ(pic.At(0, 4), (Bgr{10, 10, 10}));
    // Frame 2, flag 1: each strip keeps its own books from the previous frame.
    ASSERT_TRUE(pic.Decode(DecoderFrame(1, 4, 8,
                                        {Strip(0x1100, 4, 4, {book(200), Chunk(0x3200, {0})}),
                                         Strip(0x1100, 4, 4, {Chunk(0x3200, {0})})})));
    EXPECT_EQ(pic.At(0, 0), (Bgr{200, 200, 200}));
    EXPECT_EQ(pic.At(0, 4), (Bgr{10, 10, 10}));
    // Frame 3, flag 0 again: strip 1 copies strip 0's new book.
    ASSERT_TRUE(pic.Decode(DecoderFrame(0, 4, 8,
                                        {Strip(0x1000, 4, 4, {book(99), Chunk(0x3200, {0})}),
                                         Strip(0x1000, 4, 4, {Chunk(0x3200, {0})})})));
    EXPECT_EQ(pic.At(0, 4), (Bgr{99, 99, 99}));
}

TEST(Cinepak, DamagedFramesNeverReadOrWriteOutOfBounds) {
    Bytes book;
    for (int i = 0; i < 256; ++i)
        book = Cat({book, Entry(i, 255 - i, i, 255 - i, i - 128, 127 - i)});
    Bytes vectors = {0xAA, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55};
    for (int i = 0; i < 200; ++i)
        vectors.push_back(static_cast<uint8_t>(i * 37));
    const Bytes good = DecoderFrame(
        0, 16, 16,
        {Strip(0x1000, 16, 8, {Chunk(0x2200, book), Chunk(0x2000, book), Chunk(0x3000, vectors)}),
         Strip(0x1100, 16, 8,
               {Chunk(0x2100, Cat({{0xFF, 0xFF, 0xFF, 0xFF}, book})), Chunk(0x3100, vectors)})});
    Picture pic(16, 16);
    EXPECT_TRUE(pic.Decode(good));
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Bytes part(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut));
        EXPECT_FALSE(pic.Decode(part)) << "cut at " << cut;
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = good;
        for (int k = 0; k < 1 + round % 8; ++k) {
            bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        }
        Picture other(1 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 40));
        pic.Decode(bad);
        other.Decode(bad);
        for (size_t i = other.out.biSizeImage; i < other.bits.size(); ++i) {
            ASSERT_EQ(other.bits[i], 0xEE);
        }
    }
}
