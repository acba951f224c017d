#include "platform/mm/PulseWaveOut.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

namespace lunavue::mm {
namespace {

// The names the desktop shows for the player's sound: those of its desktop entry.
constexpr const char* kApplicationName = "Lunavue";
constexpr const char* kApplicationId = "org.lunavue.Lunavue";
constexpr const char* kIconName = "lunavue";

// Holds the library's loop lock for a scope.
class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

// The library answers most requests with an operation that the caller need not follow.
void Forget(pa_operation* op) {
    if (op != nullptr) {
        pa_operation_unref(op);
    }
}

pa_time_event* After(pa_mainloop_api* api, uint32_t ms, pa_time_event_cb_t cb, void* data) {
    timeval tv{};
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, pa_usec_t{ms} * PA_USEC_PER_MSEC);
    return api->time_new(api, &tv, cb, data);
}

}  // namespace

PulseWaveOut::PulseWaveOut() = default;

std::unique_ptr<PulseWaveOut> PulseWaveOut::Connect(std::string& reason) {
    std::unique_ptr<PulseWaveOut> out(new PulseWaveOut());
    if (!out->StartLoop()) {
        reason = "the sound server's client library cannot start";
        return nullptr;
    }
    LoopLock lock(out->loop_);
    if (!out->ConnectContext()) {
        reason = pa_strerror(pa_context_errno(out->context_));
        return nullptr;
    }
    // The state callback wakes this wait; so does a timer, for a server that never answers.
    bool timedOut = false;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(out->loop_);
    struct Wake {
        pa_threaded_mainloop* loop;
        bool* timedOut;
    } wake{out->loop_, &timedOut};
    pa_time_event* timeout = After(
        api, kConnectTimeoutMs,
        [](pa_mainloop_api* a, pa_time_event* e, const timeval*, void* data) {
            auto* w = static_cast<Wake*>(data);
            a->time_free(e);
            *w->timedOut = true;
            pa_threaded_mainloop_signal(w->loop, 0);
        },
        &wake);
    pa_context_state_t state = pa_context_get_state(out->context_);
    while (state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state) && !timedOut) {
        pa_threaded_mainloop_wait(out->loop_);
        state = pa_context_get_state(out->context_);
    }
    if (!timedOut) {
        api->time_free(timeout);
    }
    if (state != PA_CONTEXT_READY) {
        reason = timedOut ? "the sound server does not answer"
                          : pa_strerror(pa_context_errno(out->context_));
        return nullptr;
    }
    out->keepConnected_ = true;
    pa_operation* info = pa_context_get_server_info(
        out->context_,
        [](pa_context*, const pa_server_info* i, void* self) {
            auto* o = static_cast<PulseWaveOut*>(self);
            if (i != nullptr) {
                o->serverName_ = std::string(i->server_name) + " " + i->server_version;
            }
            pa_threaded_mainloop_signal(o->loop_, 0);
        },
        out.get());
    while (info != nullptr && pa_operation_get_state(info) == PA_OPERATION_RUNNING) {
        pa_threaded_mainloop_wait(out->loop_);
    }
    Forget(info);
    return out;
}

bool PulseWaveOut::StartLoop() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) {
        return false;
    }
    pa_threaded_mainloop_set_name(loop_, "lunavue-sound");
    return pa_threaded_mainloop_start(loop_) >= 0;
}

PulseWaveOut::~PulseWaveOut() {
    if (loop_ == nullptr) {
        return;
    }
    {
        LoopLock lock(loop_);
        keepConnected_ = false;
        if (reconnect_ != nullptr) {
            pa_threaded_mainloop_get_api(loop_)->time_free(reconnect_);
            reconnect_ = nullptr;
        }
        DropStream();
        DropContext();
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

// --- The connection -------------------------------------------------------------------------

bool PulseWaveOut::ConnectContext() {
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, kApplicationName);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, kApplicationId);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kIconName);
    pa_proplist_sets(props, PA_PROP_APPLICATION_VERSION, LUNAVUE_VERSION);
    context_ =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), kApplicationName, props);
    pa_proplist_free(props);
    if (context_ == nullptr) {
        return false;
    }
    pa_context_set_state_callback(context_, &PulseWaveOut::OnContextState, this);
    return pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

void PulseWaveOut::DropContext() {
    ready_ = false;
    if (context_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

void PulseWaveOut::OnContextState(pa_context* c, void* self) {
    auto* out = static_cast<PulseWaveOut*>(self);
    if (c != out->context_) {
        return;
    }
    const pa_context_state_t state = pa_context_get_state(c);
    if (state == PA_CONTEXT_READY) {
        out->ready_ = true;
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        out->ready_ = false;
        if (out->keepConnected_) {
            out->ServerLost();
            out->ScheduleReconnect();
        }
    }
    pa_threaded_mainloop_signal(out->loop_, 0);
}

// The server ended (or dropped this client): the stream of the movie is gone with it.
void PulseWaveOut::ServerLost() {
    if (stream_ != nullptr) {
        lost_ = true;
    }
    DropStream();
    DropQueue();
}

void PulseWaveOut::ScheduleReconnect() {
    if (reconnect_ == nullptr) {
        reconnect_ = After(pa_threaded_mainloop_get_api(loop_), kReconnectMs,
                           &PulseWaveOut::OnReconnect, this);
    }
}

void PulseWaveOut::OnReconnect(pa_mainloop_api* api, pa_time_event* e, const timeval*, void* self) {
    auto* out = static_cast<PulseWaveOut*>(self);
    api->time_free(e);
    out->reconnect_ = nullptr;
    out->DropContext();
    if (!out->ConnectContext()) {
        out->ScheduleReconnect();
    }
}

std::string PulseWaveOut::ServerName() {
    LoopLock lock(loop_);
    return serverName_;
}

// --- The stream -----------------------------------------------------------------------------

bool PulseWaveOut::Open(const WAVEFORMATEX& format, std::string& reason) {
    if (!PlayableFormat(format, reason)) {
        return false;
    }
    LoopLock lock(loop_);
    DropStream();
    DropQueue();
    lost_ = false;
    played_ = 0;
    if (!ready_.load() || context_ == nullptr) {
        lost_ = true;  // Available() tells when it is back
        reason = "the sound server is not there";
        return false;
    }
    pa_sample_spec spec{};
    spec.format = format.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
    spec.rate = format.nSamplesPerSec;
    spec.channels = static_cast<uint8_t>(format.nChannels);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, title_.c_str());
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "video");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kIconName);
    stream_ = pa_stream_new_with_proplist(context_, title_.c_str(), &spec, nullptr, props);
    pa_proplist_free(props);
    if (stream_ == nullptr) {
        reason = std::string("the sound server refuses the sound: ") +
                 pa_strerror(pa_context_errno(context_));
        return false;
    }
    pa_stream_set_state_callback(stream_, &PulseWaveOut::OnStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseWaveOut::OnWriteRequest, this);
    pa_stream_set_underflow_callback(stream_, &PulseWaveOut::OnUnderflow, this);
    pa_stream_set_started_callback(stream_, &PulseWaveOut::OnStarted, this);
    pa_buffer_attr attr{};
    attr.maxlength = UINT32_MAX;
    attr.tlength =
        static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyMs * PA_USEC_PER_MSEC, &spec));
    attr.prebuf =
        static_cast<uint32_t>(pa_usec_to_bytes(kStartThresholdMs * PA_USEC_PER_MSEC, &spec));
    attr.minreq = UINT32_MAX;
    attr.fragsize = UINT32_MAX;
    // The server's own measure of time, as it comes: held monotonic by the library, it would
    // count sound as heard that waits behind the output's start.
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
        PA_STREAM_NOT_MONOTONIC | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        reason = std::string("the sound server refuses the sound: ") +
                 pa_strerror(pa_context_errno(context_));
        DropStream();
        return false;
    }
    rate_ = spec.rate;
    frameBytes_ = static_cast<uint32_t>(pa_frame_size(&spec));
    sixteenBits_ = spec.format == PA_SAMPLE_S16LE;
    corked_ = true;
    started_ = false;
    paused_ = false;
    dry_ = false;
    waitingToStart_ = false;
    writtenBytes_ = 0;
    heardUs_ = 0;
    return true;
}

void PulseWaveOut::DropStream() {
    if (stream_ == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
    pa_stream_set_started_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

// Every queued write counts as played: the caller has its buffers back.
void PulseWaveOut::DropQueue() {
    played_ += static_cast<uint64_t>(count_);
    head_ = 0;
    count_ = 0;
    offset_ = 0;
    queuedBytes_ = 0;
}

void PulseWaveOut::Close() {
    LoopLock lock(loop_);
    DropStream();
    DropQueue();
    lost_ = false;
}

bool PulseWaveOut::StreamReady() const {
    return stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY;
}

void PulseWaveOut::OnStreamState(pa_stream* s, void* self) {
    auto* out = static_cast<PulseWaveOut*>(self);
    if (s != out->stream_) {
        return;
    }
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_READY) {
        out->ApplyCork();
        out->Pump();
    } else if (!PA_STREAM_IS_GOOD(state)) {
        // Ended by the server (its sink gone with nowhere to move, or the stream killed).
        out->lost_ = true;
        out->DropStream();
        out->DropQueue();
    }
}

void PulseWaveOut::OnWriteRequest(pa_stream*, size_t, void* self) {
    static_cast<PulseWaveOut*>(self)->Pump();
}

void PulseWaveOut::OnUnderflow(pa_stream*, void* self) {
    auto* out = static_cast<PulseWaveOut*>(self);
    // What the server had handed the device is still to be heard.
    const uint64_t heldUs = out->WrittenUs() - std::min(out->WrittenUs(), out->HeardUs());
    out->drainedAt_ = Clock::now() + std::chrono::microseconds(heldUs);
    out->dry_ = true;
    out->waitingToStart_ = true;
}

void PulseWaveOut::OnStarted(pa_stream*, void* self) {
    static_cast<PulseWaveOut*>(self)->waitingToStart_ = false;
}

// The stream plays once the first buffer is written, unless paused.
void PulseWaveOut::ApplyCork() {
    if (!StreamReady()) {
        return;
    }
    const bool cork = !started_ || paused_;
    if (cork != corked_) {
        Forget(pa_stream_cork(stream_, cork ? 1 : 0, nullptr, nullptr));
        corked_ = cork;
    }
}

// Copies queued sound into the stream as far as the server has room for it.
void PulseWaveOut::Pump() {
    if (!StreamReady()) {
        return;
    }
    while (count_ > 0) {
        const size_t room = pa_stream_writable_size(stream_);
        if (room == static_cast<size_t>(-1) || room < frameBytes_) {
            break;
        }
        const Queued& q = queue_[head_];
        size_t n = std::min<size_t>(room, q.len - offset_);
        n -= n % frameBytes_;
        if (n > 0) {
            void* buffer = nullptr;
            size_t got = n;
            if (pa_stream_begin_write(stream_, &buffer, &got) < 0 || buffer == nullptr) {
                break;
            }
            n = std::min(n, got);
            n -= n % frameBytes_;
            if (n == 0) {
                pa_stream_cancel_write(stream_);
                break;
            }
            std::memcpy(buffer, q.data + offset_, n);
            ScaleSamples(static_cast<uint8_t*>(buffer), n, sixteenBits_, volume_.load());
            if (pa_stream_write(stream_, buffer, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                break;
            }
            offset_ += static_cast<uint32_t>(n);
            queuedBytes_ -= n;
            writtenBytes_ += n;
        }
        if (q.len - offset_ < frameBytes_) {
            // Copied to its end (a stray byte short of a whole frame is left out).
            queuedBytes_ -= q.len - offset_;
            head_ = (head_ + 1) % kMaxQueued;
            --count_;
            offset_ = 0;
            played_.fetch_add(1);
        }
    }
    // After running dry the server waits for a little sound before it plays again; the last
    // of a movie may be less than that.
    if (waitingToStart_ && count_ == 0 && started_ && !paused_) {
        Forget(pa_stream_trigger(stream_, nullptr, nullptr));
    }
}

void PulseWaveOut::Write(const uint8_t* data, uint32_t len) {
    LoopLock lock(loop_);
    if (stream_ == nullptr || lost_.load()) {
        played_.fetch_add(1);  // nowhere to play it
        return;
    }
    if (count_ == kMaxQueued) {
        return;
    }
    queue_[(head_ + count_) % kMaxQueued] = {data, len};
    ++count_;
    queuedBytes_ += len;
    if (dry_) {
        ++underruns_;
        dry_ = false;
    }
    if (!started_) {
        started_ = true;
        ApplyCork();
    }
    Pump();
}

int PulseWaveOut::Space() {
    LoopLock lock(loop_);
    return kMaxQueued - count_;
}

void PulseWaveOut::Pause() {
    LoopLock lock(loop_);
    paused_ = true;
    ApplyCork();
}

void PulseWaveOut::Resume() {
    LoopLock lock(loop_);
    paused_ = false;
    ApplyCork();
    Pump();
}

// Drops what waits here and in the server; the stream stays, corked until the next write.
void PulseWaveOut::Reset() {
    LoopLock lock(loop_);
    DropQueue();
    started_ = false;
    ApplyCork();
    if (StreamReady()) {
        Forget(pa_stream_flush(stream_, nullptr, nullptr));
    }
    writtenBytes_ = 0;
    heardUs_ = 0;
    dry_ = false;
    waitingToStart_ = false;
}

void PulseWaveOut::SetVolume(int percent) {
    volume_ = std::clamp(percent, 0, 100);
}

void PulseWaveOut::SetTitle(const std::string& title) {
    LoopLock lock(loop_);
    title_ = title;
    if (StreamReady()) {
        Forget(pa_stream_set_name(stream_, title_.c_str(), nullptr, nullptr));
    }
}

// --- Time -------------------------------------------------------------------------------

uint64_t PulseWaveOut::WrittenUs() const {
    const uint64_t bytesPerSecond = uint64_t{rate_} * frameBytes_;
    return bytesPerSecond == 0 ? 0 : writtenBytes_ * PA_USEC_PER_SEC / bytesPerSecond;
}

// What has been heard of what was copied to the server: all of it but the latency, the time
// the last byte written takes to be heard. While the server is not passing the stream on to
// the device (before it starts, corked, run dry) that stands still; right after a flush,
// until the server has said where it is, nothing counts as heard.
uint64_t PulseWaveOut::HeardUs() {
    pa_usec_t latency = 0;
    int negative = 0;
    const pa_timing_info* timing = StreamReady() ? pa_stream_get_timing_info(stream_) : nullptr;
    if (timing != nullptr && timing->playing != 0 &&
        pa_stream_get_latency(stream_, &latency, &negative) == 0) {
        const uint64_t written = WrittenUs();
        heardUs_ = negative != 0 ? written : written - std::min<uint64_t>(written, latency);
    }
    return heardUs_;
}

bool PulseWaveOut::HeardMs(uint32_t& ms) {
    LoopLock lock(loop_);
    if (!StreamReady() || lost_.load() || !started_ || dry_) {
        return false;
    }
    ms = static_cast<uint32_t>(std::min<uint64_t>(HeardUs() / PA_USEC_PER_MSEC, UINT32_MAX));
    return true;
}

uint32_t PulseWaveOut::DelayMs() {
    LoopLock lock(loop_);
    if (stream_ == nullptr || lost_.load()) {
        return 0;
    }
    const uint64_t bytesPerSecond = uint64_t{rate_} * frameBytes_;
    const uint64_t queuedMs = bytesPerSecond == 0 ? 0 : queuedBytes_ * 1000 / bytesPerSecond;
    uint64_t heldMs = 0;
    if (dry_) {
        const auto left = drainedAt_ - Clock::now();
        heldMs =
            left.count() > 0
                ? static_cast<uint64_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count())
                : 0;
    } else {
        const uint64_t written = WrittenUs();
        heldMs = (written - std::min(written, HeardUs()) + PA_USEC_PER_MSEC - 1) / PA_USEC_PER_MSEC;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(queuedMs + heldMs, UINT32_MAX));
}

}  // namespace lunavue::mm
