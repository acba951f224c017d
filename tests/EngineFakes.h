// Stand-ins for the clock, the timer, the sound device, the view and the main window, so
// that the engine can be driven step by step.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "playback/CTovrinDoc.h"

namespace lunavue::test {

struct FakeClock : mm::Clock {
    uint32_t now = 1000000;
    uint32_t NowMs() override { return now; }
};

// A timer that ticks only when the test says so.
struct ManualTimer : mm::PeriodicTimer {
    std::function<void()> tick;
    uint32_t active = 0;
    uint32_t lastId = 0;
    uint32_t period = 0;
    int kills = 0;
    uint32_t Set(uint32_t periodMs, std::function<void()> t) override {
        tick = std::move(t);
        period = periodMs;
        return active = ++lastId;
    }
    void Kill(uint32_t id) override {
        ++kills;
        if (id == active)
            active = 0;
    }
    bool Running() const { return active != 0; }
    void Tick() {
        if (Running())
            tick();
    }
};

// A sound device that keeps what it is given; the test decides when a write is played.
struct CapturingWaveOut : mm::WaveOut {
    struct Queued {
        const uint8_t* data;
        uint32_t len;
    };
    bool openOk = true;
    bool open = false;
    bool paused = false;
    int opens = 0;
    // A device that tells what has been heard (nothing: it cannot), one that goes away with
    // its server, and the name it was given.
    std::optional<uint32_t> heard;
    bool serverUp = true;
    bool lost = false;
    std::string title;
    std::vector<Queued> queued;
    std::vector<const uint8_t*> buffers;  // each buffer written, in the order first written
    std::vector<int> writes;              // which of those buffers each write used
    std::vector<uint8_t> written;         // every byte written, in write order
    std::vector<uint8_t> played;
    uint64_t playedCount = 0;
    int resets = 0;
    bool Open(const WAVEFORMATEX&, std::string& why) override {
        ++opens;
        lost = !serverUp;
        if (!openOk || !serverUp)
            why = "refused by the test";
        playedCount = 0;
        return open = openOk && serverUp;
    }
    bool HeardMs(uint32_t& ms) override {
        if (heard)
            ms = *heard;
        return heard.has_value();
    }
    bool Lost() override { return lost; }
    bool Available() override { return serverUp; }
    void SetTitle(const std::string& t) override { title = t; }
    void Close() override { open = false; }
    void Write(const uint8_t* data, uint32_t len) override {
        queued.push_back({data, len});
        auto it = std::find(buffers.begin(), buffers.end(), data);
        if (it == buffers.end())
            it = buffers.insert(buffers.end(), data);
        writes.push_back(static_cast<int>(it - buffers.begin()));
        written.insert(written.end(), data, data + len);
    }
    int Space() override { return kMaxQueued - static_cast<int>(queued.size()); }
    uint64_t Played() override { return playedCount; }
    uint32_t DelayMs() override { return queued.empty() ? 0 : 1; }
    void Pause() override { paused = true; }
    void Resume() override { paused = false; }
    void Reset() override {
        ++resets;
        playedCount += queued.size();
        queued.clear();
    }
    // Plays the oldest n queued writes to their end.
    void Play(size_t n = 1) {
        for (size_t i = 0; i < n && !queued.empty(); ++i) {
            played.insert(played.end(), queued.front().data,
                          queued.front().data + queued.front().len);
            queued.erase(queued.begin());
            ++playedCount;
        }
    }
};

struct RecordingView : DocumentView {
    bool fullScreenSetting = false;
    bool fullScreen = false;
    int invalidations = 0, formats = 0, sizes = 0, releases = 0, enters = 0, leaves = 0;
    void SetPictureFormat(const BITMAPINFOHEADER&) override { ++formats; }
    void ApplyWindowSize() override { ++sizes; }
    void ReleaseRenderer() override { ++releases; }
    void EnterFullScreen() override {
        if (fullScreenSetting && !fullScreen) {
            fullScreen = true;
            ++enters;
        }
    }
    void LeaveFullScreen() override {
        if (fullScreen) {
            fullScreen = false;
            ++leaves;
        }
    }
    bool IsFullScreen() const override { return fullScreen; }
    void Invalidate() override { ++invalidations; }
    uint64_t shownBytes = 0;
    uint64_t ShownBytes(uint32_t, uint32_t) const override { return shownBytes; }
};

struct RecordingShell : DocumentShell {
    std::string panes[3] = {"", " 0: 0", " 0: 0"};
    std::vector<std::string> recent;
    std::string title = "無題";
    int closeRequests = 0;
    void SetPaneText(int pane, const std::string& text) override { panes[pane] = text; }
    void AddToRecentFileList(const std::string& path) override { recent.push_back(path); }
    void SetTitle(const std::string& t) override { title = t; }
    void CloseMainWindow() override { ++closeRequests; }
    std::vector<std::string> problems;  // why there is no sound (gone, or cannot play)
    std::vector<std::pair<std::string, OpenError>> refusals;
    std::vector<EngineNotice::Kind> memory;  // out of memory for the pictures or the sound
    int soundBack = 0;
    std::vector<std::string> resumed;  // the times movies opened at, where they were left
    void Notify(const EngineNotice& n) override {
        switch (n.kind) {
            case EngineNotice::Kind::kRefused:
                refusals.emplace_back(n.path, n.status.error);
                break;
            case EngineNotice::Kind::kNoMemory:
            case EngineNotice::Kind::kNoSoundMemory:
                memory.push_back(n.kind);
                break;
            case EngineNotice::Kind::kNoSound:
            case EngineNotice::Kind::kSoundLost:
                problems.push_back(n.reason);
                break;
            case EngineNotice::Kind::kSoundBack:
                ++soundBack;
                break;
            case EngineNotice::Kind::kResumed:
                resumed.push_back(n.reason);
                break;
        }
    }
};

// The fake platform services and window a document runs on in tests.
struct FakeHost {
    FakeClock clock;
    ManualTimer timer;
    CapturingWaveOut wave;
    MemorySettings settings;
    RecordingView view;
    RecordingShell shell;
    DocumentPlatform Platform() { return {clock, timer, wave, settings}; }
};

}  // namespace lunavue::test
