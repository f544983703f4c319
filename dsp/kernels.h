// Block kernels: the simple loops the processing chain spends its time in.
//
// Contract shared by every kernel: input arrays first, then the output array, then the length
// in samples (or frames), then scalar parameters. An output may be the same array as an input
// (in-place is the normal use); other overlaps are not supported. Any length >= 0 is accepted
// (the engine's lengths are multiples of 8). No kernel allocates, fails or reports anything.
//
// Arithmetic: the plain variants form every product or sum in double precision and round the
// result once to float. The conversions to 16 bits follow two different rules:
// ComputeFloatToStereo16 rounds to nearest (ties to even) and limits symmetrically to +-32767;
// ComputeFloatToPcm16 truncates toward zero and, with its limit flag, limits to -32768..32767.
//
// Vector variants: scale, add, subtract, weighted sum, peak and the two stereo 16-bit
// conversions also exist as SSE2 and AVX2 code. They produce bit for bit the results of the
// plain variants, NaN payloads aside (single-precision sums and products of floats equal the
// double ones rounded once; the weighted sum runs in double lanes). The best variant the processor
// offers is chosen on first use; SelectBlockKernels re-reads processorState, SetBlockKernelVariant
// forces one (tests and benchmarks).
#pragma once

#include <cstdint>

// ---- Variant selection -------------------------------------------------------------------

enum KernelVariant : int32_t { kKernelPlain = 0, kKernelSse2 = 1, kKernelAvx2 = 2 };

// The kernels that have vector variants, one table per variant.
struct BlockKernelTable {
  KernelVariant variant;
  const char* name;  // "plain", "sse2", "avx2"
  void (*scale)(const float* in, float* out, int length, float k);
  void (*add)(const float* a, const float* b, float* out, int length);
  void (*subtract)(const float* a, const float* b, float* out, int length);
  void (*weightedSum)(const float* a, const float* b, float* out, int length, float ka, float kb);
  void (*peak)(const float* in, int length, float* peak);
  void (*stereo16ToFloat)(const int16_t* pcm, float* left, float* right, int frames);
  void (*floatToStereo16)(const float* left, const float* right, int16_t* pcm, int frames);
};

// The table of a variant, or nullptr when this build or this processor cannot run it.
const BlockKernelTable* BlockKernelsFor(KernelVariant variant);
// Chooses the best variant from processorState's vector features (read from CPUID when the
// processor has not been identified yet) and returns it.
KernelVariant SelectBlockKernels();
// Forces a variant; returns 0 (and changes nothing) when it cannot run here.
int SetBlockKernelVariant(KernelVariant variant);
KernelVariant ActiveKernelVariant();

// ---- Kernels with vector variants --------------------------------------------------------

void ComputeScale(const float* in, float* out, int length, float k);           // out = in * k
void ComputeAdd(const float* a, const float* b, float* out, int length);       // out = a + b
void ComputeSubtract(const float* a, const float* b, float* out, int length);  // out = a - b
// out = a * ka + b * kb
void ComputeWeightedSum(const float* a, const float* b, float* out, int length, float ka, float kb);
// *peak = max(*peak, |in[i]|) over the block; NaN samples are ignored.
void ComputePeak(const float* in, int length, float* peak);
// Interleaved 16-bit stereo to two float arrays, values unchanged.
void ComputeStereo16ToFloat(const int16_t* pcm, float* left, float* right, int frames);
// Two float arrays to interleaved 16-bit stereo: rounded to nearest, limited to +-32767
// (-32768 is never produced); NaN gives 0.
void ComputeFloatToStereo16(const float* left, const float* right, int16_t* pcm, int frames);

// ---- Plain kernels -----------------------------------------------------------------------

// out[i] = in[i] * g_i with g_0 = gain and g_{i+1} = g_i + step (the gain runs in double).
void ComputeScaleRamp(const float* in, float* out, int length, float gain, float step);
void ComputeMultiplyAdd(const float* x, float* y, int length, float k);      // y = y + x * k
void ComputeMultiply(const float* a, const float* b, float* y, int length);  // y = a * b
void ComputeMultiplyAccumulate(const float* a, const float* b, float* y, int length);  // y += a*b
void ComputeRingModulate(const float* a, const float* b, float* y, int length);  // y = (1+b) * a
void ComputeSumScale(const float* a, const float* b, float* y, int length, float k);  // (a+b)*k

void ComputeCopy(const float* in, float* out, int length);
void ComputeCopy(const int16_t* in, int16_t* out, int length);
void ComputeCopy(const uint8_t* in, uint8_t* out, int length);

void ComputeClip(const float* in, float* out, int length, float k);     // into -k..k
void ComputeFloor(const float* in, float* out, int length, float k);    // x >= k ? x : k
void ComputeCeiling(const float* in, float* out, int length, float k);  // x > k ? k : x
// -2k - x below -k, 2k - x above k, x between.
void ComputeFold(const float* in, float* out, int length, float k);
void ComputeFoldBelow(const float* in, float* out, int length, float k);  // x >= k ? x : 2k - x
void ComputeFoldAbove(const float* in, float* out, int length, float k);  // x <= k ? x : 2k - x

// out[i] = the input d samples earlier. state holds the d previous inputs, oldest first, and
// is updated for the next block. d <= 0 copies.
void ComputeDelaySamples(const float* in, float* out, int length, float* state, int d);

// Decimation by two: out[j] = (in[2j] + in[2j+1]) * 0.5, j < length / 2 (length counts input
// samples).
void ComputeHalve(const float* in, float* out, int length);
// Interpolation by two: 2 * length outputs. out[0] = (*carry + in[0]) * 0.5; out[2j+1] = in[j];
// out[2j+2] = (in[j] + in[j+1]) * 0.5; the last output is the last input, kept in *carry for
// the next block. out must not overlap in.
void ComputeDouble(const float* in, float* out, int length, float* carry);

// *peak = max(*peak, |x|) over channelCount arrays of length samples.
void ComputeMaxAbs(const float* const* channels, int channelCount, int length, float* peak);

void ComputePcm16ToFloat(const int16_t* pcm, float* out, int length);
// Integer part of each value (truncation toward zero). With limit set, values above 32767 give
// 32767 and below -32768 give -32768; without it the integer part wraps to 16 bits.
void ComputeFloatToPcm16(const float* in, int16_t* pcm, int length, int limit);
// Interleaved unsigned 8-bit stereo to two float arrays: each byte b becomes b - 128.
void ComputeStereo8ToFloat(const uint8_t* pcm, float* left, float* right, int frames);

// out[i] = |sin(pi * phase[i])| * a[i] + |cos(pi * phase[i])| * b[i].
void ComputeCrossfadeAbs(const float* a, const float* b, const float* phase, float* out,
                         int length);

// A 440 Hz test sine (at 44,100 Hz) of amplitude 8191.75 times gain, from a recursive
// oscillator that starts on first use and runs on across calls.
struct TestTone {
  int initialised = 0;
  double cosOmega = 0.0;
  double s1 = 0.0, s2 = 0.0;
};
void ComputeTestTone(float* out, int length, float gain, TestTone* tone);

// ---- Further sample layouts --------------------------------------------------------------

// Interleaved 16-bit stereo split into two 16-bit arrays.
void ComputeSplitStereo16(const int16_t* pcm, int16_t* left, int16_t* right, int frames);
// Two 16-bit arrays to interleaved stereo.
void ComputeJoinStereo16(const int16_t* left, const int16_t* right, int16_t* pcm, int frames);
// Interleaved unsigned 8-bit (zero at 127) or 16-bit with channelCount channels to one float
// array per channel.
void ComputeInterleaved8ToFloat(const uint8_t* pcm, float* const* channels, int channelCount,
                                int frames);
void ComputeInterleaved16ToFloat(const int16_t* pcm, float* const* channels, int channelCount,
                                 int frames);
// Per-channel floats to interleaved unsigned 8-bit (integer part + 128; with limit, the value
// is first limited to -128..127) or 16-bit (integer part; with limit, -32768..32767).
void ComputeFloatToInterleaved8(const float* const* channels, int channelCount, uint8_t* pcm,
                                int frames, int limit);
void ComputeFloatToInterleaved16(const float* const* channels, int channelCount, int16_t* pcm,
                                 int frames, int limit);
// Unsigned 8-bit to signed 16-bit: (b - 128) * 256.
void ComputeWiden8To16(const uint8_t* in, int16_t* out, int length);
// out[i] = i * k, wrapped to the element width.
void ComputeIndexRamp(int8_t* out, int length, int k);
void ComputeIndexRamp(int16_t* out, int length, int k);

// ---- Scalar ------------------------------------------------------------------------------

// Level-slider position to gain: (x / 7) squared, as (x * 0.14285715)^2.
float SliderToGain(float x);
