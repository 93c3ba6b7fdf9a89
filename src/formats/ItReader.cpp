#include "formats/ItReader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/AllocationBudget.h"
#include "formats/ItCompression.h"
#include "formats/LoadResult.h"

namespace tarvex {

namespace {

constexpr std::string_view kMark = "IMPM";
constexpr int64_t kHeaderBytes = 0xC0;
constexpr uint32_t kChannels = 64;
constexpr uint8_t kOrderSkip = 254;
constexpr uint8_t kOrderEnd = 255;
constexpr uint16_t kNewInstrumentVersion = 0x200;
constexpr int64_t kInstrumentBytes = 554;  // both formats write this many
constexpr int64_t kSampleHeaderBytes = 0x50;
constexpr int64_t kPatternHeaderBytes = 8;
constexpr int64_t kHistoryEntryBytes = 8;
constexpr int64_t kMacroBytes = 32;
constexpr int64_t kGlobalMacros = 9;
constexpr int64_t kMidiConfigBytes = (kGlobalMacros + 16 + 128) * kMacroBytes;
constexpr uint32_t kMaxVolume = 64;
constexpr uint32_t kMaxGlobalVolume = 128;
constexpr uint32_t kMaxFadeout = 1024;
constexpr uint32_t kMaxC5Speed = 9999999;  // the format's own limit; keeps basePeriod in 32 bits
constexpr int32_t kCentreGain = 512;
// C-5 (IT note 60) is PeriodTable entry 72, period 428: the sample's C5Speed is its rate there.
constexpr int kFirstNoteEntry = 12;

// Header flags and special bits.
constexpr uint16_t kStereo = 1;
constexpr uint16_t kUseInstruments = 4;
constexpr uint16_t kLinearSlides = 8;
constexpr uint16_t kOldEffects = 16;
constexpr uint16_t kCompatibleGxx = 32;
constexpr uint16_t kHasMessage = 1;
constexpr uint16_t kHasHistory = 2;
constexpr uint16_t kHasMidiConfig = 8;

// Sample flags and conversion bits.
constexpr uint8_t kSampleHasData = 1;
constexpr uint8_t kSample16Bit = 2;
constexpr uint8_t kSampleStereo = 4;
constexpr uint8_t kSamplePacked = 8;
constexpr uint8_t kSampleLoop = 16;
constexpr uint8_t kSampleSustain = 32;
constexpr uint8_t kSamplePingPong = 64;
constexpr uint8_t kSampleSustainPingPong = 128;
constexpr uint8_t kSignedData = 1;
constexpr uint8_t kDoubleDelta = 4;  // IT 2.15 packing
constexpr uint8_t kNibbleDeltas = 0xFF;
constexpr int64_t kNibbleTable = 16;

// What one load may allocate and walk per byte of the file, as in the S3M and XM readers.
constexpr int64_t kAllocationPerFileByte = 48;
constexpr int64_t kUnpackPerFileByte = 8;
constexpr int64_t kBudgetAllowance = 64 * 1024;

struct LoadState {
    explicit LoadState(int64_t fileSize)
        : size(fileSize),
          budget(kAllocationPerFileByte * fileSize + kBudgetAllowance),
          unpackLeft(kUnpackPerFileByte * fileSize + kBudgetAllowance) {}
    int64_t size;
    AllocationBudget budget;
    int64_t unpackLeft;       // pattern bytes still to be walked
    int64_t declaredEnd = 0;  // the furthest byte the file's own sizes and offsets reach
    bool clamped = false;     // a value was out of range and was cut, or a feature turned off

    void reaches(int64_t end) { declaredEnd = std::max(declaredEnd, end); }
    // value cut to maximum, noting the clamp.
    uint32_t atMost(uint32_t value, uint32_t maximum) {
        if (value <= maximum) return value;
        clamped = true;
        return maximum;
    }
};

// Where a sample's data lies and how it is stored.
struct PendingData {
    int64_t offset = 0;
    uint8_t flags = 0;
    uint8_t convert = 0;
};

bool markAt(ByteReader& file, int64_t offset, std::string_view mark) {
    uint8_t found[4] = {};
    file.seek(offset);
    file.read(found, 4);
    return std::equal(mark.begin(), mark.end(), found,
                      [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

// ---- Envelopes --------------------------------------------------------------------------------

// A loop between point indexes first..last, kept when on and inside the points.
void checkLoop(bool& on, uint8_t first, uint8_t last, uint8_t count, LoadState& state) {
    if (on && (first > last || last >= count)) {
        on = false;
        state.clamped = true;
    }
}

// The points in use: at most 25, loops inside them, none at all turns the envelope off.
void checkEnvelope(Envelope& envelope, uint32_t count, LoadState& state) {
    envelope.count = static_cast<uint8_t>(state.atMost(count, kEnvelopePoints));
    for (uint32_t p = envelope.count; p < kEnvelopePoints; ++p) envelope.points[p] = EnvelopePoint{};
    if (envelope.count == 0 && envelope.on) {
        envelope.on = false;
        state.clamped = true;
    }
    checkLoop(envelope.loopOn, envelope.loopStart, envelope.loopEnd, envelope.count, state);
    checkLoop(envelope.sustainOn, envelope.sustain, envelope.sustainEnd, envelope.count, state);
}

// New-format envelope (82 bytes): flags (bit 0 on, 1 loop, 2 sustain loop, 3 carry; bit 7 of the pitch
// envelope: a filter envelope), point count, loop start and end, sustain start and end, 25
// points of a value byte (0..64, or -32..32 for panning and pitch) and a 16-bit tick. Returns
// the flags.
uint8_t readEnvelope(ByteReader& file, Envelope& envelope, bool centred, LoadState& state) {
    const uint8_t flags = file.readByte();
    envelope.on = (flags & 1) != 0;
    envelope.loopOn = (flags & 2) != 0;
    envelope.sustainOn = (flags & 4) != 0;
    envelope.carry = (flags & 8) != 0;
    const uint8_t count = file.readByte();
    envelope.loopStart = file.readByte();
    envelope.loopEnd = file.readByte();
    envelope.sustain = file.readByte();
    envelope.sustainEnd = file.readByte();
    // Values count only for the points in use: the rest are whatever the editor left there.
    for (uint32_t p = 0; p < kEnvelopePoints; ++p) {
        const uint8_t value = file.readByte();
        const uint16_t tick = file.readLittleEndian16();
        if (p >= count) continue;
        EnvelopePoint& point = envelope.points[p];
        point.tick = tick;
        if (centred) {
            const int32_t v = std::clamp<int32_t>(static_cast<int8_t>(value), -32, 32);
            if (v != static_cast<int8_t>(value)) state.clamped = true;
            point.value = static_cast<uint16_t>(v + 32);
        } else {
            point.value = static_cast<uint16_t>(state.atMost(value, kMaxVolume));
        }
    }
    file.readByte();  // padding
    checkEnvelope(envelope, count, state);
    return flags;
}

// The keyboard table: 120 pairs of (note, sample). A note out of range plays the key's own. A
// sample number the file lacks is kept: such a key ends the playing note, where 0 does nothing.
void readKeyboard(ByteReader& file, Instrument& instrument) {
    for (uint32_t key = 0; key < kInstrumentNotes; ++key) {
        const uint8_t note = file.readByte();
        const uint8_t sample = file.readByte();
        instrument.noteOfNote[key] = static_cast<uint8_t>(note < kInstrumentNotes ? note : key);
        instrument.sampleOfNote[key] = sample;
    }
}

// Old instrument (before IT 2.00): flags (bit 0 volume envelope, 1 loop, 2 sustain loop), loop
// start and end, sustain start and end (point indexes), fadeout (counts in halves), NNA, DNC
// (duplicate note check on or off), the name, the keyboard, a 200-byte volume curve (not read:
// the points say the same) and 25 points of (tick byte, value byte), tick 255 ending them.
void readOldInstrument(ByteReader& file, int64_t offset, Instrument& instrument, LoadState& state) {
    file.seek(offset + 0x11);
    const uint8_t flags = file.readByte();
    Envelope& volume = instrument.volume;
    volume.on = (flags & 1) != 0;
    volume.loopOn = (flags & 2) != 0;
    volume.sustainOn = (flags & 4) != 0;
    volume.loopStart = file.readByte();
    volume.loopEnd = file.readByte();
    volume.sustain = file.readByte();
    volume.sustainEnd = file.readByte();
    file.seek(offset + 0x18);
    instrument.fadeout = static_cast<uint16_t>(state.atMost(file.readLittleEndian16() * 2u, kMaxFadeout));
    const uint8_t action = file.readByte();
    instrument.newNoteAction = action <= kNnaNoteFade ? action : uint8_t{kNnaCut};
    if (file.readByte() != 0) {
        instrument.duplicateCheck = kDctNote;
        instrument.duplicateAction = kDcaCut;
    }
    file.seek(offset + 0x20);
    readText(file, 26, instrument.name);
    file.seek(offset + 0x40);
    readKeyboard(file, instrument);
    file.seek(offset + 0x1F8);
    uint32_t count = 0;
    for (; count < kEnvelopePoints; ++count) {
        const uint8_t tick = file.readByte();
        const uint8_t value = file.readByte();
        if (tick == 0xFF) break;
        volume.points[count].tick = tick;
        volume.points[count].value = static_cast<uint16_t>(state.atMost(value, kMaxVolume));
    }
    checkEnvelope(volume, count, state);
}

// New instrument: NNA, DCT, DCA, fadeout (16-bit), pitch-pan separation (signed) and centre,
// global volume, default pan (bit 7: not used), random volume and panning, the name, initial
// filter cutoff and resonance (bit 7: used), MIDI fields, the keyboard and three envelopes.
void readNewInstrument(ByteReader& file, int64_t offset, Instrument& instrument, LoadState& state) {
    file.seek(offset + 0x11);
    // Values other trackers define (or none does) act as the first.
    const auto action = [&](uint8_t last) {
        const uint8_t value = file.readByte();
        return value <= last ? value : uint8_t{0};
    };
    instrument.newNoteAction = action(kNnaNoteFade);
    instrument.duplicateCheck = action(kDctInstrument);
    instrument.duplicateAction = action(kDcaNoteFade);
    instrument.fadeout = static_cast<uint16_t>(state.atMost(file.readLittleEndian16(), kMaxFadeout));
    const int32_t separation = static_cast<int8_t>(file.readByte());
    instrument.pitchPanSeparation = static_cast<int8_t>(std::clamp(separation, -32, 32));
    if (separation != instrument.pitchPanSeparation) state.clamped = true;
    instrument.pitchPanCentre = static_cast<uint8_t>(state.atMost(file.readByte(), kInstrumentNotes - 1));
    instrument.globalVolume = static_cast<uint8_t>(state.atMost(file.readByte(), kMaxGlobalVolume));
    const uint8_t pan = file.readByte();
    instrument.defaultPanningSet = (pan & 128) == 0;
    instrument.defaultPanning = static_cast<uint8_t>(state.atMost(pan & 127u, 64));
    instrument.randomVolume = static_cast<uint8_t>(state.atMost(file.readByte(), 100));
    instrument.randomPanning = static_cast<uint8_t>(state.atMost(file.readByte(), 64));
    file.seek(offset + 0x20);
    readText(file, 26, instrument.name);
    const uint8_t cutoff = file.readByte();
    const uint8_t resonance = file.readByte();
    instrument.filterCutoffSet = (cutoff & 128) != 0;
    instrument.filterCutoff = cutoff & 127;
    instrument.filterResonanceSet = (resonance & 128) != 0;
    instrument.filterResonance = resonance & 127;
    file.seek(offset + 0x40);
    readKeyboard(file, instrument);
    readEnvelope(file, instrument.volume, false, state);
    readEnvelope(file, instrument.panning, true, state);
    instrument.filterEnvelope = (readEnvelope(file, instrument.pitch, true, state) & 128) != 0;
}

// ---- Samples ----------------------------------------------------------------------------------

// A loop of the flag's kind, kept when start < end <= length.
void setLoop(bool on, uint32_t start, uint32_t end, uint32_t length, uint32_t& outStart, uint32_t& outEnd,
             LoadState& state) {
    outStart = 0;
    outEnd = 0;
    if (!on) return;
    if (start < end && end <= length) {
        outStart = start;
        outEnd = end;
    } else {
        state.clamped = true;
    }
}

// The sample cut to the frames the file holds; loops reaching past them end with them, and go
// when nothing of them is left. (cutToFrames would drop a loop of frames 0..2 as a MOD's "none".)
void cutSample(Sample& sample, uint64_t frames) {
    if (frames < sample.length) {
        sample.length = static_cast<uint32_t>(frames);
        const auto cut = [&](uint32_t& start, uint32_t& end) {
            end = std::min(end, sample.length);
            if (start >= end) start = end = 0;
        };
        cut(sample.loopStart, sample.loopEnd);
        cut(sample.sustainStart, sample.sustainEnd);
        if (sample.loopEnd == 0) sample.pingPong = false;
        if (sample.sustainEnd == 0) sample.sustainPingPong = false;
    }
    sample.data.resize(sample.length);
}

// Sample header (80 bytes): "IMPS", file name, 0, global volume, flags, volume, name (26),
// conversion, default pan (bit 7: used), length, loop start and end, C5Speed, sustain loop start
// and end (frames; ends exclusive), data offset, auto-vibrato speed, depth, rate and waveform.
void readSampleHeader(ByteReader& file, int64_t offset, Sample& sample, PendingData& pending,
                      LoadState& state) {
    file.seek(offset + 0x11);
    sample.globalVolume = static_cast<uint8_t>(state.atMost(file.readByte(), kMaxVolume));
    pending.flags = file.readByte();
    sample.volume = state.atMost(file.readByte(), kMaxVolume);
    readText(file, 26, sample.name);
    pending.convert = file.readByte();
    const uint8_t pan = file.readByte();
    sample.panningSet = (pan & 128) != 0;
    sample.panning = static_cast<uint8_t>(std::min(255u, (pan & 127u) * 4));
    const uint32_t length = file.readLittleEndian32();
    const uint32_t loopStart = file.readLittleEndian32();
    const uint32_t loopEnd = file.readLittleEndian32();
    sample.baseFrequency = state.atMost(file.readLittleEndian32(), kMaxC5Speed);
    sample.basePeriod = frequencyToBasePeriod(sample.baseFrequency);
    const uint32_t sustainStart = file.readLittleEndian32();
    const uint32_t sustainEnd = file.readLittleEndian32();
    pending.offset = file.readLittleEndian32();
    // Speed, depth and rate as read: the tracker's own files go past the documented 64.
    sample.vibratoSpeed = file.readByte();
    sample.vibratoDepth = file.readByte();
    sample.vibratoRate = file.readByte();
    sample.vibratoType = static_cast<uint8_t>(state.atMost(file.readByte(), 3));

    if ((pending.flags & kSampleHasData) == 0) return;  // a header without data: silent
    sample.length = length;
    sample.sixteenBit = (pending.flags & kSample16Bit) != 0;
    setLoop((pending.flags & kSampleLoop) != 0, loopStart, loopEnd, length, sample.loopStart, sample.loopEnd,
            state);
    sample.pingPong = sample.loopEnd != 0 && (pending.flags & kSamplePingPong) != 0;
    setLoop((pending.flags & kSampleSustain) != 0, sustainStart, sustainEnd, length, sample.sustainStart,
            sample.sustainEnd, state);
    sample.sustainPingPong = sample.sustainEnd != 0 && (pending.flags & kSampleSustainPingPong) != 0;
}

// Plain frames from offset: 8-bit v as v * 256, 16-bit little-endian; unsigned data (conversion
// bit 0 clear) centred. Returns the frames the file holds.
size_t readPlainFrames(ByteReader& file, int64_t offset, bool sixteenBit, bool unsignedData,
                       std::span<int16_t> out) {
    const int64_t frameBytes = sixteenBit ? 2 : 1;
    const size_t held = static_cast<size_t>(
        std::clamp<int64_t>((file.size() - offset) / frameBytes, 0, static_cast<int64_t>(out.size())));
    file.seek(offset);
    for (size_t i = 0; i < held; ++i) {
        if (sixteenBit) {
            const uint16_t u = file.readLittleEndian16();
            out[i] = static_cast<int16_t>(unsignedData ? int32_t{u} - 32768 : static_cast<int16_t>(u));
        } else {
            const uint8_t u = file.readByte();
            out[i] =
                static_cast<int16_t>(unsignedData ? (int32_t{u} - 128) * 256 : static_cast<int8_t>(u) * 256);
        }
    }
    return held;
}

// Nibble-packed 8-bit frames (conversion byte 0xFF, as one tracker family writes them): a table
// of 16 signed steps, then a nibble per frame, low nibble first. Returns the frames the file holds.
size_t readNibbleFrames(ByteReader& file, int64_t offset, std::span<int16_t> out) {
    const size_t held = static_cast<size_t>(
        std::clamp<int64_t>((file.size() - offset - kNibbleTable) * 2, 0, static_cast<int64_t>(out.size())));
    int8_t table[kNibbleTable];
    file.seek(offset);
    file.read(reinterpret_cast<uint8_t*>(table), kNibbleTable);
    int8_t value = 0;
    uint8_t byte = 0;
    for (size_t i = 0; i < held; ++i) {
        if (i % 2 == 0) byte = file.readByte();
        value = static_cast<int8_t>(value + table[i % 2 == 0 ? byte & 15 : byte >> 4]);
        out[i] = static_cast<int16_t>(value * 256);
    }
    return held;
}

// One channel of a sample of length frames from offset: plain, nibble-packed or packed. Reads
// into out (at most length frames); returns the frames read and where the channel's data ends
// by the file's own sizes.
size_t readChannel(ByteReader& file, int64_t offset, uint32_t length, const PendingData& pending,
                   std::span<int16_t> out, int64_t& end, LoadState& state) {
    const bool sixteenBit = (pending.flags & kSample16Bit) != 0;
    if ((pending.flags & kSamplePacked) != 0) {
        const ItPackedResult packed =
            unpackItSample(file, offset, sixteenBit, (pending.convert & kDoubleDelta) != 0, out);
        if (packed.damaged) state.clamped = true;
        end = std::max(packed.end, offset + 2);
        return packed.frames;
    }
    if (pending.convert == kNibbleDeltas && !sixteenBit) {
        end = offset + kNibbleTable + (int64_t{length} + 1) / 2;
        return readNibbleFrames(file, offset, out);
    }
    end = offset + int64_t{length} * (sixteenBit ? 2 : 1);
    return readPlainFrames(file, offset, sixteenBit, (pending.convert & kSignedData) == 0, out);
}

// The sample's data: its frames (a stereo sample's left half, then its right one), cut to what
// the file holds and the budget grants. A stereo sample is kept as the average of its halves.
void readSampleData(ByteReader& file, const PendingData& pending, Sample& sample, LoadState& state) {
    if (sample.length == 0) return;
    const bool stereo = (pending.flags & kSampleStereo) != 0;
    const bool packed = (pending.flags & kSamplePacked) != 0;
    const int64_t left = std::max<int64_t>(0, state.size - pending.offset);
    // A packed frame takes at least a bit, a nibble-packed one half a byte, a plain one a byte.
    const int64_t perByte = packed ? 8 : pending.convert == kNibbleDeltas ? 2 : 1;
    const int64_t wanted = std::min<int64_t>(sample.length, left * perByte);
    const int64_t channels = stereo ? 2 : 1;
    const int64_t granted = state.budget.takeUpTo(wanted * channels, sizeof(int16_t)) / channels;
    if (granted < wanted) state.clamped = true;
    sample.data.assign(static_cast<size_t>(granted), 0);
    int64_t end = pending.offset;
    size_t frames = readChannel(file, pending.offset, sample.length, pending, sample.data, end, state);
    if (stereo) {
        std::vector<int16_t> right(static_cast<size_t>(granted), 0);
        const size_t rightFrames = readChannel(file, end, sample.length, pending, right, end, state);
        frames = std::min(frames, rightFrames);
        for (size_t i = 0; i < frames; ++i) {
            sample.data[i] = static_cast<int16_t>((int32_t{sample.data[i]} + right[i]) / 2);
        }
    }
    state.reaches(end);
    cutSample(sample, frames);
}

// ---- Patterns ---------------------------------------------------------------------------------

void setNote(NoteCell& cell, uint8_t note) {
    if (note < kInstrumentNotes) {
        cell.xmNote = static_cast<uint8_t>(note + 1);
        const int entry = note + kFirstNoteEntry;
        cell.period = entry < kPeriodCount ? PeriodTable[entry].period : 0;
        cell.note = static_cast<int8_t>(entry % 12);
        cell.octave = static_cast<int8_t>(entry / 12);
        return;
    }
    cell.xmNote = note == 255 ? kItNoteOff : note == 254 ? kItNoteCut : kItNoteFade;
    cell.period = kNoteOff;
    const int32_t index = noteIndex(cell.period);
    cell.note = static_cast<int8_t>(index % 12);
    cell.octave = static_cast<int8_t>(index / 12);
}

// What each channel last read, for the mask bits that repeat it.
struct ChannelMemory {
    uint8_t mask = 0;
    uint8_t note = 0;
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t command = 0;
    uint8_t param = 0;
};

// Packed rows: a channel byte (0 ends the row; bits 0-5 channel + 1; bit 7: a new mask follows),
// then what the mask announces: bit 0 note, 1 instrument, 2 volume column, 3 command and value;
// bits 4-7 repeat the channel's last note, instrument, volume, command. Data that ends early
// leaves the rest of the pattern empty. Returns the highest channel given a cell, or -1.
int32_t unpackPattern(const std::vector<uint8_t>& data, uint32_t rows, Module& module, uint32_t pattern,
                      LoadState& state) {
    std::array<ChannelMemory, kChannels> memory{};
    int32_t highest = -1;
    size_t at = 0;
    const auto next = [&]() -> uint8_t { return at < data.size() ? data[at++] : (++at, 0); };
    uint32_t row = 0;
    while (row < rows && at < data.size()) {
        const uint8_t marker = next();
        if (marker == 0) {
            ++row;
            continue;
        }
        const uint32_t channel = (marker - 1u) & 63u;
        ChannelMemory& m = memory[channel];
        if ((marker & 128) != 0) m.mask = next();
        const uint8_t mask = m.mask;
        if ((mask & 1) != 0) m.note = next();
        if ((mask & 2) != 0) m.instrument = next();
        if ((mask & 4) != 0) m.volume = next();
        if ((mask & 8) != 0) {
            m.command = next();
            m.param = next();
        }
        if (mask == 0) continue;
        if (!state.budget.take(sizeof(NoteCell))) {
            state.clamped = true;
            return highest;
        }
        NoteCell cell;
        cell.row = row;
        cell.channel = channel;
        if ((mask & (1 | 16)) != 0) setNote(cell, m.note);
        if ((mask & (2 | 32)) != 0) cell.sample = m.instrument;
        if ((mask & (4 | 64)) != 0) {
            const ItVolumeColumn volume = mapItVolumeColumn(m.volume);
            cell.volumeCommand = volume.command;
            cell.volumeParam = volume.param;
        }
        if ((mask & (8 | 128)) != 0 && m.command >= 1 && m.command <= 26) {
            cell.effect = itEffect(static_cast<char>('A' + m.command - 1));
            cell.param = m.param;
        }
        insertCell(module, pattern, cell);
        highest = std::max(highest, static_cast<int32_t>(channel));
    }
    return highest;
}

// Pattern at offset: packed length, rows (1..200; up to 256 taken), 4 unused bytes, data.
// Returns the highest channel it uses, or -1.
int32_t readPattern(ByteReader& file, int64_t offset, uint32_t pattern, Module& module, LoadState& state) {
    state.reaches(offset + kPatternHeaderBytes);
    if (offset >= state.size) return -1;  // not in the file: it stays empty
    file.seek(offset);
    const uint16_t length = file.readLittleEndian16();
    uint32_t rows = file.readLittleEndian16();
    if (rows == 0 || rows > kMaxRowsPerPattern) {
        state.clamped = true;
        rows = rows == 0 ? kRowsPerPattern : kMaxRowsPerPattern;
    }
    module.patternRows[pattern] = static_cast<uint16_t>(rows);
    const int64_t start = offset + kPatternHeaderBytes;
    state.reaches(start + length);
    int64_t walk = std::clamp<int64_t>(state.size - start, 0, length);
    if (walk > state.unpackLeft) {
        // Patterns sharing their data to multiply it: the rest stays empty.
        state.clamped = true;
        walk = std::max<int64_t>(state.unpackLeft, 0);
    }
    state.unpackLeft -= walk;
    std::vector<uint8_t> data(static_cast<size_t>(walk));
    file.seek(start);
    file.read(data.data(), data.size());
    const int32_t highest = unpackPattern(data, rows, module, pattern, state);
    module.patterns[pattern].shrink_to_fit();
    return highest;
}

// ---- Header parts -----------------------------------------------------------------------------

// The message: its bytes up to a zero, CR (and CR LF) ending lines.
void readMessage(ByteReader& file, int64_t offset, uint32_t length, Module& module, LoadState& state) {
    state.reaches(offset + length);
    const int64_t held = std::clamp<int64_t>(state.size - offset, 0, length);
    file.seek(offset);
    std::string text;
    text.reserve(static_cast<size_t>(held));
    uint8_t previous = 0;
    for (int64_t i = 0; i < held; ++i) {
        const uint8_t byte = file.readByte();
        if (byte == 0) break;
        const bool pairedLineFeed = byte == '\n' && previous == '\r';
        previous = byte;
        if (pairedLineFeed) continue;
        text.push_back(byte == '\r' || byte == '\n' ? '\n' : static_cast<char>(convertTextByte(byte)));
    }
    module.message = std::move(text);
}

// The MIDI configuration: 9 global macros, then those of SF0..SFF and Z80..ZFF, 32 bytes each.
void readMidiConfig(ByteReader& file, int64_t offset, Module& module, LoadState& state) {
    state.reaches(offset + kMidiConfigBytes);
    if (offset + kMidiConfigBytes > state.size) return;  // cut off: the defaults stay
    const auto macroAt = [&](int64_t index) {
        char text[kMacroBytes + 1] = {};
        file.seek(offset + index * kMacroBytes);
        file.read(reinterpret_cast<uint8_t*>(text), kMacroBytes);
        return parseItMacro(text);
    };
    for (int64_t i = 0; i < 16; ++i) {
        const ItMacro macro = macroAt(kGlobalMacros + i);
        module.parametricMacros[i] = macro.parametric ? macro.macro.kind : uint8_t{kMacroNone};
    }
    for (int64_t i = 0; i < 128; ++i) {
        const ItMacro macro = macroAt(kGlobalMacros + 16 + i);
        module.fixedMacros[i] = macro.parametric ? FixedMacro{} : macro.macro;
    }
}

// Channel panning and volume (64 each, for the channels in use) and the gains of the panning.
void setChannels(ByteReader& file, bool stereo, Module& module, LoadState& state) {
    const uint32_t channels = module.channelCount;
    module.channelPanning.assign(channels, 32);
    module.channelVolume.assign(channels, 64);
    module.panLeft.assign(channels, kCentreGain);
    module.panRight.assign(channels, kCentreGain);
    file.seek(0x40);
    for (uint32_t c = 0; c < channels; ++c) {
        const uint8_t byte = file.readByte();
        const uint8_t muted = byte & kChannelMuted;
        uint8_t pan = byte & 127;
        if (pan > 64 && pan != kChannelSurround) {
            state.clamped = true;
            pan = 32;
        }
        // A mono song sounds from the middle whatever its channels say.
        if (!stereo) pan = 32;
        module.channelPanning[c] = static_cast<uint8_t>(pan | muted);
        if (pan <= 64) {
            module.panLeft[c] = (64 - pan) * 16;
            module.panRight[c] = pan * 16;
        }
    }
    file.seek(0x80);
    for (uint32_t c = 0; c < channels; ++c)
        module.channelVolume[c] = static_cast<uint8_t>(state.atMost(file.readByte(), 64));
}

// How many 32-bit entries of a table at offset the file holds, up to wanted.
uint32_t entriesHeld(int64_t fileSize, int64_t offset, uint32_t wanted) {
    return static_cast<uint32_t>(std::clamp<int64_t>((fileSize - offset) / 4, 0, wanted));
}

uint32_t readOffset(ByteReader& file, int64_t table, uint32_t index) {
    file.seek(table + 4 * int64_t{index});
    return file.readLittleEndian32();
}

// The orders as played: markers dropped, ended at the first end marker. Bxx parameters are
// lowered by the markers dropped before their target.
void setOrders(const std::vector<uint8_t>& stored, Module& module) {
    std::vector<uint8_t> dropped(stored.size() + 1, 0);  // markers before each position
    uint8_t markers = 0;
    bool ended = false;
    for (size_t i = 0; i < stored.size(); ++i) {
        dropped[i] = markers;
        if (ended) continue;
        if (stored[i] == kOrderEnd) {
            ended = true;
        } else if (stored[i] == kOrderSkip) {
            markers = static_cast<uint8_t>(std::min(255, markers + 1));
        } else {
            module.orders.push_back(stored[i]);
        }
    }
    dropped[stored.size()] = markers;
    module.songLength = static_cast<uint32_t>(module.orders.size());
    if (markers == 0) return;
    for (Pattern& pattern : module.patterns) {
        for (NoteCell& cell : pattern) {
            if (cell.effect != itEffect('B')) continue;
            cell.param =
                static_cast<uint8_t>(cell.param - dropped[std::min<size_t>(cell.param, stored.size())]);
        }
    }
}

}  // namespace

bool hasItMark(ByteReader& file) {
    const bool marked = markAt(file, 0, kMark);
    file.seek(0);
    return marked;
}

ItVolumeColumn mapItVolumeColumn(uint8_t byte) {
    const auto command = [byte](uint8_t code, uint8_t first) {
        return ItVolumeColumn{code, static_cast<uint8_t>(byte - first)};
    };
    if (byte <= 64) return command(kVolumeSet, 0);
    if (byte <= 74) return command(kVolumeFineUp, 65);
    if (byte <= 84) return command(kVolumeFineDown, 75);
    if (byte <= 94) return command(kVolumeSlideUp, 85);
    if (byte <= 104) return command(kVolumeSlideDown, 95);
    if (byte <= 114) return command(kVolumeItPortaDown, 105);
    if (byte <= 124) return command(kVolumeItPortaUp, 115);
    if (byte < 128) return {kVolumeNone, 0};
    if (byte <= 192) return command(kVolumeItPanning, 128);
    if (byte <= 202) return command(kVolumeItTonePorta, 193);
    if (byte <= 212) return command(kVolumeItVibrato, 203);
    return {kVolumeNone, 0};
}

ItMacro parseItMacro(std::string_view text) {
    std::string packed;
    for (char c : text) {
        if (c == 0) break;
        if (c == ' ') continue;
        packed.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    ItMacro result;
    const bool cutoff = packed.starts_with("F0F000");
    const bool resonance = packed.starts_with("F0F001");
    if (!cutoff && !resonance) return result;
    const uint8_t kind = cutoff ? kMacroCutoff : kMacroResonance;
    const std::string_view rest = std::string_view(packed).substr(6);
    if (rest == "Z") {
        result.macro.kind = kind;
        result.parametric = true;
        return result;
    }
    const auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    if (rest.size() != 2 || hex(rest[0]) < 0 || hex(rest[1]) < 0) return result;
    result.macro.kind = kind;
    result.macro.value = static_cast<uint8_t>(std::min(127, hex(rest[0]) * 16 + hex(rest[1])));
    return result;
}

std::string itWriterOf(uint16_t cwt, uint32_t reserved) {
    const uint32_t kind = cwt >> 12;
    const uint32_t low = cwt & 0x0FFFu;
    char text[40];
    if (kind == 0 && cwt >= 0x0100 && cwt < 0x0300) {
        std::snprintf(text, sizeof text, "Impulse Tracker %X.%02X", low >> 8, low & 0xFFu);
    } else if (kind == 1 && (cwt == 0x1FFF || low > 0x050)) {
        // Schism Tracker counts days since its first release, in the word or (when full) in
        // the reserved bytes.
        const uint32_t days = cwt == 0x1FFF ? reserved : low - 0x050;
        using namespace std::chrono;
        const year_month_day date{sys_days{year{2009} / October / 31} + std::chrono::days{days}};
        std::snprintf(text, sizeof text, "Schism Tracker %04d-%02u-%02u", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    } else if (kind == 1) {
        std::snprintf(text, sizeof text, "Schism Tracker %X.%02X", low >> 8, low & 0xFFu);
    } else if (kind == 5) {
        std::snprintf(text, sizeof text, "OpenMPT %X.%02X", low >> 8, low & 0xFFu);
    } else {
        std::snprintf(text, sizeof text, "Cwt/v 0x%04X", unsigned{cwt});
    }
    return text;
}

bool loadIt(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
            std::string_view /*extension*/) {
    result = kResultOk;
    sizeDetail = 0;
    if (!hasItMark(file)) {
        result = kResultUnsupported;
        return false;
    }
    LoadState state(file.size());
    state.reaches(kHeaderBytes);

    // Header: "IMPM", title (26), highlight (2), order, instrument, sample and pattern counts,
    // Cwt/v, Cmwt, flags, special (2 each), global volume, mix volume, speed, tempo, separation,
    // pitch wheel depth (1 each), message length (2) and offset (4), reserved (4), then the
    // channel pannings and volumes.
    file.seek(4);
    readText(file, 26, module.title);
    file.seek(0x20);
    const uint16_t orderCount = file.readLittleEndian16();
    const uint16_t instrumentCount = file.readLittleEndian16();
    const uint16_t sampleCount = file.readLittleEndian16();
    const uint16_t patternCount = file.readLittleEndian16();
    const uint16_t cwt = file.readLittleEndian16();
    const uint16_t cmwt = file.readLittleEndian16();
    const uint16_t flags = file.readLittleEndian16();
    const uint16_t special = file.readLittleEndian16();
    module.initialGlobalVolume = static_cast<uint8_t>(state.atMost(file.readByte(), kMaxGlobalVolume));
    module.mixVolume = static_cast<uint8_t>(state.atMost(file.readByte(), kMaxGlobalVolume));
    module.initialSpeed = file.readByte();
    module.initialTempo = file.readByte();
    module.panSeparation = static_cast<uint8_t>(state.atMost(file.readByte(), kMaxGlobalVolume));
    file.readByte();  // pitch wheel depth: MIDI only
    const uint16_t messageLength = file.readLittleEndian16();
    const uint32_t messageOffset = file.readLittleEndian32();
    const uint32_t reserved = file.readLittleEndian32();

    module.formatType = kFormatIt;
    module.rules = rulesOf(kFormatIt);
    module.rules.oldEffects = (flags & kOldEffects) != 0;
    module.rules.compatibleGxx = (flags & kCompatibleGxx) != 0;
    module.rules.linkedMemory = !module.rules.compatibleGxx;
    module.instrumentMode = (flags & kUseInstruments) != 0;
    module.linearFrequency = (flags & kLinearSlides) != 0;
    module.globalVolume = 64;  // unity: IT's own global volume is initialGlobalVolume
    module.signature.assign("IMPM");
    char tracker[40];
    std::snprintf(tracker, sizeof tracker, "Impulse Tracker V%X.%02X", (cmwt >> 8) & 0xFFu, cmwt & 0xFFu);
    module.trackerName.assign(tracker);
    module.writtenBy.assign(itWriterOf(cwt, reserved));
    setDefaultMacros(module);

    // The tables after the header, at offsets fixed by the counts.
    const int64_t instrumentTable = kHeaderBytes + orderCount;
    const int64_t sampleTable = instrumentTable + 4 * int64_t{instrumentCount};
    const int64_t patternTable = sampleTable + 4 * int64_t{sampleCount};
    const int64_t tablesEnd = patternTable + 4 * int64_t{patternCount};
    state.reaches(tablesEnd);

    std::vector<uint8_t> storedOrders(
        static_cast<size_t>(std::clamp<int64_t>(state.size - kHeaderBytes, 0, orderCount)));
    file.seek(kHeaderBytes);
    file.read(storedOrders.data(), storedOrders.size());

    // Samples first: the instruments' keyboards name them.
    const uint32_t samples = entriesHeld(state.size, sampleTable, sampleCount);
    const uint32_t keptSamples = static_cast<uint32_t>(state.budget.takeUpTo(samples, sizeof(Sample)));
    if (keptSamples < samples) state.clamped = true;
    module.samples.resize(keptSamples);
    module.sampleCount = keptSamples;
    std::vector<PendingData> pending(keptSamples);
    for (uint32_t s = 0; s < keptSamples; ++s) {
        const int64_t offset = readOffset(file, sampleTable, s);
        state.reaches(offset + kSampleHeaderBytes);
        if (offset == 0 || offset >= state.size) continue;  // not in the file: an empty sample
        if (!markAt(file, offset, "IMPS")) {
            state.clamped = true;  // an offset to something else
            continue;
        }
        readSampleHeader(file, offset, module.samples[s], pending[s], state);
    }

    if (module.instrumentMode) {
        const uint32_t instruments = entriesHeld(state.size, instrumentTable, instrumentCount);
        const uint32_t kept = static_cast<uint32_t>(state.budget.takeUpTo(instruments, sizeof(Instrument)));
        if (kept < instruments) state.clamped = true;
        module.instruments.resize(kept);
        for (uint32_t i = 0; i < kept; ++i) {
            const int64_t offset = readOffset(file, instrumentTable, i);
            state.reaches(offset + kInstrumentBytes);
            if (offset == 0 || offset >= state.size) continue;
            if (!markAt(file, offset, "IMPI")) {
                state.clamped = true;
                continue;
            }
            Instrument& instrument = module.instruments[i];
            if (cmwt >= kNewInstrumentVersion) {
                readNewInstrument(file, offset, instrument, state);
            } else {
                readOldInstrument(file, offset, instrument, state);
            }
        }
    }

    // Patterns the orders name beyond those the file stores are empty ones.
    uint32_t patterns = entriesHeld(state.size, patternTable, patternCount);
    for (uint8_t order : storedOrders) {
        if (order < kOrderSkip) patterns = std::max<uint32_t>(patterns, order + 1u);
    }
    const uint32_t wantedPatterns = patterns;
    patterns = static_cast<uint32_t>(state.budget.takeUpTo(patterns, sizeof(Pattern) + sizeof(uint16_t)));
    if (patterns < wantedPatterns) state.clamped = true;
    module.patternCount = patterns;
    module.patterns.resize(patterns);
    module.patternRows.assign(patterns, static_cast<uint16_t>(kRowsPerPattern));
    int32_t highestChannel = 0;
    const uint32_t storedPatterns = std::min<uint32_t>(patterns, patternCount);
    for (uint32_t p = 0; p < storedPatterns; ++p) {
        const int64_t offset = readOffset(file, patternTable, p);
        if (offset == 0) continue;  // an empty pattern of 64 rows
        highestChannel = std::max(highestChannel, readPattern(file, offset, p, module, state));
    }
    setOrders(storedOrders, module);
    // The sample data last: the song's structure is never starved of budget by it.
    for (uint32_t s = 0; s < keptSamples; ++s) readSampleData(file, pending[s], module.samples[s], state);
    for (uint32_t order : module.orders) {
        if (order >= module.patternCount) state.clamped = true;  // beyond the budget: plays as empty
    }

    module.channelCount = static_cast<uint32_t>(highestChannel) + 1;
    module.stereo = (flags & kStereo) != 0;
    setChannels(file, module.stereo, module, state);

    if ((special & kHasMessage) != 0 && messageLength > 0)
        readMessage(file, messageOffset, messageLength, module, state);
    int64_t afterTables = tablesEnd;
    if ((special & kHasHistory) != 0) {
        file.seek(afterTables);
        afterTables += 2 + kHistoryEntryBytes * file.readLittleEndian16();
        state.reaches(afterTables);
    }
    if ((special & kHasMidiConfig) != 0) readMidiConfig(file, afterTables, module, state);

    if (state.declaredEnd > state.size) {
        result = kResultSizeMismatch;
        sizeDetail = -static_cast<int32_t>(std::min<int64_t>(state.declaredEnd - state.size, INT32_MAX));
    } else if (state.clamped) {
        result = kResultCorrupt;
    }
    return true;
}

}  // namespace tarvex
