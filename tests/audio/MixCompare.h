// Renders one module with the fast mixer and with the reference side by side and compares every
// byte, level entry and channel field after each call.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "model/Module.h"

namespace tarvex {
class Player;
}

namespace tarvex::test {

struct RenderPlan {
    uint32_t rate = 44100;
    uint32_t bits = 16;
    uint32_t channels = 2;
    bool isp = true;
    bool click = true;
    bool wide = true;
    bool clipping = true;
    uint32_t preamp = 512;
    uint32_t frames = 44100;
    uint32_t seed = 1;          // call lengths and, with toggles, the changes between calls
    bool toggles = false;       // flip options, preamp and transport flags between calls
    bool vectorKernels = true;  // let the fast mixer use its vector loops where the CPU has them
    // Runs on each player after the song start (must do the same to both).
    std::function<void(Player&)> prepare;
};

std::string describe(const RenderPlan& plan);

// Both renders must agree everywhere; stops at the first difference.
::testing::AssertionResult rendersAgree(const Module& module, const RenderPlan& plan);

}  // namespace tarvex::test
