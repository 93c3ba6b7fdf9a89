#include "ui/StatusText.h"

#include <cstdio>

namespace tarvex {
namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace

StatusTexts statusTexts(const Player& player) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const PlayerState& state = player.state;
    const uint32_t bufferLength = player.settings.BufferLength;
    const uint32_t millis = player.mix.renderMillis.load(relaxed);
    const uint32_t seconds = state.playTime.load(relaxed) / 1000000;
    StatusTexts t;
    t.cpu = format("%u%%", bufferLength != 0 ? millis * 800 / bufferLength : 0u);
    t.index =
        format("%02X/%02X", state.nextOrder.load(relaxed), player.module ? player.module->songLength : 0u);
    t.pattern = format("%02X", state.currentPattern.load(relaxed));
    t.row = format("%02X", state.row.load(relaxed));
    t.bpm = format("%u", state.tempo.load(relaxed));
    t.speed = format("%u", static_cast<unsigned>(state.speed.load(relaxed)));
    t.time = format("%2u:%02u", seconds / 60, seconds % 60);
    return t;
}

}  // namespace tarvex
