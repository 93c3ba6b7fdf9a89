#include <gtest/gtest.h>

#include "model/Module.h"

namespace tarvex {
namespace {

Sample loopSample(uint32_t length, uint32_t loopStart, uint32_t loopEnd) {
    Sample sample;
    sample.length = length;
    sample.loopStart = loopStart;
    sample.loopEnd = loopEnd;
    normaliseLoop(sample);
    return sample;
}

TEST(Module, LoopRule) {
    struct Case {
        uint32_t length, start, end, wantStart, wantEnd;
    };
    const Case cases[] = {
        {100, 0, 2, 0, 0},          // (0, 2): the "no loop" of a MOD header
        {100, 40, 40, 0, 0},        // empty loop
        {100, 10, 0xFFFF, 0, 0},    // STM's "no loop" end
        {100, 10, 150, 10, 100},    // end cut to the length
        {100, 120, 150, 120, 100},  // start beyond the length stays
        {100, 10, 60, 10, 60},
    };
    for (const Case& c : cases) {
        const Sample s = loopSample(c.length, c.start, c.end);
        EXPECT_EQ(s.loopStart, c.wantStart) << c.start << ".." << c.end;
        EXPECT_EQ(s.loopEnd, c.wantEnd) << c.start << ".." << c.end;
    }
}

TEST(Module, DefaultPanningEightChannels) {
    Module module;
    module.channelCount = 8;
    setDefaultPanning(module);
    const std::vector<int32_t> left = {1024, 0, 0, 1024, 0, 0, 1024, 0};
    const std::vector<int32_t> right = {0, 1024, 1024, 0, 1024, 1024, 0, 1024};
    EXPECT_EQ(module.panLeft, left);
    EXPECT_EQ(module.panRight, right);
}

std::vector<std::pair<uint32_t, uint32_t>> positions(const Pattern& pattern) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const NoteCell& cell : pattern) out.emplace_back(cell.row, cell.channel);
    return out;
}

TEST(Module, CellInsertionOrder) {
    Module module;
    module.patternCount = 3;
    module.patterns.resize(3);
    NoteCell cell;
    for (uint32_t row : {5u, 0u, 3u}) {
        cell.row = row;
        insertCell(module, 0, cell);
    }
    EXPECT_EQ(positions(module.patterns[0]),
              (std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {3, 0}, {5, 0}}));

    cell.row = 7;
    for (uint32_t channel : {3u, 2u, 1u}) {
        cell.channel = channel;
        insertCell(module, 1, cell);
    }
    EXPECT_EQ(positions(module.patterns[1]),
              (std::vector<std::pair<uint32_t, uint32_t>>{{7, 1}, {7, 2}, {7, 3}}));

    // Two cells at one position: the later one read follows the earlier, also when inserted
    // in front of cells that sort after both.
    for (auto [row, channel, tag] : {std::tuple{9u, 1u, 1u}, {2u, 1u, 2u}, {2u, 1u, 3u}, {2u, 0u, 4u}}) {
        cell.row = row;
        cell.channel = channel;
        cell.sample = tag;
        insertCell(module, 2, cell);
    }
    std::vector<uint32_t> tags;
    for (const NoteCell& c : module.patterns[2]) tags.push_back(c.sample);
    EXPECT_EQ(tags, (std::vector<uint32_t>{4, 2, 3, 1}));
}

TEST(Module, CreateAndFree) {
    std::unique_ptr<Module> current;
    freeModule(current);  // nothing held: nothing to do
    EXPECT_EQ(current, nullptr);
    Module& first = createModule(current);
    first.title.assign("first");
    first.samples.resize(2);
    Module& second = createModule(current);  // replaces the first
    EXPECT_TRUE(second.title.empty());
    EXPECT_TRUE(second.samples.empty());
    freeModule(current);
    EXPECT_EQ(current, nullptr);
}

TEST(Module, RowsOfPatterns) {
    Module module;
    module.patternCount = 3;
    module.patterns.resize(3);
    EXPECT_EQ(rowsOf(module, 0), 64u);  // MOD, S3M, STM: no row counts of their own
    module.patternRows = {1, 256};
    EXPECT_EQ(rowsOf(module, 0), 1u);
    EXPECT_EQ(rowsOf(module, 1), 256u);
    EXPECT_EQ(rowsOf(module, 2), 64u);  // beyond the list: 64
}

TEST(Module, LoopTypes) {
    const struct {
        uint32_t loopEnd;
        bool pingPong;
        LoopType type;
    } cases[] = {
        {0, false, LoopType::none},
        {0, true, LoopType::none},  // no loop, whatever its direction says
        {10, false, LoopType::forward},
        {10, true, LoopType::pingPong},
    };
    for (const auto& c : cases) {
        Sample sample;
        sample.length = 20;
        sample.loopStart = 2;
        sample.loopEnd = c.loopEnd;
        sample.pingPong = c.pingPong;
        EXPECT_EQ(loopType(sample), c.type) << c.loopEnd << " " << c.pingPong;
    }
}

// The readers' allocation budgets count Sample and NoteCell: a change of size changes what a
// damaged file with huge counts keeps.
TEST(Module, RecordSizesKeptForTheBudgets) {
    if constexpr (sizeof(void*) == 8) {
        EXPECT_EQ(sizeof(Sample), 112u);
        EXPECT_EQ(sizeof(NoteCell), 32u);
    } else {
        GTEST_SKIP() << "sizes are fixed for 64-bit builds";
    }
}

TEST(Module, FootprintCountsInstrumentsAndRowCounts) {
    Module module;
    const size_t empty = moduleFootprint(module);
    module.instruments.resize(3);
    module.instruments.shrink_to_fit();
    EXPECT_EQ(moduleFootprint(module), empty + 3 * sizeof(Instrument));
    module.patternRows.assign(10, 64);
    module.patternRows.shrink_to_fit();
    EXPECT_EQ(moduleFootprint(module), empty + 3 * sizeof(Instrument) + 10 * sizeof(uint16_t));
}

}  // namespace
}  // namespace tarvex
