#include <gtest/gtest.h>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/ItCompression.h"
#include "formats/ItReader.h"
#include "formats/LoadResult.h"
#include "support/ItWriter.h"

namespace tarvex {
namespace {

using test::ItCell;
using test::ItEnvelope;
using test::ItInstrument;
using test::ItPattern;
using test::ItSample;
using test::ItWriter;

struct Loaded {
    bool ok = false;
    int32_t result = -1;
    int32_t sizeDetail = -1;
    Module module;
};

Loaded load(const std::vector<uint8_t>& bytes) {
    Loaded out;
    ByteReader file(bytes);
    out.ok = loadIt(file, out.module, out.result, out.sizeDetail, "IT");
    return out;
}

// A file whose one pattern uses channels 0 and `last`, so that channelCount is last + 1.
ItWriter withChannels(uint32_t last) {
    ItWriter it;
    it.patterns[0].cells = {{.row = 0, .channel = 0, .note = 60}, {.row = 1, .channel = last, .volume = 10}};
    return it;
}

TEST(ItReader, HeaderFieldsAndFlags) {
    struct Row {
        uint16_t flags;
        bool stereo, instruments, linear, oldEffects, compatibleGxx;
    };
    const Row rows[] = {
        {0x01, true, false, false, false, false},
        {0x04 | 0x08, false, true, true, false, false},
        {0x01 | 0x10, true, false, false, true, false},
        {0x01 | 0x20, true, false, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        ItWriter it = withChannels(3);
        it.flags = row.flags;
        it.title = "a song";
        it.globalVolume = 100;
        it.mixVolume = 80;
        it.speed = 4;
        it.tempo = 140;
        it.separation = 64;
        it.channelPanning[0] = 0;
        it.channelPanning[1] = 64 | 128;  // muted, panned right
        it.channelPanning[2] = 100;       // surround
        it.channelPanning[3] = 16;
        it.channelVolume[1] = 40;
        const Loaded l = load(it.bytes());
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.result, kResultOk);
        const Module& m = l.module;
        EXPECT_EQ(m.formatType, kFormatIt);
        EXPECT_EQ(m.title.view(), "a song");
        EXPECT_EQ(m.signature.view(), "IMPM");
        EXPECT_EQ(m.initialGlobalVolume, 100);
        EXPECT_EQ(m.mixVolume, 80);
        EXPECT_EQ(m.initialSpeed, 4u);
        EXPECT_EQ(m.initialTempo, 140u);
        EXPECT_EQ(m.panSeparation, 64);
        EXPECT_EQ(m.globalVolume, 64);
        EXPECT_EQ(m.instrumentMode, row.instruments);
        EXPECT_EQ(m.linearFrequency, row.linear);
        EXPECT_TRUE(m.rules.impulseChannels);
        EXPECT_EQ(m.rules.oldEffects, row.oldEffects);
        EXPECT_EQ(m.rules.compatibleGxx, row.compatibleGxx);
        EXPECT_EQ(m.rules.linkedMemory, !row.compatibleGxx);
        ASSERT_EQ(m.channelCount, 4u);
        EXPECT_EQ(m.channelVolume, (std::vector<uint8_t>{64, 40, 64, 64}));
        if (row.stereo) {
            EXPECT_EQ(m.channelPanning, (std::vector<uint8_t>{0, 64 | kChannelMuted, kChannelSurround, 16}));
            EXPECT_EQ(m.panLeft, (std::vector<int32_t>{1024, 0, 512, 768}));
            EXPECT_EQ(m.panRight, (std::vector<int32_t>{0, 1024, 512, 256}));
        } else {
            EXPECT_EQ(m.channelPanning, (std::vector<uint8_t>{32, 32 | kChannelMuted, 32, 32}));
            EXPECT_EQ(m.panLeft, std::vector<int32_t>(4, 512));
            EXPECT_EQ(m.panRight, std::vector<int32_t>(4, 512));
        }
    }
}

// Values beyond the header's ranges are cut and said to be so.
TEST(ItReader, OutOfRangeHeaderValuesAreClamped) {
    ItWriter it;
    it.globalVolume = 200;
    it.channelVolume[0] = 90;
    const Loaded l = load(it.bytes());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.result, kResultCorrupt);
    EXPECT_EQ(l.module.initialGlobalVolume, 128);
    EXPECT_EQ(l.module.channelVolume, std::vector<uint8_t>{64});
    EXPECT_EQ(l.module.channelCount, 1u);  // an empty song still has a channel
}

TEST(ItReader, WrittenByFromTheVersionWord) {
    const struct {
        uint16_t cwt;
        uint32_t reserved;
        const char* writer;
    } rows[] = {
        {0x0214, 0, "Impulse Tracker 2.14"},
        {0x0100, 0, "Impulse Tracker 1.00"},
        {0x5129, 0, "OpenMPT 1.29"},
        {0x1050, 0, "Schism Tracker 0.50"},
        {0x11FB, 0, "Schism Tracker 2011-01-01"},
        {0x1FFF, 0xFB0, "Schism Tracker 2020-10-29"},
        {0x0000, 0, "Cwt/v 0x0000"},
        {0x6123, 0, "Cwt/v 0x6123"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(itWriterOf(row.cwt, row.reserved), row.writer) << std::hex << row.cwt;
    ItWriter it;
    it.cwt = 0x0215;
    EXPECT_EQ(load(it.bytes()).module.writtenBy.view(), "Impulse Tracker 2.15");
}

TEST(ItReader, MessageLinesEndWithNewlines) {
    const struct {
        std::string stored, read;
    } rows[] = {
        {"one\rtwo", "one\ntwo"},
        {"crlf\r\nline\n\nend", "crlf\nline\n\nend"},
        {std::string("cut\0after", 9), "cut"},
    };
    for (const auto& row : rows) {
        ItWriter it;
        it.message = row.stored;
        EXPECT_EQ(load(it.bytes()).module.message, row.read);
    }
}

// The orders as the song plays them; Bxx follows positions in that list.
TEST(ItReader, OrdersDropMarkersAndEndAtTheEndMarker) {
    const struct {
        std::vector<uint8_t> stored;
        std::vector<uint32_t> orders;
        uint8_t jump, jumpRead;  // a B command's parameter before and after
    } rows[] = {
        {{0, 1, 255}, {0, 1}, 1, 1},
        {{0, 254, 1, 255, 0}, {0, 1}, 2, 1},  // B02 named the pattern after the marker
        {{254, 254, 0, 1}, {0, 1}, 3, 1},     // no end marker: every entry counts
        {{0, 255, 1, 254, 1}, {0}, 4, 4},     // markers after the end lower nothing
        {{255}, {}, 0, 0},
    };
    for (const auto& row : rows) {
        ItWriter it;
        it.orders = row.stored;
        it.patterns = {{}, {}};
        it.patterns[0].cells = {{.row = 0, .channel = 0, .effect = 2, .param = row.jump}};
        const Loaded l = load(it.bytes());
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.module.orders, row.orders);
        EXPECT_EQ(l.module.songLength, row.orders.size());
        ASSERT_EQ(l.module.patterns[0].size(), 1u);
        EXPECT_EQ(l.module.patterns[0][0].param, row.jumpRead);
    }
    // Orders naming patterns the file lacks get empty ones of 64 rows.
    ItWriter it;
    it.orders = {0, 5, 255};
    const Loaded l = load(it.bytes());
    EXPECT_EQ(l.module.patternCount, 6u);
    EXPECT_EQ(rowsOf(l.module, 5), 64u);
}

TEST(ItReader, VolumeColumnBytes) {
    const struct {
        uint8_t byte, command, param;
    } rows[] = {
        {0, kVolumeSet, 0},           {64, kVolumeSet, 64},         {65, kVolumeFineUp, 0},
        {74, kVolumeFineUp, 9},       {75, kVolumeFineDown, 0},     {85, kVolumeSlideUp, 0},
        {95, kVolumeSlideDown, 0},    {104, kVolumeSlideDown, 9},   {105, kVolumeItPortaDown, 0},
        {115, kVolumeItPortaUp, 0},   {124, kVolumeItPortaUp, 9},   {125, kVolumeNone, 0},
        {127, kVolumeNone, 0},        {128, kVolumeItPanning, 0},   {192, kVolumeItPanning, 64},
        {193, kVolumeItTonePorta, 0}, {202, kVolumeItTonePorta, 9}, {203, kVolumeItVibrato, 0},
        {212, kVolumeItVibrato, 9},   {213, kVolumeNone, 0},        {255, kVolumeNone, 0},
    };
    for (const auto& row : rows) {
        const ItVolumeColumn v = mapItVolumeColumn(row.byte);
        EXPECT_EQ(v.command, row.command) << int{row.byte};
        EXPECT_EQ(v.param, row.param) << int{row.byte};
    }
}

TEST(ItReader, CellNotesAndEffects) {
    const uint32_t c5 = PeriodTable[72].period;  // 428: C-5 plays the sample at its C5Speed
    const struct {
        ItCell cell;
        uint8_t xmNote;
        uint32_t period;
        int8_t note, octave;
        uint8_t effect, param;
    } rows[] = {
        {{.note = 60}, 61, c5, 0, 6, 0, 0},
        {{.note = 0}, 1, PeriodTable[12].period, 0, 1, 0, 0},
        {{.note = 119}, 120, PeriodTable[131].period, 11, 10, 0, 0},
        {{.note = 255}, kItNoteOff, kNoteOff, 0, 0, 0, 0},
        {{.note = 254}, kItNoteCut, kNoteOff, 0, 0, 0, 0},
        {{.note = 120}, kItNoteFade, kNoteOff, 0, 0, 0, 0},
        {{.note = 253}, kItNoteFade, kNoteOff, 0, 0, 0, 0},
        {{.instrument = 7, .effect = 1, .param = 3}, 0, 0, -1, 0, itEffect('A'), 3},
        {{.volume = 30, .effect = 26, .param = 0x80}, 0, 0, -1, 0, itEffect('Z'), 0x80},
        {{.volume = 30, .effect = 27, .param = 9}, 0, 0, -1, 0, 0, 0},  // no letter: nothing
    };
    for (const auto& row : rows) {
        ItWriter it;
        it.patterns[0].cells = {row.cell};
        const Loaded l = load(it.bytes());
        ASSERT_EQ(l.module.patterns[0].size(), 1u);
        const NoteCell& c = l.module.patterns[0][0];
        SCOPED_TRACE(int{c.xmNote});
        EXPECT_EQ(c.xmNote, row.xmNote);
        EXPECT_EQ(c.period, row.period);
        EXPECT_EQ(c.note, row.note);
        EXPECT_EQ(c.octave, row.octave);
        EXPECT_EQ(c.effect, row.effect);
        EXPECT_EQ(c.param, row.param);
        EXPECT_EQ(c.volume, -1);
        EXPECT_EQ(c.sample, row.cell.instrument.value_or(0));
    }
}

// Hand-packed rows: masks kept per channel, the repeat bits taking each channel's last values.
TEST(ItReader, PackedRowsKeepMasksAndValuesPerChannel) {
    ItWriter it;
    it.patterns[0].rows = 4;
    it.patterns[0].packed =
        std::vector<uint8_t>{0x81, 0x0F, 48,   2,  20, 4, 0x11,  // row 0, channel 0: all four given
                             0x85, 0x03, 50,   3,                // channel 4: note and instrument
                             0,    0x81, 0xF0,                   // row 1, channel 0: all four repeated
                             0x05,  // channel 4 again with its own mask (note, instrument): new values
                             51,   9,    0,
                             0x01,                  // row 2, channel 0: its mask is still 0xF0
                             0x81, 0x00,            // then an empty mask: no cell
                             0,    0x85, 0x21, 62,  // row 3, channel 4: a new note, the last instrument (9)
                             0};
    const Loaded l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    EXPECT_EQ(l.module.channelCount, 5u);
    const struct {
        uint32_t row, channel;
        uint8_t xmNote;
        uint32_t sample;
        uint8_t volumeCommand, volumeParam, effect, param;
    } expected[] = {
        {0, 0, 49, 2, kVolumeSet, 20, itEffect('D'), 0x11}, {0, 4, 51, 3, kVolumeNone, 0, 0, 0},
        {1, 0, 49, 2, kVolumeSet, 20, itEffect('D'), 0x11}, {1, 4, 52, 9, kVolumeNone, 0, 0, 0},
        {2, 0, 49, 2, kVolumeSet, 20, itEffect('D'), 0x11}, {3, 4, 63, 9, kVolumeNone, 0, 0, 0},
    };
    const Pattern& cells = l.module.patterns[0];
    ASSERT_EQ(cells.size(), std::size(expected));
    for (size_t i = 0; i < cells.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cells[i].row, expected[i].row);
        EXPECT_EQ(cells[i].channel, expected[i].channel);
        EXPECT_EQ(cells[i].xmNote, expected[i].xmNote);
        EXPECT_EQ(cells[i].sample, expected[i].sample);
        EXPECT_EQ(cells[i].volumeCommand, expected[i].volumeCommand);
        EXPECT_EQ(cells[i].volumeParam, expected[i].volumeParam);
        EXPECT_EQ(cells[i].effect, expected[i].effect);
        EXPECT_EQ(cells[i].param, expected[i].param);
    }
}

TEST(ItReader, PatternRowsAndEmptyPatterns) {
    const struct {
        uint16_t rows;
        bool absent;
        uint32_t read;
        int32_t result;
    } rows[] = {
        {32, false, 32, kResultOk},     {200, false, 200, kResultOk},      {256, false, 256, kResultOk},
        {0, false, 64, kResultCorrupt}, {300, false, 256, kResultCorrupt}, {32, true, 64, kResultOk},
    };
    for (const auto& row : rows) {
        ItWriter it;
        it.patterns[0].rows = row.rows;
        it.patterns[0].absent = row.absent;
        it.patterns[0].packed = std::vector<uint8_t>{0x81, 0x01, 60, 0};
        const Loaded l = load(it.bytes());
        EXPECT_EQ(rowsOf(l.module, 0), row.read) << row.rows;
        EXPECT_EQ(l.result, row.result) << row.rows;
        EXPECT_EQ(l.module.patterns[0].size(), row.absent ? 0u : 1u);
    }
}

ItInstrument fullInstrument() {
    ItInstrument in;
    in.name = "lead";
    in.newNoteAction = 3;
    in.duplicateCheck = 2;
    in.duplicateAction = 1;
    in.fadeout = 300;
    in.pitchPanSeparation = -20;
    in.pitchPanCentre = 48;
    in.globalVolume = 100;
    in.defaultPan = 40;  // bit 7 clear: used
    in.randomVolume = 25;
    in.randomPanning = 10;
    in.cutoff = 128 | 90;
    in.resonance = 30;  // bit 7 clear: not used
    in.keyboard[60] = {72, 2};
    in.keyboard[61] = {130, 1};  // a note out of range plays the key's own
    in.keyboard[62] = {62, 5};   // a sample the file lacks is kept: the key ends the note
    in.volume = {.points = {{0, 64}, {10, 32}, {20, 0}},
                 .flags = 1 | 2 | 4,
                 .loopStart = 0,
                 .loopEnd = 1,
                 .sustainStart = 1,
                 .sustainEnd = 2};
    in.panning = {.points = {{0, -32}, {5, 32}}, .flags = 1};
    in.pitch = {.points = {{0, 10}}, .flags = 1 | 128};
    return in;
}

TEST(ItReader, NewInstrumentFields) {
    ItWriter it;
    it.flags = 1 | 4;
    it.samples = {{.frames = {1}}, {.frames = {2}}};
    it.instruments = {fullInstrument()};
    const Loaded l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    ASSERT_EQ(l.module.instruments.size(), 1u);
    const Instrument& in = l.module.instruments[0];
    EXPECT_EQ(in.name.view(), "lead");
    EXPECT_EQ(in.newNoteAction, kNnaNoteFade);
    EXPECT_EQ(in.duplicateCheck, kDctSample);
    EXPECT_EQ(in.duplicateAction, kDcaNoteOff);
    EXPECT_EQ(in.fadeout, 300);
    EXPECT_EQ(in.pitchPanSeparation, -20);
    EXPECT_EQ(in.pitchPanCentre, 48);
    EXPECT_EQ(in.globalVolume, 100);
    EXPECT_TRUE(in.defaultPanningSet);
    EXPECT_EQ(in.defaultPanning, 40);
    EXPECT_EQ(in.randomVolume, 25);
    EXPECT_EQ(in.randomPanning, 10);
    EXPECT_TRUE(in.filterCutoffSet);
    EXPECT_EQ(in.filterCutoff, 90);
    EXPECT_FALSE(in.filterResonanceSet);
    EXPECT_EQ(in.filterResonance, 30);
    EXPECT_EQ(in.sampleOfNote[60], 2);
    EXPECT_EQ(in.noteOfNote[60], 72);
    EXPECT_EQ(in.noteOfNote[61], 61);
    EXPECT_EQ(in.sampleOfNote[62], 5);
    EXPECT_EQ(in.sampleOfNote[0], 0);
    EXPECT_EQ(in.noteOfNote[0], 0);
    EXPECT_EQ(in.firstSample, 0u);
    EXPECT_EQ(in.sampleCount, 0u);
    EXPECT_TRUE(in.filterEnvelope);

    const struct {
        const Envelope& envelope;
        std::vector<std::pair<uint16_t, uint16_t>> points;
        bool on, loopOn, sustainOn;
    } envelopes[] = {
        {in.volume, {{0, 64}, {10, 32}, {20, 0}}, true, true, true},
        {in.panning, {{0, 0}, {5, 64}}, true, false, false},
        {in.pitch, {{0, 42}}, true, false, false},
    };
    for (const auto& e : envelopes) {
        ASSERT_EQ(e.envelope.count, e.points.size());
        for (size_t p = 0; p < e.points.size(); ++p) {
            EXPECT_EQ(e.envelope.points[p].tick, e.points[p].first);
            EXPECT_EQ(e.envelope.points[p].value, e.points[p].second);
        }
        EXPECT_EQ(e.envelope.points[e.points.size()].tick, 0);  // beyond count: zero
        EXPECT_EQ(e.envelope.on, e.on);
        EXPECT_EQ(e.envelope.loopOn, e.loopOn);
        EXPECT_EQ(e.envelope.sustainOn, e.sustainOn);
    }
    EXPECT_EQ(in.volume.loopEnd, 1);
    EXPECT_EQ(in.volume.sustain, 1);
    EXPECT_EQ(in.volume.sustainEnd, 2);

    // Sample mode leaves the instruments out.
    it.flags = 1;
    EXPECT_TRUE(load(it.bytes()).module.instruments.empty());
}

// Damaged envelopes: out-of-range loops are turned off, counts and values cut, each said so.
TEST(ItReader, DamagedEnvelopesAreMadeSafe) {
    const struct {
        ItEnvelope envelope;
        uint8_t count;
        bool on, loopOn, sustainOn;
        uint16_t firstValue;
    } rows[] = {
        {{.points = {{0, 10}, {4, 20}}, .flags = 1 | 2, .loopStart = 0, .loopEnd = 2},
         2,
         true,
         false,
         false,
         10},
        {{.points = {{0, 10}, {4, 20}}, .flags = 1 | 4, .sustainStart = 1, .sustainEnd = 0},
         2,
         true,
         false,
         false,
         10},
        {{.points = {{0, 10}}, .count = 30, .flags = 1}, 25, true, false, false, 10},
        {{.points = {}, .flags = 1}, 0, false, false, false, 0},
        {{.points = {{0, 90}}, .flags = 1}, 1, true, false, false, 64},
    };
    for (const auto& row : rows) {
        ItWriter it;
        it.flags = 1 | 4;
        ItInstrument in;
        in.volume = row.envelope;
        it.instruments = {in};
        const Loaded l = load(it.bytes());
        EXPECT_EQ(l.result, kResultCorrupt);
        const Envelope& e = l.module.instruments.at(0).volume;
        EXPECT_EQ(e.count, row.count);
        EXPECT_EQ(e.on, row.on);
        EXPECT_EQ(e.loopOn, row.loopOn);
        EXPECT_EQ(e.sustainOn, row.sustainOn);
        EXPECT_EQ(e.points[0].value, row.firstValue);
    }
}

TEST(ItReader, OldInstrumentFormat) {
    ItWriter it;
    it.flags = 1 | 4;
    it.cmwt = 0x0100;
    it.samples = {{.frames = {1}}};
    ItInstrument in;
    in.old = true;
    in.name = "old one";
    in.fadeout = 20;
    in.newNoteAction = 2;
    in.duplicateNoteCheck = 1;
    in.keyboard[48] = {50, 1};
    in.volume = {.points = {{0, 64}, {8, 40}, {30, 0}}, .flags = 1 | 4, .sustainStart = 1, .sustainEnd = 1};
    it.instruments = {in};
    const Loaded l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    const Instrument& i = l.module.instruments.at(0);
    EXPECT_EQ(i.name.view(), "old one");
    EXPECT_EQ(i.fadeout, 40);  // counted in halves
    EXPECT_EQ(i.newNoteAction, kNnaNoteOff);
    EXPECT_EQ(i.duplicateCheck, kDctNote);
    EXPECT_EQ(i.duplicateAction, kDcaCut);
    EXPECT_EQ(i.sampleOfNote[48], 1);
    EXPECT_EQ(i.noteOfNote[48], 50);
    ASSERT_EQ(i.volume.count, 3);
    EXPECT_EQ(i.volume.points[1].tick, 8);
    EXPECT_EQ(i.volume.points[1].value, 40);
    EXPECT_TRUE(i.volume.on);
    EXPECT_TRUE(i.volume.sustainOn);
    EXPECT_FALSE(i.volume.loopOn);
    EXPECT_FALSE(i.panning.on);
    EXPECT_FALSE(i.pitch.on);
}

TEST(ItReader, SampleConversions) {
    const struct {
        const char* what;
        ItSample written;
        std::vector<int16_t> data;
    } rows[] = {
        {"8-bit signed", {.frames = {0, 1, -1, 127, -128}}, {0, 256, -256, 32512, -32768}},
        {"8-bit unsigned", {.frames = {0, 1, -1}, .convert = 0}, {0, 256, -256}},
        {"16-bit", {.frames = {0, 1000, -32768}, .sixteenBit = true}, {0, 1000, -32768}},
        {"16-bit unsigned", {.frames = {5, -5}, .sixteenBit = true, .convert = 0}, {5, -5}},
        {"stereo averaged", {.frames = {10, 20}, .right = {30, -20}, .stereo = true}, {20 * 256, 0}},
        {"16-bit stereo",
         {.frames = {100, 7}, .right = {300, 8}, .sixteenBit = true, .stereo = true},
         {200, 7}},
        {"no data flag", {.frames = {1, 2, 3}, .hasData = false}, {}},
        {"nibble-packed",
         {.convert = 0xFF,
          .length = 4,
          .stored = std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE,
                                         0xFF, 0x21, 0x3F}},
         {256, 768, 512, 1280}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ItWriter it;
        it.samples = {row.written};
        const Loaded l = load(it.bytes());
        ASSERT_EQ(l.result, kResultOk);
        const Sample& s = l.module.samples.at(0);
        EXPECT_EQ(s.data, row.data);
        EXPECT_EQ(s.length, row.data.size());
        EXPECT_EQ(s.sixteenBit, row.written.hasData && row.written.sixteenBit);
    }
}

TEST(ItReader, SampleHeaderFields) {
    ItWriter it;
    it.samples = {{.name = "bell",
                   .frames = std::vector<int16_t>(100, 0),
                   .volume = 50,
                   .globalVolume = 30,
                   .panning = 128 | 16,
                   .c5Speed = 22050,
                   .vibrato = {{10, 20, 200, 2}}}};
    const Loaded l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    const Sample& s = l.module.samples.at(0);
    EXPECT_EQ(s.name.view(), "bell");
    EXPECT_EQ(s.volume, 50u);
    EXPECT_EQ(s.globalVolume, 30);
    EXPECT_TRUE(s.panningSet);
    EXPECT_EQ(s.panning, 64);
    EXPECT_EQ(s.baseFrequency, 22050u);
    EXPECT_EQ(s.basePeriod, frequencyToBasePeriod(22050));
    EXPECT_EQ(s.vibratoSpeed, 10);
    EXPECT_EQ(s.vibratoDepth, 20);
    EXPECT_EQ(s.vibratoRate, 200);
    EXPECT_EQ(s.vibratoType, 2);
    EXPECT_EQ(l.module.sampleCount, 1u);

    it.samples[0].c5Speed = 20000000;  // beyond the format's limit
    it.samples[0].panning = 64;        // bit 7 clear: not used
    const Loaded high = load(it.bytes());
    EXPECT_EQ(high.result, kResultCorrupt);
    EXPECT_EQ(high.module.samples[0].baseFrequency, 9999999u);
    EXPECT_FALSE(high.module.samples[0].panningSet);
}

TEST(ItReader, LoopsAndSustainLoops) {
    const struct {
        uint8_t flags;
        uint32_t loopStart, loopEnd, sustainStart, sustainEnd;
        uint32_t readLoop[2], readSustain[2];
        bool pingPong, sustainPingPong;
        int32_t result;
    } rows[] = {
        {16, 2, 8, 0, 0, {2, 8}, {0, 0}, false, false, kResultOk},
        {16 | 64, 0, 10, 0, 0, {0, 10}, {0, 0}, true, false, kResultOk},
        {32 | 128, 0, 0, 1, 5, {0, 0}, {1, 5}, false, true, kResultOk},
        {16 | 32, 4, 10, 0, 2, {4, 10}, {0, 2}, false, false, kResultOk},
        {0, 2, 8, 1, 5, {0, 0}, {0, 0}, false, false, kResultOk},         // flags off: no loops
        {16, 8, 8, 0, 0, {0, 0}, {0, 0}, false, false, kResultCorrupt},   // empty
        {16, 2, 11, 0, 0, {0, 0}, {0, 0}, false, false, kResultCorrupt},  // past the end
        {32, 0, 0, 6, 3, {0, 0}, {0, 0}, false, false, kResultCorrupt},   // backwards
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int{row.flags});
        ItWriter it;
        it.samples = {{.frames = std::vector<int16_t>(10, 0),
                       .loopFlags = row.flags,
                       .loopStart = row.loopStart,
                       .loopEnd = row.loopEnd,
                       .sustainStart = row.sustainStart,
                       .sustainEnd = row.sustainEnd}};
        const Loaded l = load(it.bytes());
        EXPECT_EQ(l.result, row.result);
        const Sample& s = l.module.samples.at(0);
        EXPECT_EQ(s.loopStart, row.readLoop[0]);
        EXPECT_EQ(s.loopEnd, row.readLoop[1]);
        EXPECT_EQ(s.sustainStart, row.readSustain[0]);
        EXPECT_EQ(s.sustainEnd, row.readSustain[1]);
        EXPECT_EQ(s.pingPong, row.pingPong);
        EXPECT_EQ(s.sustainPingPong, row.sustainPingPong);
    }
}

// Bits written least significant first, as the packed blocks hold them.
class BitWriter {
   public:
    void put(uint32_t value, uint32_t width) {
        for (uint32_t k = 0; k < width; ++k, ++bits_) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            bytes_.back() = static_cast<uint8_t>(bytes_.back() | (((value >> k) & 1u) << (bits_ % 8)));
        }
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint64_t bits() const { return bits_; }

   private:
    std::vector<uint8_t> bytes_;
    uint64_t bits_ = 0;
};

// A packer written from the format's description: each delta at the width the test gives it,
// with the current width's change code before every change.
BitWriter packBlock(const std::vector<std::pair<int32_t, uint32_t>>& deltas, bool sixteenBit) {
    const uint32_t top = sixteenBit ? 17 : 9;
    BitWriter out;
    uint32_t width = top;
    for (const auto& [delta, wanted] : deltas) {
        if (wanted != width) {
            const uint32_t named = wanted < width ? wanted : wanted - 1;  // the current width is skipped
            if (width <= 6) {
                out.put(1u << (width - 1), width);
                out.put(named - 1, sixteenBit ? 4 : 3);
            } else if (width < top) {
                out.put((1u << (width - 1)) - (sixteenBit ? 8 : 4) + named - 1, width);
            } else {
                out.put((1u << (top - 1)) | (sixteenBit ? wanted - 1 : named - 1), top);
            }
            width = wanted;
        }
        // At the widest, a delta is a plain byte (word): the top bit marks a change.
        const uint32_t valueBits = width == top ? top - 1 : width;
        out.put(static_cast<uint32_t>(delta) & ((1u << valueBits) - 1), width);
    }
    return out;
}

TEST(ItCompression, BlocksUnpackAtEveryWidth) {
    const struct {
        const char* what;
        bool sixteenBit;
        std::vector<std::pair<int32_t, uint32_t>> deltas;  // (delta, width)
    } rows[] = {
        {"8-bit",
         false,
         {{100, 9},
          {-50, 9},
          {1, 3},
          {-2, 3},
          {3, 3},
          {10, 7},
          {-30, 7},
          {5, 8},
          {-100, 8},
          {0, 1},
          {0, 1},
          {-1, 2},
          {1, 6},
          {-31, 6},
          {127, 9},
          {-128, 9}}},
        {"16-bit",
         true,
         {{30000, 17},
          {-3000, 17},
          {7, 5},
          {-15, 5},
          {1000, 12},
          {-2000, 12},
          {-32000, 16},
          {12345, 16},
          {0, 1},
          {-1, 2},
          {20, 7},
          {-30, 7},
          {-32000, 17}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const BitWriter block = packBlock(row.deltas, row.sixteenBit);
        for (const bool doubleDelta : {false, true}) {
            std::vector<int16_t> expected;
            uint32_t sum = 0, sumOfSums = 0;
            for (const auto& [delta, width] : row.deltas) {
                sum += static_cast<uint32_t>(delta);
                sumOfSums += sum;
                const uint32_t v = doubleDelta ? sumOfSums : sum;
                expected.push_back(row.sixteenBit ? static_cast<int16_t>(v)
                                                  : static_cast<int16_t>(static_cast<int8_t>(v) * 256));
            }
            std::vector<int16_t> out(expected.size());
            const ItBlockResult r = unpackItBlock(block.bytes(), row.sixteenBit, doubleDelta, out);
            EXPECT_FALSE(r.damaged);
            EXPECT_EQ(r.frames, expected.size());
            EXPECT_EQ(r.bits, block.bits());
            EXPECT_EQ(out, expected) << "double delta " << doubleDelta;
        }
    }
}

TEST(ItCompression, WorkedExampleAndDamagedBlocks) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        bool sixteenBit;
        size_t wanted;
        std::vector<int16_t> frames;
        bool damaged;
    } rows[] = {
        {"worked example", {0x03, 0x02, 0x36}, false, 3, {768, 1024, 768}, false},
        // Two zero bits are left after the third frame: a fourth delta of 0, then nothing.
        {"bits run out", {0x03, 0x02, 0x36}, false, 5, {768, 1024, 768, 768}, true},
        {"8-bit width 0", {0xFF, 0x01}, false, 2, {}, true},
        {"16-bit width 0", {0xFF, 0xFF, 0x01}, true, 2, {}, true},
        {"empty block", {}, false, 1, {}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<int16_t> out(row.wanted, 0);
        const ItBlockResult r = unpackItBlock(row.bytes, row.sixteenBit, false, out);
        EXPECT_EQ(r.damaged, row.damaged);
        ASSERT_EQ(r.frames, row.frames.size());
        EXPECT_TRUE(std::equal(row.frames.begin(), row.frames.end(), out.begin()));
    }
}

// Packed samples in a file: blocks of 32768 bytes of frames each, stereo halves one after the
// other, the double-delta form by the conversion byte, and a file that ends inside a block.
TEST(ItReader, PackedSamples) {
    const auto blocks = [](const std::vector<int32_t>& deltas, bool sixteenBit, size_t perBlock) {
        std::vector<uint8_t> out;
        for (size_t start = 0; start < deltas.size(); start += perBlock) {
            std::vector<std::pair<int32_t, uint32_t>> chunk;
            for (size_t i = start; i < std::min(deltas.size(), start + perBlock); ++i)
                chunk.push_back({deltas[i], sixteenBit ? 17u : 9u});
            const std::vector<uint8_t> bytes = packBlock(chunk, sixteenBit).bytes();
            out.push_back(static_cast<uint8_t>(bytes.size()));
            out.push_back(static_cast<uint8_t>(bytes.size() >> 8));
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
        return out;
    };
    // 40000 8-bit frames: two blocks, the second starting from zero again.
    std::vector<int32_t> ramp(40000, 1);
    ItWriter it;
    it.samples = {
        {.sixteenBit = false, .length = 40000, .stored = blocks(ramp, false, 32768), .extraFlags = 8}};
    Loaded l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    const Sample& s = l.module.samples.at(0);
    ASSERT_EQ(s.length, 40000u);
    EXPECT_EQ(s.data[32767], static_cast<int16_t>(static_cast<int8_t>(32768 % 256) * 256));
    EXPECT_EQ(s.data[32768], 256);  // the second block's first frame: its own first delta

    // A 16-bit stereo sample: the left half's blocks, then the right half's; kept as the average.
    std::vector<uint8_t> stereo = blocks({100, 100, 100}, true, 16384);
    const std::vector<uint8_t> right = blocks({300, 0, -600}, true, 16384);
    stereo.insert(stereo.end(), right.begin(), right.end());
    it.samples = {{.sixteenBit = true, .stereo = true, .length = 3, .stored = stereo, .extraFlags = 8}};
    l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    EXPECT_EQ(l.module.samples.at(0).data, (std::vector<int16_t>{200, 250, 0}));

    // IT 2.15: the sums summed again.
    it.samples = {
        {.convert = 1 | 4, .length = 3, .stored = blocks({1, 1, 1}, false, 32768), .extraFlags = 8}};
    EXPECT_EQ(load(it.bytes()).module.samples.at(0).data, (std::vector<int16_t>{256, 768, 1536}));

    // The file ends inside the block: the frames before the cut, code 1.
    it.samples = {{.length = 40000, .stored = blocks(ramp, false, 32768), .extraFlags = 8}};
    std::vector<uint8_t> bytes = it.bytes();
    bytes.resize(bytes.size() - 20000);
    l = load(bytes);
    EXPECT_EQ(l.result, kResultSizeMismatch);
    EXPECT_LT(l.module.samples.at(0).length, 32768u);
    EXPECT_GT(l.module.samples.at(0).length, 1000u);
    EXPECT_EQ(l.module.samples.at(0).data.size(), l.module.samples.at(0).length);
}

TEST(ItReader, MidiMacros) {
    const struct {
        const char* text;
        uint8_t kind, value;
        bool parametric;
    } rows[] = {
        {"F0F000z", kMacroCutoff, 0, true},     {"f0 f0 01 z", kMacroResonance, 0, true},
        {"F0F0007F", kMacroCutoff, 127, false}, {"F0F001 2a", kMacroResonance, 42, false},
        {"F0F000FF", kMacroCutoff, 127, false}, {"F0F002z", kMacroNone, 0, false},
        {"F0F000zz", kMacroNone, 0, false},     {"", kMacroNone, 0, false},
        {"F0F0001", kMacroNone, 0, false},
    };
    for (const auto& row : rows) {
        const ItMacro m = parseItMacro(row.text);
        EXPECT_EQ(m.macro.kind, row.kind) << row.text;
        EXPECT_EQ(m.macro.value, row.value) << row.text;
        EXPECT_EQ(m.parametric, row.parametric) << row.text;
    }

    // Defaults without a configuration; the file's own with one, after an edit history.
    ItWriter it;
    Module defaults;
    setDefaultMacros(defaults);
    EXPECT_EQ(load(it.bytes()).module.parametricMacros, defaults.parametricMacros);
    it.historyEntries = 3;
    it.parametricMacros.emplace();
    (*it.parametricMacros)[0] = "F0F001z";
    (*it.parametricMacros)[5] = "F0F000z";
    it.fixedMacros.emplace();
    (*it.fixedMacros)[0] = "F0F00010";
    (*it.fixedMacros)[127] = "F0F001z";  // parametric in a fixed slot: nothing
    it.message = "after the macros";
    const Loaded l = load(it.bytes());
    ASSERT_EQ(l.result, kResultOk);
    EXPECT_EQ(l.module.parametricMacros[0], kMacroResonance);
    EXPECT_EQ(l.module.parametricMacros[5], kMacroCutoff);
    EXPECT_EQ(l.module.parametricMacros[1], kMacroNone);
    EXPECT_EQ(l.module.fixedMacros[0].kind, kMacroCutoff);
    EXPECT_EQ(l.module.fixedMacros[0].value, 16);
    EXPECT_EQ(l.module.fixedMacros[1].kind, kMacroNone);
    EXPECT_EQ(l.module.fixedMacros[127].kind, kMacroNone);
    EXPECT_EQ(l.module.message, "after the macros");
}

// A file cut anywhere loads what lies before the cut and says how much is missing; a file
// without the mark is refused.
TEST(ItReader, CutFilesAndForeignBytes) {
    ItWriter it;
    it.flags = 1 | 4;
    it.samples = {{.frames = std::vector<int16_t>(500, 3)}};
    it.instruments = {fullInstrument()};
    it.patterns[0].cells = {{.row = 0, .channel = 1, .note = 60, .instrument = 1}};
    const std::vector<uint8_t> whole = it.bytes();
    ASSERT_EQ(load(whole).result, kResultOk);
    for (size_t cut = 4; cut < whole.size(); cut += 37) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
        const Loaded l = load(bytes);
        ASSERT_TRUE(l.ok) << cut;
        EXPECT_EQ(l.result, kResultSizeMismatch) << cut;
        EXPECT_LT(l.sizeDetail, 0) << cut;
        // Once the sample's header is there, the file's own offsets tell exactly what is missing.
        if (cut > whole.size() - 500) {
            EXPECT_EQ(l.sizeDetail, -static_cast<int32_t>(whole.size() - cut)) << cut;
        }
        for (const Sample& s : l.module.samples) EXPECT_EQ(s.data.size(), s.length);
    }
    std::vector<uint8_t> foreign = whole;
    foreign[3] = 'X';
    const Loaded refused = load(foreign);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.result, kResultUnsupported);
}

}  // namespace
}  // namespace tarvex
