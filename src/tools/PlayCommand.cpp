#include "tools/PlayCommand.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/mm/SoundOutput.h"
#include "playback/CTovrinDoc.h"

namespace lunavue {
namespace {

class HeadlessShell : public DocumentShell {
  public:
    void SetPaneText(int, const std::string&) override {}
    void AddToRecentFileList(const std::string&) override {}
    void SetTitle(const std::string&) override {}
    void CloseMainWindow() override { closed = true; }
    // Everything worth saying goes to the standard error.
    void Notify(const EngineNotice& n) override {
        switch (n.kind) {
            case EngineNotice::Kind::kRefused:
                std::fprintf(stderr, "cpktool: %s: %s\n", n.path.c_str(),
                             n.status.Describe().c_str());
                break;
            case EngineNotice::Kind::kNoMemory:
                std::fprintf(stderr, "cpktool: %s: not enough memory\n", n.path.c_str());
                break;
            case EngineNotice::Kind::kNoSoundMemory:
                std::fprintf(stderr, "cpktool: not enough memory for the sound\n");
                break;
            case EngineNotice::Kind::kNoSound:
            case EngineNotice::Kind::kSoundLost:
                std::fprintf(stderr, "cpktool: no sound: %s\n", n.reason.c_str());
                break;
            case EngineNotice::Kind::kSoundBack:
                std::fprintf(stderr, "cpktool: the sound is back\n");
                break;
            case EngineNotice::Kind::kResumed:
                break;  // the command line keeps no points
        }
    }
    bool closed = false;
};

}  // namespace

int PlayHeadless(const char* path, int passes, uint32_t startMs) {
    MemorySettings settings;  // playing from the command line never changes the player's
    mm::SystemClock clock;
    mm::ThreadTimer timer;
    mm::SoundOutput sound = mm::ChooseSoundOutput();
    HeadlessShell shell;
    CTovrinDoc doc({clock, timer, *sound.device, settings}, shell);
    doc.AppendToQueue(path);
    doc.SetAutoPlay(true);
    doc.SetCloseAtEnd(true);
    if (passes > 1 && doc.GetLoop() == 0) {
        doc.OnLoop();
    }
    while (!shell.closed) {
        const bool more = doc.IdleStep(false);
        if (startMs != 0 && doc.IsOpen() && !doc.IsPlaying()) {
            doc.Seek(startMs);  // Play starts where a stopped movie was sought to
            startMs = 0;
        }
        if (doc.GetLoop() != 0 && doc.Stats().plays >= static_cast<uint32_t>(passes)) {
            doc.OnLoop();  // the last pass ends the movie instead of replaying it
        }
        if (!doc.IsOpen() && doc.Queue().Empty()) {
            if (doc.Stats().plays == 0) {
                return 1;  // the reader has said why
            }
            break;
        }
        // While playing the idle step wants to run again as soon as something changes.
        std::this_thread::sleep_for(std::chrono::milliseconds(more ? doc.IdleWaitMs() : 5));
    }
    PrintPlaybackStats(stdout, doc.Stats(), sound.device->Underruns());
    return 0;
}

}  // namespace lunavue
