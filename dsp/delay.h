// Interpolated delay lines: the one record every time-based effect is built from (echo, delay,
// chorus, flanger, reverb, pitch shift, the karaoke stereo generator), the three nested
// all-pass lines of the reverb's diffuser, and the prime-length helpers.
//
// An IIIR record holds a circular memory of 30870 samples (plus one guard sample that the
// interpolating kernels keep equal to line[0]), its delay parameters, a feedback coefficient,
// the tap gains h, a one-pole damping low-pass, an embedded FIR record and an optional
// modulation signal. The kernels read and write the memory in different ways; each takes
// (in, out, length, record[, additive]) and adds to out instead of storing when additive is
// set. in and out may be the same array.
//
// Safety: lengths are limited to the memory (1..30870, 1..22050 for the nested lines) and
// running indices outside the current length restart at 0, so no setting and no length change
// between blocks makes a kernel touch memory outside its record.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"
#include "dsp/fir.h"
#include "dsp/iir.h"

inline constexpr int kIIIRLineLength = 30870;
inline constexpr int kIIIRNestedLineLength = 22050;
inline constexpr int kIIIRNestedStages = 3;

struct IIIR {
  float delayTime = 0.1f;            // seconds
  float delayTimeModulation = 0.0f;  // seconds, depth of the modulated read position
  float feedback = 0.5f;
  // h[0]: gain of the direct input in the interpolated tap; h[1]: feedback coefficient of the
  // combs and gain of the delayed tap, rewritten by every Update from `feedback`.
  float h[3] = {1.0f, 0.5f, 0.0f};
  int32_t counter = 0;  // cleared by Reset
  float line[kIIIRLineLength + 1] = {};
  int32_t lineLength = 0;  // samples; owners that size the line themselves write it directly
  int32_t writeIndex = 0;
  int32_t readIndex2 = 0;  // read-only tap
  int32_t readIndex = 0;   // three-tap comb and reverse delay
  IIR1 damping;            // one-pole low-pass of the damped combs: y = b0 x + a1 y1
  FIR fir;
  float delaySamples = 0.0f;                // derived
  float modulationSamples = 0.0f;           // derived
  float combPosition = 0.0f;                // running index of the comb kernels
  const float* modulationSource = nullptr;  // this block's modulation, one value a sample
  float samplingFrequency = static_cast<float>(kSamplingFrequencyNotSet);
};

void DefaultIIIR(IIIR* record);
void SetIIIR_SamplingFrequency(IIIR* record, double samplingFrequency);
void SetIIIR_DelayAndFeedback(IIIR* record, float delayTime, float feedback);
void SetIIIR_DelayTime(IIIR* record, float delayTime);
// feedback = 10^(-3 delayTime / decayTime): the recirculating signal falls by 60 dB in
// decayTime seconds.
void SetIIIR_FeedbackFromDecay(IIIR* record, float decayTime);
// delayTime = 2^((24 - note) / 12) * 440 * 2 pi / samplingFrequency.
void SetIIIR_MidiNote(IIIR* record, int note);
// h[1] = -0.99 feedback limited to -0.99..0.99; the damping coefficients; UpdateFIR;
// delaySamples, modulationSamples; lineLength from the delay (2..30870); then the modulated
// read is kept inside the line and at least one sample behind the write position.
void UpdateIIIR(IIIR* record);
// Clears the memory, the damping state and the FIR state; indices to 0, readIndex to the
// FIR's bands.
void ResetIIIR(IIIR* record);
void InitIIIR(IIIR* record);  // damping and FIR initialised, Update, Reset

// A delay of lineLength samples: y = line[i]; line[i] = x.
void ComputeDelayLine(const float* in, float* out, int length, IIIR* record, int additive);
// Read only, on readIndex2: y = line[i].
void ComputeDelayTap(float* out, int length, IIIR* record, int additive);
// Write only, on writeIndex: line[i] = x.
void ComputeDelayWrite(const float* in, int length, IIIR* record);
// Writes forwards and reads backwards: y = line[r--]; line[w++] = x.
void ComputeReverseDelay(const float* in, float* out, int length, IIIR* record, int additive);
// Additive: t = h[0] x - h[1] line[i]; y = t; line[i] = t (a feedback comb). Not additive: a
// plain delay, y = line[i]; line[i] = x.
void ComputeCombFeedback(const float* in, float* out, int length, IIIR* record, int additive);
// d = line[i]; f = b0 d + a1 f' (the damping low-pass); y = f; line[i] = x - h[1] f.
void ComputeCombDamped(const float* in, float* out, int length, IIIR* record, int additive);
// The modulated tap without feedback: reads at modulationSamples * mod[i] + delaySamples
// samples behind the write position with linear interpolation; y = h[0] x + h[1] tap. Without
// a modulation source the tap is a fixed delay of delaySamples.
void ComputeIFIR_ModulatedLinearInterpolation(const float* in, float* out, int length, IIIR* record,
                                              int additive);
// The three-tap comb of the stereo generator, over N = the FIR's span with its lowest bit
// cleared (2..30870): y = (x + line[w]) h0 + line[r] h1 with the FIR's first two coefficients.
void ComputeIFIR3_Buffered(const float* in, float* out, int length, IIIR* record, int additive);
// How many samples ago the comb's middle tap (line[r]) was written: N - bands after a reset.
int StereoCombMiddleDelay(const IIIR* record);

// ---- Nested all-pass lines ---------------------------------------------------------------

struct IIIRNested {
  int32_t count = 1;  // stages Update sizes (1..3); processing always runs all three
  float delayTime[kIIIRNestedStages] = {0.1f, 0.1f, 0.1f};
  float feedback[kIIIRNestedStages] = {0.5f, 0.5f, 0.5f};
  float coefficient[kIIIRNestedStages] = {0.5f, 0.5f, 0.5f};  // derived
  float line[kIIIRNestedStages][kIIIRNestedLineLength] = {};
  int32_t lineLength[kIIIRNestedStages] = {0, 0, 0};  // derived
  int32_t index[kIIIRNestedStages] = {0, 0, 0};
  float samplingFrequency = static_cast<float>(kSamplingFrequencyNotSet);
};

void DefaultIIIRNested(IIIRNested* record);
void SetIIIRNested_SamplingFrequency(IIIRNested* record, double samplingFrequency);
// Stage k (0..2): delay in seconds and feedback.
void SetIIIRNested_Stage(IIIRNested* record, int stage, float delayTime, float feedback);
// For the first `count` stages: coefficient = feedback, lineLength = the prime nearest the
// delay in samples (2..22050).
void UpdateIIIRNested(IIIRNested* record);
void ResetIIIRNested(IIIRNested* record);
void ComputeIIIRNested(const float* in, float* out, int length, IIIRNested* record);

// ---- Prime lengths -----------------------------------------------------------------------

int SecondsToSamples(double seconds, double samplingFrequency);  // integer part of t fs + 0.5
double SamplesToSeconds(int samples, double samplingFrequency);  // -1.0 when n < 0 or fs <= 0
bool IsPrime(int x);
// The largest prime p <= n with p >= low (low raised to 2); low when there is none.
int PrimeBelow(int n, int low);
// The smallest prime >= n (n raised to 2) up to high; high when n > high or there is none.
int PrimeAbove(int n, int high);
// n when it is prime, otherwise the nearer of PrimeAbove and PrimeBelow, the one above on a
// tie; the result always lies within low..high (when low <= high).
int NearestPrime(int n, int low, int high);
