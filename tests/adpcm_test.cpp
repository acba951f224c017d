// The ADPCM sound coding: the coefficients, the stream rules (header, carried bytes, end
// marker), and movies whose sound must stay silent rather than turn into noise.
#include <gtest/gtest.h>

#include <cmath>

#include "FilmBuilder.h"
#include "Fixtures.h"
#include "TestUtil.h"
#include "movie/MovieReader.h"
#include "platform/codec/Adpcm.h"
#include "platform/codec/AdpcmEncoder.h"

using namespace lunavue;
using namespace lunavue::test;
using codec::AdpcmDecoder;

namespace {

// A stream header with the data at 36, as the fixtures' writer makes it.
Bytes StreamHeader(int channels, uint32_t rate, uint16_t cutoff = 500, uint8_t type = 3) {
    Bytes h = {0x80, 0x00, 0x00, 0x20, type, 18, 4, static_cast<uint8_t>(channels)};
    Put32(h, rate);
    Put32(h, 0);
    Put16(h, cutoff);
    h.push_back(3);
    h.push_back(0);
    h.resize(30, 0);
    for (char c : std::string("(c)Sig"))
        h.push_back(static_cast<uint8_t>(c));
    return h;
}

// A block of scale s whose 32 nibbles are all n.
Bytes Block(uint16_t s, uint8_t n) {
    Bytes b;
    Put16(b, s);
    b.insert(b.end(), 16, static_cast<uint8_t>(n << 4 | n));
    return b;
}

Bytes EndMarker() {
    Bytes b = {0x80, 0x01, 0x00, 0x0E};
    b.resize(18, 0);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Decodes a stream handed over in the given chunk sizes; the last chunk takes the rest.
Bytes DecodeInChunks(const Bytes& stream, std::vector<size_t> sizes) {
    AdpcmDecoder d;
    Bytes out;
    size_t at = 0;
    sizes.push_back(stream.size());
    for (size_t n : sizes) {
        n = std::min(n, stream.size() - at);
        Bytes chunk(AdpcmDecoder::Capacity(n, 2) + 256);
        const size_t got = d.Decode(stream.data() + at, n, chunk.data());
        EXPECT_LE(got,
                  AdpcmDecoder::Capacity(n, d.Format().channels == 0 ? 2 : d.Format().channels));
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(got));
        at += n;
    }
    return out;
}

// A movie whose sound is the stream, cut into chunks of the sizes given.
FilmMovie AdpcmMovie(const Bytes& stream, size_t chunk, uint8_t channels, uint8_t coding = 2) {
    FilmMovie m;
    m.channels = channels;
    m.bits = 16;
    m.codingByte = coding;
    m.rate = 22050;
    for (size_t at = 0, f = 1; at < stream.size(); at += chunk, ++f) {
        m.Audio(
            Bytes(stream.begin() + static_cast<ptrdiff_t>(at),
                  stream.begin() + static_cast<ptrdiff_t>(std::min(at + chunk, stream.size()))));
        m.Video(GreyFrame(static_cast<int>(f)));
    }
    return m;
}

Bytes PlaySound(const FilmMovie& m, MovieReader& reader, TempDir& dir) {
    m.Save(dir.File("a.cpk"));
    EXPECT_TRUE(reader.Open(dir.File("a.cpk")));
    Bytes picture(reader.GetDecodedBufferSize());
    Bytes chunk(reader.GetAudioChunkCapacity());
    Bytes sound;
    reader.Rewind();
    for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
        reader.DecodeNextFrame(picture.data());
        while (uint32_t n = chunk.empty() ? 0 : reader.NextAudioChunk(chunk.data()))
            sound.insert(sound.end(), chunk.begin(), chunk.begin() + n);
    }
    return sound;
}

}  // namespace

TEST(Adpcm, CoefficientsRoundThroughSinglePrecisionToEven) {
    struct Row {
        uint32_t rate, cutoff;
        int c1, c2;
    };
    for (const Row& r :
         {Row{11025, 500, 5288, -1707}, Row{22050, 500, 6569, -2634}, Row{32000, 500, 7034, -3020},
          Row{44100, 500, 7334, -3283}, Row{48000, 500, 7400, -3343},
          // 5112.50001839 as a double, an exact tie as a single: to even.
          Row{22050, 1079, 5112, -1595}, Row{22050, 0, 8192, -4096}}) {
        int c1 = 0, c2 = 0;
        codec::AdpcmCoefficients(r.cutoff, r.rate, c1, c2);
        EXPECT_EQ(c1, r.c1) << r.rate << " Hz, cutoff " << r.cutoff;
        EXPECT_EQ(c2, r.c2) << r.rate << " Hz, cutoff " << r.cutoff;
    }
}

TEST(Adpcm, HeadersAreAcceptedOnlyWhenWhole) {
    codec::AdpcmFormat f;
    const Bytes h = StreamHeader(2, 32000);
    EXPECT_EQ(codec::ParseAdpcmHeader(h.data(), h.size(), f), codec::AdpcmHeader::kAccepted);
    EXPECT_EQ(f.headerBytes, 36u);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.rate, 32000u);
    EXPECT_EQ(f.c1, 7034);
    EXPECT_EQ(codec::ParseAdpcmHeader(h.data(), 12, f), codec::AdpcmHeader::kNeedMore);
    for (auto [at, value] : {std::pair{0, 0x00}, {4, 4}, {5, 16}, {6, 8}, {7, 3}}) {
        Bytes bad = h;
        bad[static_cast<size_t>(at)] = static_cast<uint8_t>(value);
        EXPECT_EQ(codec::ParseAdpcmHeader(bad.data(), bad.size(), f), codec::AdpcmHeader::kRefused)
            << "byte " << at;
    }
    Bytes tiny = h;
    tiny[3] = 0x10;  // data at 20: shorter than the fields themselves
    EXPECT_EQ(codec::ParseAdpcmHeader(tiny.data(), tiny.size(), f), codec::AdpcmHeader::kRefused);
}

TEST(Adpcm, ChunkBoundariesMeanNothing) {
    // Stereo: three groups, then the end marker; a group is 36 bytes.
    const Bytes stream = Cat({StreamHeader(2, 22050), Block(300, 3), Block(200, 0xD), Block(0, 0),
                              Block(7, 7), Block(0x7FFF, 0x8), Block(1, 1), EndMarker()});
    const Bytes whole = DecodeInChunks(stream, {});
    ASSERT_EQ(whole.size(), 3u * 32 * 2 * 2);
    // The header split across chunks, a chunk ending inside a block, one-byte chunks: the
    // same sound.
    EXPECT_EQ(DecodeInChunks(stream, {10, 30, 17, 1, 1, 50}), whole);
    std::vector<size_t> ones(stream.size(), 1);
    EXPECT_EQ(DecodeInChunks(stream, ones), whole);
    // Full scale differences clamp rather than wrap: the third group's left block is all
    // -8 x 32767, the most negative sample.
    const size_t third = 2 * 32 * 2 * 2;
    EXPECT_EQ(whole[third + 4], 0x00);
    EXPECT_EQ(whole[third + 5], 0x80);
}

TEST(Adpcm, TheEndMarkerAndAMissingOne) {
    const Bytes header = StreamHeader(2, 22050);
    // The marker in the right channel's place drops its whole group, and nothing after it
    // is decoded.
    const Bytes right =
        Cat({header, Block(9, 1), Block(9, 2), Block(9, 3), EndMarker(), Block(9, 4), Block(9, 5)});
    EXPECT_EQ(DecodeInChunks(right, {}).size(), 1u * 32 * 2 * 2);
    // Without a marker the stream ends with its last whole group.
    const Bytes none = Cat({header, Block(9, 1), Block(9, 2), Block(9, 3)});
    EXPECT_EQ(DecodeInChunks(none, {}).size(), 1u * 32 * 2 * 2);
    // A mono marker ends a mono stream at a block.
    const Bytes mono =
        Cat({StreamHeader(1, 22050), Block(9, 1), Block(9, 2), EndMarker(), Block(9, 3)});
    EXPECT_EQ(DecodeInChunks(mono, {}).size(), 2u * 32 * 2);
}

TEST(Adpcm, MoviesPlayTheStreamOrNothing) {
    TempDir dir;
    MovieReader reader;
    const Bytes stream = Cat({StreamHeader(1, 22050), Block(300, 3), Block(200, 0xD), Block(0, 0),
                              Block(7, 7), EndMarker()});
    const Bytes want = DecodeInChunks(stream, {});
    // Chunks of 10 bytes: most decode to nothing and are passed over, not taken for the end.
    Bytes sound = PlaySound(AdpcmMovie(stream, 10, 1), reader, dir);
    EXPECT_EQ(sound, want);
    EXPECT_EQ(reader.Sound().Coding(), SoundCoding::kAdpcm);
    EXPECT_EQ(reader.GetAudioFormat().wBitsPerSample, 16) << "whatever byte 38 says";
    EXPECT_EQ(reader.GetAudioFormat().nSamplesPerSec, 22050u);

    // Silent, never noise: bytes before the header, an unknown encoding type, a coding byte
    // we do not know, a stream too short for its own header.
    struct Case {
        const char* what;
        FilmMovie movie;
    };
    Bytes early = stream;
    early.insert(early.begin(), 0);
    const Bytes type4 = Cat({StreamHeader(1, 22050, 500, 4), Block(300, 3), EndMarker()});
    const std::vector<Case> silent = {
        {"bytes before the header", AdpcmMovie(early, 40, 1)},
        {"encoding type 4", AdpcmMovie(type4, 40, 1)},
        {"coding byte 3", AdpcmMovie(stream, 40, 1, 3)},
        {"half a header", AdpcmMovie(Bytes(stream.begin(), stream.begin() + 30), 40, 1)},
        {"no channels in the FILM header", AdpcmMovie(stream, 40, 0)},
    };
    for (const Case& c : silent) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(PlaySound(c.movie, reader, dir).empty());
        EXPECT_EQ(reader.GetAudioChunkCapacity(), 0u);
        EXPECT_FALSE(reader.Sound().Usable());
    }
}

// Our encoder's streams decode (by our decoder) to the sound put in, closely: a tone and a
// sweep, mono and stereo, in chunks of any length; the end marker ends the stream, and the
// silence that fills the last group is all that is added.
TEST(AdpcmEncoder, WhatItCodesDecodesCloseToWhatWentIn) {
    for (const int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        constexpr uint32_t kRate = 22050;
        constexpr size_t kFrames = 22050 + 17;  // not a whole number of groups
        std::vector<int16_t> in(kFrames * channels);
        for (size_t i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            in[i * channels] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t));
            if (channels == 2)
                in[i * 2 + 1] =
                    static_cast<int16_t>(7000 * std::sin(2 * M_PI * (200 + 2000 * t) * t));
        }
        codec::AdpcmEncoder encoder(channels, kRate, kFrames);
        std::vector<uint8_t> stream;
        for (size_t at = 0; at < kFrames; at += 1000)
            encoder.Put(in.data() + at * channels, std::min<size_t>(1000, kFrames - at), stream);
        encoder.Finish(stream);
        codec::AdpcmDecoder decoder;
        decoder.Reset();
        std::vector<uint8_t> out(codec::AdpcmDecoder::Capacity(stream.size(), channels));
        size_t got = 0;
        for (size_t at = 0; at < stream.size(); at += 777) {  // chunks cut anywhere
            const size_t n = std::min<size_t>(777, stream.size() - at);
            got += decoder.Decode(stream.data() + at, n, out.data() + got);
        }
        const size_t groups = (kFrames + 31) / 32;
        ASSERT_EQ(got, groups * 32 * 2 * channels);
        double signal = 0, noise = 0;
        for (size_t i = 0; i < kFrames * channels; ++i) {
            const auto y = static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8);
            const double v = in[i];
            signal += v * v;
            noise += (v - y) * (v - y);
        }
        EXPECT_GT(10 * std::log10(signal / noise), 25.0) << "dB of signal over the coding's noise";
        for (size_t i = kFrames * channels; i < got / 2; ++i)
            EXPECT_LT(std::abs(static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8)), 2000);
    }
}
