// Playback: the input's header picks the reader, the output format, the duration and the option
// schedule (see FuzzSupport.h); the rest is the module, played through the mixer and sequencer.
#include <cstdio>
#include <cstdlib>

#include "FuzzSupport.h"
#include "audio/Player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarvex::Player player;
    const tarvex::PlayReport report = tarvex::playFuzzInput(player, tarvex::decodePlayInput({data, size}));
    if (!report.problem.empty()) {
        std::fprintf(stderr, "broken rule: %s\n", report.problem.c_str());
        std::abort();
    }
    return 0;
}
