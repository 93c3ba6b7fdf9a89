#include <gtest/gtest.h>

#include "ViewerFakes.h"
#include "support/ModuleBuilder.h"

namespace tarvex {
namespace {

using test::FakeSampleView;
using test::ModuleBuilder;
using test::RecordingBackend;

constexpr Rgb kBlack{0, 0, 0};
constexpr int kC6 = 72;
constexpr int kC7 = 84;

bool columnHas(const Raster& r, int x, Rgb colour) {
    for (int y = 0; y < r.height(); ++y)
        if (r.pixel(x, y) == colour) return true;
    return false;
}

TEST(Waveform, ShortSampleWithLoop) {
    // 200 x 100 pixels: r = (0, -1, 199, 99), mid = 49, xs = 49.75, ys = 100 / 65536.
    Sample s;
    s.data = {-32768, 32767, 0, 0};
    s.length = 4;
    Raster r;
    drawWaveform(r, 200, 100, &s);
    ASSERT_EQ(r.width(), 200);
    ASSERT_EQ(r.height(), 100);
    // The centre line runs from x = 199 towards 0; the polyline starts at its end, (0, 49), and
    // goes to (0, 99), (49, 0), (99, 49), (149, 49), whose last point stays undrawn.
    EXPECT_EQ(r.pixel(199, 49), kWaveformCentreLine);
    EXPECT_EQ(r.pixel(150, 49), kWaveformCentreLine);
    EXPECT_EQ(r.pixel(149, 49), kWaveformCentreLine);
    EXPECT_EQ(r.pixel(148, 49), kWaveformPen);
    EXPECT_EQ(r.pixel(100, 49), kWaveformPen);
    EXPECT_EQ(r.pixel(0, 49), kWaveformPen);
    EXPECT_EQ(r.pixel(0, 98), kWaveformPen);
    EXPECT_EQ(r.pixel(0, 99), kWaveformPen);  // the start of the next line
    EXPECT_EQ(r.pixel(49, 0), kWaveformPen);  // the start of the line to (99, 49)
    EXPECT_EQ(r.pixel(199, 0), kBlack);
    EXPECT_EQ(r.pixel(199, 99), kBlack);
    EXPECT_FALSE(columnHas(r, 199, kWaveformPen));
    EXPECT_FALSE(columnHas(r, 0, kWaveformLoopPen));  // no loop: no markers

    // Loop over frames 1..3: blue at x = 49 and 149, from row 0 down to row 98.
    s.loopStart = 1;
    s.loopEnd = 4;
    drawWaveform(r, 200, 100, &s);
    for (int x : {49, 149}) {
        EXPECT_EQ(r.pixel(x, 0), kWaveformLoopPen) << x;
        EXPECT_EQ(r.pixel(x, 49), kWaveformLoopPen) << x;
        EXPECT_EQ(r.pixel(x, 98), kWaveformLoopPen) << x;
        EXPECT_NE(r.pixel(x, 99), kWaveformLoopPen) << x;
    }
    EXPECT_EQ(r.pixel(150, 49), kWaveformCentreLine);
    EXPECT_EQ(r.pixel(148, 49), kWaveformPen);
}

TEST(Waveform, LongSampleWithLoopAndNoData) {
    // More frames than pixels: xs = 199 / 10000, every frame a line.
    Sample s;
    s.length = 10000;
    s.data.assign(10000, 0);
    s.data[9999] = 32767;  // the last point, (198, 0), stays undrawn
    s.data[5000] = -32768;
    s.loopStart = 2000;
    s.loopEnd = 8000;
    Raster r;
    drawWaveform(r, 200, 100, &s);
    EXPECT_EQ(r.pixel(198, 0), kBlack);
    EXPECT_EQ(r.pixel(198, 1), kWaveformPen);
    EXPECT_EQ(r.pixel(198, 49), kWaveformPen);
    // The dip at trunc(5000 * 0.0199) = 99 is the start of the line back up to the centre.
    EXPECT_EQ(r.pixel(99, 99), kWaveformPen);
    EXPECT_EQ(r.pixel(99, 50), kWaveformPen);
    EXPECT_EQ(r.pixel(199, 49), kWaveformCentreLine);
    EXPECT_FALSE(columnHas(r, 199, kWaveformPen));
    // trunc(2000 * 0.0199) = 39, trunc(7999 * 0.0199) = 159.
    EXPECT_EQ(r.pixel(39, 10), kWaveformLoopPen);
    EXPECT_EQ(r.pixel(159, 10), kWaveformLoopPen);
    EXPECT_FALSE(columnHas(r, 40, kWaveformLoopPen));
    EXPECT_FALSE(columnHas(r, 160, kWaveformLoopPen));

    // Without data: black with the grey centre line only, whatever the header says.
    s.data.clear();
    drawWaveform(r, 200, 100, &s);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool centre = y == 49 && x >= 1;
            ASSERT_EQ(r.pixel(x, y), centre ? kWaveformCentreLine : kBlack) << x << "," << y;
        }
}

class SampleWindowTest : public ::testing::Test {
   protected:
    SampleWindowTest() {
        auto fake = std::make_unique<RecordingBackend>();
        backend = fake.get();
        player.device.backend = std::move(fake);
        player.settings.UseWaveOut = true;  // the queued kind: no timer thread
        player.settings.BufferLength = 200;
        player.settings.Resolution = 16;
        player.settings.ISP = false;
    }

    // Five samples: 1 normal, 2 empty, 3 at 8000 Hz with a Latin-1 name, 4 looped, 5 short.
    void load() {
        ModuleBuilder song(4);
        song.sample({.length = 4000, .volume = 48});
        song.sample({.length = 0, .volume = 0, .baseFrequency = 0});
        song.sample({.length = 100, .baseFrequency = 8000, .finetune = -3});
        song.sample({.length = 800, .loopStart = 100, .loopEnd = 700});
        song.sample({.length = 64});
        player.module = song.build();
        player.module->samples[2].name.assign("Fl\xFCgel");
        for (int16_t& v : player.module->samples[4].data) v = 8000;
    }

    Player player;
    RecordingBackend* backend = nullptr;
    FakeSampleView view;
};

TEST_F(SampleWindowTest, FieldsOfEverySlot) {
    load();
    SampleWindow window(player, view, 4);  // a double click on the fifth instrument
    window.initialise();
    ASSERT_EQ(view.notes.size(), 132u);
    EXPECT_EQ(view.notes.front(), "C-0");
    EXPECT_EQ(view.notes.back(), "H-A");
    // The note list starts at the first sample's base note, whichever sample is shown.
    EXPECT_EQ(view.selected, kC6);
    EXPECT_EQ(view.field(SampleControl::Index), "5");
    EXPECT_TRUE(view.isp == false);

    struct Expected {
        const char* index;
        const char* name;
        const char* length;
        const char* loopStart;
        const char* loopEnd;
        const char* volume;
        const char* baseNote;
        const char* baseFrequency;
        const char* finetune;
    };
    const Expected slots[] = {
        {"1", "", "4000", "0", "0", "48", "C-6", "8363", "0"},
        {"2", "", "0", "0", "0", "0", "", "0", "0"},                      // empty slot
        {"3", "Fl\xC3\xBCgel", "100", "0", "0", "64", "", "8000", "-3"},  // 409: no exact note
        {"4", "", "800", "100", "700", "64", "C-6", "8363", "0"},
        {"5", "", "64", "0", "0", "64", "C-6", "8363", "0"},
    };
    // Next from the last slot wraps to the first and visits every slot, empty ones included.
    for (const Expected& e : slots) {
        window.nextSample();
        SCOPED_TRACE(e.index);
        EXPECT_EQ(view.field(SampleControl::Index), e.index);
        EXPECT_EQ(view.field(SampleControl::Name), e.name);
        EXPECT_EQ(view.field(SampleControl::Length), e.length);
        EXPECT_EQ(view.field(SampleControl::LoopStart), e.loopStart);
        EXPECT_EQ(view.field(SampleControl::LoopEnd), e.loopEnd);
        EXPECT_EQ(view.field(SampleControl::Volume), e.volume);
        EXPECT_EQ(view.field(SampleControl::BaseNote), e.baseNote);
        EXPECT_EQ(view.field(SampleControl::BaseFrequency), e.baseFrequency);
        EXPECT_EQ(view.field(SampleControl::Finetune), e.finetune);
    }
    EXPECT_EQ(view.draws, 5);
    window.previousSample();
    EXPECT_EQ(window.sampleIndex(), 3u);
    for (int i = 0; i < 4; ++i) window.previousSample();
    EXPECT_EQ(window.sampleIndex(), 4u);  // previous on the first shows the last

    // A step makes the note on top of the list the selection.
    view.top = 30;
    window.nextSample();
    EXPECT_EQ(view.selected, 30);
}

TEST_F(SampleWindowTest, IspBoxIsThePlayersOption) {
    load();
    SampleWindow window(player, view, 0);
    window.initialise();
    window.toggleIsp();
    EXPECT_TRUE(player.settings.ISP.load());
    EXPECT_TRUE(view.isp);
    window.toggleIsp();
    EXPECT_FALSE(player.settings.ISP.load());
    EXPECT_FALSE(view.isp);
}

TEST_F(SampleWindowTest, PlayOnceAtTheTopNote) {
    load();
    SampleWindow window(player, view, 4);  // 64 frames of 8000 at 8363 Hz, no loop
    window.initialise();

    // While the main player owns the device nothing happens, not even the selection.
    player.playbackFinished = false;
    player.outputStopped = false;
    view.top = kC7;
    const int selections = view.selections;
    window.playOnce();
    EXPECT_EQ(backend->opens, 0);
    EXPECT_EQ(view.selections, selections);
    player.playbackFinished = true;
    player.outputStopped = true;

    // The top entry, not the earlier selection, sets the pitch. At 44100 Hz C-6 steps 194/1024
    // frame per output frame: frames 1..337 sound (337 x 194 < 64 x 1024). C-7 steps 388: 168.
    view.top = kC6;
    view.selected = kC7;
    window.playOnce();
    EXPECT_EQ(view.selected, kC6);
    ASSERT_TRUE(backend->isOpen);
    EXPECT_EQ(backend->openKind, DeviceKind::queued);
    EXPECT_EQ(backend->format.channels, 1u);
    EXPECT_EQ(backend->soundingFrames(0), 337);
    EXPECT_FALSE(window.preview().stopped());

    view.top = kC7;
    window.playOnce();  // restarts from the beginning
    EXPECT_EQ(backend->opens, 2);
    EXPECT_EQ(backend->soundingFrames(0), 168);

    window.stopPlay();
    EXPECT_FALSE(backend->isOpen);
    EXPECT_TRUE(window.preview().stopped());

    // An empty slot is not played.
    window.previousSample();
    window.previousSample();
    window.previousSample();
    ASSERT_EQ(window.sampleIndex(), 1u);
    window.playOnce();
    EXPECT_EQ(backend->opens, 2);
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(SampleWindowTest, ClosingStopsThePreview) {
    load();
    SampleWindow window(player, view, 3);  // looped: plays until stopped
    window.initialise();
    window.playOnce();
    ASSERT_TRUE(backend->isOpen);
    window.close();
    EXPECT_FALSE(backend->isOpen);
    EXPECT_EQ(view.dialogEnds, 1);

    // The song has ended but the queued device still runs: the preview takes the device over
    // from a main player that is stopped properly first.
    player.outputStopped = false;
    player.playbackFinished = true;
    window.playOnce();
    EXPECT_TRUE(player.outputStopped.load());
    EXPECT_TRUE(backend->isOpen);
    window.close();
    EXPECT_FALSE(backend->isOpen);
}

TEST_F(SampleWindowTest, DeviceFailureIsShown) {
    load();
    backend->failOpen = true;
    SampleWindow window(player, view, 0);
    window.initialise();
    window.playOnce();
    EXPECT_EQ(view.errors, (std::vector<std::string>{"Error: Failed to open wave out device"}));
    EXPECT_TRUE(window.preview().stopped());
}

}  // namespace
}  // namespace tarvex
