// Files that once broke other players: each one that loads is played for an hour of song time or
// to its end, with loops off (the duration) and with loops on while rewinding now and then.
#include <gtest/gtest.h>

#include "engine/Duration.h"
#include "engine/Stepper.h"
#include "formats/Loader.h"
#include "support/Corpus.h"

namespace tarvex::test {
namespace {

bool pointsIntoSamples(const Module& module, const Sample* sample) {
    if (sample == nullptr) return true;
    const Sample* first = module.samples.data();
    return sample >= first && sample < first + module.samples.size();
}

// Plays with loops on for up to an hour, rewinding 50 ticks after every 2000; returns the ticks run.
uint64_t playWithRewinds(Engine& engine) {
    engine.settings.LoopsAllowed = true;
    Stepper stepper(engine);
    stepper.start(44100);
    while (!stepper.ended() && engine.state.playTime < kDurationLimitMicros && stepper.ticks() < 2000000) {
        setRewinding(engine, stepper.ticks() % 2000 >= 1950);
        stepper.tick();
    }
    return stepper.ticks();
}

TEST(MalformedCorpus, EveryLoadableFilePlaysAnHourOrToItsEnd) {
    const auto files = corpusFiles("malformed");
    if (files.empty()) GTEST_SKIP() << noCorpusMessage();
    size_t loaded = 0;
    for (const auto& path : files) {
        Module module;
        if (!loadModuleFile(path.string(), module).loaded) continue;
        ++loaded;
        const SongDuration first = measureDuration(module);
        const SongDuration second = measureDuration(module);
        EXPECT_EQ(first.ended, second.ended) << path;  // the engine starts from scratch each time
        EXPECT_EQ(first.milliseconds, second.milliseconds) << path;

        Engine engine;
        engine.module = std::make_unique<Module>(std::move(module));
        EXPECT_LT(playWithRewinds(engine), 2000000u) << path;
        for (const ChannelState& channel : engine.channels) {
            EXPECT_TRUE(pointsIntoSamples(*engine.module, channel.sample)) << path;
            EXPECT_TRUE(pointsIntoSamples(*engine.module, channel.pendingSample)) << path;
        }
    }
    EXPECT_GT(loaded, files.size() / 2);
}

}  // namespace
}  // namespace tarvex::test
