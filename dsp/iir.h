// Recursive filters: the first-order high-pass section IIR1 and the cascade of up to eight
// second-order sections IIR2 (low-pass, high-pass, peaking), following the processor pattern
// of dsp/conventions.h. Coefficients and states are doubles; only output samples are floats.
//
// Setter styles: SetIIR1_Frequency, SetIIR2 and SetIIR2_Frequency raise `modified` when the
// value changes and leave it otherwise; the sampling-frequency, order and Butterworth setters
// assign `modified` = (value changed), so an unchanged value clears a pending change.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"

// ---- IIR1 --------------------------------------------------------------------------------

struct IIR1 {
  double frequency = 10.0;  // -3 dB corner, Hz
  double b0 = 0.0, b1 = 0.0, a1 = 0.0;
  double x1 = 0.0, y1 = 0.0;
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
};

void DefaultIIR1(IIR1* filter);
void SetIIR1_Frequency(IIR1* filter, double frequency);
void SetIIR1_SamplingFrequency(IIR1* filter, double samplingFrequency);
// w = 2 pi f / fs; p = 1/cos(w) - tan(w); b0 = (1 + p)/2, b1 = -b0, a1 = -p. Always
// recomputes; clears `modified`.
void UpdateIIR1(IIR1* filter);
void ResetIIR1(IIR1* filter);  // x1 = y1 = 0
void InitIIR1(IIR1* filter);   // modified, Update, Reset
// y[n] = b0 x[n] + b1 x[n-1] - a1 y[n-1]. in may be out.
void ComputeIIR1(const float* in, float* out, int length, IIR1* filter);

// ---- IIR2 --------------------------------------------------------------------------------

enum IIR2Mode : int32_t {
  kIIR2None = 0,  // processing copies input to output
  kIIR2LowPass = 1,
  kIIR2HighPass = 2,
  kIIR2Peaking = 5,  // peaking equaliser with gainDB
};

inline constexpr int kIIR2MaxSections = 8;
inline constexpr int kIIR2MaxOrder = 2 * kIIR2MaxSections;

struct IIR2Section {
  double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;  // normalised, a0 = 1
};

struct IIR2State {
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
};

struct IIR2 {
  double frequency = 1000.0;
  double Q = 0.707106781;
  double gainDB = 0.0;  // peaking only
  int32_t mode = kIIR2LowPass;
  int32_t order = 2;  // 2 per section; orders above 16 act as 16
  int32_t useButterworth = 0;
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
  IIR2Section sections[kIIR2MaxSections];
  IIR2State sectionState[kIIR2MaxSections];
};

void DefaultIIR2(IIR2* filter);
void SetIIR2(IIR2* filter, double frequency, double Q, double gainDB, int mode);
void SetIIR2_Frequency(IIR2* filter, double frequency);
void SetIIR2_Order(IIR2* filter, int order);
void SetIIR2_UseButterworth(IIR2* filter, int useButterworth);
void SetIIR2_SamplingFrequency(IIR2* filter, double samplingFrequency);
// Designs one section for f = frequency / samplingFrequency. Mode 0 leaves the section as it
// is; an undefined mode prints "ComputeIIR2Hz: bogus filter mode=%d\n" and leaves it too.
void ComputeIIR2Hz(IIR2Section* section, double f, double Q, double gainDB, int mode);
// Only when `modified`: section 0 from the record's parameters, or, with useButterworth, one
// section per stage with the Butterworth Q of that stage. Clears `modified`.
void UpdateIIR2(IIR2* filter);
void ResetIIR2(IIR2* filter);  // zeroes all eight state sets
void InitIIR2(IIR2* filter);   // modified, Update, Reset
// The cascade: order 0 or 1, or mode 0, copies; otherwise order/2 sections, section 0 from in to
// out, later ones in place on out. Stage k uses coefficient set k with useButterworth, set 0
// otherwise, and always its own state set k.
void ComputeIIR2(const float* in, float* out, int length, IIR2* filter);
// Section 0 alone, whatever `order` and `mode` say.
void ComputeIIR2Section(const float* in, float* out, int length, IIR2* filter);

// Q of stage k (1-based) of a Butterworth filter of the given order: 0.5 / asinh(x/2) with
// x = 2 sin((2k - 1) pi / (2 order)).
double ButterworthStageQ(int stage, int order);
