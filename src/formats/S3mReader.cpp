#include "formats/S3mReader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/AllocationBudget.h"
#include "formats/LoadResult.h"

namespace tarvex {

namespace {

constexpr int kS3mChannels = 32;
constexpr uint8_t kUnusedChannel = 255;
constexpr uint8_t kPanTableMarker = 252;
constexpr uint8_t kNoNote = 255;
constexpr uint8_t kNoteOffByte = 254;
constexpr uint8_t kSampleInstrument = 1;
constexpr uint8_t kUnsignedSamples = 2;
constexpr uint8_t kFlag16Bit = 4;
constexpr int64_t kHeaderSize = 96;
constexpr int64_t kReservedWords = 54;  // the header's reserved bytes: a writer's date may be there

// What one load may allocate (sample records, sample data, pattern lists, cells) and how many
// packed pattern bytes it may walk, per byte of the file. A real file needs a fraction of either;
// the caps only bite when parapointers share data to multiply it.
constexpr int64_t kAllocationPerFileByte = 48;
constexpr int64_t kUnpackPerFileByte = 8;
constexpr int64_t kBudgetAllowance = 64 * 1024;
// Packed patterns start at a 16-bit parapointer (below 1 MiB) and hold a 16-bit length: patterns
// that do not share data lie within this many bytes and never walk more of them together. It
// bounds the unpacking of a huge file, where the share per file byte would not.
constexpr int64_t kPatternReach = 0x10000 * 16 + 0x10000 + 2;

// The S3M channel map: internal channel per S3M channel (-1 = unused) and its setting byte.
struct ChannelMap {
    std::array<int32_t, kS3mChannels> internal{};
    std::array<uint8_t, kS3mChannels> setting{};
    uint32_t used = 0;
};

ChannelMap readChannelMap(ByteReader& file) {
    ChannelMap map;
    for (int k = 0; k < kS3mChannels; ++k) {
        map.setting[k] = file.readByte();
        map.internal[k] = map.setting[k] == kUnusedChannel ? -1 : static_cast<int32_t>(map.used++);
    }
    return map;
}

// How many 2-byte entries of a table at offset the file holds, up to wanted.
uint32_t entriesHeld(int64_t fileSize, int64_t offset, uint32_t wanted) {
    const int64_t held = std::max<int64_t>(0, (fileSize - offset) / 2);
    return static_cast<uint32_t>(std::min<int64_t>(wanted, held));
}

// Instrument header, 80 bytes at its parapointer: type (1), DOS file name (12), data parapointer
// high byte (1) and low word (2), length, loop start, loop end (4 each), volume (1), unused (2),
// flags (1), sample rate (4), unused (12), name (28), unused (4). Returns the data offset.
int64_t readInstrument(ByteReader& file, uint16_t parapointer, Sample& sample, uint8_t& flags) {
    flags = 0;
    if (parapointer == 0) return 0;  // offset 0 is the header: no instrument there
    const int64_t base = int64_t{parapointer} * 16;
    file.seek(base);
    const uint8_t type = file.readByte();
    file.seek(base + 48);
    readText(file, 28, sample.name);
    if (type != kSampleInstrument) return 0;  // AdLib or empty: its bytes are no sample header

    file.seek(base + 13);
    const uint32_t high = file.readByte();
    const uint32_t low = file.readLittleEndian16();
    const int64_t dataOffset = int64_t{(high << 16) | low} * 16;
    sample.length = file.readLittleEndian32();
    sample.loopStart = file.readLittleEndian32();
    sample.loopEnd = file.readLittleEndian32();
    normaliseLoop(sample);  // the instrument's loop flag is not consulted
    sample.volume = file.readByte();
    file.skip(2);
    flags = file.readByte();
    sample.baseFrequency = file.readLittleEndian32();
    sample.basePeriod = frequencyToBasePeriod(sample.baseFrequency);
    sample.finetune = 0;
    return dataOffset;
}

// Sample data: 8-bit frames become v * 256, 16-bit frames are taken whole; with sample format 2
// both are unsigned around the middle value. A stereo sample (flag 2) stores its left channel first,
// which is all that is read.
void readSampleData(ByteReader& file, int64_t offset, uint8_t flags, bool unsignedData, Sample& sample,
                    AllocationBudget& budget) {
    const bool sixteenBit = (flags & kFlag16Bit) != 0;
    const int64_t frameBytes = sixteenBit ? 2 : 1;
    const int64_t held = std::max<int64_t>(0, file.size() - offset) / frameBytes;
    const int64_t wanted = std::min<int64_t>(sample.length, held);
    cutToFrames(sample, static_cast<uint64_t>(budget.takeUpTo(wanted, sizeof(int16_t))));
    file.seek(offset);
    for (int16_t& frame : sample.data) {
        if (sixteenBit) {
            const uint16_t u = file.readLittleEndian16();
            frame = static_cast<int16_t>(unsignedData ? int32_t{u} - 32768 : static_cast<int16_t>(u));
        } else {
            const uint8_t u = file.readByte();
            frame =
                static_cast<int16_t>(unsignedData ? (int32_t{u} - 128) * 256 : static_cast<int8_t>(u) * 256);
        }
    }
}

NoteCell makeCell(uint32_t row, uint32_t channel, uint8_t note, uint8_t instrument, uint8_t volume,
                  MappedEffect effect) {
    NoteCell cell;
    cell.row = row;
    cell.channel = channel;
    if (note == kNoNote) {
        cell.period = 0;
    } else if (note == kNoteOffByte) {
        cell.period = kNoteOff;
    } else {
        // High nibble octave, low nibble semitone; octave 4 C lands on entry 72, period 428.
        const int index = ((note >> 4) + 2) * 12 + (note & 15);
        cell.period = index < kPeriodCount ? PeriodTable[index].period : 0;
    }
    const int32_t index = noteIndex(cell.period);
    cell.note = static_cast<int8_t>(index % 12);
    cell.octave = static_cast<int8_t>(index / 12);
    cell.sample = instrument;
    cell.volume = static_cast<int8_t>(volume);  // 255 reads as -1: no volume
    cell.effect = effect.effect;
    cell.param = effect.param;
    return cell;
}

// Appends one row's cells in channel order; entries of one channel keep their reading order.
void flushRow(Module& module, uint32_t pattern, std::vector<NoteCell>& rowCells) {
    std::stable_sort(rowCells.begin(), rowCells.end(),
                     [](const NoteCell& a, const NoteCell& b) { return a.channel < b.channel; });
    for (const NoteCell& cell : rowCells) insertCell(module, pattern, cell);
    rowCells.clear();
}

// A packed pattern: a 16-bit length (unused), then 64 rows, each a run of entries ended by a zero
// byte. An entry is a byte w (bits 0-4 S3M channel; 32: note and instrument follow; 64: volume;
// 128: command and info) and the groups it announces. Past the end of the file every byte reads
// as 0, so a cut-off pattern ends with empty rows. Returns the bytes walked.
int64_t unpackPattern(ByteReader& file, Module& module, uint32_t pattern, const ChannelMap& map,
                      int64_t unpackLeft, AllocationBudget& budget, std::vector<NoteCell>& rowCells) {
    const int64_t start = file.position();
    file.skip(2);
    uint32_t row = 0;
    while (row < kRowsPerPattern) {
        if (file.position() - start > unpackLeft) break;  // over the cap: the rest stays empty
        const uint8_t w = file.readByte();
        if (w == 0) {
            flushRow(module, pattern, rowCells);
            ++row;
            continue;
        }
        uint8_t note = kNoNote, instrument = 0, volume = 255, command = 0, info = 0;
        if (w & 32) {
            note = file.readByte();
            instrument = file.readByte();
        }
        if (w & 64) volume = file.readByte();
        if (w & 128) {
            command = file.readByte();
            info = file.readByte();
        }
        const int32_t channel = map.internal[w & 31];
        if (channel < 0) continue;  // unused S3M channel: bytes consumed, no cell
        if (!budget.take(sizeof(NoteCell))) continue;
        rowCells.push_back(makeCell(row, static_cast<uint32_t>(channel), note, instrument, volume,
                                    mapS3mEffect(command, info)));
    }
    flushRow(module, pattern, rowCells);
    module.patterns[pattern].shrink_to_fit();
    return file.position() - start;
}

void setPanning(ByteReader& file, Module& module, const ChannelMap& map, bool stereo, bool panTable,
                int64_t panTableOffset) {
    module.panLeft.assign(module.channelCount, 512);  // mono: centred
    module.panRight.assign(module.channelCount, 512);
    if (panTable) file.seek(panTableOffset);
    for (int k = 0; k < kS3mChannels; ++k) {
        const uint8_t pan = panTable ? file.readByte() : 0;
        const int32_t channel = map.internal[k];
        if (channel < 0) continue;
        const bool rightHand = map.setting[k] >= 8;
        if (panTable) {
            const int32_t f = pan & 15;
            const bool fullRight = rightHand && f == 0;
            module.panRight[channel] = fullRight ? 1024 : f * 1024 / 15;
            module.panLeft[channel] = fullRight ? 0 : (15 - f) * 1024 / 15;
        } else if (stereo) {
            module.panRight[channel] = rightHand ? 1024 : 0;
            module.panLeft[channel] = rightHand ? 0 : 1024;
        }
    }
}

// The program that wrote the file, as its version word tells it: the high nibble names the tracker,
// the rest its version (0x1320 is ScreamTracker 3.20). One of them counts days since its first
// release instead, in the word or, when the word is 0x4FFF, in the reserved bytes. Empty when
// the word names no tracker.
std::string writerOfVersion(uint16_t version, uint32_t reserved) {
    const uint32_t low = version & 0x0FFFu;
    if ((version >> 12) == 4 && (version == 0x4FFF || low > 0x050)) {
        const uint32_t days = version == 0x4FFF ? reserved : low - 0x050;
        using namespace std::chrono;
        const year_month_day date{sys_days{year{2009} / October / 31} + std::chrono::days{days}};
        char text[40];
        std::snprintf(text, sizeof text, "Schism Tracker %04d-%02u-%02u", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
        return text;
    }
    static constexpr const char* kNames[] = {nullptr,           "ScreamTracker",  "Imago Orpheus",
                                             "Impulse Tracker", "Schism Tracker", "OpenMPT",
                                             "BeRoTracker",     "CreamTracker"};
    const uint32_t kind = version >> 12;
    if (kind >= std::size(kNames) || kNames[kind] == nullptr) return {};
    char text[40];
    std::snprintf(text, sizeof text, "%s %X.%02X", kNames[kind], low >> 8, low & 0xFFu);
    return text;
}

}  // namespace

MappedEffect mapS3mEffect(uint8_t command, uint8_t info) {
    const auto same = [info](uint8_t effect) { return MappedEffect{effect, info}; };
    switch (command) {
        case 1:
            return same(kSetSpeed);  // A: set speed
        case 2:
            return same(kPositionJump);  // B: position jump
        case 3:
            return same(kPatternBreak);  // C: pattern break
        case 4:
            return same(kVolumeSlide);  // D: volume slide
        case 5:                         // E: slide down; EEx/EFx are fine slides (extended 2)
            return info >= 0xE0
                       ? MappedEffect{kExtended, static_cast<uint8_t>(kFinePortaDown << 4 | (info & 15))}
                       : same(kPortaDown);
        case 6:  // F: slide up; FEx/FFx fine (extended 1)
            return info >= 0xE0
                       ? MappedEffect{kExtended, static_cast<uint8_t>(kFinePortaUp << 4 | (info & 15))}
                       : same(kPortaUp);
        case 7:
            return same(kTonePorta);  // G: tone portamento
        case 8:
            return same(kVibrato);  // H: vibrato
        case 9:
            return same(kTremolo);  // I: tremor, played as tremolo
        case 10:
            return same(kArpeggio);  // J: arpeggio
        case 11:
            return same(kVibratoVolumeSlide);  // K: vibrato + volume slide
        case 12:
            return same(kTonePortaVolumeSlide);  // L: tone portamento + volume slide
        case 13:
            return same(kSetVolume);  // M
        case 14:
            return same(kVolumeSlide);  // N
        case 15:
            return same(kSampleOffset);  // O: sample offset
        case 16:
            return same(kSetPanning);  // P
        case 17:
            return same(kRetrigger);  // Q: retrigger
        case 18:
            return same(kTremolo);  // R: tremolo
        case 19: {                  // S: extended commands by the high nibble
            // S0x and the unused S5x..S7x, S9x and SAx play nothing; SFx keeps its (empty) sub-command.
            static constexpr std::array<uint8_t, 16> kSubCommands = {0,
                                                                     kGlissandoControl,
                                                                     kSetFinetune,
                                                                     kVibratoWaveform,
                                                                     kTremoloWaveform,
                                                                     0,
                                                                     0,
                                                                     0,
                                                                     kPanning16,
                                                                     0,
                                                                     0,
                                                                     kPatternLoop,
                                                                     kNoteCut,
                                                                     kNoteDelay,
                                                                     kPatternDelay,
                                                                     0xF};
            const uint8_t sub = kSubCommands[info >> 4];
            if (sub == 0) return MappedEffect{kArpeggio, 0};
            return MappedEffect{kExtended, static_cast<uint8_t>(sub << 4 | (info & 15))};
        }
        case 20:
            return same(kSetTempo);  // T: tempo
        case 24:
            return same(kSetPanning);  // X: panning
        default:
            return MappedEffect{kArpeggio, 0};  // none, U, V, W, Y, Z and beyond
    }
}

bool loadS3m(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
             std::string_view /*extension*/) {
    result = kResultOk;
    sizeDetail = 0;
    const int64_t fileSize = file.size();

    file.seek(29);
    if (file.readByte() != kFormatS3m) {
        result = kResultUnsupported;
        return false;
    }
    module.formatType = kFormatS3m;
    module.rules = rulesOf(kFormatS3m);

    file.seek(0);
    readText(file, 28, module.title);
    file.seek(32);
    const uint16_t orderCount = file.readLittleEndian16();
    const uint16_t instrumentCount = file.readLittleEndian16();
    const uint16_t patternCount = file.readLittleEndian16();
    file.seek(40);
    const uint16_t version = file.readLittleEndian16();
    char tracker[40];
    std::snprintf(tracker, sizeof tracker, "ScreamTracker V%d.%d", (version / 256) % 16, version % 256);
    module.trackerName.assign(tracker);
    const int64_t afterVersion = file.position();
    file.seek(kReservedWords);
    const uint32_t reserved = file.readLittleEndian32();
    file.seek(afterVersion);
    module.writtenBy.assign(writerOfVersion(version, reserved));
    const bool unsignedData = (file.readLittleEndian16() & 0xFF) == kUnsignedSamples;
    readRawText(file, 4, module.signature);
    module.globalVolume = file.readByte();
    module.initialSpeed = file.readByte();
    module.initialTempo = file.readByte();
    const bool stereo = (file.readByte() & 0x80) != 0;
    file.readByte();
    const bool panTable = file.readByte() == kPanTableMarker;

    file.seek(64);
    const ChannelMap map = readChannelMap(file);
    module.channelCount = map.used;

    // The tables after the header, at offsets fixed by the header's counts; each is cut to what
    // the file holds.
    const int64_t instrumentTable = kHeaderSize + orderCount;
    const int64_t patternTable = instrumentTable + 2 * int64_t{instrumentCount};
    const int64_t panTableOffset = patternTable + 2 * int64_t{patternCount};
    AllocationBudget budget(kAllocationPerFileByte * fileSize + kBudgetAllowance);

    file.seek(kHeaderSize);
    module.orders.resize(static_cast<size_t>(std::clamp<int64_t>(fileSize - kHeaderSize, 0, orderCount)));
    for (uint32_t& order : module.orders) order = file.readByte();

    const uint32_t heldInstruments = entriesHeld(fileSize, instrumentTable, instrumentCount);
    module.sampleCount = static_cast<uint32_t>(budget.takeUpTo(heldInstruments, sizeof(Sample)));
    module.samples.resize(module.sampleCount);
    std::vector<int64_t> dataOffsets(module.sampleCount);
    std::vector<uint8_t> flags(module.sampleCount);
    for (uint32_t i = 0; i < module.sampleCount; ++i) {
        file.seek(instrumentTable + 2 * int64_t{i});
        const uint16_t parapointer = file.readLittleEndian16();
        dataOffsets[i] = readInstrument(file, parapointer, module.samples[i], flags[i]);
    }
    for (uint32_t i = 0; i < module.sampleCount; ++i) {
        Sample& sample = module.samples[i];
        if (sample.length == 0) continue;
        readSampleData(file, dataOffsets[i], flags[i], unsignedData, sample, budget);
    }

    const uint32_t heldPatterns = entriesHeld(fileSize, patternTable, patternCount);
    module.patternCount = static_cast<uint32_t>(budget.takeUpTo(heldPatterns, sizeof(Pattern)));
    module.patterns.resize(module.patternCount);
    int64_t unpackLeft = std::min(kUnpackPerFileByte * fileSize + kBudgetAllowance, kPatternReach);
    std::vector<NoteCell> rowCells;
    for (uint32_t j = 0; j < module.patternCount; ++j) {
        file.seek(patternTable + 2 * int64_t{j});
        const uint16_t parapointer = file.readLittleEndian16();
        if (parapointer == 0) continue;  // offset 0 is the header: an empty pattern
        file.seek(int64_t{parapointer} * 16);
        unpackLeft -= unpackPattern(file, module, j, map, unpackLeft, budget, rowCells);
    }

    setPanning(file, module, map, stereo, panTable, panTableOffset);

    // Keep the orders below 254 that name an existing pattern, in their order.
    uint32_t kept = 0;
    for (uint32_t order : module.orders) {
        if (order < 254 && order < module.patternCount) module.orders[kept++] = order;
    }
    module.songLength = kept;
    return true;
}

}  // namespace tarvex
