// Effect code 14: the extended commands, chosen by the parameter's high nibble; y is the low nibble.
#include <array>

#include "core/PitchTables.h"
#include "engine/Channel.h"
#include "engine/Effects.h"

namespace tarvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kNoDelayedNote = 255;

using ExtendedHandler = void (*)(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick);

void nothing(Engine&, ChannelState&, uint8_t, bool) {}

// One-shot slide: set up on the row tick, applied once on the first effect tick.
void setUpFinePortamento(ChannelState& channel, uint8_t y, bool up) {
    const int32_t amount = y * static_cast<int32_t>(kPeriodScale);
    channel.portaActive = true;
    channel.portaDelta = up ? -amount : amount;
    channel.portaStart = channel.portaPeriod = channel.period;
    channel.portaTarget = up ? kSlideUpTarget : kSlideDownTarget;
    channel.portaOnce = true;
}

void finePortamentoUp(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) {
        setUpFinePortamento(channel, y, true);
    } else {
        updateSlides(engine, channel);
    }
}

void finePortamentoDown(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) {
        setUpFinePortamento(channel, y, false);
    } else {
        updateSlides(engine, channel);
    }
}

void glissandoControl(Engine&, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) channel.glissando = (y & 1) != 0;
}

void vibratoWaveform(Engine&, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) channel.vibratoWave = y & 3;
}

void tremoloWaveform(Engine&, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) channel.tremoloWave = y & 3;
}

// Replays the last note at the frequency of finetune y; later notes use the sample's own again.
void setFinetune(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (!firstTick) return;
    channel.period = static_cast<int32_t>(static_cast<uint32_t>(channel.notePeriod) * kReferenceFrequency /
                                          FinetuneTable[y]);
    setStep(channel, engine.module->stepBase, channel.period);
}

// y = 0 marks the loop start at this row. y > 0 loops back y times (the rows play y + 1 times in
// all); without a mark it loops from row 0 of the playing pattern. LoopsAllowed does not limit it.
// The loop state lives in owner: the player's one state for S3M and STM, which all channels share,
// or the commanding channel's own for MOD, as the trackers that wrote those files keep it, so that
// loops on two channels of one row nest instead of restarting each other for ever.
template <typename LoopOwner>
void loopWith(LoopOwner& owner, PlayerState& state, uint8_t y) {
    const uint32_t playingOrder = state.nextOrder.load(kRelaxed) - 1;
    if (y == 0) {
        owner.loopRow = state.row.load(kRelaxed);
        owner.loopOrder = playingOrder;
        owner.loopStartSet = true;
        return;
    }
    int32_t remaining = owner.loopCount;
    if (remaining == -1) {
        if (!owner.loopStartSet) {
            owner.loopRow = 0;
            owner.loopOrder = playingOrder;
            owner.loopStartSet = true;
        }
        remaining = y;
    }
    if (remaining > 0 && owner.loopStartSet) {
        state.jumpOrder = owner.loopOrder;
        state.breakRow = owner.loopRow;
        state.jumpPending = true;
        state.repeatJump = false;
        state.breakPending = true;
        owner.loopCount = remaining - 1;
    } else {
        owner.loopCount = -1;
        owner.loopStartSet = false;
    }
}

void patternLoop(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (!firstTick) return;
    if (engine.module->rules.patternLoopPerChannel) {
        loopWith(channel, engine.state, y);
    } else {
        loopWith(engine.state, engine.state, y);
    }
}

// Sixteen pan positions: y = 7 gives right 477, left 546.
void panning16(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (!firstTick || engine.module->channelCount <= 1) return;
    channel.rightPan = y * 1024 / 15;
    channel.leftPan = (15 - y) * 1024 / 15;
    applyVolume(channel, channel.volume);
}

// The same as code 17, given the whole parameter byte 0x90..0x9F.
void retriggerEvery(Engine& engine, ChannelState& channel, uint8_t, bool firstTick) {
    if (firstTick) {
        setUpRetrigger(engine, channel, channel.param);
    } else {
        countDownRetrigger(channel);
    }
}

void setUpFineVolumeSlide(ChannelState& channel, int32_t amount) {
    channel.volumeSlide = amount;
    channel.volumeSlideActive = true;
    channel.volumeSlideOnce = true;
}

void fineVolumeUp(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) {
        setUpFineVolumeSlide(channel, y);
    } else {
        updateSlides(engine, channel);
    }
}

void fineVolumeDown(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) {
        setUpFineVolumeSlide(channel, -static_cast<int32_t>(y));
    } else {
        updateSlides(engine, channel);
    }
}

// Silences the channel after y ticks; y = 0 wraps the 8-bit counter and cuts nothing in the row.
void noteCut(Engine&, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) {
        channel.noteCutCounter = y;
        return;
    }
    --channel.noteCutCounter;
    if (channel.noteCutCounter != 0) return;
    channel.volume = 0;
    applyVolume(channel, 0);
}

// Starts the note the sequencer held back in delayedPeriod after y ticks. With y = 0, or y not
// below the speed, the note is lost.
void noteDelay(Engine& engine, ChannelState& channel, uint8_t y, bool firstTick) {
    if (firstTick) {
        channel.noteDelayCounter = y;
        return;
    }
    --channel.noteDelayCounter;
    if (channel.noteDelayCounter != 0 || channel.delayedPeriod == kNoDelayedNote) return;
    if (channel.pendingSample != nullptr && channel.pendingSample != channel.sample) {
        channel.sample = channel.pendingSample;
        channel.position = 0;
        channel.noteStarted = true;
    }
    if (channel.sample != nullptr) {
        channel.period = static_cast<int32_t>(static_cast<uint32_t>(channel.delayedPeriod) *
                                              kReferenceFrequency / channel.sample->baseFrequency);
        setStep(channel, engine.module->stepBase, channel.period);
        channel.position = 0;
        channel.noteStarted = true;
    } else {
        channel.step = 0;
    }
    channel.delayedPeriod = kNoDelayedNote;
}

void patternDelay(Engine& engine, ChannelState&, uint8_t y, bool firstTick) {
    if (firstTick) engine.state.patternDelay = y;
}

const std::array<ExtendedHandler, 16> extendedHandlers = {
    nothing,             // 0
    finePortamentoUp,    // 1
    finePortamentoDown,  // 2
    glissandoControl,    // 3
    vibratoWaveform,     // 4
    setFinetune,         // 5
    patternLoop,         // 6
    tremoloWaveform,     // 7
    panning16,           // 8
    retriggerEvery,      // 9
    fineVolumeUp,        // A
    fineVolumeDown,      // B
    noteCut,             // C
    noteDelay,           // D
    patternDelay,        // E
    nothing,             // F
};

}  // namespace

void extendedCommand(Engine& engine, ChannelState& channel, bool firstTick) {
    extendedHandlers[channel.param >> 4](engine, channel, channel.param & 0x0F, firstTick);
}

}  // namespace tarvex
