// The mixer's worst case: 32 channels, all at period 1 (a step of about 1300 source frames per output
// frame at 44100 Hz) on a loop of 2 frames, every option on. The advance is closed form, so this must
// cost about what an ordinary note does; the ordinary note and a long loop are run beside it for
// comparison. Reports output frames per second and the multiple of real time ("x_realtime").
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "audio/Player.h"

namespace {

using namespace tarvex;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChannels = 32;

// A module without order positions: its first tick ends the song and then leaves the channels
// sounding as they were set up.
std::unique_ptr<Module> loopModule(uint32_t loopLength) {
    auto module = std::make_unique<Module>();
    module->channelCount = kChannels;
    module->globalVolume = 64;
    module->initialSpeed = 6;
    module->initialTempo = 125;
    module->orders.assign(128, 0);
    module->panLeft.assign(kChannels, 512);
    module->panRight.assign(kChannels, 512);
    Sample sample;
    sample.length = loopLength + 16;
    sample.data.resize(sample.length);
    for (uint32_t i = 0; i < sample.length; ++i)
        sample.data[i] = static_cast<int16_t>(i % 2 ? 20000 : -20000);
    sample.loopStart = 16;
    sample.loopEnd = 16 + loopLength;
    sample.baseFrequency = 8363;
    module->samples.push_back(std::move(sample));
    module->sampleCount = 1;
    return module;
}

void render(benchmark::State& state) {
    const auto period = static_cast<int32_t>(state.range(0));
    const auto loopLength = static_cast<uint32_t>(state.range(1));
    Player player;
    player.module = loopModule(loopLength);
    player.settings.Frequency = kRate;
    startSong(player);
    for (ChannelState& channel : player.channels) {
        channel.sample = &player.module->samples[0];
        channel.period = period;
        channel.step = player.module->stepBase / static_cast<uint32_t>(period);
        channel.position = static_cast<int32_t>(&channel - player.channels.data()) % 16;
        channel.leftVolume = 64;
        channel.rightVolume = 48;
        channel.noteStarted = true;
    }
    const uint32_t frames = segmentFramesFor(kRate, 16, 2, player.settings.BufferLength);
    std::vector<uint8_t> buffer(static_cast<size_t>(frames) * player.mix.bytesPerFrame);
    int64_t rendered = 0;
    for (auto _ : state) {
        renderFrames(player, buffer.data(), frames);
        benchmark::DoNotOptimize(buffer.data());
        rendered += frames;
    }
    // Every channel still sounds: the loop kept them inside the sample.
    for (const ChannelState& channel : player.channels) {
        if (channel.position < 16 || channel.position >= static_cast<int32_t>(16 + loopLength)) {
            state.SkipWithError("a channel left its loop");
        }
    }
    state.counters["step"] = static_cast<double>(player.channels[0].step);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(rendered), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(rendered) / kRate, benchmark::Counter::kIsRate);
}

// {period x16, loop length}: the worst case first, then an ordinary note on the same tiny loop and
// the tiny step on a long loop.
BENCHMARK(render)
    ->ArgNames({"period", "loop"})
    ->Args({1, 2})
    ->Args({428 * 16, 2})
    ->Args({1, 100000})
    ->Args({428 * 16, 100000});

}  // namespace

BENCHMARK_MAIN();
