// Every input that ever broke a fuzz target (tests/data/fuzz/<target>/, each with its note in
// NOTES.md) and every file of the malformed corpus loads within the Module's rules and size limit
// and plays for a few seconds through the mixer, with the switches moving, without a sanitizer
// report. Playback inputs replay exactly as the fuzzer ran them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "FuzzSupport.h"
#include "audio/Player.h"
#include "core/EffectCodes.h"
#include "support/Corpus.h"
#include "support/ItWriter.h"

namespace tarvex::test {
namespace {

namespace fs = std::filesystem;

const fs::path kFindings = fs::path(TARVEX_TEST_DATA_DIR) / "fuzz";

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Three seconds with every switch moving: rewinding, fast forward, a restart and the preamp.
PlayInput busyPlay(std::string_view extension, std::span<const uint8_t> file) {
    PlayInput input;
    input.extension = extension;
    input.eighths = 24;
    input.rate = 22050;
    for (uint32_t p = 0; p < kPlayPhases; ++p) {
        PlayPhase& phase = input.phases[p];
        phase.isp = p % 2 == 0;
        phase.click = p % 3 != 1;
        phase.wide = p < 4;
        phase.clipping = p != 5;
        phase.loops = p != 7;
        phase.rewinding = p == 2 || p == 6;
        phase.fastForward = p == 1 || p == 4;
        phase.restart = p == 5;
        phase.preamp = 1 + p * 146;
    }
    input.file = file;
    return input;
}

void expectPlaysCleanly(const PlayInput& input, const std::string& name) {
    Player player;
    const PlayReport report = playFuzzInput(player, input);
    EXPECT_EQ(report.problem, "") << name;
    if (report.outcome.loaded) {
        EXPECT_EQ(report.framesRendered, uint64_t{input.rate} * input.eighths / 8) << name;
    } else {
        EXPECT_EQ(report.outcome.result, kResultUnsupported) << name;
    }
}

TEST(FuzzFindings, EveryKeptInputHasANoteAndReplaysCleanly) {
    std::ifstream notesFile(kFindings / "NOTES.md");
    std::stringstream notes;
    notes << notesFile.rdbuf();
    size_t replayed = 0;
    for (const std::string target : {"mod", "s3m", "stm", "xm", "it"}) {
        std::string extension = target;
        for (char& c : extension) c = static_cast<char>(c - 'a' + 'A');
        for (const fs::path& path : filesIn(kFindings / target)) {
            const std::string name = target + "/" + path.filename().string();
            EXPECT_NE(notes.str().find(name), std::string::npos) << name << " has no note in NOTES.md";
            const std::vector<uint8_t> bytes = readFileBytes(path);
            expectPlaysCleanly(busyPlay(extension, bytes), name);
            ++replayed;
        }
    }
    for (const fs::path& path : filesIn(kFindings / "play")) {
        const std::string name = "play/" + path.filename().string();
        EXPECT_NE(notes.str().find(name), std::string::npos) << name << " has no note in NOTES.md";
        const std::vector<uint8_t> bytes = readFileBytes(path);
        expectPlaysCleanly(decodePlayInput(bytes), name);
        ++replayed;
    }
    if (replayed == 0) GTEST_SKIP() << "no fuzz findings kept in " << kFindings;
}

TEST(FuzzFindings, MalformedCorpusLoadsAndPlaysCleanly) {
    const std::vector<fs::path> files = corpusFiles("malformed");
    if (files.empty()) GTEST_SKIP() << noCorpusMessage();
    for (const fs::path& path : files) {
        std::string extension;
        if (!findExtension(path.filename().string(), extension)) continue;
        const std::vector<uint8_t> bytes = readFileBytes(path);
        expectPlaysCleanly(busyPlay(extension, bytes), path.filename().string());
    }
}

// Every IT file of the second corpus, the malformed ones too, keeps the rules and plays cleanly.
TEST(FuzzFindings, ItCorpusLoadsWithinTheRulesAndPlaysCleanly) {
    std::vector<fs::path> files = corpusXmItFiles("it", ".it");
    const std::vector<fs::path> malformed = corpusXmItFiles("malformed", ".it");
    files.insert(files.end(), malformed.begin(), malformed.end());
    if (files.empty()) GTEST_SKIP() << noXmItCorpusMessage();
    size_t loaded = 0;
    for (const fs::path& path : files) {
        const std::vector<uint8_t> bytes = readFileBytes(path);
        PlayInput input = busyPlay("IT", bytes);
        input.eighths = 8;
        Player player;
        const PlayReport report = playFuzzInput(player, input);
        EXPECT_EQ(report.problem, "") << path.filename();
        if (report.outcome.loaded) {
            EXPECT_EQ(report.framesRendered, uint64_t{input.rate}) << path.filename();
        }
        loaded += report.outcome.loaded;
    }
    EXPECT_GE(loaded, files.size() - malformed.size());
}

// A playback finding: at the top of the band a high resonance makes the filter unstable, which
// once ran its history off to infinity (a conversion the sanitizer reports). It must ring at full
// scale instead, at every rate.
TEST(FuzzFindings, AResonantFilterAtTheTopOfTheBandStaysFinite) {
    ItWriter writer;
    writer.flags = 1 | 4 | 8;
    ItSample sample{.name = "edge"};
    for (int i = 0; i < 64; ++i) sample.frames.push_back(static_cast<int16_t>(i % 2 == 0 ? 100 : -100));
    sample.loopFlags = 1;
    sample.loopEnd = 64;
    writer.samples.push_back(sample);
    ItInstrument instrument;
    for (auto& key : instrument.keyboard) key.second = 1;
    instrument.cutoff = 128 | 127;
    instrument.resonance = 128 | 127;
    writer.instruments = {instrument};
    writer.patterns[0].cells.push_back({.row = 0, .channel = 0, .note = 119, .instrument = 1, .volume = 64});
    const std::vector<uint8_t> bytes = writer.bytes();
    for (const uint32_t rate : {8000u, 22050u, 44100u}) {
        PlayInput input = busyPlay("IT", bytes);
        input.rate = rate;
        expectPlaysCleanly(input, "rate " + std::to_string(rate));
    }
}

// The IT rules of checkLoadedModule: a sound module breaks none, and each fault breaks its rule.
TEST(FuzzFindings, TheItRulesFindEachFault) {
    ItWriter writer;
    writer.flags = 1 | 4;
    writer.samples.push_back({.name = "tone", .frames = {0, 10, 20, 30}});
    ItInstrument instrument;
    for (auto& key : instrument.keyboard) key.second = 1;
    instrument.volume = {.points = {{0, 64}, {10, 0}}, .flags = 1};
    writer.instruments = {instrument};
    writer.patterns[0].cells.push_back({.row = 0, .channel = 1, .note = 60, .instrument = 1, .volume = 64});
    const std::vector<uint8_t> bytes = writer.bytes();
    Module sound;
    ASSERT_TRUE(loadModuleBytes(bytes, "IT", sound).loaded);
    ASSERT_EQ(sound.formatType, kFormatIt);
    ASSERT_EQ(checkLoadedModule(sound, bytes.size()), "");
    ASSERT_FALSE(sound.patterns[0].empty());

    struct Fault {
        const char* rule;
        std::function<void(Module&)> apply;
    };
    const Fault faults[] = {
        {"effect code without a meaning", [](Module& m) { m.patterns[0][0].effect = kItEffectEnd; }},
        {"IT cell with a code of another format",
         [](Module& m) { m.patterns[0][0].effect = kSetGlobalVolume; }},
        {"volume command without a meaning",
         [](Module& m) { m.patterns[0][0].volumeCommand = kVolumeItVibrato + 1; }},
        {"IT note without a meaning", [](Module& m) { m.patterns[0][0].xmNote = kItLastNote + 1; }},
        {"IT volume above 64", [](Module& m) { m.patterns[0][0].volumeParam = 65; }},
        {"envelope of more points than the format has", [](Module& m) { m.instruments[0].pitch.count = 26; }},
        {"IT envelope on without points", [](Module& m) { m.instruments[0].panning.on = true; }},
        {"IT envelope loop outside its points",
         [](Module& m) {
             m.instruments[0].volume.loopOn = true;
             m.instruments[0].volume.loopEnd = 2;
         }},
        {"IT envelope sustain loop outside its points",
         [](Module& m) {
             m.instruments[0].volume.sustainOn = true;
             m.instruments[0].volume.sustain = 1;
             m.instruments[0].volume.sustainEnd = 0;
         }},
        {"note map beyond the samples", [](Module& m) { m.instruments[0].sampleOfNote[5] = 256; }},
        {"IT key playing a note past B-9", [](Module& m) { m.instruments[0].noteOfNote[5] = 120; }},
        {"IT new-note action without a meaning", [](Module& m) { m.instruments[0].duplicateAction = 3; }},
        {"IT instrument level out of range", [](Module& m) { m.instruments[0].fadeout = 1025; }},
        {"IT instruments in sample mode", [](Module& m) { m.instrumentMode = false; }},
        {"IT channel settings differ from the channels", [](Module& m) { m.channelVolume.pop_back(); }},
        {"IT channel volume above 64", [](Module& m) { m.channelVolume[0] = 65; }},
        {"IT channel panning without a meaning", [](Module& m) { m.channelPanning[0] = 128 | 65; }},
        {"IT song volume above 128", [](Module& m) { m.mixVolume = 129; }},
        {"sustain loop beyond the sample", [](Module& m) { m.samples[0].sustainEnd = 5; }},
        {"sustain loop beyond the sample",
         [](Module& m) {
             m.samples[0].sustainStart = 3;
             m.samples[0].sustainEnd = 3;
         }},
        {"IT sample setting out of range", [](Module& m) { m.samples[0].vibratoType = 4; }},
    };
    for (const Fault& fault : faults) {
        Module broken = sound;
        fault.apply(broken);
        EXPECT_EQ(checkLoadedModule(broken, bytes.size()), fault.rule);
    }
    // XM keeps its own limits: twelve envelope points, no IT letters.
    Module xm = sound;
    xm.formatType = kFormatXm;
    xm.instruments[0].volume.count = 13;
    EXPECT_EQ(checkLoadedModule(xm, bytes.size()), "envelope of more points than the format has");
    xm.instruments[0].volume.count = 2;
    xm.patterns[0][0].effect = itEffect('A');
    EXPECT_EQ(checkLoadedModule(xm, bytes.size()), "effect code without a meaning")
        << "an IT letter in an XM cell";
}

}  // namespace
}  // namespace tarvex::test
