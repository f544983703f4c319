#include "dsp/fir.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"

namespace {

int ClampTaps(int N) {
  return std::clamp(N, 1, kFIRMaxOrder);
}

// Window value at point i of N. Types:
//   0 rectangular  1.0
//   1 triangular   1 - |2i - N + 1| / (N - 1)
//   2 Hamming      0.54 + 0.46 cos(2 pi t / (N - 1)), t = i - (N - 1)/2
//   3 Hann         0.5 + 0.5 cos(2 pi t / (N - 1)),   t = i - (N - 1)/2
//   4 Blackman     0.42 + 0.5 cos(2 pi t / N) + 0.08 cos(4 pi t / N), t = i - N/2
// A single point (N = 1) is the window's centre, 1.0, for the types that divide by N - 1.
double WindowPoint(int type, int i, int N) {
  const double span = N - 1;
  switch (type) {
    case kWindowRectangular:
      return 1.0;
    case kWindowTriangular:
      return N > 1 ? 1.0 - std::fabs(2.0 * i - N + 1) / span : 1.0;
    case kWindowHamming:
      return N > 1 ? 0.54 + 0.46 * std::cos(kTwoPi * (i - span * 0.5) / span) : 1.0;
    case kWindowHann:
      return N > 1 ? 0.5 + 0.5 * std::cos(kTwoPi * (i - span * 0.5) / span) : 1.0;
    case kWindowBlackman: {
      const double t = i - N * 0.5;
      return 0.42 + 0.5 * std::cos(kTwoPi * t / N) + 0.08 * std::cos(2.0 * kTwoPi * t / N);
    }
  }
  return 0.0;
}

}  // namespace

void DefaultFIR(FIR* fir) {
  fir->frequency = 11025.0;
  fir->frequency2 = 15434.999999999998;
  fir->transition = 0.5 * fir->frequency;
  fir->attenuationDB = -40.0;
  fir->window = kWindowHamming;
  fir->filterType = kFIRLowPass;
  fir->reserved = 0;
  fir->bands = 1;
  fir->order = 3;
  fir->samplingFrequency = static_cast<float>(kSamplingFrequencyNotSet);
}

void SetFIR_Frequency(FIR* fir, double frequency) {
  fir->frequency = frequency;
}

void SetFIR_Bands(FIR* fir, int bands) {
  fir->bands = std::max(bands, 1);
}

void SetFIR_Order(FIR* fir, int order) {
  fir->order = ClampTaps(order);
}

void SetFIR_SamplingFrequency(FIR* fir, double samplingFrequency) {
  fir->samplingFrequency = static_cast<float>(samplingFrequency);
}

void ComputeWindow(float* out, int N, int type, int normalise) {
  if (type < kWindowRectangular || type > kWindowBlackman || N < 1) return;
  const double scale = normalise && N > 1 ? 2.0 / (N - 1) : 1.0;
  for (int i = 0; i < N; ++i) out[i] = static_cast<float>(WindowPoint(type, i, N) * scale);
}

void ComputeFIRHz_Window(float* coefficients, double f1, double f2, int N, int filterType,
                         int window, int print) {
  const int type = filterType & 0xFF;
  if (type < kFIRLowPass || type > kFIRBandStop) {
    Trace("ComputeFIRHz_Window: bogus filterType=%d\n", filterType);
    return;
  }
  N = ClampTaps(N);
  const double w1 = 2.0 * f1, w2 = 2.0 * f2;
  const double c = (N - 1) * 0.5;
  double ideal[kFIRMaxOrder];
  for (int i = 0; i < N; ++i) {
    const double t = i - c;
    const double pt = kPi * t;
    switch (type) {
      case kFIRLowPass:
        ideal[i] = t == 0.0 ? w1 : std::sin(kPi * w1 * t) / pt;
        break;
      case kFIRHighPass:
        ideal[i] = t == 0.0 ? 1.0 - w1 : -std::sin(kPi * w1 * t) / pt;
        break;
      case kFIRBandPass:
        ideal[i] = t == 0.0 ? w2 - w1 : (std::sin(kPi * w2 * t) - std::sin(kPi * w1 * t)) / pt;
        break;
      default:  // band-stop
        ideal[i] =
            t == 0.0 ? 1.0 + w1 - w2 : (std::sin(kPi * w1 * t) - std::sin(kPi * w2 * t)) / pt;
        break;
    }
  }
  // Window 0, and a window type without a formula, leave the ideal response as it is.
  const bool windowed = window > kWindowRectangular && window <= kWindowBlackman;
  for (int i = 0; i < N; ++i)
    coefficients[i] =
        static_cast<float>(windowed ? WindowPoint(window, i, N) * ideal[i] : ideal[i]);
  if (print) {
    Trace("ComputeFIRHz_Window: order=%d  fc/fs=%g\n", N, f1);
    for (int i = 0; i < N; ++i) Trace("ComputeFIRHz_Window%2d: %f\n", i, coefficients[i]);
  }
}

void UpdateFIR(FIR* fir) {
  if (fir->samplingFrequency == static_cast<float>(kSamplingFrequencyNotSet))
    Trace("UpdateFIR: Hey.  samplingFrequency=%g not set !\n", fir->samplingFrequency);
  fir->order = ClampTaps(fir->order);
  fir->bands = std::max(fir->bands, 1);
  const double fs = fir->samplingFrequency;
  ComputeFIRHz_Window(fir->coefficients, fir->frequency / fs, fir->frequency2 / fs, fir->order,
                      fir->filterType, fir->window, 0);
  // At most 30 gaps of at most 2^26 samples: the product cannot overflow.
  fir->span = (fir->order - 1) * std::min(fir->bands, 1 << 26);
  fir->halfSpan = fir->span / 2;
  fir->stateIndex = 0;
}

void ResetFIR(FIR* fir) {
  std::fill(std::begin(fir->state), std::end(fir->state), 0.0f);
}

void InitFIR(FIR* fir) {
  UpdateFIR(fir);
  ResetFIR(fir);
}
