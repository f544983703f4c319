// FIR filters: short linear-phase designs by the windowed-sinc method, and the description of
// a sparse (interpolated) FIR whose taps lie `bands` samples apart. Every delay-line record
// embeds one; the karaoke stereo generator builds its comb from the designed coefficients and
// the span.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"

inline constexpr int kFIRMaxOrder = 31;  // taps a record holds

enum FIRType : int32_t { kFIRLowPass = 1, kFIRHighPass = 2, kFIRBandPass = 3, kFIRBandStop = 4 };

enum FIRWindow : int32_t {
  kWindowRectangular = 0,
  kWindowTriangular = 1,
  kWindowHamming = 2,
  kWindowHann = 3,
  kWindowBlackman = 4,
};

struct FIR {
  double frequency = 11025.0;              // (first) cut-off, Hz
  double frequency2 = 15434.999999999998;  // second edge (band-pass, band-stop), Hz
  double transition = 5512.5;              // not used by the design
  double attenuationDB = -40.0;            // not used by the design
  int32_t window = kWindowHamming;
  int32_t filterType = kFIRLowPass;  // only the low byte counts
  int32_t reserved = 0;
  int32_t bands = 1;     // spacing of the taps in samples
  int32_t order = 3;     // number of taps, 1..31
  int32_t halfSpan = 0;  // derived: span / 2
  int32_t span = 0;      // derived: (order - 1) * bands
  float coefficients[kFIRMaxOrder] = {};
  float state[kFIRMaxOrder] = {};
  int32_t stateIndex = 0;
  float samplingFrequency = static_cast<float>(kSamplingFrequencyNotSet);
};

void DefaultFIR(FIR* fir);
void SetFIR_Frequency(FIR* fir, double frequency);
// Tap spacing, at least 1.
void SetFIR_Bands(FIR* fir, int bands);
// Number of taps, limited to 1..31.
void SetFIR_Order(FIR* fir, int order);
void SetFIR_SamplingFrequency(FIR* fir, double samplingFrequency);
// Designs the coefficients from the parameters; span = (order - 1) * bands, halfSpan = span / 2,
// stateIndex = 0.
void UpdateFIR(FIR* fir);
void ResetFIR(FIR* fir);  // clears the 31 state values
void InitFIR(FIR* fir);   // Update, then Reset

// Windowed-sinc design of N taps (limited to 1..31) for f1 = frequency / fs and, for band-pass
// and band-stop, f2 = frequency2 / fs. window 0, or a type without a formula, leaves the ideal
// response unwindowed. A filter type outside 1..4 is refused with
// "ComputeFIRHz_Window: bogus filterType=%d\n" and leaves the coefficients as they are. With
// print set, the design is traced tap by tap.
void ComputeFIRHz_Window(float* coefficients, double f1, double f2, int N, int filterType,
                         int window, int print);
// Window of N points (type table in fir.cpp); types above 4 write nothing. normalise multiplies
// the window by 2 / (N - 1) (N > 1).
void ComputeWindow(float* out, int N, int type, int normalise);
