// A song with one ordinary pattern loop sounds the same whichever way loops are kept and watched.
#include <gtest/gtest.h>

#include "StreamRig.h"
#include "engine/Effects.h"

namespace tarvex::test {
namespace {

// Notes on two channels and one loop of rows 8-11, played three times in all, on channel 2; the
// song ends after its one pattern.
ModuleBuilder loopSong(uint8_t formatType) {
    ModuleBuilder song(4);
    song.format(formatType).speed(3);
    song.sample({.length = 2000}).sample({.length = 500, .volume = 30, .loopStart = 100, .loopEnd = 500});
    for (uint32_t row = 0; row < 64; row += 2) {
        song.cell(0, row, 0, {.period = row % 4 == 0 ? 428u : 339u, .sample = 1});
        song.cell(0, row + 1, 1, {.period = 214, .sample = 2});
    }
    song.cell(0, 8, 2, {.effect = kExtended, .param = 0x60});
    song.cell(0, 11, 2, {.effect = kExtended, .param = 0x62});
    return song;
}

std::vector<uint8_t> render(uint8_t formatType, bool loopsAllowed) {
    Player player;
    player.module = loopSong(formatType).build();
    player.settings.LoopsAllowed = loopsAllowed;
    startSong(player);
    std::vector<uint8_t> bytes;
    while (!player.playbackFinished.load() && bytes.size() < 10'000'000) {
        const uint32_t frames = framesToNextTick(player);
        const size_t at = bytes.size();
        bytes.resize(at + size_t{frames} * player.mix.bytesPerFrame);
        renderFrames(player, bytes.data() + at, frames);
    }
    return bytes;
}

TEST(LoopRender, OneLoopOnOneChannelRendersTheSameBytesAnyWay) {
    // Loop state per channel (MOD) or shared (S3M); the watch for a repeating state on (loops off)
    // or off. None of them may change a byte. Ticks of 882 frames: one before the first row, 72
    // rows of 3 (rows 8-11 three times), the one that finds the order list done.
    const std::vector<uint8_t> reference = render(kFormatMod, true);
    EXPECT_EQ(reference.size(), (1 + 72u * 3 + 1) * 882 * 4);
    const std::pair<uint8_t, bool> cases[] = {{kFormatMod, false}, {kFormatS3m, true}, {kFormatS3m, false}};
    for (const auto& [format, loops] : cases) {
        EXPECT_TRUE(render(format, loops) == reference)
            << (format == kFormatMod ? "MOD" : "S3M") << (loops ? ", loops on" : ", loops off");
    }
}

}  // namespace
}  // namespace tarvex::test
