// The mixer's closed-form advance against the advance as the rule states it: add the step to the
// fraction, then move one frame at a time, wrapping by one loop length at a time, stopping a sample
// without loop at its end. Position, fraction and end must agree bit for bit, over random steps,
// loops and start positions (before the loop, inside it, at or beyond the loop or sample end), over
// chains of frames, and after a sample ended with a fraction of 1024 or more left for the next note.
#include <gtest/gtest.h>

#include <random>

#include "audio/MixKernels.h"
#include "engine/Engine.h"

namespace tarvex::test {
namespace {

using mixkernels::SampleView;

struct Advanced {
    int32_t position;
    uint32_t fraction;
    bool operator==(const Advanced&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Advanced& a) {
    return out << "{position " << a.position << ", fraction " << a.fraction << "}";
}

// The rule written out literally.
Advanced stepwise(int32_t position, uint32_t fraction, uint32_t step, const SampleView& s) {
    fraction += step;
    uint32_t p = static_cast<uint32_t>(position);
    while (fraction >= 1024) {
        fraction -= 1024;
        p += 1;
        if (s.loops) {
            while (p >= s.loopEnd) p = p - s.loopEnd + s.loopStart;
        } else if (p >= s.length) {
            return {-1, fraction};
        }
    }
    return {static_cast<int32_t>(p), fraction};
}

Advanced closedForm(int32_t position, uint32_t fraction, uint32_t step, const SampleView& s) {
    ChannelState channel;
    channel.position = position;
    channel.positionFraction = fraction;
    channel.step = step;
    mixkernels::advance(channel, s);
    return {channel.position, channel.positionFraction};
}

SampleView view(uint32_t length, uint32_t loopStart = 0, uint32_t loopEnd = 0) {
    SampleView s;
    s.length = length;
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    s.loops = loopEnd != 0 && loopStart < loopEnd;
    return s;
}

TEST(MixAdvanceClosedForm, HandPickedCases) {
    const struct {
        SampleView sample;
        int32_t position;
        uint32_t fraction;
        uint32_t step;
        Advanced expected;
    } cases[] = {
        {view(16), 3, 0, 512, {3, 512}},          // no whole frame: nothing moves
        {view(16), 3, 1000, 48, {4, 24}},         // one frame
        {view(16), 15, 0, 3000, {-1, 1976}},      // ends on the first frame, 1976 left
        {view(16), 16, 0, 1024, {-1, 0}},         // at the end already: the first frame ends it
        {view(16), 20, 100, 5000, {-1, 4076}},    // beyond the end: one frame consumed, the rest kept
        {view(16), 10, 2000, 5000, {-1, 856}},    // 6 frames to the end out of 6.8
        {view(8, 4, 6), 0, 0, 3 * 1024, {3, 0}},  // before the loop
        {view(8, 4, 6), 3, 0, 3 * 1024, {4, 0}},  // 4, 5, 6 -> 4
        {view(8, 4, 6), 7, 0, 1024, {4, 0}},      // past the loop end: 8 -> 6 -> 4
        {view(8, 4, 6), 6, 0, 512, {6, 512}},     // past the loop end without a whole frame
        {view(100, 98, 100), 0, 1023, 1, {1, 0}},
        {view(100, 98, 100), 0, 0, 1024 * 1001, {99, 0}},   // 1001 frames: 98 + (1001 - 98) % 2 = 99
        {view(100, 0, 1), 50, 5, 1024 * 7777 + 3, {0, 8}},  // a one-frame loop
    };
    for (const auto& c : cases) {
        const Advanced literal = stepwise(c.position, c.fraction, c.step, c.sample);
        EXPECT_EQ(literal, c.expected) << "position " << c.position << " step " << c.step;
        EXPECT_EQ(closedForm(c.position, c.fraction, c.step, c.sample), literal)
            << "position " << c.position << " step " << c.step;
    }
}

// Steps spread over every scale from nothing to period 1 at 8000 Hz (about 7.3 million).
uint32_t randomStep(std::mt19937& rng) {
    const uint32_t bits = rng() % 24;
    return static_cast<uint32_t>(rng() & ((uint64_t{1} << bits) - 1));
}

SampleView randomSample(std::mt19937& rng) {
    static const uint32_t lengths[] = {1, 2, 3, 7, 64, 1000, 65535, 131072, 4000000};
    const uint32_t length = lengths[rng() % std::size(lengths)];
    switch (rng() % 4) {
        case 0:
            return view(length);
        case 1: {  // loops of one or two frames
            const uint32_t loopLength = 1 + rng() % 2;
            const uint32_t end =
                length >= loopLength ? loopLength + rng() % (length - loopLength + 1) : length;
            return end > 0 && end >= loopLength ? view(length, end - loopLength, end) : view(length);
        }
        default: {
            const uint32_t start = rng() % length;
            const uint32_t end = start + 1 + rng() % (length - start);
            return view(length, start, end);
        }
    }
}

// Start positions before, inside, at the end of and beyond the loop or the sample.
int32_t randomPosition(std::mt19937& rng, const SampleView& s) {
    const uint32_t end = s.loops ? s.loopEnd : s.length;
    switch (rng() % 6) {
        case 0:
            return 0;
        case 1:
            return static_cast<int32_t>(end);
        case 2:
            return static_cast<int32_t>(end - 1);
        case 3:
            return static_cast<int32_t>(end + rng() % 5000);
        case 4:
            return static_cast<int32_t>(s.loops ? rng() % (s.loopStart + 1) : rng() % s.length);
        default:
            return static_cast<int32_t>(rng() % (s.length + 1));
    }
}

TEST(MixAdvanceClosedForm, EqualsTheStepwiseRuleOverRandomCases) {
    std::mt19937 rng(20240611);
    int ended = 0;
    int wrapped = 0;
    for (int i = 0; i < 200000; ++i) {
        const SampleView s = randomSample(rng);
        const int32_t position = randomPosition(rng, s);
        const uint32_t fraction = rng() % 4 == 0 ? rng() % (1u << 20) : rng() % 1024;
        const uint32_t step = randomStep(rng);
        const Advanced literal = stepwise(position, fraction, step, s);
        ASSERT_EQ(closedForm(position, fraction, step, s), literal)
            << "case " << i << ": length " << s.length << " loop " << s.loopStart << ".." << s.loopEnd
            << " position " << position << " fraction " << fraction << " step " << step;
        ended += literal.position == -1;
        wrapped += s.loops && static_cast<uint32_t>(position) + (fraction + step) / 1024 >= s.loopEnd;
    }
    // The cases reach both outcomes that need arithmetic beyond one addition.
    EXPECT_GT(ended, 10000);
    EXPECT_GT(wrapped, 10000);
}

TEST(MixAdvanceClosedForm, ChainsOfFramesAndANewNoteAfterTheEnd) {
    std::mt19937 rng(7);
    int carried = 0;
    for (int i = 0; i < 3000; ++i) {
        const SampleView first = randomSample(rng);
        const SampleView second = randomSample(rng);
        const uint32_t step = randomStep(rng);
        Advanced literal{randomPosition(rng, first), static_cast<uint32_t>(rng() % 1024)};
        Advanced closed = literal;
        for (int frame = 0; frame < 40; ++frame) {
            // The sample ended: a new note starts the next sample at 0 and keeps the fraction.
            const bool newNote = literal.position == -1;
            if (newNote) {
                carried += literal.fraction >= 1024;
                literal.position = 0;
                closed.position = 0;
            }
            const SampleView& s = frame < 20 && !newNote ? first : second;
            literal = stepwise(literal.position, literal.fraction, step, s);
            closed = closedForm(closed.position, closed.fraction, step, s);
            ASSERT_EQ(closed, literal) << "chain " << i << " frame " << frame << " step " << step;
        }
    }
    EXPECT_GT(carried, 100);  // leftovers of a whole frame or more did reach a new note
}

}  // namespace
}  // namespace tarvex::test
