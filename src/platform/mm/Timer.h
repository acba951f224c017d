// A periodic timer whose callback runs on a thread of its own.
//
// Ticks never overlap: a tick that runs long delays the next. Deadlines advance by whole
// periods from the start, so the ticks do not drift; after a stall the timer catches up
// with at most one immediate tick rather than a burst. Kill stops the timer and waits for
// a tick in progress to end; a tick may kill its own timer, which then ends after the tick.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace lunavue::mm {

class PeriodicTimer {
  public:
    virtual ~PeriodicTimer() = default;
    // Starts a timer; returns its id (never 0), or 0 when it cannot be started.
    virtual uint32_t Set(uint32_t periodMs, std::function<void()> tick) = 0;
    // Stops the timer with this id. Stopping a timer that has already stopped does nothing.
    virtual void Kill(uint32_t id) = 0;
};

class ThreadTimer : public PeriodicTimer {
  public:
    ThreadTimer() = default;
    ~ThreadTimer() override;
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;

    uint32_t Set(uint32_t periodMs, std::function<void()> tick) override;
    void Kill(uint32_t id) override;

  private:
    void Run(uint32_t periodMs, std::function<void()> tick);
    uint32_t ActiveId();
    void JoinFinished();  // joins a thread whose timer was killed from inside its tick

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    uint32_t activeId_ = 0;
    uint32_t lastId_ = 0;
    bool stop_ = false;
};

}  // namespace lunavue::mm
