// The hand-over between a device thread that refills the ring itself and the poll's own thread:
// a move into another segment refills right there only while that is allowed and the end is not
// near, and ending it waits for a refill under way (these tests also run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/AudioBackend.h"

namespace tarvex::test {
namespace {

using namespace std::chrono_literals;

struct Refills {
    std::atomic<int> calls{0};
    std::atomic<bool> hold{false};  // a refill waits while this is set
    std::atomic<bool> inside{false};
    static void run(void* self) {
        auto& r = *static_cast<Refills*>(self);
        r.inside.store(true);
        while (r.hold.load()) std::this_thread::yield();
        r.calls.fetch_add(1);
        r.inside.store(false);
    }
};

TEST(CursorWake, AMoveRefillsOnTheSpotOnlyWhileAllowedAndTheEndIsNotNear) {
    struct Step {
        const char* what;
        bool inlineTaken;
        bool everyMove;
        int refills;  // calls on the reporting thread
        int wakes;    // reports to the poll's thread
    };
    const Step steps[] = {
        {"no refill given: the poll is woken", false, false, 0, 1},
        {"refill given: it runs here, nothing wakes", true, false, 1, 0},
        {"the end is near: the poll's thread takes over", true, true, 0, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        CursorWake wake;
        Refills refills;
        if (step.inlineTaken) wake.takeInline(Refills::run, &refills);
        wake.everyMove.store(step.everyMove);
        const uint32_t seen = wake.count();
        wake.reportSegment();
        EXPECT_EQ(refills.calls.load(), step.refills);
        EXPECT_EQ(wake.count() - seen, uint32_t(step.wakes));
    }
}

TEST(CursorWake, StoppingWaitsForARefillUnderWayAndThenWakesThePollInstead) {
    CursorWake wake;
    Refills refills;
    wake.takeInline(Refills::run, &refills);
    refills.hold.store(true);
    std::thread device([&] { wake.reportSegment(); });
    while (!refills.inside.load()) std::this_thread::yield();

    std::atomic<bool> stopped{false};
    std::thread owner([&] {
        wake.stopInline();
        stopped.store(true);
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(stopped.load()) << "stopInline returned while a refill was running";
    refills.hold.store(false);
    owner.join();
    device.join();
    EXPECT_TRUE(stopped.load());
    EXPECT_EQ(refills.calls.load(), 1);

    const uint32_t seen = wake.count();
    wake.reportSegment();
    EXPECT_EQ(refills.calls.load(), 1);
    EXPECT_EQ(wake.count() - seen, 1u);
}

}  // namespace
}  // namespace tarvex::test
