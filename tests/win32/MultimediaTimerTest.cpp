// The multimedia timer behind the DirectSound poll: its pace, and that no call follows a kill,
// whether the kill comes from another thread or from the timer's own handler.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/devices/WinDevices.h"

namespace tarvex::test {
namespace {

using namespace std::chrono_literals;

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    int killAfter = 0;  // > 0: the handler kills its own timer on that call
    PeriodicTimer* timer = nullptr;
};

void count(void* context) {
    auto* c = static_cast<Counter*>(context);
    if (c->running.fetch_add(1) != 0) c->overlapped = true;
    const int n = c->calls.fetch_add(1) + 1;
    if (c->killAfter > 0 && n == c->killAfter) c->timer->kill();
    c->running.fetch_sub(1);
}

TEST(MultimediaTimer, FiresAboutEveryMillisecondUntilKilled) {
    auto timer = makeMultimediaTimer();
    Counter counter;
    ASSERT_TRUE(timer->start(count, &counter));
    std::this_thread::sleep_for(300ms);
    timer->kill();
    const int calls = counter.calls.load();
    // A 1 ms period gives about 300 calls; a loaded machine gives fewer, but not a tenth.
    EXPECT_GT(calls, 30);
    EXPECT_LT(calls, 400);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(counter.calls.load(), calls) << "a call after kill returned";
    EXPECT_FALSE(counter.overlapped.load());
}

TEST(MultimediaTimer, AHandlerEndsItsOwnTimer) {
    auto timer = makeMultimediaTimer();
    Counter counter;
    counter.killAfter = 5;
    counter.timer = timer.get();
    ASSERT_TRUE(timer->start(count, &counter));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(counter.calls.load(), 5);
    // Started again after ending itself, it runs again.
    counter.killAfter = 0;
    ASSERT_TRUE(timer->start(count, &counter));
    std::this_thread::sleep_for(100ms);
    timer->kill();
    EXPECT_GT(counter.calls.load(), 5);
}

}  // namespace
}  // namespace tarvex::test
