#include "ui/PlayerAudio.h"

#include "audio/Streaming.h"

namespace tarvex {

std::string PlayerAudio::startPlayback() {
    std::string error(tarvex::startPlayback(player_));
    // The message box shows the device's text as it is, and below it why, when the device can tell.
    if (!error.empty() && player_.device.backend) {
        const std::string reason = player_.device.backend->openFailure();
        if (!reason.empty()) error += "\n" + reason;
    }
    return error;
}

void PlayerAudio::stopPlayback() {
    tarvex::stopPlayback(player_);
}

void PlayerAudio::pauseDevice() {
    player_.device.pauseDevice();
}

void PlayerAudio::resumeDevice() {
    player_.device.resumeDevice();
}

void PlayerAudio::setPreamp(uint32_t position) {
    if (!player_.module) return;
    const int32_t divisor = mixDivisorForPreamp(mixChannelsOf(*player_.module), player_.module->globalVolume,
                                                position, player_.module->rules.gainBits);
    player_.mix.mixDivisor.store(divisor, std::memory_order_relaxed);
}

uint32_t PlayerAudio::renderMillis() {
    return player_.mix.renderMillis.load(std::memory_order_relaxed);
}

LevelBuffer PlayerAudio::levels() {
    const MixState& mix = player_.mix;
    if (!mix.levelLeft || !mix.levelRight) return LevelBuffer{};
    const uint32_t length = std::min(mix.levelLength, mix.levelCapacity);
    left_.resize(length);
    right_.resize(length);
    for (uint32_t i = 0; i < length; ++i) {
        left_[i] = mix.levelLeft[i].load(std::memory_order_relaxed);
        right_[i] = mix.levelRight[i].load(std::memory_order_relaxed);
    }
    return LevelBuffer{left_.data(), right_.data(), length};
}

}  // namespace tarvex
