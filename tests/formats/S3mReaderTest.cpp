#include <gtest/gtest.h>

#include "core/PitchTables.h"
#include "formats/LoadResult.h"
#include "formats/S3mReader.h"
#include "support/S3mWriter.h"

namespace tarvex {
namespace {

using test::S3mEntry;
using test::S3mInstrumentSpec;
using test::S3mWriter;

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = -1;
    Module module;
};

S3mInstrumentSpec instrument(std::vector<uint8_t> data, uint8_t flags = 0, std::string name = "") {
    S3mInstrumentSpec desc;
    desc.data = std::move(data);
    desc.flags = flags;
    desc.name = std::move(name);
    return desc;
}

Loaded load(const std::vector<uint8_t>& bytes) {
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadS3m(file, out.module, out.result, out.sizeDetail, "S3M");
    return out;
}

TEST(S3mReader, Header) {
    S3mWriter s3m;
    s3m.title = "header\x84test";
    s3m.globalVolume = 48;
    s3m.speed = 5;
    s3m.tempo = 150;
    s3m.instruments.resize(2);
    const Loaded l = load(s3m.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.sizeDetail, 0);
    const Module& m = l.module;
    EXPECT_EQ(m.title.view(), "header\xE4test");
    EXPECT_EQ(m.trackerName.view(), "ScreamTracker V3.32");  // version 0x1320
    EXPECT_EQ(m.signature.view(), "SCRM");
    EXPECT_EQ(m.formatType, kFormatS3m);
    EXPECT_EQ(m.globalVolume, 48);
    EXPECT_EQ(m.initialSpeed, 5u);
    EXPECT_EQ(m.initialTempo, 150u);
    EXPECT_EQ(m.sampleCount, 2u);
    EXPECT_EQ(m.patternCount, 1u);
    EXPECT_EQ(m.channelCount, 4u);

    s3m.type = 17;
    const Loaded refused = load(s3m.bytes());
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.result, kResultUnsupported);
    EXPECT_TRUE(refused.module.samples.empty());
}

TEST(S3mReader, ChannelMapAndPanning) {
    S3mWriter s3m;
    s3m.channelSettings.fill(255);
    s3m.channelSettings[0] = 0;  // left
    s3m.channelSettings[1] = 8;  // right
    s3m.channelSettings[3] = 1;  // left
    s3m.channelSettings[4] = 2;  // left
    s3m.patterns[0] = {S3mEntry::withNote(0, 0, 0x40, 1), S3mEntry::withNote(0, 2, 0x40, 1),
                       S3mEntry::command(0, 3, 1, 3)};
    s3m.patterns[0][1].volume = 10;
    s3m.patterns[0][1].commandByte = 4;
    Loaded l = load(s3m.bytes());
    ASSERT_EQ(l.module.channelCount, 4u);
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 2u);      // the unused S3M channel 2 consumed its bytes, no cell
    EXPECT_EQ(p[1].channel, 2u);  // S3M channel 3
    EXPECT_EQ(p[1].effect, 15);
    EXPECT_EQ(l.module.panLeft, (std::vector<int32_t>{1024, 0, 1024, 1024}));
    EXPECT_EQ(l.module.panRight, (std::vector<int32_t>{0, 1024, 0, 0}));

    s3m.masterVolume = 0x30;  // mono
    l = load(s3m.bytes());
    EXPECT_EQ(l.module.panLeft, (std::vector<int32_t>(4, 512)));
    EXPECT_EQ(l.module.panRight, (std::vector<int32_t>(4, 512)));

    s3m.panMarker = 252;
    s3m.panTable[0] = 0x2F;  // left-hand, f 15: full right
    s3m.panTable[1] = 0x00;  // right-hand, f 0: full right
    s3m.panTable[2] = 0x55;  // unused channel: skipped
    s3m.panTable[3] = 0x07;  // 7 * 1024 / 15 and 8 * 1024 / 15
    s3m.panTable[4] = 0x00;  // left-hand, f 0: full left
    l = load(s3m.bytes());
    EXPECT_EQ(l.module.panRight, (std::vector<int32_t>{1024, 1024, 477, 0}));
    EXPECT_EQ(l.module.panLeft, (std::vector<int32_t>{0, 0, 546, 1024}));
}

TEST(S3mReader, OrderFilter) {
    S3mWriter s3m;
    s3m.orders = {0, 1, 254, 5, 255, 2};
    s3m.patterns.resize(3);
    const Loaded l = load(s3m.bytes());
    EXPECT_EQ(l.module.songLength, 3u);
    EXPECT_EQ(std::vector<uint32_t>(l.module.orders.begin(), l.module.orders.begin() + 3),
              (std::vector<uint32_t>{0, 1, 2}));
}

TEST(S3mReader, EffectMapping) {
    struct Row {
        uint8_t command, info, effect, param;
    };
    const Row rows[] = {
        {1, 0x06, 15, 0x06}, {5, 0xF3, 14, 0x23},  {5, 0xE3, 14, 0x23},  {5, 0x83, 2, 0x83},
        {6, 0xF2, 14, 0x12}, {10, 0x37, 0, 0x37},  {14, 0x01, 10, 0x01}, {19, 0xB2, 14, 0x62},
        {19, 0xA3, 0, 0},    {19, 0x13, 14, 0x33}, {20, 0x80, 16, 0x80}, {21, 0x44, 0, 0},
        {24, 0x40, 8, 0x40}, {27, 0x12, 0, 0},
    };
    for (const Row& row : rows) {
        const MappedEffect mapped = mapS3mEffect(row.command, row.info);
        EXPECT_EQ(mapped.effect, row.effect) << int{row.command} << " " << int{row.info};
        EXPECT_EQ(mapped.param, row.param) << int{row.command} << " " << int{row.info};
    }
}

TEST(S3mReader, Cells) {
    S3mWriter s3m;
    s3m.patterns[0] = {
        S3mEntry::withNote(0, 1, 0x9C, 2),  // index 144: no note, instrument kept
        S3mEntry::withNote(0, 0, 0x40, 1),  // after channel 1 in the file, before it in the list
        S3mEntry::withNote(0, 0, 254, 0),   // same position: follows the earlier one
        S3mEntry::volumeOnly(1, 2, 0x20),  S3mEntry::command(2, 3, 19, 0xB2),
    };
    const Loaded l = load(s3m.bytes());
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].period, 428u);  // note byte 0x40 -> entry 72
    EXPECT_EQ(p[0].note, 0);
    EXPECT_EQ(p[0].octave, 6);
    EXPECT_EQ(p[0].sample, 1u);
    EXPECT_EQ(p[0].volume, -1);
    EXPECT_EQ(p[1].period, kNoteOff);
    EXPECT_EQ(p[1].note, 0);
    EXPECT_EQ(p[1].octave, 0);
    EXPECT_EQ(p[2].channel, 1u);
    EXPECT_EQ(p[2].period, 0u);
    EXPECT_EQ(p[2].note, -1);
    EXPECT_EQ(p[2].sample, 2u);
    EXPECT_EQ(p[3].row, 1u);
    EXPECT_EQ(p[3].volume, 32);
    EXPECT_EQ(p[3].period, 0u);
    EXPECT_EQ(p[4].effect, 14);
    EXPECT_EQ(p[4].param, 0x62);
}

TEST(S3mReader, EightBitSamples) {
    S3mWriter s3m;
    s3m.instruments = {instrument({0x80, 0xFF, 0x00, 0x40}, 0, "unsigned"), instrument({0x80})};
    s3m.instruments[0].loopStart = 1;
    s3m.instruments[0].loopEnd = 10;
    s3m.instruments[0].volume = 50;
    s3m.instruments[0].sampleRate = 22050;
    s3m.instruments[1].loopEnd = 2;  // 0..2: no loop
    Loaded l = load(s3m.bytes());
    const Sample& a = l.module.samples[0];
    EXPECT_EQ(a.name.view(), "unsigned");
    EXPECT_EQ(a.length, 4u);
    EXPECT_EQ(a.data, (std::vector<int16_t>{0, 32512, -32768, -16384}));
    EXPECT_EQ(a.loopStart, 1u);
    EXPECT_EQ(a.loopEnd, 4u);
    EXPECT_EQ(a.volume, 50u);
    EXPECT_EQ(a.baseFrequency, 22050u);
    EXPECT_EQ(a.basePeriod, 1128u);
    EXPECT_EQ(a.finetune, 0);
    EXPECT_EQ(l.module.samples[1].loopEnd, 0u);

    s3m.sampleFormat = 1;  // signed
    l = load(s3m.bytes());
    EXPECT_EQ(l.module.samples[0].data, (std::vector<int16_t>{-32768, -256, 0, 16384}));
}

TEST(S3mReader, SixteenBitAndStereoSamples) {
    S3mWriter s3m;
    s3m.instruments = {
        instrument({0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00}, 4),              // 16-bit, 3 frames
        instrument({1, 2, 3, 9, 9, 9}, 2),                                // stereo: left 1 2 3
        instrument({0x34, 0x12, 0x00, 0x00, 0xFF, 0x7F, 0xFF, 0x7F}, 6),  // 16-bit stereo
    };
    Loaded l = load(s3m.bytes());
    EXPECT_EQ(l.module.samples[0].data, (std::vector<int16_t>{0, 32767, -32768}));
    EXPECT_EQ(l.module.samples[1].data,
              (std::vector<int16_t>{(1 - 128) * 256, (2 - 128) * 256, (3 - 128) * 256}));
    EXPECT_EQ(l.module.samples[2].data, (std::vector<int16_t>{0x1234 - 32768, -32768}));

    s3m.sampleFormat = 1;
    l = load(s3m.bytes());
    EXPECT_EQ(l.module.samples[0].data, (std::vector<int16_t>{-32768, -1, 0}));
    EXPECT_EQ(l.module.samples[1].data, (std::vector<int16_t>{256, 512, 768}));
}

TEST(S3mReader, InstrumentSlotsThatAreNoSamples) {
    S3mWriter s3m;
    s3m.instruments = {instrument(std::vector<uint8_t>(100, 0x90), 0, "adlib"),
                       instrument(std::vector<uint8_t>(10, 0x90), 0, "empty"),
                       instrument(std::vector<uint8_t>(10, 0x90), 0, "no pointer")};
    s3m.instruments[0].type = 2;  // AdLib: its header bytes are no sample header
    s3m.instruments[0].loopEnd = 50;
    s3m.instruments[1].type = 0;
    s3m.instruments[2].parapointer = 0;
    const Loaded l = load(s3m.bytes());
    ASSERT_EQ(l.module.sampleCount, 3u);
    for (const Sample& s : l.module.samples) {
        EXPECT_EQ(s.length, 0u);
        EXPECT_TRUE(s.data.empty());
        EXPECT_EQ(s.baseFrequency, 0u);
        EXPECT_EQ(s.loopEnd, 0u);
    }
    EXPECT_EQ(l.module.samples[0].name.view(), "adlib");
    EXPECT_EQ(l.module.samples[1].name.view(), "empty");
    EXPECT_TRUE(l.module.samples[2].name.empty());  // offset 0 is the header, not an instrument
}

TEST(S3mReader, DataAboveOneMebibyte) {
    S3mWriter s3m;
    s3m.sampleFormat = 1;
    s3m.instruments = {instrument({10, 20, 30})};
    s3m.instruments[0].dataOffset = 0x100020;
    const std::vector<uint8_t> bytes = s3m.bytes();
    ASSERT_EQ(bytes.size(), 0x100023u);
    const Loaded l = load(bytes);
    EXPECT_EQ(l.module.samples[0].data, (std::vector<int16_t>{10 * 256, 20 * 256, 30 * 256}));
}

TEST(S3mReader, DataThatTheFileDoesNotHold) {
    S3mWriter s3m;
    s3m.instruments = {instrument(std::vector<uint8_t>(10, 0x81))};
    s3m.instruments[0].length = 100000;
    s3m.instruments[0].loopStart = 4;
    s3m.instruments[0].loopEnd = 50000;
    const Loaded l = load(s3m.bytes());
    const Sample& s = l.module.samples[0];
    EXPECT_EQ(s.length, 10u);
    EXPECT_EQ(s.data, std::vector<int16_t>(10, 256));
    EXPECT_EQ(s.loopStart, 4u);
    EXPECT_EQ(s.loopEnd, 10u);
}

TEST(S3mReader, PatternsCutShortOrMissing) {
    // A parapointer of 0 would unpack the header: the pattern is empty instead.
    S3mWriter s3m;
    s3m.patterns = {{S3mEntry::withNote(0, 0, 0x40, 1)}, {S3mEntry::withNote(0, 0, 0x40, 1)}};
    s3m.patternParapointers = {std::nullopt, uint16_t{0}};
    Loaded l = load(s3m.bytes());
    EXPECT_EQ(l.module.patterns[0].size(), 1u);
    EXPECT_TRUE(l.module.patterns[1].empty());

    // The file ends after row 0 of the last pattern: the rows after it read as empty.
    s3m = S3mWriter();
    s3m.patterns = {{S3mEntry::withNote(0, 1, 0x40, 1), S3mEntry::withNote(40, 0, 0x40, 1)}};
    std::vector<uint8_t> bytes = s3m.bytes();
    const std::vector<uint8_t> packed = S3mWriter::pack(s3m.patterns[0]);
    bytes.resize(bytes.size() - packed.size() + 4);  // entry of 3 bytes and its row end
    l = load(bytes);
    ASSERT_EQ(l.module.patterns[0].size(), 1u);
    EXPECT_EQ(l.module.patterns[0][0].channel, 1u);
}

TEST(S3mReader, CountsAreBoundedByTheFile) {
    // The header claims 60000 instruments and patterns; the file holds a few hundred bytes.
    S3mWriter s3m;
    s3m.instrumentCount = 60000;
    s3m.patternCount = 60000;
    const std::vector<uint8_t> bytes = s3m.bytes();
    const Loaded l = load(bytes);
    ASSERT_TRUE(l.ok);
    EXPECT_LE(l.module.sampleCount, bytes.size() / 2);
    EXPECT_LE(l.module.patternCount, bytes.size() / 2);
    EXPECT_LE(moduleFootprint(l.module), 64 * bytes.size() + (1u << 20));
}

TEST(S3mReader, SharedParapointersCannotMultiplyCells) {
    // 2000 patterns point at one pattern of 64 rows x 200 volume entries.
    S3mWriter s3m;
    std::vector<S3mEntry> dense;
    for (uint32_t row = 0; row < 64; ++row) {
        for (int i = 0; i < 200; ++i) dense.push_back(S3mEntry::volumeOnly(row, 0, 10));
    }
    s3m.patterns.assign(2000, {});
    s3m.patterns[0] = dense;
    const std::vector<uint8_t> first = s3m.bytes();
    const size_t table = 96 + s3m.orders.size();
    const uint16_t shared = static_cast<uint16_t>(first[table] | (first[table + 1] << 8));
    s3m.patternParapointers.assign(2000, shared);
    const std::vector<uint8_t> bytes = s3m.bytes();
    const Loaded l = load(bytes);
    ASSERT_EQ(l.module.patternCount, 2000u);
    EXPECT_EQ(l.module.patterns[0].size(), 64u * 200);
    EXPECT_TRUE(l.module.patterns[1999].empty());
    EXPECT_LE(moduleFootprint(l.module), 64 * bytes.size() + (1u << 20));
}

}  // namespace
}  // namespace tarvex
