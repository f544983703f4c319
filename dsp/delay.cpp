#include "dsp/delay.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "diagnostics/diagnostics.h"

namespace {

// The line length the kernels use: lineLength limited to the memory.
inline int Span(const IIIR* record) {
  return std::clamp(record->lineLength, 1, kIIIRLineLength);
}

// A running index that no longer lies inside the line (the length changed) restarts at 0.
inline int Inside(int index, int n) {
  return index >= 0 && index < n ? index : 0;
}

inline float Store(float previous, double y, int additive) {
  return static_cast<float>(additive ? previous + y : y);
}

inline bool NotSet(float samplingFrequency) {
  return samplingFrequency == static_cast<float>(kSamplingFrequencyNotSet);
}

}  // namespace

// ---- IIIR --------------------------------------------------------------------------------

void DefaultIIIR(IIIR* record) {
  record->delayTime = 0.1f;
  record->delayTimeModulation = 0.0f;
  record->feedback = 0.5f;
  record->h[0] = 1.0f;
  record->h[1] = 0.5f;
  record->h[2] = 0.0f;
  record->lineLength = 0;
  record->modulationSource = nullptr;
  record->samplingFrequency = static_cast<float>(kSamplingFrequencyNotSet);
  DefaultIIR1(&record->damping);
  DefaultFIR(&record->fir);
}

void SetIIIR_SamplingFrequency(IIIR* record, double samplingFrequency) {
  SetIIR1_SamplingFrequency(&record->damping, samplingFrequency);
  SetFIR_SamplingFrequency(&record->fir, samplingFrequency);
  record->samplingFrequency = static_cast<float>(samplingFrequency);
}

void SetIIIR_DelayAndFeedback(IIIR* record, float delayTime, float feedback) {
  record->delayTime = delayTime;
  record->feedback = feedback;
}

void SetIIIR_DelayTime(IIIR* record, float delayTime) {
  record->delayTime = delayTime;
}

void SetIIIR_FeedbackFromDecay(IIIR* record, float decayTime) {
  record->feedback = std::pow(10.0f, -3.0f * record->delayTime / decayTime);
}

void SetIIIR_MidiNote(IIIR* record, int note) {
  const double semitones = static_cast<double>(24 - note) * 0.083333336f;
  record->delayTime =
      static_cast<float>(std::pow(2.0, semitones) * 440.0 * kTwoPi / record->samplingFrequency);
}

void UpdateIIIR(IIIR* record) {
  float c = -0.99f * record->feedback;
  if (!(c >= -0.99f)) c = -0.99f;  // NaN too
  if (c > 0.99f) c = 0.99f;
  record->h[1] = c;
  if (NotSet(record->samplingFrequency))
    Trace("UpdateIIIR: Hey.  samplingFrequency=%g not set !\n", record->samplingFrequency);

  IIR1& damping = record->damping;
  const double p = std::exp(-kTwoPi * damping.frequency / damping.samplingFrequency);
  damping.b0 = 1.0 - p;
  damping.a1 = p;
  UpdateFIR(&record->fir);

  const float fs = record->samplingFrequency;
  float d = record->delayTime * fs;
  const float m = record->delayTimeModulation * fs;
  record->modulationSamples = m;
  // The line holds at most kIIIRLineLength samples; longer delays are cut to it.
  const double rounded = static_cast<double>(d) + 0.5;
  int length = 2;
  if (rounded >= kIIIRLineLength)
    length = kIIIRLineLength;
  else if (rounded >= 2.0)
    length = static_cast<int>(rounded);
  record->lineLength = length;
  const float top = static_cast<float>(length - 1);
  // The modulated read moves between d - m and d + m samples behind the write position; it
  // must stay inside the line and at least one sample behind the sample being written.
  if (d + m > top)
    d = top - m;
  else if (d - m < 1.0f)
    d = m + 1.0f;
  record->delaySamples = d;
}

void ResetIIIR(IIIR* record) {
  ResetIIR1(&record->damping);
  ResetFIR(&record->fir);
  record->readIndex = record->fir.bands;
  std::fill(std::begin(record->line), std::end(record->line), 0.0f);
  record->counter = 0;
  record->combPosition = 0.0f;
  record->writeIndex = 0;
  record->readIndex2 = 0;
}

void InitIIIR(IIIR* record) {
  InitIIR1(&record->damping);
  InitFIR(&record->fir);
  UpdateIIIR(record);
  ResetIIIR(record);
}

// ---- IIIR kernels ------------------------------------------------------------------------

void ComputeDelayLine(const float* in, float* out, int length, IIIR* record, int additive) {
  const int n = Span(record);
  int i = Inside(record->writeIndex, n);
  float* line = record->line;
  for (int k = 0; k < length; ++k) {
    const float x = in[k];
    const float y = line[i];
    line[i] = x;
    if (++i == n) i = 0;
    out[k] = Store(out[k], y, additive);
  }
  record->writeIndex = i;
}

void ComputeDelayTap(float* out, int length, IIIR* record, int additive) {
  const int n = Span(record);
  int i = Inside(record->readIndex2, n);
  const float* line = record->line;
  for (int k = 0; k < length; ++k) {
    out[k] = Store(out[k], line[i], additive);
    if (++i == n) i = 0;
  }
  record->readIndex2 = i;
}

void ComputeDelayWrite(const float* in, int length, IIIR* record) {
  const int n = Span(record);
  int i = Inside(record->writeIndex, n);
  float* line = record->line;
  for (int k = 0; k < length; ++k) {
    line[i] = in[k];
    if (++i == n) i = 0;
  }
  record->writeIndex = i;
}

void ComputeReverseDelay(const float* in, float* out, int length, IIIR* record, int additive) {
  const int n = Span(record);
  int w = Inside(record->writeIndex, n);
  int r = Inside(record->readIndex, n);
  float* line = record->line;
  for (int k = 0; k < length; ++k) {
    const float x = in[k];
    const float y = line[r];
    r = r == 0 ? n - 1 : r - 1;
    line[w] = x;
    if (++w == n) w = 0;
    out[k] = Store(out[k], y, additive);
  }
  record->writeIndex = w;
  record->readIndex = r;
}

namespace {

// The comb kernels keep their index in combPosition, a float; it is read truncated.
inline int CombIndex(const IIIR* record, int n) {
  const float position = record->combPosition;
  return position >= 0.0f && position < static_cast<float>(n) ? static_cast<int>(position) : 0;
}

}  // namespace

void ComputeCombFeedback(const float* in, float* out, int length, IIIR* record, int additive) {
  const int n = Span(record);
  int i = CombIndex(record, n);
  float* line = record->line;
  if (additive) {
    const double h0 = record->h[0], h1 = record->h[1];
    for (int k = 0; k < length; ++k) {
      const float t = static_cast<float>(h0 * in[k] - h1 * line[i]);
      line[i] = t;
      if (++i == n) i = 0;
      out[k] = static_cast<float>(static_cast<double>(out[k]) + t);
    }
  } else {
    for (int k = 0; k < length; ++k) {
      const float x = in[k];
      out[k] = line[i];
      line[i] = x;
      if (++i == n) i = 0;
    }
  }
  record->combPosition = static_cast<float>(i);
}

void ComputeCombDamped(const float* in, float* out, int length, IIIR* record, int additive) {
  const int n = Span(record);
  int i = CombIndex(record, n);
  float* line = record->line;
  const double b0 = record->damping.b0, a1 = record->damping.a1, h1 = record->h[1];
  double f = record->damping.y1;
  for (int k = 0; k < length; ++k) {
    const float x = in[k];
    f = b0 * line[i] + a1 * f;
    line[i] = static_cast<float>(x - h1 * f);
    if (++i == n) i = 0;
    out[k] = Store(out[k], f, additive);
  }
  record->damping.y1 = f;
  record->combPosition = static_cast<float>(i);
}

void ComputeIFIR_ModulatedLinearInterpolation(const float* in, float* out, int length, IIIR* record,
                                              int additive) {
  if (additive) Trace("addToOutput in ComputeIFIR_ModulatedLinearInterpolation; asm untested!\n");
  const int n = Span(record);
  const double nf = n;
  int w = Inside(record->writeIndex, n);
  float* line = record->line;
  const float* mod = record->modulationSource;
  const double d = record->delaySamples, m = record->modulationSamples;
  const double h0 = record->h[0], h1 = record->h[1];
  for (int k = 0; k < length; ++k) {
    const float x = in[k];
    double pos = w - (mod ? m * mod[k] + d : d);
    if (pos < 0.0)
      pos += nf;
    else if (pos >= nf)
      pos -= nf;
    // A modulation beyond the line's reach (or not a number) reads the oldest sample.
    if (!(pos >= 0.0 && pos < nf)) pos = w;
    const int i = static_cast<int>(pos);
    const double f = pos - i;
    const double tap = line[i] + (static_cast<double>(line[i + 1]) - line[i]) * f;
    line[w] = x;
    if (w == 0) line[n] = x;
    if (++w == n) w = 0;
    out[k] = Store(out[k], h0 * x + h1 * tap, additive);
  }
  record->writeIndex = w;
}

namespace {

// The comb's length: the span with its lowest bit cleared, within the memory.
inline int CombLength(const IIIR* record) {
  const int span = std::clamp(record->fir.span, 2, kIIIRLineLength);
  return span & ~1;
}

}  // namespace

void ComputeIFIR3_Buffered(const float* in, float* out, int length, IIIR* record, int additive) {
  const int n = CombLength(record);
  int w = record->writeIndex, r = record->readIndex;
  float* line = record->line;
  const double h0 = record->fir.coefficients[0], h1 = record->fir.coefficients[1];
  for (int k = 0; k < length; ++k) {
    if (w >= n || w < 0) w = 0;
    if (r >= n || r < 0) r = 0;
    const float x = in[k];
    const double y = (static_cast<double>(x) + line[w]) * h0 + line[r] * h1;
    line[w] = x;
    ++w;
    ++r;
    out[k] = Store(out[k], y, additive);
  }
  record->writeIndex = w;
  record->readIndex = r;
}

int StereoCombMiddleDelay(const IIIR* record) {
  const int n = CombLength(record);
  const int w = record->writeIndex >= 0 && record->writeIndex < n ? record->writeIndex : 0;
  const int r = record->readIndex >= 0 && record->readIndex < n ? record->readIndex : 0;
  const int delay = ((w - r) % n + n) % n;
  return delay == 0 ? n : delay;
}

// ---- IIIRNested --------------------------------------------------------------------------

void DefaultIIIRNested(IIIRNested* record) {
  record->count = 1;
  for (int k = 0; k < kIIIRNestedStages; ++k) {
    record->delayTime[k] = 0.1f;
    record->feedback[k] = 0.5f;
    record->coefficient[k] = 0.5f;
    record->lineLength[k] = 0;
  }
  record->samplingFrequency = static_cast<float>(kSamplingFrequencyNotSet);
}

void SetIIIRNested_SamplingFrequency(IIIRNested* record, double samplingFrequency) {
  record->samplingFrequency = static_cast<float>(samplingFrequency);
}

void SetIIIRNested_Stage(IIIRNested* record, int stage, float delayTime, float feedback) {
  if (stage < 0 || stage >= kIIIRNestedStages) return;
  record->delayTime[stage] = delayTime;
  record->feedback[stage] = feedback;
}

void UpdateIIIRNested(IIIRNested* record) {
  if (NotSet(record->samplingFrequency))
    Trace("UpdateIIIRNested: Hey.  samplingFrequency=%g not set !\n", record->samplingFrequency);
  const int count = std::clamp(record->count, 1, kIIIRNestedStages);
  for (int k = 0; k < count; ++k) {
    record->coefficient[k] = record->feedback[k];
    record->lineLength[k] =
        NearestPrime(SecondsToSamples(record->delayTime[k], record->samplingFrequency), 2,
                     kIIIRNestedLineLength);
  }
}

void ResetIIIRNested(IIIRNested* record) {
  for (auto& line : record->line) std::fill(std::begin(line), std::end(line), 0.0f);
  for (int& index : record->index) index = 0;
}

void ComputeIIIRNested(const float* in, float* out, int length, IIIRNested* record) {
  int n[kIIIRNestedStages], i[kIIIRNestedStages];
  for (int k = 0; k < kIIIRNestedStages; ++k) {
    n[k] = std::clamp(record->lineLength[k], 1, kIIIRNestedLineLength);
    i[k] = record->index[k] >= 0 && record->index[k] < n[k] ? record->index[k] : 0;
  }
  float* line1 = record->line[0];
  float* line2 = record->line[1];
  float* line3 = record->line[2];
  const double g1 = record->coefficient[0], g2 = record->coefficient[1],
               g3 = record->coefficient[2];
  for (int s = 0; s < length; ++s) {
    const double x = in[s];
    const double d1 = line1[i[0]], d2 = line2[i[1]], d3 = line3[i[2]];
    const double t3 = d3 - d2 * g3;
    const double t2 = t3 - d1 * g2;
    const double y = t2 - x * g1;
    line3[i[2]] = static_cast<float>(t3 * g3 + d2);
    line1[i[0]] = static_cast<float>(y * g1 + x);
    line2[i[1]] = static_cast<float>(t2 * g2 + d1);
    for (int k = 0; k < kIIIRNestedStages; ++k)
      if (++i[k] == n[k]) i[k] = 0;
    out[s] = static_cast<float>(y);
  }
  for (int k = 0; k < kIIIRNestedStages; ++k) record->index[k] = i[k];
}

// ---- Prime lengths -----------------------------------------------------------------------

int SecondsToSamples(double seconds, double samplingFrequency) {
  const double samples = seconds * samplingFrequency + 0.5;
  if (!(samples > INT_MIN / 2)) return samples != samples ? 0 : INT_MIN / 2;
  if (samples >= INT_MAX / 2) return INT_MAX / 2;
  return static_cast<int>(samples);
}

double SamplesToSeconds(int samples, double samplingFrequency) {
  if (samples < 0 || samplingFrequency <= 0.0) return -1.0;
  return samples / samplingFrequency;
}

bool IsPrime(int x) {
  if (x < 2) return false;
  if (x % 2 == 0) return x == 2;
  for (int d = 3; d <= x / d; d += 2)
    if (x % d == 0) return false;
  return true;
}

int PrimeBelow(int n, int low) {
  if (n < 2) return 2;
  low = std::max(low, 2);
  if (n < low) return low;
  for (int p = n; p >= low; --p)
    if (IsPrime(p)) return p;
  return low;
}

int PrimeAbove(int n, int high) {
  n = std::max(n, 2);
  if (high < 2) return 2;
  if (n > high) return high;
  for (int p = n; p <= high; ++p) {
    if (IsPrime(p)) return p;
    if (p == INT_MAX) break;
  }
  return high;
}

int NearestPrime(int n, int low, int high) {
  int result;
  if (IsPrime(n)) {
    result = n;
  } else {
    const int above = PrimeAbove(n, high);
    const int below = PrimeBelow(n, low);
    const long long toAbove = std::llabs(static_cast<long long>(above) - n);
    const long long toBelow = std::llabs(static_cast<long long>(n) - below);
    result = toAbove <= toBelow ? above : below;
  }
  // Callers size memories with the result: keep it inside their limits.
  if (low <= high) result = std::clamp(result, low, high);
  return result;
}
