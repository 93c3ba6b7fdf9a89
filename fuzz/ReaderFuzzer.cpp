// One reader through the load dispatcher, the extension fixed at build time (TARVEX_FUZZ_EXTENSION),
// so the reader sees every input. A load must end in a loaded module that keeps the Module's rules
// and size limit, or in a clean refusal. A loaded module's texts and pattern lines are formatted as
// the window and tarvex-cli show them.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "engine/Engine.h"
#include "formats/Loader.h"
#include "ui/PatternFormat.h"

namespace {

constexpr uint32_t kFormattedPatterns = 16;

// One file per process, rewritten for every input: the loader reads a path.
const std::string& inputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        const std::filesystem::path base = dir != nullptr && *dir != 0 ? dir : "/tmp";
        return (base / ("tarvex-fuzz-" + std::to_string(::getpid()) + "." TARVEX_FUZZ_EXTENSION)).string();
    }();
    return path;
}

void fail(const std::string& problem) {
    std::fprintf(stderr, "broken rule: %s\n", problem.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(inputPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    tarvex::Module module;
    const tarvex::LoadOutcome outcome = tarvex::loadModuleFile(inputPath(), module);
    if (outcome.loaded) {
        const std::string problem = tarvex::checkLoadedModule(module, size);
        if (!problem.empty()) fail(problem);
        if (tarvex::resultMessage(outcome.result, outcome.sizeDetail).empty()) fail("no result message");
        if (tarvex::trackerLine(module).empty()) fail("no tracker line");
        // A few patterns are enough to reach every cell form; thousands would only slow the search.
        for (uint32_t p = 0; p < module.patternCount && p < kFormattedPatterns; ++p) {
            if (tarvex::formatPatternLines(module, p).size() != tarvex::rowsOf(module, p))
                fail("pattern lines missing");
        }
    } else if (outcome.result != tarvex::kResultUnsupported) {
        fail("refused with result " + std::to_string(outcome.result));
    } else if (tarvex::moduleFootprint(module) > sizeof(tarvex::Module)) {
        fail("a refused load left data in the module");
    }
    return 0;
}
