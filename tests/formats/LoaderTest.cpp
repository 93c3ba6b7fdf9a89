#include <gtest/gtest.h>

#include <filesystem>

#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "support/S3mWriter.h"
#include "support/StmWriter.h"

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
    std::filesystem::create_directories(writeTempFile("x", {}).parent_path() / "dir.mod");
    const std::filesystem::path dotted = writeTempFile("dir.mod/song", bytes);
    const std::vector<Refused> refused = {
        {writeTempFile("song.mod2", bytes).string(), kResultUnsupported},
        {writeTempFile("list.lst", bytes).string(), kResultUnsupported},
        {writeTempFile("noextension", bytes).string(), kResultUnsupported},
        {dotted.string(), kResultUnsupported},  // the only dot is in a directory name
        {(dotted.parent_path().parent_path() / "missing.xyz").string(), kResultNotFound},  // open comes first
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
