#include "audio/karaoke_stage.h"

#include <algorithm>
#include <cmath>

#include "audio/sound_block.h"
#include "dsp/kernels.h"

KaraokeStageState karaokeStage;

namespace {

constexpr float kDefaultParameters[kKaraokeParameterCount] = {
    310.0f,    // crossover frequency
    4.0f,      // crossover order
    0.0f,      // Butterworth sections
    0.0f,      // bass replace, dB
    1.0f,      // voice reduce
    11025.0f,  // stereo comb design frequency
    750.0f,    // stereo comb bands
    3.0f,      // stereo comb taps
};

// Limits of each parameter: what the records can hold and design sensibly.
constexpr float kLowest[kKaraokeParameterCount] = {1.0f,  0.0f, 0.0f, -120.0f,
                                                   -1.0f, 1.0f, 1.0f, 1.0f};
constexpr float kHighest[kKaraokeParameterCount] = {
    20000.0f, kIIR2MaxOrder, 1.0f, 40.0f, 1.0f, 22050.0f, kIIIRLineLength, kFIRMaxOrder};

const bool karaokeStageDefaulted = (DefaultKaraokeStage(), true);

void ApplyParameter(KaraokeStageState& k, int which, float value) {
  switch (which) {
    case kKaraokeCrossoverFrequency:
      SetKaraoke_CrossoverFrequency(&k.karaoke, value);
      break;
    case kKaraokeCrossoverOrder:
      SetKaraoke_CrossoverOrder(&k.karaoke, static_cast<int>(value));
      break;
    case kKaraokeUseButterworth:
      SetKaraoke_UseButterworth(&k.karaoke, value != 0.0f);
      UpdateKaraoke(&k.karaoke);
      break;
    case kKaraokeBassReplaceDB:
      SetKaraoke_BassReplaceDB(&k.karaoke, value);
      break;
    case kKaraokeVoiceReduce:
      k.karaoke.voiceReduce = value;
      break;
    case kStereoGeneratorFrequency:
      SetFIR_Frequency(&k.stereoComb.fir, value);
      UpdateFIR(&k.stereoComb.fir);
      break;
    case kStereoGeneratorBands:
      SetFIR_Bands(&k.stereoComb.fir, static_cast<int>(value));
      UpdateFIR(&k.stereoComb.fir);
      break;
    case kStereoGeneratorOrder:
      SetFIR_Order(&k.stereoComb.fir, static_cast<int>(value));
      UpdateFIR(&k.stereoComb.fir);
      break;
  }
}

// Audio thread: the changes requested since the last sub-block, in parameter order.
void ApplyRequests(KaraokeStageState& k) {
  if (!k.pendingParameters.load(std::memory_order_relaxed)) return;
  const int32_t pending = k.pendingParameters.exchange(0, std::memory_order_acquire);
  for (int which = 0; which < kKaraokeParameterCount; ++which)
    if (pending & (1 << which))
      ApplyParameter(k, which, k.parameters[which].load(std::memory_order_relaxed));
}

}  // namespace

void DefaultKaraokeStage() {
  KaraokeStageState& k = karaokeStage;
  DefaultKaraoke(&k.karaoke);
  DefaultIIIR(&k.stereoComb);
  DefaultIIIR(&k.stereoDelay);
  k.stereoComb.fir.bands = static_cast<int>(kDefaultParameters[kStereoGeneratorBands]);
  k.stereoComb.fir.order = static_cast<int>(kDefaultParameters[kStereoGeneratorOrder]);
  for (int which = 0; which < kKaraokeParameterCount; ++which)
    k.parameters[which].store(kDefaultParameters[which], std::memory_order_relaxed);
  k.pendingParameters.store(0, std::memory_order_release);
  InitKaraokeStage(kEngineSamplingFrequency);
}

void InitKaraokeStage(double samplingFrequency) {
  KaraokeStageState& k = karaokeStage;
  k.karaoke.bassBuffer[0] = k.bassBuffers[0];
  k.karaoke.bassBuffer[1] = k.bassBuffers[1];
  SetKaraoke_SamplingFrequency(&k.karaoke, samplingFrequency);
  InitKaraoke(&k.karaoke);
  SetIIIR_SamplingFrequency(&k.stereoComb, samplingFrequency);
  SetIIIR_SamplingFrequency(&k.stereoDelay, samplingFrequency);
  InitIIIR(&k.stereoComb);
  InitIIIR(&k.stereoDelay);
}

void SetKaraokeParameter(KaraokeParameter which, float value) {
  if (which < 0 || which >= kKaraokeParameterCount || std::isnan(value)) return;
  value = std::clamp(value, kLowest[which], kHighest[which]);
  KaraokeStageState& k = karaokeStage;
  k.parameters[which].store(value, std::memory_order_relaxed);
  k.pendingParameters.fetch_or(1 << which, std::memory_order_release);
}

float KaraokeParameterValue(KaraokeParameter which) {
  if (which < 0 || which >= kKaraokeParameterCount) return 0.0f;
  return karaokeStage.parameters[which].load(std::memory_order_relaxed);
}

void ResetKaraokeStage() {
  KaraokeStageState& k = karaokeStage;
  ResetKaraoke(&k.karaoke);
  ResetIIIR(&k.stereoDelay);
  ResetIIIR(&k.stereoComb);
}

void RunKaraokeStage(float* const music[2], float* scratch, int length, int* stereoWasMono) {
  KaraokeStageState& k = karaokeStage;
  ApplyRequests(k);
  length = std::min(length, kSubBlockFrames);
  if (length <= 0) return;

  const bool generator =
      soundBlock.stereoGeneratorOn.load(std::memory_order_acquire) && k.stereoComb.fir.halfSpan > 0;
  // A restart from mono clears the memories before this block runs through them, so the
  // crossover does not start twice.
  if (generator && *stereoWasMono) {
    k.stereoComb.fir.span = kStereoRestartSpan;
    ResetKaraokeStage();
    *stereoWasMono = 0;
  }

  ComputeKaraoke(music, length, &k.karaoke);  // music[0] = M

  if (generator) {
    ComputeIFIR3_Buffered(music[0], scratch, length, &k.stereoComb, 0);  // K
    // D lines up with the comb's middle tap, so that D - K is K's complement.
    k.stereoDelay.lineLength = StereoCombMiddleDelay(&k.stereoComb);
    ComputeDelayLine(music[0], music[1], length, &k.stereoDelay, 0);  // D
    ComputeSubtract(music[1], scratch, music[1], length);
    ComputeScale(scratch, music[0], length, kStereoGeneratorScale);
    ComputeScale(music[1], music[1], length, kStereoGeneratorScale);
  } else {
    *stereoWasMono = 1;
    ComputeCopy(music[0], music[1], length);
  }

  if (k.karaoke.lowBand[0].order != 0)
    for (int ch = 0; ch < 2; ++ch)
      ComputeWeightedSum(k.karaoke.bassBuffer[ch], music[ch], music[ch], length, k.karaoke.bassGain,
                         1.0f);
}
