#include <gtest/gtest.h>

#include "WindowFakes.h"
#include "support/Corpus.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"

namespace tarvex {
namespace {

using test::FakeAudio;
using test::FakeView;

std::vector<uint8_t> dword(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

uint32_t stored(MemorySettingsStore& store, const char* name) {
    store.open();
    const auto value = store.read(name);
    store.close();
    return value.value_or(0xDEADBEEF);
}

class WindowSettingsTest : public ::testing::Test {
   protected:
    void open() { window.initialise(std::nullopt); }

    Engine engine;
    FakeView view;
    FakeAudio audio{engine};
    MemorySettingsStore store;
    MainWindow window{engine, audio, view, &store};
};

TEST_F(WindowSettingsTest, MissingKeySelectsTheDefaultsAndClosingWritesThem) {
    open();
    EXPECT_TRUE(store.keyExists);
    EXPECT_EQ(view.selected[FormatSelector::Frequency], 3u);   // 44100 Hz
    EXPECT_EQ(view.selected[FormatSelector::Buffer], 1u);      // 25 ms
    EXPECT_EQ(view.selected[FormatSelector::Channels], 1u);    // 2
    EXPECT_EQ(view.selected[FormatSelector::Resolution], 1u);  // 16 Bit
    for (OptionBox box :
         {OptionBox::Isp, OptionBox::WideStereo, OptionBox::Clipping, OptionBox::DeClick, OptionBox::LoopsOn})
        EXPECT_TRUE(view.boxes[box]);
    EXPECT_FALSE(view.boxes[OptionBox::UseWaveOut]);
    window.close();
    EXPECT_EQ(store.writeOrder, (std::vector<std::string>{
                                    "PlayerFrequenzy", "PlayerBuffers", "PlayerChannels", "PlayerSamples",
                                    "ISP", "WideStereo", "UseWaveOut", "Clipping", "Click", "LoopsAllowed"}));
    EXPECT_EQ(stored(store, "PlayerFrequenzy"), 3u);
    EXPECT_EQ(stored(store, "ISP"), 1u);
    EXPECT_EQ(stored(store, "UseWaveOut"), 0u);
}

TEST_F(WindowSettingsTest, StoredValuesAndTheirInvalidForms) {
    store.values["PlayerFrequenzy"] = dword(7);         // past the table: default 44100
    store.values["PlayerBuffers"] = dword(0xFFFFFFF0);  // negative as signed: default
    store.values["PlayerChannels"] = dword(0);          // mono
    store.values["PlayerSamples"] = {2, 0};             // not 4 bytes: default
    store.values["ISP"] = dword(2);                     // any non-zero is on
    store.values["WideStereo"] = dword(0);
    store.values["Clipping"] = dword(0xFFFFFFFF);  // counts as missing: stays on
    store.values["Click"] = dword(0);
    store.values["UseWaveOut"] = dword(5);
    open();
    EXPECT_EQ(view.selected[FormatSelector::Frequency], 3u);
    EXPECT_EQ(view.selected[FormatSelector::Buffer], 1u);
    EXPECT_EQ(view.selected[FormatSelector::Channels], 0u);
    EXPECT_EQ(view.selected[FormatSelector::Resolution], 1u);
    EXPECT_TRUE(view.boxes[OptionBox::Isp]);
    EXPECT_FALSE(view.boxes[OptionBox::WideStereo]);
    EXPECT_FALSE(engine.settings.WideStereo.load());
    EXPECT_TRUE(view.boxes[OptionBox::Clipping]);
    EXPECT_FALSE(engine.settings.Click.load());
    EXPECT_TRUE(view.boxes[OptionBox::UseWaveOut]);
    EXPECT_TRUE(window.pendingWaveOut());
    // The output format waits for the first play, whatever the selections.
    EXPECT_EQ(engine.settings.Frequency, 44100u);
    EXPECT_EQ(engine.settings.Channels, 2u);
    EXPECT_EQ(engine.settings.BufferLength, 250u);
    window.close();
    EXPECT_EQ(stored(store, "ISP"), 1u);  // 2 comes back as 1
    EXPECT_EQ(stored(store, "PlayerChannels"), 0u);
    EXPECT_EQ(stored(store, "PlayerFrequenzy"), 3u);
    EXPECT_EQ(stored(store, "WideStereo"), 0u);
}

TEST_F(WindowSettingsTest, PendingDeviceChoiceIsSavedWithoutAPlay) {
    open();
    window.loadFile(test::writeTempFile("a.mod", test::tinyMod("a")).string());
    window.onPlay();
    window.onOptionClicked(OptionBox::UseWaveOut);
    EXPECT_FALSE(engine.settings.UseWaveOut);  // the running playback keeps its device
    view.selected[FormatSelector::Frequency] = 0;
    window.close();
    EXPECT_FALSE(audio.playing());
    EXPECT_EQ(stored(store, "UseWaveOut"), 1u);
    EXPECT_EQ(stored(store, "PlayerFrequenzy"), 0u);
}

TEST_F(WindowSettingsTest, UnopenableKeyGivesDefaultsAndSavesNothing) {
    store.openable = false;
    store.values["PlayerFrequenzy"] = dword(0);
    open();
    EXPECT_EQ(view.selected[FormatSelector::Frequency], 3u);
    window.onOptionClicked(OptionBox::Isp);
    window.close();
    EXPECT_TRUE(store.writeOrder.empty());
    EXPECT_EQ(view.dialogEnds, 1);
}

}  // namespace
}  // namespace tarvex
