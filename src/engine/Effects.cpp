// Effect codes 0..13 and 15..25, the effect table and updateSlides. Code 14 lives in
// ExtendedEffects.cpp.
#include "engine/Effects.h"

#include <algorithm>

#include "core/PitchTables.h"
#include "engine/Channel.h"

namespace tarvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint32_t kWaveHalfCycle = 32;        // vibrato and tremolo positions run 0..31 per half cycle
constexpr int kDepthShift = 7;                 // waveform value x depth >> 7: 255 x 15 >> 7 = 29
constexpr uint32_t kMaxSpeedBeforeTempo = 31;  // MOD: set speed above this sets the tempo

uint8_t highNibble(uint8_t param) {
    return param >> 4;
}
uint8_t lowNibble(uint8_t param) {
    return param & 0x0F;
}

// Waveform value in volume units (tremolo); vibrato scales it by 16 to period x16 units.
// Waveform 1 never goes negative: it rises 0..248 in the first half cycle and 248..496 in the second.
int32_t waveValue(uint8_t wave, uint32_t pos, bool negative) {
    switch (wave & 3) {
        case 1:
            return static_cast<int32_t>(pos * 8) + (negative ? 248 : 0);
        case 2:
            return negative ? -255 : 255;
        default: {
            const int32_t sine = SineTable[pos % kWaveHalfCycle];
            return negative ? -sine : sine;
        }
    }
}

// Moves a vibrato or tremolo position on by speed; past the half cycle the sign flips.
void advanceWave(uint32_t& pos, bool& negative, uint32_t speed) {
    pos += speed;
    if (pos >= kWaveHalfCycle) {
        pos -= kWaveHalfCycle;
        negative = !negative;
    }
}

void setTempo(Engine& engine, uint32_t tempo) {
    engine.state.tempo.store(tempo, kRelaxed);
    engine.state.samplesPerTick = samplesPerTickFor(engine.state.rate, tempo);
}

void setSpeed(Engine& engine, uint8_t speed) {
    engine.state.speed.store(speed, kRelaxed);
    engine.state.tickCounter = speed;  // the current row lasts the new number of ticks
    if (speed == 0) engine.state.songEnded.store(true, kRelaxed);
}

void noEffect(Engine&, ChannelState&, bool) {}

// Three periods: the note, the note + x semitones, the note + y semitones. The step does not change
// on the row tick; effect ticks sound note + x, note + y, note, ...
void arpeggio(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) {
        channel.arpeggioIndex = (channel.arpeggioIndex + 1) % 3;
        setStep(channel, engine.module->stepBase, channel.arpeggioPeriods[channel.arpeggioIndex]);
        return;
    }
    const int32_t note = channel.noteInOctave + 12 * channel.octave;
    channel.arpeggioIndex = 0;
    if (note >= kPeriodCount) {  // no note known: nothing to arpeggiate
        channel.arpeggioPeriods = {0, 0, 0};
        return;
    }
    if (channel.sample == nullptr) return;
    const uint32_t frequency = channel.sample->baseFrequency;
    // Offsets past the highest note stay on the highest note.
    const auto plainPeriod = [note](uint8_t offset) {
        return PeriodTable[std::min(note + offset, kPeriodCount - 1)].period;
    };
    channel.arpeggioPeriods = {
        static_cast<int32_t>(static_cast<uint32_t>(channel.notePeriod) * kReferenceFrequency / frequency),
        static_cast<int32_t>(plainPeriod(highNibble(channel.param)) * kPlainPeriodFactor / frequency),
        static_cast<int32_t>(plainPeriod(lowNibble(channel.param)) * kPlainPeriodFactor / frequency)};
    channel.arpeggioActive = true;
}

// Portamento up and down share one signed memory: a parameter of 0 repeats the last amount in its
// last direction, even against this command's own target (then it overshoots on its first tick).
void setUpPortamento(ChannelState& channel, uint8_t param, bool up) {
    if (param != 0) {
        const int32_t amount = param * static_cast<int32_t>(kPeriodScale);
        channel.portaMemory = up ? -amount : amount;
    }
    channel.portaDelta = channel.portaMemory;
    channel.portaTarget = up ? kSlideUpTarget : kSlideDownTarget;
    channel.portaStart = channel.portaPeriod = channel.period;
    channel.portaActive = true;
}

void portamentoUp(Engine& engine, ChannelState& channel, bool firstTick) {
    if (firstTick) {
        setUpPortamento(channel, channel.param, true);
    } else {
        updateSlides(engine, channel);
    }
}

void portamentoDown(Engine& engine, ChannelState& channel, bool firstTick) {
    if (firstTick) {
        setUpPortamento(channel, channel.param, false);
    } else {
        updateSlides(engine, channel);
    }
}

// Aims the slide at the cell's note (the period a note start would give) and points portaDelta the
// right way. Without a note the slide goes on toward whatever target is left.
void aimTonePortamento(Engine& engine, ChannelState& channel) {
    const NoteCell* cell = cursorCell(engine);
    if (cell != nullptr && cell->period != 0) {
        channel.portaStart = channel.portaPeriod = channel.period;
        if (channel.sample != nullptr) {
            channel.portaTarget =
                static_cast<int32_t>(cell->period * kPlainPeriodFactor / channel.sample->baseFrequency);
        }
    }
    if ((channel.portaTarget < channel.portaStart && channel.portaDelta > 0) ||
        (channel.portaTarget > channel.portaStart && channel.portaDelta < 0)) {
        channel.portaDelta = -channel.portaDelta;
    }
    channel.portaActive = channel.portaDelta != 0 && channel.portaTarget != 0;
}

void tonePortamento(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) {
        updateSlides(engine, channel);
        return;
    }
    if (channel.param != 0) channel.tonePortaMemory = channel.param * static_cast<int32_t>(kPeriodScale);
    channel.portaDelta = channel.tonePortaMemory;
    aimTonePortamento(engine, channel);
}

void vibrato(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) {
        updateSlides(engine, channel);
        return;
    }
    channel.vibratoActive = true;
    if (highNibble(channel.param) != 0) channel.vibratoSpeed = highNibble(channel.param);
    if (lowNibble(channel.param) != 0) channel.vibratoDepth = lowNibble(channel.param);
}

// The parameter is the volume slide's; the slide speed always comes from the tone-portamento memory.
void tonePortamentoVolumeSlide(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) {
        updateSlides(engine, channel);
        return;
    }
    channel.portaDelta = channel.tonePortaMemory;
    aimTonePortamento(engine, channel);
    setUpVolumeSlide(engine, channel, channel.param);
}

void vibratoVolumeSlide(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) {
        updateSlides(engine, channel);
        return;
    }
    channel.vibratoActive = true;
    setUpVolumeSlide(engine, channel, channel.param);
}

// Moves the output volume only; the sequencer restores it when a row without tremolo comes.
void tremolo(Engine&, ChannelState& channel, bool firstTick) {
    if (firstTick) {
        if (highNibble(channel.param) != 0) channel.tremoloSpeed = highNibble(channel.param);
        if (lowNibble(channel.param) != 0) channel.tremoloDepth = lowNibble(channel.param);
        channel.tremoloActive = true;
        return;
    }
    const int32_t w = waveValue(channel.tremoloWave, channel.tremoloPos, channel.tremoloNegative);
    const int32_t depth = static_cast<int32_t>(channel.tremoloDepth);
    applyVolume(channel, wrappingAdd(channel.volume, (w * depth) >> kDepthShift));
    advanceWave(channel.tremoloPos, channel.tremoloNegative, channel.tremoloSpeed);
}

// 0 full left, 0x40 centre (512 each side), 0x80 full right; above 0x80 the left factor goes negative.
void setPanning(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick || engine.module->channelCount <= 1) return;
    channel.rightPan = channel.param * 8;
    channel.leftPan = (128 - channel.param) * 8;
    applyVolume(channel, channel.volume);
}

// Starts the row's note at frame param x 256. No memory: 0 means frame 0. An offset past the end
// leaves the channel where it was (the note start did not reset the position for this code).
void sampleOffset(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) return;
    const NoteCell* cell = cursorCell(engine);
    const uint32_t offset = channel.param * 256u;
    if (cell == nullptr || cell->period == 0 || channel.sample == nullptr) return;
    if (offset >= channel.sample->length) return;
    channel.position = static_cast<int32_t>(offset);
    channel.noteStarted = true;
}

void volumeSlide(Engine& engine, ChannelState& channel, bool firstTick) {
    if (firstTick) {
        setUpVolumeSlide(engine, channel, channel.param);
    } else {
        updateSlides(engine, channel);
    }
}

// With LoopsAllowed off only jumps at least two positions ahead count, so a song cannot loop back,
// except that a jump back is taken while repeats are left.
void positionJump(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) return;
    PlayerState& state = engine.state;
    const uint32_t next = state.nextOrder.load(kRelaxed);
    if (channel.param > next || engine.settings.LoopsAllowed.load(kRelaxed)) {
        state.jumpPending = true;
        state.jumpOrder = channel.param;
        state.repeatJump = false;
    } else if (channel.param < next && state.repeatsLeft != 0) {
        state.jumpPending = true;
        state.jumpOrder = channel.param;
        state.repeatJump = true;
    }
}

// Stored unlimited (0x50 keeps 80), heard at most at 64.
void setVolume(Engine&, ChannelState& channel, bool firstTick) {
    if (!firstTick) return;
    channel.volume = channel.param;
    applyVolume(channel, channel.volume);
}

// The parameter reads as two decimal digits, nibbles above 9 at face value: up to 15 x 10 + 15.
void patternBreak(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) return;
    engine.state.breakPending = true;
    engine.state.breakRow = highNibble(channel.param) * 10u + lowNibble(channel.param);
}

// S3M: always the speed. MOD: above 31 the tempo, else the speed; always the speed in a song
// timed by the vertical blank. Speed 0 ends a MOD song; the other trackers ignored it.
void setSpeedOrTempo(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick) return;
    const Module& module = *engine.module;
    if (channel.param == 0 && !module.rules.speedZeroEndsSong) return;
    if (module.rules.largeSpeedSetsTempo && channel.param > kMaxSpeedBeforeTempo) {
        setTempo(engine, channel.param);
    } else {
        setSpeed(engine, channel.param);
    }
}

// Tempo 0 would divide by zero in the tick length: it leaves the tempo as it is.
void setTempoEffect(Engine& engine, ChannelState& channel, bool firstTick) {
    if (!firstTick || channel.param == 0) return;
    setTempo(engine, channel.param);
}

void retrigger(Engine& engine, ChannelState& channel, bool firstTick) {
    if (firstTick) {
        setUpRetrigger(engine, channel, channel.param);
    } else {
        countDownRetrigger(channel);
    }
}

}  // namespace

// MOD rules: x slides up, else y down (0x32 slides up by 3). S3M rules: xF / Fy are fine slides
// (applied once), y wins over x (0x32 slides down by 2), and 0 repeats the last slide.
void setUpVolumeSlide(Engine& engine, ChannelState& channel, uint8_t param) {
    const int32_t x = highNibble(param);
    const int32_t y = lowNibble(param);
    channel.volumeSlideActive = true;
    if (!engine.module->rules.fineVolumeSlides) {
        channel.volumeSlide = x != 0 ? x : -y;
        return;
    }
    if (y != 0 && x == 15) {
        channel.volumeSlide = -y;
        channel.volumeSlideOnce = true;
    } else if (x != 0 && y == 15) {
        channel.volumeSlide = x;
        channel.volumeSlideOnce = true;
    } else if (y != 0) {
        channel.volumeSlide = -y;
    } else if (x != 0) {
        channel.volumeSlide = x;
    }
}

// MOD files count in the low nibble; S3M and STM take the whole parameter byte.
void setUpRetrigger(Engine& engine, ChannelState& channel, uint8_t param) {
    const uint8_t interval = engine.module->rules.retriggerWholeParam ? param : lowNibble(param);
    channel.retrigCounter = interval;
    channel.retrigInterval = interval;
}

// An interval of 0 wraps the 8-bit counter to 255 and does not retrigger within a normal row.
void countDownRetrigger(ChannelState& channel) {
    --channel.retrigCounter;
    if (channel.retrigCounter != 0) return;
    channel.position = 0;
    channel.noteStarted = true;
    channel.retrigCounter = channel.retrigInterval;
}

void updateSlides(Engine& engine, ChannelState& channel) {
    const uint32_t stepBase = engine.module->stepBase;
    if (channel.volumeSlideActive) {
        channel.volume = wrappingAdd(channel.volume, channel.volumeSlide);
        applyVolume(channel, channel.volume);
        if (channel.volumeSlideOnce) channel.volumeSlideActive = false;
    }
    if (channel.portaActive) {
        channel.portaPeriod = wrappingAdd(channel.portaPeriod, channel.portaDelta);
        int32_t p = channel.portaPeriod;
        if (channel.glissando) {
            // Whole notes only; far above the highest note (plain period 0..13) there is no note
            // to round to, and the slide value sounds as it is.
            const int32_t plain = p >> 4;
            if (plain < 0 || plain > 13) p = nearestNotePeriod(plain) * static_cast<int32_t>(kPeriodScale);
        }
        if ((p > channel.portaTarget && channel.portaDelta > 0) ||
            (p < channel.portaTarget && channel.portaDelta < 0)) {
            channel.portaPeriod = p = channel.portaTarget;
            channel.portaTarget = 0;
            channel.portaActive = false;
        }
        channel.period = p;
        setStep(channel, stepBase, p);
        if (channel.portaOnce) {
            channel.portaTarget = 0;
            channel.portaActive = false;
        }
    }
    if (channel.vibratoActive) {
        const int32_t w = waveValue(channel.vibratoWave, channel.vibratoPos, channel.vibratoNegative) *
                          static_cast<int32_t>(kPeriodScale);
        const int32_t depth = static_cast<int32_t>(channel.vibratoDepth);
        setStep(channel, stepBase, wrappingAdd(channel.period, (w * depth) >> kDepthShift));
        advanceWave(channel.vibratoPos, channel.vibratoNegative, channel.vibratoSpeed);
    }
}

const std::array<EffectHandler, kEffectCount> effectHandlers = {
    arpeggio,                   // 0
    portamentoUp,               // 1
    portamentoDown,             // 2
    tonePortamento,             // 3
    vibrato,                    // 4
    tonePortamentoVolumeSlide,  // 5
    vibratoVolumeSlide,         // 6
    tremolo,                    // 7
    setPanning,                 // 8
    sampleOffset,               // 9
    volumeSlide,                // 10
    positionJump,               // 11
    setVolume,                  // 12
    patternBreak,               // 13
    extendedCommand,            // 14
    setSpeedOrTempo,            // 15
    setTempoEffect,             // 16
    retrigger,                  // 17
    noEffect,                   // 18
    noEffect,                   // 19
    noEffect,                   // 20
    noEffect,                   // 21
    noEffect,                   // 22
    noEffect,                   // 23
    noEffect,                   // 24
    noEffect,                   // 25
};

}  // namespace tarvex
