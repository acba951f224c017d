// Hot paths of playback: decoding Cinepak frames held in memory, and converting sound.
#include <benchmark/benchmark.h>

#include <vector>

#include "movie/MovieReader.h"

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

}  // namespace

BENCHMARK_MAIN();
