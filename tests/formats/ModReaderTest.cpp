#include <gtest/gtest.h>

#include "formats/LoadResult.h"
#include "formats/ModReader.h"
#include "support/ModWriter.h"

namespace tarvex {
namespace {

using test::ModWriter;

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = -1;
    Module module;
};

Loaded load(const std::vector<uint8_t>& bytes, std::string_view extension = "MOD") {
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadMod(file, out.module, out.result, out.sizeDetail, extension);
    return out;
}

// Two patterns, orders 0 1, two samples of 100 and 60 bytes.
ModWriter twoPatternSong() {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.title = "two patterns";
    mod.songLength = 2;
    mod.orders[1] = 1;
    mod.patternCount = 2;
    for (int i = 0; i < 100; ++i) mod.samples[0].data.push_back(static_cast<int8_t>(i - 50));
    mod.samples[1].data.assign(60, -1);
    return mod;
}

TEST(ModReader, ExactFile) {
    const ModWriter mod = twoPatternSong();
    const std::vector<uint8_t> bytes = mod.bytes();
    ASSERT_EQ(bytes.size(), 1084u + 2 * 1024 + 160);
    const Loaded l = load(bytes);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.sizeDetail, 0);
    const Module& m = l.module;
    EXPECT_EQ(m.title.view(), "two patterns");
    EXPECT_EQ(m.trackerName.view(), "ProTracker");
    EXPECT_EQ(m.signature.view(), "M.K.");
    EXPECT_EQ(m.sampleCount, 31u);
    EXPECT_EQ(m.channelCount, 4u);
    EXPECT_EQ(m.patternCount, 2u);
    EXPECT_EQ(m.songLength, 2u);
    ASSERT_EQ(m.orders.size(), 128u);
    EXPECT_EQ(m.orders[1], 1u);
    EXPECT_EQ(m.initialTempo, 125u);
    EXPECT_EQ(m.initialSpeed, 6u);
    EXPECT_EQ(m.formatType, kFormatMod);
    EXPECT_EQ(m.globalVolume, 64);
    EXPECT_EQ(m.panLeft, (std::vector<int32_t>{1024, 0, 0, 1024}));
    EXPECT_EQ(m.samples[0].data[0], -50 * 256);
    EXPECT_EQ(m.samples[0].data[99], 49 * 256);
    EXPECT_EQ(m.samples[1].data[59], -256);
}

TEST(ModReader, SizeCheckBothWays) {
    // 100 bytes too long: the orders use patterns 0 and 1, so both stand.
    std::vector<uint8_t> bytes = twoPatternSong().bytes();
    bytes.resize(bytes.size() + 100, 0);
    Loaded l = load(bytes);
    EXPECT_EQ(l.result, kResultSizeMismatch);
    EXPECT_EQ(l.sizeDetail, 100);
    EXPECT_EQ(l.module.patternCount, 2u);

    // 1000 + 100 bytes too long with only pattern 0 in the song: one pattern, the rest is surplus.
    ModWriter shortSong = twoPatternSong();
    shortSong.songLength = 1;
    bytes = shortSong.bytes();
    bytes.resize(bytes.size() + 100, 0);
    l = load(bytes);
    EXPECT_EQ(l.sizeDetail, 1024 + 100);
    EXPECT_EQ(l.module.patternCount, 1u);

    // 100 bytes short: patternCount = highest order + 2, samples from the last 160 bytes.
    bytes = twoPatternSong().bytes();
    bytes.resize(bytes.size() - 100);
    l = load(bytes);
    EXPECT_EQ(l.result, kResultSizeMismatch);
    EXPECT_EQ(l.sizeDetail, -100);
    EXPECT_EQ(l.module.patternCount, 3u);
    const int64_t start = static_cast<int64_t>(bytes.size()) - 160;
    EXPECT_EQ(l.module.samples[0].data[0], static_cast<int8_t>(bytes[start]) * 256);
    EXPECT_EQ(l.module.samples[1].data[59], static_cast<int8_t>(bytes.back()) * 256);

    // A song length of 200 is clamped to 128 (code 4) unless the size check also fails.
    ModWriter clamped = twoPatternSong();
    clamped.songLength = 200;
    l = load(clamped.bytes());
    EXPECT_EQ(l.result, kResultCorrupt);
    EXPECT_EQ(l.module.songLength, 128u);
    bytes = clamped.bytes();
    bytes.push_back(0);
    EXPECT_EQ(load(bytes).result, kResultSizeMismatch);
}

TEST(ModReader, ShorterThanTheHeaderPart) {
    // One sample of 4000 bytes in a file of 1500: 1500 - 5084 = -3584 gives patternCount -3 and
    // rest -512 (signed, truncating), so sizeDetail -512 - 1024 and patternCount 1 + 1.
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.samples[0].lengthWords = 2000;
    mod.samples[0].loopStartWords = 1000;
    mod.samples[0].loopLengthWords = 500;
    std::vector<uint8_t> bytes = mod.bytes();
    bytes.resize(1500);
    const Loaded l = load(bytes);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultSizeMismatch);
    EXPECT_EQ(l.sizeDetail, -1536);
    EXPECT_EQ(l.module.patternCount, 2u);
    // The data starts at offset 0 and is cut to the 1500 bytes the file holds; the loop is
    // normalised again against the cut length.
    const Sample& s = l.module.samples[0];
    EXPECT_EQ(s.length, 1500u);
    ASSERT_EQ(s.data.size(), 1500u);
    EXPECT_EQ(s.data[0], 't' * 256);
    EXPECT_EQ(s.loopStart, 2000u);  // the start is never compared with the length
    EXPECT_EQ(s.loopEnd, 1500u);
}

TEST(ModReader, SignatureTable) {
    struct Row {
        std::string signature;
        std::string_view extension;
        const char* tracker;
        uint32_t channels;
        uint32_t samples;
    };
    const Row rows[] = {
        {"M.K.", "MOD", "ProTracker", 4, 31},
        {"M!K!", "NST", "ProTracker", 4, 31},
        {"M.K.", "WOW", "Grave Composer", 8, 31},
        {"FLT4", "MOD", "StarTrekker", 4, 31},
        {"FLT8", "MOD", "StarTrekker", 8, 31},
        {"4CHN", "MOD", "StarTrekker", 4, 31},
        {"6CHN", "MOD", "FastTracker", 6, 31},
        {"8CHN", "MOD", "FastTracker", 8, 31},
        {"CD81", "MOD", "Atari Oktalyzer", 8, 31},
        {"OKTA", "MOD", "Atari Oktalyzer", 8, 31},
        {"16CN", "MOD", "TakeTracker", 16, 31},
        {"32CH", "MOD", "TakeTracker", 32, 31},
        {"10CH", "MOD", "Unknown Tracker with 10 Channels", 10, 31},
        {" 3CN", "MOD", "Unknown Tracker with  3 Channels", 3, 31},
        {"2xCH", "MOD", "Unknown Tracker with 2x Channels", 2, 31},
        {std::string("\0\0CH", 4), "MOD", "NoiseTracker", 4, 15},  // shorter than four characters
        {"M.K", "MOD", "NoiseTracker", 4, 15},
        {"TDZ3", "MOD", "NoiseTracker", 4, 15},
    };
    for (const Row& row : rows) {
        ModWriter mod = ModWriter::withSignature(row.signature);
        const Loaded l = load(mod.bytes(), row.extension);
        ASSERT_TRUE(l.ok) << row.signature;
        EXPECT_EQ(l.module.trackerName.view(), row.tracker) << row.signature;
        EXPECT_EQ(l.module.channelCount, row.channels) << row.signature;
        EXPECT_EQ(l.module.sampleCount, row.samples) << row.signature;
        EXPECT_EQ(l.module.signature.empty(), row.samples == 15) << row.signature;
    }
    // Fewer than one channel: the file cannot be played and nothing is loaded.
    for (const char* signature : {"00CH", "-1CH", "ABCN", " 0CH"}) {
        const Loaded l = load(ModWriter::withSignature(signature).bytes());
        EXPECT_FALSE(l.ok) << signature;
        EXPECT_EQ(l.result, kResultUnsupported) << signature;
        EXPECT_TRUE(l.module.samples.empty());
    }
}

TEST(ModReader, SampleHeaders) {
    ModWriter mod = ModWriter::withSignature("M.K.");
    const auto sample = [](std::string name, size_t length, uint8_t finetune, uint16_t loopStart,
                           uint16_t loopLength) {
        test::ModSampleSpec desc;
        desc.name = std::move(name);
        desc.data.assign(length, 0);
        desc.finetune = finetune;
        desc.loopStartWords = loopStart;
        desc.loopLengthWords = loopLength;
        return desc;
    };
    mod.samples[0] = sample(std::string("bass\x09"
                                        "drum\x81",
                                        10),
                            64, 0xF8, 4, 8);
    mod.samples[0].volume = 200;
    mod.samples[1] = sample("", 64, 0x07, 0, 1);
    mod.samples[2] = sample("", 16, 0x0F, 4, 20);
    const Loaded l = load(mod.bytes());
    const Sample& a = l.module.samples[0];
    EXPECT_EQ(a.name.view(), "bass drum\xFC");
    EXPECT_EQ(a.length, 64u);
    EXPECT_EQ(a.finetune, -8);
    EXPECT_EQ(a.baseFrequency, 7895u);  // entry 8
    EXPECT_EQ(a.basePeriod, 7895u * 428 / 8363);
    EXPECT_EQ(a.volume, 200u);  // not clamped
    EXPECT_EQ(a.loopStart, 8u);
    EXPECT_EQ(a.loopEnd, 24u);
    const Sample& b = l.module.samples[1];
    EXPECT_EQ(b.finetune, 7);
    EXPECT_EQ(b.baseFrequency, 8757u);
    EXPECT_EQ(b.loopEnd, 0u);  // loop 0..2: none
    const Sample& c = l.module.samples[2];
    EXPECT_EQ(c.finetune, -1);
    EXPECT_EQ(c.loopStart, 8u);
    EXPECT_EQ(c.loopEnd, 16u);  // 8 + 40 cut to the length
    EXPECT_TRUE(l.module.samples[3].data.empty());
}

TEST(ModReader, Cells) {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.setRawCell(0, 0, 0, {0x11, 0xAC, 0x3F, 0x06});  // sample 19, period 428, F06
    mod.setRawCell(0, 0, 1, {0x21, 0xAC, 0x30, 0x00});  // sample (0x2 * 16 + 3) & 31 = 3
    mod.setRawCell(0, 1, 2, {0x00, 0x00, 0x0F, 0x06});  // only F06
    mod.setRawCell(0, 2, 3, {0x00, 0x00, 0x0C, 0x50});  // C50 -> C40
    mod.setRawCell(0, 3, 0, {0x00, 0x00, 0x0C, 0x40});
    mod.setRawCell(0, 4, 0, {0x00, 0x00, 0x00, 0x00});  // nothing: no cell
    const Loaded l = load(mod.bytes());
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].sample, 19u);
    EXPECT_EQ(p[0].period, 428u);
    EXPECT_EQ(p[0].note, 0);
    EXPECT_EQ(p[0].octave, 6);
    EXPECT_EQ(p[0].effect, 15);
    EXPECT_EQ(p[0].param, 6);
    EXPECT_EQ(p[0].volume, -1);
    EXPECT_EQ(p[1].sample, 3u);
    EXPECT_EQ(p[1].channel, 1u);
    EXPECT_EQ(p[2].row, 1u);
    EXPECT_EQ(p[2].period, 0u);
    EXPECT_EQ(p[2].note, -1);
    EXPECT_EQ(p[2].octave, 0);
    EXPECT_EQ(p[2].sample, 0u);
    EXPECT_EQ(p[3].param, 64);
    EXPECT_EQ(p[4].param, 0x40);

    // 15-sample files: the whole upper word is the period.
    ModWriter old = ModWriter::fifteenSamples();
    old.setRawCell(0, 0, 0, {0x11, 0xAC, 0x3F, 0x06});
    const Loaded o = load(old.bytes());
    ASSERT_EQ(o.module.patterns[0].size(), 1u);
    EXPECT_EQ(o.module.patterns[0][0].period, 0x11ACu);
    EXPECT_EQ(o.module.patterns[0][0].sample, 3u);
}

TEST(ModReader, SplitPatternsOfFlt8) {
    ModWriter mod = ModWriter::withSignature("FLT8", 8);
    mod.setCell(0, 1, 0, 1, 428, 0, 0);  // first block, row 1
    mod.setCell(0, 0, 5, 2, 428, 0, 0);  // second block, row 0
    mod.setCell(0, 1, 7, 3, 428, 0, 0);
    const Loaded l = load(mod.bytes());
    EXPECT_EQ(l.result, 0);
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].row, 0u);  // the second half's row-0 cell heads the list
    EXPECT_EQ(p[0].channel, 5u);
    EXPECT_EQ(p[1].channel, 0u);
    EXPECT_EQ(p[2].channel, 7u);
}

TEST(ModReader, DataThatTheFileDoesNotHold) {
    // A sample header claiming 60000 words in a small file: the length is cut to the bytes left
    // after the patterns, while the size check still counts the stated length.
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.samples[0].lengthWords = 60000;
    mod.samples[0].loopStartWords = 10;
    mod.samples[0].loopLengthWords = 50000;
    mod.samples[0].data.assign(300, 7);
    const std::vector<uint8_t> bytes = mod.bytes();
    const Loaded l = load(bytes);
    const int64_t fixed = 1084 + 120000;
    EXPECT_EQ(l.sizeDetail, (static_cast<int64_t>(bytes.size()) - fixed) % 1024 - 1024);
    EXPECT_EQ(l.module.patternCount, 2u);
    const Sample& s = l.module.samples[0];
    EXPECT_EQ(s.length, bytes.size());  // seeked to 0, everything the file has
    EXPECT_EQ(s.data.size(), s.length);
    EXPECT_EQ(s.loopStart, 20u);
    EXPECT_EQ(s.loopEnd, s.length);
}

}  // namespace
}  // namespace tarvex
