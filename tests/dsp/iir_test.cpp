#include "dsp/iir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "tests/dsp/signal_measure.h"
#include "tests/support/trace_capture.h"

namespace {

using measure::kRate;

// Gain in dB of a block processor on a sine of the given frequency: two seconds in 256-sample
// blocks, measured over the last half second (a whole number of periods for the frequencies
// used) once the filter has settled.
double GainDb(const std::function<void(float*, int)>& process, double frequency) {
  const int n = 2 * static_cast<int>(kRate);
  const std::vector<float> signal = measure::Tone(frequency, 10000.0, n);
  std::vector<float> out = signal;
  for (int start = 0; start < n; start += 256)
    process(out.data() + start, std::min(256, n - start));
  double in2 = 0.0, out2 = 0.0;
  for (int i = n - n / 4; i < n; ++i) {
    in2 += double{signal[i]} * signal[i];
    out2 += double{out[i]} * out[i];
  }
  return 10.0 * std::log10(out2 / in2);
}

IIR2 MakeIIR2(double frequency, double Q, double gainDB, int mode, int order) {
  IIR2 filter;
  SetIIR2(&filter, frequency, Q, gainDB, mode);
  SetIIR2_Order(&filter, order);
  SetIIR2_SamplingFrequency(&filter, kRate);
  InitIIR2(&filter);
  return filter;
}

std::vector<float> RandomSignal(int n, bool awkward) {
  std::vector<float> v = measure::Noise(n, 30000.0f, 7);
  if (awkward) {
    v[1] = -0.0f;
    v[2] = std::numeric_limits<float>::denorm_min();
    v[3] = std::numeric_limits<float>::infinity();
    uint32_t payload = 0x7FC01234;  // a NaN with a payload: bits must survive the copy
    std::memcpy(&v[4], &payload, 4);
  }
  return v;
}

TEST(IIRSetters, ChangeStylesRaiseOrAssignModified) {
  IIR2 filter = MakeIIR2(1000.0, 0.707106781, 0.0, kIIR2LowPass, 2);
  EXPECT_EQ(filter.modified, 0);

  // Raising style: a change sets modified, an equal value leaves it. Assigning style (rate,
  // order, Butterworth): modified becomes whether this value differs.
  const struct {
    std::function<void()> set;
    int modified;
  } steps[] = {{[&] { SetIIR2(&filter, 1000.0, 0.707106781, 0.0, kIIR2LowPass); }, 0},
               {[&] { SetIIR2_Frequency(&filter, 1000.0); }, 0},
               {[&] { SetIIR2(&filter, 1000.0, 2.0, 0.0, kIIR2LowPass); }, 1},
               {[&] { SetIIR2_Frequency(&filter, 1000.0); }, 1},
               {[&] { SetIIR2_SamplingFrequency(&filter, kRate); }, 0},
               {[&] { SetIIR2_Order(&filter, 4); }, 1},
               {[&] { SetIIR2_Order(&filter, 4); }, 0},
               {[&] { SetIIR2_UseButterworth(&filter, 1); }, 1},
               {[&] { SetIIR2_UseButterworth(&filter, 1); }, 0}};
  for (size_t k = 0; k < std::size(steps); ++k) {
    steps[k].set();
    EXPECT_EQ(filter.modified, steps[k].modified) << "step " << k;
  }

  // With modified clear, Update keeps the old coefficients.
  const IIR2Section before = filter.sections[0];
  filter.frequency = 5000.0;
  UpdateIIR2(&filter);
  EXPECT_EQ(std::memcmp(&before, &filter.sections[0], sizeof before), 0);

  IIR1 highPass;
  SetIIR1_SamplingFrequency(&highPass, kRate);
  InitIIR1(&highPass);
  SetIIR1_Frequency(&highPass, 10.0);
  EXPECT_EQ(highPass.modified, 0);
  SetIIR1_Frequency(&highPass, 20.0);
  EXPECT_EQ(highPass.modified, 1);
  SetIIR1_SamplingFrequency(&highPass, kRate);
  EXPECT_EQ(highPass.modified, 0);
}

TEST(IIRUpdate, UnsetRateIsReportedAndUpdateStillRuns) {
  TraceCapture trace;
  IIR1 highPass;
  UpdateIIR1(&highPass);
  IIR2 lowPass;
  UpdateIIR2(&lowPass);
  EXPECT_EQ(trace.Text(),
            "UpdateIIR1: Hey.  samplingFrequency=-1 not set !\n"
            "UpdateIIR2: Hey.  samplingFrequency=-1 not set !\n");
  EXPECT_EQ(highPass.modified, 0);
  EXPECT_EQ(lowPass.modified, 0);
}

TEST(IIRUpdate, UndefinedModesAreRejectedAndLeaveTheSectionAlone) {
  for (int mode : {3, 4, 6, 99}) {
    TraceCapture trace;
    IIR2 filter = MakeIIR2(1000.0, 1.0, 0.0, mode, 2);
    EXPECT_EQ(trace.Text(), "ComputeIIR2Hz: bogus filter mode=" + std::to_string(mode) + "\n");
    // A fresh record keeps zero coefficients, so it outputs silence.
    std::vector<float> signal = RandomSignal(64, false);
    ComputeIIR2(signal.data(), signal.data(), 64, &filter);
    for (float v : signal) EXPECT_EQ(v, 0.0f);
  }
}

TEST(IIR2Cascade, ModeZeroAndOrderZeroPassThroughBitForBit) {
  const std::vector<float> signal = RandomSignal(300, true);
  for (auto [mode, order] : {std::pair{kIIR2None, 4}, std::pair{kIIR2LowPass, 0},
                             std::pair{kIIR2HighPass, 1}, std::pair{kIIR2LowPass, -2}}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode << " order " << order);
    IIR2 filter = MakeIIR2(1000.0, 0.707106781, 0.0, mode, order);
    std::vector<float> out(300, 1.0f);
    ComputeIIR2(signal.data(), out.data(), 300, &filter);
    EXPECT_EQ(std::memcmp(signal.data(), out.data(), 300 * sizeof(float)), 0);
    std::vector<float> inPlace = signal;
    ComputeIIR2(inPlace.data(), inPlace.data(), 300, &filter);
    EXPECT_EQ(std::memcmp(signal.data(), inPlace.data(), 300 * sizeof(float)), 0);
  }
}

TEST(IIR2Cascade, RunsOrderOverTwoSectionsEachWithItsOwnState) {
  const std::vector<float> signal = RandomSignal(1000, false);
  for (auto [order, sections] :
       {std::pair{2, 1}, std::pair{4, 2}, std::pair{5, 2}, std::pair{16, 8}, std::pair{40, 8}}) {
    SCOPED_TRACE(testing::Message() << "order " << order);
    IIR2 cascade = MakeIIR2(2000.0, 0.9, 0.0, kIIR2HighPass, order);
    std::vector<float> got(1000);
    ComputeIIR2(signal.data(), got.data(), 600, &cascade);  // two calls: state carries over
    ComputeIIR2(signal.data() + 600, got.data() + 600, 400, &cascade);

    std::vector<float> expected = signal;
    for (int k = 0; k < sections; ++k) {
      IIR2 single = MakeIIR2(2000.0, 0.9, 0.0, kIIR2HighPass, 2);
      ComputeIIR2Section(expected.data(), expected.data(), 1000, &single);
    }
    EXPECT_EQ(std::memcmp(expected.data(), got.data(), 1000 * sizeof(float)), 0);
  }
}

TEST(IIR2Cascade, SingleSectionKernelIgnoresOrder) {
  const std::vector<float> signal = RandomSignal(256, false);
  IIR2 eighth = MakeIIR2(300.0, 0.707106781, 0.0, kIIR2LowPass, 8);
  IIR2 second = MakeIIR2(300.0, 0.707106781, 0.0, kIIR2LowPass, 2);
  std::vector<float> a(256), b(256);
  ComputeIIR2Section(signal.data(), a.data(), 256, &eighth);
  ComputeIIR2(signal.data(), b.data(), 256, &second);
  EXPECT_EQ(a, b);
}

TEST(IIR2Design, ButterworthStagesGetTheirOwnQ) {
  EXPECT_NEAR(ButterworthStageQ(1, 4), 1.3372, 5e-5);
  EXPECT_NEAR(ButterworthStageQ(2, 4), 0.6050, 5e-5);

  IIR2 filter;
  SetIIR2(&filter, 1000.0, 5.0, 0.0, kIIR2LowPass);  // the record's Q is ignored
  SetIIR2_Order(&filter, 4);
  SetIIR2_UseButterworth(&filter, 1);
  SetIIR2_SamplingFrequency(&filter, kRate);
  InitIIR2(&filter);
  const double sinW = std::sin(kTwoPi * 1000.0 / kRate);
  const double expectedAlpha[2] = {0.38268343, 0.92387953};  // sin(pi/8), sin(3pi/8)
  for (int k = 0; k < 2; ++k) {
    const double a2 = filter.sections[k].a2;
    const double alpha = (1.0 - a2) / (1.0 + a2);
    EXPECT_NEAR(alpha / sinW, expectedAlpha[k], 1e-7) << "section " << k;
  }
  // Butterworth: -3 dB at the corner. Without the staging, two equal sections of the stored
  // Q: each has alpha = sin(w) sinh(1/(2Q)), so |H| = 1 / (2 sinh(1/(2Q))) at the corner.
  EXPECT_NEAR(GainDb([&](float* x, int n) { ComputeIIR2(x, x, n, &filter); }, 1000.0), -3.01, 0.05);
  IIR2 riley = MakeIIR2(1000.0, 0.707106781, 0.0, kIIR2LowPass, 4);
  const double sectionDb = 20.0 * std::log10(1.0 / (2.0 * std::sinh(1.0 / (2.0 * 0.707106781))));
  EXPECT_NEAR(GainDb([&](float* x, int n) { ComputeIIR2(x, x, n, &riley); }, 1000.0),
              2.0 * sectionDb, 0.05);
  riley = MakeIIR2(1000.0, 0.707106781, 0.0, kIIR2LowPass, 4);
  EXPECT_LT(GainDb([&](float* x, int n) { ComputeIIR2(x, x, n, &riley); }, 8000.0), -55.0);
}

TEST(IIR2Design, HumNotchCutsDeepAtSixtyHertzOnly) {
  auto notchGain = [](double frequency) {
    IIR2 notch = MakeIIR2(60.0, 40.0, -40.0, kIIR2Peaking, 2);
    return GainDb([&](float* x, int n) { ComputeIIR2Section(x, x, n, &notch); }, frequency);
  };
  EXPECT_NEAR(notchGain(60.0), -40.0, 0.5);
  EXPECT_GT(notchGain(120.0), -0.5);
  EXPECT_NEAR(notchGain(1000.0), 0.0, 0.01);
}

TEST(IIR1HighPass, CornerAtItsFrequencyAndNoDirectCurrent) {
  IIR1 filter;
  SetIIR1_SamplingFrequency(&filter, kRate);
  InitIIR1(&filter);
  auto gain = [](double frequency) {
    IIR1 f;
    SetIIR1_SamplingFrequency(&f, kRate);
    InitIIR1(&f);
    return GainDb([&](float* x, int n) { ComputeIIR1(x, x, n, &f); }, frequency);
  };
  EXPECT_NEAR(gain(10.0), -3.01, 0.05);
  EXPECT_NEAR(gain(1000.0), 0.0, 0.01);

  std::vector<float> dc(44100, 1000.0f);
  ComputeIIR1(dc.data(), dc.data(), 44100, &filter);
  EXPECT_LT(std::fabs(dc.back()), 0.01f);
}

TEST(IIRReset, ClearsEveryStateButKeepsCoefficients) {
  IIR2 filter = MakeIIR2(500.0, 0.707106781, 0.0, kIIR2LowPass, 16);
  const std::vector<float> signal = RandomSignal(100, false);
  std::vector<float> first(100), second(100);
  ComputeIIR2(signal.data(), first.data(), 100, &filter);
  const IIR2Section coefficients = filter.sections[0];
  ResetIIR2(&filter);
  for (const IIR2State& s : filter.sectionState)
    EXPECT_TRUE(s.x1 == 0.0 && s.x2 == 0.0 && s.y1 == 0.0 && s.y2 == 0.0);
  EXPECT_EQ(std::memcmp(&coefficients, &filter.sections[0], sizeof coefficients), 0);
  ComputeIIR2(signal.data(), second.data(), 100, &filter);
  EXPECT_EQ(first, second);
}

}  // namespace
