// The fast mixer against the plain per-frame reference: generated songs and hand-made channel
// states that reach every path (loop ends, tiny loops, huge steps, ramps, carried fractions,
// negative volumes, odd divisors), in every output format and option combination.
#include <gtest/gtest.h>

#include <random>

#include "MixCompare.h"
#include "audio/Player.h"

namespace tarvex::test {
namespace {

std::vector<int16_t> randomData(std::mt19937& rng, uint32_t length) {
    std::vector<int16_t> data(length);
    const uint32_t kind = rng() % 3;
    int32_t value = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (kind == 0) {
            value = static_cast<int16_t>(rng());  // noise over the full range
        } else if (kind == 1) {
            value = std::clamp<int32_t>(value + static_cast<int32_t>(rng() % 4001) - 2000, -32768, 32767);
        } else {
            value = (i / 7) % 2 ? 32767 : -32768;  // full-scale square
        }
        data[i] = static_cast<int16_t>(value);
    }
    return data;
}

Sample randomSample(std::mt19937& rng) {
    static const uint32_t lengths[] = {0, 1, 2, 3, 17, 300, 2000, 9000};
    Sample sample;
    sample.length = lengths[rng() % 8];
    sample.data = randomData(rng, sample.length);
    switch (rng() % 5) {
        case 0:
            break;  // no loop
        case 1:     // an ordinary loop
            if (sample.length > 1) {
                sample.loopStart = rng() % (sample.length - 1);
                sample.loopEnd = sample.loopStart + 1 + rng() % (sample.length - sample.loopStart);
            }
            break;
        case 2:  // a loop of one or two frames at the end
            if (sample.length > 2) {
                sample.loopEnd = sample.length;
                sample.loopStart = sample.length - 1 - rng() % 2;
            }
            break;
        case 3:  // start not below the end, as a cut loop end can leave it
            sample.loopEnd = sample.length / 2 + 1;
            sample.loopStart = sample.loopEnd + rng() % 3;
            break;
        default:
            sample.loopStart = 0;
            sample.loopEnd = sample.length;
            break;
    }
    sample.volume = rng() % 65;
    sample.baseFrequency = rng() % 8 == 0 ? 0 : 4000 + rng() % 30000;
    return sample;
}

Module randomModule(uint32_t seed) {
    std::mt19937 rng(seed);
    static const uint32_t channelCounts[] = {1, 2, 4, 4, 4, 6, 8, 16, 32};
    static const uint8_t volumes[] = {64, 64, 48, 20, 0};
    Module module;
    module.channelCount = channelCounts[rng() % 9];
    module.globalVolume = volumes[rng() % 5];
    module.formatType = rng() % 2 ? kFormatMod : kFormatS3m;
    module.rules = rulesOf(module.formatType);
    module.initialTempo = rng() % 3 ? 125 : 32 + rng() % 224;
    module.initialSpeed = 1 + rng() % 8;
    module.sampleCount = 1 + rng() % 8;
    for (uint32_t i = 0; i < module.sampleCount; ++i) module.samples.push_back(randomSample(rng));
    setDefaultPanning(module);
    if (rng() % 2) {
        for (uint32_t c = 0; c < module.channelCount; ++c) {
            module.panLeft[c] = static_cast<int32_t>(rng() % 1025);
            module.panRight[c] = static_cast<int32_t>(rng() % 1025);
        }
    }
    module.patternCount = 3;
    module.patterns.resize(3);
    for (Pattern& pattern : module.patterns) {
        for (uint32_t row = 0; row < 64; ++row) {
            for (uint32_t c = 0; c < module.channelCount; ++c) {
                if (rng() % 100 >= 30) continue;
                NoteCell cell;
                cell.row = row;
                cell.channel = c;
                cell.period = rng() % 4 ? 113 + rng() % 744 : 0;
                cell.sample = rng() % (module.sampleCount + 1);
                if (rng() % 3 == 0) {
                    cell.effect = static_cast<uint8_t>(rng() % 18);
                    cell.param = static_cast<uint8_t>(rng());
                    // Keep speed and tempo changes from ending the song or crawling.
                    if (cell.effect == 15 || cell.effect == 16)
                        cell.param = static_cast<uint8_t>(3 + rng() % 100);
                    if (cell.effect == 11 || cell.effect == 13) cell.effect = 10;
                }
                cell.volume = rng() % 4 == 0 ? static_cast<int32_t>(rng() % 65) : -1;
                pattern.push_back(cell);
            }
        }
    }
    module.songLength = 1 + rng() % 5;
    module.orders.assign(128, 0);
    for (uint32_t i = 0; i < module.songLength; ++i) module.orders[i] = rng() % 3;
    return module;
}

// Every option combination, every format, several preamp positions, over generated songs.
TEST(MixEquivalence, GeneratedSongsMatchTheReferenceInEveryFormat) {
    static const uint32_t rates[] = {8000, 22050, 44100, 48000};
    static const uint32_t preamps[] = {512, 1, 100, 777, 1024};
    uint32_t seed = 1;
    for (uint32_t options = 0; options < 16; ++options) {
        for (uint32_t format = 0; format < 6; ++format) {
            RenderPlan plan;
            plan.isp = options & 1;
            plan.click = options & 2;
            plan.wide = options & 4;
            plan.clipping = options & 8;
            plan.bits = format % 3 == 0 ? 8 : (format % 3 == 1 ? 16 : 24);
            plan.channels = format < 3 ? 1 : 2;
            plan.rate = rates[seed % 4];
            plan.preamp = preamps[seed % 5];
            plan.frames = plan.rate * 2;
            plan.seed = seed;
            const Module module = randomModule(seed);
            for (const bool vector : {true, false}) {
                plan.vectorKernels = vector;
                ASSERT_TRUE(rendersAgree(module, plan)) << "song " << seed << ": " << describe(plan);
            }
            ++seed;
        }
    }
}

TEST(MixEquivalence, ChangesBetweenCallsApplyFromTheNextFrame) {
    for (uint32_t seed = 200; seed < 240; ++seed) {
        RenderPlan plan;
        plan.seed = seed;
        plan.toggles = true;
        plan.rate = seed % 2 ? 22050 : 44100;
        plan.frames = plan.rate * 3;
        plan.bits = 8 + 8 * (seed % 3);
        plan.channels = 1 + seed % 2;
        plan.vectorKernels = seed % 4 < 2;
        ASSERT_TRUE(rendersAgree(randomModule(seed), plan)) << "song " << seed << ": " << describe(plan);
    }
}

// Channel states the sequencer rarely produces: fractions of 1024 and more, steps of many frames,
// positions past the loop end, ramps from far away, inverted volumes.
TEST(MixEquivalence, HandMadeChannelStatesMatchTheReference) {
    for (uint32_t seed = 500; seed < 600; ++seed) {
        Module module = randomModule(seed);
        module.songLength = 0;  // the first tick ends the song and leaves the channels as set here
        RenderPlan plan;
        plan.seed = seed;
        plan.frames = 3000;
        plan.isp = seed & 1;
        plan.click = seed & 2;
        plan.wide = seed & 4;
        plan.clipping = seed & 8;
        plan.channels = 1 + (seed >> 4) % 2;
        plan.bits = 8 + 8 * (seed % 3);
        plan.prepare = [seed](Player& player) {
            std::mt19937 rng(seed * 7919);
            static const uint32_t steps[] = {0, 1, 194, 1023, 1024, 1025, 3000, 70000, 1500000};
            for (ChannelState& ch : player.channels) {
                if (player.module->samples.empty() || rng() % 5 == 0) continue;
                const Sample& sample = player.module->samples[rng() % player.module->samples.size()];
                ch.sample = &sample;
                ch.period = 1;
                ch.position = sample.length ? static_cast<int32_t>(rng() % (sample.length + 2)) : 0;
                ch.positionFraction = rng() % 3 ? rng() % 1024 : rng() % 100000;
                ch.step = steps[rng() % 9];
                ch.leftVolume = static_cast<int32_t>(rng() % 129) - 64;
                ch.rightVolume = static_cast<int32_t>(rng() % 65);
                ch.noteStarted = rng() % 2;
                ch.lastMixValue = static_cast<int32_t>(rng());
            }
        };
        for (const bool vector : {true, false}) {
            plan.vectorKernels = vector;
            ASSERT_TRUE(rendersAgree(module, plan)) << "state " << seed << ": " << describe(plan);
        }
    }
}

}  // namespace
}  // namespace tarvex::test
