// Channels that play instruments by the XM rules: pitch, envelopes with sustain and fadeout,
// key-off without an envelope, tremor, and patterns of their own length.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "PlayedSong.h"
#include "support/XmWriter.h"

namespace tarvex::test {
namespace {

// One instrument of one looped sample (values 0..99) on every note; its envelope and fadeout as
// given. Row 0 plays `note` on channel 0 with the effect given.
XmWriter oneNote(uint8_t note, bool linear, const XmEnvelopeSpec& envelope = {}, uint16_t fadeout = 0) {
    XmWriter xm;
    xm.flags = linear ? 1 : 0;
    XmSampleSpec sample;
    for (int16_t v = 0; v < 100; ++v) sample.frames.push_back(v);
    sample.loop = 1;
    sample.loopLength = 100;
    XmInstrumentSpec instrument = XmInstrumentSpec::single("lead", {sample});
    instrument.volume = envelope;
    instrument.fadeout = fadeout;
    xm.instruments.push_back(instrument);
    xm.patterns[0].cells.push_back({.row = 0, .channel = 0, .note = note, .instrument = 1});
    return xm;
}

struct Played : PlayedSong {
    explicit Played(const XmWriter& xm) : PlayedSong(xm.bytes(), "XM") {}
    const ChannelState& voice() const { return engine.channels.at(0); }
};

TEST(InstrumentPlayback, NotesSoundAtTheirPitchInBothFrequencyModes) {
    // C-4 (note 49) plays the sample at 8363 Hz: 8363 / 44100 x 1024 = 194.2 frames in 1/1024.
    struct Row {
        uint8_t note;
        bool linear;
        uint32_t step;
    };
    for (const Row& row : {Row{49, true, 194}, Row{49, false, 194}, Row{61, true, 388}, Row{61, false, 388},
                           Row{37, true, 97}, Row{50, true, 205}}) {
        Played played(oneNote(row.note, row.linear));
        played.stepper.tick();
        EXPECT_EQ(played.voice().step, row.step) << int{row.note} << (row.linear ? " linear" : " Amiga");
        EXPECT_EQ(played.voice().position, 0);
        EXPECT_GT(played.voice().leftVolume, 0);
        EXPECT_EQ(played.voice().leftVolume, played.voice().rightVolume);  // centred
    }
}

TEST(InstrumentPlayback, EnvelopesHoldAtTheirSustainAndFadeOutAfterKeyOff) {
    // Volume 64 down to 32 over 4 ticks, sustained there; a key-off on row 1 (6 ticks later)
    // releases it to fall to 0 at tick 8, while the fadeout takes 1/8 of the level per tick.
    XmEnvelopeSpec envelope;
    envelope.points = {{0, 64}, {4, 32}, {8, 0}};
    envelope.sustain = 1;
    envelope.type = 3;  // on, sustain
    XmWriter xm = oneNote(49, true, envelope, 8192);
    xm.patterns[0].cells.push_back({.row = 1, .channel = 0, .note = 97});
    Played played(xm);
    std::vector<int32_t> gains;
    for (int t = 0; t < 12; ++t) {
        if (t > 0) played.stepper.tick();  // the row tick of row 0 runs at the start
        gains.push_back(played.voice().leftVolume);
    }
    const int32_t full = gains[0];
    EXPECT_GT(full, 0);
    EXPECT_EQ(gains[4], full / 2);  // the sustain level
    EXPECT_EQ(gains[5], gains[4]);  // held while the key is down
    EXPECT_LT(gains[7], gains[6]);  // released and fading
    EXPECT_EQ(gains[11], 0);        // the envelope's end is 0
    for (size_t t = 7; t < gains.size(); ++t) EXPECT_LE(gains[t], gains[t - 1]) << t;

    // Without a volume envelope a key-off silences the note at once.
    XmWriter plain = oneNote(49, true);
    plain.patterns[0].cells.push_back({.row = 1, .channel = 0, .note = 97});
    Played cut(plain);
    cut.stepper.run(5);
    EXPECT_GT(cut.voice().leftVolume, 0);
    cut.stepper.tick();  // row 1
    EXPECT_EQ(cut.voice().leftVolume, 0);
}

TEST(InstrumentPlayback, TremorAndRowCounts) {
    // T12 at speed 6: on for 2 ticks, off for 3, from the tick after the row tick.
    XmWriter xm = oneNote(49, true);
    xm.patterns[0].cells.push_back({.row = 1, .channel = 0, .effect = 0x1D, .param = 0x12});
    xm.patterns[0].cells.push_back({.row = 2, .channel = 0, .effect = 0x1D, .param = 0x00});
    xm.patterns[0].rows = 3;
    Played played(xm);
    played.stepper.run(5);
    std::string heard;
    for (int t = 0; t < 12; ++t) {
        played.stepper.tick();
        heard += played.voice().leftVolume > 0 ? '+' : '-';
    }
    EXPECT_EQ(heard, "+++----++---");  // the off phase holds over the next row tick
    // Six ticks a row and the one that finds the order list done, less the first row tick,
    // which the start runs.
    Played whole(oneNote(49, true));
    EXPECT_EQ(whole.stepper.run(1000), 64u * 6);
    XmWriter shortPattern = oneNote(49, true);
    shortPattern.patterns[0].rows = 3;
    Played shorter(shortPattern);
    EXPECT_EQ(shorter.stepper.run(1000), 3u * 6);
}

// Rows of one channel, one cell each (note, instrument, volume column, effect, parameter), over
// a long unlooped sample at speed 6; the ticks on which the sample starts, as "r1t3 r2t0".
std::string startsOf(const std::vector<std::array<uint8_t, 5>>& rows) {
    XmWriter xm;
    XmSampleSpec sample;
    sample.frames.assign(4000, 50);
    xm.instruments.push_back(XmInstrumentSpec::single("long", {sample}));
    xm.patterns[0].rows = static_cast<uint16_t>(rows.size() + 1);
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto& c = rows[r];
        xm.patterns[0].cells.push_back({.row = static_cast<uint32_t>(r),
                                        .channel = 0,
                                        .note = c[0],
                                        .instrument = c[1],
                                        .volume = c[2],
                                        .effect = c[3],
                                        .param = c[4]});
    }
    Played played(xm);
    ChannelState& voice = played.engine.channels.at(0);
    std::string starts;
    for (uint32_t t = 0; t < rows.size() * 6; ++t) {
        if (t > 0) played.stepper.tick();
        if (voice.position == 0) {
            // Appended piece by piece: a sum of string temporaries trips GCC's -Wrestrict at -O3.
            if (!starts.empty()) starts += ' ';
            starts += 'r';
            starts += std::to_string(t / 6);
            starts += 't';
            starts += std::to_string(t % 6);
        }
        voice.position = 5;  // a restart sets it back to 0
    }
    return starts;
}

TEST(InstrumentPlayback, RetriggersCountTicksAsFastTracker2Did) {
    // Rxy counts every tick, the row tick too unless the volume column sets a volume above 0; an
    // instrument number that restarts the instrument restarts the count, and a song starts it a
    // tick short. E9x restarts every x ticks after the row tick, E90 on the row tick alone.
    constexpr uint8_t C4 = 49, R = 0x1B, E = 0xE;
    struct Case {
        std::vector<std::array<uint8_t, 5>> rows;
        const char* starts;
    };
    const Case cases[] = {
        {{{C4, 1, 0, 0, 0}, {0, 0, 0, R, 3}, {0, 0, 0, R, 3}}, "r0t0 r1t3 r2t0 r2t3"},
        {{{C4, 1, 0, R, 3}, {0, 0, 0, 0, 0}, {0, 0, 0, R, 3}}, "r0t0 r0t2 r0t5 r2t2 r2t5"},
        {{{C4, 1, 0, 0, 0}, {0, 0, 0, R, 4}, {0, 0, 0, R, 4}}, "r0t0 r1t4 r2t2"},
        {{{C4, 1, 0, 0, 0}, {C4, 0, 0, R, 3}, {0, 0, 0, R, 3}}, "r0t0 r1t0 r1t3 r2t0 r2t3"},
        {{{C4, 1, 0, 0, 0}, {0, 1, 0, R, 3}, {0, 0, 0, R, 3}}, "r0t0 r1t2 r1t5 r2t2 r2t5"},
        {{{C4, 1, 0, 0, 0}, {0, 0, 0x50, R, 3}, {0, 0, 0, R, 3}}, "r0t0 r1t4 r2t1 r2t4"},
        {{{C4, 1, 0, 0, 0}, {0, 0, 0x10, R, 3}, {0, 0, 0x50, R, 3}}, "r0t0 r1t3 r2t1 r2t4"},
        {{{C4, 1, 0, 0, 0}, {0, 0, 0x60, R, 3}, {0, 0, 0, R, 3}}, "r0t0 r1t3 r2t0 r2t3"},
        {{{C4, 1, 0, E, 0x93}, {0, 0, 0, E, 0x93}, {0, 0, 0, E, 0x90}}, "r0t0 r0t3 r1t3 r2t0"},
    };
    for (const Case& c : cases) {
        std::string rows;
        for (const auto& r : c.rows) rows += std::to_string(r[3]) + "/" + std::to_string(r[4]) + " ";
        EXPECT_EQ(startsOf(c.rows), c.starts) << rows;
    }
}

TEST(InstrumentPlayback, PatternLoopsAndBreaksFlowAsFastTracker2Did) {
    // Two patterns of four rows, orders 0 1; the rows visited, "order.row". A loop's start row is
    // kept per channel across patterns, a loop that went back makes it where the next pattern
    // starts, and of a break and a loop on one row the later channel names the row.
    constexpr uint8_t E = 0xE, D = 0xD;
    struct Case {
        std::vector<XmCell> cells;  // pattern 0 from row 0, pattern 1 from row 4
        const char* rows;
    };
    const Case cases[] = {
        {{{.row = 2, .effect = E, .param = 0x60}, {.row = 3, .effect = E, .param = 0x61}},
         "0.0 0.1 0.2 0.3 0.2 0.3 1.2 1.3"},
        {{{.row = 1, .effect = E, .param = 0x60}, {.row = 5, .effect = E, .param = 0x61}},
         "0.0 0.1 0.2 0.3 1.0 1.1 1.1 1.2 1.3"},
        {{{.row = 1, .channel = 0, .effect = D, .param = 0x02},
          {.row = 1, .channel = 1, .effect = E, .param = 0x60},
          {.row = 3, .effect = E, .param = 0x61}},
         "0.0 0.1 1.2 1.3"},
        {{{.row = 0, .effect = E, .param = 0x60},
          {.row = 1, .channel = 1, .effect = D, .param = 0x03},
          {.row = 1, .channel = 0, .effect = E, .param = 0x61}},
         "0.0 0.1 1.3"},
    };
    for (const Case& c : cases) {
        XmWriter xm = oneNote(49, true);
        XmPatternSpec four;
        four.rows = 4;
        xm.patterns = {four, four};
        xm.orders = {0, 1};
        for (XmCell cell : c.cells) {
            const size_t pattern = cell.row / 4;
            cell.row %= 4;
            xm.patterns[pattern].cells.push_back(cell);
        }
        Played played(xm);
        std::string rows;
        do {
            if (played.stepper.ended() || played.engine.state.tickCounter != played.engine.state.speed.load())
                continue;
            if (!rows.empty()) rows += ' ';
            rows += std::to_string(played.engine.state.nextOrder.load() - 1);
            rows += '.';
            rows += std::to_string(played.engine.state.row.load());
        } while (played.stepper.tick());
        EXPECT_EQ(rows, c.rows) << c.rows;
    }
}

}  // namespace
}  // namespace tarvex::test
