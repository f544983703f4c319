#include "dsp/reverb.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "dsp/kernels.h"

namespace {

constexpr float kDiffuserDelay[kIIIRNestedStages] = {0.00247f, 0.00376f, 0.00511f};
constexpr float kDiffuserFeedback[kIIIRNestedStages] = {0.725f, 0.7f, 0.625f};

// 10^(-3 combDelay / decayTime), limited to 0..kReverbMaxFeedback.
float CombFeedback(float combDelay, float decayTime) {
  const float g = std::pow(10.0f, combDelay * -3.0f / decayTime);
  if (!(g >= 0.0f)) return 0.0f;
  return std::min(g, kReverbMaxFeedback);
}

}  // namespace

void DefaultReverb(Reverb* reverb) {
  reverb->dry = 0.5f;
  reverb->wet = 0.5f;
  reverb->mixPercent = 50.0f;
  reverb->decayTime = 2.0f;
  DefaultIIR2(&reverb->inputFilter);
  reverb->inputFilter.frequency = 7000.0;
  reverb->combCount = kReverbCombs;
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) {
      DefaultIIIR(&comb);
      comb.damping.frequency = 6000.0;
    }
  DefaultIIIRNested(&reverb->diffuser);
  reverb->diffuser.count = kIIIRNestedStages;
  for (int k = 0; k < kIIIRNestedStages; ++k)
    SetIIIRNested_Stage(&reverb->diffuser, k, kDiffuserDelay[k], kDiffuserFeedback[k]);
  reverb->bufferLength = kSubBlockFrames;
  SetReverb_CombDelay(reverb, 0.05f);
  reverb->modified = 1;
  reverb->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetReverb_SamplingFrequency(Reverb* reverb, double samplingFrequency) {
  SetIIR2_SamplingFrequency(&reverb->inputFilter, samplingFrequency);
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) SetIIIR_SamplingFrequency(&comb, samplingFrequency);
  SetIIIRNested_SamplingFrequency(&reverb->diffuser, samplingFrequency);
  reverb->modified = samplingFrequency != reverb->samplingFrequency;
  reverb->samplingFrequency = samplingFrequency;
}

void SetReverb_Wet(Reverb* reverb, float wet) {
  reverb->wet = wet;
}

void SetReverb_Dry(Reverb* reverb, float dry) {
  reverb->dry = dry;
}

void SetReverb_CombDelay(Reverb* reverb, float combDelay) {
  reverb->combDelay = combDelay;
  for (auto& channel : reverb->combs)
    for (int k = 0; k < kReverbCombs; ++k) channel[k].delayTime = combDelay * kReverbCombRatios[k];
}

void SetReverb_DecayTime(Reverb* reverb, float decayTime) {
  reverb->decayTime = decayTime;
  const float g = CombFeedback(reverb->combDelay, decayTime);
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) comb.h[1] = g;
}

void SetReverb_DampingFrequency(Reverb* reverb, double frequency) {
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) SetIIR1_Frequency(&comb.damping, frequency);
}

void UpdateReverb(Reverb* reverb) {
  IIR2* filter = &reverb->inputFilter;
  filter->modified = 1;
  UpdateIIR2(filter);
  const double scale = reverb->wet * 0.16666666666666666;
  filter->sections[0].b0 *= scale;
  filter->sections[0].b1 *= scale;
  filter->sections[0].b2 *= scale;
  if (reverb->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdateReverb: Hey.  samplingFrequency=%g not set !\n", reverb->samplingFrequency);

  const float g = CombFeedback(reverb->combDelay, reverb->decayTime);
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) {
      comb.h[1] = g;
      IIR1& damping = comb.damping;
      const double p = std::exp(-kTwoPi * damping.frequency / damping.samplingFrequency);
      damping.b0 = 1.0 - p;
      damping.a1 = p;
      comb.lineLength = NearestPrime(SecondsToSamples(comb.delayTime, reverb->samplingFrequency), 2,
                                     kIIIRLineLength);
    }
  UpdateIIIRNested(&reverb->diffuser);
  reverb->modified = 0;
}

void ResetReverb(Reverb* reverb) {
  ResetIIR2(&reverb->inputFilter);
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) ResetIIIR(&comb);
  ResetIIIRNested(&reverb->diffuser);
  for (auto& buffer : reverb->buffers) std::fill(std::begin(buffer), std::end(buffer), 0.0f);
}

void InitReverb(Reverb* reverb) {
  UpdateReverb(reverb);
  ResetReverb(reverb);
}

void ComputeCombReverb(const float* in, float* out, int length, IIIR* comb, int additive) {
  const int n = std::clamp(comb->lineLength, 1, kIIIRLineLength);
  const float position = comb->combPosition;
  int i = position >= 0.0f && position < static_cast<float>(n) ? static_cast<int>(position) : 0;
  float* line = comb->line;
  const double b0 = comb->damping.b0, a1 = comb->damping.a1, h1 = comb->h[1];
  double f = comb->damping.y1;
  for (int k = 0; k < length; ++k) {
    const float x = in[k];
    const float d = line[i];
    f = a1 * f + b0 * d;
    line[i] = static_cast<float>(x - h1 * f);
    if (++i == n) i = 0;
    out[k] = additive ? out[k] + d : d;
  }
  comb->damping.y1 = f;
  comb->combPosition = static_cast<float>(i);
}

void ComputeReverb(const float* in, float* const out[2], int length, Reverb* reverb, int additive) {
  const int piece = std::clamp(reverb->bufferLength, 1, kSubBlockFrames);
  float* t = reverb->buffers[0];
  for (int done = 0; done < length; done += piece) {
    const int n = std::min(piece, length - done);
    const float* x = in + done;
    ComputeIIR2Section(x, t, n, &reverb->inputFilter);
    ComputeIIIRNested(t, t, n, &reverb->diffuser);
    for (int ch = 0; ch < 2; ++ch) {
      float* y = out[ch] + done;
      if (additive)
        ComputeAdd(y, t, y, n);
      else
        ComputeCopy(t, y, n);
      ComputeCombReverb(t, y, n, &reverb->combs[ch][0], additive);
      for (int k = 1; k < kReverbCombs; ++k) ComputeCombReverb(t, y, n, &reverb->combs[ch][k], 1);
      ComputeMultiplyAdd(x, y, n, reverb->dry);
    }
  }
}
