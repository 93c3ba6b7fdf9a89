// The songs of a module in the window: choosing one, stepping through them with next and previous
// before the list moves on, and seeking by time, down to the frame the output starts at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "WindowFakes.h"
#include "audio/SongRender.h"
#include "engine/Duration.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "ui/MainWindow.h"
#include "ui/PlayerAudio.h"
#include "ui/Settings.h"

namespace tarvex {
namespace {

using test::FakeAudio;
using test::FakeView;
using Start = FakeAudio::Start;

const std::vector<std::string> kThreeEntries = {"Song 1/3", "Song 2/3", "Song 3/3"};

class SongChoiceTest : public ::testing::Test {
   protected:
    void SetUp() override {
        window.initialise(std::nullopt);
        threePath = test::writeTempFile("three.mod", test::threeSongMod()).string();
    }

    std::string single(const std::string& name) {
        return test::writeTempFile(name, test::tinyMod(name.substr(0, name.find('.')))).string();
    }
    std::string list(const std::string& name, const std::string& text) {
        return test::writeTempFile(name, std::vector<uint8_t>(text.begin(), text.end())).string();
    }
    Start lastStart() const { return audio.startedAt.empty() ? Start{99, 99, true} : audio.startedAt.back(); }
    uint64_t frameAt(uint64_t micros) const { return frameAtTime(micros, engine.settings.Frequency); }

    Engine engine;
    FakeView view;
    FakeAudio audio{engine};
    MainWindow window{engine, audio, view, nullptr};
    std::string threePath;
};

TEST_F(SongChoiceTest, TheModuleBuiltHoldsThreeSongs) {
    window.loadFile(threePath);
    ASSERT_EQ(window.songs().size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(window.songs()[i].start, i);
        EXPECT_TRUE(window.songs()[i].duration.ended) << i;
    }
    // Eight rows, sixteen rows and 64 rows at speed 6 and tempo 125 (120 ms a row), give or take a tick.
    EXPECT_NEAR(window.songs()[0].duration.milliseconds, 960, 20);
    EXPECT_NEAR(window.songs()[1].duration.milliseconds, 1920, 20);
    EXPECT_NEAR(window.songs()[2].duration.milliseconds, 7680, 20);
    EXPECT_EQ(view.songEntries, kThreeEntries);
    EXPECT_TRUE(view.songsEnabled);
}

TEST(SongEntry, TextsOfTheSelector) {
    struct Case {
        size_t index;
        size_t count;
        const char* text;
    };
    const Case cases[] = {
        {0, 1, "Song 1/1"}, {1, 3, "Song 2/3"}, {8, 9, "Song 9/9"}, {0, 10, "1/10"}, {22, 23, "23/23"},
    };
    for (const Case& c : cases) EXPECT_EQ(songEntry(c.index, c.count), c.text);
}

TEST_F(SongChoiceTest, NextAndPreviousStepThroughTheSongsThenTheListMovesOn) {
    window.loadFile(list("songs.lst", threePath + "\n" + single("after.mod") + "\n"));
    ASSERT_EQ(view.text(TextField::Title), "three songs");
    window.onPlay();
    struct Step {
        void (MainWindow::*action)();
        const char* what;
        uint32_t selected;  // in the song selector
        int starts;         // starts so far
        uint32_t songStart;
    };
    const Step steps[] = {
        {&MainWindow::onNextEntry, "next: the second song from its start", 1, 2, 1},
        {&MainWindow::onNextEntry, "next: the third", 2, 3, 2},
        {&MainWindow::onPreviousSong, "previous: the second again", 1, 4, 1},
        {&MainWindow::onPreviousSong, "previous: the first", 0, 5, 0},
        {&MainWindow::onPreviousSong, "previous before the first: nothing", 0, 5, 0},
        {&MainWindow::onNextEntry, "next", 1, 6, 1},
        {&MainWindow::onNextEntry, "next", 2, 7, 2},
    };
    for (const Step& step : steps) {
        (window.*step.action)();
        EXPECT_EQ(view.songSelected, step.selected) << step.what;
        EXPECT_EQ(audio.starts, step.starts) << step.what;
        EXPECT_EQ(lastStart(), (Start{step.songStart, 0, false})) << step.what;
        EXPECT_TRUE(audio.playing()) << step.what;
        EXPECT_FALSE(window.advanceRequested()) << step.what;
    }
    // Past the last song, next is the list's: its next entry, a module of one song.
    window.onNextEntry();
    EXPECT_TRUE(window.advanceRequested());
    window.statusTick();
    EXPECT_EQ(view.text(TextField::Title), "after");
    EXPECT_TRUE(audio.playing());
    EXPECT_EQ(lastStart(), (Start{0, 0, false}));
    EXPECT_EQ(view.songEntries, std::vector<std::string>{"Song 1/1"});
    EXPECT_FALSE(view.songsEnabled);
    EXPECT_FALSE(window.hasPreviousSong());
    EXPECT_FALSE(window.hasNextSong());
}

TEST_F(SongChoiceTest, WhileStoppedNextOnlyChoosesAndPlayStartsThatSong) {
    window.loadFile(threePath);
    window.onNextEntry();
    window.onNextEntry();
    EXPECT_EQ(view.songSelected, 2u);
    EXPECT_EQ(audio.starts, 0);
    EXPECT_FALSE(audio.playing());
    window.onNextEntry();  // the last song and no list: nothing
    EXPECT_FALSE(window.advanceRequested());
    window.onPlay();
    EXPECT_EQ(lastStart(), (Start{2, 0, false}));
    // The selector plays the song chosen at once, even from a stop; a load begins at the first.
    window.onStop();
    window.onSongChosen(1);
    EXPECT_TRUE(audio.playing());
    EXPECT_EQ(lastStart(), (Start{1, 0, false}));
    window.onSongChosen(7);  // no such song
    EXPECT_EQ(lastStart(), (Start{1, 0, false}));
    window.loadFile(threePath);
    EXPECT_EQ(view.songSelected, 0u);
    window.onPlay();
    EXPECT_EQ(lastStart(), (Start{0, 0, false}));
    // A failed load leaves no songs to choose.
    window.loadFile(threePath + ".missing");
    EXPECT_TRUE(view.songEntries.empty());
    EXPECT_FALSE(view.songsEnabled);
    EXPECT_FALSE(window.seekTo(1000).has_value());
}

TEST_F(SongChoiceTest, ASeekStartsTheSongAtTheFrameOfItsTime) {
    window.loadFile(threePath);
    window.onSongChosen(2);
    ASSERT_EQ(engine.settings.Frequency, 44100u);
    const uint64_t length = uint64_t{window.songs()[2].duration.milliseconds} * 1000;
    ASSERT_EQ(window.songLengthMicros(), length);
    struct Case {
        int64_t micros;
        uint64_t landed;
        const char* what;
    };
    const Case cases[] = {
        {3'300'000, 3'300'000, "inside the song"},
        {1, 1, "one microsecond: frame 0"},
        {22'675, 22'675, "just short of the thousandth frame at 44100 Hz"},
        {-5'000'000, 0, "before the start: the start"},
        {int64_t(length) + 10'000'000, length, "past the end: the end"},
    };
    for (const Case& c : cases) {
        const int before = audio.starts;
        const std::optional<uint64_t> landed = window.seekTo(c.micros);
        ASSERT_TRUE(landed.has_value()) << c.what;
        EXPECT_EQ(*landed, c.landed) << c.what;
        EXPECT_EQ(audio.starts, before + 1) << c.what;
        EXPECT_EQ(lastStart(), (Start{2, frameAt(c.landed), false})) << c.what;
        EXPECT_TRUE(audio.playing()) << c.what;
    }
    EXPECT_EQ(frameAt(22'675), 999u);
    // Play starts the song again from its start.
    window.onPlay();
    EXPECT_EQ(lastStart(), (Start{2, 0, false}));
}

TEST_F(SongChoiceTest, ASeekKeepsPauseAndTheRateInUse) {
    window.loadFile(threePath);
    const uint32_t rate22k = 2;  // index of 22050 Hz in the frequency selector
    ASSERT_EQ(kSampleRates[rate22k], 22050u);
    // Stopped, a seek starts the song as play would: at the rate the selector shows.
    view.selected[FormatSelector::Frequency] = rate22k;
    ASSERT_TRUE(window.seekTo(500'000));
    EXPECT_EQ(lastStart(), (Start{0, 11025, false}));
    // Playing, the selector's new choice waits for play: the time maps to frames at the rate in use.
    view.selected[FormatSelector::Frequency] = 3;
    ASSERT_TRUE(window.seekTo(500'000));
    EXPECT_EQ(audio.startedWith.back(), 22050u);
    EXPECT_EQ(lastStart(), (Start{0, 11025, false}));
    // Paused, the song stays paused at its new place.
    window.onPause();
    const int pauses = audio.pauses;
    ASSERT_TRUE(window.seekTo(250'000));
    EXPECT_TRUE(window.paused());
    EXPECT_EQ(audio.pauses, pauses + 1);
    EXPECT_EQ(lastStart(), (Start{0, frameAt(250'000), false}));
    window.onPause();
    EXPECT_FALSE(window.paused());
}

// A device of the queued kind that keeps what it is given and reports nothing played: the
// segments a start renders ahead are the first frames the listener would hear, and a stop has
// nothing to wait for.
class RecordingBackend : public AudioBackend {
   public:
    bool open(DeviceKind kind, const PcmFormat&, uint32_t, SegmentDoneHandler, void*) override {
        heard.clear();
        return kind == DeviceKind::queued;
    }
    void close() override {}
    void pause() override {}
    void resume() override {}
    bool createQueue(uint32_t, uint32_t) override { return true; }
    void queueSegment(uint32_t, const uint8_t* data, uint32_t bytes) override {
        heard.insert(heard.end(), data, data + bytes);
    }
    bool segmentPlaying(uint32_t) override { return false; }
    void resetQueue() override {}
    bool createRing(uint32_t) override { return false; }
    uint8_t* lockRing(uint32_t, uint32_t) override { return nullptr; }
    void unlockRing(uint32_t, uint32_t) override {}
    uint32_t playCursor() const override { return 0; }

    std::vector<uint8_t> heard;
};

TEST(WindowSeek, WhatIsHeardAfterASeekIsTheWholeSongFromThatFrame) {
    Player player;
    auto backend = std::make_unique<RecordingBackend>();
    RecordingBackend& device = *backend;
    player.device.backend = std::move(backend);
    PlayerAudio audio(player);
    FakeView view;
    MainWindow window(player, audio, view, nullptr);
    window.initialise(std::nullopt);
    window.loadFile(test::writeTempFile("three.mod", test::threeSongMod()).string());
    if (!window.pendingWaveOut()) window.onOptionClicked(OptionBox::UseWaveOut);
    window.onPlay();
    ASSERT_TRUE(view.errors.empty()) << view.errors.front();
    const uint32_t bytesPerFrame = player.mix.bytesPerFrame;
    ASSERT_GT(bytesPerFrame, 0u);

    struct Case {
        uint32_t song;
        int64_t micros;
    };
    const Case cases[] = {{2, 3'300'000}, {2, 7'000'123}, {1, 1'234'567}, {0, 100'000}};
    for (const Case& c : cases) {
        window.onSongChosen(c.song);
        const std::optional<uint64_t> landed = window.seekTo(c.micros);
        ASSERT_EQ(landed, std::optional<uint64_t>(uint64_t(c.micros)));
        const std::vector<uint8_t> heard = device.heard;
        const uint64_t frame = frameAtTime(uint64_t(c.micros), player.settings.Frequency);
        EXPECT_EQ(player.startFrame, frame);
        window.onStop();

        // The same song rendered whole, from its start.
        player.songStart = window.songs()[c.song].start;
        player.startFrame = 0;
        std::vector<uint8_t> whole;
        renderSong(player, player.preamp, frame + heard.size() / bytesPerFrame,
                   [&](const uint8_t* bytes, size_t count) {
                       whole.insert(whole.end(), bytes, bytes + count);
                       return true;
                   });
        const size_t from = size_t(frame) * bytesPerFrame;
        ASSERT_GT(whole.size(), from) << "song " << c.song << " at " << c.micros;
        // Up to the song's end; after it a segment holds what follows the end, not the song.
        const size_t compared = std::min(heard.size(), whole.size() - from);
        ASSERT_GT(compared, 0u);
        EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + std::ptrdiff_t(compared),
                               whole.begin() + std::ptrdiff_t(from)))
            << "song " << c.song << " at " << c.micros;
        EXPECT_NE(std::count(heard.begin(), heard.begin() + std::ptrdiff_t(compared), uint8_t{0}),
                  std::ptrdiff_t(compared))
            << "silence compares equal to anything silent";
    }
}

}  // namespace
}  // namespace tarvex
