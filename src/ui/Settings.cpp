#include "ui/Settings.h"

#include <array>

namespace tarvex {

namespace {

constexpr uint32_t kMissingValue = 0xFFFFFFFFu;  // reads as missing
constexpr uint32_t kEighthsPerMs = 8;

// Reads one value; none when missing for any reason.
std::optional<uint32_t> readValue(SettingsStore& store, bool keyOpen, std::string_view name) {
    if (!keyOpen) return std::nullopt;
    const std::optional<uint32_t> value = store.read(name);
    if (!value || *value == kMissingValue) return std::nullopt;
    return value;
}

// An index is valid when it is not negative as a signed number and lies below the table length.
uint32_t readIndex(SettingsStore& store, bool keyOpen, std::string_view name, size_t tableLength,
                   uint32_t defaultIndex) {
    const std::optional<uint32_t> value = readValue(store, keyOpen, name);
    if (!value || static_cast<int32_t>(*value) < 0 || *value >= tableLength) return defaultIndex;
    return *value;
}

void readSwitch(SettingsStore& store, bool keyOpen, std::string_view name, std::atomic<bool>& option) {
    const std::optional<uint32_t> value = readValue(store, keyOpen, name);
    if (value) option.store(*value != 0, std::memory_order_relaxed);
}

template <typename Table>
uint32_t entry(const Table& table, uint32_t index, uint32_t defaultIndex) {
    return table[index < table.size() ? index : defaultIndex];
}

}  // namespace

bool MemorySettingsStore::open() {
    if (!openable) return false;
    keyExists = true;
    isOpen = true;
    return true;
}

std::optional<uint32_t> MemorySettingsStore::read(std::string_view name) {
    const auto found = values.find(name);
    if (!isOpen || found == values.end() || found->second.size() != 4) return std::nullopt;
    const std::vector<uint8_t>& bytes = found->second;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void MemorySettingsStore::write(std::string_view name, uint32_t value) {
    if (!isOpen) return;
    values[std::string(name)] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                 static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    writeOrder.emplace_back(name);
}

SettingsControls loadSettings(SettingsStore& store, PlayerSettings& settings) {
    const bool keyOpen = store.open();
    SettingsControls controls;
    controls.rateIndex =
        readIndex(store, keyOpen, settingName(Setting::Rate), kSampleRates.size(), kDefaultRateIndex);
    controls.bufferIndex =
        readIndex(store, keyOpen, settingName(Setting::Buffer), kBufferLengthsMs.size(), kDefaultBufferIndex);
    controls.channelsIndex = readIndex(store, keyOpen, settingName(Setting::Channels), kChannelCounts.size(),
                                       kDefaultChannelsIndex);
    controls.bitsIndex =
        readIndex(store, keyOpen, settingName(Setting::Bits), kBitDepths.size(), kDefaultBitsIndex);

    readSwitch(store, keyOpen, settingName(Setting::Isp), settings.ISP);
    readSwitch(store, keyOpen, settingName(Setting::WideStereo), settings.WideStereo);
    const std::optional<uint32_t> waveOut = readValue(store, keyOpen, settingName(Setting::UseWaveOut));
    if (waveOut) settings.UseWaveOut = *waveOut != 0;
    readSwitch(store, keyOpen, settingName(Setting::Clipping), settings.Clipping);
    readSwitch(store, keyOpen, settingName(Setting::Click), settings.Click);
    readSwitch(store, keyOpen, settingName(Setting::LoopsAllowed), settings.LoopsAllowed);

    controls.isp = settings.ISP.load(std::memory_order_relaxed);
    controls.wideStereo = settings.WideStereo.load(std::memory_order_relaxed);
    controls.useWaveOut = settings.UseWaveOut;
    controls.clipping = settings.Clipping.load(std::memory_order_relaxed);
    controls.click = settings.Click.load(std::memory_order_relaxed);
    controls.loopsAllowed = settings.LoopsAllowed.load(std::memory_order_relaxed);
    if (keyOpen) store.close();
    return controls;
}

void saveSettings(SettingsStore& store, const SettingsControls& controls) {
    if (!store.open()) return;
    // In the order of kSettingNames: the four selector indices, then the six boxes.
    const std::array<uint32_t, kSettingNames.size()> values = {controls.rateIndex,
                                                               controls.bufferIndex,
                                                               controls.channelsIndex,
                                                               controls.bitsIndex,
                                                               controls.isp ? 1u : 0u,
                                                               controls.wideStereo ? 1u : 0u,
                                                               controls.useWaveOut ? 1u : 0u,
                                                               controls.clipping ? 1u : 0u,
                                                               controls.click ? 1u : 0u,
                                                               controls.loopsAllowed ? 1u : 0u};
    for (size_t i = 0; i < values.size(); ++i) store.write(kSettingNames[i], values[i]);
    store.close();
}

void applyOutputFormat(const SettingsControls& controls, PlayerSettings& settings) {
    settings.Frequency = entry(kSampleRates, controls.rateIndex, kDefaultRateIndex);
    settings.Resolution = entry(kBitDepths, controls.bitsIndex, kDefaultBitsIndex);
    settings.Channels = entry(kChannelCounts, controls.channelsIndex, kDefaultChannelsIndex);
    settings.BufferLength =
        entry(kBufferLengthsMs, controls.bufferIndex, kDefaultBufferIndex) * kEighthsPerMs;
    settings.UseWaveOut = controls.useWaveOut;
}

}  // namespace tarvex
