// The main window's logic: transport, options, opening files and lists, and the window timer.
//
// It drives a MainWindowView (the widgets) and an AudioControl (the output layer) and works on
// the player's Engine: its module, settings, play position and transport flags. Everything here
// runs on the user-interface thread; the audio side shares only the atomics of Engine.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Duration.h"
#include "engine/Engine.h"
#include "ui/ListFile.h"
#include "ui/MainWindowView.h"
#include "ui/OpenFiles.h"
#include "ui/StatusDisplay.h"

namespace tarvex {

class SettingsStore;
struct SettingsControls;

inline constexpr uint32_t kPreampTick = 64;  // slider ticks; its range is kMinPreamp..kMaxPreamp
inline constexpr int kStatusTickMs = 15;
// Ticks in a row that found the window paused or stopped and changed nothing before the timer is
// stopped; about a second, so that a segment rendered just as the pause came is still shown.
inline constexpr uint32_t kQuietTicks = 64;

// The caption before any load, and after a load of fileName.
std::string initialCaption();
std::string captionFor(const std::string& fileName);

class MainWindow {
   public:
    MainWindow(Engine& engine, AudioControl& audio, MainWindowView& view, SettingsStore* store);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The window's initialisation once its controls exist: panel geometry, flags, selectors,
    // stored settings; then the command line's path, if any, is loaded and played.
    void initialise(const std::optional<std::string>& commandLinePath);
    // Every way of closing the window: stop, save the settings, end the dialog.
    void close();
    // After the dialog has ended: close the list, stop, drop the module.
    void shutdown();

    // Transport buttons.
    void onPlay();
    void onPause();
    void onStop();
    void onFastForward();
    void onRewind();
    // The next song of the module, else the next list entry.
    void onNextEntry();
    // The previous song of the module, if there is one.
    void onPreviousSong();
    // The song selector: plays that song of the module from its start.
    void onSongChosen(uint32_t index);
    // Plays the current song from a time in microseconds, clamped to [0, its length], exactly as
    // playing through would from there; a paused song stays paused, a stopped one starts. Returns
    // the time played from, nothing when no module is loaded.
    std::optional<uint64_t> seekTo(int64_t micros);

    void onOptionClicked(OptionBox box);
    // Menu entries and the instrument list.
    void onOpenFile();
    void onSamples();
    void onSampleDoubleClicked(uint32_t index);
    void onPattern();
    void onAbout();
    // Files dropped on the window: the first one counts.
    void onFilesDropped(const std::vector<std::string>& paths);

    // The window timer's callback.
    void statusTick();
    // Something may have changed (an action, the user's input, the window's state): the timer
    // runs again if it had stopped.
    void wake();

    // Opening files and lists.
    void loadFile(const std::string& path);
    bool openList(const std::string& path);
    void readNextListEntry();
    void closeList();

    bool paused() const { return paused_; }
    bool listOpen() const { return list_.isOpen(); }
    bool advanceRequested() const { return advanceRequested_; }
    bool autoAdvance() const { return autoAdvance_; }
    bool displayFrozen() const { return displayFrozen_; }
    bool nextWhileStopped() const { return nextWhileStopped_; }
    bool pendingWaveOut() const { return pendingWaveOut_; }
    bool linearFrequency() const { return linearFrequency_; }
    // The sample a line of the sample list opens: the sample itself, or for an instrument's line
    // (XM, IT in instrument mode) the sample of its first mapped note (its first sample when no
    // note maps one).
    std::optional<uint32_t> sampleOfListLine(uint32_t line) const;
    const StatusPanels& panels() const { return panels_; }
    // The path the module playing was loaded from ("" when none is), and a count that moves on
    // with every load, so that a list naming one file twice still shows two songs.
    const std::string& loadedPath() const { return loadedPath_; }
    uint32_t loadCount() const { return loadCount_; }
    // The songs of the loaded module (none without one) and the index of the one chosen.
    const std::vector<Subsong>& songs() const { return songs_; }
    size_t song() const { return song_; }
    bool hasNextSong() const { return song_ + 1 < songs_.size(); }
    bool hasPreviousSong() const { return song_ > 0 && song_ < songs_.size(); }
    // Microseconds the current song lasts: its duration, or the hour it is measured up to.
    uint64_t songLengthMicros() const;

   private:
    bool moduleLoaded() const { return engine_.module != nullptr; }
    bool hasSampleTable() const { return moduleLoaded() && !engine_.module->samples.empty(); }
    bool stopped() const { return engine_.outputStopped.load(std::memory_order_relaxed); }
    // Returns whether any text changed.
    bool writeStatusTexts();
    void advanceList();
    // Starts the current song, silent up to startFrame; the caller has stopped playback.
    void startSong(uint64_t startFrame);
    // Makes song index the current one; it plays from its start if anything was playing.
    void stepToSong(size_t index);
    void selectSong(size_t index);
    void showOptionBoxes();
    // Runs a modal sub-window; list advance waits while one is open, so the module it shows
    // cannot be replaced under it.
    template <typename Open>
    void runSubWindow(Open open);
    // The option controls' states, as stored and as applied at play.
    SettingsControls controlStates() const;
    void loadStoredSettings();
    void saveStoredSettings();

    Engine& engine_;
    AudioControl& audio_;
    MainWindowView& view_;
    SettingsStore* store_;
    StatusPanels panels_;
    ListFile list_;

    bool paused_ = false;
    bool advanceRequested_ = false;
    bool autoAdvance_ = false;
    bool displayFrozen_ = false;
    // The status texts as last set, in the order of the status fields.
    std::array<std::string, 7> shownStatus_;
    // The values those texts were made from.
    std::optional<StatusValues> shownValues_;
    bool nextWhileStopped_ = false;
    bool pendingWaveOut_ = false;
    bool linearFrequency_ = false;
    bool tickBusy_ = false;
    uint32_t quietTicks_ = 0;
    bool readingListEntry_ = false;  // loadFile runs for an entry of a list
    int subWindowsOpen_ = 0;
    std::string loadedPath_;
    uint32_t loadCount_ = 0;
    std::vector<Subsong> songs_;
    size_t song_ = 0;
};

// The song selector's entry for song index of count: "Song 2/3", or "12/23" from ten songs on.
std::string songEntry(size_t index, size_t count);

}  // namespace tarvex
