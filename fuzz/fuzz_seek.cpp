// Opens the fuzzer's bytes (after the first 16) as a movie in the engine, on a clock and a
// timer the target drives, and then does what the first 16 bytes say, two at a time: seek
// to a fraction of the movie, step a frame either way, pause or resume, or let time pass
// with the timer ticking. Seeking, run-ups and stepping meet damaged tables and frames here.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/mm/NullWaveOut.h"
#include "playback/CTovrinDoc.h"

namespace {

struct Clock : lunavue::mm::Clock {
    uint32_t now = 1000;
    uint32_t NowMs() override { return now; }
};
struct Timer : lunavue::mm::PeriodicTimer {
    std::function<void()> tick;
    uint32_t id = 0;
    uint32_t Set(uint32_t, std::function<void()> t) override {
        tick = std::move(t);
        return ++id;
    }
    void Kill(uint32_t) override { tick = nullptr; }
};
struct Shell : lunavue::DocumentShell {
    void SetPaneText(int, const std::string&) override {}
    void AddToRecentFileList(const std::string&) override {}
    void SetTitle(const std::string&) override {}
    void CloseMainWindow() override {}
    void Notify(const lunavue::EngineNotice&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kCommands = 16;
    if (size < kCommands) {
        return 0;
    }
    const int fd = memfd_create("movie", 0);
    if (fd < 0) {
        return 0;
    }
    if (write(fd, data + kCommands, size - kCommands) != static_cast<ssize_t>(size - kCommands)) {
        close(fd);
        return 0;
    }
    Clock clock;
    Timer timer;
    lunavue::mm::NullWaveOut sound(clock);
    lunavue::MemorySettings settings;
    Shell shell;
    {
        lunavue::CTovrinDoc doc({clock, timer, sound, settings}, shell);
        doc.AppendToQueue("/proc/self/fd/" + std::to_string(fd));
        doc.IdleStep(false);
        if (doc.IsOpen()) {
            doc.Play();
            for (size_t i = 0; i < kCommands; i += 2) {
                const uint8_t value = data[i + 1];
                switch (data[i] % 5) {
                    case 0:
                        doc.Seek(static_cast<uint32_t>(uint64_t{doc.DurationMs()} * value / 255));
                        break;
                    case 1:
                        doc.StepFrame(+1);
                        break;
                    case 2:
                        doc.StepFrame(-1);
                        break;
                    case 3:
                        doc.OnPause();
                        break;
                    default:
                        for (int t = 0; t < value % 32; ++t) {
                            clock.now += 1 + value;
                            if (timer.tick) {
                                timer.tick();
                            }
                            doc.IdleStep(false);
                        }
                        break;
                }
                doc.IdleStep(false);
            }
        }
    }
    close(fd);
    return 0;
}
