#include <gtest/gtest.h>

#include <vector>

#include "display/PictureScaler.h"
#include "platform/Formats.h"

#include "display/Geometry.h"

using namespace lunavue::geometry;

TEST(Geometry, AspectCorrectedSizes) {
    EXPECT_EQ(AspectCorrected(320, 224), (Size{320, 240}));
    EXPECT_EQ(AspectCorrected(352, 240), (Size{352, 264}));
    EXPECT_EQ(AspectCorrected(320, 240), (Size{320, 240}));
    EXPECT_EQ(AspectCorrected(280, 200), (Size{280, 200})) << "exactly 1.4 keeps its size";
    EXPECT_EQ(AspectCorrected(320, 256), (Size{320, 256})) << "exactly 1.25 keeps its size";
    EXPECT_EQ(AspectCorrected(256, 224), (Size{298, 224}));
    EXPECT_EQ(AspectCorrected(256, 240), (Size{319, 240})) << "1.333, not 4/3";
}

TEST(Geometry, SizeModes) {
    const Size extra{12, 90};
    EXPECT_EQ(FixedFrame(1, {320, 224}, extra), (Size{332, 314}));
    EXPECT_EQ(FixedFrame(3, {320, 224}, extra), (Size{972, 762}));
    EXPECT_EQ(FixedFrame(2, {320, 240}, extra), (Size{652, 570}));
    // Maximum: 1024 x 738 work area, frame extra 10 x 90, a 320 x 240 picture: the height
    // is fitted, client 864 wide, frame 874 x 738 centred across.
    EXPECT_EQ(MaximumFrame({320, 240}, {10, 90}, {0, 30, 1024, 738}), (Rect{75, 30, 874, 738}));
    // A wide picture fits the width and is centred down.
    EXPECT_EQ(MaximumFrame({352, 120}, {10, 90}, {0, 0, 1024, 738}),
              (Rect{0, (738 - (120 * 1014 / 352 + 90)) / 2, 1024, 120 * 1014 / 352 + 90}));
    // Equal ratios fit the height.
    EXPECT_EQ(MaximumFrame({400, 300}, {0, 0}, {0, 0, 800, 600}), (Rect{0, 0, 800, 600}));
}

TEST(Geometry, Letterbox) {
    EXPECT_EQ(Letterbox(320, 224, 640, 480), (Rect{0, 16, 640, 448}));
    EXPECT_EQ(Letterbox(320, 240, 640, 480), (Rect{0, 0, 640, 480})) << "equal ratios: full height";
    EXPECT_EQ(Letterbox(256, 240, 640, 480), (Rect{(640 - 512) / 2, 0, 512, 480}));
}

TEST(Geometry, GpuPictureSurfaceHasTheScreensShape) {
    // 320 x 224 on 640 x 480: a 320 x 240 surface, the picture at rows 8 to 231.
    Surface s = PictureSurface(320, 224, 640, 480);
    EXPECT_EQ(s, (Surface{320, 240, 0, 8, 320, 232}));
    // A ratio equal to the screen's takes the second branch: full height, x offset 0.
    EXPECT_EQ(PictureSurface(320, 240, 640, 480), (Surface{320, 240, 0, 0, 320, 240}));
    // A narrow picture: the surface is as high as the picture, the picture centred across.
    EXPECT_EQ(PictureSurface(256, 240, 1280, 1024), (Surface{300, 240, 22, 0, 278, 240}));
    EXPECT_EQ(PictureSurface(352, 240, 1280, 1024), (Surface{352, 281, 0, 20, 352, 260}));
}

// The picture as the window shows it: every shown pixel is the picture's pixel under its
// centre, for whole multiples and for any other size, odd widths included, with rows done
// four pixels at a time (widths past a group of four, with each length of tail) or one by one.
static void ExpectEveryShownPixelUnderIt(bool vectorRows) {
    for (auto [sw, sh] : {std::pair{5, 3}, {8, 8}, {7, 2}, {37, 3}, {38, 2}, {39, 2}, {40, 1}}) {
        const size_t stride = lunavue::PictureStride(static_cast<uint32_t>(sw));
        std::vector<uint8_t> picture(stride * static_cast<size_t>(sh));
        for (size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<uint8_t>(i * 37 + 11);
        lunavue::PictureScaler scaler(vectorRows);
        for (auto [dw, dh] : {std::pair{sw, sh},
                              {2 * sw, 2 * sh},
                              {3 * sw, 3 * sh},
                              {sw * 2 + 1, sh + 4},
                              {sw - 1 > 0 ? sw - 1 : 1, sh}}) {
            std::vector<uint32_t> shown(static_cast<size_t>(dw * dh) + 8, 0);
            scaler.Scale(picture.data(), sw, sh, stride, shown.data(), dw, dh,
                         static_cast<size_t>(dw));
            for (int y = 0; y < dh; ++y) {
                for (int x = 0; x < dw; ++x) {
                    const int sx = (2 * x + 1) * sw / (2 * dw);
                    const int sy = (2 * y + 1) * sh / (2 * dh);
                    const uint8_t* p = picture.data() + static_cast<size_t>(sh - 1 - sy) * stride +
                                       3 * static_cast<size_t>(sx);
                    const uint32_t want =
                        0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
                    ASSERT_EQ(shown[static_cast<size_t>(y * dw + x)], want)
                        << sw << "x" << sh << " to " << dw << "x" << dh << " at " << x << "," << y
                        << (vectorRows ? "" : " (plain rows)");
                }
            }
            EXPECT_EQ(shown[static_cast<size_t>(dw * dh)], 0u) << "nothing written past the end";
        }
    }
}

TEST(PictureScaler, EveryShownPixelIsThePicturePixelUnderIt) {
    ExpectEveryShownPixelUnderIt(true);
    ExpectEveryShownPixelUnderIt(false);
}
