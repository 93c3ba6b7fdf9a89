// Channels that play instruments as FastTracker 2 did (the XM rules): a note picks a sample from
// its instrument, envelopes and fadeout shape its volume and panning every tick, pitch runs on
// linear or Amiga periods, and the volume column holds commands of its own. The sequencer moves
// through the order list as for every format; these functions read the rows and tick the channels.
#pragma once

#include <cstdint>
#include <vector>

#include "model/Module.h"

namespace tarvex {

class Engine;

struct XmChannel {
    const Instrument* instrument = nullptr;      // playing
    const Instrument* nextInstrument = nullptr;  // the last instrument number read, for notes
    const Sample* sample = nullptr;              // as loaded
    const Sample* playing = nullptr;             // what the voice plays: the sample, or its unrolled loop
    int32_t note = 0;                            // the note played, 0 = C-0, with the sample's relative note
    int32_t period = 0;                          // 0 = none
    int32_t targetPeriod = 0;                    // of tone portamento
    bool portaUpward = false;                    // its direction: towards shorter periods
    int32_t volume = 0;                          // 0..64
    int32_t panning = 128;                       // 0..255
    int32_t finetune = 0;                        // -128..127
    int32_t volumeDelta = 0;                     // tremolo or tremor on this tick
    int32_t periodDelta = 0;                     // vibrato or arpeggio on this tick
    bool keyOn = false;
    bool instrumentRestarted = false;  // by the cell just played: envelopes and fadeout afresh
    bool fading = false;               // released: the fadeout runs
    int32_t lastNote = 0;              // the last pattern note read (1..96), which a lone note delay replays
    uint32_t fadeout = 32768;
    uint32_t volumeTick = 0;
    uint32_t panningTick = 0;
    uint32_t autoVibratoPosition = 0;
    uint32_t autoVibratoAmplitude = 0;  // depth x 256 once the sweep is over
    // Row state.
    uint8_t effect = 0;
    uint8_t param = 0;
    uint8_t volumeCommand = 0;
    uint8_t volumeParam = 0;
    NoteCell delayed;  // the cell a note delay plays later
    bool delayPending = false;
    // Memories.
    uint8_t portaUp = 0, portaDown = 0, tonePortaSpeed = 0, finePortaUp = 0, finePortaDown = 0;
    uint8_t extraFineUp = 0, extraFineDown = 0, volumeSlide = 0, globalVolumeSlide = 0;
    uint8_t panningSlide = 0, offset = 0, multiRetrig = 0, tremor = 0;
    uint8_t fineVolumeUp = 0, fineVolumeDown = 0;
    uint8_t vibratoSpeed = 0, vibratoDepth = 0, tremoloSpeed = 0, tremoloDepth = 0;
    uint8_t vibratoWave = 0, tremoloWave = 0;
    uint8_t vibratoPosition = 0, tremoloPosition = 0;
    bool glissando = false;
    int32_t retrigCounter = -1;  // ticks of Rxy counted; a song starts a tick short
    uint8_t tremorCounter = 0;   // ticks left of the tremor's phase
    bool tremorOff = true;       // the phase that ended last: a tremor starts with its on phase
    bool tremorMuted = false;    // silenced by a tremor's off phase
    bool panningHeld = false;    // the panning envelope's sustain point was reached before key-off
    // Pattern loop: the row E60 marked (kept across patterns) and the loops still to go.
    uint8_t loopRow = 0;
    uint8_t loopCounter = 0;
};

// The song-long state of instrument playback, set up by startSong.
struct XmState {
    std::vector<XmChannel> channels;
    std::vector<Sample> unrolled;                 // ping-pong loops played forward, one per such sample
    std::vector<const Sample*> playableOfSample;  // per sample: what a voice plays for it
    uint32_t tick = 0;                            // of the row: 0 is the row tick
    int32_t globalVolume = 64;
    // The row tick's flow commands, resolved once every channel has been read: a loop back within
    // the pattern, a break or jump to another position, and the row either lands on.
    bool loopBack = false;
    bool leavePattern = false;
    uint32_t breakRow = 0;
};

// Allocates the channel states and the unrolled ping-pong loops of the engine's module.
void startInstrumentSong(Engine& engine);
// The row tick: reads the row's cells into the channels. The sequencer has placed the cursor.
void instrumentRowTick(Engine& engine, uint32_t row);
// Every other tick of a row: the continuing effects.
void instrumentEffectTick(Engine& engine);
// The row tick of a row repeated by a pattern delay: its notes and row-tick effects are not read
// again, but the continuing effects go on and a note delay plays once more.
void instrumentRepeatTick(Engine& engine);
// After every tick: envelopes, fadeout and auto-vibrato into each voice's step and gains.
void updateInstrumentVoices(Engine& engine);

}  // namespace tarvex
