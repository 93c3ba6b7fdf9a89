// The mixer's per-frame arithmetic written out plainly, one frame and one channel at a time, with
// every option read afresh for every frame: the yardstick the fast mixer must match byte for byte.
#pragma once

#include <cstdint>

#include "audio/Player.h"

namespace tarvex::test {

void referenceRenderFrames(Player& player, uint8_t* buffer, uint32_t frameCount);

}  // namespace tarvex::test
