// Inner loops of the mixer (private to src/audio). A run is a stretch of at most kMaxRunFrames frames
// within which no tick happens, so each channel changes only by the mixer's own advance: the mix is
// computed one channel at a time over the run and summed into the accumulators (32-bit wrap-around
// addition does not depend on the order).
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

// Advance by one output frame, in closed form: the same position, fraction and end as adding the
// step and then moving one frame at a time (wrapping by one loop length at a time), at a cost that
// depends on neither the step nor the loop length. A sample without loop that runs out stops
// (position -1) and keeps in positionFraction what the advance had not consumed; a loop wraps as often
// as the step requires.
inline void advance(ChannelState& channel, const SampleView& s) {
    uint32_t fraction = channel.positionFraction + channel.step;
    if (fraction >= 1024) {
        const uint32_t position = static_cast<uint32_t>(channel.position);
        const uint32_t whole = fraction >> kFractionBits;
        // Frames consumed until a sample without loop ends: up to its end, or the first one when the
        // position already lies at or beyond the end (a sample offset can leave it there).
        const uint32_t toEnd = position < s.length ? s.length - position : 1;
        if (s.loops) {
            uint64_t p = static_cast<uint64_t>(position) + whole;
            if (p >= s.loopEnd) p = s.loopStart + (p - s.loopStart) % (s.loopEnd - s.loopStart);
            channel.position = static_cast<int32_t>(p);
            fraction &= 1023;
        } else if (whole >= toEnd) {
            fraction -= toEnd << kFractionBits;
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

// Steps beyond this take the careful path (no sequencer produces them; they keep the sums below
// from overflowing).
inline constexpr uint32_t kMaxFreeStep = 1u << 24;

// Frames from the current position that can run without reaching the loop end or the sample end,
// and (with interpolation) without the next frame crossing it: within them the plain loop below is
// exact. Needs positionFraction below 1024.
inline uint32_t freeFrames(const ChannelState& channel, const SampleView& s, bool isp, uint32_t wanted) {
    const uint32_t position = static_cast<uint32_t>(channel.position);
    const uint32_t end = s.loops ? s.loopEnd : s.length;
    const uint32_t margin = isp ? 2 : 1;
    if (channel.positionFraction >= 1024 || channel.step > kMaxFreeStep || position >= end ||
        end - position < margin) {
        return 0;
    }
    // fraction + k * step must stay below (room + 1) * 1024 for the position to stay at or below
    // end - margin after k advances.
    const uint64_t room = end - position - margin;
    const uint64_t limit = (room + 1) * 1024 - channel.positionFraction;
    const uint64_t step = channel.step;
    if (step * wanted < limit) return wanted;
    return static_cast<uint32_t>((limit - 1) / step);
}

// Where the scaled values go. Each sink adds gain * v / mixDivisor (64-bit product, truncating
// division, low 32 bits kept) to one or both accumulators at frame k.
template <class Divide>
struct OneSideSink {
    static constexpr bool kSilent = false;
    uint32_t* acc;
    int32_t gain;
    Divide divide;
    void add(uint32_t k, int32_t v) const { acc[k] += static_cast<uint32_t>(divide(static_cast<int64_t>(gain) * v)); }
};

template <class Divide>
struct SameBothSink {
    static constexpr bool kSilent = false;
    uint32_t* left;
    uint32_t* right;
    int32_t gain;
    Divide divide;
    void add(uint32_t k, int32_t v) const {
        const uint32_t q = static_cast<uint32_t>(divide(static_cast<int64_t>(gain) * v));
        left[k] += q;
        right[k] += q;
    }
};

template <class Divide>
struct TwoSideSink {
    static constexpr bool kSilent = false;
    uint32_t* left;
    uint32_t* right;
    int32_t gainLeft;
    int32_t gainRight;
    Divide divide;
    void add(uint32_t k, int32_t v) const {
        left[k] += static_cast<uint32_t>(divide(static_cast<int64_t>(gainLeft) * v));
        right[k] += static_cast<uint32_t>(divide(static_cast<int64_t>(gainRight) * v));
    }
};

// Both gains 0: the channel only advances.
struct SilentSink {
    static constexpr bool kSilent = true;
    void add(uint32_t, int32_t) const {}
};

// Value of the free loop at a position: (w - v) * fraction >> 10 with w - v a multiple of 4096 is
// exactly (s1 - s0) * fraction * 4.
template <bool Isp>
inline int32_t freeValue(const int16_t* data, uint32_t position, uint32_t fraction) {
    const int32_t s0 = data[position];
    if constexpr (Isp) {
        const int32_t s1 = data[position + 1];
        return s0 * (1 << kWorkingScaleShift) + (s1 - s0) * static_cast<int32_t>(fraction) * 4;
    } else {
        return s0 * (1 << kWorkingScaleShift);
    }
}

// The plain loop over frames [first, first + frames): no end, wrap or interpolation boundary is
// reached within them. Returns the value of the last frame.
template <bool Isp, class Sink>
inline int32_t freeRun(ChannelState& channel, const int16_t* data, uint32_t first, uint32_t frames, const Sink& sink) {
    uint32_t position = static_cast<uint32_t>(channel.position);
    uint32_t fraction = channel.positionFraction;
    const uint32_t step = channel.step;
    int32_t v = 0;
    if constexpr (Sink::kSilent) {
        // Jump straight to the last frame; only its value is needed (for the de-click memory).
        const uint64_t before = fraction + static_cast<uint64_t>(step) * (frames - 1);
        position += static_cast<uint32_t>(before >> kFractionBits);
        fraction = static_cast<uint32_t>(before & 1023);
        v = freeValue<Isp>(data, position, fraction);
        fraction += step;
        position += fraction >> kFractionBits;
        fraction &= 1023;
    } else {
        for (uint32_t k = first; k < first + frames; ++k) {
            v = freeValue<Isp>(data, position, fraction);
            sink.add(k, v);
            fraction += step;
            position += fraction >> kFractionBits;
            fraction &= 1023;
        }
    }
    channel.position = static_cast<int32_t>(position);
    channel.positionFraction = fraction;
    return v;
}

// One channel over a run of `frames` frames: free stretches in the plain loop, boundaries, ramps and
// odd states frame by frame. Stops early when the sample ends.
template <class Sink>
inline void mixChannel(ChannelState& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                       const Sink& sink) {
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t run = click && channel.noteStarted ? 0 : freeFrames(channel, s, isp, frames - done);
        if (run > 0) {
            const int32_t last = isp ? freeRun<true>(channel, s.data, done, run, sink)
                                     : freeRun<false>(channel, s.data, done, run, sink);
            if (click) channel.lastMixValue = last;
            done += run;
            continue;
        }
        int32_t v = 0;
        if (!carefulFrame(channel, s, isp, click, v)) return;
        sink.add(done, v);
        ++done;
    }
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

// Division by 2^shift rounding toward zero.
struct ShiftDivide {
    int shift;
    int64_t operator()(int64_t x) const { return (x + ((x >> 63) & ((int64_t{1} << shift) - 1))) >> shift; }
};

// The same with the shift known at compile time: 256 is the divisor of 4- and 8-channel modules at
// full global volume and the default preamp.
template <int Shift>
struct FixedShiftDivide {
    int64_t operator()(int64_t x) const { return (x + ((x >> 63) & ((int64_t{1} << Shift) - 1))) >> Shift; }
};

struct MagicDivide {
    libdivide::libdivide_s64_t magic;
    int64_t operator()(int64_t x) const { return libdivide::libdivide_s64_do(x, &magic); }
};

template <class Divide>
inline void mixScaled(ChannelState& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                      uint32_t* left, uint32_t* right, int32_t gl, int32_t gr, Divide divide) {
    if (gl == gr) {
        mixChannel(channel, s, isp, click, frames, SameBothSink<Divide>{left, right, gl, divide});
    } else if (gr == 0) {
        mixChannel(channel, s, isp, click, frames, OneSideSink<Divide>{left, gl, divide});
    } else if (gl == 0) {
        mixChannel(channel, s, isp, click, frames, OneSideSink<Divide>{right, gr, divide});
    } else {
        mixChannel(channel, s, isp, click, frames, TwoSideSink<Divide>{left, right, gl, gr, divide});
    }
}

// Adds one channel's run to the accumulators with gains gl and gr (volume times global volume / 64).
inline void mixChannelRun(ChannelState& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                          uint32_t* left, uint32_t* right, int32_t gl, int32_t gr, const Divider& divider) {
    if (gl == 0 && gr == 0) {
        mixChannel(channel, s, isp, click, frames, SilentSink{});
    } else if (!divider.powerOfTwo) {
        mixScaled(channel, s, isp, click, frames, left, right, gl, gr, MagicDivide{divider.magic});
    } else if (divider.shift == 8) {
        mixScaled(channel, s, isp, click, frames, left, right, gl, gr, FixedShiftDivide<8>{});
    } else {
        mixScaled(channel, s, isp, click, frames, left, right, gl, gr, ShiftDivide{divider.shift});
    }
}

}  // namespace tarvex::mixkernels
