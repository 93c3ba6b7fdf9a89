#include "engine/XmPlayback.h"

#include <algorithm>

#include "core/PitchTables.h"
#include "engine/Channel.h"
#include "engine/Effects.h"
#include "engine/Engine.h"
#include "engine/XmTables.h"

namespace tarvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kMaxNote = 118;           // B-9: the highest note with a relative note added
constexpr int32_t kLinearC4 = 4608;         // linear period of C-4, the sample's own pitch
constexpr int32_t kLinearMaxPeriod = 7680;  // C-0 at finetune 0
constexpr int32_t kAmigaMinPeriod = 1;
constexpr int32_t kAmigaMaxPeriod = 32000;
constexpr uint32_t kFullFadeout = 32768;  // a released note loses the fadeout value every tick
constexpr uint32_t kGainBits = 8;         // voice gains run 0..64 << kGainBits

uint8_t high(uint8_t v) {
    return v >> 4;
}
uint8_t low(uint8_t v) {
    return v & 15;
}

// The period of a note (0 = C-0) at a finetune of -128..127 (1/128 semitone).
int32_t periodOf(const Module& module, int32_t note, int32_t finetune) {
    if (module.linearFrequency) return kLinearMaxPeriod - note * 64 - finetune / 2;
    // Amiga: in 1/16 semitones above C-4, 192 to the octave, the table covering one.
    const int32_t above = (note - 48) * 16 + finetune / 8;
    const int32_t octave = above >= 0 ? above / 192 : -((-above + 191) / 192);
    const int32_t index = above - octave * 192;
    const uint64_t scaled = xm::kAmigaPeriod65536[static_cast<size_t>(index)];
    const uint64_t period = octave >= 0 ? scaled >> octave : scaled << std::min(-octave, 16);
    return static_cast<int32_t>(std::clamp<uint64_t>(period >> 16, kAmigaMinPeriod, kAmigaMaxPeriod));
}

int32_t clampPeriod(const Module& module, int32_t period) {
    return module.linearFrequency ? std::clamp(period, 1, 11520)
                                  : std::clamp(period, kAmigaMinPeriod, kAmigaMaxPeriod);
}

// Source frames per output frame in 1/1024 frame for a period at rate.
uint32_t stepOf(const Module& module, int32_t period, uint32_t rate) {
    if (period <= 0 || rate == 0) return 0;
    uint64_t frequency1024;
    if (module.linearFrequency) {
        const int32_t above = kLinearC4 - period;  // 1/768 octave above C-4
        const int32_t octave = above >= 0 ? above / 768 : -((-above + 767) / 768);
        const uint64_t base = xm::kLinearFrequency1024[static_cast<size_t>(above - octave * 768)];
        frequency1024 = octave >= 0 ? base << std::min(octave, 20) : base >> std::min(-octave, 40);
    } else {
        frequency1024 = uint64_t{8363} * 1712 * 1024 / static_cast<uint64_t>(period);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(frequency1024 / rate, UINT32_MAX));
}

// The sample an instrument plays for a pattern note (1..96), or null.
const Sample* sampleFor(const Module& module, const Instrument* instrument, int32_t patternNote) {
    if (instrument == nullptr || patternNote < 1 || patternNote > static_cast<int32_t>(kXmInstrumentNotes))
        return nullptr;
    const uint32_t number = instrument->sampleOfNote[static_cast<size_t>(patternNote - 1)];
    if (number == 0 || number > module.samples.size()) return nullptr;
    return &module.samples[number - 1];
}

const Sample* playableOf(const Engine& engine, const Sample* sample) {
    if (sample == nullptr) return nullptr;
    const size_t index = static_cast<size_t>(sample - engine.module->samples.data());
    return index < engine.xm.playableOfSample.size() ? engine.xm.playableOfSample[index] : sample;
}

int32_t envelopeValue(const Envelope& envelope, uint32_t tick) {
    const uint32_t count = std::min<uint32_t>(envelope.count, kEnvelopePoints);
    if (count == 0) return 0;
    if (tick <= envelope.points[0].tick || count == 1) return envelope.points[0].value;
    for (uint32_t p = 1; p < count; ++p) {
        const EnvelopePoint& b = envelope.points[p];
        if (tick > b.tick) continue;
        const EnvelopePoint& a = envelope.points[p - 1];
        if (b.tick <= a.tick) return b.value;
        const int32_t span = b.tick - a.tick;
        return a.value +
               (static_cast<int32_t>(b.value) - a.value) * static_cast<int32_t>(tick - a.tick) / span;
    }
    return envelope.points[count - 1].value;
}

// One tick on: held at the sustain point while the key is down, back to the loop start at its end.
void advanceEnvelope(const Envelope& envelope, uint32_t& tick, bool keyOn) {
    const uint32_t count = std::min<uint32_t>(envelope.count, kEnvelopePoints);
    if (count == 0) return;
    if (envelope.sustainOn && keyOn && envelope.sustain < count &&
        tick == envelope.points[envelope.sustain].tick)
        return;
    ++tick;
    // A released sustain point at the loop's end ends the loop too.
    const bool loopReleased = envelope.sustainOn && !keyOn && envelope.sustain == envelope.loopEnd;
    if (envelope.loopOn && !loopReleased && envelope.loopEnd < count &&
        envelope.loopStart <= envelope.loopEnd && tick >= envelope.points[envelope.loopEnd].tick) {
        tick = envelope.points[envelope.loopStart].tick;
    }
    tick = std::min<uint32_t>(tick, 0xFFFF);
}

void resetEnvelopes(XmChannel& c) {
    c.panningHeld = false;
    c.volumeTick = 0;
    c.panningTick = 0;
    c.fadeout = kFullFadeout;
    c.fading = false;
    c.keyOn = true;
    c.autoVibratoPosition = 0;
    c.autoVibratoAmplitude = 0;
}

// Releases the note. Without a volume envelope it falls silent at once, though a volume set later
// brings it back: fading out, unless the key-off came from a note delay.
void keyOff(XmChannel& c, bool delayed = false) {
    c.keyOn = false;
    const bool envelope = c.instrument != nullptr && c.instrument->volume.on;
    if (!envelope) c.volume = 0;
    if (envelope || !delayed) c.fading = true;
}

// The default volume and panning of the channel's sample.
void takeSampleDefaults(XmChannel& c) {
    if (c.sample == nullptr) return;
    c.volume = static_cast<int32_t>(std::min<uint32_t>(c.sample->volume, 64));
    c.panning = c.sample->panning;
}

// An LFO's value at position (0..63): its magnitude from the half-cycle's own position, negative
// in the second half. The ramp rises through both halves, from 0 and from the bottom; which half
// it is in comes from rampPosition: the tremolo reads the vibrato's there, as FastTracker 2 did.
int32_t waveform(uint8_t wave, uint8_t position, uint8_t rampPosition) {
    const int32_t p = position & 31;
    int32_t magnitude;
    switch (wave & 3) {
        case 0:
            magnitude = SineTable[static_cast<size_t>(p)];
            break;
        case 1:
            magnitude = (rampPosition & 32) != 0 ? 255 - p * 8 : p * 8;
            break;
        default:
            magnitude = 255;
            break;
    }
    return (position & 32) != 0 ? -magnitude : magnitude;
}

void vibrato(XmChannel& c) {
    c.periodDelta = waveform(c.vibratoWave, c.vibratoPosition, c.vibratoPosition) * c.vibratoDepth / 32;
    c.vibratoPosition = static_cast<uint8_t>((c.vibratoPosition + c.vibratoSpeed) & 63);
}

int32_t tremoloDelta(const XmChannel& c) {
    return waveform(c.tremoloWave, c.tremoloPosition, c.vibratoPosition) * c.tremoloDepth / 64;
}

void volumeSlideBy(XmChannel& c, uint8_t param) {
    if (high(param) != 0) {
        c.volume = std::min(64, c.volume + high(param));
    } else {
        c.volume = std::max(0, c.volume - low(param));
    }
}

// Slides in the direction taken when the target was set, stopping at the target; a target reached
// from below turns the direction round, so that a slide begun below it again (after a portamento
// down) finds itself past the target and lands on it at once, as in FastTracker 2.
void tonePorta(const Module& module, XmChannel& c) {
    if (c.targetPeriod == 0 || c.period == 0) return;
    const int32_t speed = c.tonePortaSpeed * 4;
    if (c.portaUpward) {
        c.period -= speed;
        if (c.period <= c.targetPeriod) {
            c.period = c.targetPeriod;
            c.portaUpward = false;
        }
    } else {
        c.period = std::min(c.period + speed, c.targetPeriod);
    }
    if (c.glissando && module.linearFrequency) {
        c.periodDelta = ((c.period + 32) / 64) * 64 - c.period;
    }
}

ChannelState& voiceOf(Engine& engine, uint32_t index) {
    return engine.channels[index];
}

// Starts the channel's sample from offset frames.
void trigger(Engine& engine, uint32_t index, uint32_t offset) {
    XmChannel& c = engine.xm.channels[index];
    ChannelState& v = voiceOf(engine, index);
    c.playing = playableOf(engine, c.sample);
    v.sample = c.playing;
    v.positionFraction = 0;
    // No de-click ramp: it limits every step while the start is pending, and on the square and
    // high-pitched samples instrument songs are full of it would stay pending the whole note.
    v.noteStarted = false;
    v.rampFromSilence = true;  // the mixer fades the note in instead
    if (c.playing == nullptr) {
        v.position = -1;
        return;
    }
    v.position = offset < c.playing->length ? static_cast<int32_t>(offset) : -1;
    if ((c.vibratoWave & 4) == 0) c.vibratoPosition = 0;
    if ((c.tremoloWave & 4) == 0) c.tremoloPosition = 0;
}

// Counts a tick of Rxy: every y-th one changes the volume by x and restarts the sample, the volume
// column's volume or panning applying again.
void multiRetrigger(Engine& engine, uint32_t index) {
    XmChannel& c = engine.xm.channels[index];
    const uint8_t interval = low(c.multiRetrig);
    if (++c.retrigCounter < interval) return;
    c.retrigCounter = 0;
    c.volume = xm::retriggerVolume(c.volume, high(c.multiRetrig));
    if (c.volumeCommand == kVolumeSet) c.volume = std::min<int32_t>(c.volumeParam, 64);
    if (c.volumeCommand == kVolumeSetPanning) c.panning = low(c.volumeParam) * 16;
    trigger(engine, index, 0);
}

bool isTonePorta(const NoteCell& cell) {
    return cell.effect == kTonePorta || cell.effect == kTonePortaVolumeSlide ||
           cell.volumeCommand == kVolumeTonePorta;
}

bool keyOffOnRowTick(const NoteCell& cell) {
    return cell.effect == kKeyOff && cell.param == 0 && cell.volumeCommand != kVolumeTonePorta;
}

// The note, instrument and volume column of a cell, on the tick they take effect.
void playCell(Engine& engine, uint32_t index, const NoteCell& cell, bool delayed) {
    const Module& module = *engine.module;
    XmChannel& c = engine.xm.channels[index];
    // A tone portamento beside a note delay leaves the delayed note to start as a plain one, its
    // target and speed as they were; a plain note leaves the target alone too.
    const bool porta = isTonePorta(cell) && !delayed;
    // K00 stands for a key-off in the note column (the volume column's tone portamento cancels
    // it); a note delay without a note plays the channel's last note again.
    int32_t patternNote = cell.xmNote;
    if (keyOffOnRowTick(cell)) patternNote = kXmKeyOff;
    if (delayed && patternNote == 0) patternNote = c.lastNote;
    if (patternNote >= 1 && patternNote <= static_cast<int32_t>(kXmLastNote)) c.lastNote = patternNote;

    // An instrument number is remembered for the notes that follow (an invalid one as none); it
    // becomes the instrument playing only with a note that is not a tone portamento's target.
    if (cell.sample != 0) {
        c.nextInstrument =
            cell.sample <= module.instruments.size() ? &module.instruments[cell.sample - 1] : nullptr;
    }
    const bool newNote = patternNote >= 1 && patternNote <= static_cast<int32_t>(kXmLastNote) && !porta;
    if (newNote || (porta && c.instrument == nullptr)) c.instrument = c.nextInstrument;

    if (patternNote == kXmKeyOff) {
        keyOff(c, delayed);
    } else if (patternNote >= 1 && patternNote <= static_cast<int32_t>(kXmLastNote)) {
        const Sample* s = sampleFor(module, c.instrument, patternNote);
        if (s == nullptr) {
            if (!porta) {
                // A note the instrument has no sample for stops the channel.
                voiceOf(engine, index).position = -1;
                c.period = 0;
            }
        } else {
            const int32_t note = patternNote - 1 + s->relativeNote;
            if (note >= 0 && note <= kMaxNote) {
                if (porta) {
                    if (c.period != 0) {
                        c.targetPeriod = periodOf(module, note, c.finetune);
                        if (c.targetPeriod != c.period) c.portaUpward = c.targetPeriod < c.period;
                    }
                } else {
                    c.sample = s;
                    c.note = note;
                    c.finetune = s->finetune128;
                    if (cell.effect == kExtended && high(cell.param) == kSetFinetune) {
                        c.finetune = (low(cell.param) - 8) * 16;
                    }
                    c.period = periodOf(module, note, c.finetune);
                    uint32_t offset = 0;
                    if (cell.effect == kSampleOffset) {
                        if (cell.param != 0) c.offset = cell.param;
                        offset = uint32_t{c.offset} * 256;
                    }
                    trigger(engine, index, offset);
                    // A delayed note restarts the envelopes even without an instrument number.
                    if (delayed) resetEnvelopes(c);
                }
            }
        }
    }

    // An instrument number restarts the envelopes, fadeout and auto-vibrato, a note alone does not;
    // next to a key-off on the row tick it only recalls the sample's volume and panning, the
    // release going on (a delayed one restarts them all the same).
    if (cell.sample != 0) takeSampleDefaults(c);
    c.instrumentRestarted = false;
    if (cell.sample != 0 && c.instrument != nullptr) {
        if (patternNote != kXmKeyOff || delayed) {
            resetEnvelopes(c);
            c.instrumentRestarted = true;
        }
        c.tremorCounter = 0;
        c.tremorOff = true;
        c.tremorMuted = false;
    }

    // The volume column's row-tick commands; a note delayed with an instrument skips its fine slides.
    const uint8_t vp = cell.volumeParam;
    const bool slides = !(delayed && cell.sample != 0);
    switch (cell.volumeCommand) {
        case kVolumeSet:
            c.volume = std::min<int32_t>(vp, 64);
            c.tremorMuted = false;
            break;
        case kVolumeFineDown:
            if (slides) c.volume = std::max(0, c.volume - low(vp));
            break;
        case kVolumeFineUp:
            if (slides) c.volume = std::min(64, c.volume + low(vp));
            break;
        case kVolumeVibratoSpeed:
            if (vp != 0) c.vibratoSpeed = low(vp);
            break;
        case kVolumeVibratoDepth:
            if (vp != 0) c.vibratoDepth = low(vp);
            break;
        case kVolumeSetPanning:
            c.panning = low(vp) * 16;
            break;
        case kVolumeTonePorta:
            if (vp != 0 && !delayed) c.tonePortaSpeed = static_cast<uint8_t>(low(vp) * 16);
            break;
        default:
            break;
    }
}

// The row tick of the cell's effect (after its note).
void rowEffect(Engine& engine, uint32_t index, const NoteCell& cell) {
    const Module& module = *engine.module;
    XmChannel& c = engine.xm.channels[index];
    ChannelState& shared = engine.channels[index];
    const uint8_t p = cell.param;
    switch (cell.effect) {
        case kArpeggio:
            break;
        case kPortaUp:
            if (p != 0) c.portaUp = p;
            break;
        case kPortaDown:
            if (p != 0) c.portaDown = p;
            break;
        case kTonePorta:
            if (p != 0) c.tonePortaSpeed = p;
            break;
        case kVibrato:
            if (high(p) != 0) c.vibratoSpeed = high(p);
            if (low(p) != 0) c.vibratoDepth = low(p);
            break;
        case kTonePortaVolumeSlide:
        case kVibratoVolumeSlide:
        case kVolumeSlide:
            if (p != 0) c.volumeSlide = p;
            break;
        case kTremolo:
            if (high(p) != 0) c.tremoloSpeed = high(p);
            if (low(p) != 0) c.tremoloDepth = low(p);
            break;
        case kSetPanning:
            c.panning = p;
            break;
        case kSetVolume:
            c.volume = std::min<int32_t>(p, 64);
            c.tremorMuted = false;
            break;
        case kPositionJump: {
            // The shared handler decides whether the jump is taken (with loops off, not backwards);
            // a jump starts its pattern at row 0 unless a break on a later channel names another.
            PlayerState& state = engine.state;
            const bool before = state.jumpPending;
            shared.effect = cell.effect;
            shared.param = p;
            runEffect(engine, shared, true);
            if (state.jumpPending && !before) {
                engine.xm.leavePattern = true;
                engine.xm.breakRow = 0;
            }
            break;
        }
        case kPatternBreak:
            engine.xm.leavePattern = true;
            engine.xm.breakRow = high(p) * 10u + low(p);
            break;
        case kSetSpeed:
            // The shared handler, under the XM rules: speed 0 ignored, above 31 the tempo.
            shared.effect = cell.effect;
            shared.param = p;
            runEffect(engine, shared, true);
            break;
        case kSetGlobalVolume:
            engine.xm.globalVolume = std::min<int32_t>(p, 64);
            break;
        case kGlobalVolumeSlide:
            if (p != 0) c.globalVolumeSlide = p;
            break;
        case kKeyOff:
            break;  // K00 was read as a key-off note; later ticks below
        case kSetEnvelopePosition:
            c.volumeTick = p;
            // The panning envelope follows only when the volume envelope has a sustain point.
            if (c.instrument != nullptr && c.instrument->volume.sustainOn) c.panningTick = p;
            break;
        case kPanningSlide:
            if (p != 0) c.panningSlide = p;
            break;
        case kMultiRetrigger:
            // Each nibble keeps its own memory. An instrument number that restarts the instrument
            // restarts the count, and the row tick counts unless the volume column sets a volume
            // above 0.
            if (high(p) != 0) c.multiRetrig = static_cast<uint8_t>((p & 0xF0) | low(c.multiRetrig));
            if (low(p) != 0) c.multiRetrig = static_cast<uint8_t>((c.multiRetrig & 0xF0) | low(p));
            if (c.instrumentRestarted) c.retrigCounter = 0;
            if (cell.volumeCommand != kVolumeSet || cell.volumeParam == 0) multiRetrigger(engine, index);
            break;
        case kTremor:
            if (p != 0) c.tremor = p;
            break;
        case kExtraFinePortamentoUp:
            if (p != 0) c.extraFineUp = p;
            c.period = clampPeriod(module, c.period - c.extraFineUp);
            break;
        case kExtraFinePortamentoDown:
            if (p != 0) c.extraFineDown = p;
            c.period = clampPeriod(module, c.period + c.extraFineDown);
            break;
        case kExtended: {
            const uint8_t y = low(p);
            switch (high(p)) {
                case kFinePortaUp:
                    if (y != 0) c.finePortaUp = y;
                    if (c.period != 0) c.period = clampPeriod(module, c.period - c.finePortaUp * 4);
                    break;
                case kFinePortaDown:
                    if (y != 0) c.finePortaDown = y;
                    if (c.period != 0) c.period = clampPeriod(module, c.period + c.finePortaDown * 4);
                    break;
                case kGlissandoControl:
                    c.glissando = y != 0;
                    break;
                case kRetriggerEvery:
                    // E90 restarts the sample on the row tick; E9x every x ticks after it.
                    if (y == 0 && cell.xmNote == 0) trigger(engine, index, 0);
                    break;
                case kVibratoWaveform:
                    c.vibratoWave = y;
                    break;
                case kTremoloWaveform:
                    c.tremoloWave = y;
                    break;
                case kPatternLoop:
                    // x loops back to the row E60 marked on this channel, in whatever pattern.
                    if (y == 0) {
                        c.loopRow = static_cast<uint8_t>(engine.state.row.load(kRelaxed));
                    } else if (c.loopCounter == 0 || --c.loopCounter != 0) {
                        if (c.loopCounter == 0) c.loopCounter = y;
                        engine.xm.loopBack = true;
                        engine.xm.breakRow = c.loopRow;
                    }
                    break;
                case kPatternDelay:
                    shared.effect = kExtended;
                    shared.param = p;
                    runEffect(engine, shared, true);
                    break;
                case kFineVolumeUp:
                    if (y != 0) c.fineVolumeUp = y;
                    c.volume = std::min(64, c.volume + c.fineVolumeUp);
                    break;
                case kFineVolumeDown:
                    if (y != 0) c.fineVolumeDown = y;
                    c.volume = std::max(0, c.volume - c.fineVolumeDown);
                    break;
                case kNoteCut:
                    if (y == 0) c.volume = 0;
                    break;
                default:
                    break;
            }
            break;
        }
        default:
            break;
    }
}

// The effects of ticks after the row tick.
void tickEffect(Engine& engine, uint32_t index) {
    const Module& module = *engine.module;
    XmState& xm = engine.xm;
    XmChannel& c = xm.channels[index];
    const uint32_t tick = xm.tick;
    const uint8_t p = c.param;

    switch (c.volumeCommand) {
        case kVolumeSlideDown:
            c.volume = std::max(0, c.volume - low(c.volumeParam));
            break;
        case kVolumeSlideUp:
            c.volume = std::min(64, c.volume + low(c.volumeParam));
            break;
        case kVolumeVibratoDepth:
            vibrato(c);
            break;
        case kVolumePanSlideLeft:
            c.panning = std::max(0, c.panning - low(c.volumeParam));
            break;
        case kVolumePanSlideRight:
            c.panning = std::min(255, c.panning + low(c.volumeParam));
            break;
        case kVolumeTonePorta:
            tonePorta(module, c);
            break;
        default:
            break;
    }

    switch (c.effect) {
        case kArpeggio:
            if (p != 0 && c.period != 0) {
                const uint32_t step = tick % 3;
                const int32_t add = step == 1 ? high(p) : step == 2 ? low(p) : 0;
                // Arpeggio notes stop at B-7, at its plain tuning.
                const int32_t note = c.note + add;
                c.periodDelta =
                    (note >= 95 ? periodOf(module, 95, 0) : periodOf(module, note, c.finetune)) - c.period;
            }
            break;
        case kPortaUp:
            if (c.period != 0) c.period = clampPeriod(module, c.period - c.portaUp * 4);
            break;
        case kPortaDown:
            if (c.period != 0) c.period = clampPeriod(module, c.period + c.portaDown * 4);
            break;
        case kTonePorta:
            tonePorta(module, c);
            break;
        case kVibrato:
            vibrato(c);
            break;
        case kTonePortaVolumeSlide:
            tonePorta(module, c);
            volumeSlideBy(c, c.volumeSlide);
            break;
        case kVibratoVolumeSlide:
            vibrato(c);
            volumeSlideBy(c, c.volumeSlide);
            break;
        case kTremolo:
            c.volumeDelta = tremoloDelta(c);
            c.tremoloPosition = static_cast<uint8_t>((c.tremoloPosition + c.tremoloSpeed) & 63);
            break;
        case kVolumeSlide:
            volumeSlideBy(c, c.volumeSlide);
            break;
        case kGlobalVolumeSlide:
            if (high(c.globalVolumeSlide) != 0) {
                xm.globalVolume = std::min(64, xm.globalVolume + high(c.globalVolumeSlide));
            } else {
                xm.globalVolume = std::max(0, xm.globalVolume - low(c.globalVolumeSlide));
            }
            break;
        case kKeyOff:
            if (p == tick) keyOff(c);
            break;
        case kPanningSlide:
            if (high(c.panningSlide) != 0) {
                c.panning = std::min(255, c.panning + high(c.panningSlide));
            } else {
                c.panning = std::max(0, c.panning - low(c.panningSlide));
            }
            break;
        case kMultiRetrigger:
            multiRetrigger(engine, index);
            break;
        case kTremor: {
            // Counts down the phase; at zero the other phase starts, its length read afresh.
            if (c.tremorCounter == 0) {
                c.tremorOff = !c.tremorOff;
                c.tremorCounter = static_cast<uint8_t>((c.tremorOff ? low(c.tremor) : high(c.tremor)) + 1);
            }
            --c.tremorCounter;
            c.tremorMuted = c.tremorOff;
            break;
        }
        case kExtended: {
            const uint8_t y = low(p);
            switch (high(p)) {
                case kRetriggerEvery:
                    if (y != 0 && tick % y == 0) trigger(engine, index, 0);
                    break;
                case kNoteCut:
                    if (tick == y) c.volume = 0;
                    break;
                case kNoteDelay:
                    if (tick == y && c.delayPending) {
                        c.delayPending = false;
                        playCell(engine, index, c.delayed, true);
                    }
                    break;
                default:
                    break;
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

void startInstrumentSong(Engine& engine) {
    const Module& module = *engine.module;
    if (module.rules.impulseChannels) {
        startImpulseSong(engine);
        return;
    }
    XmState& xm = engine.xm;
    xm.channels.assign(module.channelCount, XmChannel{});
    xm.tick = 0;
    xm.globalVolume = 64;
    // A ping-pong loop plays forward and back again: the same frames as a forward loop over the
    // loop followed by its mirror image.
    size_t pingPongs = 0;
    for (const Sample& s : module.samples) pingPongs += loopType(s) == LoopType::pingPong ? 1 : 0;
    xm.unrolled.clear();
    xm.unrolled.reserve(pingPongs);
    xm.playableOfSample.resize(module.samples.size());
    for (size_t i = 0; i < module.samples.size(); ++i) {
        const Sample& s = module.samples[i];
        xm.playableOfSample[i] = &s;
        const uint32_t end = std::min<uint32_t>(s.loopEnd, static_cast<uint32_t>(s.data.size()));
        if (loopType(s) != LoopType::pingPong || end < s.loopStart + 2) continue;
        Sample forward = s;
        forward.pingPong = false;
        forward.data.assign(s.data.begin(), s.data.begin() + end);
        // Back again from the last frame to the first, each end played twice, as FastTracker 2 did.
        for (uint32_t f = end; f-- > s.loopStart;) forward.data.push_back(s.data[f]);
        forward.length = static_cast<uint32_t>(forward.data.size());
        forward.loopEnd = forward.length;
        xm.unrolled.push_back(std::move(forward));
        xm.playableOfSample[i] = &xm.unrolled.back();
    }
    for (uint32_t i = 0; i < module.channelCount; ++i) {
        engine.channels[i].rampGains = true;
        XmChannel& c = xm.channels[i];
        const int32_t pan =
            i < module.panLeft.size() && i < module.panRight.size()
                ? module.panRight[i] * 255 / std::max(module.panLeft[i] + module.panRight[i], 1)
                : 128;
        c.panning = std::clamp(pan, 0, 255);
    }
}

void instrumentRowTick(Engine& engine, uint32_t row) {
    if (engine.module->rules.impulseChannels) {
        impulseRowTick(engine, row);
        return;
    }
    XmState& xm = engine.xm;
    PlayerState& state = engine.state;
    xm.tick = 0;
    xm.loopBack = false;
    xm.leavePattern = false;
    xm.breakRow = 0;
    for (uint32_t i = 0; i < xm.channels.size(); ++i) {
        XmChannel& c = xm.channels[i];
        c.periodDelta = 0;
        c.instrumentRestarted = false;
        const int32_t volumeBefore = c.volume;
        const NoteCell* cell = cursorCell(engine);
        if (cell != nullptr && (cell->row != row || cell->channel != i)) cell = nullptr;
        const NoteCell empty;
        const NoteCell& now = cell != nullptr ? *cell : empty;
        if (cell != nullptr) {
            state.cursor = state.cursor + 1 < state.playingCells->size() ? state.cursor + 1 : kNoCellIndex;
        }
        c.effect = now.effect;
        c.param = now.param;
        c.volumeCommand = now.volumeCommand;
        c.volumeParam = now.volumeParam;
        const bool delayed = now.effect == kExtended && high(now.param) == kNoteDelay && low(now.param) != 0;
        if (delayed) {
            c.delayed = now;
            c.delayPending = true;
        } else {
            c.delayPending = false;
            playCell(engine, i, now, false);
        }
        rowEffect(engine, i, now);
        // The row tick keeps the tremolo's last output unless the volume was set; a tremolo on the
        // row applies at its position without moving on.
        if (c.volume != volumeBefore || now.sample != 0) c.volumeDelta = 0;
        if (now.effect == kTremolo) c.volumeDelta = tremoloDelta(c);
    }
    // A break or jump leaves the pattern at the row the last flow command named; a loop back
    // without one stays in it, and its row is also where the next pattern will start.
    if (xm.leavePattern) {
        state.breakPending = true;
        state.breakRow = xm.breakRow;
        state.rowAfterPattern = 0;
    } else if (xm.loopBack) {
        state.jumpPending = true;
        state.jumpOrder = state.nextOrder.load(kRelaxed) - 1;
        state.repeatJump = false;
        state.breakPending = true;
        state.breakRow = xm.breakRow;
        state.rowAfterPattern = xm.breakRow;
    }
}

void instrumentRepeatTick(Engine& engine) {
    if (engine.module->rules.impulseChannels) {
        impulseRepeatTick(engine);
        return;
    }
    XmState& xm = engine.xm;
    xm.tick = 0;
    for (uint32_t i = 0; i < xm.channels.size(); ++i) {
        XmChannel& c = xm.channels[i];
        c.periodDelta = 0;
        c.volumeDelta = 0;
        if (c.effect == kExtended && high(c.param) == kNoteDelay && low(c.param) != 0) c.delayPending = true;
        tickEffect(engine, i);
    }
}

void instrumentEffectTick(Engine& engine) {
    if (engine.module->rules.impulseChannels) {
        impulseEffectTick(engine);
        return;
    }
    XmState& xm = engine.xm;
    ++xm.tick;
    for (uint32_t i = 0; i < xm.channels.size(); ++i) {
        XmChannel& c = xm.channels[i];
        c.periodDelta = 0;
        c.volumeDelta = 0;
        tickEffect(engine, i);
    }
}

void updateInstrumentVoices(Engine& engine) {
    if (engine.module->rules.impulseChannels) {
        updateImpulseVoices(engine);
        return;
    }
    const Module& module = *engine.module;
    XmState& xm = engine.xm;
    const uint32_t rate = engine.state.rate;
    for (uint32_t i = 0; i < xm.channels.size(); ++i) {
        XmChannel& c = xm.channels[i];
        ChannelState& v = engine.channels[i];
        const Instrument* instrument = c.instrument;
        int32_t envelopeVolume = 64;
        int32_t panning = c.panning;
        int32_t autoVibrato = 0;
        if (instrument != nullptr) {
            if (instrument->volume.on) {
                envelopeVolume = std::clamp(envelopeValue(instrument->volume, c.volumeTick), 0, 64);
                advanceEnvelope(instrument->volume, c.volumeTick, c.keyOn);
            }
            if (c.fading) c.fadeout = c.fadeout > instrument->fadeout ? c.fadeout - instrument->fadeout : 0;
            if (instrument->panning.on) {
                const int32_t e = std::clamp(envelopeValue(instrument->panning, c.panningTick), 0, 64);
                panning = c.panning + (e - 32) * (128 - std::abs(c.panning - 128)) / 32;
                // A panning sustain point reached while the key was down holds for good.
                const Envelope& pe = instrument->panning;
                if (c.keyOn && pe.sustainOn && pe.sustain < pe.count &&
                    c.panningTick == pe.points[pe.sustain].tick)
                    c.panningHeld = true;
                advanceEnvelope(pe, c.panningTick, c.keyOn || c.panningHeld);
            }
            if (instrument->vibratoDepth != 0 && instrument->vibratoRate != 0) {
                const uint32_t full = uint32_t{instrument->vibratoDepth} << 8;
                if (instrument->vibratoSweep == 0) {
                    c.autoVibratoAmplitude = full;
                } else if (c.keyOn && c.autoVibratoAmplitude < full) {
                    c.autoVibratoAmplitude =
                        std::min(full, c.autoVibratoAmplitude + full / instrument->vibratoSweep);
                }
                const uint8_t pos = static_cast<uint8_t>(c.autoVibratoPosition);
                int32_t wave = xm::kAutoVibratoSine[pos];
                switch (instrument->vibratoType & 3) {
                    case 1:
                        wave = pos < 128 ? 64 : -64;
                        break;
                    case 2:
                        wave = 64 - static_cast<int32_t>(pos) / 2;
                        break;
                    case 3:
                        wave = static_cast<int32_t>(pos) / 2 - 64;
                        break;
                    default:
                        break;
                }
                autoVibrato = wave * static_cast<int32_t>(c.autoVibratoAmplitude) / 4096;
                c.autoVibratoPosition = (c.autoVibratoPosition + instrument->vibratoRate) & 255;
            }
        }
        // A tremor's off phase holds until a volume is set, even after the tremor has ended.
        const int32_t volume = c.tremorMuted ? 0 : std::clamp(c.volume + c.volumeDelta, 0, 64);
        // Volume x envelope x fadeout x global volume, as 0..64 << kGainBits.
        const uint64_t product = uint64_t(volume) * uint64_t(envelopeVolume) * uint64_t(c.fadeout >> 3) *
                                 uint64_t(std::clamp(xm.globalVolume, 0, 64));
        const uint64_t gain = product >> (6 + 12 + 6 - kGainBits);
        const int32_t pan = std::clamp(panning, 0, 255);
        v.leftVolume = static_cast<int32_t>(gain * xm::kPanGain[static_cast<size_t>(256 - pan)] >> 16);
        v.rightVolume = static_cast<int32_t>(gain * xm::kPanGain[static_cast<size_t>(pan)] >> 16);
        const int32_t period =
            c.period == 0 ? 0 : clampPeriod(module, c.period + c.periodDelta + autoVibrato);
        v.period = period;
        v.step = stepOf(module, period, rate);
    }
}

}  // namespace tarvex
