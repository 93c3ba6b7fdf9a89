// renderFrames per module: output frames per second of CPU time, and the same as a multiple of real
// time ("x_realtime"), at 44100 Hz, 16-bit stereo, one default device segment (1378 frames) per
// call. render/: every mixer option on; render_no_options/: all four off; render_plain_loops/: every
// option on without the vector loops. The song restarts when it ends; the restart is not timed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/Player.h"
#include "formats/Loader.h"

namespace {

using tarvex::Player;

constexpr uint32_t kRate = 44100;

void renderModule(benchmark::State& state, const std::string& path, bool allOptions, bool vectorKernels) {
    Player player;
    if (!tarvex::loadModuleFile(path, player.createModule()).loaded) {
        state.SkipWithError("cannot load the module");
        return;
    }
    player.settings.Frequency = kRate;
    player.settings.ISP = allOptions;
    player.settings.Click = allOptions;
    player.settings.WideStereo = allOptions;
    player.settings.Clipping = allOptions;
    player.settings.LoopsAllowed = false;
    tarvex::startSong(player);
    player.mix.vectorKernels = vectorKernels;
    const uint32_t frames = tarvex::segmentFramesFor(kRate, 16, 2, player.settings.BufferLength);
    std::vector<uint8_t> buffer(static_cast<size_t>(frames) * player.mix.bytesPerFrame);
    int64_t rendered = 0;
    for (auto _ : state) {
        if (player.playbackFinished) {
            state.PauseTiming();
            tarvex::startSong(player);
            state.ResumeTiming();
        }
        tarvex::renderFrames(player, buffer.data(), frames);
        benchmark::DoNotOptimize(buffer.data());
        rendered += frames;
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(rendered), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(rendered) / kRate, benchmark::Counter::kIsRate);
}

std::vector<std::string> benchModules() {
    const char* fromEnvironment = std::getenv("TARVEX_CORPUS");
    const std::filesystem::path corpus(fromEnvironment != nullptr && *fromEnvironment ? fromEnvironment
                                                                                      : TARVEX_CORPUS);
    std::ifstream list(std::filesystem::path(__FILE__).parent_path() / "PeerModules.txt");
    std::vector<std::string> modules;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line[0] != '#') modules.push_back((corpus / line).string());
    }
    return modules;
}

}  // namespace

int main(int argc, char** argv) {
    for (const std::string& path : benchModules()) {
        const std::string name = std::filesystem::path(path).filename().string();
        benchmark::RegisterBenchmark(("render/" + name).c_str(), renderModule, path, true, true);
        benchmark::RegisterBenchmark(("render_no_options/" + name).c_str(), renderModule, path, false, true);
        benchmark::RegisterBenchmark(("render_plain_loops/" + name).c_str(), renderModule, path, true, false);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
