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
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
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
    if (!m.writtenBy.empty()) out << "Written by:    " << terminalText(m.writtenBy.view()) << '\n';
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
    if (m.formatType == kFormatXm) {
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

// XM samples add their own keys after the common ones; the other formats' objects stay as they were.
std::string sampleJson(const Sample& s, bool xm) {
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
    for (uint32_t n = 0; n < kInstrumentNotes; ++n)
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
        samples +=
            (i == 0 ? "\n" : ",\n") + indent + "    " + sampleJson(m.samples[i], m.formatType == kFormatXm);
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

}  // namespace

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
            chooseTiming(report.module);
            report.subsongs = findSubsongs(report.module);
            report.duration = report.subsongs.front().duration;
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
