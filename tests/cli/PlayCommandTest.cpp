// tarvex-cli play and preview, run in-process on the null and capture devices; list files.
#include <gtest/gtest.h>

#include <sstream>

#include "audio/StreamRig.h"
#include "cli/Commands.h"
#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "ui/ListFile.h"

namespace tarvex::test {
namespace {

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun run(cli::CommandFunction command, std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = command(args, out, err);
    return {status, out.str(), err.str()};
}

// A MOD of `rows` rows at speed 1 (20 ms a row), one looped and one plain sample.
std::filesystem::path shortMod(const std::string& name, uint32_t rows = 12, std::string title = "short") {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.title = title;
    mod.samples[0].data.assign(1200, 0);
    for (size_t i = 0; i < 1200; ++i) mod.samples[0].data[i] = static_cast<int8_t>((i * 7) % 200 - 100);
    mod.samples[1].data.assign(64, 0);
    for (size_t i = 0; i < 64; ++i) mod.samples[1].data[i] = static_cast<int8_t>(i < 32 ? 90 : -90);
    mod.samples[1].loopLengthWords = 32;
    mod.setCell(0, 0, 0, 0, 0, 0xF, 1);
    for (uint32_t row = 0; row < rows; row += 3) mod.setCell(0, row, 1, 1, 428, 0, 0);
    mod.setCell(0, 1, 2, 2, 214, 0x4, 0x46);
    mod.setCell(0, rows - 1, 3, 0, 0, 0xD, 0);
    return writeTempFile(name, mod.bytes());
}

std::unique_ptr<Module> load(const std::filesystem::path& path) {
    auto module = std::make_unique<Module>();
    EXPECT_TRUE(loadModuleFile(path.string(), *module).loaded);
    return module;
}

TEST(ListFile, EntriesFollowTheLineRules) {
    const std::string longLine(600, 'x');
    const std::string text = "a.mod\r\n\r\nb.mod\r\n" + longLine + "\nlast.mod\n";
    const auto path = writeTempFile("rules.lst", std::vector<uint8_t>(text.begin(), text.end()));
    ListFile list;
    ASSERT_TRUE(list.open(path.string()));
    EXPECT_FALSE(list.open(path.string()));  // one list at a time
    const std::vector<std::string> expected = {
        "a.mod", "", "b.mod", std::string(499, 'x'), std::string(101, 'x'), "last.mod"};
    for (const std::string& entry : expected) {
        ASSERT_TRUE(list.isOpen());
        EXPECT_EQ(list.readNextEntry(), entry);
    }
    // The line feed ending the last line leaves nothing more: the list closed with that entry.
    EXPECT_FALSE(list.isOpen());
    EXPECT_EQ(list.readNextEntry(), std::nullopt);
}

TEST(ListFile, ExtensionRule) {
    EXPECT_TRUE(isListPath("a.lst"));
    EXPECT_TRUE(isListPath("dir.x/a.LST"));
    EXPECT_TRUE(isListPath("a.lstx"));
    EXPECT_FALSE(isListPath("a.ls"));
    EXPECT_FALSE(isListPath("a.lst.mod"));
    EXPECT_FALSE(isListPath("lst"));
    EXPECT_FALSE(isListPath("a."));
}

TEST(PlayCommand, PlaysFilesAndListEntriesInOrderOneLineEach) {
    const auto a = shortMod("a.mod", 9, "song a");
    const auto b = shortMod("b.mod", 6, "song b");
    const std::string lines = a.string() + "\r\n\r\n" + b.string() + "\r\n";
    const auto list = writeTempFile("two.lst", std::vector<uint8_t>(lines.begin(), lines.end()));
    // A list named on the last line of a list is opened as the next list.
    const std::string outer = a.string() + "\n" + list.string();
    const auto nested = writeTempFile("outer.lst", std::vector<uint8_t>(outer.begin(), outer.end()));

    const CommandRun r =
        run(cli::playCommand, {"--device", "null", "--buffer", "15", b.string(), nested.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, b.string() + ": \"song b\", ProTracker [M.K.]\n" + a.string() +
                         ": \"song a\", ProTracker [M.K.]\n" + a.string() +
                         ": \"song a\", ProTracker [M.K.]\n" + b.string() +
                         ": \"song b\", ProTracker [M.K.]\n");
    EXPECT_EQ(r.err, "");
}

TEST(PlayCommand, ACaptureHoldsWhatRenderWritesForTheSameOptions) {
    const auto song = shortMod("capture.mod");
    const std::vector<std::string> options = {"--rate", "22050", "--preamp", "700", "--wide", "off"};
    const auto renderWav = writeTempFile("render.wav", {});
    std::vector<std::string> renderArgs = options;
    renderArgs.insert(renderArgs.end(), {song.string(), "-o", renderWav.string()});
    ASSERT_EQ(run(cli::renderCommand, renderArgs).status, 0);
    const auto rendered = wavData(renderWav);
    ASSERT_GT(rendered.size(), 22050u);

    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "ring");
        const auto wav = writeTempFile("play.wav", {});
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--device", "capture=" + wav.string(), "--buffer", "50", song.string()});
        if (queued) args.insert(args.begin(), "--waveout");
        const CommandRun r = run(cli::playCommand, args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto captured = wavData(wav);
        if (queued) {
            // All of the song; then, since the queued kind sounds on after the end until the player
            // stops it, the channels as they stood, with no further ticks.
            ASSERT_GE(captured.size(), rendered.size());
            EXPECT_TRUE(slice(captured, 0, rendered.size()) == rendered);
            auto module = load(song);
            const StreamOptions same{.rate = 22050, .bufferLength = 400, .queued = true};
            EXPECT_TRUE(captured == referenceRender(std::move(module), same,
                                                    captured.size() - rendered.size(), 700,
                                                    /*wide=*/false));
        } else {
            // The ring kind stops itself at the first timer event after the end, with up to 8
            // rendered segments not yet played.
            ASSERT_LE(captured.size(), rendered.size());
            EXPECT_GE(captured.size() + 8 * segmentBytesFor({22050, 16, 2}, 400), rendered.size());
            EXPECT_TRUE(captured == slice(rendered, 0, captured.size()));
        }
    }
}

TEST(PlayCommand, FailuresOfFilesAndDevices) {
    const auto song = shortMod("fails.mod");
    const std::string nowhere =
        "capture=" + (std::filesystem::temp_directory_path() / "no-such-dir" / "x.wav").string();

    // A file that does not load is reported and skipped.
    CommandRun r = run(cli::playCommand, {"--device", "null", "missing.mod", song.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "missing.mod: File not found\n");
    EXPECT_NE(r.out.find(song.string()), std::string::npos);

    // A device that cannot be opened ends the command with the device kind's message.
    r = run(cli::playCommand, {"--device", nowhere, song.string(), song.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: Failed to inititialize DirectSound\n");
    r = run(cli::playCommand, {"--waveout", "--device", nowhere, song.string()});
    EXPECT_EQ(r.err, "Error: Failed to open wave out device\n");

    // With a fallback the song plays there after a one-line notice.
    r = run(cli::playCommand, {"--device", nowhere, "--fallback-device", "null", song.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "tarvex-cli: no audio device could be opened (Error: Failed to inititialize DirectSound); "
              "playing on the null device instead\n");

    EXPECT_EQ(run(cli::playCommand, {"--device", "speakers", song.string()}).status, 2);
    EXPECT_EQ(run(cli::playCommand, {"--buffer", "30", song.string()}).status, 2);
    EXPECT_EQ(run(cli::playCommand, {}).status, 2);
}

TEST(PreviewCommand, PlaysTheSampleOnceAtTheNoteAsked) {
    const auto song = shortMod("preview.mod");
    // Sample 1: 1200 frames at 8363 Hz; at C-6 it lasts 1200 * 1024 / 194 output frames at 44100
    // Hz, at C-7 half as long.
    for (const auto& [note, frames] :
         {std::pair{"C-6", 1200 * 1024 / 194}, std::pair{"C-7", 1200 * 1024 / 388}}) {
        SCOPED_TRACE(note);
        const auto wav = writeTempFile("preview.wav", {});
        const CommandRun r = run(cli::previewCommand, {"--device", "capture=" + wav.string(), "--isp", "off",
                                                       song.string(), "1", "--note", note});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, song.string() + ": sample 1 \"\" at " + note + "\n");
        const auto data = wavData(wav);
        size_t lastSound = 0;
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            if (data[i] != 0 || data[i + 1] != 0) lastSound = i / 2;
        }
        EXPECT_NEAR(static_cast<double>(lastSound), frames, 2.0);
        // Sample value v (8-bit file data, v * 256) plays at half scale: v * 128 in 16 bits.
        const int16_t first = static_cast<int16_t>(data[2] | data[3] << 8);
        EXPECT_EQ(first, -100 * 128);
    }
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string(), "3"}).status, 1);  // no data
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string(), "40"}).status,
              1);  // no such sample
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string(), "1", "--note", "X-9"}).status, 2);
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string()}).status, 2);
}

}  // namespace
}  // namespace tarvex::test
