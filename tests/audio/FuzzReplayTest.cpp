// Every input that ever broke a fuzz target (tests/data/fuzz/<target>/, each with its note in
// NOTES.md) and every file of the malformed corpus loads within the Module's rules and size limit
// and plays for a few seconds through the mixer, with the switches moving, without a sanitizer
// report. Playback inputs replay exactly as the fuzzer ran them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FuzzSupport.h"
#include "audio/Player.h"
#include "support/Corpus.h"

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
    for (const std::string target : {"mod", "s3m", "stm", "xm"}) {
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

}  // namespace
}  // namespace tarvex::test
