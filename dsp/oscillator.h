// Oscillators: control and audio signals generated block by block for the voice effects (delay
// sweeps, ring-modulation carriers, noise). The accumulator waveforms run a 32-bit phase that
// wraps once per period (and seeds the noise); the sine is a recursive oscillator in double
// precision. No trigonometric call per sample.
#pragma once

#include <cstdint>

#include "dsp/conventions.h"

enum OscillatorWaveform : int32_t {
  kTriangle = 0,
  kSawtoothUp = 1,
  kSawtoothDown = 2,
  kSine = 3,
  kSquare = 4,  // named, not generated
  kPulse = 5,   // named, not generated
  kWhiteNoise = 6,
  kRedNoise = 7,
  kVioletNoise = 8,
};

struct Oscillator {
  int32_t waveform = kTriangle;
  float gain = 1.0f;                  // peak value of the output
  float frequency = 1.0f;             // Hz
  double phase = 1.5707963267948966;  // starting phase applied by Reset, radians
  double cosOmega = 0.0;              // derived (sine)
  double sineState[2] = {0.0, 0.0};   // s1, s2 (sine)
  uint32_t phaseIncrement = 0;        // derived (accumulator waveforms)
  uint32_t accumulator = 0;           // phase, and the noise seed
  int32_t modified = 1;
  double samplingFrequency = kSamplingFrequencyNotSet;
};

// "Triangle", "SawtoothUp", ... "VioletNoise"; "Bogus" for other codes.
const char* OscillatorWaveformName(int waveform);

void DefaultOscillator(Oscillator* oscillator);
void SetOscillator(Oscillator* oscillator, float frequency, float gain, int waveform);
void SetOscillator_SamplingFrequency(Oscillator* oscillator, double samplingFrequency);
// Sine: cosOmega; other waveforms: phaseIncrement = (int)(frequency / fs * 2147483647) << 1.
// Does not change `modified`.
void UpdateOscillator(Oscillator* oscillator);
// Restarts at `phase`: the sine's state, or the accumulator (phase / 2 pi of the full turn).
void ResetOscillator(Oscillator* oscillator);
void InitOscillator(Oscillator* oscillator);  // modified, Update, Reset

// Writes length samples of the waveform into out, or adds them with additive set.
// Square, Pulse and unknown codes print "ComputeOscillator: bogus waveform=%d\n" and leave out
// untouched.
void ComputeOscillator(float* out, int length, Oscillator* oscillator, int additive);

// The parameters as text ("\nPrintOscillator %d\nHighLevel: samplingFrequency=%g\n..."), written
// into text (size bytes) and traced unless toStringOnly. Returns text.
const char* PrintOscillator(const Oscillator* oscillator, int toStringOnly, char* text, int size);
