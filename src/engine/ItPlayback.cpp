#include "engine/ItPlayback.h"

#include <algorithm>
#include <cstdlib>

#include "core/EffectCodes.h"
#include "engine/Channel.h"
#include "engine/Effects.h"
#include "engine/Engine.h"
#include "engine/XmTables.h"

namespace tarvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint32_t kGainBits = 8;  // voice gains run 0..64 << kGainBits
constexpr uint32_t kMinTempo = 32;
constexpr int32_t kLastNote = 119;
constexpr uint32_t kMaxFrequency = 1u << 24;
// 8363 x 1712: frequency times period of Impulse Tracker's Amiga slides.
constexpr uint64_t kAmigaProduct = 8363ull * 1712ull;

uint8_t high(uint8_t v) {
    return v >> 4;
}
uint8_t low(uint8_t v) {
    return v & 15;
}

uint8_t letter(const NoteCell& cell) {
    return cell.effect >= kItEffectA && cell.effect < kItEffectEnd
               ? static_cast<uint8_t>(cell.effect - kItEffectA + 'A')
               : 0;
}

// frequency x 2^(r / 768), in integers: the linear slides', vibratos' and envelopes' pitch.
uint32_t shiftPitch(uint32_t frequency, int32_t r) {
    if (frequency == 0 || r == 0) return frequency;
    int32_t octaves = r >= 0 ? r / 768 : -((-r + 767) / 768);
    const int32_t rest = r - octaves * 768;
    uint64_t f = uint64_t{frequency} * xm::kLinearFrequency1024[static_cast<size_t>(rest)] / (8363u * 1024u);
    if (octaves > 0) {
        f = octaves >= 24 ? kMaxFrequency : f << octaves;
    } else if (octaves < 0) {
        f = octaves <= -32 ? 0 : f >> -octaves;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(f, kMaxFrequency));
}

// 2^(r / 768) as a double, the same on every machine: the filter's curves.
double pitchFactor(int32_t r) {
    int32_t octaves = r >= 0 ? r / 768 : -((-r + 767) / 768);
    const int32_t rest = r - octaves * 768;
    double f = xm::kLinearFrequency1024[static_cast<size_t>(rest)] / (8363.0 * 1024.0);
    for (; octaves > 0; --octaves) f *= 2;
    for (; octaves < 0; ++octaves) f /= 2;
    return f;
}

// The frequency of a note (0..119) of a sample: its C-5 rate at C-5 (60).
uint32_t noteFrequency(const Sample& sample, int32_t note) {
    return shiftPitch(sample.baseFrequency, (note - 60) * 64);
}

// Impulse Tracker's waveforms at position 0..255: sine, ramp down, square, random.
int32_t waveValue(uint8_t wave, uint8_t position, uint32_t& random) {
    switch (wave & 3) {
        case 1:
            return 64 - (position + 1) / 2;  // 64 .. -64
        case 2:
            return position < 128 ? 64 : 0;
        case 3:
            random = random * 1103515245u + 12345u;
            return static_cast<int32_t>((random >> 16) & 127) - 64;
        default:
            break;
    }
    // A quarter of a sine from the auto-vibrato's table, scaled to 64.
    return xm::kAutoVibratoSine[position];
}

// The envelope's value at tick in 1/256 of its steps, interpolated between its points.
int32_t envelopeValue(const Envelope& envelope, uint32_t tick) {
    const uint32_t count = std::min<uint32_t>(envelope.count, kEnvelopePoints);
    if (count == 0) return 32 * 256;
    if (tick <= envelope.points[0].tick || count == 1) return envelope.points[0].value * 256;
    for (uint32_t i = 1; i < count; ++i) {
        const EnvelopePoint& b = envelope.points[i];
        if (tick < b.tick) {
            const EnvelopePoint& a = envelope.points[i - 1];
            const int32_t span = b.tick - a.tick;
            if (span <= 0) return b.value * 256;
            return a.value * 256 + (static_cast<int32_t>(b.value) - a.value) * 256 *
                                       static_cast<int32_t>(tick - a.tick) / span;
        }
    }
    return envelope.points[count - 1].value * 256;
}

// One tick on: the sustain loop while the key is down and it has not been left, else the loop;
// past the last point the envelope stays there. Returns true once it has run off its end.
bool advanceEnvelope(const Envelope& envelope, uint32_t& tick, bool keyOn) {
    const uint32_t count = std::min<uint32_t>(envelope.count, kEnvelopePoints);
    if (count == 0) return true;
    ++tick;
    const auto pointTick = [&](uint32_t i) { return envelope.points[std::min(i, count - 1)].tick; };
    if (keyOn && envelope.sustainOn) {
        // A key that goes down again after the sustain loop was left does not bring it back.
        const uint32_t end = pointTick(envelope.sustainEnd);
        if (tick == end + 1) tick = pointTick(envelope.sustain);
        if (tick <= end) return false;
    }
    if (envelope.loopOn) {
        if (tick > pointTick(envelope.loopEnd)) tick = pointTick(envelope.loopStart);
        return false;
    }
    if (tick > pointTick(count - 1)) {
        tick = pointTick(count - 1);
        return true;
    }
    return false;
}

// Moves a note's envelope on by a tick unless it is paused; the first tick reads the first point.
// Returns true once it has run off its end.
bool stepEnvelope(const Envelope& envelope, EnvelopeCursor& cursor, bool keyOn) {
    if (!cursor.started) {
        cursor.started = true;
        return false;
    }
    return !cursor.paused && advanceEnvelope(envelope, cursor.tick, keyOn);
}

int32_t random(ItState& it, int32_t span) {
    it.random = it.random * 1103515245u + 12345u;
    if (span <= 0) return 0;
    return static_cast<int32_t>((it.random >> 16) % static_cast<uint32_t>(2 * span + 1)) - span;
}

const Sample* sampleAt(const Module& module, uint32_t number) {
    if (number == 0 || number > module.samples.size()) return nullptr;
    const Sample& s = module.samples[number - 1];
    return s.baseFrequency == 0 || s.length == 0 ? nullptr : &s;
}

uint32_t indexOf(const Module& module, const Sample* s) {
    return s == nullptr ? 0 : static_cast<uint32_t>(s - module.samples.data()) + 1;
}

// Makes one sample of another whose loop runs from start to end, ping-pong loops unrolled forward.
Sample loopedCopy(const Sample& s, uint32_t start, uint32_t end, bool pingPong) {
    Sample copy;
    copy.name = s.name;
    copy.baseFrequency = s.baseFrequency;
    copy.volume = s.volume;
    copy.sixteenBit = s.sixteenBit;
    end = std::min<uint32_t>(end, static_cast<uint32_t>(s.data.size()));
    copy.data.assign(s.data.begin(), s.data.begin() + end);
    if (pingPong && end >= start + 2) {
        // Back again without playing either end twice.
        for (uint32_t f = end - 1; f-- > start + 1;) copy.data.push_back(s.data[f]);
    }
    copy.length = static_cast<uint32_t>(copy.data.size());
    copy.loopStart = start;
    copy.loopEnd = copy.length;
    return copy;
}

// The frame of the loaded sample a voice playing its unrolled copy stands at.
int32_t foldedPosition(int32_t position, uint32_t end) {
    if (position < 0 || static_cast<uint32_t>(position) < end) return position;
    const uint32_t back = static_cast<uint32_t>(position) - end;
    return end >= back + 2 ? static_cast<int32_t>(end - 2 - back) : 0;
}

// ---- Voices ----

void stopVoice(Voice& v) {
    v.position = -1;
    v.period = 0;
}

// The note starts its sample from offset frames, on a fresh voice state.
void startVoice(ItState& it, Voice& v, ItNote& note, uint32_t offset) {
    const uint32_t index = note.sampleIndex;
    const Sample* playing = nullptr;
    if (index != 0 && index <= it.playableOf.size()) {
        playing = note.keyOn && it.sustainedOf[index - 1] != nullptr ? it.sustainedOf[index - 1]
                                                                     : it.playableOf[index - 1];
    }
    v.sample = playing;
    v.positionFraction = 0;
    v.noteStarted = false;
    v.rampFromSilence = true;
    v.filterY1 = v.filterY2 = 0;
    if (playing == nullptr) {
        stopVoice(v);
        return;
    }
    v.position = offset < playing->length ? static_cast<int32_t>(offset) : -1;
}

// The key goes up: sustain loops end, the sample goes on into its own loop.
void releaseKey(ItState& it, Voice& v, ItNote& note) {
    if (!note.keyOn) return;
    note.keyOn = false;
    const uint32_t index = note.sampleIndex;
    if (note.sample != nullptr && index != 0 && index <= it.sustainedOf.size() &&
        it.sustainedOf[index - 1] != nullptr && v.sample == it.sustainedOf[index - 1]) {
        const Sample& s = *note.sample;
        const int32_t position = foldedPosition(v.position, s.sustainEnd);
        v.sample = it.playableOf[index - 1];
        v.position = position;
        if (v.sample == nullptr || position < 0 || static_cast<uint32_t>(position) >= v.sample->length)
            v.position = -1;
    }
    // Without a volume envelope, or with one that loops, the note fades once released.
    const Instrument* instrument = note.instrument;
    if (instrument != nullptr && (!note.volumeEnvelope.on || instrument->volume.loopOn)) note.fading = true;
}

void noteOff(ItState& it, Voice& v, ItNote& note) {
    releaseKey(it, v, note);
}

void noteFade(ItNote& note) {
    note.fading = true;
}

// The filter of a note at its cutoff and resonance, shifted by the filter envelope (0..64, 64 as
// set). Cutoff 127 without resonance leaves the sound alone.
void setFilter(Voice& v, const ItNote& note, int32_t envelope, uint32_t rate) {
    const int32_t cutoff = std::clamp(note.cutoff, 0, 127);
    const int32_t resonance = std::clamp(note.resonance, 0, 127);
    if (cutoff == 127 && resonance == 0 && envelope >= 64 * 256) {
        v.filterOn = false;
        return;
    }
    // 110 Hz x 2^(0.25 + c / 24) with c the cutoff scaled by the envelope: in 1/768 octave.
    const int32_t c = cutoff * (envelope / 32);  // / 512 of a cutoff step: the envelope scales it
    const int32_t r = 192 + c * 32 / 512;
    double frequency = 110.0 * pitchFactor(r);
    const double nyquist = rate / 2.0;
    if (frequency > nyquist) frequency = nyquist;
    // Damping: 10^(-resonance x 24 / (128 x 20)), in 1/768 octave: resonance x 23.92.
    const double damping = pitchFactor(-(resonance * 2392 + 50) / 100);
    constexpr double kTwoPi = 6.283185307179586;
    const double radius = rate / (kTwoPi * frequency);
    const double d = damping * radius + damping - 1;
    const double e = radius * radius;
    v.filterA0 = 1 / (1 + d + e);
    v.filterB0 = (d + e + e) / (1 + d + e);
    v.filterB1 = -e / (1 + d + e);
    v.filterOn = true;
}

// Turns one note into its voice's step, gains and filter; returns false once it is over.
bool updateNote(Engine& engine, Voice& v, ItNote& note, int32_t volumeDelta, int32_t panningDelta,
                int32_t pitchDelta, uint32_t frequency) {
    ItState& it = engine.it;
    const Module& module = *engine.module;
    if (!note.active || v.position == -1 || note.sample == nullptr) {
        note.active = false;
        note.gain = 0;
        stopVoice(v);
        return false;
    }
    const Instrument* instrument = note.instrument;
    int32_t envelopeVolume = 64 * 256;
    int32_t panning = std::clamp(note.panning + note.panningOffset, 0, 64);
    int32_t pitchShift = 0;
    int32_t filterEnvelope = 64 * 256;
    if (instrument != nullptr) {
        // Each envelope moves on before it is read, as Impulse Tracker did: a paused one reads
        // the point it stopped at.
        if (note.volumeEnvelope.on) {
            if (stepEnvelope(instrument->volume, note.volumeEnvelope, note.keyOn)) {
                note.volumeEnvelopeEnded = true;
                note.fading = true;
            }
            envelopeVolume =
                std::clamp(envelopeValue(instrument->volume, note.volumeEnvelope.tick), 0, 64 * 256);
        }
        if (note.panningEnvelope.on) {
            stepEnvelope(instrument->panning, note.panningEnvelope, note.keyOn);
            const int32_t e =
                std::clamp(envelopeValue(instrument->panning, note.panningEnvelope.tick), 0, 64 * 256) -
                32 * 256;
            panning = panning + e * (32 - std::abs(panning - 32)) / (32 * 256);
        }
        if (note.pitchEnvelope.on) {
            stepEnvelope(instrument->pitch, note.pitchEnvelope, note.keyOn);
            const int32_t e =
                std::clamp(envelopeValue(instrument->pitch, note.pitchEnvelope.tick), 0, 64 * 256);
            if (instrument->filterEnvelope) {
                filterEnvelope = e;
            } else {
                pitchShift = (e - 32 * 256) / 8;  // half a semitone a step
            }
        }
        if (note.fading) {
            note.fade = std::max(0, note.fade - static_cast<int32_t>(instrument->fadeout));
        }
    }
    // Auto-vibrato of the sample, always in linear steps.
    const Sample& s = *note.sample;
    if (s.vibratoDepth != 0) {
        const uint32_t full = uint32_t{s.vibratoDepth} << 8;
        note.autoVibratoDepth = std::min(full, note.autoVibratoDepth + uint32_t{s.vibratoRate});
        const int32_t wave =
            waveValue(s.vibratoType, static_cast<uint8_t>(note.autoVibratoPosition), it.random);
        pitchShift += wave * static_cast<int32_t>(note.autoVibratoDepth >> 8) / 16;
        note.autoVibratoPosition = (note.autoVibratoPosition + s.vibratoSpeed) & 255;
    }
    const int32_t volume = std::clamp(note.volume + volumeDelta, 0, 64) * note.volumeScale / 100;
    // Vol x sample volume x instrument volume x channel volume x global volume x envelope x fade.
    uint64_t product = uint64_t(volume) * s.globalVolume * uint64_t(note.channelVolume) *
                       uint64_t(std::clamp(it.globalVolume, 0, 128));               // 2^6+6+6+7
    product = product * uint64_t(envelopeVolume) * uint64_t(note.fade);             // + 6 + 10
    product = product * (instrument != nullptr ? instrument->globalVolume : 128u);  // + 7
    // The song's mix volume scales the whole mix, as Impulse Tracker's software mixer did.
    const uint64_t gain = (product >> (6 + 6 + 6 + 7 + 14 + 10 + 7 - 6 - kGainBits)) *
                              std::min<uint32_t>(module.mixVolume, 128) >>
                          7;
    note.gain = static_cast<int32_t>(gain);
    if (note.fade == 0 || (note.volumeEnvelopeEnded && envelopeVolume == 0)) {
        note.active = false;
        note.gain = 0;
        stopVoice(v);
        return false;
    }
    int32_t pan = note.surround || !module.stereo ? 32 : std::clamp(panning + panningDelta, 0, 64);
    pan = 32 + (pan - 32) * static_cast<int32_t>(module.panSeparation) / 128;
    v.leftVolume = static_cast<int32_t>(gain * static_cast<uint64_t>(64 - pan) / 32);
    v.rightVolume = static_cast<int32_t>(gain * static_cast<uint64_t>(pan) / 32);
    // Surround plays the centre with the right side's phase turned over, as Impulse Tracker's
    // mixer did.
    if (note.surround && module.stereo) v.rightVolume = -v.rightVolume;
    if (frequency == 0) frequency = note.frequency;
    uint32_t f;
    if (module.linearFrequency) {
        f = shiftPitch(frequency, pitchDelta + pitchShift);
    } else {
        f = frequency;
        if (pitchDelta != 0) {
            const int64_t period =
                static_cast<int64_t>(kAmigaProduct / std::max<uint32_t>(f, 1)) + pitchDelta;
            f = period <= 0
                    ? kMaxFrequency
                    : static_cast<uint32_t>(std::min<uint64_t>(kAmigaProduct / period, kMaxFrequency));
        }
        f = shiftPitch(f, pitchShift);
    }
    const uint32_t rate = std::max<uint32_t>(engine.state.rate, 1);
    v.step = static_cast<uint32_t>((uint64_t{f} << 10) / rate);
    v.period = f == 0 ? 0 : static_cast<int32_t>(std::max<uint64_t>(kAmigaProduct * 16 / f, 1));
    if (instrument != nullptr && (instrument->filterEnvelope && note.pitchEnvelope.on)) {
        setFilter(v, note, filterEnvelope, rate);
    } else {
        setFilter(v, note, 64 * 256, rate);
    }
    return true;
}

// ---- The background ----

// A voice for a note leaving the foreground: a free one, else the quietest background note (the
// oldest of equally quiet ones) gives way.
ItBackground& backgroundVoice(ItState& it) {
    ItBackground* best = &it.pool[0];
    for (ItBackground& b : it.pool) {
        if (!b.note.active) return b;
        if (b.note.gain < best->note.gain || (b.note.gain == best->note.gain && b.age < best->age)) best = &b;
    }
    return *best;
}

// Moves the channel's note into the background, where it sounds on by itself.
void toBackground(Engine& engine, uint32_t index, uint8_t action) {
    ItState& it = engine.it;
    ItChannel& c = it.channels[index];
    ChannelState& fore = engine.channels[index];
    if (!c.note.active || fore.position == -1) return;
    if (action == kNnaCut) return;
    ItBackground& b = backgroundVoice(it);
    static_cast<Voice&>(b.voice) = static_cast<const Voice&>(fore);
    b.voice.channel = index;
    b.note = c.note;
    b.note.frequency = c.frequency;
    b.age = ++it.clock;
    if (action == kNnaNoteOff) noteOff(it, b.voice, b.note);
    if (action == kNnaNoteFade) noteFade(b.note);
}

// What a duplicate check does to the notes of the channel in the background like the new one.
void checkDuplicates(Engine& engine, uint32_t index, const Instrument* instrument, int32_t patternNote,
                     uint32_t sampleIndex) {
    if (instrument == nullptr || instrument->duplicateCheck == kDctOff) return;
    ItState& it = engine.it;
    for (ItBackground& b : it.pool) {
        if (!b.note.active || b.voice.channel != index || b.note.instrument != instrument) continue;
        bool same = false;
        switch (instrument->duplicateCheck) {
            case kDctNote:
                same = b.note.patternNote == patternNote;
                break;
            case kDctSample:
                same = b.note.sampleIndex == sampleIndex;
                break;
            default:
                same = true;
                break;
        }
        if (!same) continue;
        switch (instrument->duplicateAction) {
            case kDcaNoteOff:
                noteOff(it, b.voice, b.note);
                break;
            case kDcaNoteFade:
                noteFade(b.note);
                break;
            default:
                b.note.active = false;
                stopVoice(b.voice);
                break;
        }
    }
}

// S70..S72: what happens to the channel's notes in the background.
void pastNotes(Engine& engine, uint32_t index, uint8_t what) {
    ItState& it = engine.it;
    for (ItBackground& b : it.pool) {
        if (!b.note.active || b.voice.channel != index) continue;
        if (what == 0) {
            b.note.active = false;
            stopVoice(b.voice);
        } else if (what == 1) {
            noteOff(it, b.voice, b.note);
        } else {
            noteFade(b.note);
        }
    }
}

// ---- Channels ----

void setTempo(Engine& engine, uint32_t tempo) {
    tempo = std::clamp<uint32_t>(tempo, kMinTempo, 255);
    engine.state.tempo.store(tempo, kRelaxed);
    engine.state.samplesPerTick = samplesPerTickFor(engine.state.rate, tempo);
}

// Pitch slides: linear in 1/768 octave (amount x 4 for coarse ones), else Amiga periods.
void slidePitch(const Module& module, ItChannel& c, int32_t amount) {
    if (c.frequency == 0) return;
    if (module.linearFrequency) {
        c.frequency = shiftPitch(c.frequency, amount);
    } else {
        const int64_t period = static_cast<int64_t>(kAmigaProduct / c.frequency) - amount;
        c.frequency = period <= 0
                          ? kMaxFrequency
                          : static_cast<uint32_t>(std::min<uint64_t>(kAmigaProduct / period, kMaxFrequency));
    }
    c.frequency = std::max<uint32_t>(c.frequency, 1);
}

// A panning command: the channel's and its note's, without the note's own offsets and panbrello.
void setPanning(ItChannel& c, int32_t pan) {
    c.panning = std::clamp(pan, 0, 64);
    c.surround = false;
    c.note.panning = c.panning;
    c.note.panningOffset = 0;
    c.note.surround = false;
    c.panningDelta = 0;
}

int32_t notePanning(const ItChannel& c) {
    return c.note.active ? std::clamp(c.note.panning + c.note.panningOffset, 0, 64) : c.panning;
}

// Whether the cell slides to its note: G, L or the volume column's tone portamento.
bool tonePortaCell(const NoteCell& cell) {
    const uint8_t effect = letter(cell);
    return effect == 'G' || effect == 'L' || cell.volumeCommand == kVolumeItTonePorta;
}

// The sample's lowest note at or above a frequency, as its frequency: what a glissando plays,
// up or down.
uint32_t glissandoFrequency(const Sample& s, uint32_t frequency) {
    int32_t low = 0, high = kLastNote;
    while (low < high) {
        const int32_t mid = (low + high) / 2;
        if (noteFrequency(s, mid) >= frequency) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return noteFrequency(s, low);
}

void tonePorta(const Module& module, ItChannel& c, uint32_t speed) {
    if (c.frequency == 0 || c.targetFrequency == 0 || speed == 0) return;
    if (c.frequency < c.targetFrequency) {
        slidePitch(module, c, static_cast<int32_t>(speed * 4));
        if (c.frequency >= c.targetFrequency) c.frequency = c.targetFrequency;
    } else if (c.frequency > c.targetFrequency) {
        slidePitch(module, c, -static_cast<int32_t>(speed * 4));
        if (c.frequency <= c.targetFrequency) c.frequency = c.targetFrequency;
    }
}

int32_t slideVolume(int32_t value, uint8_t param, int32_t top, bool rowTick) {
    const uint8_t x = high(param), y = low(param);
    if (y == 0xF && x != 0) return rowTick ? std::min(top, value + x) : value;  // fine up
    if (x == 0xF && y != 0) return rowTick ? std::max(0, value - y) : value;    // fine down
    if (rowTick) {
        // Impulse Tracker slides D0F / DF0 on the row tick too.
        if (y == 0xF && x == 0) return std::max(0, value - 15);
        if (x == 0xF && y == 0) return std::min(top, value + 15);
        return value;
    }
    if (y == 0) return std::min(top, value + x);
    if (x == 0) return std::max(0, value - y);
    return value;
}

// Impulse Tracker's vibrato is twice as fine as the other trackers' unless the old effects are on.
void vibrato(const Module& module, ItChannel& c, ItState& it) {
    const int32_t wave = waveValue(c.vibratoWave, c.vibratoPosition, it.random);
    const int32_t delta = wave * c.vibratoDepth / (module.rules.oldEffects ? 64 : 128);
    c.pitchDelta = module.linearFrequency ? delta : -delta;
    c.vibratoPosition = static_cast<uint8_t>(c.vibratoPosition + c.vibratoSpeed * 4);
}

// Tremolo runs on every tick, the row tick too, as the vibrato does. A new note does not restart
// its waveform.
void tremolo(ItChannel& c, ItState& it) {
    const int32_t wave = waveValue(c.tremoloWave, c.tremoloPosition, it.random);
    c.volumeDelta = wave * c.tremoloDepth / 32;
    c.tremoloPosition = static_cast<uint8_t>(c.tremoloPosition + c.tremoloSpeed * 4);
}

const uint8_t kVolumeColumnPorta[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

uint32_t offsetOf(const ItChannel& c) {
    return (uint32_t{c.highOffset} << 16) | (uint32_t{c.offset} << 8);
}

// An instrument number beside no note, or beside a tone portamento's note: the old effects reset
// the envelopes without a portamento, compatible Gxx with one.
void resetEnvelopesOnInstrument(const Module& module, ItChannel& c, bool porta) {
    const bool reset = (module.rules.oldEffects && !porta) || (module.rules.compatibleGxx && porta);
    if (!reset || !c.note.active) return;
    for (EnvelopeCursor* cursor : {&c.note.volumeEnvelope, &c.note.panningEnvelope, &c.note.pitchEnvelope}) {
        cursor->tick = 0;
        cursor->started = false;
    }
    c.note.volumeEnvelopeEnded = false;
    // The fade starts again from the top; a note that was fading goes on fading.
    c.note.fade = 1024;
}

// The note of a cell on the tick it takes effect: the new-note action, the instrument, the sample.
void playNote(Engine& engine, uint32_t index, const NoteCell& cell) {
    const Module& module = *engine.module;
    ItState& it = engine.it;
    ItChannel& c = it.channels[index];
    ChannelState& v = engine.channels[index];
    const uint8_t effect = letter(cell);
    const bool porta = tonePortaCell(cell);
    const uint8_t n = cell.xmNote;
    if (effect == 'O' && cell.param != 0) c.offset = cell.param;

    // An instrument number alone sets its default volume, and brings a faded note back.
    if (cell.sample != 0) {
        if (module.instrumentMode) {
            c.instrument =
                cell.sample <= module.instruments.size() ? &module.instruments[cell.sample - 1] : nullptr;
        } else {
            c.sample = sampleAt(module, cell.sample);
        }
    }

    // Cut, off and fade leave no note for a lone instrument number to play again.
    if (n == kItNoteCut) {
        c.note.active = false;
        c.note.sample = nullptr;  // a cut note is gone: no retrigger brings it back
        c.lastNote = -1;
        stopVoice(v);
        return;
    }
    if (n == kItNoteOff || n == kItNoteFade) {
        // An instrument number beside it recalls the sample's volume first.
        if (cell.sample != 0 && c.note.sample != nullptr) {
            c.volume = std::min<int32_t>(c.note.sample->volume, 64);
            resetEnvelopesOnInstrument(module, c, porta);
        }
        if (n == kItNoteOff) {
            noteOff(it, v, c.note);
        } else {
            noteFade(c.note);
        }
        // Under the old effects an instrument number beside a note-off keys the note again, unless
        // a tone portamento goes with them.
        if (n == kItNoteOff && cell.sample != 0 && module.rules.oldEffects && c.note.active && !porta) {
            c.note.keyOn = true;
            c.note.fading = false;
        }
        c.lastNote = -1;
        return;
    }
    int32_t patternNote = n >= 1 && n <= kItLastNote ? n - 1 : -1;
    if (patternNote < 0) {
        if (cell.sample == 0) return;
        // A lone instrument number plays the last note again when the note has stopped, when it
        // names another instrument, or beside an offset; otherwise it recalls the sample's volume.
        const bool stopped = !c.note.active || v.position == -1;
        const bool otherInstrument = module.instrumentMode && c.instrument != c.note.instrument;
        if ((stopped || otherInstrument || effect == 'O') && c.lastNote >= 0) {
            patternNote = c.lastNote;
        } else {
            const Sample* s = c.note.sample;
            if (module.instrumentMode && c.instrument != nullptr) {
                const int32_t last = std::max(c.lastNote, 0);
                s = sampleAt(module, c.instrument->sampleOfNote[static_cast<size_t>(last)]);
            } else if (!module.instrumentMode) {
                s = c.sample;
            }
            if (s != nullptr) c.volume = std::min<int32_t>(s->volume, 64);
            resetEnvelopesOnInstrument(module, c, porta);
            return;
        }
    }
    c.lastNote = patternNote;
    int32_t note = patternNote;
    const Sample* s = nullptr;
    const Instrument* instrument = nullptr;
    if (module.instrumentMode) {
        instrument = c.instrument;
        if (instrument == nullptr) return;
        note = instrument->noteOfNote[static_cast<size_t>(patternNote)];
        if (note > kLastNote) note = patternNote;
        s = sampleAt(module, instrument->sampleOfNote[static_cast<size_t>(patternNote)]);
    } else {
        s = c.sample;
    }
    if (s == nullptr) {
        // A key the instrument maps to no sample at all does nothing; one mapped to a sample
        // without sound ends the playing note by its new-note action, and starts nothing.
        const bool mapped =
            instrument != nullptr && instrument->sampleOfNote[static_cast<size_t>(patternNote)] != 0;
        if (mapped && !porta && c.note.active) {
            uint8_t action = kNnaCut;
            if (c.note.instrument != nullptr) action = c.note.instrument->newNoteAction;
            if (c.nna != 0xFF) action = c.nna;
            toBackground(engine, index, action);
            c.note.active = false;
            stopVoice(v);
        }
        return;
    }

    if (porta && c.note.active && c.frequency != 0) {
        // The note becomes the slide's target; the playing sample goes on unless compatible Gxx
        // lets a new instrument's sample take over.
        c.targetFrequency = noteFrequency(*s, note);
        if (cell.sample != 0) c.volume = std::min<int32_t>(s->volume, 64);
        if (cell.sample != 0) resetEnvelopesOnInstrument(module, c, true);
        // Compatible Gxx lifts the key again; an offset beside the slide is taken too.
        if (module.rules.compatibleGxx && !c.note.keyOn) {
            c.note.keyOn = true;
            c.note.fading = false;
            c.note.fade = 1024;
        }
        if (!module.rules.compatibleGxx && s != c.note.sample) {
            // Without compatible Gxx the slide goes on with the new sample.
            c.note.sample = s;
            c.note.sampleIndex = indexOf(module, s);
            c.note.instrument = instrument;
            startVoice(it, v, c.note, 0);
        }
        if (effect == 'O' && v.sample != nullptr && offsetOf(c) < v.sample->length) {
            v.position = static_cast<int32_t>(offsetOf(c));
            v.positionFraction = 0;
        }
        return;
    }

    // The note that played: cut, or into the background.
    if (c.note.active && v.position != -1) {
        uint8_t action = kNnaCut;
        if (module.instrumentMode && c.note.instrument != nullptr) {
            action = c.nna != 0xFF ? c.nna : c.note.instrument->newNoteAction;
        }
        toBackground(engine, index, action);
    }
    checkDuplicates(engine, index, instrument, patternNote, indexOf(module, s));
    c.nna = 0xFF;

    c.sample = s;
    c.frequency = noteFrequency(*s, note);
    c.targetFrequency = c.frequency;
    if (cell.sample != 0) c.volume = std::min<int32_t>(s->volume, 64);
    // Envelopes with carry go on from where the channel's last note of the instrument stands.
    const bool carry = instrument != nullptr && c.note.active && c.note.instrument == instrument;
    const ItNote before = c.note;
    ItNote& fresh = c.note;
    fresh = ItNote{};
    fresh.active = true;
    fresh.instrument = instrument;
    fresh.sample = s;
    fresh.sampleIndex = indexOf(module, s);
    fresh.note = note;
    fresh.patternNote = patternNote;
    if (instrument != nullptr) {
        fresh.volumeEnvelope.on = instrument->volume.on;
        fresh.panningEnvelope.on = instrument->panning.on;
        fresh.pitchEnvelope.on = instrument->pitch.on;
        if (carry && instrument->volume.carry) fresh.volumeEnvelope = before.volumeEnvelope;
        if (carry && instrument->panning.carry) fresh.panningEnvelope = before.panningEnvelope;
        if (carry && instrument->pitch.carry) fresh.pitchEnvelope = before.pitchEnvelope;
        if (instrument->filterCutoffSet) c.cutoff = instrument->filterCutoff;
        if (instrument->filterResonanceSet) c.resonance = instrument->filterResonance;
    }
    // An instrument's or sample's own panning is the note's; the channel keeps its own for the
    // notes after it.
    fresh.panning = c.panning;
    fresh.surround = c.surround;
    if (instrument != nullptr && instrument->defaultPanningSet) {
        fresh.panning = instrument->defaultPanning;
        fresh.surround = false;
    }
    if (s->panningSet) {
        fresh.panning = (s->panning + 2) >> 2;
        fresh.surround = false;
    }
    c.panningDelta = 0;
    if (instrument != nullptr) {
        // Pitch-pan separation around the centre note, and the random variations.
        fresh.panningOffset = (note - instrument->pitchPanCentre) * instrument->pitchPanSeparation / 8;
        if (instrument->randomPanning != 0) fresh.panningOffset += random(it, instrument->randomPanning);
        if (instrument->randomVolume != 0)
            fresh.volumeScale = std::clamp(100 + random(it, instrument->randomVolume), 0, 100);
    }
    fresh.cutoff = c.cutoff;
    fresh.resonance = c.resonance;
    if ((c.vibratoWave & 4) == 0) c.vibratoPosition = 0;
    c.retrigCounter = 0;
    c.tremorCounter = 0;
    uint32_t offset = 0;
    if (effect == 'O') {
        offset = offsetOf(c);
        if (offset >= s->length) offset = module.rules.oldEffects ? s->length - 1 : 0;
    }
    startVoice(it, v, fresh, offset);
}

// The volume column on the row tick.
void volumeColumnRow(Engine& engine, uint32_t index, const NoteCell& cell) {
    const Module& module = *engine.module;
    ItChannel& c = engine.it.channels[index];
    const uint8_t p = cell.volumeParam;
    switch (cell.volumeCommand) {
        case kVolumeSet:
            c.volume = std::min<int32_t>(p, 64);
            break;
        case kVolumeItPanning:
            setPanning(c, p);
            break;
        case kVolumeFineUp:
            if (p != 0) c.volumeColumnSlide = p;
            c.volume = std::min(64, c.volume + c.volumeColumnSlide);
            break;
        case kVolumeFineDown:
            if (p != 0) c.volumeColumnSlide = p;
            c.volume = std::max(0, c.volume - c.volumeColumnSlide);
            break;
        case kVolumeSlideUp:
        case kVolumeSlideDown:
            if (p != 0) c.volumeColumnSlide = p;
            break;
        case kVolumeItPortaDown:
        case kVolumeItPortaUp:
            if (p != 0) c.pitchSlide = static_cast<uint8_t>(p * 4);
            break;
        case kVolumeItTonePorta: {
            const uint8_t speed = kVolumeColumnPorta[std::min<uint8_t>(p, 9)];
            if (speed != 0) {
                if (module.rules.compatibleGxx) {
                    c.tonePortaSpeed = speed;
                } else {
                    c.pitchSlide = speed;
                }
            }
            break;
        }
        case kVolumeItVibrato:
            if (p != 0) c.vibratoDepth = static_cast<uint8_t>(p * 4);
            break;
        default:
            break;
    }
}

void volumeColumnTick(Engine& engine, uint32_t index) {
    const Module& module = *engine.module;
    ItState& it = engine.it;
    ItChannel& c = it.channels[index];
    switch (c.cell.volumeCommand) {
        case kVolumeSlideUp:
            c.volume = std::min(64, c.volume + c.volumeColumnSlide);
            break;
        case kVolumeSlideDown:
            c.volume = std::max(0, c.volume - c.volumeColumnSlide);
            break;
        case kVolumeItPortaDown:
            slidePitch(module, c, -4 * c.pitchSlide);
            break;
        case kVolumeItPortaUp:
            slidePitch(module, c, 4 * c.pitchSlide);
            break;
        case kVolumeItTonePorta:
            tonePorta(module, c, module.rules.compatibleGxx ? c.tonePortaSpeed : c.pitchSlide);
            break;
        case kVolumeItVibrato:
            vibrato(module, c, it);
            break;
        default:
            break;
    }
}

void applyMacro(ItChannel& c, const FixedMacro& macro) {
    if (macro.kind == kMacroCutoff) c.note.cutoff = c.cutoff = macro.value;
    if (macro.kind == kMacroResonance) c.note.resonance = c.resonance = macro.value;
}

// Counts a tick of Qxy, the row tick too: every y-th one changes the volume by x and restarts the
// sample.
void retrigger(Engine& engine, uint32_t index) {
    ItState& it = engine.it;
    ItChannel& c = it.channels[index];
    ChannelState& v = engine.channels[index];
    const uint8_t interval = low(c.retrig);
    if (interval == 0 || ++c.retrigCounter < interval) return;
    c.retrigCounter = 0;
    c.volume = xm::retriggerVolume(c.volume, high(c.retrig));
    // A note that has ended or was cut stays silent.
    if (c.note.active && c.note.sample != nullptr) startVoice(it, v, c.note, 0);
}

// The effect of a cell on its row tick.
void effectRow(Engine& engine, uint32_t index, const NoteCell& cell) {
    const Module& module = *engine.module;
    ItState& it = engine.it;
    ItChannel& c = it.channels[index];
    ChannelState& shared = engine.channels[index];
    PlayerState& state = engine.state;
    uint8_t p = cell.param;
    switch (letter(cell)) {
        case 'A':
            if (p != 0) {
                state.speed.store(p, kRelaxed);
                state.tickCounter = p;
            }
            break;
        case 'B': {
            const bool before = state.jumpPending;
            shared.effect = kPositionJump;
            shared.param = p;
            runEffect(engine, shared, true);
            // A jump to the next position (which the shared rule leaves to the pattern's end) leaves
            // the pattern here, as a break to its first row.
            if ((state.jumpPending && !before) || p == state.nextOrder.load(kRelaxed)) {
                it.leavePattern = true;
                it.breakRow = 0;
                // A jump to the right of a loop's end keeps the loop from going back.
                it.loopBack = false;
            }
            break;
        }
        case 'C':
            it.leavePattern = true;
            it.breakRow = p;
            break;
        case 'D':
        case 'K':
        case 'L':
            if (p != 0) c.volumeSlide = p;
            c.volume = slideVolume(c.volume, c.volumeSlide, 64, true);
            if (letter(cell) == 'K' && !module.rules.oldEffects) vibrato(module, c, it);
            break;
        case 'E':
        case 'F': {
            if (p != 0) {
                c.pitchSlide = p;
                if (!module.rules.compatibleGxx) c.tonePortaSpeed = p;
            }
            const uint8_t q = c.pitchSlide;
            const int32_t sign = letter(cell) == 'E' ? -1 : 1;
            if (high(q) == 0xF) slidePitch(module, c, sign * 4 * low(q));
            if (high(q) == 0xE) slidePitch(module, c, sign * low(q));
            break;
        }
        case 'G':
            if (p != 0) {
                c.tonePortaSpeed = p;
                if (!module.rules.compatibleGxx) c.pitchSlide = p;
            }
            break;
        case 'H':
        case 'U':
            if (high(p) != 0) c.vibratoSpeed = high(p);
            if (low(p) != 0) c.vibratoDepth = static_cast<uint8_t>(low(p) * (letter(cell) == 'H' ? 4 : 1));
            if (!module.rules.oldEffects) vibrato(module, c, it);
            break;
        case 'I':
            if (p != 0) c.tremor = p;
            break;
        case 'J':
            if (p != 0) c.arpeggio = p;
            break;
        case 'M':
            if (p <= 64) c.channelVolume = p;
            break;
        case 'N':
            if (p != 0) c.channelVolumeSlide = p;
            c.channelVolume = slideVolume(c.channelVolume, c.channelVolumeSlide, 64, true);
            break;
        case 'O':
            if (p != 0) c.offset = p;
            break;
        case 'P': {
            if (p != 0) c.panningSlide = p;
            // Panning slides run the other way round: x slides left.
            const uint8_t q = c.panningSlide;
            if (low(q) == 0xF && high(q) != 0) setPanning(c, notePanning(c) - high(q));
            if (high(q) == 0xF && low(q) != 0) setPanning(c, notePanning(c) + low(q));
            break;
        }
        case 'Q':
            if (p != 0) c.retrig = p;
            if (cell.xmNote == 0) retrigger(engine, index);
            break;
        case 'R':
            if (high(p) != 0) c.tremoloSpeed = high(p);
            if (low(p) != 0) c.tremoloDepth = low(p);
            if (!module.rules.oldEffects) tremolo(c, it);
            break;
        case 'S': {
            const uint8_t x = high(p), y = low(p);
            switch (x) {
                case 0x1:
                    c.glissando = y != 0;
                    break;
                case 0x3:
                    c.vibratoWave = y & 3;
                    break;
                case 0x4:
                    c.tremoloWave = y & 3;
                    break;
                case 0x5:
                    c.panbrelloWave = y & 3;
                    c.panbrelloPosition = 0;
                    break;
                case 0x6:
                    state.tickCounter = static_cast<uint16_t>(state.tickCounter + y);
                    it.rowTickDelay += y;
                    break;
                case 0x7:
                    if (y <= 2) {
                        pastNotes(engine, index, y);
                    } else if (y <= 6) {
                        c.nna = static_cast<uint8_t>(y - 3);
                    } else if (y <= 0xC && c.note.instrument != nullptr) {
                        const Instrument& in = *c.note.instrument;
                        EnvelopeCursor& cursor = y <= 8     ? c.note.volumeEnvelope
                                                 : y <= 0xA ? c.note.panningEnvelope
                                                            : c.note.pitchEnvelope;
                        const Envelope& envelope = y <= 8 ? in.volume : y <= 0xA ? in.panning : in.pitch;
                        cursor.paused = (y & 1) != 0;
                        if (!cursor.paused) cursor.on = envelope.count != 0;
                    }
                    break;
                case 0x8:
                    setPanning(c, (y * 64 + 7) / 15);
                    break;
                case 0x9:
                    if (y == 1) c.surround = c.note.surround = true;
                    break;
                case 0xA:
                    c.highOffset = y;
                    break;
                case 0xB:
                    if (y == 0) {
                        c.loopRow = static_cast<uint8_t>(state.row.load(kRelaxed));
                    } else if (c.loopCounter == 0) {
                        c.loopCounter = y;
                        it.loopBack = true;
                        it.loopRow = c.loopRow;
                    } else if (--c.loopCounter != 0) {
                        it.loopBack = true;
                        it.loopRow = c.loopRow;
                    } else {
                        // The next loop on this channel starts after this row.
                        c.loopRow = static_cast<uint8_t>(state.row.load(kRelaxed) + 1);
                    }
                    break;
                case 0xC:
                    c.cutTicks = y == 0 ? 1 : y;
                    break;
                case 0xE:
                    if (!it.rowDelaySeen && !it.repeating) state.patternDelay = y;
                    it.rowDelaySeen = true;
                    break;
                case 0xF:
                    c.macro = y;
                    break;
                default:
                    break;
            }
            break;
        }
        case 'T':
            if (p >= 0x20) {
                setTempo(engine, p);
            } else if (p != 0) {
                c.tempoSlide = p;
            }
            break;
        case 'V':
            if (p <= 128) it.globalVolume = p;
            break;
        case 'W':
            if (p != 0) c.globalVolumeSlide = p;
            it.globalVolume = slideVolume(it.globalVolume, c.globalVolumeSlide, 128, true);
            break;
        case 'X':
            setPanning(c, (p + 2) / 4);
            break;
        case 'Y':
            if (high(p) != 0) c.panbrelloSpeed = high(p);
            if (low(p) != 0) c.panbrelloDepth = low(p);
            break;
        case 'Z':
            if (p < 0x80) {
                const uint8_t kind = module.parametricMacros[c.macro & 15];
                applyMacro(c, FixedMacro{kind, p});
            } else {
                applyMacro(c, module.fixedMacros[p - 0x80]);
            }
            break;
        default:
            break;
    }
}

// The continuing effects, on every tick after the row tick.
void effectTick(Engine& engine, uint32_t index) {
    const Module& module = *engine.module;
    ItState& it = engine.it;
    ItChannel& c = it.channels[index];
    ChannelState& v = engine.channels[index];
    const NoteCell& cell = c.cell;
    // The volume column of a delayed note starts on the tick after the note: its delay tick is the
    // note's row tick.
    const bool waiting = c.delayPending;
    if (c.delayPending && it.tick == c.delayTicks) {
        c.delayPending = false;
        playNote(engine, index, cell);
        volumeColumnRow(engine, index, cell);
        if (c.note.active) c.note.volume = c.volume;
    }
    if (c.cutTicks != 0 && --c.cutTicks == 0) {
        c.note.active = false;
        c.note.sample = nullptr;
        stopVoice(v);
    }
    if (!waiting) volumeColumnTick(engine, index);
    const uint8_t p = cell.param;
    switch (letter(cell)) {
        case 'D':
            c.volume = slideVolume(c.volume, c.volumeSlide, 64, false);
            break;
        case 'K':
            c.volume = slideVolume(c.volume, c.volumeSlide, 64, false);
            vibrato(module, c, it);
            break;
        case 'L':
            c.volume = slideVolume(c.volume, c.volumeSlide, 64, false);
            tonePorta(module, c, module.rules.compatibleGxx ? c.tonePortaSpeed : c.pitchSlide);
            break;
        case 'E':
        case 'F': {
            const uint8_t q = c.pitchSlide;
            if (high(q) < 0xE) slidePitch(module, c, (letter(cell) == 'E' ? -4 : 4) * q);
            break;
        }
        case 'G':
            tonePorta(module, c, module.rules.compatibleGxx ? c.tonePortaSpeed : c.pitchSlide);
            break;
        case 'H':
        case 'U':
            vibrato(module, c, it);
            break;
        case 'I': {
            if (c.tremorCounter == 0) {
                c.tremorOn = !c.tremorOn;
                const uint8_t length = c.tremorOn ? high(c.tremor) : low(c.tremor);
                c.tremorCounter =
                    static_cast<uint8_t>(std::max<int>(length + (module.rules.oldEffects ? 1 : 0), 1));
            }
            --c.tremorCounter;
            if (!c.tremorOn) c.volumeDelta = -64;
            break;
        }
        case 'J': {
            const uint32_t step = it.tick % 3;
            const uint8_t semitones = step == 0 ? 0 : (step == 1 ? high(c.arpeggio) : low(c.arpeggio));
            c.arpeggioFrequency = semitones == 0 ? 0 : shiftPitch(c.frequency, semitones * 64);
            break;
        }
        case 'N':
            c.channelVolume = slideVolume(c.channelVolume, c.channelVolumeSlide, 64, false);
            break;
        case 'P': {
            const uint8_t q = c.panningSlide;
            if (low(q) == 0 && high(q) != 0) setPanning(c, notePanning(c) - high(q));
            if (high(q) == 0 && low(q) != 0) setPanning(c, notePanning(c) + low(q));
            break;
        }
        case 'Q':
            retrigger(engine, index);
            break;
        case 'R':
            tremolo(c, it);
            break;
        case 'T':
            if (p != 0 && p < 0x20) {
                const uint32_t tempo = engine.state.tempo.load(kRelaxed);
                setTempo(engine,
                         high(c.tempoSlide) == 1 ? tempo + low(c.tempoSlide) : tempo - low(c.tempoSlide));
            }
            break;
        case 'W':
            it.globalVolume = slideVolume(it.globalVolume, c.globalVolumeSlide, 128, false);
            break;
        case 'Y': {
            if (c.panbrelloWave == 3) {
                if (c.panbrelloPosition == 0 || c.panbrelloPosition >= c.panbrelloSpeed) {
                    c.panbrelloPosition = 0;
                    c.panbrelloHold = waveValue(3, 0, it.random);
                }
                ++c.panbrelloPosition;
                c.panningDelta = c.panbrelloHold * c.panbrelloDepth / 32;
            } else {
                const int32_t wave = waveValue(c.panbrelloWave, c.panbrelloPosition, it.random);
                c.panningDelta = wave * c.panbrelloDepth / 32;
                c.panbrelloPosition = static_cast<uint8_t>(c.panbrelloPosition + c.panbrelloSpeed);
            }
            break;
        }
        default:
            break;
    }
}

// An SDx cell waits for its tick (SD0 as SD1); returns whether it does.
bool armNoteDelay(ItChannel& c, const NoteCell& cell) {
    c.delayPending = letter(cell) == 'S' && high(cell.param) == 0xD;
    if (c.delayPending) c.delayTicks = std::max<uint32_t>(low(cell.param), 1);
    return c.delayPending;
}

}  // namespace

void startImpulseSong(Engine& engine) {
    const Module& module = *engine.module;
    ItState& it = engine.it;
    it.channels.assign(module.channelCount, ItChannel{});
    it.pool.assign(kBackgroundVoices, ItBackground{});
    it.tick = 0;
    it.globalVolume = std::min<int32_t>(module.initialGlobalVolume, 128);
    it.random = 0x1234567u;
    it.clock = 0;
    it.loopBack = it.leavePattern = false;
    it.breakRow = 0;
    // Each sample as the mixer plays it: ping-pong loops unrolled, and its sustain loop apart.
    size_t copies = 0;
    for (const Sample& s : module.samples) copies += (s.pingPong ? 1 : 0) + (s.sustainEnd != 0 ? 1 : 0);
    it.copies.clear();
    it.copies.reserve(copies);
    it.playableOf.assign(module.samples.size(), nullptr);
    it.sustainedOf.assign(module.samples.size(), nullptr);
    for (size_t i = 0; i < module.samples.size(); ++i) {
        const Sample& s = module.samples[i];
        it.playableOf[i] = &s;
        if (loopType(s) == LoopType::pingPong) {
            it.copies.push_back(loopedCopy(s, s.loopStart, s.loopEnd, true));
            it.playableOf[i] = &it.copies.back();
        }
        if (s.sustainEnd != 0 && s.sustainStart < s.sustainEnd && s.sustainEnd <= s.data.size()) {
            it.copies.push_back(loopedCopy(s, s.sustainStart, s.sustainEnd, s.sustainPingPong));
            it.sustainedOf[i] = &it.copies.back();
        }
    }
    for (uint32_t i = 0; i < module.channelCount; ++i) {
        engine.channels[i].rampGains = true;
        ItChannel& c = it.channels[i];
        const uint8_t pan = i < module.channelPanning.size() ? module.channelPanning[i] : 32;
        c.muted = (pan & kChannelMuted) != 0;
        c.surround = (pan & 127) == kChannelSurround;
        c.panning = c.surround ? 32 : std::min<int32_t>(pan & 127, 64);
        c.channelVolume =
            i < module.channelVolume.size() ? std::min<int32_t>(module.channelVolume[i], 64) : 64;
    }
    engine.voices.reserve(engine.voices.size() + it.pool.size());
    for (ItBackground& b : it.pool) {
        b.voice.rampGains = true;
        b.voice.position = -1;
        engine.voices.push_back(&b.voice);
    }
}

void impulseRowTick(Engine& engine, uint32_t row) {
    ItState& it = engine.it;
    PlayerState& state = engine.state;
    it.tick = 0;
    it.loopBack = false;
    it.leavePattern = false;
    it.breakRow = 0;
    it.rowDelaySeen = false;
    it.rowTickDelay = 0;
    it.repeating = false;
    for (uint32_t i = 0; i < it.channels.size(); ++i) {
        ItChannel& c = it.channels[i];
        c.pitchDelta = 0;
        c.volumeDelta = 0;
        c.arpeggioFrequency = 0;
        const NoteCell* cell = cursorCell(engine);
        if (cell != nullptr && (cell->row != row || cell->channel != i)) cell = nullptr;
        const NoteCell empty;
        const NoteCell& now = cell != nullptr ? *cell : empty;
        if (cell != nullptr) {
            state.cursor = state.cursor + 1 < state.playingCells->size() ? state.cursor + 1 : kNoCellIndex;
        }
        c.cell = now;
        c.cutTicks = 0;
        if (!armNoteDelay(c, now)) {
            if (!c.muted) playNote(engine, i, now);
            volumeColumnRow(engine, i, now);
        }
        effectRow(engine, i, now);
        if (c.note.active) c.note.volume = c.volume;
    }
    // A loop going back wins over a break or jump to its left; they apply once it has run out. Its
    // start can lie past the pattern's end (set after a loop ended on the last row): playing goes
    // on in the next pattern then.
    if (it.loopBack && it.loopRow >= state.rowCount) {
        state.breakPending = true;
        state.breakRow = 0;
    } else if (it.loopBack) {
        state.jumpPending = true;
        state.jumpOrder = state.nextOrder.load(kRelaxed) - 1;
        state.repeatJump = false;
        state.breakPending = true;
        state.breakRow = it.loopRow;
    } else if (it.leavePattern) {
        state.breakPending = true;
        state.breakRow = it.breakRow;
    }
}

// A repetition of a row (SEx) lasts as long as the row did, its tick delays too, and plays its
// delayed notes again; notes without a delay are not played again.
void impulseRepeatTick(Engine& engine) {
    ItState& it = engine.it;
    it.tick = 0;
    engine.state.tickCounter = static_cast<uint16_t>(engine.state.tickCounter + it.rowTickDelay);
    for (uint32_t i = 0; i < it.channels.size(); ++i) {
        ItChannel& c = it.channels[i];
        c.pitchDelta = 0;
        c.volumeDelta = 0;
        c.arpeggioFrequency = 0;
        armNoteDelay(c, c.cell);
    }
}

void impulseEffectTick(Engine& engine) {
    ItState& it = engine.it;
    ++it.tick;
    for (uint32_t i = 0; i < it.channels.size(); ++i) {
        ItChannel& c = it.channels[i];
        c.pitchDelta = 0;
        c.volumeDelta = 0;
        c.arpeggioFrequency = 0;
        effectTick(engine, i);
        if (c.note.active) c.note.volume = c.volume;
    }
}

void updateImpulseVoices(Engine& engine) {
    ItState& it = engine.it;
    for (uint32_t i = 0; i < it.channels.size(); ++i) {
        ItChannel& c = it.channels[i];
        ChannelState& v = engine.channels[i];
        c.note.channelVolume = c.channelVolume;
        c.note.volume = c.volume;
        c.note.frequency = c.frequency;
        uint32_t heard = c.arpeggioFrequency != 0 ? c.arpeggioFrequency : c.frequency;
        // With glissando on (S11) a tone portamento is heard a semitone at a time, row tick too.
        if (c.glissando && tonePortaCell(c.cell) && c.note.sample != nullptr && c.frequency != 0)
            heard = glissandoFrequency(*c.note.sample, c.frequency);
        updateNote(engine, v, c.note, c.volumeDelta, c.panningDelta, c.pitchDelta, heard);
    }
    for (ItBackground& b : it.pool) {
        if (b.note.active) updateNote(engine, b.voice, b.note, 0, 0, 0, 0);
    }
}

}  // namespace tarvex
