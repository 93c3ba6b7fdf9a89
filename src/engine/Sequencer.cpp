// The sequencer: song start, ticks, rows and the order list.
//
// One playTick is one tick. A row tick moves the position (forward, or backward while rewinding),
// then starts each channel's note and runs its effect's first tick; the other ticks of the row only
// run the effects. Everything the tick path needs is allocated by startSong: forward rows are found
// by walking the cursor, breaks, loops and rewinding use the row index.
#include <algorithm>

#include "engine/Channel.h"
#include "engine/Effects.h"
#include "engine/Engine.h"

namespace tarvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint32_t kDefaultTempo = 125;               // a header tempo of 0 starts here instead
constexpr uint32_t kMicrosPerTickAtTempo1 = 2500000;  // a tick lasts 2500000 / tempo microseconds
constexpr uint32_t kNoSampleNumber = 0;

// Row index of one pattern of `rows` rows, appended to index: for each row the first cell at or
// after it, walking the list once.
void appendRowIndex(const Pattern& cells, uint32_t rows, std::vector<uint32_t>& index) {
    if (cells.empty()) {
        index.insert(index.end(), rows, kNoCellIndex);
        return;
    }
    uint32_t cell = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        while (cells[cell].row < r && cell + 1 < cells.size()) ++cell;
        index.push_back(cell);
    }
}

// Order positions that name the same pattern share one stretch of the index; the first stretch
// serves empty patterns of any length as well as order entries at or above patternCount. Each
// position also gets the number its first row has in the song, counting every row of the
// positions before it, so that rows played one after the other have numbers one apart.
void buildRowIndexes(const Module& module, PlayerState& state) {
    const size_t patternCount = std::min<size_t>(module.patternCount, module.patterns.size());
    std::vector<uint32_t> startOfPattern(patternCount, kNoCellIndex);
    state.rowIndex.clear();
    appendRowIndex(Pattern{}, kMaxRowsPerPattern, state.rowIndex);
    state.rowIndexOfOrder.assign(state.playableOrders, 0);
    state.firstRowOfOrder.assign(state.playableOrders, 0);
    uint32_t firstRow = 0;
    for (uint32_t o = 0; o < state.playableOrders; ++o) {
        const uint32_t pattern = module.orders[o];
        const bool exists = pattern < patternCount;
        state.firstRowOfOrder[o] = firstRow;
        firstRow += exists ? rowsOf(module, pattern) : kRowsPerPattern;
        if (!exists || module.patterns[pattern].empty()) continue;
        if (startOfPattern[pattern] == kNoCellIndex) {
            startOfPattern[pattern] = static_cast<uint32_t>(state.rowIndex.size());
            appendRowIndex(module.patterns[pattern], rowsOf(module, pattern), state.rowIndex);
        }
        state.rowIndexOfOrder[o] = startOfPattern[pattern];
    }
}

uint32_t rowIndexAt(const PlayerState& state, uint32_t order, uint32_t row) {
    return state.rowIndex[state.rowIndexOfOrder[order] + row];
}

// Makes order position o the playing pattern; an entry naming no pattern plays as an empty one.
void enterOrder(Engine& engine, uint32_t order) {
    const Module& module = *engine.module;
    PlayerState& state = engine.state;
    const uint32_t pattern = module.orders[order];
    state.currentPattern.store(pattern, kRelaxed);
    const bool exists = pattern < module.patternCount && pattern < module.patterns.size();
    state.playingCells = exists ? &module.patterns[pattern] : nullptr;
    state.rowCount = exists ? rowsOf(module, pattern) : kRowsPerPattern;
    state.nextOrder.store(order + 1, kRelaxed);
}

// The end of the song, when the order list runs out or the song can only repeat itself.
void endSong(PlayerState& state) {
    state.fastForward.store(false, kRelaxed);
    state.songEnded.store(true, kRelaxed);
}

// With LoopsAllowed off, a song back at a row start in a state it has been in before (position,
// speed, tempo and every loop field) would go the same way again, for ever.
bool repeatsItself(Engine& engine) {
    PlayerState& state = engine.state;
    if (engine.settings.LoopsAllowed.load(kRelaxed)) {
        state.historyStale = true;
        return false;
    }
    if (state.historyStale) {
        state.history.restart();
        state.historyStale = false;
    }
    uint32_t* key = state.history.key();
    *key++ = state.speed.load(kRelaxed);
    *key++ = state.tempo.load(kRelaxed);
    const auto putLoop = [&key](const auto& owner) {
        *key++ = static_cast<uint32_t>(owner.loopCount);
        *key++ = owner.loopStartSet ? 1u : 0u;
        *key++ = owner.loopOrder;
        *key++ = owner.loopRow;
    };
    if (engine.module->rules.impulseChannels) {
        for (const ItChannel& channel : engine.it.channels) {
            *key++ = channel.loopCounter;
            *key++ = channel.loopRow;
        }
        *key++ = 0;
    } else if (engine.module->rules.instrumentChannels) {
        for (const XmChannel& channel : engine.xm.channels) {
            *key++ = channel.loopCounter;
            *key++ = channel.loopRow;
        }
        *key++ = state.rowAfterPattern;
    } else if (engine.module->rules.patternLoopPerChannel) {
        for (const ChannelState& channel : engine.channels) putLoop(channel);
    } else {
        putLoop(state);
    }
    const uint32_t order = state.nextOrder.load(kRelaxed) - 1;
    return state.history.visit(state.firstRowOfOrder[order] + state.row.load(kRelaxed));
}

// Words of the key repeatsItself writes: speed, tempo and four per loop state (two per channel and
// the row after the pattern for instrument channels).
uint32_t historyKeyWords(const Module& module, uint32_t channelCount) {
    if (module.rules.instrumentChannels) return 2 + 2 * channelCount + 1;
    return 2 + 4 * (module.rules.patternLoopPerChannel ? channelCount : 1);
}

// A jump back taken for a repeat: one fewer left, and what the song did before no longer counts.
void countRepeatJump(PlayerState& state) {
    if (!state.repeatJump) return;
    state.repeatJump = false;
    --state.repeatsLeft;
    state.wentBack = true;
    state.historyStale = true;
}

// A song without a way back of its own, played once more from its start: tempo, speed and loops
// as at the start, the channels sounding on.
void restartForRepeat(Engine& engine) {
    PlayerState& state = engine.state;
    const Module& module = *engine.module;
    --state.repeatsLeft;
    const uint32_t tempo = module.initialTempo != 0 ? module.initialTempo : kDefaultTempo;
    state.tempo.store(tempo, kRelaxed);
    state.samplesPerTick = samplesPerTickFor(state.rate, tempo);
    state.speed.store(static_cast<uint16_t>(module.initialSpeed), kRelaxed);
    state.tickCounter = static_cast<uint16_t>(module.initialSpeed);  // this row is the first row
    state.loopCount = -1;
    state.loopStartSet = false;
    for (ChannelState& channel : engine.channels) {
        channel.loopCount = -1;
        channel.loopStartSet = false;
    }
    state.breakPending = false;
    state.rowAfterPattern = 0;
    state.historyStale = true;
}

// The next row by the order list, jumps, breaks and loops; false when the order list has run out.
bool moveForward(Engine& engine) {
    PlayerState& state = engine.state;
    const uint32_t row = state.row.load(kRelaxed) + 1;
    state.row.store(row, kRelaxed);
    uint32_t order;
    if (row < state.rowCount && !state.breakPending) {
        if (!state.jumpPending) return true;  // same pattern: the cursor is already at this row
        order = state.jumpOrder;
        state.jumpPending = false;
        countRepeatJump(state);
    } else if (state.jumpPending) {
        order = state.jumpOrder;
        state.jumpPending = false;
        countRepeatJump(state);
    } else {
        order = state.nextOrder.load(kRelaxed);
        // The row a pattern loop went back to starts the next pattern, as a break to it would.
        if (state.rowAfterPattern != 0) {
            state.breakPending = true;
            state.breakRow = state.rowAfterPattern;
            state.rowAfterPattern = 0;
        }
    }
    if (order >= state.playableOrders) {
        if (state.repeatsLeft == 0 || state.wentBack || state.playableOrders == 0) return false;
        restartForRepeat(engine);
        order = state.songStart < state.playableOrders ? state.songStart : 0;
    }
    const bool breakWasPending = state.breakPending;
    enterOrder(engine, order);
    const bool hasCells = state.playingCells != nullptr && !state.playingCells->empty();
    state.cursor = hasCells ? 0 : kNoCellIndex;
    uint32_t newRow = 0;
    if (breakWasPending) {
        // A break beyond the last row starts the target pattern at its first row.
        newRow = state.breakRow < state.rowCount ? state.breakRow : 0;
        state.cursor = rowIndexAt(state, order, newRow);
        state.breakPending = false;
    }
    state.row.store(newRow, kRelaxed);
    return true;
}

// Returns false when the step ended the song; the tick then touches no channel.
bool forwardStep(Engine& engine) {
    if (moveForward(engine) && !repeatsItself(engine)) return true;
    endSong(engine.state);
    return false;
}

// Returns false when there is no row to step back to: before the first row has been played.
// Pending jumps and breaks are neither honoured nor cleared here.
bool reverseStep(Engine& engine) {
    PlayerState& state = engine.state;
    const uint32_t nextOrder = state.nextOrder.load(kRelaxed);
    if (nextOrder == 0) return false;  // rewinding stays on until a row has been played forward
    const uint32_t row = state.row.load(kRelaxed);
    if (row != 0) {
        const uint32_t newRow = std::min(row, state.rowCount) - 1;
        state.row.store(newRow, kRelaxed);
        state.cursor = rowIndexAt(state, nextOrder - 1, newRow);
        return true;
    }
    uint32_t order = 0;
    if (nextOrder > 1) {
        order = nextOrder - 2;
    } else {
        state.rewinding.store(false, kRelaxed);
    }
    enterOrder(engine, order);
    // The last row of the position before, or the first row of the song.
    const uint32_t newRow = nextOrder > 1 ? state.rowCount - 1 : 0;
    state.row.store(newRow, kRelaxed);
    state.cursor = rowIndexAt(state, order, newRow);
    return true;
}

// Starts the row's note on the channel (the cell has a period that is not a note off).
void startNote(Engine& engine, ChannelState& channel, const NoteCell& cell) {
    const uint32_t stepBase = engine.module->stepBase;
    const uint32_t period16 = cell.period * kPeriodScale;
    channel.notePeriod = static_cast<int32_t>(period16);
    channel.noteInOctave = static_cast<uint8_t>(cell.note);
    channel.octave = static_cast<uint8_t>(cell.octave);
    if (channel.effect == kExtended && (channel.param >> 4) == kNoteDelay) {
        channel.delayedPeriod = static_cast<int32_t>(period16);  // the note-delay handler starts it
        return;
    }
    if (channel.pendingSample != nullptr && channel.pendingSample != channel.sample) {
        channel.sample = channel.pendingSample;
        channel.position = 0;
        channel.noteStarted = true;
    }
    // Tone portamento slides to the note instead of playing it.
    if (channel.effect == kTonePorta || channel.effect == kTonePortaVolumeSlide) return;
    if (channel.sample == nullptr) {
        channel.step = 0;
        return;
    }
    channel.period = static_cast<int32_t>(period16 * kReferenceFrequency / channel.sample->baseFrequency);
    setStep(channel, stepBase, channel.period);
    if (channel.effect != kSampleOffset) {  // the sample-offset handler sets the position itself
        channel.position = 0;
        channel.noteStarted = true;
    }
}

// The row tick of one channel: end the last row's continuing effects, then read the channel's cell.
void processChannel(Engine& engine, uint32_t index, uint32_t row) {
    const Module& module = *engine.module;
    PlayerState& state = engine.state;
    ChannelState& channel = engine.channels[index];
    const NoteCell* cell = cursorCell(engine);
    if (cell != nullptr && (cell->row != row || cell->channel != index)) cell = nullptr;

    if (channel.tremoloActive && !(cell != nullptr && cell->effect == kTremolo)) {
        channel.tremoloPos = 0;
        channel.tremoloNegative = false;
        applyVolume(channel, channel.volume);
        channel.tremoloActive = false;
    }
    if (channel.vibratoActive &&
        !(cell != nullptr && (cell->effect == kVibrato || cell->effect == kVibratoVolumeSlide))) {
        channel.vibratoPos = 0;
        channel.vibratoNegative = false;
        if (channel.period != 0) {
            setStep(channel, module.stepBase, channel.period);
        } else {
            channel.step = 0;
        }
        channel.vibratoActive = false;
    }
    if (channel.arpeggioActive) {
        setStep(channel, module.stepBase, channel.arpeggioPeriods[0]);
        channel.arpeggioActive = false;
    }
    channel.portaActive = false;
    channel.volumeSlideActive = false;
    channel.portaOnce = false;
    channel.volumeSlideOnce = false;
    channel.retrigCounter = 0;
    channel.retrigInterval = 0;
    channel.effect = 0;
    channel.param = 0;

    if (cell == nullptr) return;
    if (cell->sample != kNoSampleNumber) {
        // A number beyond the sample list counts as an empty slot, like a sample without frequency.
        const bool listed = cell->sample <= module.sampleCount && cell->sample <= module.samples.size();
        const Sample* named = listed ? &module.samples[cell->sample - 1] : nullptr;
        channel.pendingSample = named != nullptr && named->baseFrequency != 0 ? named : nullptr;
        if (channel.pendingSample != nullptr) {
            channel.volume = static_cast<int32_t>(channel.pendingSample->volume);
            applyVolume(channel, channel.volume);
        }
    }
    if (cell->period == kNoteOff) {
        // A note off ignores the cell's effect and volume column.
        channel.volume = 0;
        applyVolume(channel, 0);
    } else {
        channel.effect = cell->effect;
        channel.param = cell->param;
        if (cell->period != 0) startNote(engine, channel, *cell);
        if (cell->volume != -1) {
            channel.volume = cell->volume;
            applyVolume(channel, channel.volume);
        }
        if (channel.effect != 0 || channel.param != 0) runEffect(engine, channel, true);
    }
    state.cursor = state.cursor + 1 < state.playingCells->size() ? state.cursor + 1 : kNoCellIndex;
}

// Seek requests in one 64-bit word: bit 63 pending, bits 48-62 order, 40-47 tempo, 32-39 speed,
// 0-31 play time.
constexpr uint64_t kSeekPending = uint64_t{1} << 63;

uint64_t packSeek(const SeekTarget& t) {
    return kSeekPending | (uint64_t{t.order & 0x7FFF} << 48) | (uint64_t{t.tempo & 0xFF} << 40) |
           (uint64_t{t.speed & 0xFFu} << 32) | t.playTime;
}

SeekTarget unpackSeek(uint64_t packed) {
    SeekTarget t;
    t.order = static_cast<uint32_t>(packed >> 48) & 0x7FFF;
    t.tempo = static_cast<uint32_t>(packed >> 40) & 0xFF;
    t.speed = static_cast<uint16_t>((packed >> 32) & 0xFF);
    t.playTime = static_cast<uint32_t>(packed);
    return t;
}

// At a tick boundary: makes this tick the row tick that enters the target through the ordinary
// forward step, as a jump from the end of a pattern would.
void takeSeek(Engine& engine) {
    PlayerState& state = engine.state;
    const SeekTarget target = unpackSeek(state.seekRequest.exchange(0, kRelaxed));
    if (target.order >= state.playableOrders) return;
    if (target.tempo != 0) {
        state.tempo.store(target.tempo, kRelaxed);
        state.samplesPerTick = samplesPerTickFor(state.rate, target.tempo);
    }
    if (target.speed != 0) state.speed.store(target.speed, kRelaxed);
    state.playTime.store(target.playTime, kRelaxed);
    state.rewinding.store(false, kRelaxed);
    state.historyStale = true;  // the user's jump: where the song has been before no longer counts
    state.tickCounter = 1;
    state.patternDelay = 0;
    state.loopCount = -1;
    state.loopStartSet = false;
    state.breakPending = false;
    state.rowAfterPattern = 0;
    state.jumpPending = true;
    state.repeatJump = false;
    state.jumpOrder = target.order;
    state.row.store(kRowsPerPattern - 1, kRelaxed);
}

}  // namespace

void requestSeek(Engine& engine, const SeekTarget& target) {
    engine.state.seekRequest.store(packSeek(target), kRelaxed);
}

bool pendingSeek(const Engine& engine, SeekTarget& target) {
    const uint64_t packed = engine.state.seekRequest.load(kRelaxed);
    if (packed == 0) return false;
    target = unpackSeek(packed);
    return true;
}

uint32_t stepBaseForRate(uint32_t rate) {
    if (rate == 0) return 0;
    const double quotient = 438272.0 / (rate / 8363.0);
    return static_cast<uint32_t>(static_cast<uint64_t>(quotient) * kPeriodScale);
}

void startSong(Engine& engine) {
    if (!engine.module) {
        engine.voices.clear();
        engine.channels.clear();
        engine.state.playingCells = nullptr;
        engine.state.songEnded.store(true, kRelaxed);
        return;
    }
    Module& module = *engine.module;
    PlayerState& state = engine.state;
    const uint32_t rate = engine.settings.Frequency;
    state.rate = rate;
    module.stepBase = stepBaseForRate(rate);

    engine.channels.assign(module.channelCount, ChannelState{});
    engine.voices.resize(module.channelCount);
    for (uint32_t i = 0; i < module.channelCount; ++i) {
        ChannelState& channel = engine.channels[i];
        channel.channel = i;
        engine.voices[i] = &channel;
        channel.delayedPeriod = 255;
        channel.volume = 0;
        applyVolume(channel, 0);
        channel.leftPan = i < module.panLeft.size() ? module.panLeft[i] : 0;
        channel.rightPan = i < module.panRight.size() ? module.panRight[i] : 0;
    }

    if (module.rules.instrumentChannels) startInstrumentSong(engine);

    const uint32_t tempo = module.initialTempo != 0 ? module.initialTempo : kDefaultTempo;
    state.tempo.store(tempo, kRelaxed);
    state.speed.store(static_cast<uint16_t>(module.initialSpeed), kRelaxed);
    state.samplesPerTick = samplesPerTickFor(rate, tempo);
    state.tickCounter = 1;
    state.row.store(kRowsPerPattern, kRelaxed);
    state.rowCount = kRowsPerPattern;
    state.nextOrder.store(0, kRelaxed);
    state.currentPattern.store(0, kRelaxed);
    state.cursor = kNoCellIndex;
    state.playingCells = nullptr;
    state.tickFrameCounter = 0;
    state.playTime.store(0, kRelaxed);
    state.patternDelay = 0;
    state.loopCount = -1;
    state.loopStartSet = false;
    state.jumpPending = false;
    state.jumpOrder = 0;
    state.breakPending = false;
    state.breakRow = 0;
    state.rowAfterPattern = 0;
    state.repeatsLeft = engine.repeatCount;
    state.repeatJump = false;
    state.wentBack = false;
    state.rewinding.store(false, kRelaxed);
    state.fastForward.store(false, kRelaxed);
    state.songEnded.store(false, kRelaxed);
    state.playableOrders = static_cast<uint32_t>(std::min<size_t>(module.songLength, module.orders.size()));
    state.songStart = engine.songStart;
    uint64_t seek = 0;
    if (engine.startAt) {
        seek = packSeek(*engine.startAt);
    } else if (engine.songStart != 0) {
        seek = packSeek(SeekTarget{engine.songStart, 0, 0, 0});
    }
    state.seekRequest.store(seek, kRelaxed);

    buildRowIndexes(module, state);
    state.history.prepare(historyKeyWords(module, static_cast<uint32_t>(engine.channels.size())));
    state.historyStale = false;

    engine.resetMixState();
    state.songEnded.store(false, kRelaxed);
    engine.outputStopped.store(false, kRelaxed);
    engine.playbackFinished.store(false, kRelaxed);
    // An instrument song's first row sounds from the first frame, as its tracker played it; the
    // other formats keep a tick of silence before it.
    if (module.rules.instrumentChannels) playTick(engine);
}

void playTick(Engine& engine) {
    PlayerState& state = engine.state;
    if (state.seekRequest.load(kRelaxed) != 0) takeSeek(engine);
    // The tempo in force at the start of the tick sets its length; it is never 0.
    const uint32_t tickMicros = kMicrosPerTickAtTempo1 / std::max(state.tempo.load(kRelaxed), 1u);
    const uint32_t playTime = state.playTime.load(kRelaxed);
    if (state.rewinding.load(kRelaxed)) {
        // Rewinding past the song start would wrap the clock to 71 minutes: stop at 0 instead.
        state.playTime.store(playTime > tickMicros ? playTime - tickMicros : 0, kRelaxed);
    } else {
        state.playTime.store(playTime + tickMicros, kRelaxed);
    }

    const uint32_t channelCount = static_cast<uint32_t>(engine.channels.size());
    const bool instruments = engine.module != nullptr && engine.module->rules.instrumentChannels;
    --state.tickCounter;
    if (state.tickCounter != 0) {
        if (instruments) {
            instrumentEffectTick(engine);
            updateInstrumentVoices(engine);
            return;
        }
        for (ChannelState& channel : engine.channels) {
            if (channel.effect != 0 || channel.param != 0) runEffect(engine, channel, false);
        }
        return;
    }
    state.tickCounter = state.speed.load(kRelaxed);

    if (state.patternDelay != 0) {
        --state.patternDelay;
        if (instruments) {
            instrumentRepeatTick(engine);
            updateInstrumentVoices(engine);
            return;
        }
        // The row repeats without being read again; its effects go on over the next ticks.
        for (ChannelState& channel : engine.channels) {
            channel.volumeSlideActive = true;
            channel.volumeSlideOnce = true;
        }
        return;
    }

    const bool rewinding = state.rewinding.load(kRelaxed);
    // Rows stepped back are played again by choice: what the song did before no longer counts.
    if (rewinding) state.historyStale = true;
    const bool moved = rewinding ? reverseStep(engine) : forwardStep(engine);
    if (!moved) return;
    const uint32_t row = state.row.load(kRelaxed);
    if (instruments) {
        instrumentRowTick(engine, row);
        updateInstrumentVoices(engine);
        return;
    }
    for (uint32_t i = 0; i < channelCount; ++i) processChannel(engine, i, row);
}

bool countFrame(Engine& engine) {
    PlayerState& state = engine.state;
    const bool fast = state.rewinding.load(kRelaxed) || state.fastForward.load(kRelaxed);
    state.tickFrameCounter += fast ? 16 : 1;
    if (state.tickFrameCounter < state.samplesPerTick) return false;
    state.tickFrameCounter -= state.samplesPerTick;
    if (state.songEnded.load(kRelaxed)) {
        engine.playbackFinished.store(true, kRelaxed);
    } else {
        playTick(engine);
    }
    return true;
}

}  // namespace tarvex
