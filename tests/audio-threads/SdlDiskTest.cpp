// The SDL backend through SDL's own `disk` driver, which writes what the device played to a file:
// after the silence SDL plays before the start, the file holds exactly the render.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "audio/StreamRig.h"
#include "audio/devices/SdlDevice.h"
#include "support/Corpus.h"

namespace tarvex::test {
namespace {

using namespace std::chrono_literals;

// Points SDL's audio at the disk driver for the life of the object.
struct DiskDriver {
    explicit DiskDriver(const std::filesystem::path& file) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    ~DiskDriver() {
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }
};

size_t firstSound(const std::vector<uint8_t>& bytes, size_t from = 0) {
    for (size_t i = from; i < bytes.size(); ++i) {
        if (bytes[i] != 0) return i;
    }
    return bytes.size();
}

TEST(SdlDisk, BothKindsWriteWhatTheRenderWrites) {
    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "ring");
        const auto file = writeTempFile(queued ? "sdl-queued.raw" : "sdl-ring.raw", {});
        DiskDriver driver(file);
        const StreamOptions options{.queued = queued};
        Player player;
        player.device.backend = std::make_unique<SdlDevice>();
        player.module = shortSong().build();
        applyOptions(player, options);
        ASSERT_TRUE(startPlayback(player).empty()) << "SDL's disk driver did not open";
        // SDL keeps its hands off the signals: the player can still be interrupted and ended.
        for (int signal : {SIGINT, SIGTERM}) {
            struct sigaction action = {};
            ASSERT_EQ(sigaction(signal, nullptr, &action), 0);
            EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
        }

        const auto deadline = std::chrono::steady_clock::now() + 15s;
        const auto& flag = queued ? player.playbackFinished : player.outputStopped;
        while (!flag.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
        ASSERT_TRUE(flag.load());
        if (queued) std::this_thread::sleep_for(100ms);
        stopPlayback(player);

        const auto written = readFileBytes(file);
        const auto reference = referenceRender(shortSong(), options, queued ? written.size() : 0);
        // Align the first sound of both; what SDL wrote before it is silence.
        const size_t frameBytes = 4;
        const size_t soundAt = firstSound(reference);
        ASSERT_LT(soundAt, reference.size());
        const size_t writtenSoundAt = firstSound(written);
        ASSERT_GE(writtenSoundAt, soundAt);
        const size_t offset = writtenSoundAt - soundAt;
        ASSERT_EQ(offset % frameBytes, 0u);
        size_t same = 0;
        while (offset + same < written.size() && same < reference.size() &&
               written[offset + same] == reference[same]) {
            ++same;
        }
        const size_t songBytes = referenceRender(shortSong(), options).size();
        if (queued) {
            // All of the song and more: the queued kind sounds on until the stop drains it.
            EXPECT_GT(same, songBytes);
        } else {
            // The ring kind plays the song to its last frame, and stops there.
            EXPECT_EQ(same, songBytes);
        }
        // Whatever the device played after that is silence.
        EXPECT_EQ(firstSound(written, offset + same), written.size());
    }
}

TEST(SdlDisk, AnUnknownDriverFailsToOpenWithoutACrash) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    Player player;
    player.device.backend = std::make_unique<SdlDevice>();
    player.module = shortSong().build();
    // Neither DirectSound nor wave out: the sound device, whichever kind.
    EXPECT_EQ(startPlayback(player), "Error: Failed to open the sound device");
    EXPECT_NE(player.device.backend->openFailure().find("no audio device: "), std::string::npos);
    player.settings.UseWaveOut = true;
    EXPECT_EQ(startPlayback(player), "Error: Failed to open the sound device");
    EXPECT_TRUE(player.outputStopped.load());
    unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
}  // namespace tarvex::test
