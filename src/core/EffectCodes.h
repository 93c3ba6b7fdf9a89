// The internal effect codes a NoteCell carries. Every reader translates its format's commands into
// these; the engine has one handler per code.
#pragma once

#include <cstdint>

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

}  // namespace tarvex
