#include "dsp/pitchshift.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "dsp/kernels.h"

namespace {

constexpr float kSemitone = 0.083333336f;  // 1/12 as the float
constexpr float kDefaultWindow = 0.105f;
constexpr float kFloatPi = 3.1415927f;

float RatioOf(float semitones) {
  return std::pow(2.0f, semitones * kSemitone);
}

// The largest feedback gain for the loop bound: the shifter's output is at most 0.99 sqrt 2
// times its input (tap gain 0.99, |sin| + |cos| <= sqrt 2).
constexpr double kMaxFeedback = kPitchShiftMaxLoopGain / (0.99 * 1.4142135623730951);

// One piece of at most kSubBlockFrames samples through the two taps and the crossfade.
void ShiftPiece(const float* in, float* out, int n, PitchShift* s) {
  for (int k = 0; k < 2; ++k) {
    ComputeOscillator(s->ramp[k], n, &s->sweep[k], 0);
    s->taps[k].modulationSource = s->ramp[k];
    ComputeIFIR_ModulatedLinearInterpolation(in, s->tapOut[k], n, &s->taps[k], 0);
  }
  ComputeCrossfadeAbs(s->tapOut[0], s->tapOut[1], s->ramp[0], out, n);
}

}  // namespace

void DefaultPitchShift(PitchShift* shifter) {
  shifter->semitones = 0.0f;
  shifter->previousSemitones = 0.0f;
  shifter->window = kDefaultWindow;
  for (int k = 0; k < 2; ++k) {
    Oscillator* sweep = &shifter->sweep[k];
    DefaultOscillator(sweep);
    SetOscillator(sweep, 1.0f / shifter->window, 1.0f, kSawtoothUp);
    sweep->phase = k == 0 ? 0.0 : 3.141592653589793;
    IIIR* tap = &shifter->taps[k];
    DefaultIIIR(tap);
    SetIIIR_DelayAndFeedback(tap, shifter->window, 1.0f);
    tap->delayTimeModulation = 0.01f * shifter->window;
    tap->h[0] = 0.0f;
  }
  DefaultIIIR(&shifter->feedbackDelay);
  SetIIIR_DelayAndFeedback(&shifter->feedbackDelay, 0.05f, 0.0f);
  shifter->ratio = RatioOf(shifter->semitones);
  shifter->previousRatio = shifter->ratio;
  shifter->modified = 1;
  shifter->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetPitchShift_SamplingFrequency(PitchShift* shifter, double samplingFrequency) {
  SetIIIR_SamplingFrequency(&shifter->feedbackDelay, samplingFrequency);
  for (int k = 0; k < 2; ++k) {
    SetIIIR_SamplingFrequency(&shifter->taps[k], samplingFrequency);
    SetOscillator_SamplingFrequency(&shifter->sweep[k], samplingFrequency);
  }
  shifter->modified = samplingFrequency != shifter->samplingFrequency;
  shifter->samplingFrequency = samplingFrequency;
}

void SetPitchShift_Semitones(PitchShift* shifter, float semitones) {
  const float r = RatioOf(semitones);
  shifter->previousSemitones = shifter->semitones;
  shifter->semitones = semitones;
  for (IIIR& tap : shifter->taps) tap.delayTimeModulation = (1.0f - r) * tap.delayTime;
}

void SetPitchShift_Window(PitchShift* shifter, float window) {
  shifter->window = window;
  const float r = RatioOf(shifter->semitones);
  for (int k = 0; k < 2; ++k) {
    shifter->sweep[k].frequency = 1.0f / window;
    shifter->taps[k].delayTime = window;
    shifter->taps[k].delayTimeModulation = (1.0f - r) * window;
  }
}

void UpdatePitchShift(PitchShift* shifter) {
  if (shifter->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdatePitchShift: Hey.  samplingFrequency=%g not set !\n", shifter->samplingFrequency);
  shifter->previousRatio = shifter->ratio;
  shifter->ratio = RatioOf(shifter->semitones);
  shifter->taps[0].h[0] = shifter->taps[1].h[0] = 0.0f;
  UpdateIIIR(&shifter->feedbackDelay);
  UpdateIIIR(&shifter->taps[0]);
  UpdateIIIR(&shifter->taps[1]);
  UpdateOscillator(&shifter->sweep[0]);
  UpdateOscillator(&shifter->sweep[1]);
  shifter->modified = 0;
}

void ResetPitchShift(PitchShift* shifter) {
  shifter->callCount = 0;
  shifter->previousRatio = shifter->ratio;
  ResetIIIR(&shifter->feedbackDelay);
  ResetIIIR(&shifter->taps[0]);
  ResetIIIR(&shifter->taps[1]);
  ResetOscillator(&shifter->sweep[0]);
  ResetOscillator(&shifter->sweep[1]);
}

void InitPitchShift(PitchShift* shifter) {
  shifter->modified = 1;
  InitIIIR(&shifter->feedbackDelay);
  InitIIIR(&shifter->taps[0]);
  InitIIIR(&shifter->taps[1]);
  InitOscillator(&shifter->sweep[0]);
  InitOscillator(&shifter->sweep[1]);
  UpdatePitchShift(shifter);
  ResetPitchShift(shifter);
}

void ComputePitchShift(const float* in, float* out, int length, PitchShift* shifter) {
  for (int done = 0; done < length; done += kSubBlockFrames) {
    const int n = std::min(kSubBlockFrames, length - done);
    ShiftPiece(in + done, out + done, n, shifter);
  }
}

void ComputePitchShiftFeedback(float* in, float* out, int length, PitchShift* shifter) {
  IIIR* delay = &shifter->feedbackDelay;
  const float gain =
      static_cast<float>(std::clamp(static_cast<double>(delay->h[0]), -kMaxFeedback, kMaxFeedback));
  for (int done = 0; done < length; done += kSubBlockFrames) {
    const int n = std::min(kSubBlockFrames, length - done);
    float* x = in + done;
    float* y = out + done;
    ComputeDelayTap(shifter->feedback, n, delay, 0);
    ComputeMultiplyAdd(shifter->feedback, x, n, gain);
    // The crossfade of the feedback variant takes theta = pi * ramp with the float pi.
    for (int k = 0; k < 2; ++k) {
      ComputeOscillator(shifter->ramp[k], n, &shifter->sweep[k], 0);
      shifter->taps[k].modulationSource = shifter->ramp[k];
      ComputeIFIR_ModulatedLinearInterpolation(x, shifter->tapOut[k], n, &shifter->taps[k], 0);
    }
    for (int i = 0; i < n; ++i) {
      const double theta = static_cast<double>(kFloatPi * shifter->ramp[0][i]);
      y[i] = static_cast<float>(std::fabs(std::sin(theta)) * shifter->tapOut[0][i] +
                                std::fabs(std::cos(theta)) * shifter->tapOut[1][i]);
    }
    ComputeDelayWrite(y, n, delay);
  }
}

void ComputePitchShiftV1(const float* in, float* out, int length, PitchShift* shifter) {
  ++shifter->callCount;
  const double delta = shifter->ratio;
  int total = 0;
  double x = 0.0;
  while (total < length) {
    x = 0.0;
    int created = 0;
    while (x < length && total < length) {
      out[total++] = in[static_cast<int>(x)];
      x += delta;
      ++created;
    }
    if (created == 0) break;
  }
  if (total != length)
    Trace("ComputePitchShiftV1 %d: totalCreated=%d != length=%d x=%g delta=%g\n",
          shifter->callCount, total, length, x, delta);
}
