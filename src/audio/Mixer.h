// The software mixer: renders the playing channels into interleaved PCM and drives the tick clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarvex {

class Player;

struct MixState {
    std::atomic<int32_t> mixDivisor{1};  // at least 1; the window rewrites it from the preamp
    int32_t ispMemoryLeft = 0;
    int32_t ispMemoryRight = 0;
    std::vector<int32_t> wideDelayLeft;
    std::vector<int32_t> wideDelayRight;
    uint32_t wideDelayLength = 0;  // rate / 50: 20 ms
    uint32_t wideReadIndex = 0;
    uint32_t wideWriteIndex = 0;
    // One 16-bit value per frame of the last render call, read by the status display.
    std::unique_ptr<std::atomic<int16_t>[]> levelLeft;
    std::unique_ptr<std::atomic<int16_t>[]> levelRight;
    uint32_t levelCapacity = 0;
    uint32_t levelLength = 0;
    std::atomic<uint32_t> renderMillis{0};
    uint32_t bytesPerFrame = 0;
};

// Sets up the mixer for the song start (called by startSong through the player).
void resetMixState(Player& player);
// Frees the delay lines and level arrays (called by stopPlayback once the device is closed).
void releaseMixState(Player& player);
// Renders frameCount frames into buffer (frameCount * bytesPerFrame bytes), ticking the sequencer
// frame-exactly; returns the milliseconds the call took.
uint32_t renderFrames(Player& player, uint8_t* buffer, uint32_t frameCount);
// Divisor from the preamp slider position 1..1024 (512 at start); never below 1.
int32_t mixDivisorForPreamp(uint32_t channelCount, uint8_t globalVolume, uint32_t preamp);

}  // namespace tarvex
