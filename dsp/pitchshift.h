// Pitch shifter: raises or lowers the voice by a number of semitones.
//
// The main method is the two-tap rotating delay: two taps of a delay line sweep through a
// window of `window` seconds, driven by sawtooth ramps half a period apart, so that each reads
// at `ratio` times the write speed; the two are crossfaded with |sin| and |cos| weights so that
// each is silent when it jumps back. A variant feeds the output back through a delay so that
// every echo is shifted again. A cruder method resamples each block by nearest-sample reading.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"
#include "dsp/delay.h"
#include "dsp/oscillator.h"

// The feedback variant's loop gain (feedback times the shifter's largest gain, 0.99 sqrt 2) is
// kept below this, so the loop always dies away.
inline constexpr float kPitchShiftMaxLoopGain = 0.95f;

struct PitchShift {
  Oscillator sweep[2];  // SawtoothUp 0..1 at 1 / window, phases 0 and pi
  float semitones = 0.0f;
  float previousSemitones = 0.0f;
  float window = 0.105f;  // seconds
  IIIR feedbackDelay;     // the feedback variant's delay; h[0] is its feedback gain
  float ratio = 1.0f;     // derived: 2^(semitones / 12)
  float previousRatio = 1.0f;
  IIIR taps[2];  // delay = window, tap gain -0.99, no direct signal
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
  int32_t callCount = 0;  // calls of the resampling method since Reset (for its message)
  // Scratch for one piece of a block: the two ramps, the two tap outputs, the feedback.
  alignas(128) float ramp[2][kSubBlockFrames] = {};
  alignas(128) float tapOut[2][kSubBlockFrames] = {};
  alignas(128) float feedback[kSubBlockFrames] = {};
};

void DefaultPitchShift(PitchShift* shifter);
void SetPitchShift_SamplingFrequency(PitchShift* shifter, double samplingFrequency);
// Stores the shift and sets each tap's delayTimeModulation = (1 - 2^(semitones / 12)) *
// delayTime (negative when shifting up). Update follows.
void SetPitchShift_Semitones(PitchShift* shifter, float semitones);
// The window in seconds: the ramps' period and both taps' delay (the shift is kept). Update
// follows.
void SetPitchShift_Window(PitchShift* shifter, float window);
void UpdatePitchShift(PitchShift* shifter);
void ResetPitchShift(PitchShift* shifter);
void InitPitchShift(PitchShift* shifter);

// The two-tap shifter. in may be out; any length.
void ComputePitchShift(const float* in, float* out, int length, PitchShift* shifter);
// The shifter with the feedback delay: in[i] += (output from the delay's length ago) *
// feedbackDelay.h[0], in place on in, then the shifter, whose output goes into the delay. The
// feedback gain is limited so that the loop gain stays below kPitchShiftMaxLoopGain.
void ComputePitchShiftFeedback(float* in, float* out, int length, PitchShift* shifter);
// Nearest-sample resampling of the block, no state between blocks. out must not be in.
void ComputePitchShiftV1(const float* in, float* out, int length, PitchShift* shifter);
