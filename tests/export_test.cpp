// cpktool's thumbnails and exports, read back: the right frame, the right shape, the sound
// as the device receives it, and nothing left behind when a movie is damaged.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "FilmBuilder.h"
#include "Fixtures.h"
#include "TestUtil.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

int Cpktool(const std::string& args) {
    const std::string cmd = std::string(CPKTOOL_BINARY) + " " + args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // top-down RGB
};

Rgb ReadPng(const std::string& path) {
    Rgb image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return image;
    png.format = PNG_FORMAT_RGB;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        image.width = static_cast<int>(png.width);
        image.height = static_cast<int>(png.height);
    }
    return image;
}

// A coarse grid of averages, to compare pictures of different sizes.
std::vector<double> Grid(const Rgb& p, int cols, int rows) {
    std::vector<double> g(static_cast<size_t>(cols * rows * 3), 0);
    std::vector<int> n(static_cast<size_t>(cols * rows), 0);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const size_t cell =
                static_cast<size_t>(y * rows / p.height * cols + x * cols / p.width);
            for (int c = 0; c < 3; ++c)
                g[cell * 3 + c] += p.pixels[3 * (static_cast<size_t>(y) * p.width + x) + c];
            ++n[cell];
        }
    }
    for (size_t i = 0; i < g.size(); ++i)
        g[i] /= std::max(1, n[i / 3]);
    return g;
}

Rgb ReferenceFrame(const Fixture& fx, int frame) {
    const Bytes all = Gunzip(std::string(fx.name) + ".frames.bgr.gz");
    Rgb p{fx.width, fx.height, {}};
    const size_t size = 3 * static_cast<size_t>(fx.width) * fx.height;
    for (size_t i = 0; i < size; i += 3) {
        const uint8_t* bgr = all.data() + size * static_cast<size_t>(frame) + i;
        p.pixels.insert(p.pixels.end(), {bgr[2], bgr[1], bgr[0]});
    }
    return p;
}

}  // namespace

TEST(Thumbnail, EveryFixtureGivesItsFrameATenthIn) {
    TempDir dir;
    for (const Fixture& fx : Fixtures()) {
        SCOPED_TRACE(fx.name);
        const std::string out = dir.File(std::string(fx.name) + ".png");
        ASSERT_EQ(Cpktool("thumbnail " + FixturePath(std::string(fx.name) + ".cpk") + " " + out),
                  0);
        const Rgb thumb = ReadPng(out);
        // Every fixture is shown 4:3 by the aspect correction: 256 x 192 in the 256 box.
        EXPECT_EQ(thumb.width, 256);
        EXPECT_EQ(thumb.height, 192);
        // All the frames here last one display period: a tenth in is frame frames / 10.
        const std::vector<double> want = Grid(ReferenceFrame(fx, fx.frames / 10), 16, 12);
        const std::vector<double> got = Grid(thumb, 16, 12);
        double diff = 0;
        for (size_t i = 0; i < want.size(); ++i)
            diff += std::fabs(want[i] - got[i]);
        EXPECT_LT(diff / static_cast<double>(want.size()), 6.0) << "not the reference frame";
    }
    ASSERT_EQ(Cpktool("thumbnail -s 100 " + FixturePath("strips8-352x240-s16-mono.cpk") + " " +
                      dir.File("s.png")),
              0);
    EXPECT_EQ(ReadPng(dir.File("s.png")).width, 100);
    EXPECT_EQ(ReadPng(dir.File("s.png")).height, 75);
}

TEST(Thumbnail, DamagedMoviesLeaveNoFile) {
    TempDir dir;
    // A table past the end of the file, and a movie whose frames are nothing but noise.
    Bytes movie = ReadBytes(FixturePath("gray-320x200-s8-mono.cpk"));
    WriteAll(dir.File("cut.cpk"), std::string(movie.begin(), movie.begin() + 2000));
    FilmMovie noise;
    for (int i = 0; i < 20; ++i)
        noise.Video(Bytes(60, static_cast<uint8_t>(0xA5 + i)));
    noise.Save(dir.File("noise.cpk"));
    for (const char* name : {"cut", "noise", "missing"}) {
        SCOPED_TRACE(name);
        const std::string out = dir.File(std::string(name) + ".png");
        EXPECT_EQ(Cpktool("thumbnail " + dir.File(std::string(name) + ".cpk") + " " + out), 2);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    for (auto& e : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << "a temporary file is left";
}

TEST(Export, SoundAsWavAndFramesAsPng) {
    TempDir dir;
    for (const char* name : {"bars-320x224-s16-stereo", "gray-320x200-s8-mono",
                             "adpcm-256x224-stereo-32k", "adpcm-160x120-mono-11k-unaligned"}) {
        SCOPED_TRACE(name);
        const std::string out = dir.File(std::string(name) + ".wav");
        ASSERT_EQ(Cpktool("export " + FixturePath(std::string(name) + ".cpk") + " " + out), 0);
        const Bytes wav = ReadBytes(out);
        const Bytes want = Gunzip(std::string(name) + ".audio.pcm.gz");
        ASSERT_EQ(wav.size(), 44 + want.size());
        EXPECT_EQ(Bytes(wav.begin() + 44, wav.end()), want);
        auto le = [&](size_t at, int n) {
            uint32_t v = 0;
            for (int i = n - 1; i >= 0; --i)
                v = v << 8 | wav[at + static_cast<size_t>(i)];
            return v;
        };
        EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
        EXPECT_EQ(le(4, 4), wav.size() - 8);
        EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(le(20, 2), 1u) << "PCM";
        const uint32_t channels = le(22, 2), rate = le(24, 4), bits = le(34, 2);
        EXPECT_EQ(le(28, 4), rate * channels * bits / 8);
        EXPECT_EQ(le(32, 2), channels * bits / 8);
        EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
        EXPECT_EQ(le(40, 4), want.size());
    }
    EXPECT_EQ(Cpktool("export " + FixturePath("silent-256x224.cpk") + " " + dir.File("s.wav")), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("s.wav")));

    const std::string folder = dir.File("frames");
    ASSERT_EQ(Cpktool("export " + FixturePath("bars-320x224-s16-stereo.cpk") + " " + folder +
                      " --frames --start 13 --count 2"),
              0);
    const Rgb frame = ReadPng(folder + "/frame-000014.png");
    ASSERT_EQ(frame.width, 320);
    EXPECT_EQ(frame.pixels, ReferenceFrame(Fixtures()[0], 14).pixels) << "exact, not resized";
    EXPECT_TRUE(std::filesystem::exists(folder + "/frame-000013.png"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/frame-000015.png"));
}
