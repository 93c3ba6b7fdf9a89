// Loading and saving the ten stored option values.
#include <gtest/gtest.h>

#include "ui/Settings.h"

namespace tarvex {
namespace {

const std::vector<std::string> kNamesInOrder = {
    "PlayerFrequenzy", "PlayerBuffers", "PlayerChannels", "PlayerSamples", "ISP",
    "WideStereo",      "UseWaveOut",    "Clipping",       "Click",         "LoopsAllowed"};

TEST(Settings, EmptyStoreGivesDefaultsAndClosingWritesThem) {
    MemorySettingsStore store;
    PlayerSettings settings;
    const SettingsControls controls = loadSettings(store, settings);
    EXPECT_TRUE(store.keyExists);  // created when the window opens
    EXPECT_EQ(kSampleRates[controls.rateIndex], 44100u);
    EXPECT_EQ(kBufferLengthsMs[controls.bufferIndex], 25u);
    EXPECT_EQ(kChannelCounts[controls.channelsIndex], 2u);
    EXPECT_EQ(kBitDepths[controls.bitsIndex], 16u);
    EXPECT_TRUE(controls.isp && controls.wideStereo && controls.clipping && controls.click &&
                controls.loopsAllowed);
    EXPECT_FALSE(controls.useWaveOut);

    saveSettings(store, controls);
    EXPECT_EQ(store.writeOrder, kNamesInOrder);
    const std::vector<uint32_t> expected = {3, 1, 1, 1, 1, 1, 0, 1, 1, 1};
    for (size_t i = 0; i < kNamesInOrder.size(); ++i) {
        EXPECT_EQ(store.read(kNamesInOrder[i]), std::nullopt);  // closed again after saving
    }
    store.open();
    for (size_t i = 0; i < kNamesInOrder.size(); ++i) EXPECT_EQ(store.read(kNamesInOrder[i]), expected[i]);
}

TEST(Settings, IndexValuesOutOfRangeOrMissingGiveTheDefault) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t rateIndex;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, 0},              // 8000 Hz
        {{6, 0, 0, 0}, 6},              // 192000 Hz
        {{7, 0, 0, 0}, 3},              // past the table
        {{0xFF, 0xFF, 0xFF, 0xFF}, 3},  // reads as missing
        {{0xFE, 0xFF, 0xFF, 0xFF}, 3},  // negative
        {{0, 0, 0, 0x80}, 3},           // negative
        {{1, 0}, 3},                    // not 4 bytes
        {{1, 0, 0, 0, 0}, 3},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store;
        store.values["PlayerFrequenzy"] = c.bytes;
        PlayerSettings settings;
        EXPECT_EQ(loadSettings(store, settings).rateIndex, c.rateIndex) << c.bytes.size();
    }
    MemorySettingsStore store;
    store.values["PlayerBuffers"] = {10, 0, 0, 0};
    store.values["PlayerChannels"] = {2, 0, 0, 0};
    store.values["PlayerSamples"] = {2, 0, 0, 0};
    PlayerSettings settings;
    const SettingsControls controls = loadSettings(store, settings);
    EXPECT_EQ(controls.bufferIndex, 10u);
    EXPECT_EQ(controls.channelsIndex, 1u);
    EXPECT_EQ(controls.bitsIndex, 2u);
    // Loading leaves the output format alone until the first play.
    EXPECT_EQ(settings.Frequency, 44100u);
    EXPECT_EQ(settings.Resolution, 16u);
    EXPECT_EQ(settings.Channels, 2u);
    EXPECT_EQ(settings.BufferLength, 250u);
}

TEST(Settings, SwitchesTakeStoredValuesAndKeepTheirsWhenMissing) {
    MemorySettingsStore store;
    store.values["ISP"] = {2, 0, 0, 0};                   // on, rewritten as 1
    store.values["WideStereo"] = {0, 0, 0, 0};            // off
    store.values["UseWaveOut"] = {1, 0, 0, 0};            // on
    store.values["Clipping"] = {0xFF, 0xFF, 0xFF, 0xFF};  // missing: keeps its value
    store.values["Click"] = {0, 0};                       // missing
    PlayerSettings settings;
    settings.Click = false;
    const SettingsControls controls = loadSettings(store, settings);
    EXPECT_TRUE(settings.ISP);
    EXPECT_FALSE(settings.WideStereo);
    EXPECT_TRUE(settings.UseWaveOut);
    EXPECT_TRUE(settings.Clipping);
    EXPECT_FALSE(settings.Click);
    EXPECT_TRUE(settings.LoopsAllowed);
    EXPECT_TRUE(controls.isp);
    EXPECT_FALSE(controls.wideStereo);
    EXPECT_TRUE(controls.useWaveOut);
    EXPECT_FALSE(controls.click);

    saveSettings(store, controls);
    store.open();
    EXPECT_EQ(store.read("ISP"), 1u);
    EXPECT_EQ(store.read("WideStereo"), 0u);
    EXPECT_EQ(store.read("Clipping"), 1u);
    EXPECT_EQ(store.read("Click"), 0u);
}

TEST(Settings, UnopenableKeyGivesDefaultsAndSavesNothing) {
    MemorySettingsStore store;
    store.values["PlayerFrequenzy"] = {0, 0, 0, 0};
    store.values["ISP"] = {0, 0, 0, 0};
    store.openable = false;
    PlayerSettings settings;
    const SettingsControls controls = loadSettings(store, settings);
    EXPECT_EQ(controls.rateIndex, 3u);
    EXPECT_TRUE(settings.ISP);
    saveSettings(store, controls);
    EXPECT_TRUE(store.writeOrder.empty());
}

TEST(Settings, PendingWaveOutChoiceIsSavedAndAppliedAtPlay) {
    MemorySettingsStore store;
    PlayerSettings settings;
    SettingsControls controls = loadSettings(store, settings);
    controls.useWaveOut = true;  // box checked during playback: the running device stays
    EXPECT_FALSE(settings.UseWaveOut);
    saveSettings(store, controls);
    store.open();
    EXPECT_EQ(store.read("UseWaveOut"), 1u);

    controls.rateIndex = 0;
    controls.bufferIndex = 10;
    controls.channelsIndex = 0;
    controls.bitsIndex = 2;
    applyOutputFormat(controls, settings);
    EXPECT_EQ(settings.Frequency, 8000u);
    EXPECT_EQ(settings.BufferLength, 2000u);  // 250 ms in eighths
    EXPECT_EQ(settings.Channels, 1u);
    EXPECT_EQ(settings.Resolution, 24u);
    EXPECT_TRUE(settings.UseWaveOut);
}

}  // namespace
}  // namespace tarvex
