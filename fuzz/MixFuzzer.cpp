// The fast mixer against the plain per-frame reference of the tests: the same playback input (see
// FuzzSupport.h, cut to two seconds) rendered by both, segment by segment; every output byte, every
// channel's mixer fields and the song position must agree.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "ReferenceMixer.h"
#include "audio/Player.h"

namespace {

using namespace tarvex;

constexpr uint32_t kMaxEighths = 16;

[[noreturn]] void fail(const char* what, uint64_t frame) {
    std::fprintf(stderr, "fast and reference mixers differ: %s by frame %llu\n", what,
                 static_cast<unsigned long long>(frame));
    std::abort();
}

bool sameChannels(const Player& a, const Player& b) {
    if (a.channels.size() != b.channels.size()) return false;
    for (size_t c = 0; c < a.channels.size(); ++c) {
        const ChannelState& x = a.channels[c];
        const ChannelState& y = b.channels[c];
        if (x.position != y.position || x.positionFraction != y.positionFraction ||
            x.noteStarted != y.noteStarted || x.lastMixValue != y.lastMixValue || x.step != y.step ||
            x.period != y.period) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PlayInput input = decodePlayInput({data, size});
    input.eighths = std::min(input.eighths, kMaxEighths);
    Player fast;
    Player reference;
    for (Player* player : {&fast, &reference}) {
        if (!loadModuleBytes(input.file, input.extension, player->createModule()).loaded) return 0;
        startFuzzSong(*player, input);
    }
    const uint32_t segment =
        std::max<uint32_t>(segmentFramesFor(input.rate, input.bits, input.channels, input.bufferLength), 1);
    std::vector<uint8_t> fastBytes(static_cast<size_t>(segment) * fast.mix.bytesPerFrame);
    std::vector<uint8_t> referenceBytes(fastBytes.size());
    const uint64_t total = uint64_t{input.rate} * input.eighths / 8;
    uint64_t rendered = 0;
    for (uint32_t p = 0; p < kPlayPhases; ++p) {
        const PlayPhase& phase = input.phases[p];
        for (Player* player : {&fast, &reference}) {
            if (phase.restart && p > 0) startFuzzSong(*player, input);
            applyPhase(*player, phase);
        }
        const uint64_t end = p + 1 == kPlayPhases ? total : total * (p + 1) / kPlayPhases;
        while (rendered < end) {
            const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(segment, end - rendered));
            renderFrames(fast, fastBytes.data(), frames);
            test::referenceRenderFrames(reference, referenceBytes.data(), frames);
            rendered += frames;
            if (std::memcmp(fastBytes.data(), referenceBytes.data(),
                            size_t{frames} * fast.mix.bytesPerFrame) != 0) {
                fail("output bytes", rendered);
            }
            if (!sameChannels(fast, reference)) fail("channel state", rendered);
            if (fast.state.row != reference.state.row || fast.state.nextOrder != reference.state.nextOrder ||
                fast.state.tickFrameCounter != reference.state.tickFrameCounter) {
                fail("song position", rendered);
            }
            if (fast.mix.ispMemoryLeft != reference.mix.ispMemoryLeft ||
                fast.mix.ispMemoryRight != reference.mix.ispMemoryRight) {
                fail("smoothing memory", rendered);
            }
        }
    }
    return 0;
}
