// The samples window's logic: one sample's properties and waveform, stepping through every slot
// of the module, and the preview of the shown sample at the note on top of the note list.
//
// The window is modal and read-only; its one setting, the ISP box, is the player's own ISP option.
// It holds the SamplePreview: every way of closing stops it, so no preview outlives the window.
#pragma once

#include <cstdint>
#include <string>

#include "audio/Player.h"
#include "audio/SamplePreview.h"
#include "ui/Raster.h"

namespace tarvex {

// The controls of the window, by their dialog ids.
enum class SampleControl : int {
    Name = 1004,
    Length = 1005,
    LoopStart = 1006,
    LoopEnd = 1007,
    Volume = 1008,
    BaseFrequency = 1009,
    BaseNote = 1010,
    Next = 1011,
    Previous = 1012,
    Index = 1013,
    Finetune = 1014,
    Waveform = 1018,
    NoteList = 1023,
    PlayOnce = 1024,
    StopPlay = 1025,
    Isp = 1027,
};

// What the window's logic needs of its widgets. Every text handed over is UTF-8.
class SampleWindowView {
   public:
    virtual ~SampleWindowView() = default;

    // One of the nine read-only fields (Index, Name, Length, LoopStart, LoopEnd, Volume, BaseNote,
    // BaseFrequency, Finetune).
    virtual void setField(SampleControl field, const std::string& text) = 0;
    virtual void setIspBox(bool checked) = 0;
    virtual void addNote(const std::string& name) = 0;
    // Selects a note list entry and scrolls it to the top; -1 selects none.
    virtual void selectNote(int32_t index) = 0;
    // The entry at the top of the list's visible part.
    virtual uint32_t topNote() const = 0;
    // The client area of the waveform frame, in pixels.
    virtual int waveformWidth() const = 0;
    virtual int waveformHeight() const = 0;
    // The waveform raster has been redrawn and should be shown.
    virtual void waveformDrawn(const Raster& raster) = 0;
    // A device failure: a message box with the caption "Error:", an error icon, this window as parent.
    virtual void showError(const std::string& text) = 0;
    // Ends the modal dialog.
    virtual void endDialog() = 0;
};

inline constexpr Rgb kWaveformBackground{0, 0, 0};
inline constexpr Rgb kWaveformPen{255, 0, 0};
inline constexpr Rgb kWaveformCentreLine{125, 125, 125};
inline constexpr Rgb kWaveformLoopPen{0, 0, 255};

// Draws a sample into raster, resized to the frame's client area of width x height pixels.
// r = (0, -1, width - 1, height - 1) after the frame's adjustments; mid = r.top + (r.bottom -
// r.top) / 2. The grey centre line runs from (r.right, mid) to (r.left, mid); the red polyline
// goes on from there through (trunc(i * xs + r.left), trunc(r.bottom - (data[i] + 32768.0) * ys))
// for every frame i, with xs = (r.right - r.left) / length and ys = (r.bottom - r.top) / 65536.0;
// blue lines from r.top to r.bottom mark loopStart and loopEnd - 1 when either is not 0. Every
// line leaves its end point undrawn. A sample without data (or none) gets the centre line only.
// For a 200 x 100 area: mid = 49; -32768 lands on row 99, 32767 on row 0.
void drawWaveform(Raster& raster, int width, int height, const Sample* sample);

class SampleWindow {
   public:
    // Starts at sampleIndex (0 when the module has no such slot). The module is read from the
    // player; it must not change while the window is open.
    SampleWindow(Player& player, SampleWindowView& view, uint32_t sampleIndex);
    SampleWindow(const SampleWindow&) = delete;
    SampleWindow& operator=(const SampleWindow&) = delete;

    // initSampleWindow, after the view has its controls and icons: the note list, the entry of
    // the first sample's base note, the fields.
    void initialise();
    void showSampleFields();
    // Step through every slot, empty ones included, with wrap.
    void nextSample();
    void previousSample();
    // PlayOnce: the note on top of the list becomes the selection and the shown sample plays at
    // its period. Nothing while the main player owns the device or for a sample without data.
    void playOnce();
    // StopPlay.
    void stopPlay();
    void toggleIsp();
    // Redraws the waveform raster and hands it to the view.
    void drawWaveform();
    // Redraws the waveform raster only (for a paint that shows it itself). Nothing is cached.
    const Raster& renderWaveform();
    // closeSampleWindow: every way of closing comes here. Stops the preview, then ends the dialog.
    void close();

    uint32_t sampleIndex() const { return sampleIndex_; }
    const Sample* currentSample() const;
    const Raster& waveform() const { return waveform_; }
    const SamplePreview& preview() const { return preview_; }

   private:
    uint32_t slotCount() const;
    void showStep();

    Player& player_;
    SampleWindowView& view_;
    uint32_t sampleIndex_ = 0;
    SamplePreview preview_;
    Raster waveform_;
};

}  // namespace tarvex
