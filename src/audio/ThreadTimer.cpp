// The 1 ms periodic timer: a thread that sleeps to the next millisecond and calls the handler.
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

}  // namespace

std::unique_ptr<PeriodicTimer> makeThreadTimer() {
    return std::make_unique<ThreadTimer>();
}

}  // namespace tarvex
