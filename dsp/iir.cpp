#include "dsp/iir.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/diagnostics.h"
#include "dsp/kernels.h"

// ---- IIR1 --------------------------------------------------------------------------------

void DefaultIIR1(IIR1* filter) {
  filter->frequency = 10.0;
  filter->modified = 1;
  filter->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetIIR1_Frequency(IIR1* filter, double frequency) {
  if (frequency != filter->frequency) filter->modified = 1;
  filter->frequency = frequency;
}

void SetIIR1_SamplingFrequency(IIR1* filter, double samplingFrequency) {
  filter->modified = samplingFrequency != filter->samplingFrequency;
  filter->samplingFrequency = samplingFrequency;
}

void UpdateIIR1(IIR1* filter) {
  if (filter->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdateIIR1: Hey.  samplingFrequency=%g not set !\n", filter->samplingFrequency);
  const double w = kTwoPi * filter->frequency / filter->samplingFrequency;
  const double p = 1.0 / std::cos(w) - std::tan(w);
  filter->b0 = (1.0 + p) / 2.0;
  filter->b1 = -filter->b0;
  filter->a1 = -p;
  filter->modified = 0;
}

void ResetIIR1(IIR1* filter) {
  filter->x1 = 0.0;
  filter->y1 = 0.0;
}

void InitIIR1(IIR1* filter) {
  filter->modified = 1;
  UpdateIIR1(filter);
  ResetIIR1(filter);
}

void ComputeIIR1(const float* in, float* out, int length, IIR1* filter) {
  const double b0 = filter->b0, b1 = filter->b1, a1 = filter->a1;
  double x1 = filter->x1, y1 = filter->y1;
  for (int i = 0; i < length; ++i) {
    const double x = in[i];
    const double y = b0 * x + b1 * x1 - a1 * y1;
    x1 = x;
    y1 = y;
    out[i] = static_cast<float>(y);
  }
  filter->x1 = x1;
  filter->y1 = y1;
}

// ---- IIR2 --------------------------------------------------------------------------------

void DefaultIIR2(IIR2* filter) {
  filter->frequency = 1000.0;
  filter->Q = 0.707106781;
  filter->gainDB = 0.0;
  filter->mode = kIIR2LowPass;
  filter->order = 2;
  filter->useButterworth = 0;
  filter->modified = 1;
  filter->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetIIR2(IIR2* filter, double frequency, double Q, double gainDB, int mode) {
  if (frequency != filter->frequency || Q != filter->Q || gainDB != filter->gainDB ||
      mode != filter->mode)
    filter->modified = 1;
  filter->frequency = frequency;
  filter->Q = Q;
  filter->gainDB = gainDB;
  filter->mode = mode;
}

void SetIIR2_Frequency(IIR2* filter, double frequency) {
  if (frequency != filter->frequency) filter->modified = 1;
  filter->frequency = frequency;
}

void SetIIR2_Order(IIR2* filter, int order) {
  filter->modified = order != filter->order;
  filter->order = order;
}

void SetIIR2_UseButterworth(IIR2* filter, int useButterworth) {
  filter->modified = useButterworth != filter->useButterworth;
  filter->useButterworth = useButterworth;
}

void SetIIR2_SamplingFrequency(IIR2* filter, double samplingFrequency) {
  filter->modified = samplingFrequency != filter->samplingFrequency;
  filter->samplingFrequency = samplingFrequency;
}

void ComputeIIR2Hz(IIR2Section* section, double f, double Q, double gainDB, int mode) {
  if (mode == kIIR2None) return;
  if (mode != kIIR2LowPass && mode != kIIR2HighPass && mode != kIIR2Peaking) {
    Trace("ComputeIIR2Hz: bogus filter mode=%d\n", mode);
    return;
  }
  const double w = kTwoPi * f;
  const double c = std::cos(w);
  const double alpha = std::sin(w) * std::sinh(1.0 / (2.0 * Q));
  if (mode == kIIR2Peaking) {
    const double A = std::pow(10.0, gainDB * 0.025);
    const double a0 = 1.0 + alpha / A;
    section->b0 = (1.0 + alpha * A) / a0;
    section->b1 = -2.0 * c / a0;
    section->b2 = (1.0 - alpha * A) / a0;
    section->a1 = section->b1;
    section->a2 = (1.0 - alpha / A) / a0;
    return;
  }
  const double a0 = 1.0 + alpha;
  if (mode == kIIR2LowPass) {
    section->b0 = (1.0 - c) / 2.0 / a0;
    section->b1 = (1.0 - c) / a0;
  } else {
    section->b0 = (1.0 + c) / 2.0 / a0;
    section->b1 = -(1.0 + c) / a0;
  }
  section->b2 = section->b0;
  section->a1 = -2.0 * c / a0;
  section->a2 = (1.0 - alpha) / a0;
}

namespace {

// Orders outside 0..16 act as their nearest limit: the record holds eight sections.
int EffectiveOrder(int order) {
  return std::clamp(order, 0, kIIR2MaxOrder);
}

}  // namespace

double ButterworthStageQ(int stage, int order) {
  const double x = 2.0 * std::sin((2 * stage - 1) * kPi / (2.0 * order));
  return 0.5 / std::log(std::sqrt((x / 2) * (x / 2) + 1.0) + x / 2);
}

void UpdateIIR2(IIR2* filter) {
  if (filter->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdateIIR2: Hey.  samplingFrequency=%g not set !\n", filter->samplingFrequency);
  if (filter->modified) {
    const double f = filter->frequency / filter->samplingFrequency;
    if (!filter->useButterworth) {
      ComputeIIR2Hz(&filter->sections[0], f, filter->Q, filter->gainDB, filter->mode);
    } else {
      const int order = EffectiveOrder(filter->order);
      for (int k = 1; k <= order / 2; ++k)
        ComputeIIR2Hz(&filter->sections[k - 1], f, ButterworthStageQ(k, order), filter->gainDB,
                      filter->mode);
    }
  }
  filter->modified = 0;
}

void ResetIIR2(IIR2* filter) {
  for (IIR2State& state : filter->sectionState) state = IIR2State{};
}

void InitIIR2(IIR2* filter) {
  filter->modified = 1;
  UpdateIIR2(filter);
  ResetIIR2(filter);
}

namespace {

// One direct-form-I section in double precision; the output is rounded to float per sample.
void RunSection(const float* in, float* out, int length, const IIR2Section& c, IIR2State* s) {
  const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
  double x1 = s->x1, x2 = s->x2, y1 = s->y1, y2 = s->y2;
  for (int i = 0; i < length; ++i) {
    const double x = in[i];
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    y2 = y1;
    y1 = y;
    x2 = x1;
    x1 = x;
    out[i] = static_cast<float>(y);
  }
  s->x1 = x1;
  s->x2 = x2;
  s->y1 = y1;
  s->y2 = y2;
}

}  // namespace

void ComputeIIR2(const float* in, float* out, int length, IIR2* filter) {
  const int order = EffectiveOrder(filter->order);
  // Order 1 has no whole section: it passes the signal through like order 0.
  if (order < 2 || filter->mode == kIIR2None) {
    ComputeCopy(in, out, length);
    return;
  }
  const int stages = order / 2;
  for (int k = 0; k < stages; ++k) {
    const IIR2Section& coefficients = filter->sections[filter->useButterworth ? k : 0];
    RunSection(k == 0 ? in : out, out, length, coefficients, &filter->sectionState[k]);
  }
}

void ComputeIIR2Section(const float* in, float* out, int length, IIR2* filter) {
  RunSection(in, out, length, filter->sections[0], &filter->sectionState[0]);
}
