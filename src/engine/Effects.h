// The channel effects: one handler per effect code 0..25, called by the sequencer on the row tick
// (firstTick = true, after the row's note and volume) and on every later tick of the row while the
// row's effect code or parameter is non-zero.
//
// Continuing effects are set up on the row tick and carried out on the effect ticks by updateSlides,
// so even fine slides act on the first effect tick, and not at all at speed 1. S3M rules apply when
// the module's formatType is 16, MOD rules otherwise.
#pragma once

#include <array>
#include <cstdint>

#include "engine/Engine.h"

namespace tarvex {

inline constexpr uint32_t kEffectCount = 26;

enum EffectCode : uint8_t {
    kArpeggio = 0,
    kPortaUp = 1,
    kPortaDown = 2,
    kTonePorta = 3,
    kVibrato = 4,
    kTonePortaVolumeSlide = 5,
    kVibratoVolumeSlide = 6,
    kTremolo = 7,
    kSetPanning = 8,
    kSampleOffset = 9,
    kVolumeSlide = 10,
    kPositionJump = 11,
    kSetVolume = 12,
    kPatternBreak = 13,
    kExtended = 14,
    kSetSpeed = 15,
    kSetTempo = 16,
    kRetrigger = 17,
};

// Sub-commands of kExtended, by the high nibble of the parameter.
enum ExtendedCode : uint8_t {
    kFinePortaUp = 0x1,
    kFinePortaDown = 0x2,
    kGlissandoControl = 0x3,
    kVibratoWaveform = 0x4,
    kSetFinetune = 0x5,
    kPatternLoop = 0x6,
    kTremoloWaveform = 0x7,
    kPanning16 = 0x8,
    kRetriggerEvery = 0x9,
    kFineVolumeUp = 0xA,
    kFineVolumeDown = 0xB,
    kNoteCut = 0xC,
    kNoteDelay = 0xD,
    kPatternDelay = 0xE,
};

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
