#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ItWriter.h"
#include "support/ModWriter.h"
#include "support/S3mWriter.h"
#include "support/StmWriter.h"
#include "support/XmWriter.h"

namespace tarvex {
namespace {

using test::ModWriter;
using test::writeTempFile;

std::vector<uint8_t> exactMod() {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.samples[0].data.assign(64, 1);
    return mod.bytes();
}

TEST(Loader, ChoosesTheReaderByExtension) {
    const std::vector<uint8_t> bytes = exactMod();
    for (const char* name : {"song.mod", "SONG.MOD", "song.Mod", "song.nst"}) {
        Module module;
        const LoadOutcome outcome = loadModuleFile(writeTempFile(name, bytes).string(), module);
        EXPECT_TRUE(outcome.loaded) << name;
        EXPECT_EQ(outcome.result, kResultOk) << name;
        EXPECT_EQ(trackerLine(module), "ProTracker [M.K.]") << name;
    }
    struct Refused {
        std::string path;
        int32_t result;
    };
    // Refused names hold bytes without any mark; a list is refused even with one.
    const std::vector<uint8_t> unmarked(2000, 0);
    std::filesystem::create_directories(writeTempFile("x", {}).parent_path() / "dir.mod");
    const std::filesystem::path dotted = writeTempFile("dir.mod/song", unmarked);
    const std::vector<Refused> refused = {
        {writeTempFile("song.mod2", unmarked).string(), kResultUnsupported},
        {writeTempFile("list.lst", bytes).string(), kResultUnsupported},
        {writeTempFile("mod.lst", bytes).string(), kResultUnsupported},
        {writeTempFile("noextension", unmarked).string(), kResultUnsupported},
        {writeTempFile("amod.song", unmarked).string(), kResultUnsupported},
        {dotted.string(), kResultUnsupported},  // the only dot is in a directory name
        {(dotted.parent_path().parent_path() / "missing.xyz").string(), kResultNotFound},  // open comes first
        {(dotted.parent_path().parent_path() / "missing").string(), kResultUnsupported},   // no dot
        {dotted.parent_path().string(), kResultNotFound},  // a directory cannot be read
    };
    for (const Refused& r : refused) {
        Module module;
        module.title.assign("left over");
        const LoadOutcome outcome = loadModuleFile(r.path, module);
        EXPECT_FALSE(outcome.loaded) << r.path;
        EXPECT_EQ(outcome.result, r.result) << r.path;
        EXPECT_EQ(outcome.sizeDetail, 0);
        EXPECT_TRUE(module.title.empty()) << "a failed load leaves an empty module";
    }
}

TEST(Loader, MarksAndAmigaNamesChooseTheReader) {
    test::S3mWriter s3m;
    test::StmWriter stm;
    test::StmWriter bmod;
    bmod.tag = "BMOD2STM";
    test::StmWriter stmType1;  // "!Scream!" without type 2 is no mark
    stmType1.type = 1;
    const std::vector<uint8_t> mk = exactMod();
    const std::vector<uint8_t> noSignature = ModWriter::fifteenSamples().bytes();
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        uint8_t format;
        const char* tracker;
    };
    const std::vector<Row> rows = {
        {"song.mod", s3m.bytes(), kFormatS3m, nullptr},  // an S3M file named .mod
        {"song.stm", s3m.bytes(), kFormatS3m, nullptr},
        {"song.nst", stm.bytes(), kFormatStm, nullptr},
        {"song.s3m", bmod.bytes(), kFormatStm, nullptr},
        {"typeone.mod", stmType1.bytes(), kFormatMod, nullptr},
        {"song.mod2", mk, kFormatMod, "ProTracker [M.K.]"},  // no reader: the signature decides
        {"noextension", mk, kFormatMod, "ProTracker [M.K.]"},
        {"mod.technomania", noSignature, kFormatMod, "NoiseTracker [no ID]"},
        {"MOD.Loud", noSignature, kFormatMod, "NoiseTracker [no ID]"},
        {"mod.s3mfile", s3m.bytes(), kFormatS3m, nullptr},  // the mark before the name
        {"plain.xyz", stm.bytes(), kFormatStm, nullptr},
    };
    for (const Row& row : rows) {
        Module module;
        const LoadOutcome outcome = loadModuleFile(writeTempFile(row.name, row.bytes).string(), module);
        ASSERT_TRUE(outcome.loaded) << row.name;
        EXPECT_EQ(module.formatType, row.format) << row.name;
        if (row.tracker != nullptr) {
            EXPECT_EQ(trackerLine(module), row.tracker) << row.name;
        }
    }
    // The same marks through the in-memory entry point.
    Module module;
    EXPECT_TRUE(loadModuleBytes(s3m.bytes(), "mod", module).loaded);
    EXPECT_EQ(module.formatType, kFormatS3m);
}

// Files with no module in them, or with the mark of a format no reader reads, fail with the
// reason said; a real module just above the limits still loads.
TEST(Loader, AFileWithNoModuleInItIsRefusedWithItsReason) {
    const auto marked = [](std::string_view mark, size_t size) {
        std::vector<uint8_t> bytes(size, 0x55);
        std::copy(mark.begin(), mark.end(), bytes.begin());
        return bytes;
    };
    std::vector<uint8_t> xmWithSignature = exactMod();  // a MOD whose title looks like a mark
    std::copy_n("Extended Module: ", 17, xmWithSignature.begin());
    std::vector<uint8_t> riffWave = marked("RIFF", 2000);
    std::copy_n("WAVE", 4, riffWave.begin() + 8);
    const std::vector<uint8_t> realXm = test::XmWriter().bytes();
    const std::vector<uint8_t> realIt = test::ItWriter().bytes();
    std::vector<uint8_t> zeroHeader(5000, 0);
    zeroHeader.back() = 1;
    std::vector<uint8_t> oneInHeader(5000, 0);
    oneInHeader[1083] = 1;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string reason;  // empty: loads
    };
    const std::vector<Case> cases = {
        {"empty.mod", {}, "empty file"},
        {"empty.s3m", {}, "empty file"},
        {"zeros.mod", std::vector<uint8_t>(1084, 0), "no module in it: every byte is zero"},
        {"zeros.stm", std::vector<uint8_t>(300, 0), "no module in it: every byte is zero"},
        {"zeroheader.mod", zeroHeader, "no module in it: its header is all zero bytes"},
        {"oneinheader.mod", oneInHeader, ""},  // a last signature byte: a 15-sample MOD, cut short
        {"short.mod", {'a', 'b', 'c'}, "3 bytes: too short for a MOD header"},
        {"header.mod", std::vector<uint8_t>(599, 1), "599 bytes: too short for a MOD header"},
        {"onlyheader.mod", std::vector<uint8_t>(600, 1), ""},  // a 15-sample header: loads, cut short
        {"song.xm", realXm, ""},  // read since XM is: by its name, and by its mark under any name
        {"xm-named.mod", realXm, ""},
        {"xm-unnamed", realXm, ""},
        {"song.it", realIt, ""},  // read by its name, and by its mark under any name
        {"it-named.s3m", realIt, ""},
        {"it-unnamed", realIt, ""},
        {"short.it", marked("IMPM", 191), "191 bytes: too short for a IT header"},
        {"midi.mod", marked("MThd", 4000), "Standard MIDI file, a format this version does not read"},
        {"wave.mod", riffWave, "WAVE audio file, a format this version does not read"},
        {"okt.nst", marked("OKTASONG", 4000), "Oktalyzer file, a format this version does not read"},
        {"riff.mod", marked("RIFF", 4000), ""},  // RIFF alone is no mark: a 15-sample MOD
        {"titled.mod", xmWithSignature, ""},     // the signature at 1080 decides
        {"fifteen.mod", ModWriter::fifteenSamples().bytes(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Module module;
        const LoadOutcome outcome = loadModuleFile(writeTempFile(c.name, c.bytes).string(), module);
        EXPECT_EQ(outcome.loaded, c.reason.empty());
        EXPECT_EQ(outcome.reason, c.reason);
        if (c.bytes == realXm) {
            EXPECT_EQ(module.formatType, kFormatXm);
        }
        if (c.bytes == realIt) {
            EXPECT_EQ(module.formatType, kFormatIt);
        }
        if (c.reason.empty()) continue;
        EXPECT_EQ(outcome.result, kResultUnsupported);
        EXPECT_EQ(module.patternCount, 0u);
        EXPECT_TRUE(module.samples.empty());
        // The same verdict for the bytes in memory.
        Module fromBytes;
        const std::string name = c.name;
        const LoadOutcome inMemory = loadModuleBytes(
            c.bytes, name.substr(name.rfind('.') == std::string::npos ? name.size() : name.rfind('.') + 1),
            fromBytes);
        EXPECT_FALSE(inMemory.loaded);
        EXPECT_EQ(inMemory.reason, c.reason);
    }
}

TEST(Loader, AFileThatCannotBeOpenedSaysWhy) {
    const std::filesystem::path dir = writeTempFile("x", {}).parent_path() / "folder.mod";
    std::filesystem::create_directories(dir);
    struct Case {
        std::filesystem::path path;
        std::string reason;
    };
    std::vector<Case> cases = {
        {dir, "is a directory"},
        {dir.parent_path() / "missing.mod", "no such file or directory"},
        {dir / "nothing" / "deeper.mod", "no such file or directory"},
    };
#ifdef __linux__
    const std::filesystem::path pipe = dir.parent_path() / "pipe.mod";
    std::filesystem::remove(pipe);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    cases.push_back({pipe, "not a regular file"});  // would wait for a writer for ever
#endif
    for (const Case& c : cases) {
        Module module;
        const LoadOutcome outcome = loadModuleFile(c.path.string(), module);
        EXPECT_EQ(outcome.result, kResultNotFound) << c.path;
        EXPECT_EQ(outcome.reason, c.reason) << c.path;
    }
    Module module;
    EXPECT_EQ(loadModuleFile(writeTempFile("fine.mod", exactMod()).string(), module).reason, "");
}

#ifdef __linux__
struct HugeLoad {
    LoadOutcome outcome;
    uint32_t patternCount = 0;
    long peakGrowthKiB = 0;
};

// Loads path in a child process and measures how far the load raised the child's peak resident
// size over what it started with (getrusage), so that nothing else of the test program counts.
HugeLoad loadInChild(const std::filesystem::path& path) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        Module module;
        HugeLoad load;
        load.outcome = loadModuleFile(path.string(), module);
        load.patternCount = module.patternCount;
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        load.peakGrowthKiB = after.ru_maxrss - before.ru_maxrss;
        const int32_t facts[4] = {load.outcome.result, load.outcome.sizeDetail,
                                  static_cast<int32_t>(load.patternCount),
                                  static_cast<int32_t>(load.peakGrowthKiB)};
        const bool written = write(fds[1], facts, sizeof facts) == static_cast<ssize_t>(sizeof facts);
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    int32_t facts[4] = {-1, 0, 0, 0};
    const bool got = read(fds[0], facts, sizeof facts) == static_cast<ssize_t>(sizeof facts);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    HugeLoad load;
    if (!got) return load;
    load.outcome.result = facts[0];
    load.outcome.sizeDetail = facts[1];
    load.patternCount = static_cast<uint32_t>(facts[2]);
    load.peakGrowthKiB = facts[3];
    return load;
}

TEST(Loader, AHugeFileCostsWhatTheFormatCanReferenceNotItsLength) {
    // Sparse files: their length is there without the disk space (or the reading).
    // One byte set: the S3M and STM type at 29, or a MOD song length of 1 at 470.
    const auto sparse = [](const std::string& name, uint64_t size, int64_t offset, uint8_t value) {
        const std::filesystem::path path = writeTempFile(name, {});
        std::filesystem::resize_file(path, size);
        if (value != 0) {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(offset);
            file.put(static_cast<char>(value));
        }
        return path;
    };
    constexpr uint64_t k4GiB = uint64_t{4} << 30;
    struct Case {
        std::filesystem::path path;
        int32_t result;
        std::string message;
        uint32_t patternCount;
    };
    const std::vector<Case> cases = {
        // 15-sample file (no signature), 600 header bytes, nothing but one pattern referenced.
        {sparse("huge.mod", k4GiB, 470, 1), kResultSizeMismatch, "Mod too long for 2147483647 Bytes", 1},
        {sparse("zeros.mod", 200'000'000, 470, 1), kResultSizeMismatch, "Mod too long for 199998376 Bytes",
         1},
        // Exactly 300000 patterns long: an order byte names only 256 of them, the rest is surplus.
        {sparse("exact.mod", 600 + 300'000 * 1024, 470, 1), kResultSizeMismatch,
         "Mod too long for " + std::to_string((300'000 - 256) * 1024) + " Bytes", 256},
        {sparse("huge.s3m", k4GiB, 29, 16), kResultOk, "No Errors", 0},
        {sparse("huge.stm", k4GiB, 29, 2), kResultOk, "No Errors", 0},
        // Nothing but zero bytes: refused from its header, without reading the rest.
        {sparse("allzero.mod", k4GiB, 0, 0), kResultUnsupported, "Unsupported File", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        const HugeLoad load = loadInChild(c.path);
        EXPECT_EQ(load.outcome.result, c.result);
        EXPECT_EQ(resultMessage(load.outcome.result, load.outcome.sizeDetail), c.message);
        EXPECT_EQ(load.patternCount, c.patternCount);
        EXPECT_LT(load.peakGrowthKiB, 64 * 1024) << "KiB of peak resident size added by the load";
        std::filesystem::remove(c.path);
    }
}
#endif

TEST(Loader, ExtensionIsKeptPerLoad) {
    // The same "M.K." bytes: 8 channels as WOW, 4 as MOD, whatever was loaded before.
    ModWriter mod = ModWriter::withSignature("M.K.", 8);
    const std::vector<uint8_t> bytes = mod.bytes();
    Module wow, plain;
    const LoadOutcome first = loadModuleBytes(bytes, "wow", wow);
    const LoadOutcome second = loadModuleBytes(bytes, "MOD", plain);
    EXPECT_EQ(first.extension, "WOW");
    EXPECT_EQ(wow.channelCount, 8u);
    EXPECT_EQ(trackerLine(wow), "Grave Composer [M.K.]");
    EXPECT_EQ(first.result, kResultOk);
    EXPECT_EQ(second.extension, "MOD");
    EXPECT_EQ(plain.channelCount, 4u);
    EXPECT_EQ(plain.patternCount, 2u);  // the 2048-byte pattern reads as two of 1024
}

TEST(Loader, RefusedTypesLeaveNoModule) {
    test::S3mWriter s3m;
    s3m.type = 17;
    test::StmWriter stm;
    stm.type = 1;
    Module module;
    LoadOutcome outcome = loadModuleBytes(s3m.bytes(), "S3M", module);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.result, kResultUnsupported);
    EXPECT_TRUE(module.title.empty());
    outcome = loadModuleBytes(stm.bytes(), "stm", module);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.result, kResultUnsupported);
    EXPECT_TRUE(module.title.empty());
    EXPECT_TRUE(module.samples.empty());
}

TEST(Loader, MessagesAndTrackerLine) {
    EXPECT_EQ(resultMessage(0, 0), "No Errors");
    EXPECT_EQ(resultMessage(1, -100), "Mod too short for 100 Bytes");
    EXPECT_EQ(resultMessage(1, 100), "Mod too long for 100 Bytes");
    EXPECT_EQ(resultMessage(1, INT32_MIN), "Mod too short for 2147483648 Bytes");
    EXPECT_EQ(resultMessage(2, 0), "Unsupported File");
    EXPECT_EQ(resultMessage(3, 0), "File not found");
    EXPECT_EQ(resultMessage(4, 0), "Mod is corrupt");

    // Cut 100 bytes short and 100 bytes long, through the whole dispatcher.
    std::vector<uint8_t> bytes = exactMod();
    bytes.resize(bytes.size() - 100);
    Module module;
    LoadOutcome outcome = loadModuleBytes(bytes, "mod", module);
    EXPECT_EQ(resultMessage(outcome.result, outcome.sizeDetail), "Mod too short for 100 Bytes");
    bytes = exactMod();
    bytes.resize(bytes.size() + 100, 0);
    outcome = loadModuleBytes(bytes, "mod", module);
    EXPECT_EQ(resultMessage(outcome.result, outcome.sizeDetail), "Mod too long for 100 Bytes");

    outcome = loadModuleBytes(ModWriter::fifteenSamples().bytes(), "MOD", module);
    EXPECT_EQ(trackerLine(module), "NoiseTracker [no ID]");
}

}  // namespace
}  // namespace tarvex
