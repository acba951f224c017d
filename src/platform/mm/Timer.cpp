#include "platform/mm/Timer.h"

#include <chrono>

#include "platform/mm/Clock.h"

namespace lunavue::mm {

uint32_t SystemClock::NowMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

ThreadTimer::~ThreadTimer() {
    Kill(ActiveId());
    JoinFinished();
}

uint32_t ThreadTimer::ActiveId() {
    std::lock_guard<std::mutex> lock(mutex_);
    return activeId_;
}

void ThreadTimer::JoinFinished() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

uint32_t ThreadTimer::Set(uint32_t periodMs, std::function<void()> tick) {
    Kill(ActiveId());
    JoinFinished();
    if (thread_.joinable()) {
        return 0;  // asked from inside the tick of a timer that is still running
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
        activeId_ = ++lastId_ == 0 ? ++lastId_ : lastId_;
    }
    thread_ = std::thread([this, periodMs, tick = std::move(tick)] { Run(periodMs, tick); });
    return lastId_;
}

void ThreadTimer::Kill(uint32_t id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (id == 0 || id != activeId_) {
            return;
        }
        stop_ = true;
        activeId_ = 0;
    }
    wake_.notify_all();
    // From inside a tick the thread cannot wait for itself; it ends when the tick returns.
    JoinFinished();
}

void ThreadTimer::Run(uint32_t periodMs, std::function<void()> tick) {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(periodMs == 0 ? 1 : periodMs);
    auto deadline = clock::now() + period;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (wake_.wait_until(lock, deadline, [this] { return stop_; })) {
            break;
        }
        lock.unlock();
        tick();
        lock.lock();
        deadline += period;
        const auto now = clock::now();
        if (deadline < now) {
            deadline = now;  // fell behind by more than a period: one tick now, no burst
        }
    }
}

}  // namespace lunavue::mm
