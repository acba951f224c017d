// Seek latency: from the seek (a key press) to the new picture being ready to paint, on a
// playing movie. Prints the median and the worst of many seeks to random places.
//
// usage: seek_bench MOVIE [SEEKS]   (make a long movie with bench/repeat_movie.py)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/mm/NullWaveOut.h"
#include "playback/CTovrinDoc.h"

namespace {

struct Shell : lunavue::DocumentShell {
    void SetPaneText(int, const std::string&) override {}
    void AddToRecentFileList(const std::string&) override {}
    void SetTitle(const std::string&) override {}
    void CloseMainWindow() override {}
    void Notify(const lunavue::EngineNotice&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: seek_bench MOVIE [SEEKS]\n");
        return 1;
    }
    const int seeks = argc > 2 ? std::atoi(argv[2]) : 200;
    lunavue::mm::SystemClock clock;
    lunavue::mm::ThreadTimer timer;
    lunavue::mm::NullWaveOut device(clock);
    lunavue::MemorySettings settings;
    Shell shell;
    lunavue::CTovrinDoc doc({clock, timer, device, settings}, shell);
    if (!doc.OpenMovie(argv[1])) {
        return 2;
    }
    doc.Play();
    std::mt19937 rng(1);
    std::vector<double> ms;
    for (int i = 0; i < seeks; ++i) {
        const uint32_t to = static_cast<uint32_t>(rng() % doc.DurationMs());
        const auto start = std::chrono::steady_clock::now();
        doc.Seek(to);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("movie: %u s, %d seeks\nmedian: %.1f ms\nworst: %.1f ms\n", doc.DurationMs() / 1000,
                seeks, ms[ms.size() / 2], ms.back());
    return 0;
}
