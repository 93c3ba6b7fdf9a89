// Channels that play by Impulse Tracker's rules: what a new note does to the one before it, the
// pool of background voices and which voice gives way when it is full, duplicate checks, and the
// resonant filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PlayedSong.h"
#include "support/ItWriter.h"

namespace tarvex::test {
namespace {

// One instrument of one long looped sample; `notes` rows each play a note on channel 0 (the
// same note, or changing ones), each group of eight at a volume one above the group before.
ItWriter notesInARow(uint8_t newNoteAction, uint32_t notes, uint8_t duplicateCheck = 0,
                     bool sameNote = true) {
    ItWriter it;
    it.flags = 1 | 4 | 8;  // stereo, instruments, linear slides
    ItSample sample;
    for (int i = 0; i < 2000; ++i) sample.frames.push_back(static_cast<int16_t>((i % 50) * 4));
    sample.loopFlags = 1;
    sample.loopStart = 0;
    sample.loopEnd = 2000;
    it.samples.push_back(sample);
    ItInstrument instrument;
    instrument.name = "pad";
    for (auto& key : instrument.keyboard) key.second = 1;
    instrument.newNoteAction = newNoteAction;
    instrument.duplicateCheck = duplicateCheck;
    instrument.fadeout = 8;
    it.instruments.push_back(instrument);
    it.speed = 1;
    // Patterns of 200 rows, as many as the notes need, and one more to sound on in.
    ItPattern pattern;
    pattern.rows = 200;
    it.patterns.assign(notes / 200 + 2, pattern);
    it.orders.clear();
    for (uint8_t p = 0; p < it.patterns.size(); ++p) it.orders.push_back(p);
    it.orders.push_back(255);
    for (uint32_t r = 0; r < notes; ++r) {
        const uint8_t note = static_cast<uint8_t>(sameNote ? 60 : 40 + r % 40);
        // Each note a little louder than the one before, so that the first are the quietest.
        it.patterns[r / 200].cells.push_back(
            {.row = r % 200,
             .channel = 0,
             .note = note,
             .instrument = 1,
             .volume = static_cast<uint8_t>(std::min<uint32_t>(1 + r / 8, 64))});
    }
    return it;
}

struct Played : PlayedSong {
    explicit Played(const ItWriter& it) : PlayedSong(it.bytes(), "IT") {}
    uint32_t background() const {
        return static_cast<uint32_t>(std::count_if(engine.it.pool.begin(), engine.it.pool.end(),
                                                   [](const ItBackground& b) { return b.note.active; }));
    }
};

TEST(ItPlayback, NewNoteActionsLeaveTheOldNoteAsTheInstrumentSays) {
    struct Row {
        uint8_t action;
        uint32_t notes;
        uint32_t ticks;       // after the last note
        uint32_t background;  // notes still sounding behind the channel's own
    };
    for (const Row& row : {
             Row{kNnaCut, 5, 0, 0},
             Row{kNnaContinue, 5, 0, 4},
             Row{kNnaContinue, 5, 500, 4},  // a looped sample without envelope sounds on
             Row{kNnaNoteOff, 5, 0, 4},     // released: without an envelope it fades
             Row{kNnaNoteOff, 5, 200, 0},   // 1024 / 8 ticks later all are gone
             Row{kNnaNoteFade, 5, 200, 0},
         }) {
        Played played(notesInARow(row.action, row.notes));
        for (uint32_t t = 1; t < row.notes + row.ticks; ++t) played.stepper.tick();
        EXPECT_EQ(played.background(), row.background) << int{row.action} << " after " << row.ticks;
        EXPECT_NE(played.engine.channels[0].position, -1) << "the channel's own note plays";
    }
}

TEST(ItPlayback, AFullPoolGivesTheQuietestBackgroundNoteAway) {
    Played played(notesInARow(kNnaContinue, kBackgroundVoices + 40));
    for (uint32_t t = 1; t < kBackgroundVoices + 40; ++t) played.stepper.tick();
    EXPECT_EQ(played.background(), kBackgroundVoices);
    // 295 notes went to the background and 39 gave way: rows 0..38, the quietest (volumes 1..5),
    // and among the equally quiet ones the oldest. Of the eight at volume 5, row 39 is left.
    int32_t quietest = 64;
    uint32_t atQuietest = 0;
    for (const ItBackground& b : played.engine.it.pool) quietest = std::min(quietest, b.note.volume);
    for (const ItBackground& b : played.engine.it.pool) atQuietest += b.note.volume == quietest ? 1 : 0;
    EXPECT_EQ(quietest, 5);
    EXPECT_EQ(atQuietest, 1u);
    // Every background voice is the channel's, for mutes and scopes.
    for (const ItBackground& b : played.engine.it.pool) EXPECT_EQ(b.voice.channel, 0u);
}

TEST(ItPlayback, DuplicateChecksEndTheSameNoteOnly) {
    struct Row {
        uint8_t check;
        bool sameNote;
        uint32_t background;
    };
    for (const Row& row : {Row{kDctOff, true, 5}, Row{kDctNote, true, 0}, Row{kDctNote, false, 5},
                           Row{kDctSample, false, 0}, Row{kDctInstrument, false, 0}}) {
        Played played(notesInARow(kNnaContinue, 6, row.check, row.sameNote));
        for (uint32_t t = 1; t < 6; ++t) played.stepper.tick();
        EXPECT_EQ(played.background(), row.background) << int{row.check} << " " << row.sameNote;
    }
}

// Cutoff 127 without resonance leaves the sound alone; anything else turns the filter on, and the
// lower the cutoff the less of the input passes straight through.
TEST(ItPlayback, TheFilterFollowsCutoffAndResonance) {
    struct Row {
        uint8_t cutoff, resonance;
        bool on;
    };
    double lastPass = 2;
    for (const Row& row :
         {Row{127, 0, false}, Row{127, 40, true}, Row{100, 0, true}, Row{60, 0, true}, Row{20, 0, true}}) {
        ItWriter it = notesInARow(kNnaCut, 1);
        it.instruments[0].cutoff = static_cast<uint8_t>(128 | row.cutoff);
        it.instruments[0].resonance = static_cast<uint8_t>(128 | row.resonance);
        Played played(it);
        const Voice& voice = played.engine.channels[0];
        EXPECT_EQ(voice.filterOn, row.on) << int{row.cutoff} << "/" << int{row.resonance};
        if (!row.on || row.resonance != 0) continue;
        EXPECT_LT(voice.filterA0, lastPass) << int{row.cutoff};
        EXPECT_NEAR(voice.filterA0 + voice.filterB0 + voice.filterB1, 1.0, 1e-9);  // unity at 0 Hz
        lastPass = voice.filterA0;
    }
}

// Where a row with pattern loops, jumps and breaks leads, one row a tick: (order, row) pairs.
TEST(ItPlayback, LoopsJumpsAndBreaksLeadWhereImpulseTrackerWent) {
    struct Effect {
        uint32_t pattern, row, channel;
        char letter;
        uint8_t param;
    };
    struct Case {
        const char* what;
        std::vector<uint16_t> rows;  // of each pattern, played in order once
        std::vector<Effect> effects;
        std::vector<std::pair<uint32_t, uint32_t>> path;
    };
    const Case cases[] = {
        {"a jump to the next position leaves the pattern at once",
         {4, 4},
         {{0, 1, 0, 'B', 1}},
         {{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
        {"a loop wins over a jump to its left, which follows once the loop has run out",
         {4, 4},
         {{0, 1, 1, 'S', 0xB0}, {0, 2, 0, 'B', 1}, {0, 2, 1, 'S', 0xB1}},
         {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {1, 0}}},
        {"a jump to the right of a loop's end keeps it from going back",
         {4, 4},
         {{0, 1, 0, 'S', 0xB0}, {0, 2, 0, 'S', 0xB1}, {0, 2, 1, 'B', 1}},
         {{0, 0}, {0, 1}, {0, 2}, {1, 0}}},
        {"a loop start past the pattern's end goes on in the next pattern",
         {2, 2, 2},
         {{0, 0, 0, 'S', 0xB0}, {0, 1, 0, 'S', 0xB1}, {1, 0, 0, 'S', 0xB1}},
         {{0, 0}, {0, 1}, {0, 0}, {0, 1}, {1, 0}, {2, 0}, {2, 1}}},
    };
    for (const Case& c : cases) {
        ItWriter it;
        it.speed = 1;
        it.patterns.clear();
        it.orders.clear();
        for (uint16_t rows : c.rows) {
            it.orders.push_back(static_cast<uint8_t>(it.patterns.size()));
            ItPattern pattern;
            pattern.rows = rows;
            it.patterns.push_back(pattern);
        }
        it.orders.push_back(255);
        for (const Effect& e : c.effects) {
            it.patterns[e.pattern].cells.push_back({.row = e.row,
                                                    .channel = e.channel,
                                                    .effect = static_cast<uint8_t>(e.letter - '@'),
                                                    .param = e.param});
        }
        Played played(it);
        played.engine.settings.LoopsAllowed.store(false);  // as songs are rendered
        std::vector<std::pair<uint32_t, uint32_t>> path;
        for (size_t t = 0; t < c.path.size(); ++t) {
            const PlayerState& state = played.engine.state;
            path.emplace_back(state.nextOrder.load() - 1, state.row.load());
            played.stepper.tick();
        }
        EXPECT_EQ(path, c.path) << c.what;
    }
}

// With S11 a tone portamento from C-5 to C-6 is heard on the thirteen semitones between them
// and nowhere else; with S10 it glides.
TEST(ItPlayback, AGlissandoSlidesASemitoneAtATime) {
    for (const uint8_t glissando : {0x11, 0x10}) {
        ItWriter it;
        ItSample sample;
        sample.frames.assign(100, 1000);
        sample.loopFlags = 1;
        sample.loopEnd = 100;
        it.samples.push_back(sample);
        ItPattern pattern;
        pattern.cells.push_back(
            {.row = 0, .channel = 0, .note = 60, .instrument = 1, .effect = 19, .param = glissando});
        pattern.cells.push_back({.row = 1, .channel = 0, .note = 72, .effect = 7, .param = 4});
        for (uint32_t row = 2; row < 40; ++row)
            pattern.cells.push_back({.row = row, .channel = 0, .effect = 7});
        it.patterns = {pattern};
        Played played(it);
        std::vector<uint32_t> steps;
        for (uint32_t t = 0; t < 40 * 6; ++t) {
            played.stepper.tick();
            const uint32_t step = played.engine.channels[0].step;
            if (std::find(steps.begin(), steps.end(), step) == steps.end()) steps.push_back(step);
        }
        if (glissando == 0x11) {
            EXPECT_EQ(steps.size(), 13u);
        } else {
            EXPECT_GT(steps.size(), 40u);
        }
    }
}

// A channel's note memory starts at C-0: a lone sample number on the first row plays that note,
// five octaves below C-5.
TEST(ItPlayback, ALoneSampleNumberAtTheStartPlaysCZero) {
    ItWriter it;
    ItSample sample;
    sample.frames.assign(100, 1000);
    sample.loopFlags = 1;
    sample.loopEnd = 100;
    sample.c5Speed = 44100;
    it.samples.push_back(sample);
    it.patterns[0].cells.push_back({.row = 0, .channel = 0, .instrument = 1});
    Played played(it);
    played.stepper.tick();
    EXPECT_NE(played.engine.channels[0].position, -1);
    EXPECT_NEAR(played.engine.channels[0].step, 1024.0 / 32, 1);  // C-5 would step 1024 a frame
}

}  // namespace
}  // namespace tarvex::test
