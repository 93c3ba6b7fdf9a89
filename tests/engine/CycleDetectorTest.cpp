// The history of row-start states: runs under one key, look-ups across runs, a full history.
#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "engine/CycleDetector.h"

namespace tarvex::test {
namespace {

struct Visit {
    uint32_t position;
    uint32_t key;  // written as the key's first word; the second is always 7
    bool seen;
};

bool visit(CycleDetector& history, uint32_t position, uint32_t key) {
    history.key()[0] = key;
    history.key()[1] = 7;
    return history.visit(position);
}

TEST(CycleDetector, AStateIsSeenWhenARunWithItsKeyCoversItsPosition) {
    CycleDetector history;
    history.prepare(2);
    const Visit visits[] = {
        {5, 1, false}, {6, 1, false}, {7, 1, false},  // one run, 5-7 under key 1
        {2, 2, false}, {3, 2, false},                 // a jump back under another key
        {6, 2, false},                                // position 6 again, but under key 2
        {8, 1, false},                                // key 1 again, past its run
        {6, 1, true},  {3, 2, true},  {7, 1, true},   // inside runs of their keys
        {4, 2, false},                                // between the two runs of key 2
        {9, 1, false},                                // not a continuation of 8: 4 came between
        {9, 1, true},                                 // the same state twice in a row
        {0, 3, false},
    };
    for (const Visit& v : visits) {
        EXPECT_EQ(visit(history, v.position, v.key), v.seen) << v.position << " key " << v.key;
    }
    EXPECT_EQ(history.keyCount(), 3u);
    EXPECT_EQ(history.runCount(), 7u);  // 5-7, 2-3, 6, 8, 4, 9, 0

    history.restart();
    EXPECT_FALSE(visit(history, 6, 1));
    EXPECT_EQ(history.runCount(), 1u);
}

TEST(CycleDetector, AFullHistoryStartsAfreshWithoutAllocating) {
    CycleDetector history;
    history.prepare(2);
    const uint64_t before = allocationCount();
    // Every second position, so each visit is a run of its own, until the history is full.
    for (uint32_t i = 0; i < CycleDetector::kRunCapacity; ++i) ASSERT_FALSE(visit(history, 2 * i, 1));
    EXPECT_EQ(history.runCount(), CycleDetector::kRunCapacity);
    EXPECT_TRUE(visit(history, 0, 1));
    // The next new run starts the history afresh: the old runs are forgotten, new ones count.
    EXPECT_FALSE(visit(history, 1, 1));
    EXPECT_EQ(history.runCount(), 1u);
    EXPECT_FALSE(visit(history, 0, 1));
    EXPECT_TRUE(visit(history, 1, 1));
    // Keys run out the same way: as many as fit, then a fresh start.
    history.restart();
    uint32_t key = 0;
    while (history.keyCount() < CycleDetector::kMaxKeys && key < 10 * CycleDetector::kMaxKeys) {
        ASSERT_FALSE(visit(history, 0, key++));
    }
    EXPECT_EQ(history.keyCount(), CycleDetector::kMaxKeys);
    EXPECT_FALSE(visit(history, 0, key));  // one key too many
    EXPECT_EQ(history.keyCount(), 1u);
    EXPECT_EQ(allocationCount() - before, 0u);
}

}  // namespace
}  // namespace tarvex::test
