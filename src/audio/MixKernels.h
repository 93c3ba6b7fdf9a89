// Inner loops of the mixer (private to src/audio). A run is a stretch of at most kMaxRunFrames frames
// within which no tick happens, so each channel changes only by the mixer's own advance: a channel's
// values for the whole run are produced first, then scaled into the accumulators.
#pragma once

#include <cstdint>
#include <libdivide.h>

#include "audio/Mixer.h"
#include "engine/Engine.h"

namespace tarvex::mixkernels {

// A sample as the mixer sees it: a loop whose start is not below its end plays as no loop, and the
// length never exceeds the data actually held.
struct SampleView {
    const int16_t* data = nullptr;
    uint32_t length = 0;
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    bool loops = false;
};

inline SampleView viewOf(const Sample& sample) {
    SampleView view;
    view.data = sample.data.data();
    view.length = sample.length < sample.data.size() ? sample.length : static_cast<uint32_t>(sample.data.size());
    view.loopEnd = sample.loopEnd < view.length ? sample.loopEnd : view.length;
    view.loopStart = sample.loopStart;
    view.loops = sample.loopEnd != 0 && view.loopStart < view.loopEnd;
    return view;
}

inline int64_t distance(int32_t a, int32_t b) {
    const int64_t d = static_cast<int64_t>(a) - b;
    return d < 0 ? -d : d;
}

// De-click: while a note start is pending, halve the way from the last value until the jump is at
// most 1000 sample units; the ramp ends on the first frame that needs no halving.
inline int32_t declick(ChannelState& channel, int32_t v) {
    const int32_t last = channel.lastMixValue;
    if (channel.noteStarted) {
        if (distance(v, last) <= kDeclickMaxJump) {
            channel.noteStarted = false;
        } else {
            do {
                v = static_cast<int32_t>((static_cast<int64_t>(v) + last) >> 1);
            } while (distance(v, last) > kDeclickMaxJump);
        }
    }
    channel.lastMixValue = v;
    return v;
}

// Advance by one output frame. A sample without loop that runs out stops (position -1) and keeps in
// positionFraction what the advance had not consumed; a loop wraps as often as the step requires.
inline void advance(ChannelState& channel, const SampleView& s) {
    uint32_t fraction = channel.positionFraction + channel.step;
    if (fraction >= 1024) {
        const uint32_t position = static_cast<uint32_t>(channel.position);
        const uint32_t whole = fraction >> kFractionBits;
        if (s.loops) {
            uint64_t p = static_cast<uint64_t>(position) + whole;
            if (p >= s.loopEnd) p = s.loopStart + (p - s.loopStart) % (s.loopEnd - s.loopStart);
            channel.position = static_cast<int32_t>(p);
            fraction &= 1023;
        } else if (whole >= s.length - position) {
            fraction -= (s.length - position) << kFractionBits;
            channel.position = -1;
        } else {
            channel.position = static_cast<int32_t>(position + whole);
            fraction &= 1023;
        }
    }
    channel.positionFraction = fraction;
}

// One frame of one channel, every rule checked: fetch, interpolation, de-click, advance. Returns
// false (no contribution) when the channel has stopped. A position beyond the data counts as the
// end of the sample.
inline bool carefulFrame(ChannelState& channel, const SampleView& s, bool isp, bool click, int32_t& out) {
    const uint32_t position = static_cast<uint32_t>(channel.position);
    if (position >= s.length) {
        channel.position = -1;
        return false;
    }
    int32_t v = s.data[position] * (1 << kWorkingScaleShift);
    if (isp) {
        uint32_t next = position + 1;
        if (s.loops && next >= s.loopEnd) next = s.loopStart;
        const int32_t w = next < s.length ? s.data[next] * (1 << kWorkingScaleShift) : 0;
        const int64_t product = static_cast<int64_t>(w - v) * static_cast<int64_t>(channel.positionFraction);
        v = static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(product >> kFractionBits));
    }
    if (click) v = declick(channel, v);
    advance(channel, s);
    out = v;
    return true;
}

// Frames from the current position that can run without reaching the loop end or the sample end,
// and (with interpolation) without the next frame crossing it: within them the plain loop below is
// exact. Needs positionFraction below 1024.
inline uint32_t freeFrames(const ChannelState& channel, const SampleView& s, bool isp, uint32_t wanted) {
    const uint32_t position = static_cast<uint32_t>(channel.position);
    const uint32_t end = s.loops ? s.loopEnd : s.length;
    const uint32_t margin = isp ? 2 : 1;
    if (channel.positionFraction >= 1024 || position >= end || end - position < margin) return 0;
    // Whole frames the advance may reach without touching the end: fraction + k * step must stay
    // below (room + 1) * 1024.
    const uint64_t room = end - position - margin;
    const uint64_t limit = (room + 1) * 1024 - channel.positionFraction;  // k * step < limit
    const uint64_t step = channel.step;
    if (step * wanted < limit) return wanted;
    return static_cast<uint32_t>((limit - 1) / step);
}

// The plain loop: no end, wrap or interpolation boundary is reached within these frames.
template <bool Isp>
inline void freeRun(ChannelState& channel, const SampleView& s, uint32_t frames, int32_t* out) {
    const int16_t* data = s.data;
    uint32_t position = static_cast<uint32_t>(channel.position);
    uint32_t fraction = channel.positionFraction;
    const uint32_t step = channel.step;
    for (uint32_t k = 0; k < frames; ++k) {
        const int32_t s0 = data[position];
        if constexpr (Isp) {
            // (w - v) * fraction >> 10 with w - v a multiple of 4096 is exactly (s1 - s0) * fraction * 4.
            const int32_t s1 = data[position + 1];
            out[k] = s0 * (1 << kWorkingScaleShift) + (s1 - s0) * static_cast<int32_t>(fraction) * 4;
        } else {
            out[k] = s0 * (1 << kWorkingScaleShift);
        }
        fraction += step;
        position += fraction >> kFractionBits;
        fraction &= 1023;
    }
    channel.position = static_cast<int32_t>(position);
    channel.positionFraction = fraction;
}

// The channel's values for up to `frames` frames into out; returns how many it produced (fewer when
// the sample ends within the run).
inline uint32_t channelValues(ChannelState& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                              int32_t* out) {
    uint32_t done = 0;
    while (done < frames) {
        uint32_t run = 0;
        if (!(click && channel.noteStarted)) run = freeFrames(channel, s, isp, frames - done);
        if (run > 0) {
            if (isp) {
                freeRun<true>(channel, s, run, out + done);
            } else {
                freeRun<false>(channel, s, run, out + done);
            }
            done += run;
            if (click) channel.lastMixValue = out[done - 1];
            continue;
        }
        if (!carefulFrame(channel, s, isp, click, out[done])) break;
        ++done;
    }
    return done;
}

// Exact truncating division of a 64-bit product by mixDivisor: a shift for powers of two, otherwise
// libdivide's multiply-and-shift. Rebuilt only when the divisor changes.
struct Divider {
    int32_t divisor = 0;
    bool powerOfTwo = true;
    int shift = 0;
    libdivide::libdivide_s64_t magic{};

    void set(int32_t d) {
        divisor = d;
        powerOfTwo = (d & (d - 1)) == 0;
        shift = 0;
        while ((int64_t{1} << shift) < d) ++shift;
        if (!powerOfTwo) magic = libdivide::libdivide_s64_gen(d);
    }
};

struct ShiftDivide {
    int shift;
    int64_t mask;
    int64_t operator()(int64_t x) const { return (x + ((x >> 63) & mask)) >> shift; }
};

struct MagicDivide {
    libdivide::libdivide_s64_t magic;
    int64_t operator()(int64_t x) const { return libdivide::libdivide_s64_do(x, &magic); }
};

// acc[k] += gain * v[k] / divisor, keeping the low 32 bits of each quotient.
template <class Divide>
inline void addScaled(uint32_t* acc, const int32_t* v, uint32_t frames, int32_t gain, Divide divide) {
    for (uint32_t k = 0; k < frames; ++k) {
        acc[k] += static_cast<uint32_t>(divide(static_cast<int64_t>(gain) * v[k]));
    }
}

template <class Divide>
inline void addScaledBoth(uint32_t* left, uint32_t* right, const int32_t* v, uint32_t frames, int32_t gain,
                          Divide divide) {
    for (uint32_t k = 0; k < frames; ++k) {
        const uint32_t q = static_cast<uint32_t>(divide(static_cast<int64_t>(gain) * v[k]));
        left[k] += q;
        right[k] += q;
    }
}

template <class Divide>
inline void addChannel(uint32_t* left, uint32_t* right, const int32_t* v, uint32_t frames, int32_t gl, int32_t gr,
                       Divide divide) {
    if (gl == gr) {
        if (gl != 0) addScaledBoth(left, right, v, frames, gl, divide);
        return;
    }
    if (gl != 0) addScaled(left, v, frames, gl, divide);
    if (gr != 0) addScaled(right, v, frames, gr, divide);
}

}  // namespace tarvex::mixkernels
