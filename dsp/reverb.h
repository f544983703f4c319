// Reverb: gives the voice a room. A second-order low-pass input filter (whose gain carries the
// wet level, one sixth per comb), a diffuser of three nested all-pass delays, then six parallel
// damped feedback combs per output channel with prime line lengths; the dry input is added at
// the end. Every comb recirculates with the feedback of the base comb delay, so the longest
// comb sets the tail.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"
#include "dsp/delay.h"
#include "dsp/iir.h"

inline constexpr int kReverbCombs = 6;
// Comb delays relative to combDelay (the float constants).
inline constexpr float kReverbCombRatios[kReverbCombs] = {1.0f,  1.12f,      1.22f,
                                                          1.36f, 1.4399999f, 1.5600001f};
// The comb feedback stays below 1 whatever the decay time (a negative or absurd decay would
// otherwise make the combs grow without end).
inline constexpr float kReverbMaxFeedback = 0.9999f;

struct Reverb {
  float dry = 0.5f;          // level of the dry input added to each output
  float wet = 0.5f;          // level of the reverberated signal
  float mixPercent = 50.0f;  // what a mix setter derives dry and wet from
  float decayTime = 2.0f;    // seconds to fall by 60 dB
  float combDelay = 0.05f;   // seconds, the base comb delay
  IIR2 inputFilter;          // low-pass, 7000 Hz, order 2
  int32_t combCount = kReverbCombs;
  IIIR combs[2][kReverbCombs];  // per output channel
  IIIRNested diffuser;          // three stages
  int32_t bufferLength = kSubBlockFrames;
  alignas(128) float buffers[3][kSubBlockFrames] = {};  // scratch; the first is used
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
};

void DefaultReverb(Reverb* reverb);
void SetReverb_SamplingFrequency(Reverb* reverb, double samplingFrequency);
void SetReverb_Wet(Reverb* reverb, float wet);
void SetReverb_Dry(Reverb* reverb, float dry);
// Stores combDelay and sets the six comb delays of both channels by the ratio table.
void SetReverb_CombDelay(Reverb* reverb, float combDelay);
// Stores decayTime and sets every comb's feedback h[1] = 10^(-3 combDelay / decayTime) at once.
void SetReverb_DecayTime(Reverb* reverb, float decayTime);
// Damping low-pass frequency of every comb.
void SetReverb_DampingFrequency(Reverb* reverb, double frequency);
// Input filter (numerator scaled by wet / 6), comb feedback and damping, prime comb lengths
// (2..30870), the diffuser.
void UpdateReverb(Reverb* reverb);
void ResetReverb(Reverb* reverb);
void InitReverb(Reverb* reverb);  // Update, then Reset

// in to out[0] and out[1] (added with additive set), in pieces of at most bufferLength samples.
// in must not be one of the outputs: the dry input is added last.
void ComputeReverb(const float* in, float* const out[2], int length, Reverb* reverb, int additive);
// One damped comb of the reverb: d = line[i]; f = a1 f' + b0 d; line[i] = x - h[1] f; y = d.
void ComputeCombReverb(const float* in, float* out, int length, IIIR* comb, int additive);
