// Fakes for driving the main window's logic: a view that records what the window shows and an
// audio side that only flips the output flags.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "ui/MainWindowView.h"

namespace tarvex::test {

class FakeView : public MainWindowView {
   public:
    void setText(TextField field, const std::string& text) override {
        texts[field] = text;
        ++textWrites;
    }
    void setCaption(const std::string& text) override { caption = text; }
    void clearSampleList() override { sampleLines.clear(); }
    void addSampleLine(const std::string& text) override { sampleLines.push_back(text); }
    void setBox(OptionBox box, bool checked) override { boxes[box] = checked; }
    void addSelectorEntry(FormatSelector s, const std::string& text) override { entries[s].push_back(text); }
    void selectEntry(FormatSelector s, uint32_t index) override { selected[s] = index; }
    uint32_t selectedEntry(FormatSelector s) const override { return selected.count(s) ? selected.at(s) : 0; }
    uint32_t preampPosition() const override { return preamp; }
    PanelSizes panelSizes() const override { return sizes; }
    bool isMinimised() const override { return minimised; }
    void setBusy(bool busy) override {
        busyDepth += busy ? 1 : -1;
        if (busy) ++busyShown;
    }
    void showError(const std::string& text) override {
        errors.push_back(text);
        if (duringError) duringError();
    }
    std::optional<std::string> chooseModuleFile() override { return dialogAnswer; }
    void panelsDrawn(const StatusPanels&) override { ++panelDraws; }
    void openSampleWindow(uint32_t index) override {
        sampleWindows.push_back(index);
        if (whileSubWindowOpen) whileSubWindowOpen();
    }
    void openPatternWindow() override {
        ++patternWindows;
        if (whileSubWindowOpen) whileSubWindowOpen();
    }
    void followPosition(uint32_t pattern, uint32_t row) override { follows.emplace_back(pattern, row); }
    void showAbout() override { ++aboutBoxes; }
    void endDialog() override { ++dialogEnds; }
    void setTicking(bool on) override { ticking = on; }
    void showSongs(const std::vector<std::string>& entries, uint32_t selected, bool enabled) override {
        songEntries = entries;
        songSelected = selected;
        songsEnabled = enabled;
    }

    std::string text(TextField field) const { return texts.count(field) ? texts.at(field) : std::string(); }

    std::map<TextField, std::string> texts;
    int textWrites = 0;
    std::string caption;
    std::vector<std::string> sampleLines;
    std::map<OptionBox, bool> boxes;
    std::map<FormatSelector, std::vector<std::string>> entries;
    std::map<FormatSelector, uint32_t> selected;
    uint32_t preamp = 512;
    PanelSizes sizes{122, 69, 38, 69};
    bool minimised = false;
    int busyDepth = 0;
    int busyShown = 0;
    std::vector<std::string> errors;
    std::function<void()> duringError;
    std::optional<std::string> dialogAnswer;
    int panelDraws = 0;
    std::vector<uint32_t> sampleWindows;
    int patternWindows = 0;
    std::function<void()> whileSubWindowOpen;
    std::vector<std::pair<uint32_t, uint32_t>> follows;
    int aboutBoxes = 0;
    int dialogEnds = 0;
    bool ticking = true;
    std::vector<std::string> songEntries;
    uint32_t songSelected = 0;
    bool songsEnabled = false;
};

// Starting sets the flags a song start clears; stopping sets them again. The song's end is the
// test's call to endSong(), as the output layer's own stop at the end of a song.
class FakeAudio : public AudioControl {
   public:
    explicit FakeAudio(Engine& engine) : engine_(engine) {}

    std::string startPlayback() override {
        ++starts;
        if (!engine_.module) return {};
        if (!failWith.empty()) return failWith;
        engine_.outputStopped.store(false);
        engine_.playbackFinished.store(false);
        startedWith.push_back(engine_.settings.Frequency);
        startedAt.push_back(Start{engine_.songStart, startFrame, engine_.startAt.has_value()});
        return {};
    }
    void stopPlayback() override {
        ++stops;
        endSong();
    }
    void setStartFrame(uint64_t frame) override { startFrame = frame; }
    void pauseDevice() override { ++pauses; }
    void resumeDevice() override { ++resumes; }
    void setPreamp(uint32_t position) override { preamp = position; }
    uint32_t renderMillis() override { return millis; }
    LevelBuffer levels() override {
        return LevelBuffer{left.data(), right.data(), uint32_t(std::min(left.size(), right.size()))};
    }

    void endSong() {
        engine_.outputStopped.store(true);
        engine_.playbackFinished.store(true);
    }
    bool playing() const { return !engine_.outputStopped.load(); }

    int starts = 0;
    int stops = 0;
    int pauses = 0;
    int resumes = 0;
    uint32_t preamp = 0;
    uint32_t millis = 0;
    std::string failWith;
    std::vector<uint32_t> startedWith;
    // Where each start began: the order position, the frames played silently, a position jump.
    struct Start {
        uint32_t songStart = 0;
        uint64_t frame = 0;
        bool startAt = false;
        bool operator==(const Start&) const = default;
    };
    std::vector<Start> startedAt;
    uint64_t startFrame = 0;
    std::vector<int16_t> left;
    std::vector<int16_t> right;

   private:
    Engine& engine_;
};

// A playable four-channel "M.K." module of one pattern with one 64-byte sample named sampleName.
std::vector<uint8_t> tinyMod(const std::string& title, const std::string& sampleName = "bass");

}  // namespace tarvex::test
