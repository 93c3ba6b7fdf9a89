// The one in-memory form of a song, whatever file it came from.
//
// Every reader settles the format's differences at load time: periods on one scale (428 plays a
// sample at its base frequency), effects in the engine's numbering 0..25, sample data as signed
// 16-bit mono frames, panning as two gains 0..1024 per channel. formatType names the format (0 MOD
// family, 2 STM, 16 S3M); where the formats' trackers played alike commands differently, the
// engine asks the rules record the reader filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace tarvex {

// A zero-terminated byte text of a fixed capacity (Latin-1 once read).
template <size_t N>
struct Text {
    char bytes[N] = {};
    std::string_view view() const {
        size_t n = 0;
        while (n < N && bytes[n] != 0) ++n;
        return std::string_view(bytes, n);
    }
    bool empty() const { return bytes[0] == 0; }
    // Stores text, cut to N - 1 bytes, and the terminating zero.
    void assign(std::string_view text) {
        const size_t n = text.size() < N ? text.size() : N - 1;
        for (size_t i = 0; i < n; ++i) bytes[i] = text[i];
        bytes[n] = 0;
    }
};

struct Sample {
    Text<40> name;
    uint32_t length = 0;         // frames in data; 0 = no data
    int8_t finetune = 0;         // -8..7 for MOD, 0 otherwise
    uint32_t volume = 0;         // default volume, stored as read (not clamped)
    uint32_t loopStart = 0;      // first looped frame
    uint32_t loopEnd = 0;        // one past the last looped frame; 0 with loopStart 0 = no loop
    uint32_t basePeriod = 0;     // frequencyToBasePeriod(baseFrequency)
    uint32_t baseFrequency = 0;  // Hz at the reference note; 0 = the player treats it as no sample
    std::vector<int16_t> data;   // length frames; 8-bit file data v is stored as v * 256
};

inline constexpr uint32_t kNoteOff = 0xFFFFFFFFu;

struct NoteCell {
    uint32_t row = 0;      // below kRowsPerPattern
    uint32_t channel = 0;  // below channelCount
    uint32_t period = 0;   // plain period; 0 = no note, kNoteOff = note off (S3M)
    int8_t note = -1;      // semitone of noteIndex(period), -1 when none qualifies
    int8_t octave = 0;     // octave of that entry, 0 when none qualifies
    uint32_t sample = 0;   // 1-based; 0 = none given
    uint8_t effect = 0;    // engine effect code; 0 with param 0 = none
    int32_t volume = -1;   // volume column 0..64, -1 = none (always -1 for MOD)
    uint8_t param = 0;
};

// The row count of MOD, S3M and STM patterns, and of an XM pattern without one of its own.
inline constexpr uint32_t kRowsPerPattern = 64;
inline constexpr uint32_t kMaxRowsPerPattern = 256;

// A pattern's non-empty cells, one contiguous array in ascending (row, channel) order; a later
// duplicate of a (row, channel) pair follows the earlier one. "Next" is the following index.
using Pattern = std::vector<NoteCell>;

// How a format's tracker played what the engine's shared effect codes leave open. Each reader
// fills it (rulesOf gives those of MOD, STM and S3M); the engine asks it, never the format.
struct FormatRules {
    bool speedZeroEndsSong = true;      // speed 0 ends the song (MOD); the ScreamTrackers ignore it
    bool largeSpeedSetsTempo = true;    // a speed command above 31 sets the tempo (MOD, STM)
    bool fineVolumeSlides = false;      // a volume slide xF / Fy is a fine slide (S3M)
    bool retriggerWholeParam = false;   // the retrigger interval is the whole parameter (S3M, STM)
    bool patternLoopPerChannel = true;  // each channel keeps its own pattern loop (MOD)
};

struct Module {
    Text<40> title;
    Text<40> trackerName;
    std::vector<Sample> samples;  // sampleCount entries; index = sample number - 1
    uint32_t sampleCount = 0;
    uint32_t channelCount = 0;
    uint32_t songLength = 0;       // valid entries at the start of orders
    uint32_t patternCount = 0;     // entries of patterns
    std::vector<uint32_t> orders;  // 128 entries for MOD and STM, one per order byte for S3M
    uint32_t initialTempo = 0;
    uint32_t initialSpeed = 0;
    uint32_t stepBase = 0;  // written by the sequencer at song start
    uint8_t formatType = 0;
    FormatRules rules;
    uint8_t globalVolume = 0;  // 0..64, 64 = unity
    // MOD: every Fxx sets the speed and none the tempo, as in players timed by the screen's
    // vertical blank (chooseTiming sets it, and the rules with it); the readers leave it off.
    bool vblankTiming = false;
    std::vector<int32_t> panRight;  // channelCount gains 0..1024
    std::vector<int32_t> panLeft;
    Text<12> signature;
    // The program that wrote the file, when the file says so; empty otherwise.
    Text<40> writtenBy;
    std::vector<Pattern> patterns;  // patternCount entries
    // Rows of each pattern, 1..256; empty (or shorter than patterns) = 64 for those missing.
    std::vector<uint16_t> patternRows;
};

inline constexpr uint8_t kFormatMod = 0;
inline constexpr uint8_t kFormatStm = 2;
inline constexpr uint8_t kFormatS3m = 16;

// Rows of pattern index: its patternRows entry, else 64.
inline uint32_t rowsOf(const Module& module, uint32_t pattern) {
    return pattern < module.patternRows.size() ? module.patternRows[pattern] : kRowsPerPattern;
}

// The rules of the tracker of formatType: kFormatMod, kFormatStm or kFormatS3m.
FormatRules rulesOf(uint8_t formatType);

// The holder of the current module: createModule replaces whatever it held with a fresh record,
// freeModule leaves it empty. The player wraps both to drop its channel array as well.
Module& createModule(std::unique_ptr<Module>& current);
void freeModule(std::unique_ptr<Module>& current);

// Links cell into pattern patternIndex before the first cell that sorts after it (greater row, or
// same row and greater channel), so cells of equal position keep their reading order.
void insertCell(Module& module, uint32_t patternIndex, const NoteCell& cell);

// Loop rule of every reader: loopStart == loopEnd, (0, 2) or loopEnd 0xFFFF mean no loop (both 0);
// otherwise loopEnd is cut to length. loopStart is left alone.
void normaliseLoop(Sample& sample);

// A sample whose data the file holds only in part: cut to at most `frames` frames (the loop then
// made to fit with normaliseLoop), and its data sized for its length.
void cutToFrames(Sample& sample, uint64_t frames);

// Channel c sounds left when c % 3 == 0, right otherwise: L R R L R R L R for eight channels.
void setDefaultPanning(Module& module);

// Bytes the module holds in its owned arrays, for the resource limits of untrusted files.
size_t moduleFootprint(const Module& module);

}  // namespace tarvex
