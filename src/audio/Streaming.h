// Keeping the device fed: the start and the refill handlers that the main player and the sample
// preview share, and the main player's start and stop.
//
// Threads. The owner's thread (the window, the CLI) starts, stops, pauses and resumes, and renders
// the first 7 segments. After that segments are rendered on the device's thread (queued kind:
// onBufferDone) or, ring kind, on the thread that moves the cursor (onCursorMoved, right after a
// move into another segment) until the end is near, and on the poll's thread (onPollTimer, woken by
// the backend's cursor reports, or every millisecond for a hardware cursor) from then on.
//
// The handoff at stop. No render may run while the mixer's buffers are freed, and the render
// threads take no lock. stopPlayback therefore (1) kills the timer, which joins the timer thread
// and waits for a refill under way on the device's thread, so no ring-kind render runs or can
// start; (2) raises outputStopped, after which neither handler
// starts a render; (3) pauses and (4) closes the device, and the backend's close returns only once
// its own thread has left the done handler for good, so no queued-kind render runs either. Only
// then (6) are the sequencer's and mixer's buffers freed. At the end of a song the ring kind's
// timer handler runs the stop on the timer's own thread, once the play cursor has passed the song's
// last frame (the segment render that set playbackFinished records where that frame lies; until
// the cursor gets there the refills go on as usual); it cannot join itself, but it is the
// only thread that renders, so nothing else renders while it closes the device. It leaves the
// freeing to the owner's next stopPlayback (every start, load and exit runs one), because the
// owner may be reading the level arrays at that very moment. A stop from the owner always joins
// the timer first, so the two stops never overlap.
#pragma once

#include <cstdint>
#include <string_view>

#include "audio/Player.h"

namespace tarvex {

// Opens the source's device, paused, for the kind UseWaveOut selects, in the settings' rate, bits
// and buffer length with `channels` channels; creates its 8 segments; lets the source begin;
// renders the 7 segments ahead and starts the device with the handlers below. Returns the error
// text of the device kind when the device, its buffers or the timer cannot be had (the caller
// then stops and shows it), empty otherwise.
std::string_view startStream(SegmentSource& source, const PlayerSettings& settings, uint32_t channels);
// The handlers; context is the SegmentSource. Queued kind: each played segment is the next fill
// request. Ring kind: every fill request the play cursor has passed since the last event, in turn.
void onBufferDone(void* context);
void onPollTimer(void* context);
// onPollTimer's refills alone, without its end-of-stream check: what may run on the thread that
// moves the cursor (which must not stop or close the device) until the end comes near.
void onCursorMoved(void* context);

// Starts the loaded module from its beginning on a freshly opened device of the kind UseWaveOut
// selects, in the format of the settings. Returns the error text when the device or its buffers
// cannot be had (the caller shows it), empty otherwise; without a module it starts nothing.
std::string_view startPlayback(Player& player);
// Stops playback and releases the device; harmless when nothing plays.
void stopPlayback(Player& player);
// Renders segment (a + 7) mod 8, the one before a, and hands it to the device.
bool fillSegment(Player& player, uint32_t a);

}  // namespace tarvex
