// Every module file of the shared corpus, the malformed ones included, loads without a crash, a
// sanitizer report or an oversized Module, and what it loads keeps the Module's invariants.
#include <gtest/gtest.h>

#include <filesystem>

#include "formats/Loader.h"
#include "support/Corpus.h"

namespace tarvex {
namespace {

void checkInvariants(const Module& m, const std::string& name) {
    ASSERT_EQ(m.samples.size(), m.sampleCount) << name;
    ASSERT_EQ(m.patterns.size(), m.patternCount) << name;
    ASSERT_EQ(m.panLeft.size(), m.channelCount) << name;
    ASSERT_EQ(m.panRight.size(), m.channelCount) << name;
    ASSERT_LE(m.songLength, m.orders.size()) << name;
    for (const Sample& s : m.samples) {
        EXPECT_EQ(s.data.size(), s.length) << name;
        EXPECT_LE(s.loopEnd, s.length) << name;
    }
    for (const Pattern& pattern : m.patterns) {
        for (size_t i = 0; i < pattern.size(); ++i) {
            EXPECT_LT(pattern[i].row, 64u) << name;
            EXPECT_LT(pattern[i].channel, m.channelCount) << name;
            if (i > 0) {
                const NoteCell& a = pattern[i - 1];
                const NoteCell& b = pattern[i];
                EXPECT_TRUE(a.row < b.row || (a.row == b.row && a.channel <= b.channel)) << name;
            }
        }
    }
    if (m.formatType == kFormatS3m) {  // S3M filters its orders; STM trims only the tail
        for (uint32_t i = 0; i < m.songLength; ++i) EXPECT_LT(m.orders[i], m.patternCount) << name;
    }
}

TEST(Corpus, EveryFileLoadsWithinBounds) {
    const std::vector<std::filesystem::path> files = test::corpusFiles();
    if (files.empty()) GTEST_SKIP() << test::noCorpusMessage();
    size_t loaded = 0;
    size_t refusedUnsaid = 0;
    for (const std::filesystem::path& path : files) {
        const std::string name = path.filename().string();
        Module module;
        const LoadOutcome outcome = loadModuleFile(path.string(), module);
        const uintmax_t size = std::filesystem::file_size(path);
        EXPECT_LE(moduleFootprint(module), 64 * size + (1u << 20)) << name;
        if (!outcome.loaded) {
            EXPECT_EQ(outcome.result, kResultUnsupported) << name;
            // Only malformed/ holds files that are refused: other formats renamed to .mod and
            // files too short to hold a song, each with its reason.
            EXPECT_EQ(path.parent_path().filename(), "malformed") << name;
            if (outcome.reason.empty()) ++refusedUnsaid;
            continue;
        }
        ++loaded;
        checkInvariants(module, name);
    }
    // All of malformed/ but the refused STM and those with a reason load.
    EXPECT_LE(refusedUnsaid, 1u);
    EXPECT_GT(loaded, files.size() * 3 / 4);
}

}  // namespace
}  // namespace tarvex
