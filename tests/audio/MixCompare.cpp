#include "MixCompare.h"

#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "ReferenceMixer.h"
#include "audio/Player.h"

namespace tarvex::test {

namespace {

void setUp(Player& player, const Module& module, const RenderPlan& plan) {
    player.module = std::make_unique<Module>(module);
    player.settings.Frequency = plan.rate;
    player.settings.Resolution = plan.bits;
    player.settings.Channels = plan.channels;
    player.settings.ISP = plan.isp;
    player.settings.Click = plan.click;
    player.settings.WideStereo = plan.wide;
    player.settings.Clipping = plan.clipping;
    player.settings.LoopsAllowed = false;
    startSong(player);
    player.mix.vectorKernels = plan.vectorKernels;
    player.mix.mixDivisor = mixDivisorForPreamp(module.channelCount, module.globalVolume, plan.preamp);
    if (plan.prepare) plan.prepare(player);
}

uint32_t nextCallLength(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0:
            return 1 + rng() % 70;  // around one run
        case 1:
            return 1 + rng() % 1500;  // a device segment
        case 2:
            return 1378;  // the default segment
        default:
            return 1 + rng() % 6000;  // several ticks at once
    }
}

// The same change on both players.
void toggleSomething(std::mt19937& rng, Player& a, Player& b) {
    const uint32_t what = rng() % 9;
    for (Player* p : {&a, &b}) {
        PlayerSettings& s = p->settings;
        switch (what) {
            case 0:
                s.ISP = !s.ISP;
                break;
            case 1:
                s.Click = !s.Click;
                break;
            case 2:
                s.WideStereo = !s.WideStereo;
                break;
            case 3:
                s.Clipping = !s.Clipping;
                break;
            case 4:
                setFastForward(*p, !p->state.fastForward);
                break;
            case 5:
                setRewinding(*p, !p->state.rewinding);
                break;
            default:
                break;
        }
    }
    if (what >= 6) {
        const uint32_t preamp = 1 + rng() % 1024;
        const Module& m = *a.module;
        a.mix.mixDivisor = mixDivisorForPreamp(m.channelCount, m.globalVolume, preamp);
        b.mix.mixDivisor = a.mix.mixDivisor.load();
    }
}

::testing::AssertionResult compareState(const Player& fast, const Player& ref, uint32_t frames) {
    for (size_t c = 0; c < fast.channels.size(); ++c) {
        const ChannelState& f = fast.channels[c];
        const ChannelState& r = ref.channels[c];
        if (f.position != r.position || f.positionFraction != r.positionFraction ||
            f.noteStarted != r.noteStarted || f.lastMixValue != r.lastMixValue) {
            return ::testing::AssertionFailure()
                   << "channel " << c << ": position " << f.position << "/" << r.position << ", fraction "
                   << f.positionFraction << "/" << r.positionFraction << ", noteStarted " << f.noteStarted
                   << "/" << r.noteStarted << ", lastMixValue " << f.lastMixValue << "/" << r.lastMixValue;
        }
    }
    const MixState& fm = fast.mix;
    const MixState& rm = ref.mix;
    if (fm.ispMemoryLeft != rm.ispMemoryLeft || fm.ispMemoryRight != rm.ispMemoryRight ||
        fm.wideReadIndex != rm.wideReadIndex || fm.wideWriteIndex != rm.wideWriteIndex) {
        return ::testing::AssertionFailure() << "mixer memories differ";
    }
    if (fast.state.tickFrameCounter != ref.state.tickFrameCounter ||
        fast.playbackFinished != ref.playbackFinished || fast.state.row != ref.state.row) {
        return ::testing::AssertionFailure() << "tick clock differs";
    }
    const uint32_t levels = std::min(frames, fm.levelCapacity);
    for (uint32_t i = 0; i < levels; ++i) {
        if (fm.levelLeft[i] != rm.levelLeft[i] || fm.levelRight[i] != rm.levelRight[i]) {
            return ::testing::AssertionFailure() << "level entry " << i << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

std::string describe(const RenderPlan& plan) {
    std::ostringstream text;
    text << plan.rate << " Hz " << plan.bits << "-bit " << (plan.channels == 1 ? "mono" : "stereo") << " isp "
         << plan.isp << " click " << plan.click << " wide " << plan.wide << " clip " << plan.clipping
         << " preamp " << plan.preamp << " seed " << plan.seed << (plan.toggles ? " toggling" : "")
         << (plan.vectorKernels ? "" : " plain loops");
    return text.str();
}

::testing::AssertionResult rendersAgree(const Module& module, const RenderPlan& plan) {
    auto fast = std::make_unique<Player>();
    auto ref = std::make_unique<Player>();
    setUp(*fast, module, plan);
    setUp(*ref, module, plan);
    std::mt19937 rng(plan.seed);
    const uint32_t bytesPerFrame = fast->mix.bytesPerFrame;
    std::vector<uint8_t> fastBytes;
    std::vector<uint8_t> refBytes;
    uint32_t rendered = 0;
    while (rendered < plan.frames && !fast->playbackFinished) {
        const uint32_t frames = std::min(nextCallLength(rng), plan.frames - rendered);
        fastBytes.assign(static_cast<size_t>(frames) * bytesPerFrame, 0x5A);
        refBytes.assign(fastBytes.size(), 0xA5);
        renderFrames(*fast, fastBytes.data(), frames);
        referenceRenderFrames(*ref, refBytes.data(), frames);
        for (size_t i = 0; i < fastBytes.size(); ++i) {
            if (fastBytes[i] != refBytes[i]) {
                return ::testing::AssertionFailure()
                       << "byte " << i << " (frame " << rendered + i / bytesPerFrame << ") is "
                       << int(fastBytes[i]) << ", reference " << int(refBytes[i]);
            }
        }
        ::testing::AssertionResult same = compareState(*fast, *ref, frames);
        if (!same) return same << " after frame " << rendered + frames;
        rendered += frames;
        if (plan.toggles && rng() % 3 == 0) toggleSomething(rng, *fast, *ref);
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tarvex::test
