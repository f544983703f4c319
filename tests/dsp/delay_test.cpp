#include "dsp/delay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "tests/dsp/signal_measure.h"
#include "tests/support/trace_capture.h"

namespace {

using measure::kRate;

// Records are large (about 121 KiB); tests keep them on the heap.
std::unique_ptr<IIIR> MakeLine(float delayTime, float feedback, float modulation = 0.0f) {
  auto line = std::make_unique<IIIR>();
  DefaultIIIR(line.get());
  SetIIIR_SamplingFrequency(line.get(), kRate);
  SetIIIR_DelayAndFeedback(line.get(), delayTime, feedback);
  line->delayTimeModulation = modulation;
  InitIIIR(line.get());
  return line;
}

// A line of `length` samples, as an owner sets it after the update.
std::unique_ptr<IIIR> MakeLineOfLength(int length, float feedback = 0.0f) {
  auto line = MakeLine(0.0f, feedback);
  line->lineLength = length;
  return line;
}

std::vector<float> Impulse(int n, float height = 1.0f) {
  std::vector<float> v(n, 0.0f);
  v[0] = height;
  return v;
}

// Runs a kernel over a signal in blocks of varying length (the kernels keep their place).
template <typename Kernel>
std::vector<float> RunBlocks(const std::vector<float>& in, Kernel kernel) {
  std::vector<float> out(in.size(), 0.0f);
  const int sizes[] = {256, 13, 100, 1, 256, 77};
  size_t pos = 0;
  for (int b = 0; pos < in.size(); ++b) {
    const int n = static_cast<int>(std::min<size_t>(sizes[b % 6], in.size() - pos));
    kernel(in.data() + pos, out.data() + pos, n);
    pos += n;
  }
  return out;
}

TEST(IIIRUpdate, LengthFeedbackClampAndUnsetRate) {
  auto line = MakeLine(0.0f, 2.0f);
  EXPECT_EQ(line->lineLength, 2);
  EXPECT_FLOAT_EQ(line->h[1], -0.99f);
  SetIIIR_DelayAndFeedback(line.get(), 0.1f, -2.0f);
  UpdateIIIR(line.get());
  EXPECT_FLOAT_EQ(line->h[1], 0.99f);
  EXPECT_EQ(line->lineLength, 4410);
  SetIIIR_DelayTime(line.get(), 10.0f);  // far beyond the memory
  UpdateIIIR(line.get());
  EXPECT_EQ(line->lineLength, kIIIRLineLength);

  TraceCapture trace;
  IIIR* fresh = new IIIR;
  DefaultIIIR(fresh);
  UpdateIIIR(fresh);
  EXPECT_NE(trace.Text().find("UpdateIIIR: Hey.  samplingFrequency=-1 not set !\n"),
            std::string::npos);
  delete fresh;
}

TEST(IIIRUpdate, ModulatedReadStaysInsideAndBehindTheWrite) {
  // d + m beyond the line: d = top - m.
  auto line = MakeLine(0.01f, 0.5f, 0.002f);
  EXPECT_EQ(line->lineLength, 441);
  EXPECT_NEAR(line->delaySamples, 440.0 - 88.2, 1e-3);
  // d + m inside, d - m below one sample: the read is kept a sample behind (d = m + 1).
  line = MakeLine(0.5f / 44100.0f, 0.5f, 0.3f / 44100.0f);
  EXPECT_NEAR(line->delaySamples, 1.3, 1e-4);
  // With the modulation at its lowest the tap reads exactly one sample back, never the sample
  // being written.
  line->h[0] = 0.0f;
  const std::vector<float> mod(64, -1.0f);
  line->modulationSource = mod.data();
  std::vector<float> out(64);
  const std::vector<float> in = Impulse(64);
  ComputeIFIR_ModulatedLinearInterpolation(in.data(), out.data(), 64, line.get(), 0);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_NEAR(out[1], line->h[1], 1e-6);
}

TEST(IIIRKernels, DelayLineDelaysByExactlyItsLength) {
  auto line = MakeLineOfLength(1000);
  const std::vector<float> in = measure::Noise(5000, 20000.0f, 3);
  const std::vector<float> out = RunBlocks(
      in, [&](const float* x, float* y, int n) { ComputeDelayLine(x, y, n, line.get(), 0); });
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(out[i], 0.0f);
  for (int i = 1000; i < 5000; ++i) ASSERT_EQ(out[i], in[i - 1000]) << i;

  // Additive, in place: y = x + x delayed.
  auto echo = MakeLineOfLength(10);
  std::vector<float> io = Impulse(32);
  ComputeDelayLine(io.data(), io.data(), 32, echo.get(), 1);
  EXPECT_EQ(io[0], 1.0f);
  EXPECT_EQ(io[10], 1.0f);
  EXPECT_EQ(io[20], 0.0f);
}

TEST(IIIRKernels, TapAndWriteTogetherFormALine) {
  auto line = MakeLineOfLength(300);
  const std::vector<float> in = measure::Noise(2000, 20000.0f, 3);
  const std::vector<float> out = RunBlocks(in, [&](const float* x, float* y, int n) {
    ComputeDelayTap(y, n, line.get(), 0);
    ComputeDelayWrite(x, n, line.get());
  });
  for (int i = 300; i < 2000; ++i) ASSERT_EQ(out[i], in[i - 300]);
}

TEST(IIIRKernels, ReverseDelayPlaysEachStretchBackwards) {
  auto line = MakeLine(0.0f, 0.0f);
  const int n = 50;
  line->lineLength = n;
  std::vector<float> ramp(10 * n);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i + 1);
  const std::vector<float> out = RunBlocks(ramp, [&](const float* x, float* y, int len) {
    ComputeReverseDelay(x, y, len, line.get(), 0);
  });
  // Once the line is full, every output is an input of the last 2n samples and the output runs
  // downwards: reading backwards while writing forwards plays stretches of n/2 samples, so the
  // output jumps up twice per n samples.
  int jumps = 0;
  for (int i = 2 * n; i < 9 * n; ++i) {
    EXPECT_LE(out[i], static_cast<float>(i));
    EXPECT_GE(out[i], static_cast<float>(i - 2 * n));
    if (out[i] > out[i - 1]) ++jumps;
  }
  EXPECT_EQ(jumps, 14);
}

TEST(IIIRKernels, CombFeedbackRecirculatesOrDelays) {
  auto comb = MakeLineOfLength(20, 0.5f);
  std::vector<float> in = Impulse(100), out(100, 0.0f);
  ComputeCombFeedback(in.data(), out.data(), 100, comb.get(), 1);  // t = h0 x - h1 line
  const float h1 = comb->h[1];
  EXPECT_FLOAT_EQ(h1, -0.495f);
  EXPECT_FLOAT_EQ(out[0], 1.0f);
  EXPECT_FLOAT_EQ(out[20], -h1);
  EXPECT_FLOAT_EQ(out[40], h1 * h1);
  EXPECT_EQ(out[10], 0.0f);
  EXPECT_FLOAT_EQ(comb->combPosition, 0.0f);  // 100 samples: five laps of the line

  auto plain = MakeLineOfLength(20, 0.5f);
  std::fill(out.begin(), out.end(), 0.0f);
  ComputeCombFeedback(in.data(), out.data(), 100, plain.get(), 0);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[20], 1.0f);
  EXPECT_EQ(out[40], 0.0f);
}

TEST(IIIRKernels, UnmodulatedTapIsAFractionalDelay) {
  // 100 samples of line, 10.25 of modulation depth: delaySamples = 99 - 10.25 = 88.75.
  auto tap = MakeLine(100.0f / 44100.0f, 0.0f, 10.25f / 44100.0f);
  ASSERT_EQ(tap->lineLength, 100);
  ASSERT_NEAR(tap->delaySamples, 88.75, 1e-4);
  tap->h[0] = 0.0f;
  tap->h[1] = 1.0f;
  const std::vector<float> zero(256, 0.0f);
  tap->modulationSource = zero.data();
  const std::vector<float> in = Impulse(256);
  std::vector<float> out(256);
  ComputeIFIR_ModulatedLinearInterpolation(in.data(), out.data(), 256, tap.get(), 0);
  EXPECT_NEAR(out[88], 0.25, 1e-4);
  EXPECT_NEAR(out[89], 0.75, 1e-4);
  double rest = 0.0;
  for (int i = 0; i < 256; ++i)
    if (i != 88 && i != 89) rest += std::fabs(out[i]);
  EXPECT_EQ(rest, 0.0);

  // The same through the end of the line (the guard sample) and with no modulation source.
  tap->modulationSource = nullptr;
  std::vector<float> noise = measure::Noise(20000, 20000.0f, 3);
  const std::vector<float> delayed = RunBlocks(noise, [&](const float* x, float* y, int n) {
    ComputeIFIR_ModulatedLinearInterpolation(x, y, n, tap.get(), 0);
  });
  for (int i = 100; i < 20000; ++i)
    ASSERT_NEAR(delayed[i], 0.25f * noise[i - 88] + 0.75f * noise[i - 89], 1.0) << i;
}

TEST(IIIRKernels, LengthsBeyondTheMemoryNeverWritePastIt) {
  auto line = MakeLine(0.1f, 0.5f, 0.05f);
  line->lineLength = 1000000;  // as an owner might write it
  line->writeIndex = -7;
  line->readIndex = 5000000;
  line->combPosition = 1e9f;
  const std::vector<float> wild(256, 1e7f);  // modulation far beyond the line
  line->modulationSource = wild.data();
  const IIR1 damping = line->damping;
  const FIR fir = line->fir;
  const std::vector<float> in = measure::Noise(256, 20000.0f, 3);
  std::vector<float> out(256);
  for (int round = 0; round < 200; ++round) {
    ComputeDelayLine(in.data(), out.data(), 256, line.get(), 0);
    ComputeReverseDelay(in.data(), out.data(), 256, line.get(), 1);
    ComputeCombDamped(in.data(), out.data(), 256, line.get(), 1);
    ComputeIFIR_ModulatedLinearInterpolation(in.data(), out.data(), 256, line.get(), 0);
  }
  EXPECT_LT(line->writeIndex, kIIIRLineLength);
  EXPECT_LT(line->readIndex, kIIIRLineLength);
  EXPECT_EQ(line->damping.frequency, damping.frequency);
  EXPECT_EQ(line->fir.order, fir.order);
  EXPECT_EQ(line->fir.bands, fir.bands);
  for (float y : out) EXPECT_TRUE(std::isfinite(y));
}

TEST(ThreeTapComb, SymmetricCombAndItsComplement) {
  auto comb = MakeLine(0.1f, 0.5f);
  SetFIR_Bands(&comb->fir, 100);
  InitIIIR(comb.get());  // 3 taps, low-pass at 11025 Hz: h0 = 0.08 / pi, h1 = 0.5
  ASSERT_EQ(comb->fir.span, 200);
  EXPECT_EQ(StereoCombMiddleDelay(comb.get()), 100);
  const std::vector<float> in = Impulse(1000);
  const std::vector<float> out = RunBlocks(
      in, [&](const float* x, float* y, int n) { ComputeIFIR3_Buffered(x, y, n, comb.get(), 0); });
  const float h0 = comb->fir.coefficients[0], h1 = comb->fir.coefficients[1];
  for (int i = 0; i < 1000; ++i) {
    const float expected = i == 0 || i == 200 ? h0 : i == 100 ? h1 : 0.0f;
    ASSERT_FLOAT_EQ(out[i], expected) << i;
  }
  // Linear phase: the response, taken about the middle tap, is real and symmetric in f.
  for (double f : {0.001, 0.0037, 0.01, 0.2}) {
    std::complex<double> sum = 0.0;
    for (int i = 0; i <= 200; ++i) sum += double{out[i]} * std::polar(1.0, -kTwoPi * f * (i - 100));
    EXPECT_NEAR(sum.imag(), 0.0, 1e-6);
    EXPECT_NEAR(sum.real(), h1 + 2.0 * h0 * std::cos(kTwoPi * f * 100), 1e-6);
  }

  // The restart span of 2000 puts the taps at 0, 2000 - bands and 2000.
  comb->fir.span = 2000;
  ResetIIIR(comb.get());
  EXPECT_EQ(StereoCombMiddleDelay(comb.get()), 1900);
  const std::vector<float> wide = RunBlocks(Impulse(3000), [&](const float* x, float* y, int n) {
    ComputeIFIR3_Buffered(x, y, n, comb.get(), 0);
  });
  EXPECT_FLOAT_EQ(wide[0], h0);
  EXPECT_FLOAT_EQ(wide[1900], h1);
  EXPECT_FLOAT_EQ(wide[2000], h0);
  EXPECT_EQ(wide[100], 0.0f);
}

TEST(NestedAllPass, PreservesEnergyAndRunsAllThreeStages) {
  auto nested = std::make_unique<IIIRNested>();
  DefaultIIIRNested(nested.get());
  SetIIIRNested_SamplingFrequency(nested.get(), kRate);
  nested->count = 3;
  SetIIIRNested_Stage(nested.get(), 0, 0.00247f, 0.725f);
  SetIIIRNested_Stage(nested.get(), 1, 0.00376f, 0.7f);
  SetIIIRNested_Stage(nested.get(), 2, 0.00511f, 0.625f);
  SetIIIRNested_Stage(nested.get(), 3, 1.0f, 1.0f);  // no such stage: ignored
  UpdateIIIRNested(nested.get());
  ResetIIIRNested(nested.get());
  const std::vector<float> out = RunBlocks(Impulse(200000), [&](const float* x, float* y, int n) {
    ComputeIIIRNested(x, y, n, nested.get());
  });
  double energy = 0.0;
  for (float y : out) energy += double{y} * y;
  EXPECT_NEAR(energy, 1.0, 1e-3);
  EXPECT_FLOAT_EQ(out[0], -0.725f);  // -g1 x: the direct path of the outer stage
}

TEST(PrimeLengths, NearestPrimeTiesGoUpAndResultsStayInRange) {
  // {target, low, high, expected}: ties go up; a prime beyond high gives high.
  const int nearest[][4] = {{100, 2, 22050, 101},     {3175, 2, 30870, 3181}, {24, 2, 30870, 23},
                            {2205, 2, 30870, 2207},   {3440, 2, 30870, 3433}, {97, 2, 30870, 97},
                            {40009, 2, 30870, 30870}, {-5, 2, 100, 2}};
  for (const auto& c : nearest) EXPECT_EQ(NearestPrime(c[0], c[1], c[2]), c[3]) << c[0];
  EXPECT_LE(NearestPrime(40000, 2, 30870), 30870);
  for (int n : {1, 9, -7}) EXPECT_FALSE(IsPrime(n)) << n;
  for (int n : {2, 30869}) EXPECT_TRUE(IsPrime(n)) << n;
  // {from, limit, expected}: below stops at low, above at high.
  const int below[][3] = {{1, 50, 2}, {40, 50, 50}, {100, 2, 97}, {100, 98, 98}};
  for (const auto& c : below) EXPECT_EQ(PrimeBelow(c[0], c[1]), c[2]) << c[0] << " " << c[1];
  const int above[][3] = {{0, 100, 2}, {90, 1, 2}, {200, 100, 100}, {90, 96, 96}};
  for (const auto& c : above) EXPECT_EQ(PrimeAbove(c[0], c[1]), c[2]) << c[0] << " " << c[1];

  EXPECT_EQ(SecondsToSamples(0.05, 44100.0), 2205);
  EXPECT_EQ(SecondsToSamples(1e30, 44100.0), INT_MAX / 2);
  EXPECT_EQ(SecondsToSamples(NAN, 44100.0), 0);
  EXPECT_DOUBLE_EQ(SamplesToSeconds(441, 44100.0), 0.01);
  EXPECT_EQ(SamplesToSeconds(-1, 44100.0), -1.0);
  EXPECT_EQ(SamplesToSeconds(10, 0.0), -1.0);
}

TEST(IIIRSetters, MidiNoteAndReset) {
  auto line = MakeLine(0.05f, 0.5f);
  SetIIIR_MidiNote(line.get(), 24);
  EXPECT_NEAR(line->delayTime, 440.0 * kTwoPi / kRate, 1e-7);
  SetIIIR_MidiNote(line.get(), 36);
  EXPECT_NEAR(line->delayTime, 0.5 * 440.0 * kTwoPi / kRate, 1e-7);

  SetFIR_Bands(&line->fir, 33);
  std::fill(std::begin(line->line), std::end(line->line), 1.0f);
  line->writeIndex = line->readIndex2 = 5;
  line->combPosition = 4.0f;
  line->damping.y1 = 3.0;
  ResetIIIR(line.get());
  EXPECT_EQ(line->readIndex, 33);
  EXPECT_EQ(line->writeIndex, 0);
  EXPECT_EQ(line->readIndex2, 0);
  EXPECT_EQ(line->combPosition, 0.0f);
  EXPECT_EQ(line->damping.y1, 0.0);
  for (float x : line->line) ASSERT_EQ(x, 0.0f);
}

}  // namespace
