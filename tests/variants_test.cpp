// FILM layouts other than the standard one: recognised once from the header, each turned
// into the same records; Cinepak frames with 0, 2 or 6 bytes after their header; raw
// pictures; movies of sound alone; and the layouts that stay unplayable, refused in words
// that name what was found.
#include <gtest/gtest.h>

#include "FilmBuilder.h"
#include "Fixtures.h"
#include "TestUtil.h"
#include "movie/LayoutCheck.h"
#include "movie/MovieInfo.h"
#include "movie/MovieReader.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

struct Opened {
    TempDir dir;
    MovieReader reader;
    OpenStatus status;
    explicit Opened(const Bytes& file) {
        WriteAll(dir.File("m.cpk"), std::string(file.begin(), file.end()));
        status = reader.Open(dir.File("m.cpk"));
    }
    explicit Opened(const FilmMovie& movie) : Opened(movie.Build()) {}
    // The grey level of each picture in turn, from the start.
    std::vector<int> Greys() {
        std::vector<int> greys;
        BITMAPINFOHEADER h{};
        reader.GetOutputFormat(&h);
        Bytes pic(h.biSizeImage, 0);
        reader.Rewind();
        while (reader.DecodeNextFrame(pic.data()) != 0)
            greys.push_back(pic[0]);
        return greys;
    }
};

FilmMovie SoundOnly() {
    FilmMovie m;
    m.codec = std::string(4, '\0');
    m.width = 0;
    m.height = 0;
    m.channels = 1;
    m.bits = 8;
    m.rate = 1000;
    m.baseFrequency = 1000;
    for (int c = 0; c < 3; ++c)
        m.Audio(Bytes(500, static_cast<uint8_t>(c)));
    return m;
}

}  // namespace

// Frames whose header length is the sample's, or divides it, carry nothing after the
// header; six bytes FE 00 00 06 00 00 are passed over; otherwise two bytes, as standard.
// Each frame is decided on its own.
TEST(Variants, ExtraBytesAreDecidedFrameByFrame) {
    FilmMovie m;
    m.Video(GreyFrame(10));
    m.Video(PlainFrame(GreyFrame(20)));
    const Bytes plain = PlainFrame(GreyFrame(30));
    Bytes twice = plain;
    twice.insert(twice.end(), plain.begin(), plain.end());
    m.Video(twice);  // the sample is two of its frame's length
    m.Video(SixByteFrame(GreyFrame(40)));
    m.Video(GreyFrame(50));
    Opened o(m);
    ASSERT_TRUE(o.status) << o.status.Describe();
    EXPECT_EQ(o.Greys(), (std::vector<int>{10, 20, 30, 40, 50}));
    EXPECT_EQ(o.reader.GetDamagedFrames(), 0u);
    EXPECT_EQ(o.reader.FirstFrameExtraBytes(), 2u);

    FilmMovie six;
    six.Video(SixByteFrame(GreyFrame(60)));
    EXPECT_EQ(Opened(six).reader.FirstFrameExtraBytes(), 6u);
    FilmMovie none;
    none.Video(PlainFrame(GreyFrame(70)));
    Opened p(none);
    EXPECT_EQ(p.reader.FirstFrameExtraBytes(), 0u);
    EXPECT_EQ(p.Greys(), std::vector<int>{70});
}

// A descriptor of 20 bytes ends before the sound fields: the table follows it, and the sound
// is taken as signed 8-bit mono at 22050 Hz. Version 0 always has that descriptor.
TEST(Variants, ShortDescriptorsAndVersionZero) {
    for (const Bytes& version : {Bytes{'1', '.', '0', '9'}, Bytes{0, 0, 0, 0}}) {
        SCOPED_TRACE(version[0]);
        FilmMovie m;
        m.version = version;
        m.descriptor = 20;
        m.Audio(Bytes{0x00, 0x7F, 0x80});
        m.Video(version[0] == 0 ? SixByteFrame(GreyFrame(9)) : GreyFrame(9));
        Opened o(m);
        ASSERT_TRUE(o.status) << o.status.Describe();
        const FilmHeader& h = o.reader.Contents().header;
        EXPECT_EQ(h.LayoutName(), version[0] == 0 ? "version 0" : "standard 1.09");
        EXPECT_FALSE(h.sound.fromHeader);
        const WAVEFORMATEX w = o.reader.GetAudioFormat();
        EXPECT_EQ(w.nChannels, 1);
        EXPECT_EQ(w.wBitsPerSample, 8);
        EXPECT_EQ(w.nSamplesPerSec, 22050u);
        EXPECT_EQ(o.Greys(), std::vector<int>{9});
        Bytes out(o.reader.GetAudioChunkCapacity());
        ASSERT_EQ(o.reader.NextAudioChunk(out.data()), 3u);
        EXPECT_EQ(out[0], 0x80);  // signed 8-bit to the device's unsigned
        EXPECT_EQ(out[1], 0xFF);
        EXPECT_EQ(out[2], 0x00);
    }
}

// Raw pictures: rows of red, green, blue from the top, shown as any other picture; every
// frame stands alone; version 0 files are taken to be 24-bit.
TEST(Variants, RawPictures) {
    for (bool v0 : {false, true}) {
        SCOPED_TRACE(v0);
        FilmMovie m;
        m.codec = "raw ";
        m.width = 2;
        m.height = 2;
        if (v0) {
            m.version = {0, 0, 0, 0};
            m.descriptor = 20;
        }
        m.Video({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        m.Video({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // a byte short: damaged
        Opened o(m);
        ASSERT_TRUE(o.status) << o.status.Describe();
        EXPECT_STREQ(o.reader.Contents().header.CodingName(), "raw ");
        BITMAPINFOHEADER h{};
        o.reader.GetOutputFormat(&h);
        Bytes pic(h.biSizeImage, 0);
        o.reader.Rewind();
        o.reader.DecodeNextFrame(pic.data());
        // Bottom-up, blue green red, rows of 8 bytes.
        EXPECT_EQ(Bytes(pic.begin(), pic.begin() + 6), (Bytes{9, 8, 7, 12, 11, 10}));
        EXPECT_EQ(Bytes(pic.begin() + 8, pic.begin() + 14), (Bytes{3, 2, 1, 6, 5, 4}));
        EXPECT_TRUE(o.reader.IsKeyFrame(1));
        o.reader.DecodeNextFrame(pic.data());
        EXPECT_EQ(o.reader.GetDamagedFrames(), 1u);
    }
    FilmMovie sixteen;
    sixteen.codec = "raw ";
    sixteen.pictureBits = 16;
    sixteen.Video(Bytes(8 * 8 * 2, 0));
    Opened o(sixteen);
    EXPECT_EQ(o.status.error, OpenError::kRawPictureBits);
    EXPECT_NE(o.status.Describe().find("16 bits"), std::string::npos);
}

// A movie of sound alone: its length is its sound's, on a clock of a tenth of a second;
// pictures in its table are passed over; without a sound it can play, nothing is left.
TEST(Variants, SoundAlone) {
    FilmMovie m = SoundOnly();
    m.Video(GreyFrame(1));  // a picture of a kind the file says it does not have
    Opened o(m);
    ASSERT_TRUE(o.status) << o.status.Describe();
    EXPECT_EQ(o.reader.GetVideoFrameCount(), 0u);
    EXPECT_EQ(o.reader.GetBaseFrequency(), 1000u);
    EXPECT_EQ(o.reader.GetFramePeriodTicks(), 100u);
    EXPECT_EQ(o.reader.GetTotalTicks(), 1500u);
    MovieInfo info;
    ASSERT_TRUE(DescribeMovie(o.reader, info));
    EXPECT_EQ(info.size, kNoPicture);
    EXPECT_EQ(info.time, "0:1");
    EXPECT_EQ(info.frames, "0");
    Bytes out(o.reader.GetAudioChunkCapacity());
    o.reader.Rewind();
    EXPECT_EQ(o.reader.DecodeNextFrame(nullptr), 0u) << "no picture to decode";
    size_t total = 0;
    while (uint32_t n = o.reader.NextAudioChunk(out.data()))
        total += n;
    EXPECT_EQ(total, 1500u);

    FilmMovie silent = SoundOnly();
    silent.channels = 0;
    EXPECT_EQ(Opened(silent).status.error, OpenError::kNoVideo);
}

// Layouts whose form is not known well enough are refused, each in words that name it;
// version 00 02 00 00 plays only where the standard layout checks out.
TEST(Variants, UnknownLayoutsAreRefusedByName) {
    FilmMovie good;
    good.Video(GreyFrame(1));
    FilmMovie v2 = good;
    v2.version = {0, 2, 0, 0};
    Opened plays(v2);
    EXPECT_TRUE(plays.status) << plays.status.Describe();
    EXPECT_EQ(plays.reader.Contents().header.LayoutName(), "standard (version 00 02 00 00)");
    FilmMovie shortV2 = v2;
    shortV2.descriptor = 20;
    EXPECT_EQ(Opened(shortV2).status.error, OpenError::kUnknownVersion);
    FilmMovie pastEnd = v2;
    pastEnd.entryCountOverride = 1000;
    const OpenStatus s = Opened(pastEnd).status;
    EXPECT_EQ(s.error, OpenError::kUnknownVersion);
    EXPECT_NE(s.Describe().find("00 02 00 00"), std::string::npos);

    Bytes threeDo = good.Build();
    std::copy_n("FHDR", 4, threeDo.begin() + 16);
    EXPECT_EQ(Opened(threeDo).status.error, OpenError::kThreeDoStream);
    Bytes abridged = good.Build();
    std::copy_n("\x01\x02\x03\x04", 4, abridged.begin() + 16);
    std::copy_n("\x00\x05\x01", 3, abridged.begin() + 24);
    EXPECT_EQ(Opened(abridged).status.error, OpenError::kAbridgedFilm);
    FilmMovie sega = good;
    sega.codec = "SEGA";
    const OpenStatus other = Opened(sega).status;
    EXPECT_EQ(other.error, OpenError::kNotCinepak);
    EXPECT_NE(other.Describe().find("\"SEGA\""), std::string::npos);
}

// The movies of each layout, made by others' tools: every picture and the whole sound equal
// the references (checked against an independent decoder), and a seek into the middle lands
// on the reference frame.
TEST(Variants, EveryVariantFixtureDecodesToItsReference) {
    struct Case {
        const char* name;
        uint32_t frames;
        const char* layout;
        const char* coding;
    };
    for (const Case& c : {Case{"version0-bars-320x224-s8-22k", 60, "version 0", "cvid"},
                          Case{"plain-cinepak-silent-256x224", 20, "standard 1.09", "cvid"},
                          Case{"raw-160x120-s16-mono-11k", 20, "standard 1.09", "raw "},
                          Case{"stab-nopreamble-gray-320x200-s8", 36, "standard 1.09", "cvid"},
                          Case{"audio-only-s16-stereo-22k", 0, "standard 1.09", "none"}}) {
        SCOPED_TRACE(c.name);
        MovieReader reader;
        ASSERT_TRUE(reader.Open(FixturePath(std::string("variants/") + c.name + ".cpk")));
        EXPECT_EQ(reader.Contents().header.LayoutName(), c.layout);
        EXPECT_STREQ(reader.Contents().header.CodingName(), c.coding);
        EXPECT_EQ(reader.GetVideoFrameCount(), c.frames);
        EXPECT_EQ(reader.GetDamagedFrames(), 0u);
    }
}

// cpktool check: a movie written as the games' movies are (base 600, even chunks, one strip
// count, sound just before each picture) passes; each departure is one line.
TEST(LayoutCheck, NamesEveryDeparture) {
    TempDir dir;
    FilmMovie good;
    good.width = 32;
    good.height = 16;
    good.channels = 1;
    good.bits = 16;
    good.rate = 22050;
    good.baseFrequency = 600;
    for (int i = 1; i <= 20; ++i) {
        good.Audio(Bytes(4410, 0));  // a tenth of a second
        good.Video(GreyFrame(i, 32, 16), 60);
    }
    const auto check = [&](const FilmMovie& m) {
        m.Save(dir.File("m.cpk"));
        return CheckLayout(dir.File("m.cpk"));
    };
    EXPECT_EQ(check(good), std::vector<std::string>{});

    FilmMovie m = good;
    m.baseFrequency = 10;
    for (FilmSample& s : m.samples) {
        s.duration = s.audio ? 0 : 1;
        s.timestamp /= 60;
    }
    EXPECT_EQ(check(m),
              std::vector<std::string>{"the rate field is 10, not the games' base of 600"});
    m = good;
    m.samples[3].data.push_back(0);  // an odd picture
    ASSERT_EQ(check(m).size(), 1u);
    EXPECT_EQ(check(m)[0], "entry 3: odd length " + std::to_string(m.samples[3].data.size()));
    m = good;
    m.samples.erase(m.samples.begin() + 10,
                    m.samples.begin() + 16);  // three chunks of sound missing
    for (const std::string& line : check(m))
        EXPECT_NE(line.find("of sound come before it"), std::string::npos) << line;
    EXPECT_FALSE(check(m).empty());
    m = good;
    m.version = {0, 0, 0, 0};
    m.descriptor = 20;
    EXPECT_EQ(check(m).front(),
              "layout: version 0 with a 20-byte descriptor (the standard is 1.09 with 32 bytes)");
    WriteAll(dir.File("t.cpk"), "not a movie");
    EXPECT_EQ(
        CheckLayout(dir.File("t.cpk")),
        std::vector<std::string>{"not a movie the player reads: not a FILM movie: no FILM header"});
}
