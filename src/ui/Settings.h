// The ten stored option values and the rules for loading and saving them.
//
// A store keeps named 32-bit values under one key path per user. loadSettings reads them into the
// five switches and UseWaveOut at once and hands the window the states of its controls (selector
// indices and box states); saveSettings writes the controls' states back. The output format itself
// is only taken from the controls when playback starts (applyOutputFormat).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PlayerSettings.h"

namespace tarvex {

inline constexpr std::string_view kSettingsKeyPath = "Software\\Brennwerks\\Tarvex";

// The ten stored values, in the order they are read and written, and their names in the store.
enum class Setting : size_t {
    Rate,
    Buffer,
    Channels,
    Bits,
    Isp,
    WideStereo,
    UseWaveOut,
    Clipping,
    Click,
    LoopsAllowed
};
inline constexpr std::array<std::string_view, 10> kSettingNames = {
    "PlayerFrequenzy", "PlayerBuffers", "PlayerChannels", "PlayerSamples", "ISP",
    "WideStereo",      "UseWaveOut",    "Clipping",       "Click",         "LoopsAllowed"};
inline constexpr std::string_view settingName(Setting setting) {
    return kSettingNames[static_cast<size_t>(setting)];
}

// Access to the per-user store of named 32-bit values.
class SettingsStore {
   public:
    virtual ~SettingsStore() = default;
    // Opens the key, creating it when missing; false when it cannot be opened.
    virtual bool open() = 0;
    // The value stored under name, or none when it is absent or not exactly 4 bytes long.
    virtual std::optional<uint32_t> read(std::string_view name) = 0;
    virtual void write(std::string_view name, uint32_t value) = 0;
    virtual void close() = 0;
};

// A store in memory, for tests and for running without a persistent store. Values are kept as raw
// bytes (little-endian when written here) so that wrongly sized values can be planted.
class MemorySettingsStore : public SettingsStore {
   public:
    bool open() override;
    std::optional<uint32_t> read(std::string_view name) override;
    void write(std::string_view name, uint32_t value) override;
    void close() override { isOpen = false; }

    std::map<std::string, std::vector<uint8_t>, std::less<>> values;
    bool openable = true;    // false: the key cannot be opened (or created)
    bool keyExists = false;  // set once open() has created the key
    bool isOpen = false;
    std::vector<std::string> writeOrder;  // names in the order they were written
};

// The states of the window's option controls.
struct SettingsControls {
    uint32_t rateIndex = kDefaultRateIndex;          // "Frequency" selector
    uint32_t bufferIndex = kDefaultBufferIndex;      // "Buffer" selector
    uint32_t channelsIndex = kDefaultChannelsIndex;  // "Channels" selector
    uint32_t bitsIndex = kDefaultBitsIndex;          // "Resolution" selector
    bool isp = true;                                 // "ISP" box
    bool wideStereo = true;                          // "Wide Stereo" box
    bool useWaveOut = false;   // "Use WaveOut" box: the pending device choice for the next play
    bool clipping = true;      // "Clipping" box
    bool click = true;         // "de click" box
    bool loopsAllowed = true;  // "Loops on" box
};

// Reads the stored values: missing or invalid indices give the default entry; a present switch
// value sets the switch (0 off, other on), a missing one leaves it as it is. A value is missing
// when it is absent, not 4 bytes, reads 0xFFFFFFFF, or the key cannot be opened. The output format
// fields of settings are not touched.
SettingsControls loadSettings(SettingsStore& store, PlayerSettings& settings);

// Writes the controls' states: the four selector indices, then the six boxes as 1 or 0. Nothing is
// written when the key cannot be opened.
void saveSettings(SettingsStore& store, const SettingsControls& controls);

// The play action: output format and device kind from the controls (BufferLength in 1/8 ms).
void applyOutputFormat(const SettingsControls& controls, PlayerSettings& settings);

}  // namespace tarvex
