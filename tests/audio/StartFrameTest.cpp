// A start at a time in the song delivers exactly the frames playing through delivers from there.
#include <gtest/gtest.h>

#include "audio/Player.h"
#include "audio/SongRender.h"
#include "engine/Effects.h"
#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

std::vector<uint8_t> renderFrom(Player& player, uint64_t startFrame, uint64_t maxFrames) {
    std::vector<uint8_t> bytes;
    player.startFrame = startFrame;
    renderSong(player, kDefaultPreamp, maxFrames, [&](const uint8_t* data, size_t count) {
        bytes.insert(bytes.end(), data, data + count);
        return true;
    });
    return bytes;
}

// Every start frame gives the tail of the whole render, byte for byte; one past the end gives
// nothing.
void expectTails(Player& player, const std::string& what, uint64_t maxFrames) {
    const std::vector<uint8_t> whole = renderFrom(player, 0, maxFrames);
    const uint32_t bytesPerFrame = player.mix.bytesPerFrame;
    const uint64_t frames = whole.size() / bytesPerFrame;
    for (const uint64_t start : {uint64_t{1}, frames / 7, frames / 2 + 3, frames - 1, frames, frames + 5}) {
        const std::vector<uint8_t> tail = renderFrom(player, start, maxFrames);
        const size_t from = static_cast<size_t>(std::min(start, frames)) * bytesPerFrame;
        // With a limit the tail runs on past the whole render's last frame.
        const size_t compared = std::min(tail.size(), whole.size() - from);
        EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(compared),
                               whole.begin() + static_cast<std::ptrdiff_t>(from)))
            << what << " from frame " << start;
        if (whole.size() / bytesPerFrame < maxFrames) {
            EXPECT_EQ(tail.size(), whole.size() - from) << what << " from frame " << start;
        }
    }
}

TEST(StartFrame, EveryStartGivesTheTailOfTheWholeRender) {
    // Notes, a slide, a loop and every filter of the mixer in every output format.
    ModuleBuilder song(4);
    song.speed(3)
        .sample({.length = 3000})
        .sample({.length = 600, .volume = 40, .loopStart = 100, .loopEnd = 600});
    for (uint32_t row = 0; row < 64; row += 4) {
        song.cell(0, row, 0, {.period = row % 8 == 0 ? 428u : 320u, .sample = 1});
        song.cell(0, row + 2, 1, {.period = 214, .sample = 2, .effect = kPortaUp, .param = 3});
    }
    struct Format {
        uint32_t rate, bits, channels;
    };
    for (const Format& f : {Format{44100, 16, 2}, Format{22050, 8, 1}, Format{48000, 24, 2}}) {
        Player player;
        player.module = song.build();
        player.settings.Frequency = f.rate;
        player.settings.Resolution = f.bits;
        player.settings.Channels = f.channels;
        expectTails(player, std::to_string(f.rate) + "/" + std::to_string(f.bits), UINT64_MAX);
    }
}

TEST(StartFrame, CorpusSongsFromAnyFrame) {
    const std::vector<std::filesystem::path> files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << noCorpusMessage();
    // Every fifth file, the first 20 seconds at 22050 Hz: enough to cross loops, jumps and tempo
    // changes without making the sanitizer runs slow.
    for (size_t i = 0; i < files.size(); i += 5) {
        Player player;
        if (!loadModuleFile(files[i].string(), player.createModule()).loaded) continue;
        player.settings.Frequency = 22050;
        expectTails(player, files[i].filename().string(), 20 * 22050);
    }
}

}  // namespace
}  // namespace tarvex::test
