#include "formats/StmReader.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/LoadResult.h"

namespace tarvex {

namespace {

constexpr uint32_t kChannels = 4;
constexpr uint32_t kSamples = 31;
constexpr uint32_t kMaxPatterns = 64;
constexpr uint32_t kOrderCount = 128;
constexpr uint32_t kOrderEnd = 99;
constexpr int64_t kSampleHeaders = 48;
constexpr int64_t kOrderList = 1040;

// STM commands A..K onto the engine's effects; 12 to 15 pass unchanged.
constexpr std::array<uint8_t, 16> kCommandEffects = {
    kArpeggio, kSetSpeed, kPositionJump, kPatternBreak, kVolumeSlide, kPortaDown,    kPortaUp,  kTonePorta,
    kVibrato,  kTremolo,  kArpeggio,     kSetPanning,   kSetVolume,   kPatternBreak, kExtended, kSetSpeed};

// Sample header, 32 bytes: name (12), unused (2), data parapointer (2), length, loop start, loop
// end (2 each; loop end 0xFFFF = no loop), volume (1), unused (1), sample rate (2), unused (6).
// Returns the data parapointer.
uint16_t readSampleHeader(ByteReader& file, Sample& sample) {
    const int64_t base = file.position();
    readText(file, 12, sample.name);
    file.skip(2);
    const uint16_t parapointer = file.readLittleEndian16();
    sample.length = file.readLittleEndian16();
    sample.loopStart = file.readLittleEndian16();
    sample.loopEnd = file.readLittleEndian16();
    sample.volume = file.readByte();
    file.skip(1);
    sample.baseFrequency = file.readLittleEndian16();
    sample.finetune = 0;
    normaliseLoop(sample);
    sample.basePeriod = frequencyToBasePeriod(sample.baseFrequency);
    file.seek(base + 32);
    return parapointer;
}

// Cell bytes: 0 octave/semitone, 1 sample (bits 7-3) and volume low bits (2-0), 2 volume high
// bits (7-4) and command (3-0), 3 parameter.
NoteCell decodeCell(uint32_t b, uint32_t row, uint32_t channel) {
    const uint8_t noteByte = static_cast<uint8_t>(b >> 24);
    const uint8_t byte1 = static_cast<uint8_t>(b >> 16);
    const uint8_t byte2 = static_cast<uint8_t>(b >> 8);
    NoteCell cell;
    cell.row = row;
    cell.channel = channel;
    cell.sample = byte1 >> 3;
    // The empty note of STM (octave 15) always falls outside the table.
    const int index = ((noteByte >> 4) + 4) * 12 + (noteByte & 15);
    cell.period = index < kPeriodCount ? PeriodTable[index].period : 0;
    const int32_t found = noteIndex(cell.period);
    cell.note = static_cast<int8_t>(found % 12);
    cell.octave = static_cast<int8_t>(found / 12);
    cell.param = static_cast<uint8_t>(b);
    cell.effect = kCommandEffects[byte2 & 15];
    if (cell.effect == kSetSpeed) {
        cell.param = static_cast<uint8_t>((cell.param >> 4) | (cell.param << 4));  // 0x60 -> 0x06
    }
    const int32_t volume = (byte2 >> 4) * 8 + (byte1 & 7);
    cell.volume = volume > 64 ? -1 : volume;
    return cell;
}

}  // namespace

bool loadStm(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
             std::string_view /*extension*/) {
    result = kResultOk;
    sizeDetail = 0;

    file.seek(0);
    readText(file, 20, module.title);
    readRawText(file, 8, module.signature);
    file.seek(29);
    if (file.readByte() != kFormatStm) {
        result = kResultUnsupported;
        return false;
    }
    module.formatType = kFormatStm;
    module.rules = rulesOf(kFormatStm);
    module.sampleCount = kSamples;
    module.channelCount = kChannels;

    const uint8_t major = file.readByte() & 15;
    const uint8_t minor = file.readByte();
    char tracker[40];
    std::snprintf(tracker, sizeof tracker, "%s V%d.%d", "ScreamTracker", major, minor);
    module.trackerName.assign(tracker);

    file.readByte();  // the file's tempo byte is not used
    module.initialSpeed = 6;
    module.initialTempo = 125;

    uint32_t patternCount = file.readByte();
    if (patternCount > kMaxPatterns) {
        patternCount = kMaxPatterns;
        result = kResultCorrupt;
    }
    module.patternCount = patternCount;
    module.globalVolume = file.readByte();

    file.seek(kSampleHeaders);
    module.samples.resize(kSamples);
    std::array<uint16_t, kSamples> parapointers{};
    for (uint32_t i = 0; i < kSamples; ++i) parapointers[i] = readSampleHeader(file, module.samples[i]);

    // Orders: the song ends at the first 99, then loses trailing entries that name no pattern
    // (stopping at 0, not wrapping).
    file.seek(kOrderList);
    module.orders.resize(kOrderCount);
    uint32_t songLength = kOrderEnd;
    for (uint32_t i = 0; i < kOrderCount; ++i) {
        module.orders[i] = file.readByte();
        if (songLength == kOrderEnd && module.orders[i] == kOrderEnd) songLength = i;
    }
    while (songLength > 0 && module.orders[songLength - 1] >= module.patternCount) --songLength;
    module.songLength = songLength;

    module.patterns.resize(module.patternCount);
    for (uint32_t p = 0; p < module.patternCount; ++p) {
        for (uint32_t row = 0; row < kRowsPerPattern; ++row) {
            for (uint32_t c = 0; c < kChannels; ++c) {
                const uint32_t value = readBigEndian32(file);
                if (value != 0) insertCell(module, p, decodeCell(value, row, c));
            }
        }
    }

    // Sample data follows the patterns in sample order. Files written by the tracker itself align
    // each sample to 16 bytes and give its place as a parapointer (offset / 16) in the header;
    // reading those back to back would start every later sample inside the padding and the end
    // of the previous one. Where a header gives no parapointer, the data follows on directly.
    // A sample is cut to what the file still holds, and all samples together to the file's size,
    // so that parapointers sharing one block cannot multiply it.
    int64_t framesLeft = file.size();
    for (uint32_t i = 0; i < kSamples; ++i) {
        Sample& sample = module.samples[i];
        if (sample.length > 0 && parapointers[i] != 0) file.seek(int64_t{parapointers[i]} * 16);
        framesLeft -= readSigned8Frames(file, sample, std::min(file.remaining(), framesLeft));
    }

    setDefaultPanning(module);
    return true;
}

}  // namespace tarvex
