#include "dsp/kernels.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "dsp/conventions.h"
#include "dsp/kernels_internal.h"
#include "platform/cpu/processor.h"

// ---- Plain variants of the vector kernels ------------------------------------------------

void PlainScale(const float* in, float* out, int length, float k) {
  for (int i = 0; i < length; ++i) out[i] = static_cast<float>(static_cast<double>(in[i]) * k);
}

void PlainAdd(const float* a, const float* b, float* out, int length) {
  for (int i = 0; i < length; ++i) out[i] = static_cast<float>(static_cast<double>(a[i]) + b[i]);
}

void PlainSubtract(const float* a, const float* b, float* out, int length) {
  for (int i = 0; i < length; ++i) out[i] = static_cast<float>(static_cast<double>(a[i]) - b[i]);
}

void PlainWeightedSum(const float* a, const float* b, float* out, int length, float ka, float kb) {
  for (int i = 0; i < length; ++i)
    out[i] = static_cast<float>(static_cast<double>(a[i]) * ka + static_cast<double>(b[i]) * kb);
}

void PlainPeak(const float* in, int length, float* peak) {
  float p = *peak;
  for (int i = 0; i < length; ++i) {
    const float v = std::fabs(in[i]);
    if (v > p) p = v;
  }
  *peak = p;
}

void PlainStereo16ToFloat(const int16_t* pcm, float* left, float* right, int frames) {
  for (int i = 0; i < frames; ++i) {
    left[i] = pcm[2 * i];
    right[i] = pcm[2 * i + 1];
  }
}

namespace {

// Nearest integer (the current rounding mode: ties to even), limited to +-32767.
int16_t RoundToOutput16(float x) {
  if (std::isnan(x)) return 0;
  if (x > 32767.0f) x = 32767.0f;
  if (x < -32767.0f) x = -32767.0f;
  return static_cast<int16_t>(std::lrint(x));
}

// Integer part, optionally limited to -32768..32767; otherwise wrapped to 16 bits.
int16_t TruncateTo16(float x, int limit) {
  if (std::isnan(x)) return 0;
  if (limit) {
    if (x > 32767.0f) return 32767;
    if (x < -32768.0f) return -32768;
    return static_cast<int16_t>(static_cast<int32_t>(x));
  }
  x = std::clamp(x, -2147483648.0f, 2147483520.0f);  // largest floats int32 holds
  return static_cast<int16_t>(static_cast<int32_t>(x));
}

}  // namespace

void PlainFloatToStereo16(const float* left, const float* right, int16_t* pcm, int frames) {
  for (int i = 0; i < frames; ++i) {
    pcm[2 * i] = RoundToOutput16(left[i]);
    pcm[2 * i + 1] = RoundToOutput16(right[i]);
  }
}

// ---- Variant selection -------------------------------------------------------------------

namespace {

const BlockKernelTable kPlainTable = {
    .variant = kKernelPlain,
    .name = "plain",
    .scale = PlainScale,
    .add = PlainAdd,
    .subtract = PlainSubtract,
    .weightedSum = PlainWeightedSum,
    .peak = PlainPeak,
    .stereo16ToFloat = PlainStereo16ToFloat,
    .floatToStereo16 = PlainFloatToStereo16,
};

// nullptr until the first selection.
std::atomic<const BlockKernelTable*> activeKernels{nullptr};

VectorFeatures ProcessorVectorFeatures() {
  VectorFeatures features;
  features.sse2 = processorState.sse2.load(std::memory_order_acquire);
  features.avx2 = processorState.avx2.load(std::memory_order_acquire);
  if (!features.sse2 && !features.avx2) features = DetectVectorFeatures(HardwareCpuid);
  return features;
}

const BlockKernelTable* TableFor(KernelVariant variant, const VectorFeatures& features) {
  switch (variant) {
    case kKernelPlain:
      return &kPlainTable;
    case kKernelSse2:
      return features.sse2 ? Sse2KernelTable() : nullptr;
    case kKernelAvx2:
      return features.avx2 ? Avx2KernelTable() : nullptr;
  }
  return nullptr;
}

inline const BlockKernelTable* Active() {
  const BlockKernelTable* table = activeKernels.load(std::memory_order_acquire);
  if (table) [[likely]]
    return table;
  SelectBlockKernels();
  return activeKernels.load(std::memory_order_acquire);
}

}  // namespace

const BlockKernelTable* BlockKernelsFor(KernelVariant variant) {
  return TableFor(variant, DetectVectorFeatures(HardwareCpuid));
}

KernelVariant SelectBlockKernels() {
  const VectorFeatures features = ProcessorVectorFeatures();
  const BlockKernelTable* table = TableFor(kKernelAvx2, features);
  if (!table) table = TableFor(kKernelSse2, features);
  if (!table) table = &kPlainTable;
  activeKernels.store(table, std::memory_order_release);
  return table->variant;
}

int SetBlockKernelVariant(KernelVariant variant) {
  const BlockKernelTable* table = BlockKernelsFor(variant);
  if (!table) return 0;
  activeKernels.store(table, std::memory_order_release);
  return 1;
}

KernelVariant ActiveKernelVariant() {
  return Active()->variant;
}

// ---- Dispatching kernels -----------------------------------------------------------------

void ComputeScale(const float* in, float* out, int length, float k) {
  Active()->scale(in, out, length, k);
}

void ComputeAdd(const float* a, const float* b, float* out, int length) {
  Active()->add(a, b, out, length);
}

void ComputeSubtract(const float* a, const float* b, float* out, int length) {
  Active()->subtract(a, b, out, length);
}

void ComputeWeightedSum(const float* a, const float* b, float* out, int length, float ka,
                        float kb) {
  Active()->weightedSum(a, b, out, length, ka, kb);
}

void ComputePeak(const float* in, int length, float* peak) {
  Active()->peak(in, length, peak);
}

void ComputeStereo16ToFloat(const int16_t* pcm, float* left, float* right, int frames) {
  Active()->stereo16ToFloat(pcm, left, right, frames);
}

void ComputeFloatToStereo16(const float* left, const float* right, int16_t* pcm, int frames) {
  Active()->floatToStereo16(left, right, pcm, frames);
}

// ---- Plain kernels -----------------------------------------------------------------------

void ComputeScaleRamp(const float* in, float* out, int length, float gain, float step) {
  double g = gain;
  for (int i = 0; i < length; ++i) {
    out[i] = static_cast<float>(in[i] * g);
    g += step;
  }
}

void ComputeMultiplyAdd(const float* x, float* y, int length, float k) {
  for (int i = 0; i < length; ++i) y[i] = static_cast<float>(y[i] + static_cast<double>(x[i]) * k);
}

void ComputeMultiply(const float* a, const float* b, float* y, int length) {
  for (int i = 0; i < length; ++i) y[i] = static_cast<float>(static_cast<double>(a[i]) * b[i]);
}

void ComputeMultiplyAccumulate(const float* a, const float* b, float* y, int length) {
  for (int i = 0; i < length; ++i)
    y[i] = static_cast<float>(y[i] + static_cast<double>(a[i]) * b[i]);
}

void ComputeRingModulate(const float* a, const float* b, float* y, int length) {
  for (int i = 0; i < length; ++i)
    y[i] = static_cast<float>((1.0 + static_cast<double>(b[i])) * a[i]);
}

void ComputeSumScale(const float* a, const float* b, float* y, int length, float k) {
  for (int i = 0; i < length; ++i)
    y[i] = static_cast<float>((static_cast<double>(a[i]) + b[i]) * k);
}

void ComputeCopy(const float* in, float* out, int length) {
  if (length > 0 && in != out) std::copy_n(in, length, out);
}
void ComputeCopy(const int16_t* in, int16_t* out, int length) {
  if (length > 0 && in != out) std::copy_n(in, length, out);
}
void ComputeCopy(const uint8_t* in, uint8_t* out, int length) {
  if (length > 0 && in != out) std::copy_n(in, length, out);
}

void ComputeClip(const float* in, float* out, int length, float k) {
  for (int i = 0; i < length; ++i) {
    const float x = in[i];
    out[i] = x < -k ? -k : (x > k ? k : x);
  }
}

void ComputeFloor(const float* in, float* out, int length, float k) {
  for (int i = 0; i < length; ++i) out[i] = in[i] >= k ? in[i] : k;
}

void ComputeCeiling(const float* in, float* out, int length, float k) {
  for (int i = 0; i < length; ++i) out[i] = in[i] > k ? k : in[i];
}

void ComputeFold(const float* in, float* out, int length, float k) {
  const double k2 = 2.0 * k;
  for (int i = 0; i < length; ++i) {
    const float x = in[i];
    if (x < -k)
      out[i] = static_cast<float>(-k2 - x);
    else if (x > k)
      out[i] = static_cast<float>(k2 - x);
    else
      out[i] = x;
  }
}

void ComputeFoldBelow(const float* in, float* out, int length, float k) {
  const double k2 = 2.0 * k;
  for (int i = 0; i < length; ++i) out[i] = in[i] >= k ? in[i] : static_cast<float>(k2 - in[i]);
}

void ComputeFoldAbove(const float* in, float* out, int length, float k) {
  const double k2 = 2.0 * k;
  for (int i = 0; i < length; ++i) out[i] = in[i] <= k ? in[i] : static_cast<float>(k2 - in[i]);
}

void ComputeDelaySamples(const float* in, float* out, int length, float* state, int d) {
  if (d <= 0) {
    ComputeCopy(in, out, length);
    return;
  }
  // state is a ring whose slot `pos` holds the input d samples before the current one;
  // rotating it at the end keeps it oldest-first between blocks.
  int pos = 0;
  for (int i = 0; i < length; ++i) {
    const float x = in[i];
    out[i] = state[pos];
    state[pos] = x;
    if (++pos == d) pos = 0;
  }
  std::rotate(state, state + pos, state + d);
}

void ComputeHalve(const float* in, float* out, int length) {
  for (int j = 0; j < length / 2; ++j)
    out[j] = static_cast<float>((static_cast<double>(in[2 * j]) + in[2 * j + 1]) * 0.5);
}

void ComputeDouble(const float* in, float* out, int length, float* carry) {
  if (length <= 0) return;
  out[0] = static_cast<float>((static_cast<double>(*carry) + in[0]) * 0.5);
  for (int j = 0; j < length - 1; ++j) {
    out[2 * j + 1] = in[j];
    out[2 * j + 2] = static_cast<float>((static_cast<double>(in[j]) + in[j + 1]) * 0.5);
  }
  out[2 * length - 1] = in[length - 1];
  *carry = in[length - 1];
}

void ComputeMaxAbs(const float* const* channels, int channelCount, int length, float* peak) {
  for (int c = 0; c < channelCount; ++c) PlainPeak(channels[c], length, peak);
}

void ComputePcm16ToFloat(const int16_t* pcm, float* out, int length) {
  for (int i = 0; i < length; ++i) out[i] = pcm[i];
}

void ComputeFloatToPcm16(const float* in, int16_t* pcm, int length, int limit) {
  for (int i = 0; i < length; ++i) pcm[i] = TruncateTo16(in[i], limit);
}

void ComputeStereo8ToFloat(const uint8_t* pcm, float* left, float* right, int frames) {
  for (int i = 0; i < frames; ++i) {
    left[i] = static_cast<float>(pcm[2 * i] - 128);
    right[i] = static_cast<float>(pcm[2 * i + 1] - 128);
  }
}

void ComputeCrossfadeAbs(const float* a, const float* b, const float* phase, float* out,
                         int length) {
  for (int i = 0; i < length; ++i) {
    const double angle = kPi * phase[i];
    out[i] =
        static_cast<float>(std::fabs(std::sin(angle)) * a[i] + std::fabs(std::cos(angle)) * b[i]);
  }
}

void ComputeTestTone(float* out, int length, float gain, TestTone* tone) {
  if (!tone->initialised) {
    const double frequency = 0.009977324263038548;  // 440 Hz at 44,100 Hz
    const double phase = kPi / 2;
    tone->cosOmega = std::cos(kTwoPi * frequency);
    tone->s1 = std::sin(phase) * std::sqrt((1.0 - tone->cosOmega) / (1.0 + tone->cosOmega));
    tone->s2 = -std::cos(phase);
    tone->initialised = 1;
  }
  const double g = 8191.75 * gain;
  double s1 = tone->s1, s2 = tone->s2;
  const double c = tone->cosOmega;
  for (int i = 0; i < length; ++i) {
    out[i] = static_cast<float>(s2 * g);
    const double t = (s1 + s2) * c;
    const double previous = s1;
    s1 = t - s2;
    s2 = previous + t;
  }
  tone->s1 = s1;
  tone->s2 = s2;
}

// ---- Further sample layouts --------------------------------------------------------------

void ComputeSplitStereo16(const int16_t* pcm, int16_t* left, int16_t* right, int frames) {
  for (int i = 0; i < frames; ++i) {
    left[i] = pcm[2 * i];
    right[i] = pcm[2 * i + 1];
  }
}

void ComputeJoinStereo16(const int16_t* left, const int16_t* right, int16_t* pcm, int frames) {
  for (int i = 0; i < frames; ++i) {
    pcm[2 * i] = left[i];
    pcm[2 * i + 1] = right[i];
  }
}

void ComputeInterleaved8ToFloat(const uint8_t* pcm, float* const* channels, int channelCount,
                                int frames) {
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channelCount; ++c)
      channels[c][i] = static_cast<float>(pcm[i * channelCount + c] - 127);
}

void ComputeInterleaved16ToFloat(const int16_t* pcm, float* const* channels, int channelCount,
                                 int frames) {
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channelCount; ++c) channels[c][i] = pcm[i * channelCount + c];
}

void ComputeFloatToInterleaved8(const float* const* channels, int channelCount, uint8_t* pcm,
                                int frames, int limit) {
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channelCount; ++c) {
      float x = channels[c][i];
      if (std::isnan(x)) x = 0.0f;
      if (limit) x = std::clamp(x, -128.0f, 127.0f);
      x = std::clamp(x, -2147483648.0f, 2147483520.0f);
      pcm[i * channelCount + c] =
          static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(x)) + 128u);
    }
}

void ComputeFloatToInterleaved16(const float* const* channels, int channelCount, int16_t* pcm,
                                 int frames, int limit) {
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channelCount; ++c)
      pcm[i * channelCount + c] = TruncateTo16(channels[c][i], limit);
}

void ComputeWiden8To16(const uint8_t* in, int16_t* out, int length) {
  for (int i = 0; i < length; ++i) out[i] = static_cast<int16_t>((in[i] - 128) * 256);
}

void ComputeIndexRamp(int8_t* out, int length, int k) {
  for (int i = 0; i < length; ++i)
    out[i] = static_cast<int8_t>(static_cast<uint32_t>(i) * static_cast<uint32_t>(k));
}

void ComputeIndexRamp(int16_t* out, int length, int k) {
  for (int i = 0; i < length; ++i)
    out[i] = static_cast<int16_t>(static_cast<uint32_t>(i) * static_cast<uint32_t>(k));
}

// ---- Scalar ------------------------------------------------------------------------------

float SliderToGain(float x) {
  const double t = static_cast<double>(x) * 0.14285715f;
  return static_cast<float>(t * t);
}
