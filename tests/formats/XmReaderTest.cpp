#include <gtest/gtest.h>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/LoadResult.h"
#include "formats/XmReader.h"
#include "support/XmWriter.h"

namespace tarvex {
namespace {

using test::XmCell;
using test::XmInstrumentSpec;
using test::XmPatternSpec;
using test::XmSampleSpec;
using test::XmWriter;

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = -1;
    Module module;
};

Loaded load(const std::vector<uint8_t>& bytes) {
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadXm(file, out.module, out.result, out.sizeDetail, "XM");
    return out;
}

XmSampleSpec sample8(std::vector<int16_t> frames) {
    XmSampleSpec s;
    s.frames = std::move(frames);
    return s;
}

XmSampleSpec sample16(std::vector<int16_t> frames) {
    XmSampleSpec s = sample8(std::move(frames));
    s.sixteenBit = true;
    return s;
}

// Two instruments (two samples, then one), two patterns with cells in both: every section present.
XmWriter richSong() {
    XmWriter xm;
    xm.channels = 3;
    xm.orders = {0, 1, 0};
    xm.patterns.resize(2);
    xm.patterns[0].rows = 32;
    xm.patterns[0].cells = {{.row = 0, .channel = 0, .note = 49, .instrument = 1, .volume = 0x30},
                            {.row = 5, .channel = 2, .note = 97, .effect = 0xF, .param = 3},
                            {.row = 31, .channel = 1, .note = 1, .instrument = 2}};
    xm.patterns[1].rows = 3;
    xm.patterns[1].cells = {
        {.row = 2, .channel = 2, .note = 96, .instrument = 2, .effect = 0x10, .param = 40}};
    XmInstrumentSpec first =
        XmInstrumentSpec::single("first", {sample8({1, 2, -3, 127, -128}), sample16({300, -300, 32767})});
    first.map.fill(1);
    first.map[0] = 0;
    first.volume.points = {{0, 64}, {10, 32}, {30, 0}};
    first.volume.type = 3;
    first.volume.sustain = 1;
    first.fadeout = 0x200;
    xm.instruments = {first, XmInstrumentSpec::single("second", {sample8({5, 6, 7, 8})})};
    return xm;
}

// What two loads of the same song must share, whatever the layout of its file.
void expectSameSong(const Module& a, const Module& b) {
    ASSERT_EQ(a.patternCount, b.patternCount);
    EXPECT_EQ(a.patternRows, b.patternRows);
    for (uint32_t p = 0; p < a.patternCount; ++p) {
        ASSERT_EQ(a.patterns[p].size(), b.patterns[p].size()) << "pattern " << p;
        for (size_t i = 0; i < a.patterns[p].size(); ++i) {
            const NoteCell& x = a.patterns[p][i];
            const NoteCell& y = b.patterns[p][i];
            EXPECT_TRUE(x.row == y.row && x.channel == y.channel && x.xmNote == y.xmNote &&
                        x.sample == y.sample && x.volumeCommand == y.volumeCommand &&
                        x.volumeParam == y.volumeParam && x.effect == y.effect && x.param == y.param)
                << "pattern " << p << " cell " << i;
        }
    }
    ASSERT_EQ(a.sampleCount, b.sampleCount);
    for (uint32_t s = 0; s < a.sampleCount; ++s) {
        EXPECT_EQ(a.samples[s].data, b.samples[s].data) << "sample " << s;
        EXPECT_EQ(a.samples[s].name.view(), b.samples[s].name.view());
    }
    ASSERT_EQ(a.instruments.size(), b.instruments.size());
    for (size_t i = 0; i < a.instruments.size(); ++i) {
        EXPECT_EQ(a.instruments[i].sampleOfNote, b.instruments[i].sampleOfNote) << "instrument " << i;
        EXPECT_EQ(a.instruments[i].name.view(), b.instruments[i].name.view());
    }
    EXPECT_EQ(a.orders, b.orders);
}

TEST(XmReader, Header) {
    XmWriter xm = richSong();
    xm.title = "header\x84test";
    xm.trackerName = "Some Tracker 1.00   ";
    xm.speed = 5;
    xm.bpm = 150;
    xm.restart = 2;
    xm.flags = 0;
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultOk);
    EXPECT_EQ(l.sizeDetail, 0);
    const Module& m = l.module;
    EXPECT_EQ(m.title.view(), "header\xE4test");
    EXPECT_EQ(m.writtenBy.view(), "Some Tracker 1.00");
    EXPECT_EQ(m.trackerName.view(), "FastTracker V1.04");
    EXPECT_EQ(m.signature.view(), "XM");
    EXPECT_EQ(m.formatType, kFormatXm);
    EXPECT_EQ(m.globalVolume, 64);
    EXPECT_EQ(m.initialSpeed, 5u);
    EXPECT_EQ(m.initialTempo, 150u);
    EXPECT_EQ(m.restartPosition, 2u);
    EXPECT_FALSE(m.linearFrequency);
    EXPECT_EQ(m.channelCount, 3u);
    EXPECT_EQ(m.orders, (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_EQ(m.songLength, 3u);
    EXPECT_EQ(m.patternCount, 2u);
    EXPECT_EQ(m.patternRows, (std::vector<uint16_t>{32, 3}));
    EXPECT_EQ(rowsOf(m, 1), 3u);
    EXPECT_EQ(m.sampleCount, 3u);
    EXPECT_EQ(m.instruments.size(), 2u);
    // Channels are centred: XM pans by instrument and sample.
    EXPECT_EQ(m.panLeft, std::vector<int32_t>(3, 512));
    EXPECT_EQ(m.panRight, std::vector<int32_t>(3, 512));

    xm.flags = 1;
    xm.restart = 3;  // at the song's length: back to the start
    const Loaded linear = load(xm.bytes());
    EXPECT_TRUE(linear.module.linearFrequency);
    EXPECT_EQ(linear.module.restartPosition, 0u);
}

TEST(XmReader, RefusesWhatIsNoXm) {
    XmWriter xm = richSong();
    std::vector<uint8_t> lowerMark = xm.bytes();
    lowerMark[9] = 'm';  // "Extended module: ", as the format's first description writes it
    EXPECT_TRUE(load(lowerMark).ok);

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"mark only", std::vector<uint8_t>(lowerMark.begin(), lowerMark.begin() + 17)},
        {"other mark",
         [&] {
             std::vector<uint8_t> b = xm.bytes();
             b[0] = 'X';
             return b;
         }()},
        {"no channels",
         [&] {
             XmWriter none = richSong();
             none.channels = 0;
             return none.bytes();
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded l = load(c.bytes);
        EXPECT_FALSE(l.ok);
        EXPECT_EQ(l.result, kResultUnsupported);
        EXPECT_EQ(moduleFootprint(l.module), sizeof(Module));  // nothing half-loaded
    }
}

TEST(XmReader, EffectsKeepTodaysCodesAndNumberXmsOwn) {
    const struct {
        uint8_t type, param, effect, mapped;
    } cases[] = {
        {0x0, 0x37, kArpeggio, 0x37},
        {0x3, 0x10, kTonePorta, 0x10},
        {0x8, 0x80, kSetPanning, 0x80},
        {0xE, 0xA3, kExtended, 0xA3},  // fine volume up 3, as in MOD
        {0xF, 0x7D, kSetSpeed, 0x7D},
        {16, 0x40, kSetGlobalVolume, 0x40},        // G
        {17, 0x0F, kGlobalVolumeSlide, 0x0F},      // H
        {20, 0x03, kKeyOff, 0x03},                 // K
        {21, 0x20, kSetEnvelopePosition, 0x20},    // L
        {25, 0xF0, kPanningSlide, 0xF0},           // P
        {27, 0x84, kMultiRetrigger, 0x84},         // R
        {29, 0x21, kTremor, 0x21},                 // T
        {33, 0x15, kExtraFinePortamentoUp, 5},     // X1
        {33, 0x2A, kExtraFinePortamentoDown, 10},  // X2
        {33, 0x35, kArpeggio, 0},                  // X3: nothing
        {18, 0x11, kArpeggio, 0},                  // I: not in XM
        {35, 0x11, kArpeggio, 0},                  // Z
        {200, 0x11, kArpeggio, 0},
    };
    for (const auto& c : cases) {
        const XmEffect e = mapXmEffect(c.type, c.param);
        EXPECT_EQ(e.effect, c.effect) << "type " << int{c.type};
        EXPECT_EQ(e.param, c.mapped) << "type " << int{c.type};
        EXPECT_LT(e.effect, kXmEffectEnd);
    }
}

TEST(XmReader, VolumeColumn) {
    const struct {
        uint8_t byte, command, param;
    } cases[] = {
        {0x00, kVolumeNone, 0},       {0x0F, kVolumeNone, 0},         {0x10, kVolumeSet, 0},
        {0x50, kVolumeSet, 64},       {0x51, kVolumeNone, 0},         {0x5F, kVolumeNone, 0},
        {0x63, kVolumeSlideDown, 3},  {0x7F, kVolumeSlideUp, 15},     {0x81, kVolumeFineDown, 1},
        {0x92, kVolumeFineUp, 2},     {0xA4, kVolumeVibratoSpeed, 4}, {0xB5, kVolumeVibratoDepth, 5},
        {0xC8, kVolumeSetPanning, 8}, {0xD1, kVolumePanSlideLeft, 1}, {0xE2, kVolumePanSlideRight, 2},
        {0xF3, kVolumeTonePorta, 3},
    };
    for (const auto& c : cases) {
        const XmVolumeColumn v = mapXmVolumeColumn(c.byte);
        EXPECT_EQ(v.command, c.command) << std::hex << int{c.byte};
        EXPECT_EQ(v.param, c.param) << std::hex << int{c.byte};
    }
}

TEST(XmReader, Cells) {
    const Loaded l = load(richSong().bytes());
    ASSERT_TRUE(l.ok);
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 3u);
    // C-4 sits where S3M's C-4 does: period 428, shown as the table's entry 72.
    EXPECT_EQ(p[0].xmNote, 49);
    EXPECT_EQ(p[0].period, 428u);
    EXPECT_EQ(p[0].octave * 12 + p[0].note, 72);
    EXPECT_EQ(p[0].sample, 1u);
    EXPECT_EQ(p[0].volume, -1);
    EXPECT_EQ(p[0].volumeCommand, kVolumeSet);
    EXPECT_EQ(p[0].volumeParam, 0x20);
    // Key off: the S3M note-off period, and 97 kept.
    EXPECT_EQ(p[1].row, 5u);
    EXPECT_EQ(p[1].channel, 2u);
    EXPECT_EQ(p[1].xmNote, kXmKeyOff);
    EXPECT_EQ(p[1].period, kNoteOff);
    EXPECT_EQ(p[1].effect, kSetSpeed);
    EXPECT_EQ(p[1].param, 3);
    // C-0, the lowest note, still has a table entry (24); B-7 the highest (119).
    EXPECT_EQ(p[2].row, 31u);
    EXPECT_EQ(p[2].xmNote, 1);
    EXPECT_EQ(p[2].period, PeriodTable[24].period);
    EXPECT_EQ(p[2].octave * 12 + p[2].note, 24);
    const NoteCell& high = l.module.patterns[1][0];
    EXPECT_EQ(high.xmNote, 96);
    EXPECT_EQ(high.octave * 12 + high.note, 119);
    EXPECT_EQ(high.effect, kSetGlobalVolume);
}

TEST(XmReader, PackedAndPlainCellsAndOddChannelCounts) {
    for (const uint16_t channels : {1, 2, 3, 5, 17, 31, 32}) {
        for (const bool packed : {true, false}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, packed " << packed);
            XmWriter xm;
            xm.channels = channels;
            xm.patterns[0].packed = packed;
            const uint32_t last = channels - 1u;
            xm.patterns[0].cells = {{.row = 0, .channel = last, .note = 50, .instrument = 3},
                                    {.row = 7, .channel = 0, .volume = 0x70},
                                    {.row = 63, .channel = 0, .effect = 0, .param = 0x47},
                                    {.row = 62, .channel = last, .effect = 0xC, .param = 0x20}};
            const Loaded l = load(xm.bytes());
            ASSERT_TRUE(l.ok);
            EXPECT_EQ(l.result, kResultOk);
            const Pattern& p = l.module.patterns[0];
            ASSERT_EQ(p.size(), 4u);
            EXPECT_EQ(p[0].channel, last);
            EXPECT_EQ(p[0].xmNote, 50);
            EXPECT_EQ(p[1].row, 7u);
            EXPECT_EQ(p[1].volumeCommand, kVolumeSlideUp);
            EXPECT_EQ(p[2].row, 62u);  // (row, channel) order, whatever the channel count
            EXPECT_EQ(p[2].channel, last);
            EXPECT_EQ(p[2].effect, kSetVolume);
            EXPECT_EQ(p[3].row, 63u);
            EXPECT_EQ(p[3].channel, 0u);
            EXPECT_EQ(p[3].param, 0x47);
        }
    }
}

TEST(XmReader, MoreThan32ChannelsKeepTheFirst32) {
    XmWriter xm;
    xm.channels = 34;
    xm.patterns[0].cells = {{.row = 0, .channel = 31, .note = 1},
                            {.row = 0, .channel = 33, .note = 2},
                            {.row = 1, .channel = 0, .note = 3}};
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultCorrupt);
    EXPECT_EQ(l.module.channelCount, 32u);
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 2u);  // channel 33's cell dropped, the next row still read in step
    EXPECT_EQ(p[0].xmNote, 1);
    EXPECT_EQ(p[1].row, 1u);
    EXPECT_EQ(p[1].xmNote, 3);
}

TEST(XmReader, PackedCellWithoutNoteAndOddNoteBytes) {
    XmWriter xm;
    xm.patterns[0].cells = {{.row = 0, .channel = 0, .note = 98, .instrument = 4},  // no such note
                            {.row = 0, .channel = 1, .effect = 0x1B, .param = 0x31}};
    const Loaded l = load(xm.bytes());
    const Pattern& p = l.module.patterns[0];
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].xmNote, 0);
    EXPECT_EQ(p[0].period, 0u);
    EXPECT_EQ(p[0].sample, 4u);
    EXPECT_EQ(p[1].effect, kMultiRetrigger);
}

TEST(XmReader, DeltaCodedSamples) {
    XmWriter xm;
    XmSampleSpec wrap8 = sample8({100, -100, 127, -128, 0, 1});  // deltas that wrap round in 8 bits
    wrap8.name = "eight";
    wrap8.volume = 48;
    wrap8.finetune = -128;
    wrap8.panning = 0xE0;
    wrap8.relativeNote = -12;
    XmSampleSpec wrap16 = sample16({30000, -30000, 32767, -32768, 0, -1});
    wrap16.finetune = 127;
    wrap16.relativeNote = 95;
    xm.instruments = {XmInstrumentSpec::single("", {wrap8, wrap16})};
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.module.sampleCount, 2u);
    const Sample& a = l.module.samples[0];
    EXPECT_EQ(a.data, (std::vector<int16_t>{100 * 256, -100 * 256, 127 * 256, -128 * 256, 0, 256}));
    EXPECT_EQ(a.length, 6u);
    EXPECT_FALSE(a.sixteenBit);
    EXPECT_EQ(a.name.view(), "eight");
    EXPECT_EQ(a.volume, 48u);
    EXPECT_EQ(a.finetune128, -128);
    EXPECT_EQ(a.finetune, 0);  // the MOD field stays untouched
    EXPECT_EQ(a.panning, 0xE0);
    EXPECT_TRUE(a.panningSet);
    EXPECT_EQ(a.relativeNote, -12);
    EXPECT_EQ(a.baseFrequency, 3947u);  // C-4 an octave and a semitone down from 8363 Hz
    EXPECT_EQ(a.basePeriod, 201u);
    const Sample& b = l.module.samples[1];
    EXPECT_EQ(b.data, (std::vector<int16_t>{30000, -30000, 32767, -32768, 0, -1}));
    EXPECT_TRUE(b.sixteenBit);
    EXPECT_EQ(b.finetune128, 127);
    EXPECT_EQ(b.relativeNote, 95);
}

TEST(XmReader, Loops) {
    const struct {
        const char* name;
        bool sixteenBit;
        uint8_t loop;
        uint32_t startBytes, lengthBytes;
        uint32_t start, end;
        LoopType type;
    } cases[] = {
        {"forward", false, 1, 2, 4, 2, 6, LoopType::forward},
        {"ping-pong", false, 2, 0, 8, 0, 8, LoopType::pingPong},
        {"both bits: ping-pong", false, 3, 1, 2, 1, 3, LoopType::pingPong},
        {"16-bit bytes become frames", true, 1, 4, 6, 2, 5, LoopType::forward},
        {"16-bit ping-pong", true, 2, 0, 16, 0, 8, LoopType::pingPong},
        {"no loop bits", false, 0, 2, 4, 0, 0, LoopType::none},
        {"zero length", false, 1, 2, 0, 0, 0, LoopType::none},
        {"tiny loop kept", false, 1, 0, 2, 0, 2, LoopType::forward},
        {"end cut to the sample", false, 2, 4, 100, 4, 8, LoopType::pingPong},
        {"start past the end", false, 1, 9, 4, 0, 0, LoopType::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmSampleSpec s =
            c.sixteenBit ? sample16(std::vector<int16_t>(8, 1)) : sample8(std::vector<int16_t>(8, 1));
        s.loop = c.loop;
        s.loopStart = c.startBytes;
        s.loopLength = c.lengthBytes;
        XmWriter xm;
        xm.instruments = {XmInstrumentSpec::single("", {s})};
        const Loaded l = load(xm.bytes());
        ASSERT_TRUE(l.ok);
        const Sample& got = l.module.samples.at(0);
        EXPECT_EQ(got.length, 8u);
        EXPECT_EQ(got.loopStart, c.start);
        EXPECT_EQ(got.loopEnd, c.end);
        EXPECT_EQ(loopType(got), c.type);
    }
}

TEST(XmReader, StereoSamplesKeepTheirLeftChannel) {
    XmSampleSpec s = sample8({1, 2, 3, 4, 9, 9, 9, 9});  // left half, then right half
    s.extraType = 32;
    XmWriter xm;
    xm.instruments = {XmInstrumentSpec::single("", {s, sample8({7})})};
    const Loaded l = load(xm.bytes());
    ASSERT_EQ(l.module.sampleCount, 2u);
    EXPECT_EQ(l.module.samples[0].data, (std::vector<int16_t>{256, 512, 768, 1024}));
    EXPECT_EQ(l.module.samples[1].data, (std::vector<int16_t>{7 * 256}));  // found after all 8 bytes
}

// A sample header whose reserved byte is 0xAD holds a table of 16 steps and a nibble per frame.
TEST(XmReader, NibblePackedSamples) {
    std::vector<uint8_t> stored;
    for (int k = 0; k < 16; ++k) stored.push_back(static_cast<uint8_t>(k - 8));  // step of nibble k
    stored.push_back(0x9A);                                                      // +2, then +1
    stored.push_back(0x07);                                                      // -1, then -8
    stored.push_back(0x0F);  // +7 (the fifth frame; the high nibble is padding)
    XmSampleSpec packed = sample8({});
    packed.reserved = 0xAD;
    packed.stored = stored;
    packed.lengthBytes = 5;  // frames
    packed.loop = 1;
    packed.loopStart = 1;
    packed.loopLength = 3;
    XmWriter xm;
    xm.instruments = {XmInstrumentSpec::single("", {packed, sample8({42})})};
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultOk);
    ASSERT_EQ(l.module.sampleCount, 2u);
    const Sample& s = l.module.samples[0];
    EXPECT_EQ(s.data, (std::vector<int16_t>{2 * 256, 3 * 256, 2 * 256, -6 * 256, 1 * 256}));
    EXPECT_EQ(s.loopStart, 1u);
    EXPECT_EQ(s.loopEnd, 4u);
    // The next sample starts after the table and three bytes.
    EXPECT_EQ(l.module.samples[1].data, (std::vector<int16_t>{42 * 256}));

    // Cut inside the nibbles: the frames the bytes there hold.
    const std::vector<uint8_t> full = xm.bytes();
    const Loaded cut = load(std::vector<uint8_t>(full.begin(), full.end() - 3));
    EXPECT_EQ(cut.result, kResultSizeMismatch);
    EXPECT_EQ(cut.module.samples[0].data, (std::vector<int16_t>{2 * 256, 3 * 256}));
}

TEST(XmReader, Instruments) {
    XmWriter xm;
    XmInstrumentSpec a = XmInstrumentSpec::single("drums", {sample8({1}), sample8({2}), sample8({3})});
    a.map.fill(0);
    a.map[10] = 2;
    a.map[11] = 3;  // beyond its three samples
    a.map[95] = 1;
    a.volume.points = {{0, 64}, {4, 40}, {300, 0}};
    a.volume.sustain = 1;
    a.volume.loopStart = 0;
    a.volume.loopEnd = 2;
    a.volume.type = 7;
    a.panning.points = {{0, 32}, {65535, 64}};
    a.panning.type = 1;
    a.vibratoType = 2;
    a.vibratoSweep = 0x40;
    a.vibratoDepth = 8;
    a.vibratoRate = 0x20;
    a.fadeout = 0xFFF;
    XmInstrumentSpec b = XmInstrumentSpec::single("bass", {sample8({4}), sample8({5})});
    b.map.fill(1);
    xm.instruments = {a, XmInstrumentSpec::single("empty", {}), b};
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultOk);
    const Module& m = l.module;
    ASSERT_EQ(m.instruments.size(), 3u);
    ASSERT_EQ(m.sampleCount, 5u);
    const Instrument& first = m.instruments[0];
    EXPECT_EQ(first.name.view(), "drums");
    EXPECT_EQ(first.sampleOfNote[0], 1);   // its sample 0 is the flat list's first
    EXPECT_EQ(first.sampleOfNote[10], 3);  // its sample 2
    EXPECT_EQ(first.sampleOfNote[11], 0);  // no sample 3: none
    EXPECT_EQ(first.sampleOfNote[95], 2);
    EXPECT_EQ(first.firstSample, 0u);
    EXPECT_EQ(first.sampleCount, 3u);
    EXPECT_EQ(first.volume.count, 3);
    EXPECT_EQ(first.volume.points[2].tick, 300);
    EXPECT_EQ(first.volume.points[1].value, 40);
    EXPECT_EQ(first.volume.sustain, 1);
    EXPECT_EQ(first.volume.loopEnd, 2);
    EXPECT_TRUE(first.volume.on && first.volume.sustainOn && first.volume.loopOn);
    EXPECT_EQ(first.panning.count, 2);
    EXPECT_EQ(first.panning.points[1].tick, 65535);
    EXPECT_TRUE(first.panning.on);
    EXPECT_FALSE(first.panning.sustainOn || first.panning.loopOn);
    EXPECT_EQ(first.vibratoType, 2);
    EXPECT_EQ(first.vibratoSweep, 0x40);
    EXPECT_EQ(first.vibratoDepth, 8);
    EXPECT_EQ(first.vibratoRate, 0x20);
    EXPECT_EQ(first.fadeout, 0xFFF);
    EXPECT_EQ(m.instruments[1].name.view(), "empty");
    EXPECT_EQ(m.instruments[1].sampleCount, 0u);
    EXPECT_EQ(m.instruments[1].sampleOfNote[0], 0);
    const Instrument& third = m.instruments[2];
    EXPECT_EQ(third.firstSample, 3u);
    EXPECT_EQ(third.sampleOfNote[50], 5);  // its sample 1, the flat list's fifth
    EXPECT_EQ(m.samples[4].data, (std::vector<int16_t>{5 * 256}));
}

TEST(XmReader, EnvelopeOfMoreThanTwelvePoints) {
    XmWriter xm;
    XmInstrumentSpec a = XmInstrumentSpec::single("", {sample8({1})});
    a.volume.points = {{0, 64}, {1, 0}};
    a.volume.count = 40;
    xm.instruments = {a};
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultCorrupt);
    EXPECT_EQ(l.module.instruments[0].volume.count, 12);
}

// Every declared size larger than its fields: the extra bytes are skipped and the song is the same.
TEST(XmReader, LargerDeclaredSizesAreSkipped) {
    const Loaded plain = load(richSong().bytes());
    ASSERT_TRUE(plain.ok);
    const struct {
        const char* name;
        void (*change)(XmWriter&);
    } cases[] = {
        {"header", [](XmWriter& xm) { xm.headerSize = 20 + 256 + 37; }},
        {"header with a short order table", [](XmWriter& xm) { xm.headerSize = 20 + 3; }},
        {"pattern header",
         [](XmWriter& xm) {
             for (XmPatternSpec& p : xm.patterns) p.headerLength = 20;
         }},
        {"instrument header",
         [](XmWriter& xm) {
             for (XmInstrumentSpec& i : xm.instruments) i.headerSize = 263;
         }},
        {"sample header",
         [](XmWriter& xm) {
             for (XmInstrumentSpec& i : xm.instruments) i.sampleHeaderSize = 64;
         }},
        {"plain cells",
         [](XmWriter& xm) {
             for (XmPatternSpec& p : xm.patterns) p.packed = false;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmWriter xm = richSong();
        c.change(xm);
        const Loaded l = load(xm.bytes());
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultOk);
        expectSameSong(l.module, plain.module);
    }
}

// Sizes below what their fields need are read as that minimum, and the result says the file is
// corrupt; the song still loads whole.
TEST(XmReader, SmallerDeclaredSizesAreRaised) {
    const Loaded plain = load(richSong().bytes());
    const struct {
        const char* name;
        void (*change)(XmWriter&);
    } cases[] = {
        {"pattern header", [](XmWriter& xm) { xm.patterns[1].headerLength = 5; }},
        {"instrument header", [](XmWriter& xm) { xm.instruments[0].headerSize = 100; }},
        {"empty instrument header",
         [](XmWriter& xm) {
             xm.instruments.push_back(XmInstrumentSpec::single("", {}));
             xm.instruments.back().headerSize = 4;
         }},
        {"sample header", [](XmWriter& xm) { xm.instruments[0].sampleHeaderSize = 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmWriter xm = richSong();
        c.change(xm);
        const Loaded l = load(xm.bytes());
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultCorrupt);
        Module expected = plain.module;
        if (xm.instruments.size() == 3) expected.instruments.push_back(l.module.instruments.back());
        expectSameSong(l.module, expected);
    }
}

TEST(XmReader, OldVersionsStoreInstrumentsFirst) {
    const Loaded current = load(richSong().bytes());
    for (const uint16_t version : {0x0102, 0x0103}) {
        SCOPED_TRACE(version);
        XmWriter xm = richSong();
        xm.version = version;
        if (version == 0x0102) {
            for (XmPatternSpec& p : xm.patterns) p.headerLength = 8;  // rows in one byte
        }
        const Loaded l = load(xm.bytes());
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultOk);
        expectSameSong(l.module, current.module);
    }
}

TEST(XmReader, PatternRows) {
    const struct {
        uint16_t written;
        uint32_t rows;
        int32_t result;
    } cases[] = {
        {1, 1, kResultOk},     {64, 64, kResultOk},     {200, 200, kResultOk},
        {256, 256, kResultOk}, {0, 64, kResultCorrupt}, {300, 256, kResultCorrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        XmWriter xm;
        xm.channels = 2;
        xm.patterns[0].rows = c.written;
        for (uint32_t row = 0; row < c.written; ++row) {
            xm.patterns[0].cells.push_back({.row = row, .channel = 1, .note = 1});
        }
        const Loaded l = load(xm.bytes());
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, c.result);
        EXPECT_EQ(rowsOf(l.module, 0), c.rows);
        const Pattern& p = l.module.patterns[0];
        EXPECT_EQ(p.size(), std::min<size_t>(c.written, c.rows));
        for (const NoteCell& cell : p) EXPECT_LT(cell.row, c.rows);
    }
}

TEST(XmReader, PatternDataEndingEarlyLeavesTheRestEmpty) {
    XmWriter xm;
    xm.channels = 2;
    xm.patterns[0].cells = {{.row = 0, .channel = 0, .note = 1}, {.row = 9, .channel = 1, .note = 2}};
    xm.patterns.emplace_back();
    xm.patterns[1].rows = 4;
    xm.patterns[1].cells = {{.row = 3, .channel = 1, .note = 5}};
    xm.orders = {0, 1};
    // The first pattern's data ends after its first cell; the second pattern follows it.
    xm.patterns[0].packedSize = 2;
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultOk);
    ASSERT_EQ(l.module.patterns[0].size(), 1u);
    EXPECT_EQ(l.module.patterns[0][0].xmNote, 1);
    EXPECT_EQ(rowsOf(l.module, 1), 4u);
    ASSERT_EQ(l.module.patterns[1].size(), 1u);
    EXPECT_EQ(l.module.patterns[1][0].row, 3u);
    EXPECT_EQ(l.module.patterns[1][0].xmNote, 5);
}

TEST(XmReader, OrdersAndPatternCounts) {
    XmWriter xm;
    xm.orders = {0, 5, 2};  // patterns 1..5 are not in the file: empty, 64 rows
    xm.patterns[0].rows = 10;
    const Loaded l = load(xm.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultOk);
    EXPECT_EQ(l.module.patternCount, 6u);
    EXPECT_EQ(l.module.patterns.size(), 6u);
    EXPECT_EQ(rowsOf(l.module, 0), 10u);
    EXPECT_EQ(rowsOf(l.module, 5), 64u);
    EXPECT_EQ(l.module.orders, (std::vector<uint32_t>{0, 5, 2}));

    // A song longer than the order table the header holds keeps the orders there are.
    XmWriter shortTable;
    shortTable.orders = {0, 0};
    shortTable.headerSize = 20 + 2;
    shortTable.songLength = 9;
    const Loaded cut = load(shortTable.bytes());
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.result, kResultCorrupt);
    EXPECT_EQ(cut.module.songLength, 2u);

    XmWriter many;
    many.songLength = 300;
    many.patternCount = 1;
    const Loaded clamped = load(many.bytes());
    ASSERT_TRUE(clamped.ok);
    EXPECT_EQ(clamped.result, kResultCorrupt);
    EXPECT_EQ(clamped.module.songLength, 256u);
}

// A cut anywhere past the header loads what lies before the cut: every sample's frames are the
// first frames of the whole file's, no pattern has more cells, and the result says how many bytes
// the file's own sizes show missing, exactly so when the cut falls into the last sample's data.
TEST(XmReader, TruncatedAnywhere) {
    for (const uint16_t version : {0x0104, 0x0102}) {
        XmWriter xm = richSong();
        xm.version = version;
        if (version == 0x0102) {
            for (XmPatternSpec& p : xm.patterns) p.headerLength = 8;
        }
        const std::vector<uint8_t> full = xm.bytes();
        const Loaded whole = load(full);
        ASSERT_EQ(whole.result, kResultOk);
        const size_t lastData = full.size() - 4;  // the last sample holds 4 frames of 8 bits
        for (size_t cut = 70; cut < full.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", cut at " << cut);
            const Loaded l = load(std::vector<uint8_t>(full.begin(), full.begin() + cut));
            ASSERT_TRUE(l.ok);
            EXPECT_EQ(l.result, kResultSizeMismatch);
            EXPECT_LT(l.sizeDetail, 0);
            EXPECT_LE(-int64_t{l.sizeDetail}, int64_t(full.size() - cut));
            if (cut >= lastData) {
                EXPECT_EQ(-int64_t{l.sizeDetail}, int64_t(full.size() - cut));
            }
            const Module& m = l.module;
            EXPECT_EQ(m.samples.size(), m.sampleCount);
            ASSERT_LE(m.sampleCount, whole.module.sampleCount);
            for (uint32_t s = 0; s < m.sampleCount; ++s) {
                const std::vector<int16_t>& d = m.samples[s].data;
                const std::vector<int16_t>& w = whole.module.samples[s].data;
                ASSERT_LE(d.size(), w.size());
                EXPECT_TRUE(std::equal(d.begin(), d.end(), w.begin()));
                EXPECT_LE(m.samples[s].loopEnd, m.samples[s].length);
            }
            ASSERT_LE(m.patternCount, whole.module.patternCount);
            if (cut >= 80) {
                EXPECT_EQ(m.patternCount, whole.module.patternCount);  // the header's counts are there
            }
            for (uint32_t p = 0; p < m.patternCount; ++p) {
                EXPECT_LE(m.patterns[p].size(), whole.module.patterns[p].size());
                for (const NoteCell& cell : m.patterns[p]) EXPECT_LT(cell.row, rowsOf(m, p));
            }
            for (const Instrument& instrument : m.instruments) {
                for (uint16_t s : instrument.sampleOfNote) EXPECT_LE(s, m.sampleCount);
            }
        }
    }
}

TEST(XmReader, TruncatedAtEachSection) {
    XmWriter xm = richSong();
    const std::vector<uint8_t> full = xm.bytes();
    const size_t patternsAt = 60 + 276;
    const size_t firstPatternEnd = patternsAt + 9 + XmWriter::pack(xm.patterns[0], 3).size();
    const size_t instrumentsAt = firstPatternEnd + 9 + XmWriter::pack(xm.patterns[1], 3).size();
    const size_t firstSampleData = instrumentsAt + 243 + 2 * 40;
    const struct {
        const char* name;
        size_t cut;
        uint32_t cellsInPattern1, namedInstruments, samples, framesOfSample0;
    } cases[] = {
        {"after the header", patternsAt, 0, 0, 0, 0},
        {"after the first pattern", firstPatternEnd, 0, 0, 0, 0},
        // The last cell lacks its parameter: what it holds is kept, the missing byte reads as 0.
        {"in the second pattern's data", instrumentsAt - 1, 1, 0, 0, 0},
        {"after the patterns", instrumentsAt, 1, 0, 0, 0},
        {"in the instrument header", instrumentsAt + 100, 1, 1, 0, 0},
        {"in the second sample header", instrumentsAt + 243 + 41, 1, 1, 2, 0},
        {"in the first sample's data", firstSampleData + 3, 1, 1, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded l = load(std::vector<uint8_t>(full.begin(), full.begin() + c.cut));
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultSizeMismatch);
        EXPECT_EQ(l.module.patterns[0].size(), c.cut >= firstPatternEnd ? 3u : 0u);
        EXPECT_EQ(l.module.patterns[1].size(), c.cellsInPattern1);
        // The declared instruments are all there; those the file lost are empty, without a name.
        ASSERT_EQ(l.module.instruments.size(), 2u);
        const auto named = std::count_if(l.module.instruments.begin(), l.module.instruments.end(),
                                         [](const Instrument& i) { return !i.name.empty(); });
        EXPECT_EQ(named, c.namedInstruments);
        ASSERT_EQ(l.module.sampleCount, c.samples);
        if (c.samples > 0) {
            EXPECT_EQ(l.module.samples[0].length, c.framesOfSample0);
        }
    }
}

// Counts and lengths far beyond the file cost no more than the file holds.
TEST(XmReader, HugeDeclarationsStayWithinTheFile) {
    const struct {
        const char* name;
        void (*change)(XmWriter&);
    } cases[] = {
        {"sample length", [](XmWriter& xm) { xm.instruments[0].samples[0].lengthBytes = 0xFFFFFFFF; }},
        {"sample count", [](XmWriter& xm) { xm.instruments[0].sampleCount = 0xFFFF; }},
        {"instrument header", [](XmWriter& xm) { xm.instruments[0].headerSize = 0xFFFFFF8F; }},
        {"sample header", [](XmWriter& xm) { xm.instruments[0].sampleHeaderSize = 0xFFFFFFFF; }},
        {"header", [](XmWriter& xm) { xm.headerSize = 0xFFFFFFFF; }},
        {"counts",
         [](XmWriter& xm) {
             xm.channels = 40;
             xm.patternCount = 0xFFFF;
             xm.instrumentCount = 0xFFFF;
             xm.songLength = 0xFFFF;
         }},
        {"pattern size", [](XmWriter& xm) { xm.patterns[0].packedSize = 0xFFFF; }},
        {"pattern header", [](XmWriter& xm) { xm.patterns[0].headerLength = 0xFFFFFFFF; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmWriter xm = richSong();
        c.change(xm);
        const std::vector<uint8_t> bytes = xm.bytes();
        const Loaded l = load(bytes);
        ASSERT_TRUE(l.ok);
        EXPECT_NE(l.result, kResultOk);
        EXPECT_LE(moduleFootprint(l.module), 64 * bytes.size() + (1u << 20));
        EXPECT_LE(l.module.channelCount, 32u);
        EXPECT_LE(l.module.patternCount, 256u);
        EXPECT_LE(l.module.instruments.size(), 128u);
        for (const Sample& s : l.module.samples) EXPECT_EQ(s.data.size(), s.length);
    }
}

TEST(XmReader, MarkForTheDispatcher) {
    const std::vector<uint8_t> bytes = richSong().bytes();
    ByteReader file(bytes);
    EXPECT_TRUE(hasXmMark(file));
    EXPECT_EQ(file.position(), 0);
    std::vector<uint8_t> other = bytes;
    other[16] = '!';
    ByteReader otherFile(other);
    EXPECT_FALSE(hasXmMark(otherFile));
}

}  // namespace
}  // namespace tarvex
