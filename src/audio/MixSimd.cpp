// The vector loops: x86-64 with GCC or Clang, chosen at run time when the CPU has AVX2.
#include <algorithm>
#include <cstring>
#include <utility>

#include "audio/MixKernels.h"
#include "audio/MixOutput.h"

#if (defined(__x86_64__) || defined(_M_X64)) && (defined(__GNUC__) || defined(__clang__))
#define TARVEX_MIX_AVX2 1
#endif
// Thread-sanitised builds keep to the plain loops, whose every level store is an atomic one.
#if defined(__SANITIZE_THREAD__)
#undef TARVEX_MIX_AVX2
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#undef TARVEX_MIX_AVX2
#endif
#endif

#ifdef TARVEX_MIX_AVX2
#include <immintrin.h>
#define TARVEX_AVX2_FUNCTION __attribute__((target("avx2")))
#endif

namespace tarvex::mixkernels::simd {

#ifdef TARVEX_MIX_AVX2

namespace {

// sign(u) * floor(|u| * factor + bias), negated for a negative gain.
struct DoubleScaler {
    __m256d factor;
    __m256d bias;
    bool negate;

    TARVEX_AVX2_FUNCTION __m256i operator()(__m256i u) const {
        const __m256i magnitude = _mm256_abs_epi32(u);
        __m256d low = _mm256_cvtepi32_pd(_mm256_castsi256_si128(magnitude));
        __m256d high = _mm256_cvtepi32_pd(_mm256_extracti128_si256(magnitude, 1));
        low = _mm256_add_pd(_mm256_mul_pd(low, factor), bias);
        high = _mm256_add_pd(_mm256_mul_pd(high, factor), bias);
        __m256i q = _mm256_set_m128i(_mm256_cvttpd_epi32(high), _mm256_cvttpd_epi32(low));
        q = _mm256_sign_epi32(q, u);
        return negate ? _mm256_sub_epi32(_mm256_setzero_si256(), q) : q;
    }
};

// gain * u / 2^shift truncated toward zero.
struct ShiftScaler {
    __m256i gain;
    __m128i shift;
    __m256i roundUp;  // 2^shift - 1, added to negative products

    TARVEX_AVX2_FUNCTION __m256i operator()(__m256i u) const {
        const __m256i x = _mm256_mullo_epi32(u, gain);
        return _mm256_sra_epi32(_mm256_add_epi32(x, _mm256_and_si256(_mm256_srai_epi32(x, 31), roundUp)),
                                shift);
    }
};

// The same for the divisor 256 (shift 6), that of 4- and 8-channel modules at full global volume.
struct Shift6Scaler {
    __m256i gain;

    TARVEX_AVX2_FUNCTION __m256i operator()(__m256i u) const {
        const __m256i x = _mm256_mullo_epi32(u, gain);
        return _mm256_srai_epi32(_mm256_add_epi32(x, _mm256_srli_epi32(_mm256_srai_epi32(x, 31), 26)), 6);
    }
};

TARVEX_AVX2_FUNCTION inline void addTo(uint32_t* acc, __m256i q) {
    __m256i* at = reinterpret_cast<__m256i*>(acc);
    _mm256_storeu_si256(at, _mm256_add_epi32(_mm256_loadu_si256(at), q));
}

// The vector loop for one way of scaling and one layout of sides.
template <bool Isp, ChannelScale::Sides Sides, class Scaler>
TARVEX_AVX2_FUNCTION uint32_t blocks(Cursor& cursor, const SampleView& s, uint32_t first, uint32_t frames,
                                     const ChannelScale& scale, const Scaler& scaleFirst,
                                     const Scaler& scaleSecond, int32_t& lastValue) {
    const uint32_t step = cursor.step;
    uint32_t position = cursor.position;
    uint32_t fraction = cursor.fraction;
    const int16_t* data = s.data;
    const __m256i offsets = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                               _mm256_set1_epi32(static_cast<int32_t>(step)));
    const __m256i fractionMask = _mm256_set1_epi32(1023);
    const __m256i one = _mm256_set1_epi32(1024);
    uint32_t* accFirst = scale.first + first;
    uint32_t* accSecond = scale.second + first;
    __m256i u = _mm256_setzero_si256();
    uint32_t done = 0;
    // Each block reads the 17 frames from position on: two overlapping 16-frame loads.
    while (frames - done >= 8 && s.length - position >= 17) {
        const __m256i f = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(fraction)), offsets);
        const __m256i whole = _mm256_srli_epi32(f, 10);  // frames past position, 0..14
        const __m256i pairIndex = _mm256_srli_epi32(f, 11);
        // Frame pairs (data[p], data[p + 1]) starting at even and at odd offsets from position.
        const __m256i even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + position));
        const __m256i odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + position + 1));
        const __m256i pairs = _mm256_castps_si256(
            _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, pairIndex)),
                             _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, pairIndex)),
                             _mm256_castsi256_ps(_mm256_slli_epi32(whole, 31))));
        // u = s0 * (1024 - fraction) + s1 * fraction = s0 * 1024 + (s1 - s0) * fraction; the value
        // at working scale is 4u. Without interpolation the weights are 1024 and 0.
        __m256i weights = one;
        if constexpr (Isp) {
            const __m256i fr = _mm256_and_si256(f, fractionMask);
            weights = _mm256_or_si256(_mm256_slli_epi32(fr, 16), _mm256_sub_epi32(one, fr));
        }
        u = _mm256_madd_epi16(pairs, weights);
        const __m256i q = scaleFirst(u);
        addTo(accFirst + done, q);
        if constexpr (Sides == ChannelScale::kSame) addTo(accSecond + done, q);
        if constexpr (Sides == ChannelScale::kTwo) addTo(accSecond + done, scaleSecond(u));
        const uint32_t total = fraction + 8 * step;
        position += total >> kFractionBits;
        fraction = total & 1023;
        done += 8;
    }
    if (done > 0) {
        lastValue = _mm256_extract_epi32(u, 7) * 4;
        cursor.position = position;
        cursor.fraction = fraction;
    }
    return done;
}

template <bool Isp, class Scaler>
TARVEX_AVX2_FUNCTION uint32_t blocksForSides(Cursor& cursor, const SampleView& s, uint32_t first,
                                             uint32_t frames, const ChannelScale& scale,
                                             const Scaler& scaleFirst, const Scaler& scaleSecond,
                                             int32_t& lastValue) {
    switch (scale.sides) {
        case ChannelScale::kSame:
            return blocks<Isp, ChannelScale::kSame>(cursor, s, first, frames, scale, scaleFirst, scaleSecond,
                                                    lastValue);
        case ChannelScale::kTwo:
            return blocks<Isp, ChannelScale::kTwo>(cursor, s, first, frames, scale, scaleFirst, scaleSecond,
                                                   lastValue);
        default:
            return blocks<Isp, ChannelScale::kOne>(cursor, s, first, frames, scale, scaleFirst, scaleSecond,
                                                   lastValue);
    }
}

template <bool Isp>
TARVEX_AVX2_FUNCTION uint32_t blocksForScale(Cursor& cursor, const SampleView& s, uint32_t first,
                                             uint32_t frames, const ChannelScale& scale, int32_t& lastValue) {
    if (scale.integer && scale.shift == 6) {
        const Shift6Scaler a{_mm256_set1_epi32(scale.gainFirst)};
        const Shift6Scaler b{_mm256_set1_epi32(scale.gainSecond)};
        return blocksForSides<Isp>(cursor, s, first, frames, scale, a, b, lastValue);
    }
    if (scale.integer) {
        const __m128i shift = _mm_cvtsi32_si128(scale.shift);
        const __m256i roundUp = _mm256_set1_epi32((1 << scale.shift) - 1);
        const ShiftScaler a{_mm256_set1_epi32(scale.gainFirst), shift, roundUp};
        const ShiftScaler b{_mm256_set1_epi32(scale.gainSecond), shift, roundUp};
        return blocksForSides<Isp>(cursor, s, first, frames, scale, a, b, lastValue);
    }
    const __m256d bias = _mm256_set1_pd(scale.bias);
    const DoubleScaler a{_mm256_set1_pd(scale.factorFirst), bias, scale.negateFirst};
    const DoubleScaler b{_mm256_set1_pd(scale.factorSecond), bias, scale.negateSecond};
    return blocksForSides<Isp>(cursor, s, first, frames, scale, a, b, lastValue);
}

TARVEX_AVX2_FUNCTION uint32_t freeBlocksAvx2(Cursor& cursor, const SampleView& s, bool isp, uint32_t first,
                                             uint32_t frames, const ChannelScale& scale, int32_t& lastValue) {
    if (cursor.step > kMaxVectorStep) return 0;
    return isp ? blocksForScale<true>(cursor, s, first, frames, scale, lastValue)
               : blocksForScale<false>(cursor, s, first, frames, scale, lastValue);
}

TARVEX_AVX2_FUNCTION inline __m256i clipVector(__m256i x) {
    return _mm256_min_epi32(_mm256_max_epi32(x, _mm256_set1_epi32(kFullScaleMin)),
                            _mm256_set1_epi32(kFullScaleMax));
}

template <size_t... J>
inline void storeLanes(std::atomic<int16_t>* levels, const int32_t* lanes, std::index_sequence<J...>) {
    (levels[J].store(static_cast<int16_t>(lanes[J]), std::memory_order_relaxed), ...);
}

// Level entries are single atomic stores, so that the window may read them while they are written.
TARVEX_AVX2_FUNCTION inline void storeLevels(std::atomic<int16_t>* levels, __m256i values) {
    alignas(32) int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_srai_epi32(values, 8));
    storeLanes(levels, lanes, std::make_index_sequence<8>());
}

// Lane j receives v_0 + ... + v_j (32-bit wrap-around sums).
TARVEX_AVX2_FUNCTION inline __m256i prefixSums(__m256i v) {
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 8));
    // The low half's total, lane 3, goes into every lane of the high half.
    const __m256i lowTotal =
        _mm256_shuffle_epi32(_mm256_permute2x128_si256(v, v, 0x08), _MM_SHUFFLE(3, 3, 3, 3));
    return _mm256_add_epi32(v, lowTotal);
}

// The ISP post filter over eight frames of one side. With m the filter memory, frame j is
// floor((x_0 + 2 x_1 + ... + 2^j x_j + m) / 2^(j+1)), the nested halvings written out (floor((a +
// floor(b / 2^k)) / 2) = floor((2^k a + b) / 2^(k+1)) for integers). The sum is split at bit 8:
// with x = 256 h + l (l = x & 255, likewise m), frame j is (H_j << (7 - j)) + (L_j >> (j + 1)) for
// the weighted sums H_j of the h and L_j of the l. L_j is below 2^16 and exact; H_j may wrap, but
// the result fits 32 bits, so the wrap-around drops out. memory receives the last frame's value.
TARVEX_AVX2_FUNCTION inline __m256i smoothEight(__m256i x, int32_t& memory) {
    const __m256i up = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i high = prefixSums(_mm256_sllv_epi32(_mm256_srai_epi32(x, 8), up));
    const __m256i low = prefixSums(_mm256_sllv_epi32(_mm256_and_si256(x, _mm256_set1_epi32(255)), up));
    const __m256i h = _mm256_add_epi32(high, _mm256_set1_epi32(memory >> 8));
    const __m256i l = _mm256_add_epi32(low, _mm256_set1_epi32(memory & 255));
    const __m256i y = _mm256_add_epi32(_mm256_sllv_epi32(h, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)),
                                       _mm256_srlv_epi32(l, _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8)));
    memory = _mm256_extract_epi32(y, 7);
    return y;
}

// Eight frames of the tail; the delay-line block [writeIndex, +8) and the read block
// [writeIndex + 1, +8) lie inside the lines, and each read comes before the write to its entry.
template <bool Isp, bool Wide, bool Stereo, bool Clipping>
TARVEX_AVX2_FUNCTION inline void tailBlock(TailState& t, const uint32_t* left, const uint32_t* right,
                                           uint8_t* out, std::atomic<int16_t>* levelLeft,
                                           std::atomic<int16_t>* levelRight) {
    __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left));
    __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right));
    if constexpr (Isp) {
        l = smoothEight(l, t.ispLeft);
        r = smoothEight(r, t.ispRight);
    }
    if constexpr (Wide) {
        int32_t* delayLeft = t.delayLeft;
        int32_t* delayRight = t.delayRight;
        const __m256i fromLeft =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(delayLeft + t.readIndex));
        const __m256i fromRight =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(delayRight + t.readIndex));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(delayLeft + t.writeIndex), l);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(delayRight + t.writeIndex), r);
        r = _mm256_add_epi32(r, _mm256_srai_epi32(fromLeft, 1));
        l = _mm256_add_epi32(l, _mm256_srai_epi32(fromRight, 1));
        t.writeIndex += 8;
        t.readIndex += 8;
    }
    l = _mm256_srai_epi32(l, kOutputShift);
    r = _mm256_srai_epi32(r, kOutputShift);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    if constexpr (Stereo) {
        if constexpr (Clipping) {
            l = clipVector(l);
            r = clipVector(r);
        }
        if (levelLeft != nullptr) {
            storeLevels(levelLeft, l);
            storeLevels(levelRight, r);
        }
        // Each 32-bit lane becomes one frame: left's bits 8..23, then right's.
        const __m256i frames = _mm256_or_si256(_mm256_and_si256(_mm256_srai_epi32(l, 8), low16),
                                               _mm256_slli_epi32(_mm256_srai_epi32(r, 8), 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), frames);
    } else {
        __m256i x = _mm256_add_epi32(l, r);
        if constexpr (Clipping) x = clipVector(x);
        if (levelLeft != nullptr) {
            storeLevels(levelLeft, x);
            storeLevels(levelRight, x);
        }
        const __m256i words = _mm256_and_si256(_mm256_srai_epi32(x, 8), low16);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(words, words), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    }
}

// The 16-bit tail for one set of options: blocks of eight frames in a row, up to the delay line's
// wrap; around the wrap and for the last frames, one frame at a time through the plain loop.
template <bool Isp, bool Wide, bool Stereo, bool Clipping>
TARVEX_AVX2_FUNCTION void tailLoop(TailState& t, const uint32_t* left, const uint32_t* right, uint32_t frames,
                                   uint8_t* out, std::atomic<int16_t>* levelLeft,
                                   std::atomic<int16_t>* levelRight) {
    constexpr uint32_t bytesPerFrame = Stereo ? 4 : 2;
    uint32_t k = 0;
    while (k < frames) {
        uint32_t blocks = (frames - k) / 8;
        if constexpr (Wide) {
            const bool aligned = t.readIndex == t.writeIndex + 1;
            blocks = aligned ? std::min(blocks, (t.delayLength - t.readIndex) / 8) : 0;
        }
        if (blocks == 0) {
            tailRun<Isp, Wide, 16, Stereo, Clipping, false>(
                t, left + k, right + k, 1, out + k * bytesPerFrame, levelLeft ? levelLeft + k : nullptr,
                levelRight ? levelRight + k : nullptr);
            k += 1;
            continue;
        }
        TailState local = t;
        for (uint32_t b = 0; b < blocks; ++b, k += 8) {
            tailBlock<Isp, Wide, Stereo, Clipping>(local, left + k, right + k, out + k * bytesPerFrame,
                                                   levelLeft ? levelLeft + k : nullptr,
                                                   levelRight ? levelRight + k : nullptr);
        }
        if (Wide && local.readIndex == local.delayLength) local.readIndex = 0;
        t = local;
    }
}

template <bool Isp, bool Clipping>
TARVEX_AVX2_FUNCTION void tailForLayout16(TailState& t, bool wide, bool stereo, const uint32_t* left,
                                          const uint32_t* right, uint32_t frames, uint8_t* out,
                                          std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight) {
    if (!stereo) {
        tailLoop<Isp, false, false, Clipping>(t, left, right, frames, out, levelLeft, levelRight);
    } else if (wide) {
        tailLoop<Isp, true, true, Clipping>(t, left, right, frames, out, levelLeft, levelRight);
    } else {
        tailLoop<Isp, false, true, Clipping>(t, left, right, frames, out, levelLeft, levelRight);
    }
}

TARVEX_AVX2_FUNCTION void tail16Avx2(TailState& t, bool isp, bool wide, bool stereo, bool clipping,
                                     uint32_t* left, uint32_t* right, uint32_t frames, uint8_t* out,
                                     std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight) {
    if (isp) {
        if (clipping) {
            tailForLayout16<true, true>(t, wide, stereo, left, right, frames, out, levelLeft, levelRight);
        } else {
            tailForLayout16<true, false>(t, wide, stereo, left, right, frames, out, levelLeft, levelRight);
        }
    } else if (clipping) {
        tailForLayout16<false, true>(t, wide, stereo, left, right, frames, out, levelLeft, levelRight);
    } else {
        tailForLayout16<false, false>(t, wide, stereo, left, right, frames, out, levelLeft, levelRight);
    }
}

TARVEX_AVX2_FUNCTION void clearAvx2(uint32_t* left, uint32_t* right, uint32_t frames) {
    const __m256i zero = _mm256_setzero_si256();
    for (uint32_t k = 0; k < frames; k += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(left + k), zero);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(right + k), zero);
    }
}

// One frame of four lanes' filters: the same operations in the same order as filterValues.
struct FilterQuad {
    __m256d a0, b0, b1, y1, y2;

    TARVEX_AVX2_FUNCTION __m256d step(__m128i in, __m256d low, __m256d high) {
        const __m256d x = _mm256_cvtepi32_pd(in);
        __m256d v =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(a0, x), _mm256_mul_pd(b1, y2)), _mm256_mul_pd(b0, y1));
        v = _mm256_min_pd(_mm256_max_pd(v, low), high);
        y2 = y1;
        y1 = v;
        return v;
    }
};

// Frames k..k+3 of four lanes' values, as four rows of one frame each.
TARVEX_AVX2_FUNCTION inline void rowsOf(const int32_t* const* in, uint32_t k, __m128i* rows) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[0] + k));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[1] + k));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[2] + k));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[3] + k));
    const __m128i abLow = _mm_unpacklo_epi32(a, b), abHigh = _mm_unpackhi_epi32(a, b);
    const __m128i cdLow = _mm_unpacklo_epi32(c, d), cdHigh = _mm_unpackhi_epi32(c, d);
    rows[0] = _mm_unpacklo_epi64(abLow, cdLow);
    rows[1] = _mm_unpackhi_epi64(abLow, cdLow);
    rows[2] = _mm_unpacklo_epi64(abHigh, cdHigh);
    rows[3] = _mm_unpackhi_epi64(abHigh, cdHigh);
}

// Four rows of one frame each back into frames k..k+3 of each lane.
TARVEX_AVX2_FUNCTION inline void storeRows(double* const* out, uint32_t k, const __m256d* rows) {
    const __m256d t0 = _mm256_unpacklo_pd(rows[0], rows[1]), t1 = _mm256_unpackhi_pd(rows[0], rows[1]);
    const __m256d t2 = _mm256_unpacklo_pd(rows[2], rows[3]), t3 = _mm256_unpackhi_pd(rows[2], rows[3]);
    _mm256_storeu_pd(out[0] + k, _mm256_permute2f128_pd(t0, t2, 0x20));
    _mm256_storeu_pd(out[1] + k, _mm256_permute2f128_pd(t1, t3, 0x20));
    _mm256_storeu_pd(out[2] + k, _mm256_permute2f128_pd(t0, t2, 0x31));
    _mm256_storeu_pd(out[3] + k, _mm256_permute2f128_pd(t1, t3, 0x31));
}

// The frames of one or two quads of lanes; the quads' state stays in registers throughout.
template <int Quads>
TARVEX_AVX2_FUNCTION inline void filterQuads(FilterQuad& first, FilterQuad& second, const int32_t* const* in,
                                             double* const* out, uint32_t frames) {
    const __m256d high = _mm256_set1_pd(kFilterLimit), low = _mm256_set1_pd(-kFilterLimit);
    FilterQuad a = first, b = second;
    uint32_t k = 0;
    for (; k + 4 <= frames; k += 4) {
        __m128i rowsA[4], rowsB[4];
        __m256d doneA[4], doneB[4];
        rowsOf(in, k, rowsA);
        if constexpr (Quads == 2) rowsOf(in + 4, k, rowsB);
        for (int j = 0; j < 4; ++j) {
            doneA[j] = a.step(rowsA[j], low, high);
            if constexpr (Quads == 2) doneB[j] = b.step(rowsB[j], low, high);
        }
        storeRows(out, k, doneA);
        if constexpr (Quads == 2) storeRows(out + 4, k, doneB);
    }
    for (; k < frames; ++k) {
        alignas(32) double each[8];
        _mm256_store_pd(each, a.step(_mm_setr_epi32(in[0][k], in[1][k], in[2][k], in[3][k]), low, high));
        if constexpr (Quads == 2)
            _mm256_store_pd(each + 4,
                            b.step(_mm_setr_epi32(in[4][k], in[5][k], in[6][k], in[7][k]), low, high));
        for (int i = 0; i < 4 * Quads; ++i) out[i][k] = each[i];
    }
    first = a;
    second = b;
}

// The filters of up to eight voices, four lanes to a vector and two vectors side by side, so that
// each waits less on its own last result. A lane without a voice has no coefficients and reads
// the first lane's values, so it stays 0.
TARVEX_AVX2_FUNCTION void filterLanesAvx2(Voice* const* voices, const uint32_t* const* values,
                                          double* const* y, uint32_t frames) {
    alignas(32) double a0[kFilterLanes] = {}, b0[kFilterLanes] = {}, b1[kFilterLanes] = {};
    alignas(32) double y1[kFilterLanes] = {}, y2[kFilterLanes] = {};
    double spare[kMaxRunFrames + 4];
    const int32_t* in[kFilterLanes];
    double* out[kFilterLanes];
    uint32_t lanes = 0;
    for (uint32_t i = 0; i < kFilterLanes; ++i) {
        const Voice* voice = voices[i];
        in[i] = reinterpret_cast<const int32_t*>(voice != nullptr ? values[i] : values[0]);
        out[i] = voice != nullptr ? y[i] : spare;
        if (voice == nullptr) continue;
        lanes = i + 1;
        a0[i] = voice->filterA0;
        b0[i] = voice->filterB0;
        b1[i] = voice->filterB1;
        y1[i] = voice->filterY1;
        y2[i] = voice->filterY2;
    }
    FilterQuad first{_mm256_load_pd(a0), _mm256_load_pd(b0), _mm256_load_pd(b1), _mm256_load_pd(y1),
                     _mm256_load_pd(y2)};
    FilterQuad second{_mm256_load_pd(a0 + 4), _mm256_load_pd(b0 + 4), _mm256_load_pd(b1 + 4),
                      _mm256_load_pd(y1 + 4), _mm256_load_pd(y2 + 4)};
    if (lanes > 4) {
        filterQuads<2>(first, second, in, out, frames);
    } else {
        filterQuads<1>(first, second, in, out, frames);
    }
    _mm256_store_pd(y1, first.y1);
    _mm256_store_pd(y2, first.y2);
    _mm256_store_pd(y1 + 4, second.y1);
    _mm256_store_pd(y2 + 4, second.y2);
    for (uint32_t i = 0; i < kFilterLanes; ++i) {
        if (voices[i] == nullptr) continue;
        voices[i]->filterY1 = y1[i];
        voices[i]->filterY2 = y2[i];
    }
}

// addFiltered, four frames at a time.
TARVEX_AVX2_FUNCTION uint32_t addFilteredAvx2(const double* y, uint32_t frames, double scaleLeft,
                                              double scaleRight, uint32_t* left, uint32_t* right) {
    const __m256d factorLeft = _mm256_set1_pd(scaleLeft), factorRight = _mm256_set1_pd(scaleRight);
    const __m256d high = _mm256_set1_pd(kFilteredSideLimit), low = _mm256_set1_pd(-kFilteredSideLimit);
    const auto add = [&](uint32_t* side, __m256d v) TARVEX_AVX2_FUNCTION {
        __m128i* at = reinterpret_cast<__m128i*>(side);
        const __m128i share = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(v, low), high));
        _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), share));
    };
    uint32_t k = 0;
    for (; k + 4 <= frames; k += 4) {
        const __m256d v = _mm256_loadu_pd(y + k);
        add(left + k, _mm256_mul_pd(v, factorLeft));
        add(right + k, _mm256_mul_pd(v, factorRight));
    }
    return k;
}

}  // namespace

bool available() {
    return __builtin_cpu_supports("avx2");
}

bool filterLanes(Voice* const* voices, const uint32_t* const* values, double* const* y, uint32_t frames) {
    filterLanesAvx2(voices, values, y, frames);
    return true;
}

uint32_t addFilteredBlocks(const double* y, uint32_t frames, double scaleLeft, double scaleRight,
                           uint32_t* left, uint32_t* right) {
    return addFilteredAvx2(y, frames, scaleLeft, scaleRight, left, right);
}

void clearAccumulators(uint32_t* left, uint32_t* right, uint32_t frames) {
    clearAvx2(left, right, std::min(frames, kMaxRunFrames));
}

uint32_t freeBlocks(Cursor& cursor, const SampleView& s, bool isp, uint32_t first, uint32_t frames,
                    const ChannelScale& scale, int32_t& lastValue) {
    return freeBlocksAvx2(cursor, s, isp, first, frames, scale, lastValue);
}

void tail16(TailState& t, bool isp, bool wide, bool stereo, bool clipping, uint32_t* left, uint32_t* right,
            uint32_t frames, uint8_t* out, std::atomic<int16_t>* levelLeft,
            std::atomic<int16_t>* levelRight) {
    tail16Avx2(t, isp, wide, stereo, clipping, left, right, frames, out, levelLeft, levelRight);
}

#else

bool available() {
    return false;
}

void clearAccumulators(uint32_t* left, uint32_t* right, uint32_t frames) {
    std::memset(left, 0, frames * sizeof left[0]);
    std::memset(right, 0, frames * sizeof right[0]);
}

uint32_t freeBlocks(Cursor&, const SampleView&, bool, uint32_t, uint32_t, const ChannelScale&, int32_t&) {
    return 0;
}

bool filterLanes(Voice* const*, const uint32_t* const*, double* const*, uint32_t) {
    return false;
}

uint32_t addFilteredBlocks(const double*, uint32_t, double, double, uint32_t*, uint32_t*) {
    return 0;
}

void tail16(TailState& t, bool isp, bool wide, bool stereo, bool clipping, uint32_t* left, uint32_t* right,
            uint32_t frames, uint8_t* out, std::atomic<int16_t>* levelLeft,
            std::atomic<int16_t>* levelRight) {
    tailFor(isp, wide, stereo, clipping, 16)(t, left, right, frames, out, levelLeft, levelRight);
}

#endif

}  // namespace tarvex::mixkernels::simd
