// The fast mixer against the per-frame reference on every file of the corpus: a few seconds each,
// with the option combinations, output formats, rates and preamp positions spread over the files so
// that every combination meets many songs.
#include <gtest/gtest.h>

#include "MixCompare.h"
#include "formats/Loader.h"
#include "support/Corpus.h"

namespace tarvex::test {
namespace {

TEST(MixCorpus, EveryModuleMatchesTheReference) {
    const std::vector<std::filesystem::path> files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << noCorpusMessage();
    static const uint32_t rates[] = {44100, 22050, 48000, 8000, 11025};
    static const uint32_t preamps[] = {512, 256, 1024, 37, 700, 1};
    constexpr uint32_t kPlansPerFile = 6;
    constexpr uint32_t kCombinations = 16 * 6;  // options x (bits x channels)
    uint32_t planIndex = 0;
    uint32_t loaded = 0;
    for (const std::filesystem::path& file : files) {
        Module module;
        if (!loadModuleFile(file.string(), module).loaded) continue;
        ++loaded;
        for (uint32_t j = 0; j < kPlansPerFile; ++j, ++planIndex) {
            // Consecutive plans step through the combinations with a stride coprime to their count.
            const uint32_t combination = (planIndex * 37) % kCombinations;
            const uint32_t options = combination % 16;
            const uint32_t format = combination / 16;
            RenderPlan plan;
            plan.isp = options & 1;
            plan.click = options & 2;
            plan.wide = options & 4;
            plan.clipping = options & 8;
            plan.bits = format % 3 == 0 ? 8 : (format % 3 == 1 ? 16 : 24);
            plan.channels = format < 3 ? 1 : 2;
            // Rate, preamp and loop kind vary independently of the combination (a multiplicative hash).
            const uint32_t spread = planIndex * 2654435761u;
            plan.rate = rates[(spread >> 8) % 5];
            plan.preamp = preamps[(spread >> 16) % 6];
            plan.vectorKernels = (spread >> 24) & 1;
            plan.frames = plan.rate * 4;
            plan.seed = planIndex;
            plan.toggles = j == kPlansPerFile - 1;
            ASSERT_TRUE(rendersAgree(module, plan)) << file.filename() << ": " << describe(plan);
        }
    }
    EXPECT_GT(loaded, files.size() / 2);
}

}  // namespace
}  // namespace tarvex::test
