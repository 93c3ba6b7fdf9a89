// Builds Modules in memory for the engine tests, and plays them tick by tick.
//
//   ModuleBuilder song(4);                                  // four channels, MOD rules
//   song.sample({.volume = 48});                            // sample 1
//   song.cell(0, 0, 1, {.period = 428, .sample = 1, .effect = 1, .param = 4});
//   TestSong played(song);                                  // started at 44100 Hz
//   played.tick();                                          // the first tick reads row 0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/Engine.h"
#include "engine/Stepper.h"
#include "model/Module.h"

namespace tarvex::test {

struct CellFields {
    uint32_t period = 0;  // plain period (428 = C-6); 0 none; kNoteOff
    uint32_t sample = 0;  // 1-based, 0 none
    uint8_t effect = 0;
    uint8_t param = 0;
    int32_t volume = -1;  // volume column, -1 none
};

struct SampleFields {
    uint32_t length = 4000;
    uint32_t volume = 64;
    uint32_t baseFrequency = 8363;
    int8_t finetune = 0;
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
};

class ModuleBuilder {
   public:
    explicit ModuleBuilder(uint32_t channelCount = 4);

    ModuleBuilder& format(uint8_t formatType);
    ModuleBuilder& tempo(uint32_t initialTempo);
    ModuleBuilder& speed(uint32_t initialSpeed);
    // Appends a sample; the first one added is sample number 1.
    ModuleBuilder& sample(const SampleFields& fields = {});
    // At least this many patterns (patterns named by cells exist anyway).
    ModuleBuilder& patternCount(uint32_t count);
    ModuleBuilder& cell(uint32_t pattern, uint32_t row, uint32_t channel, const CellFields& fields);
    // Cells for rows 0, 1, ... of pattern 0 on one channel; empty cells leave their row empty.
    ModuleBuilder& rows(uint32_t channel, const std::vector<CellFields>& cells);
    // The order list, played in full; {0} when never given.
    ModuleBuilder& orders(std::vector<uint32_t> list);
    // Cuts the played length to count entries of the order list.
    ModuleBuilder& songLength(uint32_t count);

    std::unique_ptr<Module> build() const;

   private:
    std::unique_ptr<Module> module_;
    std::vector<uint32_t> orders_ = {0};
    int64_t songLength_ = -1;
    uint32_t minPatterns_ = 1;
};

// An engine playing a built module without a mixer.
class TestSong {
   public:
    explicit TestSong(const ModuleBuilder& builder, uint32_t rate = 44100, bool loopsAllowed = true);

    bool tick() { return stepper.tick(); }
    // Runs count ticks (fewer if the song ends first).
    uint32_t run(uint32_t count) { return stepper.run(count); }
    const ChannelState& channel(uint32_t index = 0) const { return stepper.channel(index); }
    ChannelState& mutableChannel(uint32_t index = 0) { return engine.channels.at(index); }
    const PlayerState& state() const { return engine.state; }
    uint32_t row() const { return engine.state.row.load(); }
    uint32_t order() const { return engine.state.nextOrder.load() - 1; }
    bool ended() const { return stepper.ended(); }
    const Sample* sample(uint32_t number) const { return &engine.module->samples.at(number - 1); }
    // Runs count ticks and lists field(channel) after each.
    std::vector<int64_t> trace(uint32_t count, const std::function<int64_t(const ChannelState&)>& field,
                               uint32_t channelIndex = 0);

    Engine engine;
    Stepper stepper{engine};
};

}  // namespace tarvex::test
