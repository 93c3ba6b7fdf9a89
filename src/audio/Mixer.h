// The software mixer: renders the playing channels into interleaved PCM and drives the tick clock.
//
// Working scale: a 16-bit sample value s enters the mix as s << 12. Channel contributions are summed
// with 32-bit wrap-around into L and R; each frame ends with L >> 4 and R >> 4, whose 24-bit range
// is full scale. 24-, 16- and 8-bit output take bits 0-23, 8-23 and 16-23 of that value.
//
// Worked example: 4 channels, globalVolume 64, preamp 512 give mixDivisor 4 * 64 = 256. A channel at
// leftVolume 64 playing s adds 64 * (s << 12) / 256 = s * 1024 to L; after >> 4 that is s * 64, and
// the 16-bit output is s * 64 >> 8 = s / 4: a quarter of the sample's amplitude.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarvex {

class Player;

inline constexpr int kWorkingScaleShift = 12;        // sample value s enters the mix as s << 12
inline constexpr int kOutputShift = 4;               // accumulator >> 4 gives the 24-bit output
inline constexpr int kFractionBits = 10;             // positionFraction and step are in 1/1024 frame
inline constexpr int64_t kDeclickMaxJump = 4096000;  // 1000 sample units (16-bit) at working scale
inline constexpr uint32_t kMaxRunFrames = 256;       // options and divisor are re-read this often
inline constexpr uint32_t kMinPreamp = 1;
inline constexpr uint32_t kMaxPreamp = 1024;
inline constexpr uint32_t kDefaultPreamp = 512;

struct MixState {
    std::atomic<int32_t> mixDivisor{1};  // at least 1; the window rewrites it from the preamp
    int32_t ispMemoryLeft = 0;
    int32_t ispMemoryRight = 0;
    std::vector<int32_t> wideDelayLeft;
    std::vector<int32_t> wideDelayRight;
    uint32_t wideDelayLength = 0;  // rate / 50: 20 ms, so the cross-feed lags 881 frames at 44100 Hz
    uint32_t wideReadIndex = 0;
    uint32_t wideWriteIndex = 0;
    // One 16-bit value per frame of the last render call, read by the status display.
    std::unique_ptr<std::atomic<int16_t>[]> levelLeft;
    std::unique_ptr<std::atomic<int16_t>[]> levelRight;
    uint32_t levelCapacity = 0;  // entries allocated: levelLength or one segment, whichever is more
    uint32_t levelLength = 0;    // frames in one buffer duration, rounded up
    bool levelsWanted = true;    // off while rendering to a file, where nobody shows them
    std::atomic<uint32_t> renderMillis{0};
    // Frames of the last render call up to and including the one on which it set playbackFinished,
    // 0 when that call did not set it: where the song's last frame lies in what it rendered.
    uint32_t finishedAfterFrames = 0;
    uint32_t bytesPerFrame = 4;  // matches the output format below until a song start sets both
    // The output format taken at song start; bytesPerFrame follows from it.
    uint32_t outputBits = 16;
    uint32_t outputChannels = 2;
    // Use the eight-frame vector loops where the CPU has them (same bytes; off only to test the
    // plain loops on such a CPU).
    bool vectorKernels = true;
};

// Channels left out of the mix, one bit per channel: they render in silence (their samples run on,
// so unmuting resumes them where they would be) and add nothing to the output or the level arrays;
// the sequencer plays them as ever. Written by the user interface at any time, read by the mixer
// at the start of every run; a song start leaves them as they are.
class ChannelMutes {
   public:
    static constexpr uint32_t kChannels = 128;  // more than any format holds (a MOD has 99 at most)

    bool muted(uint32_t channel) const {
        return channel < kChannels && (word(channel).load(std::memory_order_relaxed) & bit(channel)) != 0;
    }
    void set(uint32_t channel, bool muted) {
        if (channel >= kChannels) return;
        if (muted) {
            word(channel).fetch_or(bit(channel), std::memory_order_relaxed);
        } else {
            word(channel).fetch_and(~bit(channel), std::memory_order_relaxed);
        }
    }
    void toggle(uint32_t channel) {
        if (channel < kChannels) word(channel).fetch_xor(bit(channel), std::memory_order_relaxed);
    }
    void clear() {
        for (std::atomic<uint32_t>& w : words_) w.store(0, std::memory_order_relaxed);
    }
    bool any() const {
        for (const std::atomic<uint32_t>& w : words_) {
            if (w.load(std::memory_order_relaxed) != 0) return true;
        }
        return false;
    }

   private:
    static uint32_t bit(uint32_t channel) { return 1u << (channel % 32); }
    std::atomic<uint32_t>& word(uint32_t channel) { return words_[channel / 32]; }
    const std::atomic<uint32_t>& word(uint32_t channel) const { return words_[channel / 32]; }

    std::array<std::atomic<uint32_t>, kChannels / 32> words_{};
};

// Sets up the mixer for the song start (called by startSong through the player): divisor from the
// channel count and globalVolume, cleared filter memories, delay lines of rate / 50 entries, level
// arrays, and the output format of the player's settings.
void resetMixState(Player& player);
// Frees the delay lines and level arrays (called by stopPlayback once the device is closed).
void releaseMixState(Player& player);
// Renders frameCount frames into buffer (frameCount * bytesPerFrame bytes), ticking the sequencer
// frame-exactly; returns the milliseconds the call took. The options, the transport flags and
// mixDivisor are read at the start of every run of at most kMaxRunFrames frames.
uint32_t renderFrames(Player& player, uint8_t* buffer, uint32_t frameCount);
// Frames renderFrames will write until the next tick boundary, that frame included (at least 1).
uint32_t framesToNextTick(const Player& player);
// Divisor at song start: c * globalVolume, with c the channel count, halved above 4 channels.
int32_t mixDivisorAtStart(uint32_t channelCount, uint8_t globalVolume, uint32_t gainBits = 0);
// Divisor from the preamp slider position 1..1024 (512 at start, where it equals the song-start
// value); never below 1. Positions outside the range are taken as the nearest end.
int32_t mixDivisorForPreamp(uint32_t channelCount, uint8_t globalVolume, uint32_t preamp,
                            uint32_t gainBits = 0);
// Level entries needed for one buffer of BufferLength eighths of a millisecond: rate * BufferLength
// / 8, then divided by 1000 rounding up.
uint32_t levelLengthFor(uint32_t rate, uint32_t bufferLength);
// Frames in one output segment of the device ring, as the output layer cuts it.
uint32_t segmentFramesFor(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t bufferLength);

}  // namespace tarvex
