// tarvex-cli info [--json] [--patterns] FILE...
//
// Loads each file through the load dispatcher and prints what the module holds: the load result
// ("Errors:" text), tracker line, header facts, order list and sample table; with --patterns every
// pattern in the pattern window's line format. The duration is the playing time at which the song
// ends when played from its start at 44100 Hz with loops off, or "over 60:00". --json prints one object per
// file (an array when several files are given). Exit status 0 when every file loaded, 1 when any failed (its
// message goes to stderr, the others are still printed), 2 on a usage error. The JSON is valid
// UTF-8 whatever the file names hold: a name that is not valid UTF-8 gets replacement characters
// in "file" and its exact bytes in "fileHex" (hexadecimal, two digits a byte).
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/InfoReport.h"
#include "cli/Messages.h"
#include "cli/TextOutput.h"
#include "core/PitchTables.h"
#include "engine/Duration.h"
#include "formats/Loader.h"
#include "ui/PatternFormat.h"

namespace tarvex::cli {

namespace {

struct FileReport {
    std::string path;
    LoadOutcome outcome;
    Module module;
    SongDuration duration;          // measured for loaded modules only
    std::vector<Subsong> subsongs;  // the first is the song from its start; loaded modules only
};

// Texts of the model are Latin-1; on the terminal control characters show as '.'.
std::string terminalText(std::string_view latin1) {
    std::string text = latin1ToUtf8(latin1);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
    }
    return text;
}

std::string formatName(uint8_t formatType) {
    switch (formatType) {
        case kFormatMod:
            return "MOD";
        case kFormatStm:
            return "STM";
        case kFormatS3m:
            return "S3M";
        case kFormatXm:
            return "XM";
        case kFormatIt:
            return "IT";
        default:
            return "?";
    }
}

std::string baseNote(const Sample& sample) {
    const auto name = noteName(static_cast<int32_t>(sample.basePeriod));
    return name ? std::string(*name) : std::string();
}

std::string sampleRow(uint32_t number, const Sample& sample) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%8u %9u %8u %4u %5d %6u", sample.length, sample.loopStart,
                  sample.loopEnd, sample.volume, sample.finetune, sample.baseFrequency);
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%3u ", number);
    return std::string(prefix) + padRight(terminalText(sample.name.view()), 28) + numbers + "  " +
           baseNote(sample);
}

std::string_view loopName(const Sample& sample) {
    switch (loopType(sample)) {
        case LoopType::forward:
            return "forward";
        case LoopType::pingPong:
            return "pingpong";
        default:
            return "none";
    }
}

// XM samples: finetune in 1/128 semitone, relative note, panning, loop type and bits in place of
// the other formats' base frequency and note, which an XM sample does not have.
std::string xmSampleRow(uint32_t number, const Sample& sample) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%8u %9u %8u %4u %5d %4d %4u  %-8s %2d", sample.length,
                  sample.loopStart, sample.loopEnd, sample.volume, sample.finetune128, sample.relativeNote,
                  unsigned{sample.panning}, std::string(loopName(sample)).c_str(),
                  sample.sixteenBit ? 16 : 8);
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%3u ", number);
    return std::string(prefix) + padRight(terminalText(sample.name.view()), 28) + numbers;
}

std::string envelopeText(const Envelope& envelope) {
    return std::string(envelope.on ? "on/" : "off/") + std::to_string(envelope.count);
}

constexpr std::string_view kVibratoTypes[4] = {"sine", "square", "down", "up"};

std::string_view vibratoName(uint8_t type) {
    return type < 4 ? kVibratoTypes[type] : std::string_view("?");
}

std::string instrumentRow(uint32_t number, const Instrument& instrument) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%7u  %-6s  %-6s  %7u  %s/%u/%u/%u", instrument.sampleCount,
                  envelopeText(instrument.volume).c_str(), envelopeText(instrument.panning).c_str(),
                  unsigned{instrument.fadeout}, std::string(vibratoName(instrument.vibratoType)).c_str(),
                  unsigned{instrument.vibratoSweep}, unsigned{instrument.vibratoDepth},
                  unsigned{instrument.vibratoRate});
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%3u ", number);
    return std::string(prefix) + padRight(terminalText(instrument.name.view()), 22) + numbers;
}

constexpr std::string_view kNewNoteActions[4] = {"cut", "continue", "off", "fade"};
constexpr std::string_view kDuplicateChecks[4] = {"off", "note", "sample", "instrument"};
constexpr std::string_view kDuplicateActions[3] = {"cut", "off", "fade"};
// An IT sample's auto-vibrato waveforms, in the order its files number them.
constexpr std::string_view kItVibratoTypes[4] = {"sine", "down", "square", "random"};

template <size_t N>
std::string_view nameIn(const std::string_view (&names)[N], uint8_t value) {
    return value < N ? names[value] : std::string_view("?");
}

std::string_view sustainLoopName(const Sample& sample) {
    if (sample.sustainEnd == 0) return "none";
    return sample.sustainPingPong ? "pingpong" : "forward";
}

// The IT file's flags the model keeps, as one line.
std::string itFlags(const Module& m) {
    std::string flags;
    const auto add = [&flags](std::string_view flag) {
        if (!flags.empty()) flags += ", ";
        flags += flag;
    };
    add(m.stereo ? "stereo" : "mono");
    if (m.linearFrequency) add("linear slides");
    if (m.rules.oldEffects) add("old effects");
    if (m.rules.compatibleGxx) add("compatible Gxx");
    return flags.empty() ? std::string("none") : flags;
}

// A channel's panning 0..64, "S" for surround, "m" after it when the channel is muted.
std::string channelPanText(uint8_t value) {
    std::string text = (value & 127) == kChannelSurround ? std::string("S") : std::to_string(value & 127);
    if ((value & kChannelMuted) != 0) text += 'm';
    return text;
}

// Values after a label, sixteen to a line, further lines under the first.
template <typename Format>
void printWrapped(std::ostream& out, std::string_view label, const std::vector<uint8_t>& values,
                  Format format) {
    out << label;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out << (i % 16 == 0 ? "\n               " : " ");
        out << format(values[i]);
    }
    out << '\n';
}

// The samples an IT instrument's keys name, each once; a number past the song's samples is none.
uint32_t mappedSamples(const Instrument& instrument, size_t samples) {
    std::vector<uint16_t> seen;
    for (const uint16_t sample : instrument.sampleOfNote) {
        if (sample != 0 && sample <= samples && std::find(seen.begin(), seen.end(), sample) == seen.end())
            seen.push_back(sample);
    }
    return static_cast<uint32_t>(seen.size());
}

std::string itEnvelopeText(const Envelope& envelope, bool filter) {
    std::string text = filter ? "F:" : "";
    text += envelopeText(envelope);
    return text;
}

std::string itInstrumentRow(uint32_t number, const Instrument& in, size_t samples) {
    std::string pan = in.defaultPanningSet ? std::to_string(in.defaultPanning) : std::string("-");
    std::string filter = in.filterCutoffSet ? std::to_string(in.filterCutoff) : std::string("-");
    filter += '/';
    filter += in.filterResonanceSet ? std::to_string(in.filterResonance) : std::string("-");
    std::string random = std::to_string(in.randomVolume);
    random += '/';
    random += std::to_string(in.randomPanning);
    std::string pitchPan = std::to_string(in.pitchPanSeparation);
    pitchPan += '/';
    pitchPan += noteNameOfIndex(in.pitchPanCentre);
    char numbers[192];
    std::snprintf(
        numbers, sizeof numbers, "%7u  %-6s  %-6s  %-8s  %7u  %4u  %3s  %-8s  %-10s  %-4s  %-7s  %-7s  %s",
        mappedSamples(in, samples), envelopeText(in.volume).c_str(), envelopeText(in.panning).c_str(),
        itEnvelopeText(in.pitch, in.filterEnvelope).c_str(), unsigned{in.fadeout}, unsigned{in.globalVolume},
        pan.c_str(), std::string(nameIn(kNewNoteActions, in.newNoteAction)).c_str(),
        std::string(nameIn(kDuplicateChecks, in.duplicateCheck)).c_str(),
        std::string(nameIn(kDuplicateActions, in.duplicateAction)).c_str(), filter.c_str(), random.c_str(),
        pitchPan.c_str());
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%3u ", number);
    std::string row = prefix;
    row += padRight(terminalText(in.name.view()), 26);
    row += numbers;
    return row;
}

// IT samples: both loops, the sample's own global volume and panning, its rate at C-5 and its
// auto-vibrato.
std::string itSampleRow(uint32_t number, const Sample& sample) {
    const std::string pan = sample.panningSet ? std::to_string(sample.panning) : std::string("-");
    char numbers[192];
    std::snprintf(numbers, sizeof numbers, "%8u %9u %8u  %-8s %8u %8u  %-8s %4u %4u %4s %2d %7u  %s/%u/%u/%u",
                  sample.length, sample.loopStart, sample.loopEnd, std::string(loopName(sample)).c_str(),
                  sample.sustainStart, sample.sustainEnd, std::string(sustainLoopName(sample)).c_str(),
                  sample.volume, unsigned{sample.globalVolume}, pan.c_str(), sample.sixteenBit ? 16 : 8,
                  sample.baseFrequency, std::string(nameIn(kItVibratoTypes, sample.vibratoType)).c_str(),
                  unsigned{sample.vibratoSpeed}, unsigned{sample.vibratoDepth}, unsigned{sample.vibratoRate});
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%3u ", number);
    std::string row = prefix;
    row += padRight(terminalText(sample.name.view()), 28);
    row += numbers;
    return row;
}

// The song message, its lines indented under the label; "\r" ends a line as well.
void printMessage(std::ostream& out, const std::string& message) {
    out << "Message:\n";
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find_first_of("\r\n", start);
        if (end == std::string::npos) end = message.size();
        out << "  " << terminalText(std::string_view(message).substr(start, end - start)) << '\n';
        start = end + 1;
    }
}

void printText(const FileReport& report, bool withPatterns, std::ostream& out) {
    const Module& m = report.module;
    out << "File:          " << report.path << '\n'
        << "Tracker:       " << terminalText(trackerLine(m)) << '\n'
        << "Errors:        " << resultMessage(report.outcome.result, report.outcome.sizeDetail) << '\n'
        << "Title:         " << terminalText(m.title.view()) << '\n'
        << "Format:        " << formatName(m.formatType) << " (type " << unsigned{m.formatType} << ")\n"
        << "Channels:      " << m.channelCount << '\n'
        << "Samples:       " << m.sampleCount << '\n'
        << "Song length:   " << m.songLength << '\n'
        << "Patterns:      " << m.patternCount << '\n'
        << "Speed/tempo:   " << m.initialSpeed << '/' << m.initialTempo << '\n'
        << "Global volume: " << unsigned{m.globalVolume} << '\n'
        << "Duration:      " << formatDuration(report.duration) << '\n';
    if (m.formatType == kFormatMod) {
        out << "Timing:        " << (m.vblankTiming ? "vertical blank (every Fxx sets the speed)" : "tempo")
            << '\n';
    }
    if (m.formatType == kFormatXm) {
        out << "Frequencies:   " << (m.linearFrequency ? "linear" : "Amiga periods") << '\n'
            << "Restart:       " << m.restartPosition << '\n'
            << "Instruments:   " << m.instruments.size() << '\n';
    }
    if (m.formatType == kFormatIt) {
        out << "Mode:          " << (m.instrumentMode ? "instruments" : "samples") << '\n'
            << "Flags:         " << itFlags(m) << '\n'
            << "Volumes:       global " << unsigned{m.initialGlobalVolume} << ", mix "
            << unsigned{m.mixVolume} << ", separation " << unsigned{m.panSeparation} << " (of 128)\n"
            << "Instruments:   " << m.instruments.size() << '\n';
        printWrapped(out, "Channel pan:   ", m.channelPanning, channelPanText);
        printWrapped(out, "Channel vol:   ", m.channelVolume,
                     [](uint8_t value) { return std::to_string(value); });
    }
    if (!m.writtenBy.empty()) out << "Written by:    " << terminalText(m.writtenBy.view()) << '\n';
    if (!m.message.empty()) printMessage(out, m.message);
    if (report.subsongs.size() > 1) {
        out << "Sub-songs:     " << report.subsongs.size() << '\n';
        for (size_t i = 0; i < report.subsongs.size(); ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "%17zu  order %-4u ", i + 1, report.subsongs[i].start);
            out << line << formatDuration(report.subsongs[i].duration) << '\n';
        }
    }
    out << "Orders:       ";
    for (uint32_t i = 0; i < m.songLength && i < m.orders.size(); ++i) out << ' ' << m.orders[i];
    if (m.formatType == kFormatIt) {
        out << "\n\n  # " << padRight("Instrument", 26)
            << "Samples  VolEnv  PanEnv  PitchEnv  Fadeout  GVol  Pan  NNA       DCT         DCA   Filter   "
               "Random   PitchPan\n";
        for (uint32_t i = 0; i < m.instruments.size(); ++i)
            out << itInstrumentRow(i + 1, m.instruments[i], m.samples.size()) << '\n';
        out << "\n  # " << padRight("Sample", 28)
            << "  Length LoopStart  LoopEnd  Loop     SusStart   SusEnd  SusLoop   Vol GVol  Pan Bits    "
               "Rate  "
               "Vibrato (type/speed/depth/rate)\n";
        for (uint32_t i = 0; i < m.samples.size(); ++i) out << itSampleRow(i + 1, m.samples[i]) << '\n';
    } else if (m.formatType == kFormatXm) {
        out << "\n\n  # " << padRight("Instrument", 22)
            << "Samples  VolEnv  PanEnv  Fadeout  Vibrato (type/sweep/depth/rate)\n";
        for (uint32_t i = 0; i < m.instruments.size(); ++i)
            out << instrumentRow(i + 1, m.instruments[i]) << '\n';
        out << "\n  # " << padRight("Sample", 28)
            << "  Length LoopStart  LoopEnd  Vol  Fine  Rel  Pan  Loop     Bits\n";
        for (uint32_t i = 0; i < m.samples.size(); ++i) out << xmSampleRow(i + 1, m.samples[i]) << '\n';
    } else {
        out << "\n\n  # " << padRight("Name", 28) << "  Length LoopStart  LoopEnd  Vol  Fine   Freq  Note\n";
        for (uint32_t i = 0; i < m.samples.size(); ++i) out << sampleRow(i + 1, m.samples[i]) << '\n';
    }
    if (!withPatterns) return;
    for (uint32_t p = 0; p < m.patternCount; ++p) {
        out << "\nPattern " << p << ":\n";
        for (const std::string& line : formatPatternLines(m, p)) out << line << '\n';
    }
}

// Writes `"key": value` lines of one JSON object, commas between them.
class JsonObject {
   public:
    JsonObject(std::ostream& out, std::string indent) : out_(out), indent_(std::move(indent)) { out_ << "{"; }
    template <typename Value>
    JsonObject& field(std::string_view key, const Value& value) {
        return raw(key, std::to_string(value));
    }
    JsonObject& text(std::string_view key, std::string_view latin1) {
        return raw(key, jsonString(latin1ToUtf8(latin1)));
    }
    JsonObject& boolean(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
    JsonObject& raw(std::string_view key, std::string_view json) {
        out_ << (first_ ? "\n" : ",\n") << indent_ << "  " << jsonString(key) << ": " << json;
        first_ = false;
        return *this;
    }
    void close() { out_ << '\n' << indent_ << "}"; }

   private:
    std::ostream& out_;
    std::string indent_;
    bool first_ = true;
};

// One JSON object on one line, built a piece at a time.
class InlineObject {
   public:
    InlineObject& raw(std::string_view key, std::string_view json) {
        text_ += text_.empty() ? "{" : ", ";
        text_ += jsonString(key);
        text_ += ": ";
        text_ += json;
        return *this;
    }
    InlineObject& number(std::string_view key, int64_t value) { return raw(key, std::to_string(value)); }
    InlineObject& boolean(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
    InlineObject& text(std::string_view key, std::string_view latin1) {
        return raw(key, jsonString(latin1ToUtf8(latin1)));
    }
    InlineObject& name(std::string_view key, std::string_view ascii) { return raw(key, jsonString(ascii)); }
    // A number, or null when the file did not set it.
    InlineObject& numberOrNull(std::string_view key, bool set, int64_t value) {
        return set ? number(key, value) : raw(key, "null");
    }
    std::string done() const { return text_.empty() ? std::string("{}") : text_ + "}"; }

   private:
    std::string text_;
};

template <typename Value, size_t N>
std::string jsonNumbers(const std::array<Value, N>& values, size_t count) {
    std::string list = "[";
    for (size_t i = 0; i < count && i < N; ++i) {
        if (i > 0) list += ", ";
        list += std::to_string(values[i]);
    }
    return list + "]";
}

std::string jsonNumbers(const std::vector<uint8_t>& values) {
    std::string list = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) list += ", ";
        list += std::to_string(values[i]);
    }
    return list + "]";
}

// IT samples add, after the XM keys, their sustain loop, global volume and auto-vibrato.
std::string itSampleKeys(const Sample& s) {
    InlineObject keys;
    keys.boolean("panningSet", s.panningSet)
        .number("globalVolume", s.globalVolume)
        .number("sustainStart", s.sustainStart)
        .number("sustainEnd", s.sustainEnd)
        .name("sustainLoopType", sustainLoopName(s))
        .name("vibratoType", nameIn(kItVibratoTypes, s.vibratoType))
        .number("vibratoSpeed", s.vibratoSpeed)
        .number("vibratoDepth", s.vibratoDepth)
        .number("vibratoRate", s.vibratoRate);
    const std::string text = keys.done();
    return text.substr(1, text.size() - 2);  // the keys alone, to follow the others'
}

// XM samples add their own keys after the common ones; the other formats' objects stay as they were.
std::string sampleJson(const Sample& s, uint8_t formatType) {
    const bool xm = formatType == kFormatXm || formatType == kFormatIt;
    std::string json =
        "{\"name\": " + jsonString(latin1ToUtf8(s.name.view())) +
        ", \"length\": " + std::to_string(s.length) + ", \"finetune\": " + std::to_string(s.finetune) +
        ", \"volume\": " + std::to_string(s.volume) + ", \"loopStart\": " + std::to_string(s.loopStart) +
        ", \"loopEnd\": " + std::to_string(s.loopEnd) + ", \"basePeriod\": " + std::to_string(s.basePeriod) +
        ", \"baseFrequency\": " + std::to_string(s.baseFrequency);
    if (xm) {
        json += ", \"relativeNote\": " + std::to_string(s.relativeNote) +
                ", \"finetune128\": " + std::to_string(s.finetune128) +
                ", \"panning\": " + std::to_string(s.panning) + ", \"loopType\": \"" +
                std::string(loopName(s)) + "\", \"sixteenBit\": " + (s.sixteenBit ? "true" : "false");
    }
    if (formatType == kFormatIt) {
        json += ", ";
        json += itSampleKeys(s);
    }
    return json + "}";
}

std::string envelopeJson(const Envelope& e) {
    std::string points = "[";
    for (uint32_t i = 0; i < e.count && i < kEnvelopePoints; ++i) {
        points += (i == 0 ? "[" : ", [") + std::to_string(e.points[i].tick) + ", " +
                  std::to_string(e.points[i].value) + "]";
    }
    const auto flag = [](bool on) { return on ? std::string("true") : std::string("false"); };
    return "{\"on\": " + flag(e.on) + ", \"points\": " + points + "], \"sustainOn\": " + flag(e.sustainOn) +
           ", \"sustain\": " + std::to_string(e.sustain) + ", \"loopOn\": " + flag(e.loopOn) +
           ", \"loopStart\": " + std::to_string(e.loopStart) + ", \"loopEnd\": " + std::to_string(e.loopEnd) +
           "}";
}

std::string instrumentJson(const Instrument& in) {
    std::string map = "[";
    for (uint32_t n = 0; n < kXmInstrumentNotes; ++n)
        map += (n == 0 ? "" : ", ") + std::to_string(in.sampleOfNote[n]);
    return "{\"name\": " + jsonString(latin1ToUtf8(in.name.view())) +
           ", \"firstSample\": " + std::to_string(in.firstSample) +
           ", \"sampleCount\": " + std::to_string(in.sampleCount) + ", \"sampleOfNote\": " + map +
           "], \"volumeEnvelope\": " + envelopeJson(in.volume) +
           ", \"panningEnvelope\": " + envelopeJson(in.panning) +
           ", \"fadeout\": " + std::to_string(in.fadeout) + ", \"vibratoType\": \"" +
           std::string(vibratoName(in.vibratoType)) +
           "\", \"vibratoSweep\": " + std::to_string(in.vibratoSweep) +
           ", \"vibratoDepth\": " + std::to_string(in.vibratoDepth) +
           ", \"vibratoRate\": " + std::to_string(in.vibratoRate) + "}";
}

// IT envelopes add the end of their sustain loop, and carry up to 25 points.
std::string itEnvelopeJson(const Envelope& e) {
    std::string points = "[";
    for (uint32_t i = 0; i < e.count && i < kEnvelopePoints; ++i) {
        if (i > 0) points += ", ";
        points += '[';
        points += std::to_string(e.points[i].tick);
        points += ", ";
        points += std::to_string(e.points[i].value);
        points += ']';
    }
    points += ']';
    return InlineObject()
        .boolean("on", e.on)
        .raw("points", points)
        .boolean("sustainOn", e.sustainOn)
        .number("sustain", e.sustain)
        .number("sustainEnd", e.sustainEnd)
        .boolean("loopOn", e.loopOn)
        .number("loopStart", e.loopStart)
        .number("loopEnd", e.loopEnd)
        .done();
}

std::string itInstrumentJson(const Instrument& in) {
    return InlineObject()
        .text("name", in.name.view())
        .raw("sampleOfNote", jsonNumbers(in.sampleOfNote, kInstrumentNotes))
        .raw("noteOfNote", jsonNumbers(in.noteOfNote, kInstrumentNotes))
        .raw("volumeEnvelope", itEnvelopeJson(in.volume))
        .raw("panningEnvelope", itEnvelopeJson(in.panning))
        .raw("pitchEnvelope", itEnvelopeJson(in.pitch))
        .boolean("filterEnvelope", in.filterEnvelope)
        .name("newNoteAction", nameIn(kNewNoteActions, in.newNoteAction))
        .name("duplicateCheck", nameIn(kDuplicateChecks, in.duplicateCheck))
        .name("duplicateAction", nameIn(kDuplicateActions, in.duplicateAction))
        .number("fadeout", in.fadeout)
        .number("globalVolume", in.globalVolume)
        .numberOrNull("defaultPanning", in.defaultPanningSet, in.defaultPanning)
        .number("randomVolume", in.randomVolume)
        .number("randomPanning", in.randomPanning)
        .numberOrNull("filterCutoff", in.filterCutoffSet, in.filterCutoff)
        .numberOrNull("filterResonance", in.filterResonanceSet, in.filterResonance)
        .number("pitchPanSeparation", in.pitchPanSeparation)
        .number("pitchPanCentre", in.pitchPanCentre)
        .done();
}

void printJson(const FileReport& report, bool withPatterns, std::ostream& out, const std::string& indent) {
    const Module& m = report.module;
    const LoadOutcome& o = report.outcome;
    JsonObject json(out, indent);
    json.raw("file", jsonString(report.path));
    // A name that is not valid UTF-8 shows replacement characters in "file"; its exact bytes,
    // which a tool needs to open it, follow in hexadecimal.
    if (!isValidUtf8(report.path)) json.raw("fileHex", jsonString(hexBytes(report.path)));
    json.boolean("loaded", o.loaded)
        .field("result", o.result)
        .raw("message", jsonString(resultMessage(o.result, o.sizeDetail)))
        .field("sizeDetail", o.sizeDetail)
        .text("trackerLine", o.loaded ? trackerLine(m) : std::string())
        .text("title", m.title.view())
        .text("trackerName", m.trackerName.view())
        .text("signature", m.signature.view())
        .field("formatType", unsigned{m.formatType})
        .field("channelCount", m.channelCount)
        .field("sampleCount", m.sampleCount)
        .field("songLength", m.songLength)
        .field("patternCount", m.patternCount);
    std::string orders = "[";
    for (uint32_t i = 0; i < m.songLength && i < m.orders.size(); ++i) {
        orders += (i == 0 ? "" : ", ") + std::to_string(m.orders[i]);
    }
    json.raw("orders", orders + "]")
        .field("initialTempo", m.initialTempo)
        .field("initialSpeed", m.initialSpeed)
        .field("globalVolume", unsigned{m.globalVolume});
    // Milliseconds; null for a song still playing after an hour, or a file that did not load.
    const bool timed = o.loaded && report.duration.ended;
    json.raw("durationMs", timed ? std::to_string(report.duration.milliseconds) : "null");
    json.raw("timing", !o.loaded || m.formatType != kFormatMod ? "null"
                       : m.vblankTiming                        ? "\"vblank\""
                                                               : "\"tempo\"");
    json.text("writtenBy", m.writtenBy.view());
    std::string songs = "[";
    for (size_t i = 0; i < report.subsongs.size(); ++i) {
        const Subsong& song = report.subsongs[i];
        songs += (i == 0 ? "" : ", ") + std::string("{\"start\": ") + std::to_string(song.start) +
                 ", \"durationMs\": " +
                 (song.duration.ended ? std::to_string(song.duration.milliseconds) : "null") + "}";
    }
    json.raw("subsongs", songs + "]");
    const auto gains = [](const std::vector<int32_t>& values) {
        std::string list = "[";
        for (size_t i = 0; i < values.size(); ++i) list += (i == 0 ? "" : ", ") + std::to_string(values[i]);
        return list + "]";
    };
    json.raw("panLeft", gains(m.panLeft)).raw("panRight", gains(m.panRight));
    std::string samples = "[";
    for (size_t i = 0; i < m.samples.size(); ++i) {
        samples += (i == 0 ? "\n" : ",\n") + indent + "    " + sampleJson(m.samples[i], m.formatType);
    }
    json.raw("samples", samples + (m.samples.empty() ? "]" : "\n" + indent + "  ]"));
    if (o.loaded && m.formatType == kFormatXm) {
        json.boolean("linearFrequency", m.linearFrequency).field("restartPosition", m.restartPosition);
        std::string instruments = "[";
        for (size_t i = 0; i < m.instruments.size(); ++i) {
            instruments += (i == 0 ? "\n" : ",\n") + indent + "    " + instrumentJson(m.instruments[i]);
        }
        json.raw("instruments", instruments + (m.instruments.empty() ? "]" : "\n" + indent + "  ]"));
    }
    if (o.loaded && m.formatType == kFormatIt) {
        json.boolean("instrumentMode", m.instrumentMode)
            .boolean("linearFrequency", m.linearFrequency)
            .boolean("stereo", m.stereo)
            .boolean("oldEffects", m.rules.oldEffects)
            .boolean("compatibleGxx", m.rules.compatibleGxx)
            .field("initialGlobalVolume", unsigned{m.initialGlobalVolume})
            .field("mixVolume", unsigned{m.mixVolume})
            .field("panSeparation", unsigned{m.panSeparation})
            .raw("channelPanning", jsonNumbers(m.channelPanning))
            .raw("channelVolume", jsonNumbers(m.channelVolume))
            .text("songMessage", m.message);
        std::string instruments = "[";
        for (size_t i = 0; i < m.instruments.size(); ++i) {
            instruments += i == 0 ? "\n" : ",\n";
            instruments += indent;
            instruments += "    ";
            instruments += itInstrumentJson(m.instruments[i]);
        }
        if (!m.instruments.empty()) {
            instruments += '\n';
            instruments += indent;
            instruments += "  ";
        }
        json.raw("instruments", instruments + "]");
    }
    if (withPatterns) {
        std::string patterns = "[";
        for (uint32_t p = 0; p < m.patternCount; ++p) {
            patterns += (p == 0 ? "\n" : ",\n") + indent + "    [";
            const std::vector<std::string> lines = formatPatternLines(m, p);
            for (size_t r = 0; r < lines.size(); ++r) {
                patterns += (r == 0 ? "\n" : ",\n") + indent + "      " + jsonString(lines[r]);
            }
            patterns += "\n" + indent + "    ]";
        }
        json.raw("patterns", patterns + (m.patternCount == 0 ? "]" : "\n" + indent + "  ]"));
    }
    json.close();
}

// Loaded modules only: their timing chosen and their songs found, as for a file.
void measure(FileReport& report) {
    chooseTiming(report.module);
    report.subsongs = findSubsongs(report.module);
    report.duration = report.subsongs.front().duration;
}

}  // namespace

void printModuleInfo(const Module& module, const std::string& path, bool asJson, bool withPatterns,
                     std::ostream& out) {
    FileReport report;
    report.path = path;
    report.outcome.loaded = true;
    report.module = module;
    measure(report);
    if (asJson) {
        printJson(report, withPatterns, out, "");
        out << '\n';
    } else {
        printText(report, withPatterns, out);
    }
}

int infoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    bool asJson = false;
    bool withPatterns = false;
    bool optionsDone = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--json") {
            asJson = true;
        } else if (arg == "--patterns") {
            withPatterns = true;
        } else if (arg == "--help" || arg == "-h") {
            out << helpText("info");
            return kExitOk;
        } else {
            err << "tarvex-cli info: unknown option '" << arg << "'\n" << usageText("info");
            return kExitUsage;
        }
    }
    if (files.empty()) {
        err << "tarvex-cli info: no FILE given\n" << usageText("info");
        return kExitUsage;
    }

    const bool array = asJson && files.size() > 1;
    const std::string indent = array ? "  " : "";
    if (array) out << "[\n" << indent;
    int status = kExitOk;
    bool firstShown = true;
    for (size_t i = 0; i < files.size(); ++i) {
        FileReport report;
        report.path = files[i];
        report.outcome = loadModuleFile(files[i], report.module);
        if (!report.outcome.loaded) {
            reportLoad(err, "info", files[i], report.outcome);
            status = kExitFailed;
        } else {
            measure(report);
        }
        if (asJson) {
            if (i > 0) out << ",\n" << indent;
            printJson(report, withPatterns, out, indent);
        } else if (report.outcome.loaded) {
            if (!firstShown) out << '\n';
            printText(report, withPatterns, out);
            firstShown = false;
        }
    }
    if (array) out << "\n]";
    if (asJson) out << '\n';
    return status;
}

}  // namespace tarvex::cli
