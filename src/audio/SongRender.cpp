#include "audio/SongRender.h"

#include <algorithm>
#include <vector>

#include "audio/Player.h"

namespace tarvex {

namespace {

constexpr size_t kBlockBytes = size_t{1} << 16;  // what the sink receives at a time, the last block aside

constexpr uint32_t kSkipFrames = 1024;  // frames of one silent render call, on the stack

}  // namespace

uint64_t skipFrames(Player& player, uint64_t frames) {
    constexpr uint32_t kMaxBytesPerFrame = 6;  // 24-bit stereo
    uint8_t scratch[kSkipFrames * kMaxBytesPerFrame];
    const uint32_t bytesPerFrame = player.mix.bytesPerFrame;
    if (bytesPerFrame == 0 || bytesPerFrame > kMaxBytesPerFrame) return 0;
    const bool levelsWanted = player.mix.levelsWanted;
    player.mix.levelsWanted = false;
    uint64_t done = 0;
    while (done < frames && !player.playbackFinished.load(std::memory_order_relaxed)) {
        // As renderSong does: no call passes a tick boundary, so one that ends the song stops there.
        const uint32_t count =
            static_cast<uint32_t>(std::min<uint64_t>({kSkipFrames, frames - done, framesToNextTick(player)}));
        renderFrames(player, scratch, count);
        done += count;
    }
    player.mix.levelsWanted = levelsWanted;
    return done;
}

SongRenderResult renderSong(Player& player, uint32_t preamp, uint64_t maxFrames, const PcmSink& sink,
                            const RenderProgress& progress) {
    startSong(player);
    const Module& module = *player.module;
    player.mix.mixDivisor.store(
        mixDivisorForPreamp(mixChannelsOf(module), module.globalVolume, preamp, module.rules.gainBits),
        std::memory_order_relaxed);
    const uint32_t bytesPerFrame = player.mix.bytesPerFrame;
    const uint32_t blockFrames = static_cast<uint32_t>(kBlockBytes / bytesPerFrame);
    std::vector<uint8_t> block(static_cast<size_t>(blockFrames) * bytesPerFrame);
    SongRenderResult result;
    result.skipped = skipFrames(player, player.startFrame);
    // A song that ended before the start frame delivers nothing.
    bool finished = player.playbackFinished.load(std::memory_order_relaxed);
    // Nothing shows the level arrays of an offline render: leave them alone.
    const bool levelsWanted = player.mix.levelsWanted;
    player.mix.levelsWanted = false;
    while (result.frames < maxFrames && !finished) {
        uint32_t filled = 0;
        while (filled < blockFrames && result.frames + filled < maxFrames && !finished) {
            // No call passes a tick boundary: once the song has ended, the call that reaches the
            // next boundary (where playbackFinished is set) stops right there.
            const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(
                {blockFrames - filled, maxFrames - result.frames - filled, framesToNextTick(player)}));
            renderFrames(player, block.data() + static_cast<size_t>(filled) * bytesPerFrame, frames);
            filled += frames;
            finished = player.playbackFinished.load(std::memory_order_relaxed);
        }
        if (!sink(block.data(), static_cast<size_t>(filled) * bytesPerFrame)) {
            result.aborted = true;
            break;
        }
        result.frames += filled;
        if (progress) progress(result.frames);
    }
    player.mix.levelsWanted = levelsWanted;
    result.finished = finished;
    return result;
}

}  // namespace tarvex
