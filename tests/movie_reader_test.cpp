#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "FilmBuilder.h"
#include "Fixtures.h"
#include "TestUtil.h"
#include "movie/MovieInfo.h"
#include "movie/MovieReader.h"
#include "playback/CTovrinDoc.h"

using namespace lunavue;
using namespace lunavue::test;

namespace {

MovieClock Timing(uint32_t periods, float periodTicks, float baseFrequency) {
    return MovieClock::FromNumbers(periodTicks, baseFrequency, periods);
}

Bytes Sound(std::initializer_list<int> bytes) {
    Bytes b;
    for (int x : bytes)
        b.push_back(static_cast<uint8_t>(x));
    return b;
}

struct Opened {
    TempDir dir;
    MovieReader reader;
    bool ok;
    explicit Opened(const FilmMovie& movie) {
        movie.Save(dir.File("m.cpk"));
        ok = static_cast<bool>(reader.Open(dir.File("m.cpk")));
    }
    Bytes Picture() { return Bytes(PictureStride(8) * 8 + 4, 0); }
};

}  // namespace

TEST(MovieReader, EveryFixtureFrameAndSoundTrackIsBitExact) {
    for (const Fixture& fx : Fixtures()) {
        SCOPED_TRACE(fx.name);
        MovieReader reader;
        ASSERT_TRUE(reader.Open(FixturePath(std::string(fx.name) + ".cpk")));
        BITMAPINFOHEADER h{};
        ASSERT_EQ(reader.GetOutputFormat(&h), 1);
        ASSERT_EQ(h.biWidth, fx.width);
        ASSERT_EQ(h.biHeight, fx.height);
        ASSERT_EQ(reader.GetVideoFrameCount(), static_cast<uint32_t>(fx.frames));
        const Bytes frames = Gunzip(std::string(fx.name) + ".frames.bgr.gz");
        const size_t row = 3 * static_cast<size_t>(fx.width);
        ASSERT_EQ(frames.size(), row * fx.height * fx.frames);

        Bytes picture(h.biSizeImage);
        Bytes chunk(reader.GetAudioChunkCapacity() + 1);
        Bytes sound;
        reader.Rewind();
        for (int f = 0; f < fx.frames; ++f) {
            reader.DecodeNextFrame(picture.data());
            for (int y = 0; y < fx.height; ++y) {
                const uint8_t* got = picture.data() + PictureStride(fx.width) * (fx.height - 1 - y);
                const uint8_t* want =
                    frames.data() + row * (static_cast<size_t>(f) * fx.height + y);
                ASSERT_EQ(0, std::memcmp(got, want, row)) << "frame " << f << " row " << y;
            }
            while (fx.sound) {
                uint32_t n = reader.NextAudioChunk(chunk.data());
                if (n == 0)
                    break;
                sound.insert(sound.end(), chunk.begin(), chunk.begin() + n);
            }
        }
        while (uint32_t n = fx.sound ? reader.NextAudioChunk(chunk.data()) : 0) {
            sound.insert(sound.end(), chunk.begin(), chunk.begin() + n);
        }
        if (fx.sound) {
            EXPECT_EQ(sound, Gunzip(std::string(fx.name) + ".audio.pcm.gz"));
        } else {
            EXPECT_EQ(reader.GetAudioChunkCapacity(), 0u);
        }
        // The poster frame is the first frame again, and does not disturb delivery.
        Bytes poster(h.biSizeImage);
        reader.DecodeFirstFrame(poster.data());
        reader.Rewind();
        reader.DecodeNextFrame(picture.data());
        EXPECT_EQ(poster, picture);
    }
}

TEST(MovieReader, InformationTexts) {
    MovieReader reader;
    ASSERT_TRUE(reader.Open(FixturePath("bars-320x224-s16-stereo.cpk")));
    MovieInfo info;
    ASSERT_TRUE(DescribeMovie(reader, info));
    EXPECT_EQ(info.size, "320x224");
    EXPECT_EQ(info.frameRate, "15.00fps");
    EXPECT_EQ(info.frames, "60");
    EXPECT_EQ(info.time, "0:4");
    EXPECT_EQ(info.soundRate, "22050Hz");
    EXPECT_EQ(info.soundType, "16bit");
    EXPECT_EQ(info.channels, "2");

    BITMAPINFOHEADER pic{};
    pic.biWidth = 320;
    pic.biHeight = 224;
    WAVEFORMATEX none{};
    info = FormatMovieInfo(pic, none, Timing(60000 / 40, 40.0f, 600.0f));
    EXPECT_EQ(info.frames, "1500");
    EXPECT_EQ(info.frameRate, "15.00fps");
    EXPECT_EQ(info.time, "1:40");
    EXPECT_EQ(info.soundRate, "0Hz");
    EXPECT_EQ(info.soundType, "0bit");
    EXPECT_EQ(info.channels, "0");
    EXPECT_EQ(FormatMovieInfo(pic, none, Timing(1, 3.0f, 1000.0f)).frameRate, "333.33fps");
    EXPECT_EQ(FormatMovieInfo(pic, none, Timing(65, 1.0f, 1.0f)).time, "1:5");
    EXPECT_EQ(FormatMovieInfo(pic, none, Timing(3600, 1.0f, 1.0f)).time, "60:0");
    EXPECT_EQ(FormatMovieInfo(pic, none, Timing(599, 1.0f, 10.0f)).time, "0:59");
}

TEST(MovieReader, SoundIsReadOnTheWayToPicturesAndDeliveredInOrder) {
    FilmMovie m;
    m.channels = 1;
    m.bits = 8;
    m.rate = 8000;
    m.Video(GreyFrame(10));
    m.Audio(Sound({1, 2, 3}));
    m.Audio(Sound({4, 5}));
    m.Video(GreyFrame(20));
    m.Audio(Sound({6}));
    m.Audio(Sound({7, 8}));
    Opened o(m);
    ASSERT_TRUE(o.ok);
    Bytes pic = o.Picture();
    Bytes out(o.reader.GetAudioChunkCapacity());
    o.reader.Rewind();
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 0u) << "the cursor stands on a picture";
    o.reader.DecodeNextFrame(pic.data());
    EXPECT_EQ(pic[0], 10);
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 3u);  // read ahead, then delivered
    EXPECT_EQ(out[0], 0x81);
    o.reader.DecodeNextFrame(pic.data());  // reads {4,5}, then decodes frame 2
    EXPECT_EQ(pic[0], 20);
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 2u);
    EXPECT_EQ(out[1], 0x85);
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 1u);  // sound after the last picture
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 2u);
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 0u);
    EXPECT_EQ(o.reader.DecodeNextFrame(pic.data()), 0u) << "no picture is left";

    // A chunk still waiting at a rewind is never delivered after it.
    o.reader.Rewind();
    o.reader.DecodeNextFrame(pic.data());
    o.reader.DecodeNextFrame(pic.data());
    o.reader.Rewind();
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 0u);
}

TEST(MovieReader, ManyChunksBeforeTheFirstPictureAreAllKept) {
    FilmMovie m;
    m.channels = 2;
    m.bits = 16;
    m.rate = 1000;  // 4000 bytes a second: each 8-byte chunk lasts 2 ms
    for (int i = 0; i < 300; ++i) {
        m.Audio(Sound({i >> 8, i & 0xFF, 0, 0, 0x10, 0x20, 0, 0}));
    }
    m.Video(GreyFrame(1));
    m.Video(GreyFrame(2));
    Opened o(m);
    ASSERT_TRUE(o.ok);
    EXPECT_GE(o.reader.GetSoundRingBytes(), 300u * 8);
    Bytes pic = o.Picture();
    Bytes out(o.reader.GetAudioChunkCapacity());
    o.reader.Rewind();
    o.reader.DecodeNextFrame(pic.data());
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(o.reader.NextAudioChunk(out.data()), 8u);
        // 16-bit stereo: left samples first in the file, interleaved and swapped for the device.
        ASSERT_EQ(Bytes(out.begin(), out.end()), Sound({i & 0xFF, i >> 8, 0x20, 0x10, 0, 0, 0, 0}));
    }
    EXPECT_EQ(o.reader.NextAudioChunk(out.data()), 0u);
}

TEST(MovieReader, SoundConversions) {
    uint8_t out[8] = {};
    const uint8_t mono16[] = {0x12, 0x34, 0x56, 0x78};
    ConvertSound(mono16, 4, 16, 1, out);
    EXPECT_EQ(Bytes(out, out + 4), Sound({0x34, 0x12, 0x78, 0x56}));
    const uint8_t stereo16[] = {'A', 'a', 'B', 'b', 'C', 'c', 'D', 'd'};  // L0 L1 R0 R1
    ConvertSound(stereo16, 8, 16, 2, out);
    EXPECT_EQ(Bytes(out, out + 8), Sound({'a', 'A', 'c', 'C', 'b', 'B', 'd', 'D'}));
    const uint8_t mono8[] = {0x00, 0xFF, 0x80};
    ConvertSound(mono8, 3, 8, 1, out);
    EXPECT_EQ(Bytes(out, out + 3), Sound({0x80, 0x7F, 0x00}));
    const uint8_t stereo8[] = {0x01, 0x02, 0x81, 0x82};
    ConvertSound(stereo8, 4, 8, 2, out);
    EXPECT_EQ(Bytes(out, out + 4), Sound({0x81, 0x01, 0x82, 0x02}));
}

TEST(MovieReader, RingWrapsAndOddChunksDeliverWholeFrames) {
    FilmMovie m;
    m.channels = 2;
    m.bits = 16;
    m.rate = 11025;
    for (int f = 0; f < 40; ++f) {
        m.Audio(Sound({f, 0, f, 1, 9}));  // 5 bytes: one whole stereo frame and a stray byte
        m.Video(GreyFrame(f));
    }
    Opened o(m);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.reader.GetAudioChunkCapacity(), 8u);
    Bytes pic = o.Picture();
    Bytes out(8);
    o.reader.Rewind();
    for (int f = 0; f < 40; ++f) {
        o.reader.DecodeNextFrame(pic.data());
        ASSERT_EQ(pic[0], f);
        // The stray byte is not handed to the device: it would shift every later sample.
        ASSERT_EQ(o.reader.NextAudioChunk(out.data()), 4u);
        ASSERT_EQ(out[1], f);
    }
}

TEST(MovieReader, BufferSizesFollowTheTable) {
    FilmMovie m;
    m.width = 321;
    m.height = 2;
    m.channels = 1;
    m.bits = 16;
    m.rate = 22050;
    m.Video(Bytes(5000, 0));
    m.Audio(Bytes(1001, 0));
    m.Video(Bytes(100, 0), 3);
    Opened o(m);
    ASSERT_TRUE(o.ok);
    BITMAPINFOHEADER h{};
    o.reader.GetOutputFormat(&h);
    EXPECT_EQ(h.biSizeImage, 964u * 2);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(o.reader.GetAudioChunkCapacity(), 1004u);
    EXPECT_EQ(o.reader.GetDecodedBufferSize(), 964u * 2 + 1024);
    EXPECT_EQ(o.reader.GetFramePeriodTicks(), 1u);
    EXPECT_EQ(o.reader.GetTotalTicks(), 1u + 3u);
    WAVEFORMATEX w = o.reader.GetAudioFormat();
    EXPECT_EQ(w.nBlockAlign, 2);
    EXPECT_EQ(w.nAvgBytesPerSec, 44100u);
    // Frames whose zero-filled data say nothing decode without harm.
    Bytes pic(h.biSizeImage);
    o.reader.Rewind();
    EXPECT_EQ(o.reader.DecodeNextFrame(pic.data()), 1u);
    EXPECT_EQ(o.reader.DecodeNextFrame(pic.data()), 3u);
    o.reader.Close();
    EXPECT_EQ(o.reader.GetOutputFormat(&h), 0);
    EXPECT_EQ(o.reader.GetTotalTicks(), 0u);
    EXPECT_EQ(o.reader.GetFramePeriodTicks(), 1u) << "kept after Close";
}

TEST(MovieReader, TimingAndSoundFormatEdges) {
    FilmMovie m;
    m.channels = 0;
    m.bits = 12;
    m.baseFrequency = 600;
    m.Video(GreyFrame(1), 20000);
    m.Video(GreyFrame(2), 15000);
    m.samples.back().timestamp = 0x7F000000 | 20000;  // the top byte is not part of the time
    Opened o(m);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.reader.GetFramePeriodTicks(), 10000u);
    EXPECT_EQ(o.reader.GetTotalTicks(), 35000u);
    EXPECT_EQ(o.reader.GetAudioChunkCapacity(), 0u);
    EXPECT_EQ(o.reader.GetAudioFormat().nChannels, 0);
    EXPECT_EQ(o.reader.GetAudioFormat().nBlockAlign, 0);
    EXPECT_EQ(o.reader.GetAudioFormat().wBitsPerSample, 12);

    // A second movie on the same reader starts afresh.
    FilmMovie second;
    second.channels = 2;
    second.bits = 8;
    second.rate = 8000;
    second.Video(GreyFrame(1), 7);
    second.Audio(Bytes(10, 0));
    second.Save(o.dir.File("b.cpk"));
    o.reader.Close();
    ASSERT_TRUE(o.reader.Open(o.dir.File("b.cpk")));
    EXPECT_EQ(o.reader.GetFramePeriodTicks(), 7u);
    EXPECT_EQ(o.reader.GetAudioChunkCapacity(), 12u);
    EXPECT_EQ(o.reader.GetVideoFrameCount(), 1u);
}

TEST(MovieReader, RefusesFilesItCannotPlayAndSaysWhy) {
    TempDir dir;
    MovieReader reader;
    FilmMovie good;
    good.Video(GreyFrame(1));
    good.Video(GreyFrame(2));
    struct Case {
        const char* what;
        std::function<void(FilmMovie&)> damage;
        OpenError error;
        const char* reason;  // the start of the English text
    };
    const std::vector<Case> cases = {
        {"another codec", [](FilmMovie& m) { m.codec = "CVID"; }, OpenError::kNotCinepak,
         "the video is not Cinepak"},
        {"no width", [](FilmMovie& m) { m.width = 0; }, OpenError::kPictureSize,
         "the picture size"},
        {"too tall", [](FilmMovie& m) { m.height = 4097; }, OpenError::kPictureSize,
         "the picture size"},
        {"table larger than the file", [](FilmMovie& m) { m.entryCountOverride = 0x7FFFFFFF; },
         OpenError::kTooShort, "the file ends"},
        {"no entries", [](FilmMovie& m) { m.entryCountOverride = 0; }, OpenError::kEntryCount,
         "the sample table's entry count (0)"},
        {"negative count", [](FilmMovie& m) { m.entryCountOverride = 0x80000001u; },
         OpenError::kEntryCount, "the sample table's entry count (-2147483647)"},
        {"no picture",
         [](FilmMovie& m) {
             m.samples.clear();
             m.Audio(Bytes(4, 0));
         },
         OpenError::kNoVideo, "the sample table has no video entry"},
        {"a frame lasting 0 ticks", [](FilmMovie& m) { m.samples[1].duration = 0; },
         OpenError::kPeriodZero, "sample table entry 1 is a picture lasting 0 ticks"},
        {"no clock", [](FilmMovie& m) { m.baseFrequency = 0; }, OpenError::kBaseFrequencyZero,
         "the base frequency"},
        {"a length past the end", [](FilmMovie& m) { m.lengthOverride[1] = 1000; },
         OpenError::kDataPastEnd, "sample table entry 1 runs past the end of the file"},
        {"a length near 2^31", [](FilmMovie& m) { m.lengthOverride[0] = 0x7FFFFFFE; },
         OpenError::kDataPastEnd, "sample table entry 0 runs past the end of the file"},
        {"a negative length", [](FilmMovie& m) { m.lengthOverride[1] = 0xFFFFFFF0u; },
         OpenError::kDataPastEnd, "sample table entry 1 runs past the end of the file"},
        {"pictures beyond the memory limit",
         [](FilmMovie& m) {
             m.width = 4096;
             m.height = 4096;
         },
         OpenError::kOutOfMemory, "playing it would need"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FilmMovie m = good;
        c.damage(m);
        m.Save(dir.File("x.cpk"));
        const OpenStatus status = reader.Open(dir.File("x.cpk"), CTovrinDoc::kBudget);
        EXPECT_EQ(status.error, c.error);
        EXPECT_EQ(status.Describe().rfind(c.reason, 0), 0u) << status.Describe();
        EXPECT_FALSE(reader.IsOpen());
    }

    EXPECT_EQ(reader.Open(dir.File("missing.cpk")).Describe(),
              "cannot open the file: No such file or directory");
    EXPECT_EQ(reader.Open(dir.Path().string()).error, OpenError::kNotRegularFile) << "a folder";

    // Truncations of a real movie at many points.
    Bytes movie = ReadBytes(FixturePath("gray-320x200-s8-mono.cpk"));
    for (size_t cut : {size_t{0}, size_t{10}, size_t{63}, size_t{64}, size_t{500}, size_t{1168},
                       size_t{1200}, movie.size() / 2, movie.size() - 1}) {
        WriteAll(dir.File("t.cpk"), std::string(movie.begin(), movie.begin() + cut));
        const OpenStatus status = reader.Open(dir.File("t.cpk"));
        EXPECT_FALSE(status) << cut;
        EXPECT_TRUE(status.error == OpenError::kTooShort ||
                    status.error == OpenError::kEntryCount ||
                    status.error == OpenError::kDataPastEnd ||
                    (cut < 4 && status.error == OpenError::kNotFilm))
            << cut << ": " << status.Describe();
    }
    // Other kinds of files, however long, say that they are not FILM movies.
    for (const std::string& other :
         {std::string("hi"), std::string(5000, 'x'),
          std::string("RIFF\0\0\0\0AVI LIST") + std::string(200, '\0')}) {
        WriteAll(dir.File("o.cpk"), other);
        EXPECT_EQ(reader.Open(dir.File("o.cpk")).Describe(), "not a FILM movie: no FILM header");
    }
    // A refused file leaves the reader ready for the next one.
    EXPECT_TRUE(reader.Open(FixturePath("gray-320x200-s8-mono.cpk")));
}

// A table of many tiny sound chunks and one large one: the waiting sound is held as bytes,
// not as many slots of the largest size.
TEST(MovieReader, ManyTinyChunksNeedLittleMemory) {
    FilmMovie m;
    m.channels = 1;
    m.bits = 8;
    m.rate = 22050;
    m.baseFrequency = 15;
    m.Audio(Bytes(200000, 0));
    for (int i = 0; i < 2000; ++i) {
        m.Audio(Bytes(1, static_cast<uint8_t>(i)));
        if (i % 40 == 0)
            m.Video(GreyFrame(i / 40));
    }
    Opened o(m);
    ASSERT_TRUE(o.ok);
    EXPECT_LT(o.reader.GetSoundRingBytes(), 2u << 20);
    Bytes pic = o.Picture();
    Bytes out(o.reader.GetAudioChunkCapacity());
    o.reader.Rewind();
    size_t total = 0;
    for (uint32_t f = 0; f < o.reader.GetVideoFrameCount(); ++f) {
        o.reader.DecodeNextFrame(pic.data());
        while (uint32_t n = o.reader.NextAudioChunk(out.data()))
            total += n;
    }
    while (uint32_t n = o.reader.NextAudioChunk(out.data()))
        total += n;
    EXPECT_EQ(total, 202000u) << "every byte delivered";
}

// Whatever the damage, delivery writes only into the buffers it is given, within their
// sizes, and hands out no more than the table holds.
TEST(MovieReader, RandomDamageStaysInsideItsBuffers) {
    TempDir dir;
    const Bytes movie = ReadBytes(FixturePath("bars-320x224-s16-stereo.cpk"));
    std::mt19937 rng(11);
    MovieReader reader;
    constexpr size_t kGuard = 64;
    constexpr uint8_t kMark = 0xA5;
    auto intact = [&](const Bytes& b, size_t used) {
        return std::all_of(b.begin() + static_cast<ptrdiff_t>(used), b.end(),
                           [&](uint8_t x) { return x == kMark; });
    };
    int opened = 0;
    for (int round = 0; round < 60; ++round) {
        Bytes bad = movie;
        // Heavy damage in every other round, a few bytes in the others.
        const int changes = 1 + static_cast<int>(rng() % (round % 2 == 0 ? 200 : 8));
        for (int k = 0; k < changes; ++k) {
            // Mostly the table and the frame headers, where damage matters most.
            size_t at = rng() % 4 == 0 ? rng() % 2500 : rng() % bad.size();
            bad[at] = static_cast<uint8_t>(rng());
        }
        WriteAll(dir.File("r.cpk"), std::string(bad.begin(), bad.end()));
        if (!reader.Open(dir.File("r.cpk")).operator bool()) {
            continue;
        }
        ++opened;
        BITMAPINFOHEADER h{};
        reader.GetOutputFormat(&h);
        const size_t capacity = reader.GetAudioChunkCapacity();
        Bytes pic(h.biSizeImage + kGuard, kMark);
        Bytes chunk(capacity + kGuard, kMark);
        reader.Rewind();
        uint32_t frames = 0;
        while (reader.DecodeNextFrame(pic.data()) != 0) {
            ++frames;
            ASSERT_TRUE(intact(pic, h.biSizeImage)) << "round " << round;
            for (uint32_t n; capacity != 0 && (n = reader.NextAudioChunk(chunk.data())) != 0;) {
                ASSERT_LE(n, capacity);
                ASSERT_TRUE(intact(chunk, capacity)) << "round " << round;
            }
        }
        EXPECT_EQ(frames, reader.GetVideoFrameCount());
        EXPECT_LE(reader.GetDamagedFrames(), frames);
        reader.DecodeFirstFrame(pic.data());
        EXPECT_TRUE(intact(pic, h.biSizeImage));
        reader.Close();
    }
    EXPECT_GT(opened, 10) << "the damage left movies to deliver";
}

// Files whose first frame is marked as depending on the one before carry marks that cannot
// be trusted: the frames' own strips say which can be decoded alone, and a seek starts from
// the right one.
TEST(MovieReader, UntrustedKeyMarksAreReadFromTheFrames) {
    // A frame whose one strip is an inter strip that keeps every block of an 8 x 8 picture.
    const Bytes keep = StoredFrame(1, 8, 8, {Strip(0x1100, 8, 8, {Chunk(0x3100, Bytes(4, 0))})});
    FilmMovie m;
    m.Video(GreyFrame(10));
    m.Video(keep);
    m.Video(keep);
    m.Video(GreyFrame(40));
    m.Video(keep);
    m.samples[0].timestamp |= 0x80000000u;  // "depends on the frame before"
    Opened o(m);
    ASSERT_TRUE(o.ok);
    EXPECT_TRUE(o.reader.IsKeyFrame(0));
    EXPECT_FALSE(o.reader.IsKeyFrame(1));
    EXPECT_TRUE(o.reader.IsKeyFrame(3));
    EXPECT_FALSE(o.reader.IsKeyFrame(4));
    EXPECT_EQ(o.reader.KeyFrameAtOrBefore(4), 3u);
    EXPECT_EQ(o.reader.KeyFrameAtOrBefore(2), 0u);
    // Decoding from there to frame 4 shows frame 3's grey, kept by frame 4.
    Bytes pic = o.Picture();
    o.reader.SeekTo(o.reader.KeyFrameAtOrBefore(4), 0);
    o.reader.DecodeNextFrame(pic.data());
    o.reader.DecodeNextFrame(pic.data());
    EXPECT_EQ(pic[0], 40);

    // The same marks in a file whose first frame is a key frame are the table's word.
    FilmMovie trusted = m;
    trusted.samples[0].timestamp &= ~0x80000000u;
    trusted.samples[3].timestamp |= 0x80000000u;
    Opened t(trusted);
    ASSERT_TRUE(t.ok);
    EXPECT_FALSE(t.reader.IsKeyFrame(3)) << "the table says so";
    EXPECT_TRUE(t.reader.IsKeyFrame(4)) << "the table says so";
}

// Sound rates no device should be asked for make the sound silent, not the movie unplayable.
TEST(MovieReader, SoundAtAbsurdRatesIsSilent) {
    for (uint16_t rate : {1, 2, 7, 999}) {
        FilmMovie m;
        m.channels = 1;
        m.bits = 16;
        m.rate = rate;
        m.Audio(Bytes(64, 1));
        m.Video(GreyFrame(1));
        Opened o(m);
        ASSERT_TRUE(o.ok);
        EXPECT_EQ(o.reader.GetAudioChunkCapacity(), 0u) << rate << " Hz";
        EXPECT_FALSE(o.reader.Sound().Usable());
    }
}
