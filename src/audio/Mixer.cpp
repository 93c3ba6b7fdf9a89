#include "audio/Mixer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "audio/MixKernels.h"
#include "audio/MixOutput.h"
#include "audio/Player.h"

namespace tarvex {

namespace {

using namespace mixkernels;

uint32_t monotonicMillis() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

uint32_t effectiveChannelCount(uint32_t channelCount) {
    return channelCount <= 4 ? channelCount : channelCount / 2;
}

// What a run reads once at its start.
struct RunOptions {
    bool isp;
    bool click;
    bool wide;
    bool clipping;
    int32_t separation;      // percent, 0..200; 100 keeps the plain tail loops
    uint32_t tickIncrement;  // 16 while fast-forwarding or rewinding, else 1
};

RunOptions readOptions(const Player& player) {
    const PlayerSettings& settings = player.settings;
    RunOptions options;
    options.isp = settings.ISP.load(std::memory_order_relaxed);
    options.click = settings.Click.load(std::memory_order_relaxed);
    options.wide = settings.WideStereo.load(std::memory_order_relaxed);
    options.clipping = settings.Clipping.load(std::memory_order_relaxed);
    options.separation = static_cast<int32_t>(
        std::min<uint32_t>(settings.Separation.load(std::memory_order_relaxed), kMaxSeparation));
    const bool fast = player.state.fastForward.load(std::memory_order_relaxed) ||
                      player.state.rewinding.load(std::memory_order_relaxed);
    options.tickIncrement = fast ? 16 : 1;
    return options;
}

uint32_t framesToTick(const PlayerState& state, uint32_t increment) {
    const uint32_t counter = state.tickFrameCounter;
    const uint32_t target = state.samplesPerTick;
    if (counter >= target || target - counter <= increment) return 1;
    const uint32_t left = target - counter;
    return increment == 1 ? left : (left + increment - 1) / increment;
}

// The gain a ramp uses in its step under way.
int32_t rampGain(int32_t from, int32_t to, uint32_t step) {
    if (step >= kRampSteps) return to;
    return static_cast<int32_t>(from + (int64_t{to} - from) * static_cast<int64_t>(step + 1) / kRampSteps);
}

// Walks the voice's ramp towards gains gl and gr, step by step, as far as it runs within frames
// (starting one when the gains changed), handing each step to mix(first frame, frames, gains);
// returns the frames walked. The steps count frames of the output, so that where a render is cut
// into runs changes nothing.
template <class Mix>
uint32_t rampSteps(Voice& voice, uint32_t stepFrames, uint32_t frames, int32_t gl, int32_t gr,
                   const Mix& mix) {
    if (voice.rampFromSilence) {
        voice.rampFromSilence = false;
        voice.rampToLeft = voice.rampToRight = 0;
        voice.rampStep = kRampSteps;
    }
    if (gl != voice.rampToLeft || gr != voice.rampToRight) {
        voice.rampFromLeft = rampGain(voice.rampFromLeft, voice.rampToLeft, voice.rampStep);
        voice.rampFromRight = rampGain(voice.rampFromRight, voice.rampToRight, voice.rampStep);
        voice.rampToLeft = gl;
        voice.rampToRight = gr;
        voice.rampStep = 0;
        voice.rampFrame = 0;
    }
    uint32_t done = 0;
    while (voice.rampStep < kRampSteps && done < frames) {
        const uint32_t n = std::min(stepFrames - voice.rampFrame, frames - done);
        mix(done, n, rampGain(voice.rampFromLeft, gl, voice.rampStep),
            rampGain(voice.rampFromRight, gr, voice.rampStep));
        done += n;
        voice.rampFrame += n;
        if (voice.rampFrame >= stepFrames) {
            ++voice.rampStep;
            voice.rampFrame = 0;
        }
    }
    return done;
}

// Whether the voice is heard in a run at gains gl and gr, counting a ramp under way or to come.
bool heard(const Voice& voice, int32_t gl, int32_t gr) {
    if (gl != 0 || gr != 0) return true;
    if (!voice.rampGains || voice.rampFromSilence) return false;
    return voice.rampToLeft != 0 || voice.rampToRight != 0 || voice.rampStep < kRampSteps;
}

// Filtered voices that are heard go through the filter kFilterLanes side by side: their values at
// gain 1 first, then the filter, then the gains (with their ramps) onto the accumulators.
struct FilterGroup {
    Voice* voices[simd::kFilterLanes] = {};
    int32_t gainLeft[simd::kFilterLanes] = {};
    int32_t gainRight[simd::kFilterLanes] = {};
    uint32_t lasts[simd::kFilterLanes] = {};  // frames the sample lasts
    uint32_t count = 0;
    uint32_t values[simd::kFilterLanes][kMaxRunFrames];
    double y[simd::kFilterLanes][kMaxRunFrames];
};

void addFilteredSides(const double* y, uint32_t frames, int32_t gl, int32_t gr, const Divider& divider,
                      bool vector, uint32_t* left, uint32_t* right) {
    if ((gl == 0 && gr == 0) || frames == 0) return;
    const double scaleLeft = static_cast<double>(gl) / divider.divisor;
    const double scaleRight = static_cast<double>(gr) / divider.divisor;
    const uint32_t done = vector ? simd::addFilteredBlocks(y, frames, scaleLeft, scaleRight, left, right) : 0;
    addFiltered(y, done, frames, scaleLeft, scaleRight, left, right);
}

void mixFilterGroup(FilterGroup& group, bool vector, const Divider& divider, uint32_t stepFrames,
                    uint32_t frames, uint32_t* left, uint32_t* right) {
    const uint32_t lanes = group.count;
    group.count = 0;
    // Each filter runs on over the whole run, through the silence after a sample that ended (its
    // voice has stopped; only what it played reaches the sides), so that the lanes keep together.
    const uint32_t* values[simd::kFilterLanes];
    double* y[simd::kFilterLanes];
    for (uint32_t i = 0; i < simd::kFilterLanes; ++i) {
        if (i >= lanes) group.voices[i] = nullptr;
        values[i] = group.values[i];
        y[i] = group.y[i];
    }
    const uint32_t together = vector && simd::filterLanes(group.voices, values, y, frames) ? frames : 0;
    for (uint32_t i = 0; i < lanes; ++i) {
        Voice& voice = *group.voices[i];
        const uint32_t last = group.lasts[i];
        filterValues(voice, group.values[i], group.y[i], together, frames);
        const double* out = group.y[i];
        const auto mix = [&](uint32_t first, uint32_t n, int32_t gl, int32_t gr) {
            const uint32_t heardFrames = first < last ? std::min(n, last - first) : 0;
            addFilteredSides(out + first, heardFrames, gl, gr, divider, vector, left + first, right + first);
        };
        const int32_t gl = group.gainLeft[i], gr = group.gainRight[i];
        const uint32_t done = voice.rampGains ? rampSteps(voice, stepFrames, frames, gl, gr, mix) : 0;
        if (done < frames) mix(done, frames - done, gl, gr);
    }
}

void mixChannels(Player& player, const RunOptions& options, const Divider& divider, bool vector,
                 uint32_t frames, uint32_t* left, uint32_t* right) {
    const int64_t globalVolume = player.module ? player.module->globalVolume : 0;
    // Ramps last kRampSteps steps of the length the module's rules ask for.
    const uint32_t stepsPerSecond = player.module ? player.module->rules.rampStepsPerSecond : 2000;
    const uint32_t rampStepFrames =
        std::max<uint32_t>(player.state.rate / std::max<uint32_t>(stepsPerSecond, 1), 1);
    const bool anyMuted = player.mutes.any();
    FilterGroup filtered;
    for (Voice* voice : player.voices) {
        // Voices that cannot sound are skipped before any arithmetic.
        if (voice->position == -1 || voice->sample == nullptr || voice->period == 0) continue;
        const SampleView view = viewOf(*voice->sample);
        if (view.length == 0) continue;
        // A voice of a muted channel runs on in silence: no gain, so nothing reaches the accumulators.
        const bool muted = anyMuted && player.mutes.muted(voice->channel);
        const int32_t gl = muted ? 0 : static_cast<int32_t>(voice->leftVolume * globalVolume / 64);
        const int32_t gr = muted ? 0 : static_cast<int32_t>(voice->rightVolume * globalVolume / 64);
        if (voice->filterOn && heard(*voice, gl, gr)) {
            const uint32_t i = filtered.count++;
            filtered.voices[i] = voice;
            filtered.gainLeft[i] = gl;
            filtered.gainRight[i] = gr;
            filtered.lasts[i] =
                unitValues(*voice, view, options.isp, options.click, frames, filtered.values[i], vector);
            if (filtered.count == simd::kFilterLanes)
                mixFilterGroup(filtered, vector, divider, rampStepFrames, frames, left, right);
            continue;
        }
        const auto mix = [&](uint32_t first, uint32_t n, int32_t stepLeft, int32_t stepRight) {
            mixChannelRun(*voice, view, options.isp, options.click, n, left + first, right + first, stepLeft,
                          stepRight, divider, vector);
        };
        const uint32_t done = voice->rampGains ? rampSteps(*voice, rampStepFrames, frames, gl, gr, mix) : 0;
        if (done < frames) mix(done, frames - done, gl, gr);
    }
    if (filtered.count > 0) mixFilterGroup(filtered, vector, divider, rampStepFrames, frames, left, right);
}

}  // namespace

int32_t mixDivisorAtStart(uint32_t channelCount, uint8_t globalVolume, uint32_t gainBits) {
    const int64_t divisor = (static_cast<int64_t>(effectiveChannelCount(channelCount)) * globalVolume)
                            << gainBits;
    return static_cast<int32_t>(std::clamp<int64_t>(divisor, 1, INT32_MAX));
}

int32_t mixDivisorForPreamp(uint32_t channelCount, uint8_t globalVolume, uint32_t preamp, uint32_t gainBits) {
    const int64_t position = std::clamp<uint32_t>(preamp, kMinPreamp, kMaxPreamp);
    const int64_t divisor =
        (static_cast<int64_t>(globalVolume) * effectiveChannelCount(channelCount) << gainBits) * position /
        kDefaultPreamp;
    return static_cast<int32_t>(std::clamp<int64_t>(divisor, 1, INT32_MAX));
}

uint32_t levelLengthFor(uint32_t rate, uint32_t bufferLength) {
    const uint64_t eighths = static_cast<uint64_t>(rate) * bufferLength / 8;
    return static_cast<uint32_t>((eighths + 999) / 1000);
}

uint32_t segmentFramesFor(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t bufferLength) {
    const uint32_t blockAlign = channels * bits / 8;
    if (blockAlign == 0) return 0;
    uint32_t bytes = rate * blockAlign * bufferLength / 8 / 1000;
    bytes = (bytes + 7) / 8 * 8;
    bytes = (bytes + blockAlign - 1) / blockAlign * blockAlign;
    return bytes / blockAlign;
}

void resetMixState(Player& player) {
    MixState& mix = player.mix;
    const PlayerSettings& settings = player.settings;
    const uint32_t channelCount = player.module ? mixChannelsOf(*player.module) : 0;
    const uint8_t globalVolume = player.module ? player.module->globalVolume : 0;
    const uint32_t gainBits = player.module ? player.module->rules.gainBits : 0;
    mix.mixDivisor.store(mixDivisorAtStart(channelCount, globalVolume, gainBits), std::memory_order_relaxed);
    mix.ispMemoryLeft = 0;
    mix.ispMemoryRight = 0;
    mix.renderMillis.store(0, std::memory_order_relaxed);

    // Anything but 8 or 24 bits renders 16; anything but one channel renders stereo.
    mix.outputBits = (settings.Resolution == 8 || settings.Resolution == 24) ? settings.Resolution : 16;
    mix.outputChannels = settings.Channels == 1 ? 1 : 2;
    mix.bytesPerFrame = mix.outputBits / 8 * mix.outputChannels;

    // A delay line needs one entry at least, whatever the rate.
    mix.wideDelayLength = std::max<uint32_t>(settings.Frequency / 50, 1);
    mix.wideReadIndex = 0;
    mix.wideWriteIndex = mix.wideDelayLength - 1;
    mix.wideDelayLeft.assign(mix.wideDelayLength, 0);
    mix.wideDelayRight.assign(mix.wideDelayLength, 0);

    mix.levelLength = levelLengthFor(settings.Frequency, settings.BufferLength);
    const uint32_t capacity = std::max(
        mix.levelLength,
        segmentFramesFor(settings.Frequency, mix.outputBits, mix.outputChannels, settings.BufferLength));
    if (capacity != mix.levelCapacity || !mix.levelLeft) {
        mix.levelLeft = std::make_unique<std::atomic<int16_t>[]>(capacity);
        mix.levelRight = std::make_unique<std::atomic<int16_t>[]>(capacity);
        mix.levelCapacity = capacity;
    } else {
        for (uint32_t i = 0; i < capacity; ++i) {
            mix.levelLeft[i].store(0, std::memory_order_relaxed);
            mix.levelRight[i].store(0, std::memory_order_relaxed);
        }
    }
}

void releaseMixState(Player& player) {
    MixState& mix = player.mix;
    mix.wideDelayLeft = {};
    mix.wideDelayRight = {};
    mix.wideDelayLength = 0;
    mix.wideReadIndex = 0;
    mix.wideWriteIndex = 0;
    mix.levelLeft.reset();
    mix.levelRight.reset();
    mix.levelCapacity = 0;
}

uint32_t framesToNextTick(const Player& player) {
    return framesToTick(player.state, readOptions(player).tickIncrement);
}

uint32_t renderFrames(Player& player, uint8_t* buffer, uint32_t frameCount) {
    const uint32_t start = monotonicMillis();
    MixState& mix = player.mix;
    PlayerState& state = player.state;
    const bool stereo = mix.outputChannels != 1;
    const uint32_t bytesPerFrame = mix.bytesPerFrame;
    // After releaseMixState the delay lines are gone: the cross-feed then stays off.
    const bool haveDelay = mix.wideDelayLength > 0 && mix.wideDelayLeft.size() >= mix.wideDelayLength &&
                           mix.wideDelayRight.size() >= mix.wideDelayLength;
    const bool vector = mix.vectorKernels && simd::available();
    Divider divider;
    TailState tail{mix.ispMemoryLeft,         mix.ispMemoryRight,  mix.wideDelayLeft.data(),
                   mix.wideDelayRight.data(), mix.wideDelayLength, mix.wideReadIndex,
                   mix.wideWriteIndex};
    uint32_t left[kMaxRunFrames];
    uint32_t right[kMaxRunFrames];
    std::atomic<int16_t> scratchLeft[kMaxRunFrames];
    std::atomic<int16_t> scratchRight[kMaxRunFrames];

    mix.finishedAfterFrames = 0;
    uint32_t done = 0;
    while (done < frameCount) {
        const RunOptions options = readOptions(player);
        const int32_t divisor = std::max(mix.mixDivisor.load(std::memory_order_relaxed), 1);
        if (divisor != divider.divisor) divider.set(divisor);

        uint32_t frames = std::min(kMaxRunFrames, frameCount - done);
        const uint32_t untilTick = framesToTick(state, options.tickIncrement);
        const bool tickAtEnd = untilTick <= frames;
        if (tickAtEnd) frames = untilTick;

        if (vector) {
            simd::clearAccumulators(left, right, frames);
        } else {
            std::memset(left, 0, frames * sizeof left[0]);
            std::memset(right, 0, frames * sizeof right[0]);
        }
        mixChannels(player, options, divider, vector, frames, left, right);

        // Level entries go straight into the arrays, or through a scratch pair past their end.
        const uint32_t levelRoom =
            mix.levelsWanted && mix.levelLeft && done < mix.levelCapacity ? mix.levelCapacity - done : 0;
        const bool levelsFit = levelRoom >= frames;
        std::atomic<int16_t>* levelLeft = levelsFit ? mix.levelLeft.get() + done : scratchLeft;
        std::atomic<int16_t>* levelRight = levelsFit ? mix.levelRight.get() + done : scratchRight;
        if (!mix.levelsWanted) levelLeft = levelRight = nullptr;
        const bool wide = options.wide && stereo && haveDelay;
        const bool separate = stereo && options.separation != kSeparationAsMixed;
        tail.separation = options.separation;
        uint8_t* out = buffer + static_cast<size_t>(done) * bytesPerFrame;
        if (vector && mix.outputBits == 16 && !separate) {
            simd::tail16(tail, options.isp, wide, stereo, options.clipping, left, right, frames, out,
                         levelLeft, levelRight);
        } else {
            tailFor(options.isp, wide, stereo, options.clipping, mix.outputBits, separate)(
                tail, left, right, frames, out, levelLeft, levelRight);
        }
        for (uint32_t k = 0; !levelsFit && k < levelRoom; ++k) {
            mix.levelLeft[done + k].store(scratchLeft[k].load(std::memory_order_relaxed),
                                          std::memory_order_relaxed);
            mix.levelRight[done + k].store(scratchRight[k].load(std::memory_order_relaxed),
                                           std::memory_order_relaxed);
        }

        // The tick clock: the counter passes samplesPerTick on the last frame of this run at most.
        state.tickFrameCounter += frames * options.tickIncrement;
        if (tickAtEnd) {
            state.tickFrameCounter -= state.samplesPerTick;
            if (state.songEnded.load(std::memory_order_relaxed)) {
                if (!player.playbackFinished.load(std::memory_order_relaxed)) {
                    mix.finishedAfterFrames = done + frames;
                }
                player.playbackFinished.store(true, std::memory_order_relaxed);
            } else if (player.module) {
                playTick(player);
            }
        }
        done += frames;
    }

    mix.ispMemoryLeft = tail.ispLeft;
    mix.ispMemoryRight = tail.ispRight;
    mix.wideReadIndex = tail.readIndex;
    mix.wideWriteIndex = tail.writeIndex;

    const uint32_t elapsed = monotonicMillis() - start;
    mix.renderMillis.store(elapsed, std::memory_order_relaxed);
    return elapsed;
}

}  // namespace tarvex
