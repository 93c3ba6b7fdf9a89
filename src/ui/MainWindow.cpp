#include "ui/MainWindow.h"

#include <algorithm>
#include <cstdio>

#include "core/TextEncoding.h"
#include "core/Version.h"
#include "engine/PlayerSettings.h"
#include "formats/Loader.h"
#include "ui/Settings.h"

namespace tarvex {

namespace {

// XM songs and IT songs in instrument mode list their instruments; the others (an IT in sample
// mode too) their samples.
bool listsInstruments(const Module& module) {
    return module.formatType == kFormatXm || (module.formatType == kFormatIt && module.instrumentMode);
}

std::string formatUnsigned(const char* pattern, uint32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, unsigned(value));
    return text;
}

constexpr TextField kStatusFields[] = {TextField::Cpu, TextField::Index, TextField::Pattern, TextField::Row,
                                       TextField::Bpm, TextField::Speed, TextField::Time};

}  // namespace

std::string initialCaption() {
    return "Tarvex V" + std::string(kVersion);
}

std::string captionFor(const std::string& fileName) {
    return initialCaption() + " - " + fileName;
}

std::string songEntry(size_t index, size_t count) {
    // The selector is 46 dialog units wide: from ten songs on, the numbers alone fit.
    char text[48];
    std::snprintf(text, sizeof text, count < 10 ? "Song %zu/%zu" : "%zu/%zu", index + 1, count);
    return text;
}

MainWindow::MainWindow(Engine& engine, AudioControl& audio, MainWindowView& view, SettingsStore* store)
    : engine_(engine), audio_(audio), view_(view), store_(store) {}

void MainWindow::initialise(const std::optional<std::string>& commandLinePath) {
    const PanelSizes sizes = view_.panelSizes();
    panels_.setUp(sizes.scopeWidth, sizes.scopeHeight, sizes.meterWidth, sizes.meterHeight);

    paused_ = false;
    list_.close();
    advanceRequested_ = false;
    autoAdvance_ = false;
    displayFrozen_ = false;
    nextWhileStopped_ = false;
    engine_.outputStopped.store(true, std::memory_order_relaxed);

    for (uint32_t rate : kSampleRates)
        view_.addSelectorEntry(FormatSelector::Frequency, formatUnsigned("%u Hz", rate));
    for (uint32_t channels : kChannelCounts)
        view_.addSelectorEntry(FormatSelector::Channels, formatUnsigned("%u", channels));
    for (uint32_t bits : kBitDepths)
        view_.addSelectorEntry(FormatSelector::Resolution, formatUnsigned("%u Bit", bits));
    for (uint32_t ms : kBufferLengthsMs)
        view_.addSelectorEntry(FormatSelector::Buffer, formatUnsigned("%u ms", ms));

    tickBusy_ = false;
    loadStoredSettings();
    view_.showSongs({}, 0, false);

    if (commandLinePath) {
        loadFile(*commandLinePath);
        onPlay();
    }
}

void MainWindow::close() {
    audio_.stopPlayback();
    saveStoredSettings();
    view_.endDialog();
}

void MainWindow::shutdown() {
    closeList();
    audio_.stopPlayback();
    engine_.freeModule();
    loadedPath_.clear();
    songs_.clear();
    song_ = 0;
}

void MainWindow::onPlay() {
    wake();
    nextWhileStopped_ = false;
    if (engine_.state.fastForward.load(std::memory_order_relaxed)) {
        setFastForward(engine_, false);
        return;
    }
    if (engine_.state.rewinding.load(std::memory_order_relaxed)) {
        setRewinding(engine_, false);
        return;
    }
    if (paused_) {
        onPause();
        return;
    }
    onStop();
    applyOutputFormat(controlStates(), engine_.settings);
    startSong(0);
}

void MainWindow::startSong(uint64_t startFrame) {
    engine_.startAt.reset();
    audio_.setStartFrame(startFrame);
    const std::string error = audio_.startPlayback();
    if (!error.empty()) view_.showError(error);
    displayFrozen_ = false;
    if (listOpen()) autoAdvance_ = true;
}

void MainWindow::onPause() {
    wake();
    paused_ = !paused_;
    if (paused_) {
        audio_.pauseDevice();
    } else {
        audio_.resumeDevice();
    }
}

void MainWindow::onStop() {
    wake();
    autoAdvance_ = false;
    audio_.stopPlayback();
    // A stopped player is not paused: the next play starts playback instead of resuming nothing.
    paused_ = false;
}

void MainWindow::onFastForward() {
    wake();
    setRewinding(engine_, false);
    setFastForward(engine_, true);
}

void MainWindow::onRewind() {
    wake();
    setRewinding(engine_, true);
    setFastForward(engine_, false);
}

void MainWindow::onNextEntry() {
    wake();
    if (hasNextSong()) {
        stepToSong(song_ + 1);
        return;
    }
    if (!listOpen()) return;
    if (stopped()) nextWhileStopped_ = true;
    onStop();
    advanceRequested_ = true;
}

void MainWindow::onPreviousSong() {
    wake();
    if (hasPreviousSong()) stepToSong(song_ - 1);
}

void MainWindow::onSongChosen(uint32_t index) {
    wake();
    if (index >= songs_.size()) return;
    onStop();
    selectSong(index);
    applyOutputFormat(controlStates(), engine_.settings);
    startSong(0);
}

void MainWindow::stepToSong(size_t index) {
    // As with the next list entry: a stopped player only moves on, play starts the song.
    const bool wasStopped = stopped();
    onStop();
    selectSong(index);
    if (wasStopped) return;
    applyOutputFormat(controlStates(), engine_.settings);
    startSong(0);
}

void MainWindow::selectSong(size_t index) {
    song_ = index;
    engine_.songStart = songs_[index].start;  // read by the next start only
    std::vector<std::string> entries;
    for (size_t i = 0; i < songs_.size(); ++i) entries.push_back(songEntry(i, songs_.size()));
    view_.showSongs(entries, uint32_t(index), songs_.size() > 1);
}

uint64_t MainWindow::songLengthMicros() const {
    if (song_ >= songs_.size()) return 0;
    const SongDuration& length = songs_[song_].duration;
    return length.ended ? uint64_t{length.milliseconds} * 1000 : kDurationLimitMicros;
}

std::optional<uint64_t> MainWindow::seekTo(int64_t micros) {
    wake();
    if (!moduleLoaded() || songs_.empty()) return std::nullopt;
    const uint64_t target = uint64_t(std::clamp<int64_t>(micros, 0, int64_t(songLengthMicros())));
    const bool wasStopped = stopped();
    const bool wasPaused = paused_;
    onStop();
    // A running song keeps its output format, so the time maps to frames at the rate it plays at;
    // a stopped one starts as play would start it.
    if (wasStopped) applyOutputFormat(controlStates(), engine_.settings);
    startSong(frameAtTime(target, engine_.settings.Frequency));
    if (wasPaused && !stopped()) {
        paused_ = true;
        audio_.pauseDevice();
    }
    return target;
}

void MainWindow::onOptionClicked(OptionBox box) {
    wake();
    PlayerSettings& s = engine_.settings;
    const auto flip = [this, box](std::atomic<bool>& option) {
        const bool on = !option.load(std::memory_order_relaxed);
        option.store(on, std::memory_order_relaxed);
        view_.setBox(box, on);
    };
    switch (box) {
        case OptionBox::Isp:
            flip(s.ISP);
            break;
        case OptionBox::Clipping:
            flip(s.Clipping);
            break;
        case OptionBox::DeClick:
            flip(s.Click);
            break;
        case OptionBox::WideStereo:
            flip(s.WideStereo);
            break;
        case OptionBox::LoopsOn:
            flip(s.LoopsAllowed);
            break;
        case OptionBox::UseWaveOut:
            pendingWaveOut_ = !pendingWaveOut_;
            view_.setBox(box, pendingWaveOut_);
            break;
        case OptionBox::LinearFrequ:
            linearFrequency_ = !linearFrequency_;
            view_.setBox(box, linearFrequency_);
            break;
    }
}

void MainWindow::showOptionBoxes() {
    const PlayerSettings& s = engine_.settings;
    view_.setBox(OptionBox::Isp, s.ISP.load(std::memory_order_relaxed));
    view_.setBox(OptionBox::WideStereo, s.WideStereo.load(std::memory_order_relaxed));
    view_.setBox(OptionBox::Clipping, s.Clipping.load(std::memory_order_relaxed));
    view_.setBox(OptionBox::DeClick, s.Click.load(std::memory_order_relaxed));
}

template <typename Open>
void MainWindow::runSubWindow(Open open) {
    ++subWindowsOpen_;
    open();
    --subWindowsOpen_;
    // A song that ended while the window was open is followed by the next entry at once.
    if (subWindowsOpen_ == 0 && !tickBusy_) advanceList();
}

void MainWindow::onOpenFile() {
    wake();
    closeList();
    const std::optional<std::string> path = view_.chooseModuleFile();
    if (path && !path->empty()) loadFile(*path);
}

void MainWindow::onSamples() {
    wake();
    if (!hasSampleTable()) return;
    runSubWindow([this] { view_.openSampleWindow(0); });
    showOptionBoxes();
}

std::optional<uint32_t> MainWindow::sampleOfListLine(uint32_t line) const {
    if (!hasSampleTable()) return std::nullopt;
    const Module& module = *engine_.module;
    if (!listsInstruments(module)) {
        if (line >= module.samples.size()) return std::nullopt;
        return line;
    }
    // An instrument's line: the sample of its first mapped note, else its first sample.
    if (line >= module.instruments.size()) return std::nullopt;
    const Instrument& instrument = module.instruments[line];
    for (const uint16_t sample : instrument.sampleOfNote) {
        if (sample != 0 && sample <= module.samples.size()) return uint32_t(sample - 1);
    }
    if (instrument.sampleCount == 0 || instrument.firstSample >= module.samples.size()) return std::nullopt;
    return instrument.firstSample;
}

void MainWindow::onSampleDoubleClicked(uint32_t index) {
    wake();
    const std::optional<uint32_t> sample = sampleOfListLine(index);
    if (!sample) return;
    runSubWindow([this, sample] { view_.openSampleWindow(*sample); });
    // The samples window can switch ISP: the boxes follow however it was opened.
    showOptionBoxes();
}

void MainWindow::onPattern() {
    wake();
    if (!moduleLoaded()) return;
    runSubWindow([this] { view_.openPatternWindow(); });
}

void MainWindow::onAbout() {
    view_.showAbout();
}

void MainWindow::onFilesDropped(const std::vector<std::string>& paths) {
    wake();
    if (paths.empty()) return;
    loadFile(paths.front());
    onPlay();
}

bool MainWindow::writeStatusTexts() {
    const StatusValues v = statusValues(engine_, audio_.renderMillis());
    bool changed = false;
    // Most ticks change no text, and of the rest most change one: only those that differ from
    // what was set are set.
    if (!shownValues_ || !sameStatusTexts(v, *shownValues_)) {
        shownValues_ = v;
        const StatusTexts t = formatStatus(v);
        const std::string* texts[] = {&t.cpu, &t.index, &t.pattern, &t.row, &t.bpm, &t.speed, &t.time};
        for (size_t i = 0; i < std::size(kStatusFields); ++i) {
            if (shownStatus_[i] == *texts[i]) continue;
            shownStatus_[i] = *texts[i];
            view_.setText(kStatusFields[i], *texts[i]);
            changed = true;
        }
    }
    audio_.setPreamp(view_.preampPosition());
    view_.followPosition(v.currentPattern, v.row);
    return changed;
}

void MainWindow::statusTick() {
    if (tickBusy_) return;
    tickBusy_ = true;
    const bool minimised = view_.isMinimised();
    const bool textsChanged = !stopped() && !minimised && writeStatusTexts();
    advanceList();
    if (!paused_ && !minimised && !displayFrozen_) {
        if (panels_.refresh(audio_.levels(), stopped())) displayFrozen_ = true;
        if (panels_.changes().any()) view_.panelsDrawn(panels_);
    }
    // Paused, or stopped with the picture frozen (or not shown): nothing moves until something
    // is done, and wake() restarts the timer then. A list that is about to go on keeps it running.
    const bool still = paused_ || (stopped() && (displayFrozen_ || minimised));
    const bool advancePending = listOpen() && (advanceRequested_ || (autoAdvance_ && stopped()));
    if (!still || textsChanged || advancePending) {
        quietTicks_ = 0;
    } else if (quietTicks_ < kQuietTicks && ++quietTicks_ == kQuietTicks) {
        view_.setTicking(false);
    }
    tickBusy_ = false;
}

void MainWindow::wake() {
    if (quietTicks_ >= kQuietTicks) view_.setTicking(true);
    quietTicks_ = 0;
}

void MainWindow::advanceList() {
    if (!listOpen()) return;
    if (autoAdvance_ && stopped()) advanceRequested_ = true;
    if (!advanceRequested_ || subWindowsOpen_ > 0) return;
    advanceRequested_ = false;
    readNextListEntry();
    if (stopped() && !nextWhileStopped_) onPlay();
}

void MainWindow::loadFile(const std::string& path) {
    wake();
    view_.setBusy(true);
    if (!listOpen() && openList(path)) {
        view_.setBusy(false);
        return;
    }
    audio_.stopPlayback();
    Module& module = engine_.createModule();
    setRewinding(engine_, false);
    setFastForward(engine_, false);
    paused_ = false;
    for (TextField field : {TextField::Title, TextField::File, TextField::Errors, TextField::Tracker})
        view_.setText(field, "");
    view_.clearSampleList();

    const LoadOutcome outcome = loadModuleFile(path, module);
    ++loadCount_;
    loadedPath_ = outcome.loaded ? path : std::string();
    const std::string message = resultMessage(outcome.result, outcome.sizeDetail);
    if (outcome.loaded) {
        const std::string fileName = fileNameToUtf8(fileNameOf(path));
        view_.setText(TextField::Title, latin1ToUtf8(module.title.view()));
        view_.setText(TextField::File, fileName);
        view_.setCaption(captionFor(fileName));
        if (listsInstruments(module)) {
            for (const Instrument& instrument : module.instruments)
                view_.addSampleLine(latin1ToUtf8(instrument.name.view()));
        } else {
            for (uint32_t i = 0; i < module.sampleCount && i < module.samples.size(); ++i)
                view_.addSampleLine(latin1ToUtf8(module.samples[i].name.view()));
        }
        view_.setText(TextField::Errors, message);
        view_.setText(TextField::Tracker, latin1ToUtf8(trackerLine(module)));
        list_.moduleLoaded();
        // The box shows an XM's or IT's own frequency mode; the other formats have none and clear it.
        linearFrequency_ =
            (module.formatType == kFormatXm || module.formatType == kFormatIt) && module.linearFrequency;
        view_.setBox(OptionBox::LinearFrequ, linearFrequency_);
        // Audio is stopped: the module can be stepped to find its timing and its songs.
        chooseTiming(module);
        songs_ = findSubsongs(module);
        selectSong(0);
    } else {
        engine_.freeModule();
        view_.setText(TextField::Errors, message);
        songs_.clear();
        song_ = 0;
        engine_.songStart = 0;
        view_.showSongs({}, 0, false);
    }
    view_.setBusy(false);
}

bool MainWindow::openList(const std::string& path) {
    // Opens only a path that names a list file, and only while no list is open. A list named by
    // the last entry of a list that would only lead round in a circle is not opened: loaded as a
    // module instead, it shows its load result, and nothing follows.
    if (!list_.open(path, readingListEntry_)) return false;
    readNextListEntry();
    return true;
}

void MainWindow::readNextListEntry() {
    // Reading the last entry closes the list; that entry is still loaded.
    const std::optional<std::string> entry = list_.readNextEntry();
    if (!entry || entry->empty()) return;
    const bool outer = readingListEntry_;
    readingListEntry_ = true;
    loadFile(*entry);
    readingListEntry_ = outer;
}

void MainWindow::closeList() {
    wake();
    list_.close();
}

SettingsControls MainWindow::controlStates() const {
    SettingsControls c;
    c.rateIndex = view_.selectedEntry(FormatSelector::Frequency);
    c.bufferIndex = view_.selectedEntry(FormatSelector::Buffer);
    c.channelsIndex = view_.selectedEntry(FormatSelector::Channels);
    c.bitsIndex = view_.selectedEntry(FormatSelector::Resolution);
    // The boxes always show these states: every click and every load of them sets both.
    const PlayerSettings& s = engine_.settings;
    c.isp = s.ISP.load(std::memory_order_relaxed);
    c.wideStereo = s.WideStereo.load(std::memory_order_relaxed);
    c.useWaveOut = pendingWaveOut_;
    c.clipping = s.Clipping.load(std::memory_order_relaxed);
    c.click = s.Click.load(std::memory_order_relaxed);
    c.loopsAllowed = s.LoopsAllowed.load(std::memory_order_relaxed);
    return c;
}

void MainWindow::loadStoredSettings() {
    MemorySettingsStore empty;
    const SettingsControls c = loadSettings(store_ != nullptr ? *store_ : empty, engine_.settings);
    view_.selectEntry(FormatSelector::Frequency, c.rateIndex);
    view_.selectEntry(FormatSelector::Buffer, c.bufferIndex);
    view_.selectEntry(FormatSelector::Channels, c.channelsIndex);
    view_.selectEntry(FormatSelector::Resolution, c.bitsIndex);
    view_.setBox(OptionBox::Isp, c.isp);
    view_.setBox(OptionBox::WideStereo, c.wideStereo);
    pendingWaveOut_ = c.useWaveOut;
    view_.setBox(OptionBox::UseWaveOut, c.useWaveOut);
    view_.setBox(OptionBox::Clipping, c.clipping);
    view_.setBox(OptionBox::DeClick, c.click);
    view_.setBox(OptionBox::LoopsOn, c.loopsAllowed);
}

void MainWindow::saveStoredSettings() {
    if (store_ != nullptr) saveSettings(*store_, controlStates());
}

}  // namespace tarvex
