// The vector loops: x86-64 with GCC or Clang, chosen at run time when the CPU has AVX2.
#include <algorithm>
#include <cstdlib>
#include <cstring>

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

bool prepareScale(ChannelScale& scale, uint32_t* left, uint32_t* right, int32_t gl, int32_t gr,
                  const Divider& divider) {
    // Quotients must stay below 2^31: |u| <= 2^25, so 4 |gain| 2^25 / divisor < 2^31.
    const int64_t limit = int64_t{16} * divider.divisor;
    if (divider.divisor > kMaxVectorDivisor || std::llabs(gl) >= limit || std::llabs(gr) >= limit) return false;
    const auto factor = [&divider](int32_t gain) { return 4.0 * std::abs(gain) * divider.inverse; };
    scale.bias = divider.bias;
    if (gl == gr) {
        scale.sides = ChannelScale::kSame;
        scale.first = left;
        scale.second = right;
        scale.factorFirst = factor(gl);
        scale.negateFirst = gl < 0;
    } else if (gl != 0 && gr != 0) {
        scale.sides = ChannelScale::kTwo;
        scale.first = left;
        scale.second = right;
        scale.factorFirst = factor(gl);
        scale.negateFirst = gl < 0;
        scale.factorSecond = factor(gr);
        scale.negateSecond = gr < 0;
    } else {
        scale.sides = ChannelScale::kOne;
        scale.first = gl != 0 ? left : right;
        scale.factorFirst = factor(gl != 0 ? gl : gr);
        scale.negateFirst = (gl != 0 ? gl : gr) < 0;
    }
    return true;
}

#ifdef TARVEX_MIX_AVX2

namespace {

// sign(u) * floor(|u| * factor + bias), negated for a negative gain.
TARVEX_AVX2_FUNCTION inline __m256i scaled(__m256i u, __m256d factor, __m256d bias, bool negate) {
    const __m256i magnitude = _mm256_abs_epi32(u);
    __m256d low = _mm256_cvtepi32_pd(_mm256_castsi256_si128(magnitude));
    __m256d high = _mm256_cvtepi32_pd(_mm256_extracti128_si256(magnitude, 1));
    low = _mm256_add_pd(_mm256_mul_pd(low, factor), bias);
    high = _mm256_add_pd(_mm256_mul_pd(high, factor), bias);
    __m256i q = _mm256_set_m128i(_mm256_cvttpd_epi32(high), _mm256_cvttpd_epi32(low));
    q = _mm256_sign_epi32(q, u);
    return negate ? _mm256_sub_epi32(_mm256_setzero_si256(), q) : q;
}

TARVEX_AVX2_FUNCTION inline void addTo(uint32_t* acc, __m256i q) {
    __m256i* at = reinterpret_cast<__m256i*>(acc);
    _mm256_storeu_si256(at, _mm256_add_epi32(_mm256_loadu_si256(at), q));
}

TARVEX_AVX2_FUNCTION uint32_t freeBlocksAvx2(Cursor& cursor, const SampleView& s, bool isp, uint32_t first,
                                             uint32_t frames, const ChannelScale& scale, int32_t& lastValue) {
    const uint32_t step = cursor.step;
    if (step > kMaxVectorStep) return 0;
    uint32_t position = cursor.position;
    uint32_t fraction = cursor.fraction;
    const int16_t* data = s.data;
    const __m256i offsets = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                               _mm256_set1_epi32(static_cast<int32_t>(step)));
    const __m256i fractionMask = _mm256_set1_epi32(1023);
    const __m256i one = _mm256_set1_epi32(1024);
    const __m256d factorFirst = _mm256_set1_pd(scale.factorFirst);
    const __m256d factorSecond = _mm256_set1_pd(scale.factorSecond);
    const __m256d bias = _mm256_set1_pd(scale.bias);
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
        if (isp) {
            const __m256i fr = _mm256_and_si256(f, fractionMask);
            weights = _mm256_or_si256(_mm256_slli_epi32(fr, 16), _mm256_sub_epi32(one, fr));
        }
        u = _mm256_madd_epi16(pairs, weights);
        uint32_t* first0 = scale.first + first + done;
        const __m256i q = scaled(u, factorFirst, bias, scale.negateFirst);
        addTo(first0, q);
        if (scale.sides == ChannelScale::kSame) {
            addTo(scale.second + first + done, q);
        } else if (scale.sides == ChannelScale::kTwo) {
            addTo(scale.second + first + done, scaled(u, factorSecond, bias, scale.negateSecond));
        }
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

TARVEX_AVX2_FUNCTION inline __m256i clipVector(__m256i x) {
    return _mm256_min_epi32(_mm256_max_epi32(x, _mm256_set1_epi32(kFullScaleMin)), _mm256_set1_epi32(kFullScaleMax));
}

TARVEX_AVX2_FUNCTION inline void storeLevels(std::atomic<int16_t>* levels, __m256i values) {
    alignas(32) int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_srai_epi32(values, 8));
    for (int j = 0; j < 8; ++j) levels[j].store(static_cast<int16_t>(lanes[j]), std::memory_order_relaxed);
}

// Eight frames of the tail after smoothing; the delay-line block [writeIndex, +8) and the read block
// [writeIndex + 1, +8) lie inside the lines, and each read comes before the write to its entry.
TARVEX_AVX2_FUNCTION void tailBlock(TailState& t, bool wide, bool stereo, bool clipping, const uint32_t* left,
                                    const uint32_t* right, uint8_t* out, std::atomic<int16_t>* levelLeft,
                                    std::atomic<int16_t>* levelRight) {
    __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(left));
    __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right));
    if (wide) {
        int32_t* delayLeft = t.delayLeft;
        int32_t* delayRight = t.delayRight;
        const __m256i fromLeft = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(delayLeft + t.readIndex));
        const __m256i fromRight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(delayRight + t.readIndex));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(delayLeft + t.writeIndex), l);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(delayRight + t.writeIndex), r);
        r = _mm256_add_epi32(r, _mm256_srai_epi32(fromLeft, 1));
        l = _mm256_add_epi32(l, _mm256_srai_epi32(fromRight, 1));
        t.writeIndex += 8;
        t.readIndex += 8;
        if (t.readIndex == t.delayLength) t.readIndex = 0;
    }
    l = _mm256_srai_epi32(l, kOutputShift);
    r = _mm256_srai_epi32(r, kOutputShift);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    if (stereo) {
        if (clipping) {
            l = clipVector(l);
            r = clipVector(r);
        }
        storeLevels(levelLeft, l);
        storeLevels(levelRight, r);
        // Each 32-bit lane becomes one frame: left's bits 8..23, then right's.
        const __m256i frames = _mm256_or_si256(_mm256_and_si256(_mm256_srai_epi32(l, 8), low16),
                                               _mm256_slli_epi32(_mm256_srai_epi32(r, 8), 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), frames);
    } else {
        __m256i x = _mm256_add_epi32(l, r);
        if (clipping) x = clipVector(x);
        storeLevels(levelLeft, x);
        storeLevels(levelRight, x);
        const __m256i words = _mm256_and_si256(_mm256_srai_epi32(x, 8), low16);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(words, words), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    }
}

TARVEX_AVX2_FUNCTION void tail16Avx2(TailState& t, bool isp, bool wide, bool stereo, bool clipping,
                                     uint32_t* left, uint32_t* right, uint32_t frames, uint8_t* out,
                                     std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight) {
    if (isp) {
        smoothInPlace(t, left, right, frames);
    }
    const TailFunction plain = tailFor(false, wide, stereo, clipping, 16);
    const uint32_t bytesPerFrame = stereo ? 4 : 2;
    uint32_t k = 0;
    while (k < frames) {
        const bool blockFits = frames - k >= 8 && (!wide || (t.readIndex == t.writeIndex + 1 &&
                                                              t.delayLength - t.readIndex >= 8));
        if (blockFits) {
            tailBlock(t, wide, stereo, clipping, left + k, right + k, out + k * bytesPerFrame, levelLeft + k,
                      levelRight + k);
            k += 8;
        } else {
            // Around a delay-line wrap, and for the last frames, one frame at a time.
            plain(t, left + k, right + k, 1, out + k * bytesPerFrame, levelLeft + k, levelRight + k);
            k += 1;
        }
    }
}

TARVEX_AVX2_FUNCTION void clearAvx2(uint32_t* left, uint32_t* right, uint32_t frames) {
    const __m256i zero = _mm256_setzero_si256();
    for (uint32_t k = 0; k < frames; k += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(left + k), zero);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(right + k), zero);
    }
}

}  // namespace

bool available() {
    return __builtin_cpu_supports("avx2");
}

void clearAccumulators(uint32_t* left, uint32_t* right, uint32_t frames) {
    clearAvx2(left, right, std::min(frames, kMaxRunFrames));
}

uint32_t freeBlocks(Cursor& cursor, const SampleView& s, bool isp, uint32_t first, uint32_t frames,
                    const ChannelScale& scale, int32_t& lastValue) {
    return freeBlocksAvx2(cursor, s, isp, first, frames, scale, lastValue);
}

void tail16(TailState& t, bool isp, bool wide, bool stereo, bool clipping, uint32_t* left, uint32_t* right,
            uint32_t frames, uint8_t* out, std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight) {
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

void tail16(TailState& t, bool isp, bool wide, bool stereo, bool clipping, uint32_t* left, uint32_t* right,
            uint32_t frames, uint8_t* out, std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight) {
    tailFor(isp, wide, stereo, clipping, 16)(t, left, right, frames, out, levelLeft, levelRight);
}

#endif

}  // namespace tarvex::mixkernels::simd
