// Channels that play as Impulse Tracker did (the IT rules): a note may go on sounding in the
// background when the next one starts (new-note actions), samples and instruments carry their own
// volumes, envelopes shape volume, panning, pitch and a resonant filter, and every effect letter
// keeps Impulse Tracker's memories. The sequencer moves through the order list as for every
// format; these functions read the rows, tick the channels and turn each note into a voice.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Voice.h"
#include "model/Module.h"

namespace tarvex {

class Engine;

// Where an envelope stands for one note.
struct EnvelopeCursor {
    uint32_t tick = 0;
    bool on = false;
    bool paused = false;   // S77, S79, S7B hold the envelope where it stands; S78, S7A, S7C go on
    bool started = false;  // read once: from then on each tick moves it on first
};

// What sounds: one note of an instrument (or a sample in sample mode) with its envelopes, fadeout,
// auto-vibrato and filter. A channel's own note follows the channel; a note in the background
// keeps what it had when it was left there.
struct ItNote {
    bool active = false;
    const Instrument* instrument = nullptr;
    const Sample* sample = nullptr;  // as loaded
    uint32_t sampleIndex = 0;        // 1-based, for duplicate checks
    int32_t note = 0;                // 0..119, as the keyboard mapped it
    int32_t patternNote = 0;         // 0..119, as the pattern gave it
    bool keyOn = true;
    bool fading = false;
    int32_t fade = 1024;  // note fade component, 1024..0
    EnvelopeCursor volumeEnvelope, panningEnvelope, pitchEnvelope;
    bool volumeEnvelopeEnded = false;
    uint32_t autoVibratoPosition = 0;
    uint32_t autoVibratoDepth = 0;  // x 256 of the sample's depth, rising at its rate
    // What the channel gave the note, kept for a note in the background.
    int32_t volume = 0;          // 0..64
    int32_t channelVolume = 64;  // 0..64
    int32_t panning = 32;        // 0..64
    int32_t panningOffset = 0;   // pitch-pan separation and random variation of the note
    int32_t volumeScale = 100;   // per cent, random volume variation of the note
    bool surround = false;
    uint32_t frequency = 0;  // Hz, with the channel's slides
    int32_t cutoff = 127;    // 0..127
    int32_t resonance = 0;   // 0..127
    int32_t gain = 0;        // the last final volume, for the pool's choice of a voice to give way
};

struct ItChannel {
    ItNote note;                             // the channel's own note (the foreground voice)
    const Instrument* instrument = nullptr;  // the last instrument number read
    const Sample* sample = nullptr;          // the last sample chosen
    int32_t lastNote = 0;                    // the last pattern note (0..119); C-0 at first
    int32_t volume = 0;                      // 0..64
    int32_t channelVolume = 64;              // 0..64
    int32_t panning = 32;                    // 0..64
    bool surround = false;
    bool muted = false;              // the file disabled the channel
    uint32_t frequency = 0;          // Hz, 0 = nothing
    uint32_t targetFrequency = 0;    // of tone portamento
    int32_t volumeDelta = 0;         // tremolo or tremor on this tick
    int32_t panningDelta = 0;        // panbrello on this tick
    int32_t pitchDelta = 0;          // vibrato on this tick, 1/768 octave (linear) or period
    uint32_t arpeggioFrequency = 0;  // arpeggio's pitch on this tick, 0 = none
    int32_t cutoff = 127;            // the channel's filter, which its next notes take
    int32_t resonance = 0;
    uint8_t nna = 0xFF;  // S73..S76 for the playing note, 0xFF = instrument's
    // Row state.
    NoteCell cell;
    bool delayPending = false;
    uint32_t delayTicks = 0;
    uint32_t cutTicks = 0;  // SCx: ticks left before the note is cut, 0 = none
    // Memories.
    uint8_t volumeSlide = 0, channelVolumeSlide = 0, globalVolumeSlide = 0, panningSlide = 0;
    uint8_t pitchSlide = 0;  // E and F, and G too unless compatible Gxx
    uint8_t tonePortaSpeed = 0;
    uint8_t volumeColumnSlide = 0;
    uint8_t offset = 0, highOffset = 0;
    uint8_t retrig = 0, tremor = 0, arpeggio = 0, tempoSlide = 0;
    uint8_t vibratoSpeed = 0, vibratoDepth = 0, tremoloSpeed = 0, tremoloDepth = 0;
    uint8_t panbrelloSpeed = 0, panbrelloDepth = 0;
    uint8_t vibratoWave = 0, tremoloWave = 0, panbrelloWave = 0;
    uint8_t vibratoPosition = 0, tremoloPosition = 0, panbrelloPosition = 0;
    int32_t panbrelloHold = 0;
    uint8_t macro = 0;  // SFx
    bool glissando = false;
    int32_t retrigCounter = 0;
    uint8_t tremorCounter = 0;
    bool tremorOn = true;
    // Pattern loop: the row SB0 marked and the loops still to go.
    uint8_t loopRow = 0;
    uint8_t loopCounter = 0;
};

// A note left in the background by a new-note action, with the voice it sounds through.
struct ItBackground {
    Voice voice;
    ItNote note;
    uint64_t age = 0;  // when it was left, for the oldest of equally quiet notes
};

inline constexpr uint32_t kBackgroundVoices = 256;

struct ItState {
    std::vector<ItChannel> channels;
    std::vector<ItBackground> pool;  // kBackgroundVoices, allocated at song start
    // Per sample, what a voice plays: its loop as the mixer plays it (ping-pong loops unrolled), and
    // while the key is down its sustain loop; copies holds the samples made for them.
    std::vector<Sample> copies;
    std::vector<const Sample*> playableOf;
    std::vector<const Sample*> sustainedOf;
    uint32_t tick = 0;
    int32_t globalVolume = 128;
    uint32_t random = 1;  // random volume and panning variation, the same on every render
    uint64_t clock = 0;
    bool rowDelaySeen = false;  // the first SEx of a row counts, SE0 too
    uint32_t rowTickDelay = 0;  // the S6x of the row, added up: each repetition of it lasts as long
    bool repeating = false;     // the row tick of a row repeated by SEx
    bool loopBack = false;
    uint32_t loopRow = 0;
    bool leavePattern = false;
    uint32_t breakRow = 0;
};

void startImpulseSong(Engine& engine);
void impulseRowTick(Engine& engine, uint32_t row);
void impulseEffectTick(Engine& engine);
void impulseRepeatTick(Engine& engine);
void updateImpulseVoices(Engine& engine);

}  // namespace tarvex
