#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "cli/Commands.h"
#include "cli/InfoReport.h"
#include "core/EffectCodes.h"
#include "core/TextEncoding.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "support/ModuleBuilder.h"
#include "support/S3mWriter.h"
#include "support/XmWriter.h"

namespace tarvex {
namespace {

// A strict little JSON reader: enough to prove the output parses and to look values up.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    std::string text;  // string contents (escapes kept), number or bool spelling
    std::vector<Json> items;
    std::map<std::string, Json> fields;
};

class JsonParser {
   public:
    explicit JsonParser(const std::string& text) : s_(text) {}
    bool parseDocument(Json& out) {
        if (!value(out)) return false;
        space();
        return i_ == s_.size();
    }

   private:
    void space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    bool literal(std::string_view word) {
        if (s_.compare(i_, word.size(), word) != 0) return false;
        i_ += word.size();
        return true;
    }
    bool string(std::string& out) {
        if (i_ >= s_.size() || s_[i_] != '"') return false;
        for (++i_; i_ < s_.size(); ++i_) {
            const unsigned char c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20) return false;  // raw control characters are not allowed
            if (c == '\\') {
                if (++i_ >= s_.size() ||
                    std::string_view("\"\\/bfnrtu").find(s_[i_]) == std::string_view::npos) {
                    return false;
                }
            }
            out += static_cast<char>(c);
        }
        return false;
    }
    bool value(Json& out) {
        space();
        if (i_ >= s_.size()) return false;
        const char c = s_[i_];
        if (c == '{') {
            out.kind = Json::Object;
            ++i_;
            space();
            if (literal("}")) return true;
            do {
                space();
                std::string key;
                if (!string(key)) return false;
                space();
                if (!literal(":")) return false;
                if (!value(out.fields[key])) return false;
                space();
            } while (literal(","));
            return literal("}");
        }
        if (c == '[') {
            out.kind = Json::Array;
            ++i_;
            space();
            if (literal("]")) return true;
            do {
                out.items.emplace_back();
                if (!value(out.items.back())) return false;
                space();
            } while (literal(","));
            return literal("]");
        }
        if (c == '"') {
            out.kind = Json::String;
            return string(out.text);
        }
        if (literal("true") || literal("false")) {
            out.kind = Json::Bool;
            out.text = s_[i_ - 1] == 'e' && s_[i_ - 2] == 'u' ? "true" : "false";
            return true;
        }
        if (literal("null")) return true;
        const size_t start = i_;
        if (s_[i_] == '-') ++i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        out.kind = Json::Number;
        out.text = s_.substr(start, i_ - start);
        return i_ > start && out.text != "-";
    }

    const std::string& s_;
    size_t i_ = 0;
};

struct CliRun {
    int status;
    std::string out, err;
};

CliRun info(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::infoCommand(args, out, err);
    return {status, out.str(), err.str()};
}

const char* const kKeys[] = {"file",         "loaded",       "result",       "message",      "sizeDetail",
                             "trackerLine",  "title",        "trackerName",  "signature",    "formatType",
                             "channelCount", "sampleCount",  "songLength",   "patternCount", "orders",
                             "initialTempo", "initialSpeed", "globalVolume", "panLeft",      "panRight",
                             "samples",      "durationMs",   "timing",       "writtenBy",    "subsongs"};

TEST(InfoCommand, EveryCorpusFileAsTextAndJson) {
    const auto files = test::corpusFiles();
    if (files.empty()) GTEST_SKIP() << test::noCorpusMessage();
    for (const auto& path : files) {
        const std::string name = path.string();
        const CliRun json = info({"--json", "--patterns", name});
        Json doc;
        ASSERT_TRUE(JsonParser(json.out).parseDocument(doc)) << name << "\n" << json.out.substr(0, 400);
        ASSERT_EQ(doc.kind, Json::Object) << name;
        for (const char* key : kKeys) EXPECT_TRUE(doc.fields.count(key)) << name << " lacks " << key;
        const bool loaded = doc.fields["loaded"].text == "true";
        EXPECT_EQ(json.status, loaded ? 0 : 1) << name;
        EXPECT_EQ(doc.fields["patterns"].items.size(), std::stoul(doc.fields["patternCount"].text)) << name;
        EXPECT_EQ(doc.fields["orders"].items.size(), std::stoul(doc.fields["songLength"].text)) << name;
        // With loops off every song of the corpus ends within the hour.
        EXPECT_EQ(doc.fields["durationMs"].kind, loaded ? Json::Number : Json::Null) << name;

        const CliRun text = info({"--patterns", name});
        EXPECT_EQ(text.status, json.status) << name;
        EXPECT_EQ(text.out.empty(), !loaded) << name;
        EXPECT_EQ(text.err.empty(), loaded) << name;
        // Its loops on two channels at once, counted per channel, let it end after 5:54.
        if (path.filename() == "dammed_illusion.mod") {
            EXPECT_NE(text.out.find("Duration:      5:54."), std::string::npos) << text.out.substr(0, 800);
        }
    }
}

// Every IT file of the second corpus, the malformed ones too, as text and JSON with its patterns:
// valid JSON with IT's keys, a pattern line per row, the text as long as the JSON says it loaded.
TEST(InfoCommand, EveryItCorpusFileAsTextAndJson) {
    std::vector<std::filesystem::path> files = test::corpusXmItFiles("it", ".it");
    const std::vector<std::filesystem::path> malformed = test::corpusXmItFiles("malformed", ".it");
    if (files.empty()) GTEST_SKIP() << test::noXmItCorpusMessage();
    files.insert(files.end(), malformed.begin(), malformed.end());
    size_t loadedFiles = 0;
    for (const auto& path : files) {
        const std::string name = path.string();
        const CliRun json = info({"--json", "--patterns", name});
        Json doc;
        ASSERT_TRUE(JsonParser(json.out).parseDocument(doc)) << name << "\n" << json.out.substr(0, 400);
        for (const char* key : kKeys) EXPECT_TRUE(doc.fields.count(key)) << name << " lacks " << key;
        const bool loaded = doc.fields["loaded"].text == "true";
        EXPECT_EQ(json.status, loaded ? 0 : 1) << name;
        const CliRun text = info({"--patterns", name});
        EXPECT_EQ(text.status, json.status) << name;
        EXPECT_EQ(text.err.empty(), loaded) << name;
        if (!loaded) continue;
        ++loadedFiles;
        EXPECT_EQ(doc.fields["formatType"].text, "24") << name;
        for (const char* key :
             {"instrumentMode", "channelPanning", "channelVolume", "songMessage", "instruments"})
            EXPECT_TRUE(doc.fields.count(key)) << name << " lacks " << key;
        const bool instrumentMode = doc.fields["instrumentMode"].text == "true";
        if (!instrumentMode) {
            EXPECT_TRUE(doc.fields["instruments"].items.empty()) << name;
        }
        for (Json& instrument : doc.fields["instruments"].items) {
            EXPECT_EQ(instrument.fields["sampleOfNote"].items.size(), 120u) << name;
            EXPECT_EQ(instrument.fields["noteOfNote"].items.size(), 120u) << name;
        }
        EXPECT_EQ(doc.fields["channelPanning"].items.size(), std::stoul(doc.fields["channelCount"].text))
            << name;
        Json& patterns = doc.fields["patterns"];
        ASSERT_EQ(patterns.items.size(), std::stoul(doc.fields["patternCount"].text)) << name;
        const size_t width = 3 + 16 * std::stoul(doc.fields["channelCount"].text);
        for (Json& pattern : patterns.items) {
            EXPECT_GE(pattern.items.size(), 1u) << name;
            for (Json& line : pattern.items) EXPECT_EQ(line.text.size(), width) << name << ": " << line.text;
        }
        EXPECT_NE(text.out.find("Format:        IT (type 24)\n"), std::string::npos) << name;
        EXPECT_NE(text.out.find(instrumentMode ? "Mode:          instruments\n" : "Mode:          samples\n"),
                  std::string::npos)
            << name;
        const size_t patternHeads = [&text] {
            size_t count = 0;
            for (size_t at = text.out.find("\nPattern "); at != std::string::npos;
                 at = text.out.find("\nPattern ", at + 1))
                ++count;
            return count;
        }();
        EXPECT_EQ(patternHeads, patterns.items.size()) << name;
    }
    EXPECT_GE(loadedFiles, files.size() - malformed.size());
}

TEST(InfoCommand, FactsOfOneModule) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.title = "caf\x82 \x84rger";  // 0x84 converts to 0xE4, 0x82 stays and is Latin-1
    mod.songLength = 2;
    mod.orders[1] = 1;
    mod.patternCount = 2;
    mod.samples[0].name = "lead";
    mod.samples[0].data.assign(200, 1);
    mod.setCell(1, 2, 3, 1, 428, 0xC, 0x20);
    const std::string path = test::writeTempFile("facts.mod", mod.bytes()).string();

    const CliRun json = info({"--json", "--patterns", path});
    ASSERT_EQ(json.status, 0);
    Json doc;
    ASSERT_TRUE(JsonParser(json.out).parseDocument(doc));
    EXPECT_EQ(doc.fields["title"].text, "caf\xC2\x82 \xC3\xA4rger");
    EXPECT_EQ(doc.fields["trackerLine"].text, "ProTracker [M.K.]");
    EXPECT_EQ(doc.fields["message"].text, "No Errors");
    EXPECT_EQ(doc.fields["channelCount"].text, "4");
    ASSERT_EQ(doc.fields["orders"].items.size(), 2u);
    EXPECT_EQ(doc.fields["orders"].items[1].text, "1");
    Json& lead = doc.fields["samples"].items[0];
    EXPECT_EQ(lead.fields["name"].text, "lead");
    EXPECT_EQ(lead.fields["length"].text, "200");
    EXPECT_EQ(lead.fields["baseFrequency"].text, "8363");
    EXPECT_EQ(lead.fields["basePeriod"].text, "428");
    EXPECT_EQ(doc.fields["patterns"].items[1].items[2].text,
              "02 ... .. .. ... | ... .. .. ... | ... .. .. ... | C-6 01 .. C20 | ");

    const CliRun text = info({path});
    EXPECT_NE(text.out.find("Tracker:       ProTracker [M.K.]\n"), std::string::npos);
    EXPECT_NE(text.out.find("Errors:        No Errors\n"), std::string::npos);
    EXPECT_NE(text.out.find("caf\xC2\x82 \xC3\xA4rger"), std::string::npos);
    EXPECT_NE(text.out.find("Orders:        0 1\n"), std::string::npos);
    EXPECT_NE(text.out.find("  1 lead"), std::string::npos);
    EXPECT_EQ(text.out.find("Pattern 0:"), std::string::npos);  // only with --patterns
}

// Two instruments (one of two samples: 16-bit ping-pong and 8-bit without loop), a 3-row and a
// 100-row pattern on two channels, Amiga frequencies.
test::XmCell xmCell(uint32_t row, uint32_t channel, uint8_t note, uint8_t instrument, uint8_t volume,
                    uint8_t effect, uint8_t param) {
    test::XmCell cell;
    cell.row = row;
    cell.channel = channel;
    cell.note = note;
    cell.instrument = instrument;
    cell.volume = volume;
    cell.effect = effect;
    cell.param = param;
    return cell;
}

std::string xmFacts() {
    test::XmWriter xm;
    xm.channels = 2;
    xm.flags = 0;
    xm.restart = 1;
    xm.orders = {0, 1};
    test::XmSampleSpec saw;
    saw.name = "saw";
    saw.frames = {0, 100, 200, 300, 400, 500, 600, 700};
    saw.sixteenBit = true;
    saw.loop = 2;
    saw.loopStart = 4;
    saw.loopLength = 8;
    saw.volume = 48;
    saw.finetune = -16;
    saw.panning = 64;
    saw.relativeNote = -12;
    test::XmSampleSpec click;
    click.name = "click";
    click.frames = {1, 2, 3};
    test::XmInstrumentSpec lead = test::XmInstrumentSpec::single("lead", {saw, click});
    lead.map.fill(1);
    lead.volume.points = {{0, 64}, {10, 32}, {20, 0}};
    lead.volume.sustain = 1;
    lead.volume.type = 3;
    lead.fadeout = 0x200;
    lead.vibratoType = 1;
    lead.vibratoSweep = 2;
    lead.vibratoDepth = 3;
    lead.vibratoRate = 4;
    xm.instruments.push_back(lead);
    xm.instruments.push_back(test::XmInstrumentSpec::single("none", {}));
    xm.patterns.resize(2);
    xm.patterns[0].rows = 3;
    xm.patterns[0].cells = {xmCell(0, 0, 49, 1, 0x50, 16, 0x20), xmCell(2, 1, 97, 0, 0x63, 33, 0x12)};
    xm.patterns[1].rows = 100;
    return test::writeTempFile("facts.xm", xm.bytes()).string();
}

TEST(InfoCommand, AnXmWithItsInstrumentsAsText) {
    const std::string path = xmFacts();
    const CliRun text = info({"--patterns", path});
    ASSERT_EQ(text.status, 0) << text.err;
    const char* const lines[] = {
        "Format:        XM (type 20)\n",
        "Channels:      2\n",
        "Samples:       2\n",
        "Frequencies:   Amiga periods\n",
        "Restart:       1\n",
        "Instruments:   2\n",
        "  # Instrument            Samples  VolEnv  PanEnv  Fadeout  Vibrato (type/sweep/depth/rate)\n"
        "  1 lead                        2  on/3    off/0       512  square/2/3/4\n"
        "  2 none                        0  off/0   off/0         0  sine/0/0/0\n",
        "  # Sample                        Length LoopStart  LoopEnd  Vol  Fine  Rel  Pan  Loop     Bits\n"
        "  1 saw                                8         2        6   48   -16  -12   64  pingpong 16\n"
        "  2 click                              3         0        0   64     0    0  128  none      8\n",
        "\nPattern 0:\n"
        "00 C-4 01v40 G20 | ... .. .. ... | \n"
        "01 ... .. .. ... | ... .. .. ... | \n"
        "02 ... .. .. ... | === ..v-3 X12 | \n"
        "\nPattern 1:\n00 ",
    };
    for (const char* line : lines) EXPECT_NE(text.out.find(line), std::string::npos) << line;
    // The MOD family's timing line and sample columns are not an XM's.
    EXPECT_EQ(text.out.find("Timing:"), std::string::npos);
    EXPECT_EQ(text.out.find("Freq  Note"), std::string::npos);
    // Pattern 1 has exactly its 100 rows: 63 (hex) is its last.
    EXPECT_NE(text.out.find("\n63 ... .. .. ... | ... .. .. ... | \n"), std::string::npos);
    EXPECT_EQ(text.out.find("\n64 "), std::string::npos);

    test::XmWriter linear;
    EXPECT_NE(
        info({test::writeTempFile("linear.xm", linear.bytes()).string()}).out.find("Frequencies:   linear\n"),
        std::string::npos);
}

TEST(InfoCommand, AnXmWithItsInstrumentsAsJson) {
    const CliRun json = info({"--json", "--patterns", xmFacts()});
    ASSERT_EQ(json.status, 0) << json.err;
    Json doc;
    ASSERT_TRUE(JsonParser(json.out).parseDocument(doc));
    for (const char* key : kKeys) EXPECT_TRUE(doc.fields.count(key)) << key;
    EXPECT_EQ(doc.fields["formatType"].text, "20");
    EXPECT_EQ(doc.fields["linearFrequency"].text, "false");
    EXPECT_EQ(doc.fields["restartPosition"].text, "1");
    EXPECT_EQ(doc.fields["timing"].kind, Json::Null);

    ASSERT_EQ(doc.fields["instruments"].items.size(), 2u);
    Json& lead = doc.fields["instruments"].items[0];
    const std::pair<const char*, const char*> leadFields[] = {
        {"name", "lead"},          {"firstSample", "0"},  {"sampleCount", "2"},  {"fadeout", "512"},
        {"vibratoType", "square"}, {"vibratoSweep", "2"}, {"vibratoDepth", "3"}, {"vibratoRate", "4"},
    };
    for (const auto& [key, value] : leadFields) EXPECT_EQ(lead.fields[key].text, value) << key;
    ASSERT_EQ(lead.fields["sampleOfNote"].items.size(), 96u);
    EXPECT_EQ(lead.fields["sampleOfNote"].items[95].text, "2");
    Json& volume = lead.fields["volumeEnvelope"];
    EXPECT_EQ(volume.fields["on"].text, "true");
    EXPECT_EQ(volume.fields["sustainOn"].text, "true");
    EXPECT_EQ(volume.fields["loopOn"].text, "false");
    EXPECT_EQ(volume.fields["sustain"].text, "1");
    ASSERT_EQ(volume.fields["points"].items.size(), 3u);
    EXPECT_EQ(volume.fields["points"].items[1].items[0].text, "10");
    EXPECT_EQ(volume.fields["points"].items[1].items[1].text, "32");
    EXPECT_EQ(lead.fields["panningEnvelope"].fields["points"].items.size(), 0u);
    EXPECT_EQ(doc.fields["instruments"].items[1].fields["sampleCount"].text, "0");

    ASSERT_EQ(doc.fields["samples"].items.size(), 2u);
    Json& saw = doc.fields["samples"].items[0];
    const std::pair<const char*, const char*> sawFields[] = {
        {"name", "saw"},          {"length", "8"},         {"loopStart", "2"},     {"loopEnd", "6"},
        {"volume", "48"},         {"relativeNote", "-12"}, {"finetune128", "-16"}, {"panning", "64"},
        {"loopType", "pingpong"}, {"sixteenBit", "true"},
    };
    for (const auto& [key, value] : sawFields) EXPECT_EQ(saw.fields[key].text, value) << key;
    EXPECT_EQ(doc.fields["samples"].items[1].fields["loopType"].text, "none");

    ASSERT_EQ(doc.fields["patterns"].items.size(), 2u);
    EXPECT_EQ(doc.fields["patterns"].items[0].items.size(), 3u);
    EXPECT_EQ(doc.fields["patterns"].items[1].items.size(), 100u);
    EXPECT_EQ(doc.fields["patterns"].items[0].items[2].text, "02 ... .. .. ... | === ..v-3 X12 | ");
}

// An IT song in memory: two instruments over two samples, three channels (the second muted), a
// message and one pattern of two rows.
Module itFacts(bool instrumentMode) {
    test::ModuleBuilder builder(3);
    builder.format(kFormatIt).sample({.length = 100, .volume = 48, .loopStart = 10, .loopEnd = 90});
    builder.sample({.length = 20, .volume = 64});
    std::unique_ptr<Module> built = builder.build();
    Module m = *built;
    m.title.assign("it facts");
    m.writtenBy.assign("Impulse Tracker 2.14");
    m.instrumentMode = instrumentMode;
    m.linearFrequency = true;
    m.rules.compatibleGxx = true;
    m.stereo = false;
    m.initialGlobalVolume = 100;
    m.mixVolume = 80;
    m.panSeparation = 64;
    m.channelPanning = {0, 32 | kChannelMuted, kChannelSurround};
    m.channelVolume = {64, 32, 0};
    m.message = "first line\rsecond\x01 line";

    Sample& looped = m.samples[0];
    looped.name.assign("lead");
    looped.sustainStart = 20;
    looped.sustainEnd = 40;
    looped.sustainPingPong = true;
    looped.globalVolume = 50;
    looped.panning = 200;
    looped.panningSet = true;
    looped.sixteenBit = true;
    looped.vibratoType = 2;
    looped.vibratoSpeed = 3;
    looped.vibratoDepth = 4;
    looped.vibratoRate = 5;
    m.samples[1].name.assign("click");

    if (instrumentMode) {
        Instrument piano;
        piano.name.assign("piano");
        for (uint32_t n = 0; n < kInstrumentNotes; ++n) {
            piano.sampleOfNote[n] = n < 60 ? 1 : 2;
            piano.noteOfNote[n] = static_cast<uint8_t>(n);
        }
        piano.noteOfNote[119] = 12;
        piano.newNoteAction = kNnaContinue;
        piano.duplicateCheck = kDctSample;
        piano.duplicateAction = kDcaNoteFade;
        piano.fadeout = 256;
        piano.globalVolume = 100;
        piano.defaultPanning = 48;
        piano.defaultPanningSet = true;
        piano.randomVolume = 10;
        piano.randomPanning = 5;
        piano.filterCutoff = 100;
        piano.filterCutoffSet = true;
        piano.pitchPanSeparation = -4;
        piano.pitchPanCentre = 61;
        piano.volume.on = true;
        piano.volume.count = 2;
        piano.volume.points[1] = {10, 64};
        piano.volume.sustainOn = true;
        piano.volume.sustain = 0;
        piano.volume.sustainEnd = 1;
        piano.pitch.on = true;
        piano.pitch.count = 25;
        piano.pitch.points[24] = {500, 32};
        piano.filterEnvelope = true;
        m.instruments = {piano, Instrument{}};
        m.instruments[1].name.assign("empty");
    }

    m.patternRows = {2};
    NoteCell note;
    note.xmNote = 61;
    note.sample = 1;
    note.volumeCommand = kVolumeSet;
    note.volumeParam = 64;
    note.effect = itEffect('A');
    note.param = 6;
    NoteCell cut;
    cut.row = 1;
    cut.channel = 2;
    cut.xmNote = kItNoteCut;
    cut.volumeCommand = kVolumeItPanning;
    cut.volumeParam = 32;
    m.patterns = {{note, cut}};
    m.patternCount = 1;
    return m;
}

std::string itInfo(const Module& module, bool json) {
    std::ostringstream out;
    cli::printModuleInfo(module, "facts.it", json, true, out);
    return out.str();
}

TEST(InfoCommand, AnItWithItsInstrumentsAsText) {
    const std::string text = itInfo(itFacts(true), false);
    const char* const lines[] = {
        "Format:        IT (type 24)\n",
        "Channels:      3\n",
        "Mode:          instruments\n",
        "Flags:         mono, linear slides, compatible Gxx\n",
        "Volumes:       global 100, mix 80, separation 64 (of 128)\n",
        "Instruments:   2\n",
        "Channel pan:   0 32m S\n",
        "Channel vol:   64 32 0\n",
        "Written by:    Impulse Tracker 2.14\n",
        // Control characters show as dots, a carriage return ends a line.
        "Message:\n  first line\n  second. line\n",
        "  # Instrument                Samples  VolEnv  PanEnv  PitchEnv  Fadeout  GVol  Pan  NNA       DCT  "
        "       "
        "DCA   Filter   Random   PitchPan\n"
        "  1 piano                           2  on/2    off/0   F:on/25       256   100   48  continue  "
        "sample      "
        "fade  100/-    10/5     -4/C#5\n"
        "  2 empty                           0  off/0   off/0   off/0           0   128    -  cut       off  "
        "       "
        "cut   -/-      0/0      0/C-5\n",
        "  # Sample                        Length LoopStart  LoopEnd  Loop     SusStart   SusEnd  SusLoop   "
        "Vol GVol  "
        "Pan Bits    Rate  Vibrato (type/speed/depth/rate)\n"
        "  1 lead                             100        10       90  forward        20       40  pingpong   "
        "48   50  "
        "200 16    8363  square/3/4/5\n"
        "  2 click                             20         0        0  none            0        0  none       "
        "64   64  "
        "  -  8    8363  sine/0/0/0\n",
        "\nPattern 0:\n"
        "00 C-5 01v64 A06 | ... .. .. ... | ... .. .. ... | \n"
        "01 ... .. .. ... | ... .. .. ... | ^^^ ..p32 ... | \n",
    };
    for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("Frequencies:"), std::string::npos);
    EXPECT_EQ(text.find("Freq  Note"), std::string::npos);

    const std::string samplesOnly = itInfo(itFacts(false), false);
    EXPECT_NE(samplesOnly.find("Mode:          samples\n"), std::string::npos);
    EXPECT_NE(samplesOnly.find("Instruments:   0\n"), std::string::npos);
    EXPECT_NE(samplesOnly.find("  1 lead "), std::string::npos);
}

TEST(InfoCommand, AnItWithItsInstrumentsAsJson) {
    Json doc;
    const std::string json = itInfo(itFacts(true), true);
    ASSERT_TRUE(JsonParser(json).parseDocument(doc)) << json;
    for (const char* key : kKeys) EXPECT_TRUE(doc.fields.count(key)) << key;
    const std::pair<const char*, const char*> songFields[] = {
        {"formatType", "24"},
        {"instrumentMode", "true"},
        {"linearFrequency", "true"},
        {"stereo", "false"},
        {"oldEffects", "false"},
        {"compatibleGxx", "true"},
        {"initialGlobalVolume", "100"},
        {"mixVolume", "80"},
        {"panSeparation", "64"},
        {"writtenBy", "Impulse Tracker 2.14"},
        // The parser keeps escapes, less their "u".
        {"songMessage", "first line\\000dsecond\\0001 line"},
    };
    for (const auto& [key, value] : songFields) EXPECT_EQ(doc.fields[key].text, value) << key;
    EXPECT_EQ(doc.fields["message"].text, "No Errors");  // the load's, not the song's
    ASSERT_EQ(doc.fields["channelPanning"].items.size(), 3u);
    EXPECT_EQ(doc.fields["channelPanning"].items[1].text, "160");
    EXPECT_EQ(doc.fields["channelVolume"].items[2].text, "0");

    ASSERT_EQ(doc.fields["instruments"].items.size(), 2u);
    Json& piano = doc.fields["instruments"].items[0];
    const std::pair<const char*, const char*> pianoFields[] = {
        {"name", "piano"},
        {"newNoteAction", "continue"},
        {"duplicateCheck", "sample"},
        {"duplicateAction", "fade"},
        {"fadeout", "256"},
        {"globalVolume", "100"},
        {"defaultPanning", "48"},
        {"randomVolume", "10"},
        {"randomPanning", "5"},
        {"filterCutoff", "100"},
        {"pitchPanSeparation", "-4"},
        {"pitchPanCentre", "61"},
        {"filterEnvelope", "true"},
    };
    for (const auto& [key, value] : pianoFields) EXPECT_EQ(piano.fields[key].text, value) << key;
    EXPECT_EQ(piano.fields["filterResonance"].kind, Json::Null);
    EXPECT_EQ(doc.fields["instruments"].items[1].fields["defaultPanning"].kind, Json::Null);
    ASSERT_EQ(piano.fields["sampleOfNote"].items.size(), 120u);
    EXPECT_EQ(piano.fields["sampleOfNote"].items[59].text, "1");
    EXPECT_EQ(piano.fields["sampleOfNote"].items[119].text, "2");
    ASSERT_EQ(piano.fields["noteOfNote"].items.size(), 120u);
    EXPECT_EQ(piano.fields["noteOfNote"].items[119].text, "12");
    Json& volume = piano.fields["volumeEnvelope"];
    EXPECT_EQ(volume.fields["sustainEnd"].text, "1");
    ASSERT_EQ(volume.fields["points"].items.size(), 2u);
    EXPECT_EQ(volume.fields["points"].items[1].items[0].text, "10");
    ASSERT_EQ(piano.fields["pitchEnvelope"].fields["points"].items.size(), 25u);
    EXPECT_EQ(piano.fields["pitchEnvelope"].fields["points"].items[24].items[0].text, "500");

    ASSERT_EQ(doc.fields["samples"].items.size(), 2u);
    Json& lead = doc.fields["samples"].items[0];
    const std::pair<const char*, const char*> leadFields[] = {
        {"loopType", "forward"},         {"sustainStart", "20"}, {"sustainEnd", "40"},
        {"sustainLoopType", "pingpong"}, {"globalVolume", "50"}, {"panning", "200"},
        {"panningSet", "true"},          {"sixteenBit", "true"}, {"vibratoType", "square"},
        {"vibratoSpeed", "3"},           {"vibratoDepth", "4"},  {"vibratoRate", "5"},
    };
    for (const auto& [key, value] : leadFields) EXPECT_EQ(lead.fields[key].text, value) << key;
    EXPECT_EQ(doc.fields["samples"].items[1].fields["sustainLoopType"].text, "none");
    EXPECT_EQ(doc.fields["patterns"].items[0].items[1].text,
              "01 ... .. .. ... | ... .. .. ... | ^^^ ..p32 ... | ");

    Json samplesOnly;
    ASSERT_TRUE(JsonParser(itInfo(itFacts(false), true)).parseDocument(samplesOnly));
    EXPECT_EQ(samplesOnly.fields["instrumentMode"].text, "false");
    EXPECT_EQ(samplesOnly.fields["instruments"].kind, Json::Array);
    EXPECT_EQ(samplesOnly.fields["instruments"].items.size(), 0u);
}

TEST(InfoCommand, OtherFormatsGetNoXmKeys) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.samples[0].data.assign(10, 1);
    const CliRun json = info({"--json", test::writeTempFile("plain.mod", mod.bytes()).string()});
    ASSERT_EQ(json.status, 0);
    for (const char* key : {"instruments", "linearFrequency", "restartPosition", "relativeNote", "loopType",
                            "instrumentMode", "channelPanning", "songMessage", "sustainStart"})
        EXPECT_EQ(json.out.find(key), std::string::npos) << key;
}

// Two patterns of 64 rows at speed 6 and tempo 125: 768 ticks of 20 ms, plus the tick that finds
// the order list at its end.
TEST(InfoCommand, DurationOfEndingAndEndlessSongs) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.songLength = 2;
    mod.orders[1] = 1;
    mod.patternCount = 2;
    const std::string ending = test::writeTempFile("ending.mod", mod.bytes()).string();
    const CliRun text = info({ending});
    EXPECT_NE(text.out.find("Duration:      0:15.380\n"), std::string::npos) << text.out;
    const CliRun json = info({"--json", ending});
    Json doc;
    ASSERT_TRUE(JsonParser(json.out).parseDocument(doc));
    EXPECT_EQ(doc.fields["durationMs"].text, "15380");

    // Two channels looping in the same row: each counts its own loop, rows 0-1 play three times
    // and 62 rows follow, 68 rows in all.
    test::ModWriter loops = test::ModWriter::withSignature("M.K.");
    loops.setCell(0, 0, 0, 0, 0, 0xE, 0x60);
    loops.setCell(0, 1, 0, 0, 0, 0xE, 0x62);
    loops.setCell(0, 1, 1, 0, 0, 0xE, 0x62);
    const std::string looping = test::writeTempFile("loops.mod", loops.bytes()).string();
    EXPECT_NE(info({looping}).out.find("Duration:      0:08.180\n"), std::string::npos);

    // Speed 31 at tempo 32 through 128 order positions: five and a half hours.
    test::ModWriter slow = test::ModWriter::withSignature("M.K.");
    slow.songLength = 128;
    slow.setCell(0, 0, 0, 0, 0, 0xF, 0x1F);
    slow.setCell(0, 0, 1, 0, 0, 0xF, 0x20);
    const std::string endless = test::writeTempFile("endless.mod", slow.bytes()).string();
    EXPECT_NE(info({endless}).out.find("Duration:      over 60:00\n"), std::string::npos);
    Json endlessDoc;
    ASSERT_TRUE(JsonParser(info({"--json", endless}).out).parseDocument(endlessDoc));
    EXPECT_EQ(endlessDoc.fields["durationMs"].kind, Json::Null);
}

TEST(InfoCommand, SubsongsTimingAndTheProgramThatWroteAnS3m) {
    // Position 0 jumps over 1 to 2: the song from 1 is a second one (1 and 2, one pattern each).
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.songLength = 3;
    mod.orders[1] = 1;
    mod.orders[2] = 2;
    mod.patternCount = 3;
    mod.setCell(0, 63, 0, 0, 0, 0xB, 2);
    const std::string path = test::writeTempFile("songs.mod", mod.bytes()).string();
    const CliRun text = info({path});
    EXPECT_NE(text.out.find("Timing:        tempo\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Sub-songs:     2\n"
                            "                1  order 0    0:15.380\n"
                            "                2  order 1    0:15.380\n"),
              std::string::npos)
        << text.out;
    Json doc;
    ASSERT_TRUE(JsonParser(info({"--json", path}).out).parseDocument(doc));
    ASSERT_EQ(doc.fields["subsongs"].items.size(), 2u);
    EXPECT_EQ(doc.fields["subsongs"].items[1].fields["start"].text, "1");
    EXPECT_EQ(doc.fields["subsongs"].items[1].fields["durationMs"].text, "15380");
    EXPECT_EQ(doc.fields["timing"].text, "tempo");
    EXPECT_EQ(doc.fields["writtenBy"].text, "");

    struct Row {
        uint16_t version;
        uint32_t reserved;  // the header's bytes 54-57
        const char* writer;
    };
    const Row rows[] = {{0x1320, 0, "ScreamTracker 3.20"},
                        {0x1301, 0, "ScreamTracker 3.01"},
                        {0x3214, 0, "Impulse Tracker 2.14"},
                        {0x5129, 0, "OpenMPT 1.29"},
                        {0x4FFF, 0xFB0, "Schism Tracker 2020-10-29"},
                        {0x4150, 0, "Schism Tracker 2010-07-14"},
                        {0x2100, 0, "Imago Orpheus 1.00"},
                        {0x0000, 0, ""},
                        {0xA123, 0, ""}};
    for (const Row& row : rows) {
        test::S3mWriter s3m;
        s3m.version = row.version;
        std::vector<uint8_t> bytes = s3m.bytes();
        for (int i = 0; i < 4; ++i) bytes[54 + i] = static_cast<uint8_t>(row.reserved >> (8 * i));
        const std::string s3mPath = test::writeTempFile("writer.s3m", bytes).string();
        Json s3mDoc;
        ASSERT_TRUE(JsonParser(info({"--json", s3mPath}).out).parseDocument(s3mDoc));
        EXPECT_EQ(s3mDoc.fields["writtenBy"].text, row.writer) << std::hex << row.version;
        EXPECT_EQ(s3mDoc.fields["timing"].kind, Json::Null);
        const std::string line = std::string("Written by:    ") + row.writer + "\n";
        EXPECT_EQ(info({s3mPath}).out.find(line) != std::string::npos, *row.writer != 0) << row.writer;
    }
}

// Whatever bytes a file name holds, the JSON is valid UTF-8: replacement characters in "file",
// the exact bytes in "fileHex" when (and only when) the name needed them.
TEST(InfoCommand, JsonIsValidUtf8ForEveryFileName) {
    const std::vector<uint8_t> song = test::ModWriter::withSignature("M.K.").bytes();
    const std::string dir = test::writeTempFile("json-names", {}).parent_path().string() + "/";
    const std::string fffd = "\xEF\xBF\xBD";
    struct Row {
        std::string name;  // in dir
        bool exists;
        std::string shown;      // "file" after dir
        std::string hexOfName;  // "fileHex" ends with it; empty: no such key
    };
    const std::vector<Row> rows = {
        {"plain.mod", true, "plain.mod", ""},
        {"s\xC3\xA4nger.mod", true, "s\xC3\xA4nger.mod", ""},
        {"s\xE4nger.mod", true, "s" + fffd + "nger.mod", "73e46e6765722e6d6f64"},
        {"\xFF\xFE.mod", true, fffd + fffd + ".mod", "fffe2e6d6f64"},
        {"gone\x80.mod", false, "gone" + fffd + ".mod", "676f6e65802e6d6f64"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        const std::string path = dir + row.name;
        if (row.exists) test::writeTempFile(row.name, song);
        const CliRun run = info({"--json", path});
        EXPECT_EQ(run.status, row.exists ? 0 : 1);
        EXPECT_TRUE(isValidUtf8(run.out));
        Json doc;
        ASSERT_TRUE(JsonParser(run.out).parseDocument(doc)) << run.out;
        EXPECT_EQ(doc.fields["file"].text, dir + row.shown);
        if (row.hexOfName.empty()) {
            EXPECT_EQ(doc.fields.count("fileHex"), 0u);
        } else {
            const std::string hex = doc.fields["fileHex"].text;
            ASSERT_GE(hex.size(), row.hexOfName.size());
            EXPECT_EQ(hex.substr(hex.size() - row.hexOfName.size()), row.hexOfName);
            EXPECT_EQ(hex.size(), path.size() * 2);
        }
    }
}

TEST(InfoCommand, SeveralFilesFailuresAndUsage) {
    const std::string good =
        test::writeTempFile("good.mod", test::ModWriter::withSignature("M.K.").bytes()).string();
    const std::string missing = good + ".missing.mod";
    const CliRun both = info({"--json", good, missing});
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find("File not found"), std::string::npos);
    Json doc;
    ASSERT_TRUE(JsonParser(both.out).parseDocument(doc));
    ASSERT_EQ(doc.kind, Json::Array);
    ASSERT_EQ(doc.items.size(), 2u);
    EXPECT_EQ(doc.items[0].fields["loaded"].text, "true");
    EXPECT_EQ(doc.items[1].fields["loaded"].text, "false");
    EXPECT_EQ(doc.items[1].fields["result"].text, "3");

    const CliRun text = info({missing, good});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("ProTracker [M.K.]"), std::string::npos);  // the good one still printed

    EXPECT_EQ(info({}).status, 2);
    EXPECT_EQ(info({"--json"}).status, 2);
    EXPECT_EQ(info({"--frobnicate", good}).status, 2);
    const CliRun help = info({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tarvex-cli info"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
