// The player context: everything the application has one of. Tests create as many as they like.
#pragma once

#include "audio/Mixer.h"
#include "audio/OutputDevice.h"
#include "engine/Engine.h"

namespace tarvex {

// As a SegmentSource it streams the song: beginStream starts it, renderSegment is fillSegment, and
// the stream halts with outputStopped and ends at the song's end (Streaming.h).
class Player : public Engine, public SegmentSource {
   public:
    Player() = default;
    // Stops playback first, so no device thread renders into a player that is going.
    ~Player() override;

    MixState mix;
    ChannelMutes mutes;
    // Declared after the mixer: its destructor stops the device and the timer before the
    // buffers they render into go.
    OutputDevice device;
    // Preamp position 1..1024 the mix divisor follows; startPlayback applies it right after the
    // song start, where 512 gives the song-start divisor itself.
    uint32_t preamp = kDefaultPreamp;
    // Frames every start of the song plays silently before the first one is heard or delivered: a
    // start at a time in the song, exactly as playing through would get there (see skipFrames).
    uint64_t startFrame = 0;
    // Called on the thread that renders or ends the stream when the song has finished rendering
    // (playbackFinished) and when the ring kind has stopped after the song's last frame: for an
    // owner that sleeps until something changes. Set before the stream starts; must not block.
    void (*onStreamChange)(void* context) = nullptr;
    void* streamChangeContext = nullptr;

    OutputDevice& streamDevice() override { return device; }
    void beginStream() override;
    void renderSegment(uint32_t a) override;
    bool streamHalted() const override;
    bool endStreamOnTimer() override;

   protected:
    void resetMixState() override { tarvex::resetMixState(*this); }
};

}  // namespace tarvex
