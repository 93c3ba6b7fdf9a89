#include "formats/ModReader.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/EffectCodes.h"
#include "core/PitchTables.h"
#include "formats/LoadResult.h"

namespace tarvex {

namespace {

constexpr int64_t kSignatureOffset = 1080;
constexpr uint32_t kMaxSongLength = 128;
// An order byte names patterns 0 to 255: no file can make use of more.
constexpr int64_t kMaxPatterns = 256;

struct Detected {
    bool supported = true;
    std::string trackerName;
    uint32_t channelCount = 4;
    uint32_t sampleCount = 31;
    uint32_t headerExtra = 0;  // bytes between the signature and the first pattern
};

// "TDZ1".."TDZ9", "2CHN".."9CHN", "FA04"/"FA06"/"FA08": the channel count is the one digit.
bool digitSignature(std::string_view text, std::string_view prefix, std::string_view suffix, char low,
                    char high) {
    return text.size() == 4 && text.substr(0, prefix.size()) == prefix &&
           text.substr(prefix.size() + 1) == suffix && text[prefix.size()] >= low &&
           text[prefix.size()] <= high;
}

// Walks the signature table top to bottom; the first matching row wins.
Detected detectSignature(const char (&bytes)[5], std::string_view extension) {
    const std::string_view text(bytes);  // zero-terminated: a zero ends the signature early
    const bool wow = extension == "WOW";
    Detected found;
    if (text == "M.K." || text == "M!K!") {
        found.trackerName = wow ? "Grave Composer" : "ProTracker";
        found.channelCount = wow ? 8 : 4;
    } else if (text == "FLT4" || text == "4CHN") {
        found.trackerName = "StarTrekker";
    } else if (text == "FLT8") {
        found.trackerName = "StarTrekker";
        found.channelCount = 8;
    } else if (text == "6CHN" || text == "8CHN") {
        found.trackerName = "FastTracker";
        found.channelCount = text[0] == '6' ? 6 : 8;
    } else if (text == "CD81" || text == "OKTA") {
        found.trackerName = "Atari Oktalyzer";
        found.channelCount = 8;
    } else if (text == "16CH" || text == "16CN" || text == "32CH" || text == "32CN") {
        found.trackerName = "TakeTracker";
        found.channelCount = text[0] == '1' ? 16 : 32;
    } else if (text.size() == 4 && (text.substr(2) == "CH" || text.substr(2) == "CN")) {
        // Characters 1 and 2 as the C library's decimal conversion reads them: leading blanks
        // and a sign allowed, stopping at the first non-digit.
        const char digits[3] = {text[0], text[1], 0};
        const int channels = std::atoi(digits);
        found.trackerName = "Unknown Tracker with " + std::string(text.substr(0, 2)) + " Channels";
        // Fewer than one channel would make a pattern zero bytes long: the file cannot be played.
        found.supported = channels >= 1;
        found.channelCount = channels >= 1 ? static_cast<uint32_t>(channels) : 0;
    } else if (text == "M&K!" || text == "FEST") {
        found.trackerName = "His Master's Noise";
    } else if (text == "N.T.") {
        found.trackerName = "NoiseTracker";
    } else if (digitSignature(text, "TDZ", "", '1', '9')) {
        found.trackerName = "TakeTracker";
        found.channelCount = static_cast<uint32_t>(text[3] - '0');
    } else if (text == "FA04" || text == "FA06" || text == "FA08") {
        // Four more bytes follow the signature (00 40 00 00 in the files seen): patterns at 1088.
        found.trackerName = "Digital Tracker";
        found.channelCount = static_cast<uint32_t>(text[3] - '0');
        found.headerExtra = 4;
    } else if (text == "CD61") {
        found.trackerName = "Octalyser";
        found.channelCount = 6;
    } else if (digitSignature(text, "", "CHN", '2', '9')) {
        // 4CHN, 6CHN and 8CHN matched above.
        found.trackerName = "FastTracker";
        found.channelCount = static_cast<uint32_t>(text[0] - '0');
    } else {
        found.trackerName = "NoiseTracker";
        found.sampleCount = 15;
    }
    return found;
}

// Sample header, 30 bytes: name (22), length in words (2), finetune nibble (1), volume (1),
// loop start in words (2), loop length in words (2).
void readSampleHeader(ByteReader& file, Sample& sample) {
    readText(file, 22, sample.name);
    sample.length = uint32_t{readBigEndian16(file)} * 2;
    // The low nibble is a signed 4-bit number; the high nibble is ignored.
    const uint8_t finetune = file.readByte() & 0x0F;
    sample.finetune = static_cast<int8_t>(finetune >= 8 ? finetune - 16 : finetune);
    sample.volume = file.readByte();  // not clamped
    sample.loopStart = uint32_t{readBigEndian16(file)} * 2;
    sample.loopEnd = sample.loopStart + uint32_t{readBigEndian16(file)} * 2;
    normaliseLoop(sample);
    sample.baseFrequency = FinetuneTable[static_cast<uint8_t>(sample.finetune) & 15];
    sample.basePeriod = frequencyToBasePeriod(sample.baseFrequency);
}

// A cell is 4 bytes read as one big-endian value b: 31-sample files keep the sample number in
// bits 31-28 (high part, only its lowest bit survives the 5-bit mask) and 15-12 and a 12-bit
// period in 27-16; 15-sample files use all of bits 31-16 for the period and 15-12 for the sample.
NoteCell decodeCell(uint32_t b, uint32_t row, uint32_t channel, bool fifteenSamples) {
    NoteCell cell;
    cell.row = row;
    cell.channel = channel;
    if (fifteenSamples) {
        cell.sample = (b >> 12) & 0x0F;
        cell.period = b >> 16;
    } else {
        cell.sample = (((b >> 28) & 0x0F) * 16 + ((b >> 12) & 0x0F)) & 31;
        cell.period = (b >> 16) & 0x0FFF;
    }
    cell.effect = static_cast<uint8_t>((b >> 8) & 0x0F);
    cell.param = static_cast<uint8_t>(b & 0xFF);
    if (cell.effect == kSetVolume && cell.param > 64) cell.param = 64;
    cell.volume = -1;
    const int32_t index = noteIndex(cell.period);
    cell.note = static_cast<int8_t>(index % 12);    // -1 stays -1
    cell.octave = static_cast<int8_t>(index / 12);  // -1 gives 0
    return cell;
}

int32_t clampToInt32(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool hasModSignature(ByteReader& file) {
    char signature[5] = {};
    file.seek(kSignatureOffset);
    file.read(reinterpret_cast<uint8_t*>(signature), 4);
    file.seek(0);
    const Detected detected = detectSignature(signature, "");
    return detected.supported && detected.sampleCount == 31;
}

bool loadMod(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
             std::string_view extension) {
    result = kResultOk;
    sizeDetail = 0;

    // Detection: the four bytes at 1080 as a zero-terminated text.
    char signatureBytes[5] = {};
    file.seek(kSignatureOffset);
    file.read(reinterpret_cast<uint8_t*>(signatureBytes), 4);
    file.seek(0);
    const Detected detected = detectSignature(signatureBytes, extension);
    if (!detected.supported) {
        result = kResultUnsupported;
        return false;
    }
    const bool fifteenSamples = detected.sampleCount == 15;
    module.initialTempo = 125;
    module.initialSpeed = 6;
    module.trackerName.assign(detected.trackerName);
    module.channelCount = detected.channelCount;
    module.sampleCount = detected.sampleCount;

    // Title (20) and the sample headers at offset 20.
    readText(file, 20, module.title);
    module.samples.resize(module.sampleCount);
    for (Sample& sample : module.samples) readSampleHeader(file, sample);

    // Song length, restart byte (unused), the 128 order bytes, then the signature.
    uint32_t songLength = file.readByte();
    if (songLength > kMaxSongLength) {
        songLength = kMaxSongLength;
        result = kResultCorrupt;
    }
    module.songLength = songLength;
    file.readByte();
    module.orders.resize(128);
    for (uint32_t& order : module.orders) order = file.readByte();
    if (!fifteenSamples) readRawText(file, 4, module.signature);
    file.skip(detected.headerExtra);

    // Pattern count from the file size, in signed 64-bit so that a file shorter than its header
    // part cannot wrap. Sample lengths count as the headers state them.
    const int64_t fileSize = file.size();
    int64_t fixed = 150 + (module.signature.empty() ? 0 : 4) + detected.headerExtra;
    int64_t total = 0;
    for (const Sample& sample : module.samples) {
        fixed += 30 + int64_t{sample.length};
        total += sample.length;
    }
    const int64_t patternBytes = int64_t{module.channelCount} * 256;
    const int64_t available = fileSize - fixed;
    int64_t patternCount = available / patternBytes;  // truncates toward zero
    const int64_t rest = available % patternBytes;
    int64_t detail = 0;
    if (rest != 0 || available < 0) {
        uint32_t highest = 0;
        for (uint32_t i = 0; i < module.songLength; ++i) highest = std::max(highest, module.orders[i]);
        const int64_t needed = int64_t{highest} + 1;
        if (needed > patternCount) {
            detail = rest - patternBytes;  // short
            patternCount = needed + 1;
        } else {
            detail = (patternCount - needed) * patternBytes + rest;  // long
            patternCount = needed;
        }
    } else if (patternCount > kMaxPatterns) {
        // A file that fits exactly but holds more patterns than the orders can name: what lies
        // beyond the last of them is surplus, as in a file that is too long.
        detail = (patternCount - kMaxPatterns) * patternBytes;
        patternCount = kMaxPatterns;
    }
    sizeDetail = clampToInt32(detail);
    if (sizeDetail != 0) result = kResultSizeMismatch;
    module.patternCount = static_cast<uint32_t>(patternCount);

    // Patterns: 64 rows of one 4-byte cell per channel; FLT8 stores rows 0-63 of channels 0-3,
    // then rows 0-63 of channels 4-7. Zero cells carry nothing and are skipped.
    module.patterns.resize(module.patternCount);
    const bool splitLayout = module.signature.view() == "FLT8";
    const uint32_t blockChannels = splitLayout ? 4 : module.channelCount;
    const uint32_t blocks = splitLayout ? 2 : 1;
    for (uint32_t p = 0; p < module.patternCount && file.remaining() > 0; ++p) {
        for (uint32_t block = 0; block < blocks; ++block) {
            for (uint32_t row = 0; row < kRowsPerPattern; ++row) {
                for (uint32_t c = 0; c < blockChannels; ++c) {
                    const uint32_t value = readBigEndian32(file);
                    if (value == 0) continue;
                    insertCell(module, p, decodeCell(value, row, block * blockChannels + c, fifteenSamples));
                }
            }
        }
    }

    // Sample data: when the file is too short, the samples are the last `total` bytes of it (and
    // never start before offset 0). A sample is cut to the bytes the file still holds.
    if (fileSize - total < file.position()) file.seek(std::max<int64_t>(0, fileSize - total));
    for (Sample& sample : module.samples) readSigned8Frames(file, sample, file.remaining());

    module.formatType = kFormatMod;
    module.rules = rulesOf(kFormatMod);
    module.globalVolume = 64;
    setDefaultPanning(module);
    return true;
}

}  // namespace tarvex
