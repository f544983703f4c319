// SSE2 and AVX2 variants of the vector kernels. Each function carries its own target
// attribute, so the rest of the build needs no instruction-set flags; the variant is chosen at
// run time (kernels.cpp). Every variant gives bit for bit the plain variant's results, NaN
// payloads aside: single-precision products, sums and differences of two floats equal the
// double results rounded once to float, and the weighted sum is computed in double lanes.
// Tails shorter than a vector go to the plain code.
#include "dsp/kernels_internal.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define SORN_SSE2 __attribute__((target("sse2")))
#define SORN_AVX2 __attribute__((target("avx2")))

namespace {

// ---- SSE2 --------------------------------------------------------------------------------

SORN_SSE2 void ScaleSse2(const float* in, float* out, int length, float k) {
  const __m128 kk = _mm_set1_ps(k);
  int i = 0;
  for (; i + 4 <= length; i += 4) _mm_storeu_ps(out + i, _mm_mul_ps(_mm_loadu_ps(in + i), kk));
  PlainScale(in + i, out + i, length - i, k);
}

SORN_SSE2 void AddSse2(const float* a, const float* b, float* out, int length) {
  int i = 0;
  for (; i + 4 <= length; i += 4)
    _mm_storeu_ps(out + i, _mm_add_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
  PlainAdd(a + i, b + i, out + i, length - i);
}

SORN_SSE2 void SubtractSse2(const float* a, const float* b, float* out, int length) {
  int i = 0;
  for (; i + 4 <= length; i += 4)
    _mm_storeu_ps(out + i, _mm_sub_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
  PlainSubtract(a + i, b + i, out + i, length - i);
}

SORN_SSE2 __m128d WeightedPairSse2(__m128 a, __m128 b, __m128d ka, __m128d kb) {
  return _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(a), ka), _mm_mul_pd(_mm_cvtps_pd(b), kb));
}

SORN_SSE2 void WeightedSumSse2(const float* a, const float* b, float* out, int length, float ka,
                               float kb) {
  const __m128d kka = _mm_set1_pd(ka), kkb = _mm_set1_pd(kb);
  int i = 0;
  for (; i + 4 <= length; i += 4) {
    const __m128 va = _mm_loadu_ps(a + i), vb = _mm_loadu_ps(b + i);
    const __m128d low = WeightedPairSse2(va, vb, kka, kkb);
    const __m128d high = WeightedPairSse2(_mm_movehl_ps(va, va), _mm_movehl_ps(vb, vb), kka, kkb);
    _mm_storeu_ps(out + i, _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)));
  }
  PlainWeightedSum(a + i, b + i, out + i, length - i, ka, kb);
}

SORN_SSE2 void PeakSse2(const float* in, int length, float* peak) {
  if (*peak != *peak) return;  // a NaN peak stays NaN, as in the plain loop
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  __m128 largest = _mm_set1_ps(*peak);
  int i = 0;
  // maxps returns its second operand when the first is NaN, so NaN samples are skipped.
  for (; i + 4 <= length; i += 4)
    largest = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(in + i), absMask), largest);
  float lanes[4];
  _mm_storeu_ps(lanes, largest);
  float p = *peak;
  for (float lane : lanes)
    if (lane > p) p = lane;
  PlainPeak(in + i, length - i, &p);
  *peak = p;
}

SORN_SSE2 void Stereo16ToFloatSse2(const int16_t* pcm, float* left, float* right, int frames) {
  int i = 0;
  for (; i + 4 <= frames; i += 4) {
    // One 32-bit lane per frame: the left sample in the low half, the right in the high half.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pcm + 2 * i));
    _mm_storeu_ps(left + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16)));
    _mm_storeu_ps(right + i, _mm_cvtepi32_ps(_mm_srai_epi32(v, 16)));
  }
  PlainStereo16ToFloat(pcm + 2 * i, left + i, right + i, frames - i);
}

SORN_SSE2 __m128i RoundToOutputSse2(__m128 x) {
  x = _mm_and_ps(x, _mm_cmpord_ps(x, x));  // NaN -> 0
  x = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-32767.0f)), _mm_set1_ps(32767.0f));
  return _mm_cvtps_epi32(x);  // nearest, ties to even
}

SORN_SSE2 void FloatToStereo16Sse2(const float* left, const float* right, int16_t* pcm,
                                   int frames) {
  const __m128i lowHalf = _mm_set1_epi32(0xFFFF);
  int i = 0;
  for (; i + 4 <= frames; i += 4) {
    const __m128i l = RoundToOutputSse2(_mm_loadu_ps(left + i));
    const __m128i r = RoundToOutputSse2(_mm_loadu_ps(right + i));
    const __m128i frames4 = _mm_or_si128(_mm_and_si128(l, lowHalf), _mm_slli_epi32(r, 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + 2 * i), frames4);
  }
  PlainFloatToStereo16(left + i, right + i, pcm + 2 * i, frames - i);
}

// ---- AVX2 --------------------------------------------------------------------------------

SORN_AVX2 void ScaleAvx2(const float* in, float* out, int length, float k) {
  const __m256 kk = _mm256_set1_ps(k);
  int i = 0;
  for (; i + 8 <= length; i += 8)
    _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_loadu_ps(in + i), kk));
  PlainScale(in + i, out + i, length - i, k);
}

SORN_AVX2 void AddAvx2(const float* a, const float* b, float* out, int length) {
  int i = 0;
  for (; i + 8 <= length; i += 8)
    _mm256_storeu_ps(out + i, _mm256_add_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i)));
  PlainAdd(a + i, b + i, out + i, length - i);
}

SORN_AVX2 void SubtractAvx2(const float* a, const float* b, float* out, int length) {
  int i = 0;
  for (; i + 8 <= length; i += 8)
    _mm256_storeu_ps(out + i, _mm256_sub_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i)));
  PlainSubtract(a + i, b + i, out + i, length - i);
}

SORN_AVX2 __m128 WeightedQuadAvx2(const float* a, const float* b, __m256d ka, __m256d kb) {
  const __m256d da = _mm256_cvtps_pd(_mm_loadu_ps(a)), db = _mm256_cvtps_pd(_mm_loadu_ps(b));
  return _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(da, ka), _mm256_mul_pd(db, kb)));
}

SORN_AVX2 void WeightedSumAvx2(const float* a, const float* b, float* out, int length, float ka,
                               float kb) {
  const __m256d kka = _mm256_set1_pd(ka), kkb = _mm256_set1_pd(kb);
  int i = 0;
  for (; i + 8 <= length; i += 8) {
    const __m128 low = WeightedQuadAvx2(a + i, b + i, kka, kkb);
    const __m128 high = WeightedQuadAvx2(a + i + 4, b + i + 4, kka, kkb);
    _mm256_storeu_ps(out + i, _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1));
  }
  PlainWeightedSum(a + i, b + i, out + i, length - i, ka, kb);
}

SORN_AVX2 void PeakAvx2(const float* in, int length, float* peak) {
  if (*peak != *peak) return;
  const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
  __m256 largest = _mm256_set1_ps(*peak);
  int i = 0;
  for (; i + 8 <= length; i += 8)
    largest = _mm256_max_ps(_mm256_and_ps(_mm256_loadu_ps(in + i), absMask), largest);
  float lanes[8];
  _mm256_storeu_ps(lanes, largest);
  float p = *peak;
  for (float lane : lanes)
    if (lane > p) p = lane;
  PlainPeak(in + i, length - i, &p);
  *peak = p;
}

SORN_AVX2 void Stereo16ToFloatAvx2(const int16_t* pcm, float* left, float* right, int frames) {
  int i = 0;
  for (; i + 8 <= frames; i += 8) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pcm + 2 * i));
    _mm256_storeu_ps(left + i, _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16)));
    _mm256_storeu_ps(right + i, _mm256_cvtepi32_ps(_mm256_srai_epi32(v, 16)));
  }
  PlainStereo16ToFloat(pcm + 2 * i, left + i, right + i, frames - i);
}

SORN_AVX2 __m256i RoundToOutputAvx2(__m256 x) {
  x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
  x = _mm256_min_ps(_mm256_max_ps(x, _mm256_set1_ps(-32767.0f)), _mm256_set1_ps(32767.0f));
  return _mm256_cvtps_epi32(x);
}

SORN_AVX2 void FloatToStereo16Avx2(const float* left, const float* right, int16_t* pcm,
                                   int frames) {
  const __m256i lowHalf = _mm256_set1_epi32(0xFFFF);
  int i = 0;
  for (; i + 8 <= frames; i += 8) {
    const __m256i l = RoundToOutputAvx2(_mm256_loadu_ps(left + i));
    const __m256i r = RoundToOutputAvx2(_mm256_loadu_ps(right + i));
    const __m256i frames8 = _mm256_or_si256(_mm256_and_si256(l, lowHalf), _mm256_slli_epi32(r, 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm + 2 * i), frames8);
  }
  PlainFloatToStereo16(left + i, right + i, pcm + 2 * i, frames - i);
}

const BlockKernelTable kSse2Table = {
    .variant = kKernelSse2,
    .name = "sse2",
    .scale = ScaleSse2,
    .add = AddSse2,
    .subtract = SubtractSse2,
    .weightedSum = WeightedSumSse2,
    .peak = PeakSse2,
    .stereo16ToFloat = Stereo16ToFloatSse2,
    .floatToStereo16 = FloatToStereo16Sse2,
};

const BlockKernelTable kAvx2Table = {
    .variant = kKernelAvx2,
    .name = "avx2",
    .scale = ScaleAvx2,
    .add = AddAvx2,
    .subtract = SubtractAvx2,
    .weightedSum = WeightedSumAvx2,
    .peak = PeakAvx2,
    .stereo16ToFloat = Stereo16ToFloatAvx2,
    .floatToStereo16 = FloatToStereo16Avx2,
};

}  // namespace

const BlockKernelTable* Sse2KernelTable() {
  return &kSse2Table;
}
const BlockKernelTable* Avx2KernelTable() {
  return &kAvx2Table;
}

#else

const BlockKernelTable* Sse2KernelTable() {
  return nullptr;
}
const BlockKernelTable* Avx2KernelTable() {
  return nullptr;
}

#endif
