// The ring kind's polls: the 1 ms periodic timer, a thread that sleeps to the next millisecond and
// calls the handler; and the poll that sleeps until the backend reports a cursor move.
#include <atomic>
#include <chrono>
#include <thread>

#include "audio/OutputDevice.h"

namespace tarvex {
namespace {

class ThreadTimer final : public PeriodicTimer {
   public:
    ~ThreadTimer() override { kill(); }

    bool start(TimerHandler handler, void* context) override {
        kill();
        running_.store(true, std::memory_order_relaxed);
        try {
            thread_ = std::thread([this, handler, context] { run(handler, context); });
        } catch (...) {
            running_.store(false, std::memory_order_relaxed);
            return false;
        }
        return true;
    }

    void kill() override {
        running_.store(false, std::memory_order_relaxed);
        // A handler that ends its own timer cannot wait for itself: its thread leaves the loop
        // after the call and is joined by the next start or kill from another thread.
        if (std::this_thread::get_id() == timerThread_.load(std::memory_order_relaxed)) return;
        if (thread_.joinable()) thread_.join();
    }

   private:
    void run(TimerHandler handler, void* context) {
        timerThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        using Clock = std::chrono::steady_clock;
        constexpr auto period = std::chrono::milliseconds(1);
        auto next = Clock::now() + period;
        while (running_.load(std::memory_order_relaxed)) {
            std::this_thread::sleep_until(next);
            if (!running_.load(std::memory_order_relaxed)) break;
            handler(context);
            // After a stall, go on from now rather than firing a burst of late events.
            next += period;
            const auto now = Clock::now();
            if (next < now) next = now + period;
        }
        timerThread_.store(std::thread::id(), std::memory_order_relaxed);
    }

    std::thread thread_;  // touched only by the threads that start and kill the timer
    std::atomic<bool> running_{false};
    std::atomic<std::thread::id> timerThread_{};
};

// Runs the handler once at the start, as a timer's first event, and then after every report of
// the backend; between them, and while the device is paused, it sleeps. Reports that come while
// the handler runs are seen at once afterwards: the handler looks at the cursor as it then stands.
class CursorPoll final : public PeriodicTimer {
   public:
    explicit CursorPoll(CursorWake& wake) : wake_(wake) {}
    ~CursorPoll() override { kill(); }

    bool start(TimerHandler handler, void* context) override {
        kill();
        running_.store(true, std::memory_order_relaxed);
        try {
            thread_ = std::thread([this, handler, context] { run(handler, context); });
        } catch (...) {
            running_.store(false, std::memory_order_relaxed);
            return false;
        }
        return true;
    }

    void kill() override {
        running_.store(false, std::memory_order_relaxed);
        if (std::this_thread::get_id() == pollThread_.load(std::memory_order_relaxed)) return;
        wake_.notify();
        if (thread_.joinable()) thread_.join();
    }

   private:
    void run(TimerHandler handler, void* context) {
        pollThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        uint32_t seen = wake_.count();
        while (running_.load(std::memory_order_relaxed)) {
            handler(context);
            if (!running_.load(std::memory_order_relaxed)) break;
            wake_.wait(seen);
            seen = wake_.count();
        }
        pollThread_.store(std::thread::id(), std::memory_order_relaxed);
    }

    CursorWake& wake_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<std::thread::id> pollThread_{};
};

}  // namespace

std::unique_ptr<PeriodicTimer> makeThreadTimer() {
    return std::make_unique<ThreadTimer>();
}

std::unique_ptr<PeriodicTimer> makeCursorPoll(CursorWake& wake) {
    return std::make_unique<CursorPoll>(wake);
}

}  // namespace tarvex
