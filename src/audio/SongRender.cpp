#include "audio/SongRender.h"

#include <algorithm>
#include <vector>

#include "audio/Player.h"

namespace tarvex {

namespace {

constexpr uint32_t kBlockFrames = 4096;

}  // namespace

SongRenderResult renderSong(Player& player, uint32_t preamp, uint64_t maxFrames, const PcmSink& sink,
                            const RenderProgress& progress) {
    startSong(player);
    const Module& module = *player.module;
    player.mix.mixDivisor.store(mixDivisorForPreamp(module.channelCount, module.globalVolume, preamp),
                                std::memory_order_relaxed);
    std::vector<uint8_t> block(static_cast<size_t>(kBlockFrames) * player.mix.bytesPerFrame);
    SongRenderResult result;
    while (result.frames < maxFrames && !player.playbackFinished.load(std::memory_order_relaxed)) {
        // No call passes a tick boundary: once the song has ended, the call that reaches the next
        // boundary (where playbackFinished is set) stops right there.
        const uint64_t frames =
            std::min<uint64_t>({kBlockFrames, maxFrames - result.frames, framesToNextTick(player)});
        const uint32_t count = static_cast<uint32_t>(frames);
        renderFrames(player, block.data(), count);
        if (!sink(block.data(), static_cast<size_t>(count) * player.mix.bytesPerFrame)) {
            result.aborted = true;
            break;
        }
        result.frames += count;
        if (progress) progress(result.frames);
    }
    result.finished = player.playbackFinished.load(std::memory_order_relaxed);
    return result;
}

}  // namespace tarvex
