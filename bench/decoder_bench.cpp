// Hot paths of playback: decoding Cinepak frames held in memory, and converting sound.
#include <benchmark/benchmark.h>

#include <vector>

#include "movie/MovieReader.h"
#include "platform/codec/Adpcm.h"

namespace {

const char* Fixture(const char* name) {
    static std::string path;
    path = std::string(LUNAVUE_FIXTURES) + "/" + name;
    return path.c_str();
}

// Every frame of a fixture through the reader, as playback decodes them.
void BM_DecodeMovie(benchmark::State& state, const char* name) {
    lunavue::MovieReader reader;
    if (!reader.Open(Fixture(name))) {
        state.SkipWithError("cannot open fixture");
        return;
    }
    std::vector<uint8_t> picture(reader.GetDecodedBufferSize());
    int64_t frames = 0;
    for (auto _ : state) {
        reader.Rewind();
        for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
            benchmark::DoNotOptimize(reader.DecodeNextFrame(picture.data()));
        }
        frames += reader.GetVideoFrameCount();
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_DecodeMovie, strips8, "strips8-352x240-s16-mono.cpk");
BENCHMARK_CAPTURE(BM_DecodeMovie, bars, "bars-320x224-s16-stereo.cpk");

void BM_ConvertStereo16(benchmark::State& state) {
    std::vector<uint8_t> in(4096, 0x5A), out(4096);
    for (auto _ : state) {
        lunavue::ConvertSound(in.data(), 4096, 16, 2, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * 4096);
}
BENCHMARK(BM_ConvertStereo16);

// The ADPCM decoder on a stereo stream in memory; the rate is in bytes of device sound.
void BM_AdpcmDecoder(benchmark::State& state) {
    std::vector<uint8_t> stream = {0x80, 0x00, 0x00, 0x20, 3, 18, 4, 2, 0, 0, 0xAC, 0x44};
    stream.resize(36, 0);
    for (int g = 0; g < 2000; ++g) {
        for (int b = 0; b < 36; ++b) {
            stream.push_back(static_cast<uint8_t>(b < 2 || (b >= 18 && b < 20) ? (b % 2 ? 0x40 : 0)
                                                                               : g * 7 + b * 13));
        }
    }
    std::vector<uint8_t> out(lunavue::codec::AdpcmDecoder::Capacity(stream.size(), 2));
    int64_t bytes = 0;
    for (auto _ : state) {
        lunavue::codec::AdpcmDecoder decoder;
        bytes += static_cast<int64_t>(decoder.Decode(stream.data(), stream.size(), out.data()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_AdpcmDecoder);

}  // namespace

BENCHMARK_MAIN();
