#include "tools/PlayCommand.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/mm/SdlWaveOut.h"
#include "platform/profile/Settings.h"
#include "playback/CTovrinDoc.h"

namespace lunavue {
namespace {

class HeadlessShell : public DocumentShell {
  public:
    void SetPaneText(int, const std::string&) override {}
    void AddToRecentFileList(const std::string&) override {}
    void SetTitle(const std::string&) override {}
    void CloseMainWindow() override { closed = true; }
    bool closed = false;
};

// A settings file of our own, so that playing from the command line never changes the
// player's settings.
class ScratchSettings {
  public:
    ScratchSettings() {
        char name[] = "/tmp/cpktool-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) {
            close(fd);
            path_ = name;
        }
        SetSettingsFile(path_.empty() ? std::string("/nonexistent/cpktool.ini") : path_);
    }
    ~ScratchSettings() {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }

  private:
    std::string path_;
};

}  // namespace

int PlayHeadless(const char* path, int passes) {
    ScratchSettings scratch;
    mm::SystemClock clock;
    mm::ThreadTimer timer;
    mm::SdlWaveOut waveOut;
    HeadlessShell shell;
    CTovrinDoc doc({clock, timer, waveOut}, shell);
    doc.AppendToQueue(path);
    doc.SetAutoPlay(true);
    doc.SetCloseAtEnd(true);
    if (passes > 1 && doc.GetLoop() == 0) {
        doc.OnLoop();
    }
    while (!shell.closed) {
        const bool more = doc.IdleStep(false);
        if (doc.GetLoop() != 0 && doc.Stats().plays >= static_cast<uint32_t>(passes)) {
            doc.OnLoop();  // the last pass ends the movie instead of replaying it
        }
        if (!doc.IsOpen() && doc.Queue().empty()) {
            if (doc.Stats().plays == 0) {
                return 1;  // the reader has said why
            }
            break;
        }
        // While playing the idle step wants to run again as soon as something changes.
        std::this_thread::sleep_for(std::chrono::milliseconds(more ? doc.IdleWaitMs() : 5));
    }
    PrintPlaybackStats(stdout, doc.Stats(), waveOut.Underruns());
    return 0;
}

}  // namespace lunavue
