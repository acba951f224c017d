// Sound output through the desktop's sound server: PulseAudio, or PipeWire's pulse server,
// spoken to with the server's client library on a thread of the library's own.
//
// The written buffers wait in a queue of this object until the server asks for sound; each
// is copied into the server's stream (turned down to the volume on the way) and then counts
// as played, the server holding the rest. The stream keeps about kTargetLatencyMs of sound:
// enough that a busy machine does not starve it, little enough to answer a pause at once.
// Pause corks the stream (the server may then let the device sleep), Reset flushes it, and
// HeardMs is the server's own measure of what the listener has heard, its latency counted
// out, so that a player can pace its picture by it.
//
// When the server goes away the stream is lost: writes are dropped (and count played) and
// the connection is tried again every kReconnectMs; Available() says when it is back. The
// volume is the player's own: the stream's volume in the desktop's mixer is never touched.
//
// Threads: as WaveOut says; every member is guarded by the library's loop lock, which its
// callbacks hold, except the atomics, which any thread reads.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "platform/mm/Pcm.h"
#include "platform/mm/WaveOut.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;
struct pa_mainloop_api;

namespace lunavue::mm {

class PulseWaveOut : public WaveOut {
  public:
    static constexpr uint32_t kTargetLatencyMs = 80;
    // Playback starts (and starts again after running dry) once this much is buffered.
    static constexpr uint32_t kStartThresholdMs = 20;
    static constexpr uint32_t kReconnectMs = 250;
    // How long the first connection may take before the server counts as absent.
    static constexpr uint32_t kConnectTimeoutMs = 2000;

    // Connects to the session's sound server; null when none answers, and then reason says
    // why. Never starts a server.
    static std::unique_ptr<PulseWaveOut> Connect(std::string& reason);
    ~PulseWaveOut() override;
    PulseWaveOut(const PulseWaveOut&) = delete;
    PulseWaveOut& operator=(const PulseWaveOut&) = delete;

    bool Open(const WAVEFORMATEX& format, std::string& reason) override;
    void Close() override;
    void Write(const uint8_t* data, uint32_t len) override;
    int Space() override;
    uint64_t Played() override { return played_.load(); }
    uint32_t DelayMs() override;
    void Pause() override;
    void Resume() override;
    void Reset() override;
    void SetVolume(int percent) override;
    uint32_t Underruns() const override { return underruns_.load(); }
    bool HeardMs(uint32_t& ms) override;
    bool Lost() override { return lost_.load(); }
    bool Available() override { return ready_.load(); }
    void SetTitle(const std::string& title) override;

    // "PulseAudio 16.1" or the name and version another server gives.
    std::string ServerName();

  private:
    using Clock = std::chrono::steady_clock;
    struct Queued {
        const uint8_t* data;
        uint32_t len;
    };

    PulseWaveOut();
    bool StartLoop();
    bool StreamReady() const;
    bool ConnectContext();
    void DropContext();
    void DropStream();
    void DropQueue();
    void Pump();
    void ApplyCork();
    void ServerLost();
    void ScheduleReconnect();
    uint64_t HeardUs();
    uint64_t WrittenUs() const;

    static void OnContextState(pa_context* c, void* self);
    static void OnStreamState(pa_stream* s, void* self);
    static void OnWriteRequest(pa_stream* s, size_t bytes, void* self);
    static void OnUnderflow(pa_stream* s, void* self);
    static void OnStarted(pa_stream* s, void* self);
    static void OnReconnect(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv,
                            void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_time_event* reconnect_ = nullptr;
    // Connected once: a lost connection is made again, for as long as this object lives.
    bool keepConnected_ = false;
    std::string serverName_;

    std::atomic<bool> ready_{false};  // connected to the server
    std::atomic<bool> lost_{false};   // the stream of this Open went away
    std::atomic<uint64_t> played_{0};
    std::atomic<uint32_t> underruns_{0};
    std::atomic<int> volume_{100};

    std::string title_ = "Lunavue";
    uint32_t rate_ = 0;
    uint32_t frameBytes_ = 0;
    bool sixteenBits_ = true;
    Queued queue_[kMaxQueued] = {};
    int head_ = 0;
    int count_ = 0;
    uint32_t offset_ = 0;        // bytes of the head buffer already copied to the server
    uint64_t queuedBytes_ = 0;   // written to this object and not yet to the server
    uint64_t writtenBytes_ = 0;  // copied to the server since Open or Reset
    uint64_t heardUs_ = 0;       // the last measure of what has been heard
    bool started_ = false;       // the first buffer since Open or Reset has been written
    bool paused_ = false;
    bool corked_ = true;
    bool dry_ = false;               // the server ran out of sound and nothing came since
    bool waitingToStart_ = false;    // ran dry, and waits for sound before it plays again
    Clock::time_point drainedAt_{};  // when what the server held when it ran dry is heard
};

}  // namespace lunavue::mm
