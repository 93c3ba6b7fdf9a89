#include <gtest/gtest.h>

#include "core/PitchTables.h"
#include "formats/LoadResult.h"
#include "formats/StmReader.h"
#include "support/StmWriter.h"

namespace tarvex {
namespace {

using test::StmWriter;

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = -1;
    Module module;
};

Loaded load(const std::vector<uint8_t>& bytes) {
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadStm(file, out.module, out.result, out.sizeDetail, "STM");
    return out;
}

TEST(StmReader, HeaderAndSamples) {
    StmWriter stm;
    stm.title = "stm\x94song";
    stm.globalVolume = 50;
    stm.samples[0].name = "first";
    stm.samples[0].data = {1, -1, 127};
    stm.samples[0].loopStart = 1;
    stm.samples[0].loopEnd = 9;
    stm.samples[0].volume = 40;
    stm.samples[0].sampleRate = 22050;
    stm.samples[1].name = "second";
    stm.samples[1].data = {-128, 5};  // loop end 0xFFFF: no loop
    const Loaded l = load(stm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, 0);
    const Module& m = l.module;
    EXPECT_EQ(m.title.view(), "stm\xF6song");
    EXPECT_EQ(m.signature.view(), "!Scream!");
    EXPECT_EQ(m.trackerName.view(), "ScreamTracker V2.21");
    EXPECT_EQ(m.formatType, kFormatStm);
    EXPECT_EQ(m.sampleCount, 31u);
    EXPECT_EQ(m.channelCount, 4u);
    EXPECT_EQ(m.initialSpeed, 6u);
    EXPECT_EQ(m.initialTempo, 125u);
    EXPECT_EQ(m.globalVolume, 50);
    EXPECT_EQ(m.orders.size(), 128u);
    EXPECT_EQ(m.panLeft, (std::vector<int32_t>{1024, 0, 0, 1024}));
    const Sample& a = m.samples[0];
    EXPECT_EQ(a.name.view(), "first");
    EXPECT_EQ(a.data, (std::vector<int16_t>{256, -256, 127 * 256}));
    EXPECT_EQ(a.loopStart, 1u);
    EXPECT_EQ(a.loopEnd, 3u);
    EXPECT_EQ(a.volume, 40u);
    EXPECT_EQ(a.baseFrequency, 22050u);
    EXPECT_EQ(a.basePeriod, 1128u);
    EXPECT_EQ(m.samples[1].data, (std::vector<int16_t>{-32768, 5 * 256}));  // back to back
    EXPECT_EQ(m.samples[1].loopEnd, 0u);

    stm.major = 0x12;  // only the low four bits count
    stm.minor = 0;
    EXPECT_EQ(load(stm.bytes()).module.trackerName.view(), "ScreamTracker V2.0");
    stm.type = 1;
    const Loaded refused = load(stm.bytes());
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.result, kResultUnsupported);
    EXPECT_TRUE(refused.module.samples.empty());
}

TEST(StmReader, SongLength) {
    struct Case {
        std::vector<uint8_t> orders;
        size_t patterns;
        uint32_t songLength;
    };
    const Case cases[] = {
        {{0, 1, 2, 99}, 3, 3}, {{0, 1, 7, 99}, 3, 2},  // the trailing 7 names no pattern
        {{99}, 3, 0},          {{5, 6, 99}, 3, 0},     // trimming stops at 0
        {{5, 0, 99}, 3, 2},                            // only trailing entries are trimmed
    };
    for (const Case& c : cases) {
        StmWriter stm;
        stm.patterns.resize(c.patterns);
        std::copy(c.orders.begin(), c.orders.end(), stm.orders.begin());
        EXPECT_EQ(load(stm.bytes()).module.songLength, c.songLength) << int{c.orders[0]};
    }
    StmWriter noEnd;
    noEnd.orders.fill(0);
    EXPECT_EQ(load(noEnd.bytes()).module.songLength, 99u);
}

TEST(StmReader, Cells) {
    StmWriter stm;
    stm.setCell(0, 0, 0, {0x20, 0x08, 0x1A, 0x10});  // C-2 (entry 72), sample 1, volume 8, J10
    stm.setCell(0, 0, 1, {0xFF, 0x01, 0x80, 0x00});  // empty note, volume 8 * 8 + 1 = 65: none
    stm.setCell(0, 1, 2, {0xFF, 0x00, 0x11, 0x60});  // A60: speed 6, nibbles swapped
    stm.setCell(0, 1, 3, {0x3B, 0xF8, 0x4B, 0x21});  // H-3, sample 31, volume 32, K21
    stm.setCell(0, 2, 0, {0xFF, 0x00, 0x0F, 0x12});  // 15 stays 15: swapped too
    const Loaded l = load(stm.bytes());
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].period, 428u);
    EXPECT_EQ(p[0].note, 0);
    EXPECT_EQ(p[0].octave, 6);
    EXPECT_EQ(p[0].sample, 1u);
    EXPECT_EQ(p[0].volume, 8);
    EXPECT_EQ(p[0].effect, 0);
    EXPECT_EQ(p[0].param, 0x10);
    EXPECT_EQ(p[1].period, 0u);
    EXPECT_EQ(p[1].note, -1);
    EXPECT_EQ(p[1].volume, -1);
    EXPECT_EQ(p[2].effect, 15);
    EXPECT_EQ(p[2].param, 0x06);
    EXPECT_EQ(p[3].period, PeriodTable[(3 + 4) * 12 + 11].period);
    EXPECT_EQ(p[3].sample, 31u);
    EXPECT_EQ(p[3].volume, 32);
    EXPECT_EQ(p[3].effect, 8);
    EXPECT_EQ(p[3].param, 0x21);
    EXPECT_EQ(p[4].effect, 15);
    EXPECT_EQ(p[4].param, 0x21);
}

TEST(StmReader, PatternCountAboveSixtyFour) {
    StmWriter stm;
    stm.patterns.resize(64);
    stm.patternCountByte = 70;
    stm.samples[0].data = {1, 2, 3};
    const Loaded l = load(stm.bytes());
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultCorrupt);
    EXPECT_EQ(l.module.patternCount, 64u);
    EXPECT_EQ(l.module.samples[0].data, (std::vector<int16_t>{256, 512, 768}));  // after 64 patterns
}

TEST(StmReader, AlignedSampleDataAndCutData) {
    // As the tracker saves them: each sample at a 16-byte boundary named by its parapointer.
    StmWriter stm;
    stm.alignSamples = true;
    stm.samples[0].data = {1, 2, 3};
    stm.samples[1].data = {4, 5};
    stm.samples[2].data = std::vector<int8_t>(20, 6);
    stm.samples[2].length = 1000;
    stm.samples[2].loopStart = 10;
    stm.samples[2].loopEnd = 900;
    const std::vector<uint8_t> bytes = stm.bytes();
    const Loaded l = load(bytes);
    EXPECT_EQ(l.module.samples[1].data, (std::vector<int16_t>{4 * 256, 5 * 256}));
    const Sample& cut = l.module.samples[2];
    EXPECT_EQ(cut.length, 20u);  // what the file holds
    EXPECT_EQ(cut.data, std::vector<int16_t>(20, 6 * 256));
    EXPECT_EQ(cut.loopEnd, 20u);
}

}  // namespace
}  // namespace tarvex
