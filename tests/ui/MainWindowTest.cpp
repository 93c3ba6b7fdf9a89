#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "WindowFakes.h"
#include "support/Corpus.h"
#include "support/ItWriter.h"
#include "support/XmWriter.h"
#include "ui/MainWindow.h"
#include "ui/PlayerAudio.h"

namespace tarvex {
namespace {

using test::FakeAudio;
using test::FakeView;

class WindowTest : public ::testing::Test {
   protected:
    void SetUp() override { window.initialise(std::nullopt); }

    std::string mod(const std::string& name) {
        return test::writeTempFile(name, test::tinyMod(name.substr(0, name.find('.')))).string();
    }
    std::string list(const std::string& name, const std::string& text) {
        return test::writeTempFile(name, std::vector<uint8_t>(text.begin(), text.end())).string();
    }
    std::string title() const { return view.text(TextField::Title); }
    bool playing() const { return audio.playing(); }
    void songEnds() { audio.endSong(); }

    Engine engine;
    FakeView view;
    FakeAudio audio{engine};
    MainWindow window{engine, audio, view, nullptr};
};

TEST_F(WindowTest, InitialisationFillsTheSelectors) {
    EXPECT_EQ(view.entries[FormatSelector::Frequency],
              (std::vector<std::string>{"8000 Hz", "11025 Hz", "22050 Hz", "44100 Hz", "48000 Hz", "96000 Hz",
                                        "192000 Hz"}));
    EXPECT_EQ(view.entries[FormatSelector::Channels], (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(view.entries[FormatSelector::Resolution],
              (std::vector<std::string>{"8 Bit", "16 Bit", "24 Bit"}));
    ASSERT_EQ(view.entries[FormatSelector::Buffer].size(), 11u);
    EXPECT_EQ(view.entries[FormatSelector::Buffer].front(), "15 ms");
    EXPECT_EQ(view.entries[FormatSelector::Buffer].back(), "250 ms");
    EXPECT_TRUE(engine.outputStopped.load());
    EXPECT_EQ(window.panels().scopeGeometry().yBottom, 68);
}

TEST_F(WindowTest, PlayStateTransitions) {
    window.loadFile(mod("a.mod"));
    ASSERT_FALSE(playing());  // loading alone does not start
    struct Row {
        void (MainWindow::*action)();
        const char* what;
        bool playing;
        bool fastForward;
        bool rewinding;
        bool paused;
        int starts;
    };
    const Row rows[] = {
        {&MainWindow::onPlay, "play starts", true, false, false, false, 1},
        {&MainWindow::onFastForward, "fast forward", true, true, false, false, 1},
        {&MainWindow::onPlay, "play returns to normal speed", true, false, false, false, 1},
        {&MainWindow::onPlay, "second play restarts", true, false, false, false, 2},
        {&MainWindow::onRewind, "rewind", true, false, true, false, 2},
        {&MainWindow::onFastForward, "fast forward ends rewind", true, true, false, false, 2},
        {&MainWindow::onRewind, "rewind ends fast forward", true, false, true, false, 2},
        {&MainWindow::onPlay, "play ends rewind", true, false, false, false, 2},
        {&MainWindow::onPause, "pause", true, false, false, true, 2},
        {&MainWindow::onPlay, "play resumes", true, false, false, false, 2},
        {&MainWindow::onPause, "pause again", true, false, false, true, 2},
        {&MainWindow::onStop, "stop clears pause", false, false, false, false, 2},
        {&MainWindow::onPlay, "play after pause and stop starts", true, false, false, false, 3},
    };
    for (const Row& row : rows) {
        (window.*row.action)();
        EXPECT_EQ(playing(), row.playing) << row.what;
        EXPECT_EQ(engine.state.fastForward.load(), row.fastForward) << row.what;
        EXPECT_EQ(engine.state.rewinding.load(), row.rewinding) << row.what;
        EXPECT_EQ(window.paused(), row.paused) << row.what;
        EXPECT_EQ(audio.starts, row.starts) << row.what;
    }
    EXPECT_EQ(audio.pauses, 2);
    EXPECT_EQ(audio.resumes, 1);
}

TEST_F(WindowTest, FastForwardWhileStoppedNeedsTwoPlays) {
    window.loadFile(mod("a.mod"));
    window.onFastForward();
    window.onPlay();
    EXPECT_FALSE(playing());
    EXPECT_FALSE(engine.state.fastForward.load());
    window.onPlay();
    EXPECT_TRUE(playing());
}

TEST_F(WindowTest, PlayTakesTheFormatFromTheControls) {
    window.loadFile(mod("a.mod"));
    view.selected[FormatSelector::Frequency] = 4;
    view.selected[FormatSelector::Channels] = 0;
    view.selected[FormatSelector::Resolution] = 2;
    view.selected[FormatSelector::Buffer] = 0;
    window.onOptionClicked(OptionBox::UseWaveOut);
    EXPECT_TRUE(view.boxes[OptionBox::UseWaveOut]);
    EXPECT_FALSE(engine.settings.UseWaveOut);  // pending until the next play
    EXPECT_EQ(engine.settings.Frequency, 44100u);
    window.onPlay();
    EXPECT_TRUE(engine.settings.UseWaveOut);
    EXPECT_EQ(engine.settings.Frequency, 48000u);
    EXPECT_EQ(engine.settings.Channels, 1u);
    EXPECT_EQ(engine.settings.Resolution, 24u);
    EXPECT_EQ(engine.settings.BufferLength, 120u);  // 15 ms in eighths
    // A selector change while playing waits for the restart that the next play makes.
    view.selected[FormatSelector::Frequency] = 0;
    window.onPlay();
    EXPECT_EQ(audio.startedWith, (std::vector<uint32_t>{48000, 8000}));
}

TEST_F(WindowTest, LiveOptionsFlipAtOnce) {
    window.onOptionClicked(OptionBox::Isp);
    window.onOptionClicked(OptionBox::LoopsOn);
    EXPECT_FALSE(engine.settings.ISP.load());
    EXPECT_FALSE(engine.settings.LoopsAllowed.load());
    EXPECT_FALSE(view.boxes[OptionBox::Isp]);
    EXPECT_TRUE(engine.settings.Clipping.load());
    window.onOptionClicked(OptionBox::Isp);
    EXPECT_TRUE(engine.settings.ISP.load());
    EXPECT_TRUE(view.boxes[OptionBox::Isp]);
    // "linear Frequ." only flips its own flag; a successful load clears it.
    window.onOptionClicked(OptionBox::LinearFrequ);
    EXPECT_TRUE(window.linearFrequency());
    window.loadFile(mod("a.mod"));
    EXPECT_FALSE(window.linearFrequency());
    EXPECT_FALSE(view.boxes[OptionBox::LinearFrequ]);
}

TEST_F(WindowTest, PlayWithoutModuleStartsNothingAndClearsTheScopesOnce) {
    window.onPlay();
    EXPECT_FALSE(playing());
    EXPECT_TRUE(view.errors.empty());
    EXPECT_FALSE(window.displayFrozen());
    window.statusTick();
    EXPECT_TRUE(window.displayFrozen());
    EXPECT_EQ(view.panelDraws, 1);
    const int writes = view.textWrites;
    for (int i = 0; i < 5; ++i) window.statusTick();
    EXPECT_EQ(view.panelDraws, 1);  // frozen: idle ticks draw nothing
    EXPECT_EQ(view.textWrites, writes);
}

TEST_F(WindowTest, DeviceFailureIsShown) {
    window.loadFile(mod("a.mod"));
    audio.failWith = "Error: Failed to inititialize DirectSound";
    window.onPlay();
    EXPECT_EQ(view.errors, (std::vector<std::string>{"Error: Failed to inititialize DirectSound"}));
    EXPECT_FALSE(playing());
}

// A sound device that cannot be opened and says why.
class RefusingBackend : public AudioBackend {
   public:
    bool open(DeviceKind, const PcmFormat&, uint32_t, SegmentDoneHandler, void*) override { return false; }
    std::string openFailure() const override { return "no audio device: nothing answers"; }
    void close() override {}
    void pause() override {}
    void resume() override {}
    bool createQueue(uint32_t, uint32_t) override { return false; }
    void queueSegment(uint32_t, const uint8_t*, uint32_t) override {}
    bool segmentPlaying(uint32_t) override { return false; }
    void resetQueue() override {}
    bool createRing(uint32_t) override { return false; }
    uint8_t* lockRing(uint32_t, uint32_t) override { return nullptr; }
    void unlockRing(uint32_t, uint32_t) override {}
    uint32_t playCursor() const override { return 0; }
};

TEST(WindowDevice, TheMessageBoxGivesTheDeviceTextThenWhy) {
    Player player;
    player.device.backend = std::make_unique<RefusingBackend>();
    PlayerAudio audio(player);
    FakeView view;
    MainWindow window(player, audio, view, nullptr);
    window.initialise(std::nullopt);
    window.loadFile(test::writeTempFile("refused.mod", test::tinyMod("refused")).string());
    window.onPlay();
    EXPECT_EQ(view.errors, (std::vector<std::string>{"Error: Failed to inititialize DirectSound\n"
                                                     "no audio device: nothing answers"}));
}

TEST_F(WindowTest, LoadShowsTheModule) {
    const std::string path = test::writeTempFile("song.mod", test::tinyMod("Tiny Song", "caf\xE9")).string();
    window.loadFile(path);
    EXPECT_EQ(title(), "Tiny Song");
    EXPECT_EQ(view.text(TextField::File), "song.mod");
    EXPECT_EQ(view.caption, "Tarvex V1.5 - song.mod");
    ASSERT_EQ(view.sampleLines.size(), 31u);
    EXPECT_EQ(view.sampleLines[0], "caf\xC3\xA9");  // Latin-1 shown as UTF-8
    EXPECT_EQ(view.sampleLines[1], "");
    EXPECT_EQ(view.text(TextField::Errors), "No Errors");
    EXPECT_EQ(view.text(TextField::Tracker), "ProTracker [M.K.]");
    EXPECT_EQ(view.busyDepth, 0);
    EXPECT_EQ(view.busyShown, 1);
    ASSERT_NE(engine.module, nullptr);

    // A failed load empties the fields, names its reason and keeps the caption.
    window.loadFile(path + ".missing.mod");
    EXPECT_EQ(title(), "");
    EXPECT_EQ(view.text(TextField::File), "");
    EXPECT_EQ(view.text(TextField::Tracker), "");
    EXPECT_TRUE(view.sampleLines.empty());
    EXPECT_EQ(view.text(TextField::Errors), "File not found");
    EXPECT_EQ(view.caption, "Tarvex V1.5 - song.mod");
    EXPECT_EQ(engine.module, nullptr);
    EXPECT_EQ(view.busyDepth, 0);
}

// The name as the system's narrow calls take it: Windows' path::string() would give UTF-8, not the
// code page the file functions read.
std::string narrowPath(const std::string& name, const std::vector<uint8_t>& bytes) {
    return test::writeTempFile(name, bytes).parent_path().string() +
           static_cast<char>(std::filesystem::path::preferred_separator) + name;
}

TEST_F(WindowTest, FileNameBytesOutsideUtf8ShowAsLatin1) {
    window.loadFile(narrowPath("M\xFCsik.mod", test::tinyMod("latin")));
    EXPECT_EQ(title(), "latin");
    EXPECT_EQ(view.text(TextField::File), "M\xC3\xBCsik.mod");
    EXPECT_EQ(view.caption, "Tarvex V1.5 - M\xC3\xBCsik.mod");
    window.loadFile(narrowPath("\xC3\xA9t\xE9.mod", test::tinyMod("both")));
    EXPECT_EQ(view.text(TextField::File), "\xC3\xA9t\xC3\xA9.mod");
}

TEST_F(WindowTest, LoadStopsPlaybackAndResetsTransport) {
    window.loadFile(mod("a.mod"));
    window.onPlay();
    window.onPause();
    window.onFastForward();
    window.loadFile(mod("b.mod"));
    EXPECT_FALSE(playing());
    EXPECT_FALSE(window.paused());
    EXPECT_FALSE(engine.state.fastForward.load());
    EXPECT_EQ(title(), "b");
}

TEST_F(WindowTest, CommandLinePathIsLoadedAndPlayed) {
    Engine other;
    FakeView otherView;
    FakeAudio otherAudio{other};
    MainWindow started{other, otherAudio, otherView, nullptr};
    started.initialise(mod("cli.mod"));
    EXPECT_EQ(otherView.text(TextField::Title), "cli");
    EXPECT_TRUE(otherAudio.playing());
    // A command line of blanks names an empty path, which the dispatcher rejects.
    Engine blank;
    FakeView blankView;
    FakeAudio blankAudio{blank};
    MainWindow empty{blank, blankAudio, blankView, nullptr};
    empty.initialise(firstArgument("   "));
    EXPECT_EQ(blankView.text(TextField::Errors), "Unsupported File");
}

TEST_F(WindowTest, DroppedFileIsPlayedFirstOneCounts) {
    window.onFilesDropped({mod("d.mod"), mod("e.mod")});
    EXPECT_EQ(title(), "d");
    EXPECT_TRUE(playing());
    window.onFilesDropped({});
    EXPECT_EQ(title(), "d");
}

TEST_F(WindowTest, OpenDialogLoadsWithoutStarting) {
    view.dialogAnswer = mod("a.mod");
    window.onOpenFile();
    EXPECT_EQ(title(), "a");
    EXPECT_FALSE(playing());
    view.dialogAnswer = std::string();  // an empty answer loads nothing
    window.onOpenFile();
    EXPECT_EQ(title(), "a");
}

TEST_F(WindowTest, StatusTickWritesTextsWhilePlaying) {
    window.loadFile(mod("a.mod"));
    view.selected[FormatSelector::Buffer] = 1;  // 25 ms
    window.onPlay();
    engine.state.nextOrder = 1;
    engine.state.currentPattern = 0;
    engine.state.row = 0x21;
    engine.state.tempo = 125;
    engine.state.speed = 6;
    engine.state.playTime = 65'000'000;
    audio.millis = 5;
    view.preamp = 700;
    audio.left.assign(100, 12000);
    audio.right.assign(100, -12000);
    window.statusTick();
    EXPECT_EQ(view.text(TextField::Cpu), "20%");  // 5 * 800 / 200
    EXPECT_EQ(view.text(TextField::Index), "01/01");
    EXPECT_EQ(view.text(TextField::Pattern), "00");
    EXPECT_EQ(view.text(TextField::Row), "21");
    EXPECT_EQ(view.text(TextField::Bpm), "125");
    EXPECT_EQ(view.text(TextField::Speed), "6");
    EXPECT_EQ(view.text(TextField::Time), " 1:05");
    EXPECT_EQ(audio.preamp, 700u);
    ASSERT_EQ(view.follows.size(), 1u);
    EXPECT_EQ(view.follows[0], (std::pair<uint32_t, uint32_t>{0, 0x21}));
    EXPECT_EQ(view.panelDraws, 1);

    // The same buffer and position again: nothing differs, so nothing is set or shown again.
    const int writesBefore = view.textWrites;
    window.statusTick();
    EXPECT_EQ(view.textWrites, writesBefore);
    EXPECT_EQ(view.panelDraws, 1);
    // One text changes: only that one is set; a new buffer is shown.
    engine.state.row = 0x22;
    audio.left.assign(100, -6000);
    window.statusTick();
    EXPECT_EQ(view.textWrites, writesBefore + 1);
    EXPECT_EQ(view.text(TextField::Row), "22");
    EXPECT_EQ(view.panelDraws, 2);
    EXPECT_TRUE(window.panels().changes().leftScope);
    EXPECT_FALSE(window.panels().changes().rightScope);

    // Paused: the texts go on, the panels stand still.
    window.onPause();
    window.statusTick();
    EXPECT_EQ(view.panelDraws, 2);
    window.onPause();

    // Minimised: nothing is written or drawn.
    view.minimised = true;
    const int writes = view.textWrites;
    window.statusTick();
    EXPECT_EQ(view.textWrites, writes);
    EXPECT_EQ(view.panelDraws, 2);
    view.minimised = false;

    // Stopped: the texts keep their last contents; one refresh clears the panels and freezes.
    window.onStop();
    window.statusTick();
    window.statusTick();
    EXPECT_EQ(view.textWrites, writes);
    EXPECT_EQ(view.panelDraws, 3);
    EXPECT_TRUE(window.displayFrozen());
    window.onPlay();
    EXPECT_FALSE(window.displayFrozen());
}

// The timer stops once ticks would find nothing to do, and any action starts it again.
TEST_F(WindowTest, TheTimerStopsWhileNothingCanChange) {
    const std::string song = mod("a.mod");
    const auto ticks = [&](uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) window.statusTick();
    };
    struct Row {
        const char* state;
        std::function<void()> enter;
        bool stops;
    };
    const Row rows[] = {
        {"idle", [] {}, true},
        {"playing", [&] { window.onPlay(); }, false},
        {"paused", [&] { window.onPlay(), window.onPause(); }, true},
        {"stopped after playing", [&] { window.onPlay(), window.statusTick(), window.onStop(); }, true},
        {"minimised while playing", [&] { window.onPlay(), view.minimised = true; }, false},
        {"minimised and stopped", [&] { view.minimised = true; }, true},
        {"fast forward", [&] { window.onPlay(), window.onFastForward(); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        window.onStop();
        view.minimised = false;
        window.loadFile(song);
        ticks(kQuietTicks);  // stops the timer
        window.wake();
        ASSERT_TRUE(view.ticking);
        row.enter();
        ticks(kQuietTicks + 1);
        EXPECT_EQ(view.ticking, !row.stops);
    }

    // Every action wakes it; a text that still changes while paused keeps it going.
    window.onStop();
    view.minimised = false;
    const std::function<void()> actions[] = {
        [&] { window.onPlay(); },
        [&] { window.onPause(); },
        [&] { window.onStop(); },
        [&] { window.onRewind(); },
        [&] { window.onNextEntry(); },
        [&] { window.onPattern(); },
        [&] { window.onOptionClicked(OptionBox::Isp); },
        [&] { window.loadFile(song); },
        [&] { window.onFilesDropped({song}); },
    };
    for (const auto& act : actions) {
        window.onStop();
        ticks(kQuietTicks);
        ASSERT_FALSE(view.ticking);
        act();
        EXPECT_TRUE(view.ticking);
    }
    window.onPlay();
    window.onPause();
    ticks(kQuietTicks - 1);
    engine.state.row = engine.state.row + 1;  // the segment rendered as the pause came
    window.statusTick();
    ticks(kQuietTicks - 1);
    EXPECT_TRUE(view.ticking);
    window.statusTick();
    EXPECT_FALSE(view.ticking);
}

TEST_F(WindowTest, ScopesShowTheAudioLevels) {
    window.loadFile(mod("a.mod"));
    window.onPlay();
    audio.left.assign(100, -32768);
    audio.right.assign(100, 0);
    window.statusTick();
    const ScopeGeometry& g = window.panels().scopeGeometry();
    EXPECT_EQ(window.panels().leftScope().pixel(0, g.yBottom), (Rgb{255, 0, 0}));
    EXPECT_EQ(window.panels().rightScope().pixel(0, g.zeroLine), (Rgb{0, 255, 0}));
    EXPECT_EQ(window.panels().holdValue(0), window.panels().meterGeometry().barHeight - 1);
}

TEST_F(WindowTest, ReentrantTickDoesNothing) {
    // A message box shown from a tick runs a message loop that can fire the timer again.
    window.loadFile(list("l.lst", mod("a.mod") + "\n" + mod("b.mod") + "\n" + mod("c.mod") + "\n"));
    window.onPlay();
    int drawsInside = -1;
    int drawsBefore = 0;
    view.duringError = [&] {
        drawsBefore = view.panelDraws;
        window.statusTick();
        drawsInside = view.panelDraws - drawsBefore;
    };
    audio.failWith = "Error: Failed to open wave out device";
    songEnds();
    window.statusTick();  // advances to b, whose start fails
    EXPECT_EQ(title(), "b");
    EXPECT_EQ(drawsInside, 0);
    EXPECT_EQ(view.errors.size(), 1u);
}

TEST_F(WindowTest, SampleWindowsAndTheOptionBoxes) {
    window.onSamples();
    window.onSampleDoubleClicked(0);
    window.onPattern();
    EXPECT_TRUE(view.sampleWindows.empty());  // nothing before a module is loaded
    EXPECT_EQ(view.patternWindows, 0);
    window.loadFile(mod("a.mod"));
    // The samples window may switch ISP; the main window's boxes follow when it closes.
    view.whileSubWindowOpen = [&] { engine.settings.ISP = !engine.settings.ISP.load(); };
    window.onSamples();
    EXPECT_FALSE(view.boxes[OptionBox::Isp]);
    window.onSampleDoubleClicked(4);
    EXPECT_TRUE(view.boxes[OptionBox::Isp]);  // by double-click as well
    window.onSampleDoubleClicked(31);         // past the last sample: nothing
    EXPECT_EQ(view.sampleWindows, (std::vector<uint32_t>{0, 4}));
    view.whileSubWindowOpen = nullptr;
    window.onPattern();
    EXPECT_EQ(view.patternWindows, 1);
    window.onAbout();
    EXPECT_EQ(view.aboutBoxes, 1);
}

TEST_F(WindowTest, CloseStopsThenEndsTheDialog) {
    window.loadFile(mod("a.mod"));
    window.onPlay();
    window.close();
    EXPECT_FALSE(playing());
    EXPECT_EQ(view.dialogEnds, 1);
    window.shutdown();
    EXPECT_EQ(engine.module, nullptr);
}

// List playback.

TEST_F(WindowTest, OneEntryListLoadsTheEntryAndCloses) {
    window.loadFile(list("one.lst", mod("a.mod") + "\n"));
    EXPECT_EQ(title(), "a");
    EXPECT_EQ(view.caption, "Tarvex V1.5 - a.mod");
    EXPECT_FALSE(window.listOpen());
    EXPECT_FALSE(playing());
    EXPECT_EQ(view.busyDepth, 0);
}

TEST_F(WindowTest, EmptyLineReplaysTheCurrentEntry) {
    const std::string a = mod("a.mod");
    const std::string b = mod("b.mod");
    window.loadFile(list("l.lst", a + "\r\n\r\n" + b + "\r\n"));
    EXPECT_TRUE(window.listOpen());
    EXPECT_FALSE(window.autoAdvance());  // list idle
    window.onPlay();
    EXPECT_TRUE(window.autoAdvance());  // list auto
    window.statusTick();
    EXPECT_EQ(audio.starts, 1);
    // Rows: the song ends, one tick follows; then what plays and how often play started.
    struct Row {
        const char* title;
        int starts;
        bool listOpen;
        bool playing;
    };
    const Row rows[] = {
        {"a", 2, true, true},    // the empty line loads nothing: a starts again
        {"b", 3, false, true},   // the last entry closes the list and still plays
        {"b", 3, false, false},  // nothing follows
    };
    for (const Row& row : rows) {
        songEnds();
        window.statusTick();
        EXPECT_EQ(title(), row.title);
        EXPECT_EQ(audio.starts, row.starts) << row.title;
        EXPECT_EQ(window.listOpen(), row.listOpen) << row.title;
        EXPECT_EQ(playing(), row.playing) << row.title;
    }
}

TEST_F(WindowTest, FailingEntriesAreSkippedOnePerTick) {
    // A 600-character line is two entries (499 + 101 characters), both unloadable.
    window.loadFile(list("l.lst", std::string(600, 'x') + "\n" + mod("a.mod") + "\n" + mod("b.mod")));
    EXPECT_EQ(view.text(TextField::Errors), "Unsupported File");
    window.onPlay();
    EXPECT_FALSE(playing());
    window.statusTick();  // the 101 characters: fails, play starts nothing
    EXPECT_EQ(view.text(TextField::Errors), "Unsupported File");
    EXPECT_FALSE(playing());
    window.statusTick();  // a loads and plays
    EXPECT_EQ(title(), "a");
    EXPECT_TRUE(playing());
    EXPECT_TRUE(window.listOpen());
}

TEST_F(WindowTest, ListNamedOnTheLastLineIsTheNextList) {
    const std::string second = list("second.lst", mod("b.mod") + "\n" + mod("c.mod") + "\n");
    window.loadFile(list("first.lst", mod("a.mod") + "\n" + second));
    window.onPlay();
    songEnds();
    window.statusTick();
    EXPECT_EQ(title(), "b");
    EXPECT_TRUE(playing());
    EXPECT_TRUE(window.listOpen());  // the second list, at its first entry
    songEnds();
    window.statusTick();
    EXPECT_EQ(title(), "c");
}

TEST_F(WindowTest, ListsLeadingRoundInACircleCloseWithTheirLoadResult) {
    const std::filesystem::path dir = test::writeTempFile("x", {}).parent_path();
    const std::string self = list("self.lst", (dir / "self.lst").string() + "\n");
    const std::string first = list("first-of-two.lst", (dir / "second-of-two.lst").string() + "\n");
    list("second-of-two.lst", first + "\n");
    const std::string failing = list("failing.lst", "missing.mod\n" + (dir / "failing.lst").string());
    for (const std::string& start : {self, first, failing}) {
        SCOPED_TRACE(start);
        window.loadFile(start);
        window.onPlay();
        for (int tick = 0; tick < 3; ++tick) window.statusTick();
        EXPECT_FALSE(window.listOpen());
        // The list that came round again was loaded as a module: no reader takes ".lst".
        EXPECT_EQ(view.text(TextField::Errors), "Unsupported File");
        EXPECT_EQ(engine.module, nullptr);
        EXPECT_FALSE(playing());
    }
    // A list that plays a module may name itself: it repeats.
    const std::string repeat = list("repeat.lst", mod("a.mod") + "\n" + (dir / "repeat.lst").string());
    window.loadFile(repeat);
    window.onPlay();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(title(), "a");
        EXPECT_TRUE(playing());
        songEnds();
        window.statusTick();
    }
    EXPECT_TRUE(window.listOpen());
}

TEST_F(WindowTest, ListNamedOnAnotherLineIsRejected) {
    const std::string other = list("other.lst", mod("b.mod") + "\n");
    window.loadFile(list("first.lst", other + "\n" + mod("a.mod") + "\n"));
    EXPECT_EQ(view.text(TextField::Errors), "Unsupported File");
    EXPECT_EQ(engine.module, nullptr);
    EXPECT_TRUE(window.listOpen());
}

TEST_F(WindowTest, DroppedFilePlaysAndTheListContinues) {
    window.loadFile(list("l.lst", mod("a.mod") + "\n" + mod("b.mod") + "\n" + mod("c.mod") + "\n"));
    window.onPlay();
    window.onFilesDropped({mod("d.mod")});
    EXPECT_EQ(title(), "d");
    EXPECT_TRUE(playing());
    EXPECT_TRUE(window.listOpen());
    songEnds();
    window.statusTick();
    EXPECT_EQ(title(), "b");
    EXPECT_TRUE(playing());
}

TEST_F(WindowTest, CancellingTheDialogClosesTheListOnly) {
    window.loadFile(list("l.lst", mod("a.mod") + "\n" + mod("b.mod") + "\n"));
    window.onPlay();
    view.dialogAnswer.reset();
    window.onOpenFile();
    EXPECT_FALSE(window.listOpen());
    EXPECT_EQ(title(), "a");
    EXPECT_TRUE(playing());
    songEnds();
    window.statusTick();
    EXPECT_EQ(title(), "a");  // no list: nothing follows
}

TEST_F(WindowTest, NextEntryButton) {
    window.onNextEntry();  // without a list: nothing
    EXPECT_FALSE(window.advanceRequested());
    window.loadFile(list("l.lst", mod("a.mod") + "\n" + mod("b.mod") + "\n" + mod("c.mod") + "\n"));
    // While stopped the next entry is loaded at the next tick but not started.
    window.onNextEntry();
    EXPECT_TRUE(window.nextWhileStopped());
    window.statusTick();
    EXPECT_EQ(title(), "b");
    EXPECT_FALSE(playing());
    window.onPlay();
    EXPECT_FALSE(window.nextWhileStopped());
    // While playing (or paused) it stops at once; the next tick loads and starts.
    window.onPause();
    window.onNextEntry();
    EXPECT_FALSE(playing());
    window.statusTick();
    EXPECT_EQ(title(), "c");
    EXPECT_TRUE(playing());
    EXPECT_FALSE(window.paused());
}

TEST_F(WindowTest, ListAdvanceGoesOnWhileMinimised) {
    window.loadFile(list("l.lst", mod("a.mod") + "\n" + mod("b.mod") + "\n"));
    window.onPlay();
    view.minimised = true;
    songEnds();
    window.statusTick();
    EXPECT_EQ(title(), "b");
    EXPECT_TRUE(playing());
}

TEST_F(WindowTest, ListAdvanceWaitsForAnOpenSubWindow) {
    window.loadFile(list("l.lst", mod("a.mod") + "\n" + mod("b.mod") + "\n"));
    window.onPlay();
    view.whileSubWindowOpen = [&] {
        songEnds();
        window.statusTick();
        EXPECT_EQ(title(), "a");  // the module the window shows stays
    };
    window.onPattern();
    view.whileSubWindowOpen = nullptr;
    window.statusTick();
    EXPECT_EQ(title(), "b");
}

TEST_F(WindowTest, RelativeEntryIsShownWhole) {
    const std::filesystem::path dir = std::filesystem::path(mod("rel.mod")).parent_path();
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    window.loadFile(list("rel.lst", "rel.mod\n"));
    std::filesystem::current_path(previous);
    EXPECT_EQ(view.text(TextField::File), "rel.mod");
    EXPECT_EQ(view.caption, "Tarvex V1.5 - rel.mod");
}

}  // namespace
}  // namespace tarvex

namespace tarvex {
namespace {

// An XM with three instruments: the second maps its notes to its second sample, the third has none.
test::XmSampleSpec xmSample(std::vector<int16_t> frames) {
    test::XmSampleSpec sample;
    sample.frames = std::move(frames);
    return sample;
}

std::string xmFile(const std::string& name, uint16_t flags) {
    test::XmWriter xm;
    xm.flags = flags;
    xm.instruments.push_back(test::XmInstrumentSpec::single("lead caf\xE9", {xmSample({0, 10, 20})}));
    test::XmInstrumentSpec pad = test::XmInstrumentSpec::single("pad", {xmSample({1}), xmSample({2, 3})});
    pad.map.fill(1);
    xm.instruments.push_back(pad);
    xm.instruments.push_back(test::XmInstrumentSpec::single("empty", {}));
    return test::writeTempFile(name, xm.bytes()).string();
}

TEST_F(WindowTest, AnXmShowsItsInstrumentsAndItsFrequencyMode) {
    struct Row {
        uint16_t flags;
        bool clickedBefore;
        bool linear;
    };
    for (const Row& row :
         {Row{1, false, true}, Row{0, false, false}, Row{0, true, false}, Row{1, true, true}}) {
        SCOPED_TRACE(row.flags * 2 + row.clickedBefore);
        if (row.clickedBefore != window.linearFrequency()) window.onOptionClicked(OptionBox::LinearFrequ);
        window.loadFile(xmFile("modes.xm", row.flags));
        ASSERT_NE(engine.module, nullptr);
        EXPECT_EQ(window.linearFrequency(), row.linear);
        EXPECT_EQ(view.boxes[OptionBox::LinearFrequ], row.linear);
    }
    EXPECT_EQ(view.sampleLines, (std::vector<std::string>{"lead caf\xC3\xA9", "pad", "empty"}));

    // A MOD after an XM in linear mode: cleared as after every other load.
    window.loadFile(mod("after.mod"));
    EXPECT_FALSE(window.linearFrequency());
    EXPECT_FALSE(view.boxes[OptionBox::LinearFrequ]);
    EXPECT_EQ(view.sampleLines.size(), 31u);
}

// An IT of two samples: in instrument mode "lead" plays the second on every key, "empty" none.
std::string itFile(const std::string& name, bool instrumentMode, bool linear) {
    test::ItWriter it;
    it.flags = static_cast<uint16_t>(1 | (instrumentMode ? 4 : 0) | (linear ? 8 : 0));
    it.samples.push_back({.name = "kick", .frames = {0, 10, 20}});
    it.samples.push_back({.name = "snare caf\xE9", .frames = {5, 6}});
    if (instrumentMode) {
        test::ItInstrument lead;
        lead.name = "lead";
        for (auto& key : lead.keyboard) key.second = 2;
        test::ItInstrument empty;
        empty.name = "empty";
        it.instruments = {lead, empty};
    }
    return test::writeTempFile(name, it.bytes()).string();
}

TEST_F(WindowTest, AnItListsItsInstrumentsOrInSampleModeItsSamples) {
    struct Row {
        bool instrumentMode, linear;
        std::vector<std::string> lines;
        std::vector<std::optional<uint32_t>> opened;  // by lines 0, 1 and 2
    };
    const Row rows[] = {
        {true, true, {"lead", "empty"}, {1, std::nullopt, std::nullopt}},
        {false, false, {"kick", "snare caf\xC3\xA9"}, {0, 1, std::nullopt}},
        {false, true, {"kick", "snare caf\xC3\xA9"}, {0, 1, std::nullopt}},
        {true, false, {"lead", "empty"}, {1, std::nullopt, std::nullopt}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.instrumentMode * 2 + row.linear);
        window.loadFile(itFile("modes.it", row.instrumentMode, row.linear));
        ASSERT_NE(engine.module, nullptr);
        ASSERT_EQ(engine.module->formatType, kFormatIt);
        EXPECT_EQ(view.sampleLines, row.lines);
        EXPECT_EQ(window.linearFrequency(), row.linear);
        EXPECT_EQ(view.boxes[OptionBox::LinearFrequ], row.linear);
        for (uint32_t line = 0; line < 3; ++line)
            EXPECT_EQ(window.sampleOfListLine(line), row.opened[line]) << line;
    }
    view.sampleWindows.clear();
    window.loadFile(itFile("lines.it", true, true));
    window.onSampleDoubleClicked(1);
    window.onSampleDoubleClicked(0);
    EXPECT_EQ(view.sampleWindows, (std::vector<uint32_t>{1}));
}

TEST_F(WindowTest, AnInstrumentLineOpensTheSampleOfItsFirstMappedNote) {
    window.loadFile(xmFile("lines.xm", 1));
    ASSERT_NE(engine.module, nullptr);
    ASSERT_EQ(engine.module->samples.size(), 3u);
    EXPECT_EQ(window.sampleOfListLine(0), std::optional<uint32_t>(0));
    EXPECT_EQ(window.sampleOfListLine(1), std::optional<uint32_t>(2));  // its second sample
    EXPECT_EQ(window.sampleOfListLine(2), std::nullopt);                // no samples
    EXPECT_EQ(window.sampleOfListLine(3), std::nullopt);
    window.onSampleDoubleClicked(1);
    window.onSampleDoubleClicked(2);
    window.onSampleDoubleClicked(0);
    EXPECT_EQ(view.sampleWindows, (std::vector<uint32_t>{2, 0}));
}

}  // namespace
}  // namespace tarvex
