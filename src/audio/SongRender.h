// Offline rendering of a whole song: start it, render until the mixer sets playbackFinished (the
// frame on which it is set is the last one delivered) or until a frame limit, handing the PCM to a
// sink block by block. Deterministic: the same module and settings give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarvex {

class Player;

struct SongRenderResult {
    uint64_t frames = 0;    // frames delivered
    uint64_t skipped = 0;   // frames played silently before them (Player::startFrame, or fewer)
    bool finished = false;  // the song ended (playbackFinished); false when the limit cut it
    bool aborted = false;   // the sink refused a block
};

// Returns false to stop rendering (a write failed).
using PcmSink = std::function<bool(const uint8_t* bytes, size_t count)>;
// Called after each block with the frames delivered so far.
using RenderProgress = std::function<void(uint64_t frames)>;

// Plays the started song on for `frames` frames without output, exactly as renderFrames would
// play them, so that the next frame rendered is frame `frames` of the song; stops early at the
// frame on which playbackFinished is set. Returns the frames played.
uint64_t skipFrames(Player& player, uint64_t frames);

// Starts the player's loaded module with its settings, sets mixDivisor from the preamp position,
// skips player.startFrame frames and renders at most maxFrames frames, handing them to the sink in blocks of
// 64 KB (small enough to be still in the cache when the sink copies them).
SongRenderResult renderSong(Player& player, uint32_t preamp, uint64_t maxFrames, const PcmSink& sink,
                            const RenderProgress& progress = {});

}  // namespace tarvex
