// A list playing on while a viewer is open: the next entry would replace the module the viewer
// shows, so the advance waits for the viewer to close and then follows at once.
#include <gtest/gtest.h>

#include "ViewerFakes.h"
#include "WindowFakes.h"
#include "support/Corpus.h"
#include "ui/MainWindow.h"

namespace tarvex {
namespace {

using test::FakeAudio;
using test::FakePatternView;
using test::FakeSampleView;
using test::FakeView;
using test::RecordingBackend;

class ViewerListAdvanceTest : public ::testing::Test {
   protected:
    void SetUp() override {
        auto fake = std::make_unique<RecordingBackend>();
        backend = fake.get();
        player.device.backend = std::move(fake);
        player.settings.UseWaveOut = true;
        window.initialise(std::nullopt);
        const auto mod = [](const std::string& title, const std::string& sample) {
            return test::writeTempFile(title + "-viewer.mod", test::tinyMod(title, sample)).string();
        };
        const std::string text =
            mod("a", "bass") + "\n" + mod("b", "Fl\xFCgel") + "\n" + mod("c", "cello") + "\n";
        window.loadFile(
            test::writeTempFile("viewers.lst", std::vector<uint8_t>(text.begin(), text.end())).string());
        window.onPlay();
        ASSERT_TRUE(audio.playing());
    }
    std::string title() const { return view.text(TextField::Title); }

    Player player;
    RecordingBackend* backend = nullptr;
    FakeView view;
    FakeAudio audio{player};
    MainWindow window{player, audio, view, nullptr};
};

TEST_F(ViewerListAdvanceTest, SampleWindowHoldsTheAdvance) {
    FakeSampleView sampleView;
    const Module* shown = nullptr;
    view.whileSubWindowOpen = [&] {
        SampleWindow samples(player, sampleView, view.sampleWindows.back());
        samples.initialise();
        shown = player.module.get();
        audio.endSong();  // the song ends while the window is open
        for (int tick = 0; tick < 3; ++tick) window.statusTick();
        EXPECT_EQ(title(), "a");
        EXPECT_EQ(player.module.get(), shown);
        // The main player is idle: the preview may have the device, on the module still loaded.
        samples.playOnce();
        EXPECT_TRUE(backend->isOpen);
        window.statusTick();
        samples.nextSample();
        EXPECT_EQ(sampleView.field(SampleControl::Name), "");
        EXPECT_EQ(player.module.get(), shown);
        samples.close();
        EXPECT_FALSE(backend->isOpen);
    };
    window.onSampleDoubleClicked(0);
    view.whileSubWindowOpen = nullptr;
    // Closed: the next entry is loaded and started at once, without waiting for a tick.
    EXPECT_EQ(title(), "b");
    EXPECT_TRUE(audio.playing());
    EXPECT_EQ(view.sampleLines.front(), "Fl\xC3\xBCgel");
    EXPECT_EQ(audio.starts, 2);
}

TEST_F(ViewerListAdvanceTest, PatternWindowHoldsTheAdvance) {
    FakePatternView patternView;
    PatternWindow patterns(player, patternView);
    view.whileSubWindowOpen = [&] {
        patterns.initialise();
        window.statusTick();  // still playing: the window follows, nothing advances
        EXPECT_EQ(view.follows.size(), 1u);
        audio.endSong();
        window.statusTick();
        window.statusTick();
        EXPECT_EQ(title(), "a");
        patterns.nextPattern();  // one pattern only: stays on 00
        EXPECT_EQ(patternView.number, "00");
        patterns.close();
    };
    window.onPattern();
    view.whileSubWindowOpen = nullptr;
    EXPECT_EQ(title(), "b");
    EXPECT_TRUE(audio.playing());

    // A window closed while the song still plays changes nothing.
    window.onPattern();
    EXPECT_EQ(title(), "b");
    // Stopped by hand (the list idles): closing a viewer starts nothing either.
    window.onStop();
    window.onPattern();
    EXPECT_EQ(title(), "b");
    EXPECT_FALSE(audio.playing());
}

}  // namespace
}  // namespace tarvex
