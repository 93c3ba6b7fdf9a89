// tarvex-cli render, in process: WAV layout, song length to the frame, the time limit, standard
// output, the default file name, options, determinism, and every corpus file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "CommandRun.h"
#include "cli/Commands.h"
#include "cli/RenderOptions.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"

namespace tarvex {
namespace {

test::CommandRun render(const cli::CommandArgs& args) {
    return test::run(cli::renderCommand, args);
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

struct WavFacts {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    uint32_t dataBytes;
    uint32_t frames;
};

// Checks the canonical 44-byte header against the file size and returns its facts.
WavFacts readWav(const std::vector<uint8_t>& wav) {
    EXPECT_GE(wav.size(), 44u);
    if (wav.size() < 44) return {};
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1u);  // PCM
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    WavFacts facts{le16(wav, 22), le32(wav, 24), le16(wav, 34), le32(wav, 40), 0};
    const uint32_t blockAlign = facts.channels * facts.bits / 8;
    EXPECT_EQ(le16(wav, 32), blockAlign);
    EXPECT_EQ(le32(wav, 28), facts.rate * blockAlign);
    const uint32_t pad = facts.dataBytes & 1;
    EXPECT_EQ(le32(wav, 4), 36 + facts.dataBytes + pad);
    EXPECT_EQ(wav.size(), 44 + facts.dataBytes + pad);
    facts.frames = blockAlign ? facts.dataBytes / blockAlign : 0;
    return facts;
}

// One pattern of 64 rows at speed 6, tempo 125: a note on row 0 and, when asked, a jump back to
// order 0 on row 63 (so that the song repeats while loops are on).
std::string writeSong(const std::string& name, bool jumpBack) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.samples[0].data.assign(512, 0);
    for (size_t i = 0; i < 512; ++i) mod.samples[0].data[i] = static_cast<int8_t>((i % 64) * 4 - 128);
    mod.samples[0].loopStartWords = 0;
    mod.samples[0].loopLengthWords = 256;
    mod.setCell(0, 0, 0, 1, 428, 0, 0);
    if (jumpBack) mod.setCell(0, 63, 1, 0, 0, 0xB, 0);
    return test::writeTempFile(name, mod.bytes()).string();
}

TEST(RenderCommand, SongEndsOnTheFrameThatFinishesPlayback) {
    const std::string song = writeSong("ends.mod", false);
    const std::string wavPath = (std::filesystem::path(song).parent_path() / "ends.wav").string();
    // 64 rows x 6 ticks, then the tick that finds no order position ends the song; playback finishes
    // at the next tick boundary: 386 ticks of rate * 25 / 1250 frames.
    struct Row {
        std::string rate;
        uint32_t framesPerTick;
    };
    for (const Row& row : {Row{"44100", 882}, Row{"8000", 160}, Row{"22050", 441}}) {
        const test::CommandRun run = render({"--rate", row.rate, song, "-o", wavPath});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const WavFacts wav = readWav(test::readFileBytes(wavPath));
        EXPECT_EQ(wav.rate, static_cast<uint32_t>(std::stoul(row.rate)));
        EXPECT_EQ(wav.frames, 386 * row.framesPerTick) << row.rate;
        EXPECT_EQ(wav.channels, 2);
        EXPECT_EQ(wav.bits, 16);
    }
}

TEST(RenderCommand, LoopsStayOffUnlessAskedAndTheLimitCutsExactly) {
    const std::string song = writeSong("loops.mod", true);
    const std::string wavPath = (std::filesystem::path(song).parent_path() / "loops.wav").string();

    test::CommandRun run = render({song, "-o", wavPath});  // the jump back is ignored: the song ends
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readWav(test::readFileBytes(wavPath)).frames, 386u * 882u);

    run = render({"--loops", "on", "--max-seconds", "2", song, "-o", wavPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readWav(test::readFileBytes(wavPath)).frames, 88200u);
    EXPECT_NE(run.err.find("had not ended after 2 seconds"), std::string::npos) << run.err;

    run = render({"--loops=on", "--max-seconds=0.25", "--rate=11025", "--bits=8", "--channels=1", song, "-o",
                  wavPath});
    ASSERT_EQ(run.status, 0) << run.err;
    const WavFacts wav = readWav(test::readFileBytes(wavPath));
    EXPECT_EQ(wav.frames, 2756u);  // 0.25 x 11025 = 2756.25
    EXPECT_EQ(wav.bits, 8);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.dataBytes, 2756u);  // even: no pad byte

    run = render(
        {"--loops", "on", "--max-seconds", "0.0001", "--bits", "8", "--channels", "1", song, "-o", wavPath});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readWav(test::readFileBytes(wavPath)).dataBytes, 4u);  // 4.41 frames: 4 bytes
    run = render(
        {"--loops", "on", "--max-seconds", "0.00007", "--bits", "8", "--channels", "1", song, "-o", wavPath});
    EXPECT_EQ(readWav(test::readFileBytes(wavPath)).dataBytes, 3u);  // odd: one pad byte follows
}

TEST(RenderCommand, StandardOutputDefaultNameAndDeterminism) {
    const std::string song = writeSong("same.mod", false);
    const std::filesystem::path dir = std::filesystem::path(song).parent_path();
    const std::string wavPath = (dir / "same-file.wav").string();
    const test::CommandRun toFile = render({"--wide", "off", song, "-o", wavPath});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    const std::vector<uint8_t> fileBytes = test::readFileBytes(wavPath);

    const test::CommandRun toOut = render({"--wide", "off", song, "-o", "-"});
    ASSERT_EQ(toOut.status, 0) << toOut.err;
    EXPECT_TRUE(std::vector<uint8_t>(toOut.out.begin(), toOut.out.end()) == fileBytes);

    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    const test::CommandRun byDefault = render({"--wide", "off", song});
    const std::filesystem::path expected = std::filesystem::temp_directory_path() / "same.mod.wav";
    const bool exists = std::filesystem::exists(expected);
    const std::vector<uint8_t> defaultBytes = exists ? test::readFileBytes(expected) : std::vector<uint8_t>{};
    std::filesystem::remove(expected);
    std::filesystem::current_path(before);
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    ASSERT_TRUE(exists);
    EXPECT_TRUE(defaultBytes == fileBytes);

    const test::CommandRun withWide = render({song, "-o", "-"});
    EXPECT_FALSE(withWide.out == toOut.out);  // the option reaches the mixer
}

TEST(RenderCommand, AnExistingLongerFileEndsUpHoldingExactlyTheNewRender) {
    const std::string song = writeSong("over.mod", false);
    const std::filesystem::path dir = std::filesystem::path(song).parent_path();
    const std::string fresh = (dir / "over-fresh.wav").string();
    const std::string reused = (dir / "over-reused.wav").string();
    std::filesystem::remove(fresh);
    ASSERT_EQ(render({song, "-o", fresh}).status, 0);
    const std::vector<uint8_t> expected = test::readFileBytes(fresh);
    // The old file is longer and holds other bytes: none of them may survive.
    test::writeTempFile("over-reused.wav", std::vector<uint8_t>(expected.size() * 2 + 1, 0x5A));
    const test::CommandRun run = render({song, "-o", reused});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(test::readFileBytes(reused) == expected);
}

TEST(RenderCommand, UsageErrorsAndUnreadableFiles) {
    const std::string song = writeSong("usage.mod", false);
    const cli::CommandArgs bad[] = {
        {},
        {song, song},
        {"--rate", "44000", song},
        {"--bits", "12", song},
        {"--channels", "3", song},
        {"--isp", "yes", song},
        {"--preamp", "0", song},
        {"--preamp", "1025", song},
        {"--separation", "201", song},
        {"--separation", "-5", song},
        {"--max-seconds", "-1", song},
        {"--max-seconds", "1.5s", song},
        {"--max-seconds", "1.1234567", song},
        {"--frobnicate", song},
        {song, "-o"},
        {"--rate"},
    };
    for (const cli::CommandArgs& args : bad) {
        const test::CommandRun run = render(args);
        EXPECT_EQ(run.status, cli::kExitUsage) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(run.err.empty());
    }
    const test::CommandRun missing = render({"/nonexistent/dir/x.mod", "-o", "-"});
    EXPECT_EQ(missing.status, cli::kExitFailed);
    EXPECT_NE(missing.err.find("File not found"), std::string::npos) << missing.err;
    const test::CommandRun help = render({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--max-seconds"), std::string::npos);
}

TEST(RenderCommand, ErrorLinesNameTheCommandAndTheReason) {
    const std::filesystem::path dir = test::writeTempFile("x", {}).parent_path();
    std::filesystem::create_directories(dir / "folder.mod");
    const std::string folder = (dir / "folder.mod").string();
    const std::string missing = (dir / "missing.mod").string();
    const std::string empty = test::writeTempFile("empty.mod", {}).string();
    const std::string song = writeSong("reasons.mod", false);
    const std::string nowhere = (dir / "no-such-dir" / "x.wav").string();
    struct Case {
        cli::CommandFunction command;
        cli::CommandArgs args;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {cli::infoCommand, {folder}, 1, "tarvex-cli info: " + folder + ": File not found (is a directory)\n"},
        {cli::renderCommand,
         {folder, "-o", "-"},
         1,
         "tarvex-cli render: " + folder + ": File not found (is a directory)\n"},
        {cli::renderCommand,
         {missing, "-o", "-"},
         1,
         "tarvex-cli render: " + missing + ": File not found (no such file or directory)\n"},
        {cli::renderCommand,
         {song, "-o", nowhere},
         1,
         "tarvex-cli render: cannot write " + nowhere + " (no such file or directory)\n"},
        // A 0-byte file holds no module: nothing is rendered.
        {cli::renderCommand,
         {empty, "-o", "-"},
         1,
         "tarvex-cli render: " + empty + ": Unsupported File (empty file)\n"},
        {cli::renderCommand, {"--note", "C-5", song}, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::ostringstream out, err;
        EXPECT_EQ(c.command(c.args, out, err), c.status);
        if (!c.err.empty()) {
            EXPECT_EQ(err.str(), c.err);
        }
    }
}

TEST(RenderOptions, SecondsAreExactToTheMicrosecond) {
    struct Row {
        const char* text;
        uint64_t micros;
    };
    for (const Row& row :
         {Row{"1200", 1200000000}, Row{"2.5", 2500000}, Row{"0.000001", 1}, Row{".5", 500000}, Row{"0", 0}}) {
        uint64_t micros = 99;
        EXPECT_TRUE(cli::parseSeconds(row.text, micros)) << row.text;
        EXPECT_EQ(micros, row.micros) << row.text;
    }
    for (const char* text : {"", ".", "1.", "1e3", "abc", "1.0000001", "99999999999"}) {
        uint64_t micros = 0;
        EXPECT_FALSE(cli::parseSeconds(text, micros)) << text;
    }
    cli::RenderOptions options;
    options.rate = 44100;
    options.maxMicroseconds = 1200000000;
    EXPECT_EQ(options.maxFrames(), 52920000u);
    options.rate = 11025;
    options.maxMicroseconds = 100000;  // 0.1 s: 1102.5 frames
    EXPECT_EQ(options.maxFrames(), 1102u);
}

TEST(RenderCommand, StartBeginsAtAnOrderPosition) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.songLength = 2;
    mod.orders[1] = 1;
    mod.patternCount = 2;
    mod.samples[0].data.assign(64, 20);
    mod.setCell(1, 0, 0, 1, 428, 0, 0);
    const std::string song = test::writeTempFile("start.mod", mod.bytes()).string();
    const std::string wavPath = (std::filesystem::path(song).parent_path() / "start.wav").string();
    // Both patterns: 2 x 384 ticks and the two ending ticks; from position 1 one pattern's worth.
    struct Row {
        const char* start;
        uint32_t ticks;
    };
    for (const Row& row : {Row{"0", 770}, Row{"1", 386}}) {
        const test::CommandRun run = render({"--start", row.start, song, "-o", wavPath});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readWav(test::readFileBytes(wavPath)).frames, row.ticks * 882) << row.start;
    }
    const test::CommandRun past = render({"--start", "2", song, "-o", wavPath});
    EXPECT_EQ(past.status, cli::kExitFailed);
    EXPECT_NE(past.err.find("no order position 2 (the song has 2"), std::string::npos) << past.err;
    EXPECT_EQ(render({"--start", "-1", song}).status, cli::kExitUsage);
}

TEST(RenderCommand, SubsongsAndTimesChooseWhereTheRenderBegins) {
    // Position 0 jumps over 1 to 2: sub-song 2 starts at 1 and plays 1 and 2.
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    mod.songLength = 3;
    mod.orders[1] = 1;
    mod.orders[2] = 2;
    mod.patternCount = 3;
    mod.samples[0].data.assign(64, 20);
    mod.setCell(0, 63, 1, 0, 0, 0xB, 2);
    mod.setCell(1, 0, 0, 1, 428, 0, 0);
    mod.setCell(2, 0, 0, 1, 214, 0, 0);
    const std::string song = test::writeTempFile("subsongs.mod", mod.bytes()).string();
    const std::string wavPath = (std::filesystem::path(song).parent_path() / "subsongs.wav").string();
    const auto renderData = [&](std::vector<std::string> args) {
        args.insert(args.end(), {song, "-o", wavPath});
        const test::CommandRun run = render(args);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::vector<uint8_t> wav = test::readFileBytes(wavPath);
        return std::vector<uint8_t>(wav.begin() + std::min<size_t>(44, wav.size()), wav.end());
    };
    // Two patterns and the two ending ticks either way; the second song sounds its notes.
    const std::vector<uint8_t> first = renderData({});
    const std::vector<uint8_t> second = renderData({"--subsong", "2"});
    EXPECT_EQ(first.size(), 770u * 882 * 4);
    EXPECT_EQ(second.size(), 770u * 882 * 4);
    EXPECT_NE(first, second);
    // --from gives the whole render's frames from TIME x rate on, after --subsong and --start too.
    for (const auto& [from, frame] : {std::pair{"3", 132300u}, std::pair{"0:07.680001", 338688u}}) {
        for (const std::vector<std::string>& choice :
             {std::vector<std::string>{}, {"--subsong", "2"}, {"--subsong", "2", "--start", "2"}}) {
            std::vector<std::string> args = choice;
            const std::vector<uint8_t> whole = renderData(args);
            args.insert(args.end(), {"--from", from});
            const std::vector<uint8_t> tail = renderData(args);
            ASSERT_EQ(tail.size() + size_t{frame} * 4, whole.size()) << from;
            EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.begin() + frame * 4)) << from;
        }
    }
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } failures[] = {
        {{"--subsong", "3"}, cli::kExitFailed, "no sub-song 3 (the module has 2, from 1)"},
        {{"--from", "0:16"}, cli::kExitFailed, "the song ends at 0:15.400, before --from 16 seconds"},
        {{"--subsong", "0"}, cli::kExitUsage, "expected a sub-song number from 1"},
        {{"--from", "1:60"}, cli::kExitUsage, "expected a time"},
        {{"--timing", "cia"}, cli::kExitUsage, "expected auto, tempo or vblank"},
    };
    for (const auto& failure : failures) {
        std::vector<std::string> args = failure.args;
        args.insert(args.end(), {song, "-o", wavPath});
        const test::CommandRun run = render(args);
        EXPECT_EQ(run.status, failure.status) << failure.message;
        EXPECT_NE(run.err.find(failure.message), std::string::npos) << run.err;
    }
}

TEST(RenderOptions, TimesAreSecondsOrMinutesAndSeconds) {
    struct Row {
        const char* text;
        uint64_t micros;
    };
    for (const Row& row : {Row{"90", 90000000}, Row{"1:30", 90000000}, Row{"0:00.5", 500000},
                           Row{"10:05.250", 605250000}, Row{"2.000001", 2000001}}) {
        uint64_t micros = 0;
        EXPECT_TRUE(cli::parseTime(row.text, micros)) << row.text;
        EXPECT_EQ(micros, row.micros) << row.text;
    }
    for (const char* text : {"1:5", "1:60", ":30", "1:", "1:30:00", "-1:00", "1:3x", "1:30."}) {
        uint64_t micros = 0;
        EXPECT_FALSE(cli::parseTime(text, micros)) << text;
    }
}

TEST(RenderCommand, RepeatTakesTheWayBackThatManyTimes) {
    const std::string back = writeSong("repeat.mod", true);
    const std::string plain = writeSong("repeat-plain.mod", false);
    const std::string wavPath = (std::filesystem::path(back).parent_path() / "repeat.wav").string();
    const auto renderBytes = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"-o", wavPath});
        const test::CommandRun run = render(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");  // the song ended by itself
        return test::readFileBytes(wavPath);
    };
    EXPECT_EQ(renderBytes({"--repeat", "0", back}), renderBytes({"--loops", "off", back}));
    // 384 ticks a pass; the ending tick and the one that finishes playback.
    struct Row {
        std::vector<std::string> args;
        uint32_t ticks;
    };
    const Row rows[] = {
        {{"--repeat", "1", back}, 2 * 384 + 2},
        {{"--repeat=3", back}, 4 * 384 + 2},
        {{"--loops", "on", "--repeat", "1", back}, 2 * 384 + 2},  // loops off with a count
        {{"--repeat", "2", plain}, 3 * 384 + 2},                  // no way back: played again
    };
    for (const Row& row : rows)
        EXPECT_EQ(readWav(renderBytes(row.args)).frames, row.ticks * 882) << row.args[1];
    EXPECT_EQ(render({"--repeat", "-1", back}).status, cli::kExitUsage);
    EXPECT_EQ(render({"--repeat", "x", back}).status, cli::kExitUsage);
}

// Four channels, each its own looped sample and note; channel 2 (from 1) also sets speed 3 on row 0.
test::ModWriter fourChannelSong(bool emptySecond, bool speedInSecond) {
    test::ModWriter mod = test::ModWriter::withSignature("M.K.");
    for (uint32_t c = 0; c < 4; ++c) {
        mod.samples[c].data.resize(256);
        for (size_t i = 0; i < 256; ++i) {
            mod.samples[c].data[i] = static_cast<int8_t>(((i * (c + 1)) % 128) - 64);
        }
        mod.samples[c].loopLengthWords = 128;
        if (c == 1 && emptySecond) {
            if (speedInSecond) mod.setCell(0, 0, 1, 0, 0, 0xF, 3);
            continue;
        }
        mod.setCell(0, 0, c, static_cast<uint8_t>(c + 1), static_cast<uint16_t>(428 - 40 * c),
                    speedInSecond && c == 1 ? 0xF : 0, speedInSecond && c == 1 ? 3 : 0);
        mod.setCell(0, 20, c, static_cast<uint8_t>(c + 1), static_cast<uint16_t>(214 + 20 * c), 0, 0);
    }
    return mod;
}

TEST(RenderCommand, MutedChannelsRenderAsIfEmptiedWhileTheSequencerRunsOn) {
    const std::filesystem::path dir = std::filesystem::path(test::writeTempFile("x", {})).parent_path();
    const auto renderOf = [&](const test::ModWriter& mod, const cli::CommandArgs& options) {
        const std::string song = test::writeTempFile("mute.mod", mod.bytes()).string();
        const std::string wav = (dir / "mute.wav").string();
        cli::CommandArgs args = options;
        args.insert(args.end(), {song, "-o", wav});
        const test::CommandRun run = render(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return test::readFileBytes(wav);
    };
    for (const bool speed : {false, true}) {
        const std::vector<uint8_t> emptied = renderOf(fourChannelSong(true, speed), {});
        const std::vector<uint8_t> full = renderOf(fourChannelSong(false, speed), {});
        ASSERT_FALSE(emptied == full);
        const cli::CommandArgs ways[] = {{"--mute", "2"},
                                         {"--solo", "1,3-4"},
                                         {"--mute=2", "--mute", "2"},
                                         {"--solo", "1-4", "--mute", "2"}};
        for (const cli::CommandArgs& way : ways) {
            EXPECT_TRUE(renderOf(fourChannelSong(false, speed), way) == emptied) << way[0] << " " << way[1];
        }
        // Channels the module does not have change nothing.
        EXPECT_TRUE(renderOf(fourChannelSong(false, speed), {"--mute", "5-128"}) == full);
    }
    for (const char* bad : {"0", "129", "3-2", "1,,2", "a", "", "2-"}) {
        EXPECT_EQ(render({"--mute", bad, "x.mod"}).status, cli::kExitUsage) << bad;
    }
}

// Every file of the corpus, malformed ones included: a clean exit, and a valid WAV when it loads.
TEST(RenderCommand, EveryCorpusFileRendersWithinTheLimit) {
    const std::vector<std::filesystem::path> files = test::corpusFiles();
    if (files.empty()) GTEST_SKIP() << test::noCorpusMessage();
    // In this process's own directory: other test runs on the machine may render at the same time.
    const std::string wavPath = test::writeTempFile("render-corpus.wav", {}).string();
    size_t rendered = 0;
    for (const std::filesystem::path& file : files) {
        std::filesystem::remove(wavPath);
        const test::CommandRun run =
            render({"--rate", "8000", "--max-seconds", "3", file.string(), "-o", wavPath});
        ASSERT_TRUE(run.status == cli::kExitOk || run.status == cli::kExitFailed) << file << ": " << run.err;
        if (run.status != cli::kExitOk) continue;
        ++rendered;
        const WavFacts wav = readWav(test::readFileBytes(wavPath));
        EXPECT_LE(wav.frames, 24000u) << file;
        if (wav.frames == 24000u) {
            EXPECT_NE(run.err.find("had not ended"), std::string::npos) << file;
        }
    }
    std::filesystem::remove(wavPath);
    EXPECT_GT(rendered, files.size() / 2);
}

}  // namespace
}  // namespace tarvex
