// The ring kind's polls: the 1 ms periodic timer, a thread that sleeps to the next millisecond and
// calls the handler; and the poll that sleeps until the backend reports a cursor move.
#include <atomic>
#include <chrono>
#include <thread>

#include "audio/OutputDevice.h"

namespace tarvex {
namespace {

// A poll on a thread of its own: start runs loop on a new thread, kill ends it and joins it.
// A handler that ends its own poll cannot wait for itself: its thread leaves the loop after the
// call and is joined by the next start or kill from another thread.
class PollThread : public PeriodicTimer {
   public:
    bool start(TimerHandler handler, void* context) override {
        kill();
        running_.store(true, std::memory_order_relaxed);
        try {
            thread_ = std::thread([this, handler, context] {
                pollThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
                loop(handler, context);
                pollThread_.store(std::thread::id(), std::memory_order_relaxed);
            });
        } catch (...) {
            running_.store(false, std::memory_order_relaxed);
            return false;
        }
        return true;
    }

    void kill() override {
        running_.store(false, std::memory_order_relaxed);
        if (std::this_thread::get_id() == pollThread_.load(std::memory_order_relaxed)) return;
        wakeToStop();
        if (thread_.joinable()) thread_.join();
    }

   protected:
    // Calls the handler for as long as running() holds.
    virtual void loop(TimerHandler handler, void* context) = 0;
    // Wakes a loop that may be asleep, so that it sees running() false.
    virtual void wakeToStop() {}
    bool running() const { return running_.load(std::memory_order_relaxed); }

   private:
    std::thread thread_;  // touched only by the threads that start and kill the poll
    std::atomic<bool> running_{false};
    std::atomic<std::thread::id> pollThread_{};
};

// The 1 ms timer: sleeps to the next millisecond and calls the handler.
class ThreadTimer final : public PollThread {
   public:
    ~ThreadTimer() override { kill(); }

   private:
    void loop(TimerHandler handler, void* context) override {
        using Clock = std::chrono::steady_clock;
        constexpr auto period = std::chrono::milliseconds(1);
        auto next = Clock::now() + period;
        while (running()) {
            std::this_thread::sleep_until(next);
            if (!running()) break;
            handler(context);
            // After a stall, go on from now rather than firing a burst of late events.
            next += period;
            const auto now = Clock::now();
            if (next < now) next = now + period;
        }
    }
};

// Runs the handler once at the start, as a timer's first event (on the starting thread: the device
// is not running yet, so no refill on its thread can overlap it), and then after every report of
// the backend; between them, and while the device is paused, it sleeps. Reports that come while
// the handler runs are seen at once afterwards: the handler looks at the cursor as it then stands.
class CursorPoll final : public PollThread {
   public:
    explicit CursorPoll(CursorWake& wake) : wake_(wake) {}
    ~CursorPoll() override { kill(); }

    bool start(TimerHandler handler, void* context) override {
        kill();
        seen_ = wake_.count();
        handler(context);
        return PollThread::start(handler, context);
    }
    void kill() override {
        wake_.stopInline();
        PollThread::kill();
    }

   private:
    void loop(TimerHandler handler, void* context) override {
        uint32_t seen = seen_;
        while (running()) {
            wake_.wait(seen);
            seen = wake_.count();
            if (!running()) break;
            wake_.awaitInline();
            handler(context);
        }
    }
    void wakeToStop() override { wake_.notify(); }

    CursorWake& wake_;
    uint32_t seen_ = 0;  // the count before the first call, for the thread started after it
};

}  // namespace

std::unique_ptr<PeriodicTimer> makeThreadTimer() {
    return std::make_unique<ThreadTimer>();
}

std::unique_ptr<PeriodicTimer> makeCursorPoll(CursorWake& wake) {
    return std::make_unique<CursorPoll>(wake);
}

}  // namespace tarvex
