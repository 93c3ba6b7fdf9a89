// The output format, the device kind and the five live switches of the player.
//
// The output format and UseWaveOut are written only while playback is stopped; the five switches
// are written by the window at any time and read by the audio thread from the next frame or tick.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tarvex {

inline constexpr std::array<uint32_t, 7> kSampleRates = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
inline constexpr std::array<uint32_t, 11> kBufferLengthsMs = {15,  25,  50,  75,  100, 125,
                                                              150, 175, 200, 225, 250};
inline constexpr std::array<uint32_t, 2> kChannelCounts = {1, 2};
inline constexpr std::array<uint32_t, 3> kBitDepths = {8, 16, 24};

inline constexpr uint32_t kDefaultRateIndex = 3;      // 44100 Hz
inline constexpr uint32_t kDefaultBufferIndex = 1;    // 25 ms
inline constexpr uint32_t kDefaultChannelsIndex = 1;  // stereo
inline constexpr uint32_t kDefaultBitsIndex = 1;      // 16 bits

struct PlayerSettings {
    uint32_t Frequency = 44100;   // Hz
    uint32_t Resolution = 16;     // bits per output sample: 8, 16 or 24
    uint32_t Channels = 2;        // 1 or 2
    uint32_t BufferLength = 250;  // segment duration in eighths of a millisecond (250 = 31.25 ms)
    std::atomic<bool> ISP{true};
    std::atomic<bool> WideStereo{true};
    std::atomic<bool> Clipping{true};
    std::atomic<bool> Click{true};
    std::atomic<bool> LoopsAllowed{true};
    bool UseWaveOut = false;  // queued device kind when set, ring kind otherwise
};

}  // namespace tarvex
