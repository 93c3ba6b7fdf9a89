// Fakes for the pattern and samples windows: views that record what the windows show, and a sound
// device without a thread that keeps the segments handed to it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "audio/AudioBackend.h"
#include "ui/PatternWindow.h"
#include "ui/SampleWindow.h"

namespace tarvex::test {

class FakePatternView : public PatternWindowView {
   public:
    void setPatternNumber(const std::string& text) override { number = text; }
    void setListRedraw(bool on) override {
        redraw = on;
        if (!on) ++suspensions;
    }
    void clearLines() override {
        lines.clear();
        selected = -1;
        linesWhileDrawing += redraw ? 1 : 0;
    }
    void addLine(const std::string& text) override {
        lines.push_back(text);
        linesWhileDrawing += redraw ? 1 : 0;
    }
    void selectLine(uint32_t index) override { selected = int(index); }
    void setHorizontalExtent(int pixels) override { extent = pixels; }
    int letterHWidth() const override { return hWidth; }

    std::string number;
    std::vector<std::string> lines;
    int selected = -1;
    int extent = 0;
    int hWidth = 9;
    bool redraw = true;
    int suspensions = 0;
    int linesWhileDrawing = 0;  // list changes made while redrawing was on
};

class FakeSampleView : public SampleWindowView {
   public:
    void setField(SampleControl field, const std::string& text) override { fields[field] = text; }
    void setIspBox(bool checked) override { isp = checked; }
    void addNote(const std::string& name) override { notes.push_back(name); }
    // The real list scrolls a selected entry to the top.
    void selectNote(int32_t index) override {
        selected = index;
        ++selections;
        if (index >= 0) top = uint32_t(index);
    }
    uint32_t topNote() const override { return top; }
    int waveformWidth() const override { return width; }
    int waveformHeight() const override { return height; }
    void waveformDrawn(const Raster&) override { ++draws; }
    void showError(const std::string& text) override { errors.push_back(text); }
    void endDialog() override { ++dialogEnds; }

    std::string field(SampleControl id) const {
        return fields.count(id) ? fields.at(id) : std::string("<unset>");
    }

    std::map<SampleControl, std::string> fields;
    bool isp = false;
    std::vector<std::string> notes;
    int32_t selected = -1;
    int selections = 0;
    uint32_t top = 0;
    int width = 200;
    int height = 100;
    int draws = 0;
    std::vector<std::string> errors;
    int dialogEnds = 0;
};

// A device of either kind that plays only when told: it keeps every queued segment.
class RecordingBackend : public AudioBackend {
   public:
    bool open(DeviceKind kind, const PcmFormat& f, uint32_t, SegmentDoneHandler, void*) override {
        ++opens;
        if (failOpen) return false;
        isOpen = true;
        openKind = kind;
        format = f;
        return true;
    }
    void close() override {
        if (isOpen) ++closes;
        isOpen = false;
        running = false;
    }
    void pause() override { running = false; }
    void resume() override { running = isOpen; }
    bool createQueue(uint32_t count, uint32_t) override {
        queued.assign(count, {});
        return true;
    }
    void queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) override {
        queued.at(index).assign(data, data + bytes);
    }
    bool segmentPlaying(uint32_t) override { return false; }
    void resetQueue() override {}
    bool createRing(uint32_t bytes) override {
        ring.assign(bytes, 0);
        return true;
    }
    uint8_t* lockRing(uint32_t offset, uint32_t) override { return ring.data() + offset; }
    void unlockRing(uint32_t, uint32_t) override {}
    uint32_t playCursor() const override { return 0; }

    // Frames of 16-bit mono segment s that are not silent.
    int soundingFrames(uint32_t s) const {
        int count = 0;
        const std::vector<uint8_t>& bytes = queued.at(s);
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) count += (bytes[i] | bytes[i + 1]) != 0 ? 1 : 0;
        return count;
    }

    bool failOpen = false;
    int opens = 0;
    int closes = 0;
    bool isOpen = false;
    bool running = false;
    DeviceKind openKind = DeviceKind::ring;
    PcmFormat format;
    std::vector<std::vector<uint8_t>> queued;
    std::vector<uint8_t> ring;
};

}  // namespace tarvex::test
