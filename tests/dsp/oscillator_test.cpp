#include "dsp/oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/trace_capture.h"

namespace {

constexpr double kRate = 44100.0;

Oscillator Make(int waveform, float frequency, float gain = 1.0f) {
  Oscillator osc;
  DefaultOscillator(&osc);
  SetOscillator(&osc, frequency, gain, waveform);
  SetOscillator_SamplingFrequency(&osc, kRate);
  InitOscillator(&osc);
  return osc;
}

std::vector<float> Generate(Oscillator* osc, int n) {
  std::vector<float> out(n, 0.0f);
  for (int pos = 0; pos < n; pos += 256)
    ComputeOscillator(out.data() + pos, std::min(256, n - pos), osc, 0);
  return out;
}

TEST(OscillatorUpdate, UnsetRateIsReported) {
  TraceCapture trace;
  Oscillator unset;
  DefaultOscillator(&unset);
  UpdateOscillator(&unset);
  EXPECT_EQ(trace.Text(), "UpdateOscillator: Hey.  samplingFrequency=-1 not set !\n");
}

TEST(OscillatorWaveforms, TriangleStartsAtZeroRisesAndSpansTheGain) {
  Oscillator osc = Make(kTriangle, 441.0f, 2.0f);  // 100 samples a period
  const std::vector<float> y = Generate(&osc, 1000);
  EXPECT_NEAR(y[0], 0.0f, 1e-6);
  EXPECT_GT(y[1], y[0]);
  EXPECT_NEAR(y[25], 2.0f, 0.01f);
  EXPECT_NEAR(y[75], -2.0f, 0.01f);
  for (float x : y) EXPECT_LE(std::fabs(x), 2.0f + 1e-6f);
}

TEST(OscillatorWaveforms, SawtoothsRiseAndFallOncePerPeriod) {
  Oscillator up = Make(kSawtoothUp, 441.0f, 1.0f);
  up.phase = 0.0;
  ResetOscillator(&up);
  const std::vector<float> rise = Generate(&up, 200);
  EXPECT_EQ(rise[0], 0.0f);
  EXPECT_NEAR(rise[50], 0.5f, 0.01f);
  EXPECT_NEAR(rise[99], 0.99f, 0.01f);
  // The increment is (int)(f / fs * (2^31 - 1)) << 1, a hair short of 2^32 / 100: the wrap
  // comes one sample late.
  EXPECT_NEAR(rise[101], 0.01f, 0.01f);
  Oscillator down = Make(kSawtoothDown, 441.0f, 1.0f);
  down.phase = 0.0;
  ResetOscillator(&down);
  const std::vector<float> fall = Generate(&down, 200);
  EXPECT_NEAR(fall[0], 1.0f, 1e-6);
  EXPECT_NEAR(fall[50], 0.5f, 0.01f);
  for (int i = 1; i < 100; ++i) EXPECT_LT(fall[i], fall[i - 1]);
}

TEST(OscillatorWaveforms, SineStartsAtZeroAndRises) {
  Oscillator osc = Make(kSine, 1000.0f, 3.0f);
  const std::vector<float> y = Generate(&osc, 44100);
  for (int i = 0; i < 44100; i += 37)
    ASSERT_NEAR(y[i], 3.0 * std::sin(kTwoPi * 1000.0 * i / kRate), 1e-4) << i;
  // Additive: adds the same wave onto what is there.
  Oscillator again = Make(kSine, 1000.0f, 3.0f);
  std::vector<float> sum(256, 1.0f);
  ComputeOscillator(sum.data(), 256, &again, 1);
  for (int i = 0; i < 256; ++i) EXPECT_NEAR(sum[i], 1.0f + y[i], 1e-5);
}

TEST(OscillatorWaveforms, NoiseRangesAndSeeds) {
  Oscillator white = Make(kWhiteNoise, 0.0f), red = Make(kRedNoise, 0.0f),
             violet = Make(kVioletNoise, 0.0f), twin = Make(kRedNoise, 0.0f);
  const std::vector<float> w = Generate(&white, 50000), r = Generate(&red, 50000),
                           v = Generate(&violet, 50000), t = Generate(&twin, 50000);
  double rSum = 0.0, vSum = 0.0, wMin = 1.0, wMax = 0.0;
  for (int i = 0; i < 50000; ++i) {
    wMin = std::min<double>(wMin, w[i]);
    wMax = std::max<double>(wMax, w[i]);
    rSum += r[i];
    vSum += v[i];
    ASSERT_LE(std::fabs(r[i]), 1.0f + 1e-6f);
  }
  EXPECT_GE(wMin, 0.0);
  EXPECT_GT(wMax, 1.9);
  EXPECT_NEAR(rSum / 50000, 0.0, 0.02);
  EXPECT_NEAR(vSum / 50000, 0.0, 0.02);
  EXPECT_EQ(r, t);  // same phase, same seed, same noise
  EXPECT_NE(r, v);
}

TEST(OscillatorWaveforms, UngeneratedShapesWriteNothing) {
  TraceCapture trace;
  Oscillator square = Make(kSquare, 100.0f);
  std::vector<float> out(64, 7.0f);
  ComputeOscillator(out.data(), 64, &square, 0);
  for (float x : out) EXPECT_EQ(x, 7.0f);
  EXPECT_EQ(trace.Text(), "ComputeOscillator: bogus waveform=4\n");
  for (auto [waveform, name] :
       {std::pair{int{kVioletNoise}, "VioletNoise"}, std::pair{int{kPulse}, "Pulse"},
        std::pair{9, "Bogus"}, std::pair{-1, "Bogus"}})
    EXPECT_STREQ(OscillatorWaveformName(waveform), name);
}

TEST(OscillatorPrint, FormatsTheParameters) {
  Oscillator osc = Make(kSawtoothUp, 9.5f, 0.5f);
  char text[256];
  TraceCapture trace;
  PrintOscillator(&osc, 1, text, sizeof text);
  EXPECT_EQ(trace.Text(), "");
  const std::string s = text;
  EXPECT_EQ(s.rfind("\nPrintOscillator ", 0), 0u);
  EXPECT_NE(s.find("\nHighLevel: samplingFrequency=44100\ngain=0.5 frequency=9.5 phase=1.5708 "
                   "waveform='SawtoothUp'\n"),
            std::string::npos);
  PrintOscillator(&osc, 0, text, sizeof text);
  EXPECT_EQ(trace.Text(), s);
}

}  // namespace
