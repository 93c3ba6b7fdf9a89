#include "formats/XmReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/AllocationBudget.h"
#include "formats/LoadResult.h"

namespace tarvex {

namespace {

constexpr std::string_view kMark = "Extended Module: ";
constexpr int64_t kHeaderSizeOffset = 60;
constexpr int64_t kHeaderFields = 20;  // header size, counts, flags, tempo: before the orders
constexpr uint32_t kOrderTable = 256;
constexpr uint32_t kMaxChannels = 32;
constexpr uint32_t kMaxPatterns = 256;
constexpr uint32_t kMaxInstruments = 128;
constexpr uint32_t kMaxSamplesPerInstrument = 256;  // the note map holds a byte
constexpr uint16_t kFirstNewVersion = 0x0104;       // patterns before instruments, data after each one
constexpr uint16_t kByteRowsVersion = 0x0102;       // rows as a byte (minus one) in the pattern header
constexpr int64_t kPatternHeader = 9;
constexpr int64_t kByteRowsPatternHeader = 8;
constexpr int64_t kInstrumentHead = 29;     // size, name, type, sample count
constexpr int64_t kInstrumentHeader = 243;  // all fields, when it has samples
constexpr int64_t kSampleHeader = 40;
constexpr uint8_t kLoopBits = 3;
constexpr uint8_t kPingPongBit = 2;
constexpr uint8_t kSixteenBitFlag = 16;
constexpr uint8_t kStereoFlag = 32;
// The reserved byte of a sample header marks 4-bit delta-table packing (a 16-byte table of signed
// steps, then one nibble per frame, low nibble first), as one tracker family writes it.
constexpr uint8_t kPackedNibbles = 0xAD;
constexpr uint32_t kNibbleTable = 16;
constexpr uint32_t kXmBaseFrequency = 8363;  // C-4 with relative note 0 and finetune 0
constexpr int32_t kCentreGain = 512;
// XM note 1 (C-0) is PeriodTable entry 24, so C-4 (49) is entry 72, period 428 (as S3M's C-4).
constexpr int kFirstNoteEntry = 24;

// What one load may allocate per byte of the file, as in the S3M reader. A real file needs a
// fraction of it: every cell, header and frame takes file bytes of its own.
constexpr int64_t kAllocationPerFileByte = 48;
constexpr int64_t kBudgetAllowance = 64 * 1024;

// What the reading of one file has found so far.
struct LoadState {
    explicit LoadState(int64_t fileSize)
        : size(fileSize), budget(kAllocationPerFileByte * fileSize + kBudgetAllowance) {}
    int64_t size;
    AllocationBudget budget;
    int64_t declaredEnd = 0;  // the furthest byte the file's own sizes reach
    bool clamped = false;     // a header value was out of range and was cut

    void reaches(int64_t end) { declaredEnd = std::max(declaredEnd, end); }
    // The declared size, or the minimum its fields need (noting the clamp).
    int64_t atLeast(uint32_t declared, int64_t minimum) {
        if (declared >= minimum) return declared;
        clamped = true;
        return minimum;
    }
};

// Sample data still to be read: its sample (or none: its data is only skipped), its bytes and type.
struct PendingData {
    int64_t sample = -1;
    uint32_t bytes = 0;
    uint8_t type = 0;
    bool nibbles = false;  // 4-bit delta-table packing
};

// Nibble-packed 8-bit frames: table, then two frames per byte.
void readNibbleFrames(ByteReader& file, Sample& sample) {
    int8_t table[kNibbleTable];
    file.read(reinterpret_cast<uint8_t*>(table), kNibbleTable);
    int8_t value = 0;
    uint8_t byte = 0;
    for (uint32_t i = 0; i < sample.length; ++i) {
        if (i % 2 == 0) byte = file.readByte();
        const uint8_t nibble = i % 2 == 0 ? byte & 15 : byte >> 4;
        value = static_cast<int8_t>(value + table[nibble]);
        sample.data[i] = static_cast<int16_t>(value * 256);
    }
}

// Delta-coded frames: each stored value is the difference to the one before, starting from 0.
// 8-bit frames become v * 256; a stereo sample stores its left channel first, all that is read.
void readSampleData(ByteReader& file, int64_t offset, const PendingData& pending, Sample& sample,
                    LoadState& state) {
    const bool sixteenBit = (pending.type & kSixteenBitFlag) != 0;
    const int64_t frameBytes = (sixteenBit ? 2 : 1) * ((pending.type & kStereoFlag) != 0 ? 2 : 1);
    const int64_t held = std::max<int64_t>(0, std::min<int64_t>(pending.bytes, state.size - offset));
    const int64_t frames = std::min<int64_t>(
        sample.length, pending.nibbles ? std::max<int64_t>(0, held - kNibbleTable) * 2 : held / frameBytes);
    const int64_t granted = state.budget.takeUpTo(frames, sizeof(int16_t));
    if (granted < frames) state.clamped = true;
    if (granted < sample.length) {
        sample.length = static_cast<uint32_t>(granted);
        if (sample.loopEnd > sample.length) sample.loopEnd = sample.length;
        if (sample.loopStart >= sample.loopEnd) {
            sample.loopStart = 0;
            sample.loopEnd = 0;
            sample.pingPong = false;
        }
    }
    sample.data.resize(sample.length);
    file.seek(offset);
    if (pending.nibbles) {
        readNibbleFrames(file, sample);
        return;
    }
    int16_t old16 = 0;
    int8_t old8 = 0;
    for (int16_t& frame : sample.data) {
        if (sixteenBit) {
            old16 = static_cast<int16_t>(old16 + static_cast<int16_t>(file.readLittleEndian16()));
            frame = old16;
        } else {
            old8 = static_cast<int8_t>(old8 + static_cast<int8_t>(file.readByte()));
            frame = static_cast<int16_t>(old8 * 256);
        }
    }
}

// Sample header (40 bytes): length, loop start, loop length (bytes, 4 each), volume, finetune,
// type (bits 0-1 loop: 1 forward, 2 ping-pong; bit 4 16-bit; bit 5 stereo), panning, relative
// note, reserved, name (22). Lengths and loops become frames.
Sample readSampleHeader(ByteReader& file, PendingData& pending) {
    Sample sample;
    pending.bytes = file.readLittleEndian32();
    const uint32_t loopStart = file.readLittleEndian32();
    const uint32_t loopLength = file.readLittleEndian32();
    sample.volume = file.readByte();
    sample.finetune128 = static_cast<int8_t>(file.readByte());
    pending.type = file.readByte();
    sample.panning = file.readByte();
    sample.panningSet = true;
    sample.relativeNote = static_cast<int8_t>(file.readByte());
    const uint8_t packing = file.readByte();
    readText(file, 22, sample.name);

    sample.sixteenBit = (pending.type & kSixteenBitFlag) != 0;
    if (packing == kPackedNibbles && !sample.sixteenBit) {
        // The length counts frames; the file holds the table and a byte per two frames.
        pending.nibbles = true;
        sample.length = pending.bytes;
        pending.bytes = static_cast<uint32_t>(kNibbleTable + (uint64_t{pending.bytes} + 1) / 2);
        pending.type = static_cast<uint8_t>(pending.type & ~kStereoFlag);
    }
    const uint32_t frameBytes = (sample.sixteenBit ? 2u : 1u) * ((pending.type & kStereoFlag) != 0 ? 2u : 1u);
    if (!pending.nibbles) sample.length = pending.bytes / frameBytes;
    const uint8_t loop = pending.type & kLoopBits;
    const uint64_t start = loopStart / frameBytes;
    const uint64_t end = std::min<uint64_t>(start + loopLength / frameBytes, sample.length);
    // A loop of no length, or one that starts at or past the end, is no loop.
    if (loop != 0 && start < end) {
        sample.loopStart = static_cast<uint32_t>(start);
        sample.loopEnd = static_cast<uint32_t>(end);
        sample.pingPong = (loop & kPingPongBit) != 0;
    }
    // The rate at which the sample plays C-4 (its relative note and finetune applied), so that the
    // sample window and the preview play it in tune with the song.
    const double semitones = sample.relativeNote + sample.finetune128 / 128.0;
    const double frequency = std::clamp(kXmBaseFrequency * std::exp2(semitones / 12.0), 1.0, 2e6);
    sample.baseFrequency = static_cast<uint32_t>(std::llround(frequency));
    sample.basePeriod = frequencyToBasePeriod(sample.baseFrequency);
    return sample;
}

// Twelve points of (tick, value), two words each.
void readEnvelopePoints(ByteReader& file, Envelope& envelope) {
    for (uint32_t i = 0; i < kXmEnvelopePoints; ++i) {
        envelope.points[i].tick = file.readLittleEndian16();
        envelope.points[i].value = file.readLittleEndian16();
    }
}

void setEnvelopeType(Envelope& envelope, uint8_t type) {
    envelope.on = (type & 1) != 0;
    envelope.sustainOn = (type & 2) != 0;
    envelope.loopOn = (type & 4) != 0;
}

void setEnvelopeCount(Envelope& envelope, uint8_t count, LoadState& state) {
    if (count > kXmEnvelopePoints) state.clamped = true;
    envelope.count = static_cast<uint8_t>(std::min<uint32_t>(count, kXmEnvelopePoints));
}

// One instrument at offset: its header, its samples' headers (appended to module.samples) and the
// data they announce (appended to pending). Returns the offset after the headers, or -1 when the
// instrument does not start within the file.
int64_t readInstrument(ByteReader& file, int64_t offset, Module& module, std::vector<PendingData>& pending,
                       LoadState& state) {
    if (offset >= state.size) return -1;
    if (!state.budget.take(sizeof(Instrument))) {
        state.clamped = true;
        return -1;
    }
    file.seek(offset);
    const uint32_t headerSize = file.readLittleEndian32();
    Instrument& instrument = module.instruments.emplace_back();
    readText(file, 22, instrument.name);
    file.readByte();  // type: meaningless
    const uint16_t sampleCount = file.readLittleEndian16();
    if (sampleCount == 0) {
        const int64_t end = offset + state.atLeast(headerSize, kInstrumentHead);
        state.reaches(end);
        return end;
    }

    const uint32_t sampleHeaderSize = file.readLittleEndian32();
    uint8_t map[kXmInstrumentNotes];
    file.read(map, kXmInstrumentNotes);
    readEnvelopePoints(file, instrument.volume);
    readEnvelopePoints(file, instrument.panning);
    const uint8_t volumePoints = file.readByte();
    const uint8_t panningPoints = file.readByte();
    setEnvelopeCount(instrument.volume, volumePoints, state);
    setEnvelopeCount(instrument.panning, panningPoints, state);
    instrument.volume.sustain = file.readByte();
    instrument.volume.loopStart = file.readByte();
    instrument.volume.loopEnd = file.readByte();
    instrument.panning.sustain = file.readByte();
    instrument.panning.loopStart = file.readByte();
    instrument.panning.loopEnd = file.readByte();
    setEnvelopeType(instrument.volume, file.readByte());
    setEnvelopeType(instrument.panning, file.readByte());
    instrument.vibratoType = file.readByte();
    instrument.vibratoSweep = file.readByte();
    instrument.vibratoDepth = file.readByte();
    instrument.vibratoRate = file.readByte();
    instrument.fadeout = file.readLittleEndian16();

    // The sample headers follow the declared instrument header, each at the declared stride.
    const int64_t stride = state.atLeast(sampleHeaderSize, kSampleHeader);
    int64_t at = offset + state.atLeast(headerSize, kInstrumentHeader);
    if (sampleCount > kMaxSamplesPerInstrument) state.clamped = true;
    instrument.firstSample = static_cast<uint32_t>(module.samples.size());
    for (uint32_t k = 0; k < sampleCount; ++k, at += stride) {
        state.reaches(at + stride);
        if (at >= state.size) break;  // the rest of the headers are not in the file
        file.seek(at);
        PendingData data;
        Sample sample = readSampleHeader(file, data);
        if (k < kMaxSamplesPerInstrument && state.budget.take(sizeof(Sample))) {
            data.sample = static_cast<int64_t>(module.samples.size());
            module.samples.push_back(sample);
            ++instrument.sampleCount;
        } else if (k < kMaxSamplesPerInstrument) {
            state.clamped = true;
        }
        pending.push_back(data);  // kept or not, its data lies in the way
    }
    for (uint32_t n = 0; n < kXmInstrumentNotes; ++n) {
        instrument.sampleOfNote[n] =
            map[n] < instrument.sampleCount ? static_cast<uint16_t>(instrument.firstSample + map[n] + 1) : 0;
    }
    return at;
}

// The data of the pending samples, one after another from offset. Returns the offset after them.
int64_t readPendingData(ByteReader& file, int64_t offset, const std::vector<PendingData>& pending,
                        Module& module, LoadState& state) {
    for (const PendingData& data : pending) {
        if (data.sample >= 0) readSampleData(file, offset, data, module.samples[data.sample], state);
        offset += data.bytes;
        state.reaches(offset);
    }
    return offset;
}

NoteCell makeCell(uint32_t row, uint32_t channel, const uint8_t bytes[5]) {
    NoteCell cell;
    cell.row = row;
    cell.channel = channel;
    const uint8_t note = bytes[0];
    if (note >= 1 && note <= kXmLastNote) {
        cell.xmNote = note;
        cell.period = PeriodTable[note - 1 + kFirstNoteEntry].period;
    } else if (note == kXmKeyOff) {
        cell.xmNote = note;
        cell.period = kNoteOff;
    }
    const int32_t index = noteIndex(cell.period);
    cell.note = static_cast<int8_t>(index % 12);
    cell.octave = static_cast<int8_t>(index / 12);
    cell.sample = bytes[1];
    const XmVolumeColumn volume = mapXmVolumeColumn(bytes[2]);
    cell.volumeCommand = volume.command;
    cell.volumeParam = volume.param;
    const XmEffect effect = mapXmEffect(bytes[3], bytes[4]);
    cell.effect = effect.effect;
    cell.param = effect.param;
    return cell;
}

// Packed pattern data: per row, per channel, either five bytes (note, instrument, volume, effect,
// parameter) or a byte with bit 7 set whose bits 0-4 say which of the five follow. Data that ends
// early leaves the rest of the pattern empty; bytes past the data's end read as zero.
void unpackPattern(const std::vector<uint8_t>& data, uint32_t rows, uint32_t channels, Module& module,
                   uint32_t pattern, LoadState& state) {
    size_t at = 0;
    const auto next = [&]() -> uint8_t { return at < data.size() ? data[at++] : (++at, 0); };
    for (uint32_t row = 0; row < rows; ++row) {
        for (uint32_t channel = 0; channel < channels; ++channel) {
            if (at >= data.size()) return;
            uint8_t bytes[5] = {};
            const uint8_t first = next();
            if ((first & 0x80) != 0) {
                for (int k = 0; k < 5; ++k) {
                    if ((first & (1 << k)) != 0) bytes[k] = next();
                }
            } else {
                bytes[0] = first;
                for (int k = 1; k < 5; ++k) bytes[k] = next();
            }
            const bool empty = (bytes[0] | bytes[1] | bytes[2] | bytes[3] | bytes[4]) == 0;
            if (empty || channel >= module.channelCount) continue;
            if (!state.budget.take(sizeof(NoteCell))) {
                state.clamped = true;
                return;
            }
            module.patterns[pattern].push_back(makeCell(row, channel, bytes));
        }
    }
}

// The patterns from offset on. Pattern header: its length (4), packing type (1), rows (2; in
// version 0x0102 one byte holding rows - 1), packed data size (2). Returns the offset after them.
int64_t readPatterns(ByteReader& file, int64_t offset, uint32_t count, uint16_t version, uint32_t channels,
                     Module& module, LoadState& state) {
    const bool byteRows = version <= kByteRowsVersion;
    std::vector<uint8_t> data;
    for (uint32_t p = 0; p < count; ++p) {
        state.reaches(offset + (byteRows ? kByteRowsPatternHeader : kPatternHeader));
        if (offset >= state.size) break;  // not in the file: it stays empty
        file.seek(offset);
        const uint32_t headerLength = file.readLittleEndian32();
        file.readByte();  // packing type: always 0
        uint32_t rows = byteRows ? file.readByte() + 1u : file.readLittleEndian16();
        const uint16_t packedSize = file.readLittleEndian16();
        if (rows == 0 || rows > kMaxRowsPerPattern) {
            state.clamped = true;
            rows = rows == 0 ? kRowsPerPattern : kMaxRowsPerPattern;
        }
        module.patternRows[p] = static_cast<uint16_t>(rows);
        offset += state.atLeast(headerLength, byteRows ? kByteRowsPatternHeader : kPatternHeader);
        state.reaches(offset + packedSize);
        data.assign(static_cast<size_t>(std::clamp<int64_t>(state.size - offset, 0, packedSize)), 0);
        file.seek(offset);
        file.read(data.data(), data.size());
        unpackPattern(data, rows, channels, module, p, state);
        module.patterns[p].shrink_to_fit();
        offset += packedSize;
    }
    return offset;
}

// The instruments from offset on; with data, each one's sample data follows its headers.
// Returns the offset after them.
int64_t readInstruments(ByteReader& file, int64_t offset, uint32_t count, bool withData, Module& module,
                        std::vector<PendingData>& pending, LoadState& state) {
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t end = readInstrument(file, offset, module, pending, state);
        if (end < 0) {
            // Those the file does not hold are empty instruments, as the note map of any other.
            state.reaches(offset + kInstrumentHead);
            const int64_t granted = state.budget.takeUpTo(count - i, sizeof(Instrument));
            module.instruments.resize(module.instruments.size() + static_cast<size_t>(granted));
            break;
        }
        offset = end;
        if (withData) {
            offset = readPendingData(file, offset, pending, module, state);
            pending.clear();
        }
    }
    return offset;
}

bool sameLetters(char a, uint8_t b) {
    const auto lower = [](int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return lower(static_cast<uint8_t>(a)) == lower(b);
}

// The tracker name field without its padding of spaces.
void setWrittenBy(ByteReader& file, Module& module) {
    Text<40> name;
    readText(file, 20, name);
    std::string_view text = name.view();
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    module.writtenBy.assign(text);
}

}  // namespace

bool hasXmMark(ByteReader& file) {
    uint8_t found[17] = {};
    file.seek(0);
    file.read(found, kMark.size());
    file.seek(0);
    return std::equal(kMark.begin(), kMark.end(), found, sameLetters);
}

XmVolumeColumn mapXmVolumeColumn(uint8_t byte) {
    if (byte >= 0x10 && byte <= 0x50) return {kVolumeSet, static_cast<uint8_t>(byte - 0x10)};
    if (byte < 0x60) return {kVolumeNone, 0};  // 0x00..0x0F and 0x51..0x5F do nothing
    // 0x6x .. 0xFx: the commands in the order of VolumeCommand from kVolumeSlideDown on.
    return {static_cast<uint8_t>(kVolumeSlideDown + (byte >> 4) - 6), static_cast<uint8_t>(byte & 15)};
}

XmEffect mapXmEffect(uint8_t type, uint8_t param) {
    const auto same = [param](uint8_t effect) { return XmEffect{effect, param}; };
    if (type <= 0xF) return same(type);  // 0..F keep their numbers; E's sub-commands as in MOD
    switch (type) {
        case 16:
            return same(kSetGlobalVolume);  // G
        case 17:
            return same(kGlobalVolumeSlide);  // H
        case 20:
            return same(kKeyOff);  // K
        case 21:
            return same(kSetEnvelopePosition);  // L
        case 25:
            return same(kPanningSlide);  // P
        case 27:
            return same(kMultiRetrigger);  // R
        case 29:
            return same(kTremor);  // T
        case 33:                   // X1x, X2x; other X sub-commands do nothing
            if ((param >> 4) == 1) return XmEffect{kExtraFinePortamentoUp, static_cast<uint8_t>(param & 15)};
            if ((param >> 4) == 2)
                return XmEffect{kExtraFinePortamentoDown, static_cast<uint8_t>(param & 15)};
            return XmEffect{kArpeggio, 0};
        default:
            return XmEffect{kArpeggio, 0};
    }
}

bool loadXm(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
            std::string_view /*extension*/) {
    result = kResultOk;
    sizeDetail = 0;
    LoadState state(file.size());

    // Head: mark (17), title (20), 0x1A, tracker name (20), version (2), then the header of its
    // declared size: song length, restart position, channels, patterns, instruments, flags (bit 0
    // linear frequencies), speed, BPM (2 each), order table.
    if (!hasXmMark(file)) {
        result = kResultUnsupported;
        return false;
    }
    file.seek(58);
    const uint16_t version = file.readLittleEndian16();
    const uint32_t headerSize = file.readLittleEndian32();
    const uint16_t songLength = file.readLittleEndian16();
    const uint16_t restart = file.readLittleEndian16();
    const uint16_t channels = file.readLittleEndian16();
    const uint16_t patternCount = file.readLittleEndian16();
    const uint16_t instrumentCount = file.readLittleEndian16();
    const uint16_t flags = file.readLittleEndian16();
    const uint16_t speed = file.readLittleEndian16();
    const uint16_t bpm = file.readLittleEndian16();
    if (channels == 0) {
        result = kResultUnsupported;
        return false;
    }

    module.formatType = kFormatXm;
    module.rules = rulesOf(kFormatXm);
    file.seek(17);
    readText(file, 20, module.title);
    file.seek(38);
    setWrittenBy(file, module);
    char tracker[40];
    std::snprintf(tracker, sizeof tracker, "FastTracker V%X.%02X", unsigned{version} >> 8, version & 0xFFu);
    module.trackerName.assign(tracker);
    module.signature.assign("XM");
    module.globalVolume = 64;
    module.linearFrequency = (flags & 1) != 0;
    module.initialSpeed = speed;
    module.initialTempo = bpm;
    if (channels > kMaxChannels || patternCount > kMaxPatterns || instrumentCount > kMaxInstruments ||
        songLength > kOrderTable)
        state.clamped = true;
    module.channelCount = std::min<uint32_t>(channels, kMaxChannels);
    module.panLeft.assign(module.channelCount, kCentreGain);
    module.panRight.assign(module.channelCount, kCentreGain);

    // The order table holds what the declared header has room for.
    const int64_t header = state.atLeast(headerSize, kHeaderFields);
    const int64_t afterHeader = kHeaderSizeOffset + header;
    state.reaches(afterHeader);
    const uint32_t stored = static_cast<uint32_t>(std::min<int64_t>(header - kHeaderFields, kOrderTable));
    const uint32_t wanted = std::min<uint32_t>(songLength, kOrderTable);
    if (wanted > stored) state.clamped = true;
    module.orders.resize(std::min(wanted, stored));
    file.seek(kHeaderSizeOffset + kHeaderFields);
    for (uint32_t& order : module.orders) order = file.readByte();
    module.songLength = static_cast<uint32_t>(module.orders.size());
    module.restartPosition = restart < module.songLength ? restart : 0;

    // Patterns the orders name beyond those the file stores are empty ones.
    uint32_t patterns = std::min<uint32_t>(patternCount, kMaxPatterns);
    for (uint32_t order : module.orders) patterns = std::max(patterns, order + 1);
    module.patternCount = patterns;
    module.patterns.resize(patterns);
    module.patternRows.assign(patterns, static_cast<uint16_t>(kRowsPerPattern));

    const uint32_t instruments = std::min<uint32_t>(instrumentCount, kMaxInstruments);
    std::vector<PendingData> pending;
    if (version >= kFirstNewVersion) {
        const int64_t next = readPatterns(file, afterHeader, std::min<uint32_t>(patternCount, kMaxPatterns),
                                          version, channels, module, state);
        readInstruments(file, next, instruments, true, module, pending, state);
    } else {
        const int64_t next = readInstruments(file, afterHeader, instruments, false, module, pending, state);
        const int64_t data = readPatterns(file, next, std::min<uint32_t>(patternCount, kMaxPatterns), version,
                                          channels, module, state);
        readPendingData(file, data, pending, module, state);
    }
    module.instruments.shrink_to_fit();
    module.samples.shrink_to_fit();
    module.sampleCount = static_cast<uint32_t>(module.samples.size());

    if (state.declaredEnd > state.size) {
        result = kResultSizeMismatch;
        sizeDetail = -static_cast<int32_t>(std::min<int64_t>(state.declaredEnd - state.size, INT32_MAX));
    } else if (state.clamped) {
        result = kResultCorrupt;
    }
    return true;
}

}  // namespace tarvex
