// The internal effect codes a NoteCell carries. Every reader translates its format's commands into
// these; the engine has one handler per code.
#pragma once

#include <cstdint>

namespace tarvex {

// Codes the engine has handlers for (its table is indexed by code). The XM codes from
// kFirstXmEffect on are played by the instrument channels alone: no shared handler takes them.
inline constexpr uint32_t kEffectCount = 26;
inline constexpr uint32_t kFirstXmEffect = 26;
// One past the last XM code.
inline constexpr uint32_t kXmEffectEnd = 35;
// IT cells carry their letter as read: kItEffectA + 0 for A .. + 25 for Z, played by IT's own
// channels alone. Every code a reader may put into a cell is below kItEffectEnd.
inline constexpr uint32_t kItEffectA = 35;
inline constexpr uint32_t kItEffectEnd = kItEffectA + 26;
// The code of IT effect letter ('A'..'Z').
constexpr uint8_t itEffect(char letter) {
    return static_cast<uint8_t>(kItEffectA + static_cast<uint32_t>(letter - 'A'));
}

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
    // XM's own commands (the letter in the pattern, FastTracker 2 numbering 16..33).
    kSetGlobalVolume = 26,          // Gxx: 0..64
    kGlobalVolumeSlide = 27,        // Hxy: up x or down y per tick
    kKeyOff = 28,                   // Kxx: releases the key at tick xx
    kSetEnvelopePosition = 29,      // Lxx: both envelopes to tick xx
    kPanningSlide = 30,             // Pxy: right x or left y per tick
    kMultiRetrigger = 31,           // Rxy: volume change x, every y ticks (kRetrigger has no x)
    kTremor = 32,                   // Txy: on x + 1 ticks, off y + 1 ticks
    kExtraFinePortamentoUp = 33,    // X1x: up x / 4 of a fine step, once
    kExtraFinePortamentoDown = 34,  // X2x
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

}  // namespace tarvex
