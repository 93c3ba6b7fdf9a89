// The channel effects: one handler per effect code 0..25, called by the sequencer on the row tick
// (firstTick = true, after the row's note and volume) and on every later tick of the row while the
// row's effect code or parameter is non-zero.
//
// Continuing effects are set up on the row tick and carried out on the effect ticks by updateSlides,
// so even fine slides act on the first effect tick, and not at all at speed 1. Where the formats'
// trackers differ, the module's rules decide.
#pragma once

#include <array>
#include <cstdint>

#include "core/EffectCodes.h"
#include "engine/Engine.h"

namespace tarvex {

// Slide targets: a slide up stops at period 0, a slide down never stops within its row.
inline constexpr int32_t kSlideUpTarget = 0;
inline constexpr int32_t kSlideDownTarget = 2147483647;

using EffectHandler = void (*)(Engine& engine, ChannelState& channel, bool firstTick);

extern const std::array<EffectHandler, kEffectCount> effectHandlers;

// Calls the handler of channel.effect; codes outside the table do nothing.
inline void runEffect(Engine& engine, ChannelState& channel, bool firstTick) {
    if (channel.effect < kEffectCount) effectHandlers[channel.effect](engine, channel, firstTick);
}

// The common effect-tick routine: volume slide, then period slide (with glissando), then vibrato.
void updateSlides(Engine& engine, ChannelState& channel);

// The cell the cursor points at: on the row tick, the calling channel's own cell.
inline const NoteCell* cursorCell(const Engine& engine) {
    const PlayerState& state = engine.state;
    if (state.playingCells == nullptr || state.cursor >= state.playingCells->size()) return nullptr;
    return &(*state.playingCells)[state.cursor];
}

// Effect groups shared between the files of the effect table.
void setUpVolumeSlide(Engine& engine, ChannelState& channel, uint8_t param);
void setUpRetrigger(Engine& engine, ChannelState& channel, uint8_t param);
void countDownRetrigger(ChannelState& channel);
void extendedCommand(Engine& engine, ChannelState& channel, bool firstTick);

}  // namespace tarvex
