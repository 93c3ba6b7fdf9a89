// The one in-memory form of a song, whatever file it came from.
//
// Every reader settles the format's differences at load time: periods on one scale (428 plays a
// sample at its base frequency), effects in the engine's numbering 0..25 (XM adds codes from 26 on,
// see EffectCodes.h), sample data as signed 16-bit mono frames, panning as two gains 0..1024 per
// channel. formatType names the format (0 MOD family, 2 STM, 16 S3M, 20 XM, 24 IT); where the formats'
// trackers played alike commands differently, the engine asks the rules record the reader filled.
//
// XM brings instruments (a note-to-sample map over the one flat sample list, envelopes, fadeout,
// auto-vibrato), patterns of 1..256 rows and a volume column of commands. The MOD, S3M and STM
// readers leave every XM field at its default; the new one-byte fields sit in padding, so Sample
// and NoteCell keep the sizes the readers' allocation budgets count with.
//
// IT adds to that: sustain loops and auto-vibrato on samples, new-note actions, a pitch (or filter)
// envelope and a resonant filter on instruments, 120 notes, a volume column of its own and the
// effect letters A..Z as they stand in the file (EffectCodes.h). Its playback reads them alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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

// How a sample's loop runs, when it has one.
enum class LoopType : uint8_t { none, forward, pingPong };

struct Sample {
    Text<40> name;
    uint32_t length = 0;  // frames in data; 0 = no data
    int8_t finetune = 0;  // -8..7 for MOD, 0 otherwise
    // XM: semitones added to the played note (-96..95); 0 otherwise.
    int8_t relativeNote = 0;
    // XM: tuning in 1/128 semitone, -128 (a semitone down) .. 127; 0 otherwise.
    int8_t finetune128 = 0;
    // XM: the sample's panning 0 (left) .. 255 (right), 128 centre; used when panningSet.
    uint8_t panning = 128;
    uint32_t volume = 0;         // default volume, stored as read (not clamped)
    uint32_t loopStart = 0;      // first looped frame
    uint32_t loopEnd = 0;        // one past the last looped frame; 0 with loopStart 0 = no loop
    uint32_t basePeriod = 0;     // frequencyToBasePeriod(baseFrequency)
    uint32_t baseFrequency = 0;  // Hz at the reference note; 0 = the player treats it as no sample
    bool panningSet = false;     // the file gave the sample a panning (XM always does)
    // The loop, when there is one (see loopType), runs forward and back again.
    bool pingPong = false;
    bool sixteenBit = false;  // the file held 16-bit frames (stored as is; 8-bit ones as v * 256)
    // IT: a sustain loop, played while the key is down (before the loop above); sustainEnd 0 =
    // none. Frames as for the loop.
    bool sustainPingPong = false;
    uint32_t sustainStart = 0;
    uint32_t sustainEnd = 0;
    // IT: the sample's global volume 0..64 and its auto-vibrato (speed, depth, rate, waveform 0
    // sine, 1 ramp down, 2 square, 3 random); 64 and zeros for every other format.
    uint8_t globalVolume = 64;
    uint8_t vibratoSpeed = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    uint8_t vibratoType = 0;
    std::vector<int16_t> data;  // length frames; 8-bit file data v is stored as v * 256
};

// none when the sample has no loop (loopEnd 0), else forward or ping-pong.
inline LoopType loopType(const Sample& sample) {
    if (sample.loopEnd == 0) return LoopType::none;
    return sample.pingPong ? LoopType::pingPong : LoopType::forward;
}

// An envelope of an instrument: up to 12 points (XM) or 25 (IT) of (tick, value), a line between
// neighbours. Points beyond count are zero.
struct EnvelopePoint {
    uint16_t tick = 0;   // 0..65535, rising from point to point in a sound file
    uint16_t value = 0;  // 0..64 (panning, pitch and filter: 32 = centre)
};

inline constexpr uint32_t kEnvelopePoints = 25;
inline constexpr uint32_t kXmEnvelopePoints = 12;

struct Envelope {
    std::array<EnvelopePoint, kEnvelopePoints> points{};
    uint8_t count = 0;      // points in use, 0..25
    uint8_t sustain = 0;    // point held while the key is down (with sustainOn)
    uint8_t loopStart = 0;  // point the loop returns to (with loopOn)
    uint8_t loopEnd = 0;    // point at which it returns
    // IT: the last point of the sustain loop, which returns to sustain while the key is down.
    uint8_t sustainEnd = 0;
    bool on = false;
    bool sustainOn = false;
    bool loopOn = false;
    // IT: a new note of the instrument takes up the envelope where the channel's last note left it.
    bool carry = false;
};

inline constexpr uint32_t kInstrumentNotes = 120;
inline constexpr uint32_t kXmInstrumentNotes = 96;

// What a new note does to the note its channel played (IT), and what a duplicate check does.
enum NewNoteAction : uint8_t { kNnaCut = 0, kNnaContinue = 1, kNnaNoteOff = 2, kNnaNoteFade = 3 };
enum DuplicateCheck : uint8_t { kDctOff = 0, kDctNote = 1, kDctSample = 2, kDctInstrument = 3 };
enum DuplicateAction : uint8_t { kDcaCut = 0, kDcaNoteOff = 1, kDcaNoteFade = 2 };

// An instrument: which sample plays each note, and how its sound is shaped over time.
struct Instrument {
    Text<32> name;
    // Per note (0 = C-0 .. 95 = B-7 in XM, .. 119 = B-9 in IT): 1-based index into
    // Module::samples, 0 = no sample. Wider than the file's byte: 128 instruments of 16 samples
    // make a flat list of 2048.
    std::array<uint16_t, kInstrumentNotes> sampleOfNote{};
    // IT: the note each key plays (0..119); XM leaves it unused.
    std::array<uint8_t, kInstrumentNotes> noteOfNote{};
    Envelope volume;
    Envelope panning;
    Envelope pitch;  // IT: pitch in half semitones from 32, or the filter's cutoff (filterEnvelope)
    bool filterEnvelope = false;
    // IT: new-note action, duplicate check type and action.
    uint8_t newNoteAction = kNnaCut;
    uint8_t duplicateCheck = kDctOff;
    uint8_t duplicateAction = kDcaCut;
    int8_t pitchPanSeparation = 0;  // IT: -32..32, panning per semitone from the centre note / 8
    uint8_t pitchPanCentre = 60;    // IT: 0..119
    uint8_t globalVolume = 128;     // IT: 0..128
    uint8_t defaultPanning = 32;    // IT: 0..64, used when defaultPanningSet
    bool defaultPanningSet = false;
    uint8_t randomVolume = 0;    // IT: 0..100 per cent
    uint8_t randomPanning = 0;   // IT: 0..64
    uint8_t filterCutoff = 127;  // IT: 0..127, used when filterCutoffSet
    uint8_t filterResonance = 0;
    bool filterCutoffSet = false;
    bool filterResonanceSet = false;
    uint8_t vibratoType = 0;   // 0 sine, 1 square, 2 ramp down, 3 ramp up (as stored)
    uint8_t vibratoSweep = 0;  // ticks until the auto-vibrato reaches its depth
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    // XM: subtracted per tick from 32768 after key-off, 0..0xFFF; IT: from 1024 once fading
    // (files before IT 2.00 count in halves: the reader doubles them), 0..1024.
    uint16_t fadeout = 0;
    uint32_t firstSample = 0;  // index into Module::samples of its first sample
    uint32_t sampleCount = 0;  // its samples, at firstSample onwards
};

inline constexpr uint32_t kNoteOff = 0xFFFFFFFFu;

// The volume-column commands; the parameter is the low nibble (0..64 for kVolumeSet). IT's
// slides take 0..9 (0: the channel's memory); its own commands follow XM's.
enum VolumeCommand : uint8_t {
    kVolumeNone = 0,
    kVolumeSet = 1,             // 0x10..0x50: volume 0..64
    kVolumeSlideDown = 2,       // 0x6x
    kVolumeSlideUp = 3,         // 0x7x
    kVolumeFineDown = 4,        // 0x8x
    kVolumeFineUp = 5,          // 0x9x
    kVolumeVibratoSpeed = 6,    // 0xAx
    kVolumeVibratoDepth = 7,    // 0xBx
    kVolumeSetPanning = 8,      // 0xCx: panning x * 16
    kVolumePanSlideLeft = 9,    // 0xDx
    kVolumePanSlideRight = 10,  // 0xEx
    kVolumeTonePorta = 11,      // 0xFx
    kVolumeItPortaDown = 12,    // IT Ex: pitch down x * 4
    kVolumeItPortaUp = 13,      // IT Fx: pitch up x * 4
    kVolumeItPanning = 14,      // IT: panning 0..64
    kVolumeItTonePorta = 15,    // IT Gx: tone portamento at the x-th speed of its table
    kVolumeItVibrato = 16,      // IT Hx: vibrato of depth x at the channel's speed
};

// XM pattern note numbers: 1 = C-0 .. 96 = B-7, 97 releases the key.
inline constexpr uint8_t kXmLastNote = 96;
inline constexpr uint8_t kXmKeyOff = 97;
// IT pattern note numbers: 1 = C-0 .. 120 = B-9, then fade, off and cut.
inline constexpr uint8_t kItLastNote = 120;
inline constexpr uint8_t kItNoteFade = 253;
inline constexpr uint8_t kItNoteCut = 254;
inline constexpr uint8_t kItNoteOff = 255;

struct NoteCell {
    uint32_t row = 0;      // below rowsOf(module, pattern)
    uint32_t channel = 0;  // below channelCount
    uint32_t period = 0;   // plain period; 0 = no note, kNoteOff = note off (S3M, XM)
    int8_t note = -1;      // semitone of noteIndex(period), -1 when none qualifies
    int8_t octave = 0;     // octave of that entry, 0 when none qualifies
    uint32_t sample = 0;   // 1-based; 0 = none given; in XM the instrument number
    uint8_t effect = 0;    // engine effect code; 0 with param 0 = none
    int32_t volume = -1;   // volume column 0..64, -1 = none (always -1 for MOD and XM)
    uint8_t param = 0;
    uint8_t volumeCommand = kVolumeNone;  // XM's volume column; kVolumeNone for other formats
    uint8_t volumeParam = 0;
    // XM: 1..96, kXmKeyOff; IT: 1..120, kItNoteFade, kItNoteCut, kItNoteOff; 0 = none and for
    // other formats.
    uint8_t xmNote = 0;
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
    bool patternLoopPerChannel = true;  // each channel keeps its own pattern loop (MOD, XM)
    // Channels play instruments by FastTracker 2's rules: envelopes, fadeout, the volume column,
    // linear or Amiga pitch (XM).
    bool instrumentChannels = false;
    // The voices' gains run 0..64 << gainBits (the mix divisor grows with them): finer steps for
    // envelopes and fadeouts (XM 8, 0 otherwise).
    uint32_t gainBits = 0;
    // The mix divisor counts at most this many channels (0: all of them). Instrument songs keep
    // their loudness with many channels, as their trackers did: 32 channels sound as loud as 8.
    uint32_t mixChannelLimit = 0;
    // Gain ramps of voices that ask for them run kRampSteps steps of 1/rampStepsPerSecond s: half a
    // millisecond each for XM, short enough for IT's single-cycle clicks to stay clicks.
    uint32_t rampStepsPerSecond = 2000;
    // The instrument channels play by Impulse Tracker's rules instead (IT), with its effect
    // letters: new-note actions, filters, channel volumes. instrumentChannels is set with it.
    bool impulseChannels = false;
    bool oldEffects = false;     // IT: the old effects flag (vibrato, offsets, Sxx as before 2.00)
    bool compatibleGxx = false;  // IT: tone portamento keeps its own memory and the playing sample
    bool linkedMemory = true;    // IT: E, F and G share one memory (off with compatibleGxx)
};

// What a MIDI macro of Zxx does to the channel's filter: the only macros a player without MIDI
// output can play.
enum MacroKind : uint8_t { kMacroNone = 0, kMacroCutoff = 1, kMacroResonance = 2 };
struct FixedMacro {
    uint8_t kind = kMacroNone;
    uint8_t value = 0;  // 0..127
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
    std::vector<Instrument> instruments;  // XM; empty for MOD, S3M and STM
    bool linearFrequency = false;         // XM: pitch slides in linear steps, not Amiga periods
    uint32_t restartPosition = 0;         // XM: order the song continues at after its end
    // IT: instruments are used (instrument numbers name them); in sample mode cells name samples
    // and instruments stays empty.
    bool instrumentMode = false;
    bool stereo = true;                 // IT: false for a song mixed in mono, whatever its pan commands say
    uint8_t initialGlobalVolume = 128;  // IT: 0..128
    uint8_t mixVolume = 48;             // IT: 0..128, the whole mix's volume in sample mode too
    uint8_t panSeparation = 128;        // IT: 0..128, the stereo width
    // IT: per channel the panning 0..64, kChannelSurround, or with kChannelMuted set a channel
    // that plays nothing; and its volume 0..64.
    std::vector<uint8_t> channelPanning;
    std::vector<uint8_t> channelVolume;
    std::string message;  // the song message (IT), lines ended by '\n'
    // IT: what SF0..SFF select for Z00..Z7F, and what Z80..ZFF do.
    std::array<uint8_t, 16> parametricMacros{};
    std::array<FixedMacro, 128> fixedMacros{};
};

inline constexpr uint8_t kChannelSurround = 100;
inline constexpr uint8_t kChannelMuted = 128;

inline constexpr uint8_t kFormatMod = 0;
inline constexpr uint8_t kFormatStm = 2;
inline constexpr uint8_t kFormatS3m = 16;
inline constexpr uint8_t kFormatXm = 20;
inline constexpr uint8_t kFormatIt = 24;

// Rows of pattern index: its patternRows entry, else 64.
inline uint32_t rowsOf(const Module& module, uint32_t pattern) {
    return pattern < module.patternRows.size() ? module.patternRows[pattern] : kRowsPerPattern;
}

// The rules of the tracker of formatType: kFormatMod, kFormatStm, kFormatS3m, kFormatXm or
// kFormatIt (whose file flags then set oldEffects, compatibleGxx and linkedMemory).

// Impulse Tracker's default MIDI macros: SF0 sets the cutoff, Z80..Z8F the resonance 0..120.
void setDefaultMacros(Module& module);
FormatRules rulesOf(uint8_t formatType);
// The channel count the mix divisor is made for: the module's, within its rules' limit.
uint32_t mixChannelsOf(const Module& module);

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
