#include "dsp/oscillator.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "diagnostics/diagnostics.h"

namespace {

constexpr double kTwoToMinus30 = 9.313225754828403e-10;
constexpr double kTwoToMinus31 = 4.656612875245797e-10;
constexpr double kTwoToMinus32 = 2.3283064370807974e-10;

// The low 32 bits of the integer part of x (0 for values no integer type holds).
uint32_t Low32(double x) {
  if (!(x > -9.2e18 && x < 9.2e18)) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(x)));
}

inline float Put(float previous, double y, int additive) {
  return static_cast<float>(additive ? previous + y : y);
}

}  // namespace

const char* OscillatorWaveformName(int waveform) {
  static const char* const kNames[] = {"Triangle",   "SawtoothUp", "SawtoothDown",
                                       "Sine",       "Square",     "Pulse",
                                       "WhiteNoise", "RedNoise",   "VioletNoise"};
  return waveform >= 0 && waveform <= kVioletNoise ? kNames[waveform] : "Bogus";
}

void DefaultOscillator(Oscillator* oscillator) {
  oscillator->waveform = kTriangle;
  oscillator->gain = 1.0f;
  oscillator->frequency = 1.0f;
  oscillator->phase = 1.5707963267948966;
  oscillator->modified = 1;
  oscillator->samplingFrequency = kSamplingFrequencyNotSet;
}

void SetOscillator(Oscillator* oscillator, float frequency, float gain, int waveform) {
  oscillator->frequency = frequency;
  oscillator->gain = gain;
  oscillator->waveform = waveform;
}

void SetOscillator_SamplingFrequency(Oscillator* oscillator, double samplingFrequency) {
  oscillator->modified = samplingFrequency != oscillator->samplingFrequency;
  oscillator->samplingFrequency = samplingFrequency;
}

void UpdateOscillator(Oscillator* oscillator) {
  if (oscillator->samplingFrequency == kSamplingFrequencyNotSet)
    Trace("UpdateOscillator: Hey.  samplingFrequency=%g not set !\n",
          oscillator->samplingFrequency);
  const double ratio = oscillator->frequency / oscillator->samplingFrequency;
  if (oscillator->waveform == kSine) {
    oscillator->cosOmega = std::cos(ratio * kTwoPi);
  } else {
    // Twice the 31-bit step: a full turn of the 32-bit accumulator is one period.
    oscillator->phaseIncrement = Low32(ratio * 2147483647.0) << 1;
  }
}

void ResetOscillator(Oscillator* oscillator) {
  if (oscillator->waveform == kSine) {
    const double c = oscillator->cosOmega;
    const double k = 1.0 + c > 0.0 ? std::sqrt((1.0 - c) / (1.0 + c)) : 0.0;
    oscillator->sineState[0] = std::sin(oscillator->phase) * k;
    oscillator->sineState[1] = -std::cos(oscillator->phase);
  } else {
    oscillator->accumulator = Low32(4294967295.0 * oscillator->phase / kTwoPi + 0.5);
  }
}

void InitOscillator(Oscillator* oscillator) {
  oscillator->modified = 1;
  UpdateOscillator(oscillator);
  ResetOscillator(oscillator);
}

void ComputeOscillator(float* out, int length, Oscillator* oscillator, int additive) {
  uint32_t a = oscillator->accumulator;
  const uint32_t step = oscillator->phaseIncrement;
  const double g = oscillator->gain;
  switch (oscillator->waveform) {
    case kTriangle:
      for (int i = 0; i < length; ++i) {
        uint32_t p = a;
        a += step;
        if (p > 0x7FFFFFFFu) p = 0xFFFFFFFEu - p;
        const int32_t centred = static_cast<int32_t>(p - 0x3FFFFFFFu);
        out[i] = Put(out[i], centred * g * kTwoToMinus30, additive);
      }
      break;
    case kSawtoothUp:
      if (additive) Trace("add in osc_sine - not optimized");
      for (int i = 0; i < length; ++i) {
        out[i] = Put(out[i], a * g * kTwoToMinus32, additive);
        a += step;
      }
      break;
    case kSawtoothDown:
      for (int i = 0; i < length; ++i) {
        out[i] = Put(out[i], static_cast<uint32_t>(~a) * g * kTwoToMinus32, additive);
        a += step;
      }
      break;
    case kSine: {
      double s1 = oscillator->sineState[0], s2 = oscillator->sineState[1];
      const double c = oscillator->cosOmega;
      for (int i = 0; i < length; ++i) {
        out[i] = Put(out[i], s2 * g, additive);
        const double t = (s1 + s2) * c;
        const double previous = s1;
        s1 = t - s2;
        s2 = previous + t;
      }
      oscillator->sineState[0] = s1;
      oscillator->sineState[1] = s2;
      return;
    }
    case kWhiteNoise:
      for (int i = 0; i < length; ++i) {
        a = a * 1103515245u + 12345u;
        out[i] = Put(out[i], a * g * kTwoToMinus31, additive);
      }
      break;
    case kRedNoise:
    case kVioletNoise: {
      const double sign = oscillator->waveform == kRedNoise ? 1.0 : -1.0;
      for (int i = 0; i < length; ++i) {
        const int32_t previous = static_cast<int32_t>(a) >> 1;
        a = a * 1103515245u + 12345u;
        const int32_t next = static_cast<int32_t>(a) >> 1;
        out[i] = Put(out[i], (previous + sign * next) * g * kTwoToMinus31, additive);
      }
      break;
    }
    default:
      Trace("ComputeOscillator: bogus waveform=%d\n", oscillator->waveform);
      return;
  }
  oscillator->accumulator = a;
}

const char* PrintOscillator(const Oscillator* oscillator, int toStringOnly, char* text, int size) {
  if (!text || size <= 0) return text;
  // The record's identity: its address, as the number of the heading.
  const int identity = static_cast<int>(reinterpret_cast<uintptr_t>(oscillator) & 0x7FFFFFFF);
  std::snprintf(text, static_cast<size_t>(size),
                "\nPrintOscillator %d\nHighLevel: samplingFrequency=%g\ngain=%g frequency=%g "
                "phase=%g waveform='%s'\n",
                identity, oscillator->samplingFrequency, oscillator->gain, oscillator->frequency,
                oscillator->phase, OscillatorWaveformName(oscillator->waveform));
  if (!toStringOnly) Trace("%s", text);
  return text;
}
