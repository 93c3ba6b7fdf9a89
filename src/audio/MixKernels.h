// Inner loops of the mixer (private to src/audio). A run is a stretch of at most kMaxRunFrames frames
// within which no tick happens, so each channel changes only by the mixer's own advance: the mix is
// computed one channel at a time over the run and summed into the accumulators (32-bit wrap-around
// addition does not depend on the order).
#pragma once

#include <libdivide.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "audio/Mixer.h"
#include "engine/Voice.h"

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
    view.length =
        sample.length < sample.data.size() ? sample.length : static_cast<uint32_t>(sample.data.size());
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
inline int32_t declick(Voice& channel, int32_t v) {
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
// The sum is taken in 64 bits: the preview's steps reach 2^32 - 1.
inline void advance(Voice& channel, const SampleView& s) {
    uint64_t fraction = uint64_t{channel.positionFraction} + channel.step;
    if (fraction >= 1024) {
        const uint32_t position = static_cast<uint32_t>(channel.position);
        const uint64_t whole = fraction >> kFractionBits;
        // Frames consumed until a sample without loop ends: up to its end, or the first one when the
        // position already lies at or beyond the end (a sample offset can leave it there).
        const uint64_t toEnd = position < s.length ? s.length - position : 1;
        if (s.loops) {
            uint64_t p = position + whole;
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
    channel.positionFraction = static_cast<uint32_t>(fraction);
}

// One frame of one channel, every rule checked: fetch, interpolation, de-click, advance. Returns
// false (no contribution) when the channel has stopped. A position beyond the data counts as the
// end of the sample.
inline bool carefulFrame(Voice& channel, const SampleView& s, bool isp, bool click, int32_t& out) {
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
inline uint32_t freeFrames(const Voice& channel, const SampleView& s, bool isp, uint32_t wanted) {
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
    void add(uint32_t k, int32_t v) const {
        acc[k] += static_cast<uint32_t>(divide(static_cast<int64_t>(gain) * v));
    }
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

// Where a channel stands within a free stretch: the frame index into the data being read, the
// fraction and the step.
struct Cursor {
    uint32_t position;
    uint32_t fraction;
    uint32_t step;
};

// The plain loop over frames [first, first + frames): no end, wrap or interpolation boundary is
// reached within them. Returns the value of the last frame.
template <bool Isp, class Sink>
inline int32_t freeRun(Cursor& cursor, const int16_t* data, uint32_t first, uint32_t frames,
                       const Sink& sink) {
    uint32_t position = cursor.position;
    uint32_t fraction = cursor.fraction;
    const uint32_t step = cursor.step;
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
    cursor.position = position;
    cursor.fraction = fraction;
    return v;
}

// Exact truncating division of a 64-bit product by mixDivisor: a shift for powers of two, otherwise
// libdivide's multiply-and-shift. Rebuilt only when the divisor changes.
struct Divider {
    int32_t divisor = 0;
    bool powerOfTwo = true;
    int shift = 0;
    libdivide::libdivide_s64_t magic{};
    double inverse = 0;  // 1 / divisor and 0.5 / divisor for the vector loop
    double bias = 0;

    void set(int32_t d) {
        divisor = d;
        powerOfTwo = (d & (d - 1)) == 0;
        shift = 0;
        while ((int64_t{1} << shift) < d) ++shift;
        if (!powerOfTwo) magic = libdivide::libdivide_s64_gen(d);
        inverse = 1.0 / d;
        bias = 0.5 / d;
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

namespace simd {

// Scaling of a channel's run in the vector loop, gain * v / mixDivisor with v = 4u (u the value
// at 10 fractional bits, |u| <= 2^25), in one of two exact ways:
// - for a divisor 2^k (k >= 2) and a gain in -63..64: gain * u fits 32 bits, and the quotient is
//   gain * u / 2^(k-2) truncated, a shift with the usual correction for negative values;
// - otherwise in double precision as sign * floor(|u| * factor + bias), factor = 4 |gain| *
//   (1 / divisor), bias = 0.5 / divisor. The exact quotient |q| = n + j / divisor (0 <= j <
//   divisor) becomes n + (j + 0.5) / divisor give or take the rounding errors, which for quotients
//   below 2^31 stay under 2^-20; with divisors up to 2^16 that is far inside the 0.5 / divisor on
//   either side, so the floor is exactly n.
struct ChannelScale {
    enum Sides { kOne, kSame, kTwo } sides = kOne;
    uint32_t* first = nullptr;   // left, or the only side
    uint32_t* second = nullptr;  // right for kSame and kTwo
    bool integer = false;
    int shift = 0;  // k - 2
    int32_t gainFirst = 0;
    int32_t gainSecond = 0;
    double factorFirst = 0;
    double factorSecond = 0;
    bool negateFirst = false;
    bool negateSecond = false;
    double bias = 0;
};

inline constexpr int32_t kMaxVectorDivisor = 1 << 16;
inline constexpr uint32_t kMaxVectorStep = 2048;  // eight frames stay within a 16-frame window

// Sets scale up for gains gl and gr at the divider's divisor; false when the vector loop cannot
// take them.
inline bool prepareScale(ChannelScale& scale, uint32_t* left, uint32_t* right, int32_t gl, int32_t gr,
                         const Divider& divider) {
    // Quotients must stay below 2^31: |u| <= 2^25, so 4 |gain| 2^25 / divisor < 2^31.
    const int64_t limit = int64_t{16} * divider.divisor;
    const int64_t magnitudeLeft = gl < 0 ? -int64_t{gl} : gl;
    const int64_t magnitudeRight = gr < 0 ? -int64_t{gr} : gr;
    if (divider.divisor > kMaxVectorDivisor || magnitudeLeft >= limit || magnitudeRight >= limit)
        return false;
    const auto small = [](int32_t gain) { return gain >= -63 && gain <= 64; };
    scale.integer = divider.powerOfTwo && divider.shift >= 2 && small(gl) && small(gr);
    scale.shift = divider.shift - 2;
    scale.first = left;
    scale.second = right;
    scale.gainFirst = gl;
    scale.gainSecond = gr;
    if (gl == gr) {
        scale.sides = ChannelScale::kSame;
    } else if (gl != 0 && gr != 0) {
        scale.sides = ChannelScale::kTwo;
    } else {
        scale.sides = ChannelScale::kOne;
        if (gl == 0) {
            scale.first = right;
            scale.gainFirst = gr;
        }
    }
    if (!scale.integer) {
        scale.bias = divider.bias;
        scale.factorFirst =
            4.0 * static_cast<double>(scale.gainFirst < 0 ? -int64_t{scale.gainFirst} : scale.gainFirst) *
            divider.inverse;
        scale.factorSecond = 4.0 * static_cast<double>(magnitudeRight) * divider.inverse;
        scale.negateFirst = scale.gainFirst < 0;
        scale.negateSecond = gr < 0;
    }
    return true;
}

// Mixes whole blocks of eight frames of a free stretch (no boundary within it) starting at frame
// first, as long as each block's source window (17 frames from the position) lies inside the data;
// returns the frames done (a multiple of 8, at most frames) and advances the cursor past them.
// lastValue receives the value of the last frame done (for the de-click memory).
uint32_t freeBlocks(Cursor& cursor, const SampleView& s, bool isp, uint32_t first, uint32_t frames,
                    const ChannelScale& scale, int32_t& lastValue);

// The filter of kFilterLanes voices side by side over their first frames values, as filterValues
// does for each (a lane without a voice stands still); false where the vector loops are missing.
inline constexpr uint32_t kFilterLanes = 8;
bool filterLanes(Voice* const* voices, const uint32_t* const* values, double* const* y, uint32_t frames);

// addFiltered four frames at a time where it can; returns the frames done (a multiple of 4).
uint32_t addFilteredBlocks(const double* y, uint32_t frames, double scaleLeft, double scaleRight,
                           uint32_t* left, uint32_t* right);

}  // namespace simd

// A free stretch: eight frames at a time through the vector loop where it can, the rest plainly.
// Returns the value of the last frame.
template <class Sink>
inline int32_t freeStretch(Cursor& cursor, const SampleView& s, bool isp, uint32_t first, uint32_t frames,
                           const Sink& sink, const simd::ChannelScale* vector) {
    int32_t last = 0;
    if (vector != nullptr && frames >= 8) {
        const uint32_t blocks = simd::freeBlocks(cursor, s, isp, first, frames, *vector, last);
        first += blocks;
        frames -= blocks;
    }
    if (frames > 0) {
        last = isp ? freeRun<true>(cursor, s.data, first, frames, sink)
                   : freeRun<false>(cursor, s.data, first, frames, sink);
    }
    return last;
}

// Frames of a run a looped channel may read from its position on: all it advances over the
// frames plus the interpolation neighbour and the vector loop's window.
inline constexpr uint32_t kMaxUnrolledFrames =
    ((1023 + kMaxRunFrames * simd::kMaxVectorStep) >> kFractionBits) + 18;

// For the vector loop, a looped sample whose loop end (or data end) lies within the run's reach
// is read through a copy of the frames it will visit, the loop written out as often as needed:
// then the whole run is one free stretch. Returns false when the channel does not qualify.
template <class Sink>
inline bool unrolledLoopRun(Voice& channel, const SampleView& s, bool isp, uint32_t first, uint32_t frames,
                            const Sink& sink, const simd::ChannelScale& vector, bool click) {
    const uint32_t position = static_cast<uint32_t>(channel.position);
    const uint32_t step = channel.step;
    if (!s.loops || position >= s.loopEnd || channel.positionFraction >= 1024 ||
        step > simd::kMaxVectorStep) {
        return false;
    }
    const uint32_t reach =
        static_cast<uint32_t>((channel.positionFraction + uint64_t{step} * frames) >> kFractionBits);
    const uint32_t count = reach + 18;
    if (position + count <= s.loopEnd) return false;  // the plain path has room enough
    int16_t copy[kMaxUnrolledFrames];
    uint32_t p = position;
    for (uint32_t i = 0; i < count;) {
        const uint32_t chunk = std::min(count - i, s.loopEnd - p);
        std::memcpy(copy + i, s.data + p, chunk * sizeof copy[0]);
        i += chunk;
        p += chunk;
        if (p == s.loopEnd) p = s.loopStart;
    }
    const SampleView unrolled{copy, count, 0, 0, false};
    Cursor cursor{0, channel.positionFraction, step};
    const int32_t last = freeStretch(cursor, unrolled, isp, first, frames, sink, &vector);
    uint64_t real = uint64_t{position} + cursor.position;
    if (real >= s.loopEnd) real = s.loopStart + (real - s.loopStart) % (s.loopEnd - s.loopStart);
    channel.position = static_cast<int32_t>(real);
    channel.positionFraction = cursor.fraction;
    if (click) channel.lastMixValue = last;
    return true;
}

// One channel over a run of `frames` frames: free stretches in the plain (or vector) loop,
// boundaries, ramps and odd states frame by frame. Stops early when the sample ends; returns the
// frames it sounded.
template <class Sink>
inline uint32_t mixChannel(Voice& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                           const Sink& sink, const simd::ChannelScale* vector = nullptr) {
    uint32_t done = 0;
    while (done < frames) {
        const bool ramp = click && channel.noteStarted;
        if (vector != nullptr && !ramp &&
            unrolledLoopRun(channel, s, isp, done, frames - done, sink, *vector, click)) {
            return frames;
        }
        const uint32_t run = ramp ? 0 : freeFrames(channel, s, isp, frames - done);
        if (run > 0) {
            Cursor cursor{static_cast<uint32_t>(channel.position), channel.positionFraction, channel.step};
            const int32_t last = freeStretch(cursor, s, isp, done, run, sink, vector);
            channel.position = static_cast<int32_t>(cursor.position);
            channel.positionFraction = cursor.fraction;
            if (click) channel.lastMixValue = last;
            done += run;
            continue;
        }
        int32_t v = 0;
        if (!carefulFrame(channel, s, isp, click, v)) return done;
        sink.add(done, v);
        ++done;
    }
    return done;
}

template <class Divide>
inline void mixScaled(Voice& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                      uint32_t* left, uint32_t* right, int32_t gl, int32_t gr, Divide divide,
                      const simd::ChannelScale* vector) {
    if (gl == gr) {
        mixChannel(channel, s, isp, click, frames, SameBothSink<Divide>{left, right, gl, divide}, vector);
    } else if (gr == 0) {
        mixChannel(channel, s, isp, click, frames, OneSideSink<Divide>{left, gl, divide}, vector);
    } else if (gl == 0) {
        mixChannel(channel, s, isp, click, frames, OneSideSink<Divide>{right, gr, divide}, vector);
    } else {
        mixChannel(channel, s, isp, click, frames, TwoSideSink<Divide>{left, right, gl, gr, divide}, vector);
    }
}

// The resonant filter of a voice: its values at gain 1 (through the same loops as any voice) give
// y = a0 x + b1 y2 + b0 y1, summed in that order and held within +-2^30 (a high resonance near the
// top of the band is unstable: it then rings at full scale instead of running off to infinity).
// y reaches a side as y * gain / divisor, truncated. All of it in double precision and in the same
// order in the plain and the vector loops, so that either gives the same bytes; the history lives
// in the voice, so runs cut anywhere sound the same.
inline constexpr double kFilterLimit = 1 << 30;
inline constexpr double kFilteredSideLimit = 2147483647.0;

inline double limitTo(double v, double limit) {
    return v > limit ? limit : (v < -limit ? -limit : v);
}

// The voice's values at gain 1 for frames (at most kMaxRunFrames) into values, 0 past the sample's
// end; returns the frames the sample lasts.
inline uint32_t unitValues(Voice& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                           uint32_t* values, bool vectorKernels) {
    std::fill(values, values + frames, 0u);
    // Gain 4 over 4 rather than 1 over 1, which the vector loop scales by shifts alone.
    Divider four;
    four.set(4);
    simd::ChannelScale scale;
    const simd::ChannelScale* vector =
        vectorKernels && simd::prepareScale(scale, values, values, 4, 0, four) ? &scale : nullptr;
    return mixChannel(channel, s, isp, click, frames, OneSideSink<ShiftDivide>{values, 4, ShiftDivide{2}},
                      vector);
}

// Filters values [from, to) into y; the voice keeps the history.
inline void filterValues(Voice& channel, const uint32_t* values, double* y, uint32_t from, uint32_t to) {
    const double a0 = channel.filterA0, b0 = channel.filterB0, b1 = channel.filterB1;
    double y1 = channel.filterY1, y2 = channel.filterY2;
    for (uint32_t k = from; k < to; ++k) {
        const double out = limitTo(a0 * static_cast<int32_t>(values[k]) + b1 * y2 + b0 * y1, kFilterLimit);
        y2 = y1;
        y1 = out;
        y[k] = out;
    }
    channel.filterY1 = y1;
    channel.filterY2 = y2;
}

// Adds filtered values [from, frames) to the sides at their scales (gain / divisor).
inline void addFiltered(const double* y, uint32_t from, uint32_t frames, double scaleLeft, double scaleRight,
                        uint32_t* left, uint32_t* right) {
    for (uint32_t k = from; k < frames; ++k) {
        left[k] += static_cast<uint32_t>(static_cast<int32_t>(limitTo(y[k] * scaleLeft, kFilteredSideLimit)));
        right[k] +=
            static_cast<uint32_t>(static_cast<int32_t>(limitTo(y[k] * scaleRight, kFilteredSideLimit)));
    }
}

// Adds one channel's run to the accumulators with gains gl and gr (volume times global volume / 64);
// vectorKernels allows the vector loop. The mixer filters a filtered voice that is heard itself.
inline void mixChannelRun(Voice& channel, const SampleView& s, bool isp, bool click, uint32_t frames,
                          uint32_t* left, uint32_t* right, int32_t gl, int32_t gr, const Divider& divider,
                          bool vectorKernels) {
    if (gl == 0 && gr == 0) {
        // A silent voice only advances; a filter starts afresh when it is heard again.
        channel.filterY1 = channel.filterY2 = 0;
        mixChannel(channel, s, isp, click, frames, SilentSink{});
        return;
    }
    simd::ChannelScale scale;
    const simd::ChannelScale* vector =
        vectorKernels && simd::prepareScale(scale, left, right, gl, gr, divider) ? &scale : nullptr;
    if (!divider.powerOfTwo) {
        mixScaled(channel, s, isp, click, frames, left, right, gl, gr, MagicDivide{divider.magic}, vector);
    } else if (divider.shift == 8) {
        mixScaled(channel, s, isp, click, frames, left, right, gl, gr, FixedShiftDivide<8>{}, vector);
    } else {
        mixScaled(channel, s, isp, click, frames, left, right, gl, gr, ShiftDivide{divider.shift}, vector);
    }
}

}  // namespace tarvex::mixkernels
