// Measurements on generated signals for the DSP tests: tones, pitch, power spectra, decay
// times and levels.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "dsp/conventions.h"

namespace measure {

inline constexpr double kRate = 44100.0;

inline std::vector<float> Tone(double frequency, double amplitude, int n) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i)
    v[i] = static_cast<float>(amplitude * std::sin(kTwoPi * frequency * i / kRate));
  return v;
}

// Uniform noise in [-amplitude, amplitude], the same for the same seed.
inline std::vector<float> Noise(int n, float amplitude, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
  std::vector<float> v(n);
  for (float& x : v) x = uniform(random);
  return v;
}

// The pitch of x[from, from + count): the median over frames of 2048 samples of the lag that
// maximises the normalised autocorrelation between kRate / high and kRate / low (low and high
// less than an octave apart), refined by a parabola through the peak.
inline double Pitch(const std::vector<float>& x, int from, int count, double low, double high) {
  const int frame = 2048;
  const int shortest = static_cast<int>(kRate / high), longest = static_cast<int>(kRate / low) + 1;
  std::vector<double> pitches;
  for (int start = from; start + frame + longest <= from + count; start += frame / 2) {
    std::vector<double> r(longest + 2, 0.0);
    for (int lag = shortest - 1; lag <= longest + 1; ++lag) {
      double xy = 0.0, xx = 0.0, yy = 0.0;
      for (int i = start; i < start + frame; ++i) {
        xy += double{x[i]} * x[i + lag];
        xx += double{x[i]} * x[i];
        yy += double{x[i + lag]} * x[i + lag];
      }
      r[lag] = xy / std::sqrt(xx * yy + 1e-30);
    }
    int best = shortest;
    for (int lag = shortest; lag <= longest; ++lag)
      if (r[lag] > r[best]) best = lag;
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double denominator = a - 2.0 * b + c;
    const double offset = denominator != 0.0 ? 0.5 * (a - c) / denominator : 0.0;
    pitches.push_back(kRate / (best + offset));
  }
  if (pitches.empty()) return 0.0;
  std::nth_element(pitches.begin(), pitches.begin() + pitches.size() / 2, pitches.end());
  return pitches[pitches.size() / 2];
}

// In-place radix-2 FFT; the size is a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -kTwoPi / len);
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk = 1.0;
      for (size_t k = 0; k < len / 2; ++k, wk *= w) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Averaged power spectrum of x (Hann windows of `size` samples, half overlapping): size / 2 + 1
// bins of kRate / size Hz.
inline std::vector<double> PowerSpectrum(const std::vector<float>& x, int size) {
  std::vector<double> power(size / 2 + 1, 0.0);
  std::vector<std::complex<double>> a(size);
  for (size_t start = 0; start + size <= x.size(); start += size / 2) {
    for (int i = 0; i < size; ++i) a[i] = x[start + i] * (0.5 - 0.5 * std::cos(kTwoPi * i / size));
    Fft(a);
    for (int k = 0; k <= size / 2; ++k) power[k] += std::norm(a[k]);
  }
  return power;
}

// Seconds until the backward-integrated energy of an impulse response has fallen by `dB`.
inline double DecayTime(const std::vector<float>& h, double dB) {
  std::vector<double> tail(h.size() + 1, 0.0);
  for (size_t i = h.size(); i-- > 0;) tail[i] = tail[i + 1] + double{h[i]} * h[i];
  const double limit = tail[0] * std::pow(10.0, -dB / 10.0);
  for (size_t i = 0; i < h.size(); ++i)
    if (tail[i] <= limit) return i / kRate;
  return h.size() / kRate;
}

inline double Rms(const std::vector<float>& x, size_t from, size_t to) {
  double e = 0.0;
  for (size_t i = from; i < to; ++i) e += double{x[i]} * x[i];
  return std::sqrt(e / static_cast<double>(to - from));
}

}  // namespace measure
