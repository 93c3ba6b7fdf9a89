#include "ui/SampleWindow.h"

#include <algorithm>
#include <cstdio>

#include "audio/Streaming.h"
#include "core/PitchTables.h"
#include "core/TextEncoding.h"

namespace tarvex {

namespace {

std::string formatted(const char* pattern, auto value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// x = trunc(frame * xs + left), in 64 bits so that a loop end of 0 (a loop that starts past 0 but
// never ends) cannot wrap.
int frameX(int64_t frame, double xs, int left) {
    const double x = double(frame) * xs + left;
    if (x > 1e9) return 1000000000;
    if (x < -1e9) return -1000000000;
    return int(x);
}

}  // namespace

void drawWaveform(Raster& raster, int width, int height, const Sample* sample) {
    raster.resize(width, height);
    int left = 0;
    int top = -1;  // the client rectangle with its top moved up by one
    int right = width;
    int bottom = height;
    raster.fillRect(left, top, right, bottom, kWaveformBackground);
    --right;
    --bottom;
    const int mid = top + (bottom - top) / 2;
    raster.line(right, mid, left, mid, kWaveformCentreLine);

    if (sample == nullptr) return;
    // Never read past the frames the sample holds, whatever its header says.
    const uint32_t length = uint32_t(std::min<size_t>(sample->length, sample->data.size()));
    if (length == 0) return;
    const double xs = double(right - left) / double(length);
    const double ys = double(bottom - top) / 65536.0;
    int penX = left;
    int penY = mid;
    for (uint32_t i = 0; i < length; ++i) {
        const int x = frameX(i, xs, left);
        const int y = int(double(bottom) - (double(sample->data[i]) + 32768.0) * ys);
        raster.line(penX, penY, x, y, kWaveformPen);
        penX = x;
        penY = y;
    }
    if (sample->loopStart != 0 || sample->loopEnd != 0) {
        const int start = frameX(sample->loopStart, xs, left);
        const int end = frameX(int64_t(sample->loopEnd) - 1, xs, left);
        raster.line(start, top, start, bottom, kWaveformLoopPen);
        raster.line(end, top, end, bottom, kWaveformLoopPen);
    }
}

SampleWindow::SampleWindow(Player& player, SampleWindowView& view, uint32_t sampleIndex)
    : player_(player), view_(view), sampleIndex_(sampleIndex), preview_(player) {
    if (sampleIndex_ >= slotCount()) sampleIndex_ = 0;
}

uint32_t SampleWindow::slotCount() const {
    const Module* m = player_.module.get();
    if (m == nullptr) return 0;
    return uint32_t(std::min<size_t>(m->sampleCount, m->samples.size()));
}

const Sample* SampleWindow::currentSample() const {
    if (sampleIndex_ >= slotCount()) return nullptr;
    return &player_.module->samples[sampleIndex_];
}

void SampleWindow::initialise() {
    for (const PeriodEntry& entry : PeriodTable) view_.addNote(std::string(entry.name, 3));
    // The note of the first sample, whichever sample is shown: for 8363 Hz that is "C-6", at
    // which the preview plays a sample at its own base frequency.
    if (slotCount() > 0) view_.selectNote(noteIndex(player_.module->samples[0].basePeriod));
    showSampleFields();
}

void SampleWindow::showSampleFields() {
    const Sample* s = currentSample();
    if (s != nullptr) {
        view_.setField(SampleControl::Index, formatted("%u", unsigned(sampleIndex_ + 1)));
        view_.setField(SampleControl::Name, latin1ToUtf8(s->name.view()));
        view_.setField(SampleControl::Length, formatted("%lu", static_cast<unsigned long>(s->length)));
        view_.setField(SampleControl::LoopStart, formatted("%lu", static_cast<unsigned long>(s->loopStart)));
        view_.setField(SampleControl::LoopEnd, formatted("%lu", static_cast<unsigned long>(s->loopEnd)));
        // A signed 32-bit field, as the original's long.
        view_.setField(SampleControl::Volume, formatted("%ld", static_cast<long>(int32_t(s->volume))));
        // Only an exact period names a note; the key-off name is no base note.
        const std::optional<std::string_view> note =
            s->basePeriod == kNoteOff ? std::nullopt : noteName(int32_t(s->basePeriod));
        view_.setField(SampleControl::BaseNote, note ? std::string(*note) : std::string());
        view_.setField(SampleControl::BaseFrequency,
                       formatted("%lu", static_cast<unsigned long>(s->baseFrequency)));
        view_.setField(SampleControl::Finetune, formatted("%d", int(s->finetune)));
    }
    view_.setIspBox(player_.settings.ISP.load(std::memory_order_relaxed));
}

void SampleWindow::nextSample() {
    const uint32_t count = slotCount();
    if (count == 0) return;
    sampleIndex_ = sampleIndex_ + 1 >= count ? 0 : sampleIndex_ + 1;
    showStep();
}

void SampleWindow::previousSample() {
    const uint32_t count = slotCount();
    if (count == 0) return;
    sampleIndex_ = sampleIndex_ == 0 ? count - 1 : sampleIndex_ - 1;
    showStep();
}

void SampleWindow::showStep() {
    view_.selectNote(int32_t(view_.topNote()));
    showSampleFields();
    drawWaveform();
}

void SampleWindow::playOnce() {
    if (!player_.playbackFinished.load(std::memory_order_acquire)) return;  // the main player owns the device
    const uint32_t top = std::min<uint32_t>(view_.topNote(), kPeriodCount - 1);
    view_.selectNote(int32_t(top));
    const Sample* s = currentSample();
    if (s == nullptr || s->data.empty() || s->length == 0) return;
    // A song that has ended on the queued device kind leaves that device running on the channels
    // as they stand. The preview takes the device over, so the main player is stopped properly
    // first: its handlers let go at once and its state says stopped.
    if (!player_.outputStopped.load(std::memory_order_acquire)) stopPlayback(player_);
    const std::string_view error = preview_.startPreview(*s, PeriodTable[top].period);
    if (error.empty()) return;
    // The device's text as it is, and below it why, when the device can tell.
    std::string message(error);
    const std::string reason = player_.device.backend ? player_.device.backend->openFailure() : std::string();
    if (!reason.empty()) message += "\n" + reason;
    view_.showError(message);
}

void SampleWindow::stopPlay() {
    const std::string_view error = preview_.stopPreview();
    if (!error.empty()) view_.showError(std::string(error));
}

void SampleWindow::toggleIsp() {
    const bool on = !player_.settings.ISP.load(std::memory_order_relaxed);
    player_.settings.ISP.store(on, std::memory_order_relaxed);
    view_.setIspBox(on);
}

const Raster& SampleWindow::renderWaveform() {
    tarvex::drawWaveform(waveform_, view_.waveformWidth(), view_.waveformHeight(), currentSample());
    return waveform_;
}

void SampleWindow::drawWaveform() {
    view_.waveformDrawn(renderWaveform());
}

void SampleWindow::close() {
    if (player_.playbackFinished.load(std::memory_order_acquire)) stopPlay();
    view_.endDialog();
}

}  // namespace tarvex
