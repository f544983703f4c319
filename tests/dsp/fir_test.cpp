#include "dsp/fir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "tests/support/trace_capture.h"

namespace {

// Magnitude response of taps at normalised frequency f (cycles per sample).
double Response(const float* taps, int n, double f) {
  std::complex<double> sum = 0.0;
  for (int i = 0; i < n; ++i) sum += double{taps[i]} * std::polar(1.0, -kTwoPi * f * i);
  return std::abs(sum);
}

FIR Design(int type, int order, double frequency, double frequency2, int window) {
  FIR fir;
  DefaultFIR(&fir);
  fir.filterType = type;
  fir.order = order;
  fir.frequency = frequency;
  fir.frequency2 = frequency2;
  fir.window = window;
  SetFIR_SamplingFrequency(&fir, 44100.0);
  InitFIR(&fir);
  return fir;
}

TEST(FIRDesign, ThreeTapHalfBandHammingAndUnwindowed) {
  FIR fir = Design(kFIRLowPass, 3, 11025.0, 0.0, kWindowHamming);
  EXPECT_NEAR(fir.coefficients[0], 0.08 / kPi, 1e-7);
  EXPECT_FLOAT_EQ(fir.coefficients[1], 0.5f);
  EXPECT_NEAR(fir.coefficients[2], 0.0254648, 1e-7);

  fir = Design(kFIRLowPass, 3, 11025.0, 0.0, kWindowRectangular);  // window 0: ideal response
  EXPECT_NEAR(fir.coefficients[0], 1.0 / kPi, 1e-7);
  EXPECT_NEAR(fir.coefficients[2], 1.0 / kPi, 1e-7);
  EXPECT_FLOAT_EQ(fir.coefficients[1], 0.5f);
}

TEST(FIRDesign, EvenOrderIsSymmetricAboutTheHalfSampleCentre) {
  const FIR fir = Design(kFIRLowPass, 8, 5000.0, 0.0, kWindowHann);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(fir.coefficients[i], fir.coefficients[7 - i]);
  const double half = 2.0 * 5000.0 / 44100.0;  // the value a centre tap would have
  for (int i = 0; i < 8; ++i) EXPECT_LT(fir.coefficients[i], half);
}

TEST(FIRDesign, EachTypePassesAndStopsWhereItShould) {
  const double f1 = 4410.0, f2 = 13230.0;  // 0.1 and 0.3 of the rate
  const struct {
    int type;
    double f;
    bool passes;
  } cases[] = {{kFIRLowPass, 0.0, true},    {kFIRLowPass, 0.3, false}, {kFIRHighPass, 0.0, false},
               {kFIRHighPass, 0.45, true},  {kFIRBandPass, 0.2, true}, {kFIRBandPass, 0.0, false},
               {kFIRBandPass, 0.45, false}, {kFIRBandStop, 0.0, true}, {kFIRBandStop, 0.2, false}};
  for (const auto& c : cases) {
    const double r = Response(Design(c.type, 31, f1, f2, kWindowBlackman).coefficients, 31, c.f);
    if (c.passes)
      EXPECT_NEAR(r, 1.0, 0.01) << "type " << c.type << " at " << c.f;
    else
      EXPECT_LT(r, 0.01) << "type " << c.type << " at " << c.f;
  }
  // Centre taps of the unwindowed designs: 1 - w1, w2 - w1, 1 + w1 - w2.
  EXPECT_NEAR(Design(kFIRHighPass, 5, f1, f2, 0).coefficients[2], 0.8, 1e-6);
  EXPECT_NEAR(Design(kFIRBandPass, 5, f1, f2, 0).coefficients[2], 0.4, 1e-6);
  EXPECT_NEAR(Design(kFIRBandStop, 5, f1, f2, 0).coefficients[2], 0.6, 1e-6);
}

TEST(FIRDesign, SpanAndHalfSpanFollowOrderAndBands) {
  FIR fir;
  DefaultFIR(&fir);
  SetFIR_SamplingFrequency(&fir, 44100.0);
  SetFIR_Bands(&fir, 750);
  fir.stateIndex = 9;
  UpdateFIR(&fir);
  EXPECT_EQ(fir.span, 1500);
  EXPECT_EQ(fir.halfSpan, 750);
  EXPECT_EQ(fir.stateIndex, 0);
  SetFIR_Order(&fir, 4);
  UpdateFIR(&fir);
  EXPECT_EQ(fir.span, 2250);
  EXPECT_EQ(fir.halfSpan, 1125);
}

TEST(FIRDesign, BogusTypeLeavesCoefficientsAndOnlyTheLowByteCounts) {
  TraceCapture trace;
  float taps[3] = {7.0f, 8.0f, 9.0f};
  ComputeFIRHz_Window(taps, 0.25, 0.3, 3, 5, kWindowHamming, 0);
  ComputeFIRHz_Window(taps, 0.25, 0.3, 3, 0, kWindowHamming, 0);
  EXPECT_TRUE(taps[0] == 7.0f && taps[1] == 8.0f && taps[2] == 9.0f);
  EXPECT_EQ(trace.Text(),
            "ComputeFIRHz_Window: bogus filterType=5\nComputeFIRHz_Window: bogus filterType=0\n");
  ComputeFIRHz_Window(taps, 0.25, 0.3, 3, 0x101, kWindowHamming, 0);
  EXPECT_FLOAT_EQ(taps[1], 0.5f);
}

TEST(FIRDesign, OrderIsLimitedToTheRecordsTaps) {
  FIR fir;
  DefaultFIR(&fir);
  SetFIR_SamplingFrequency(&fir, 44100.0);
  fir.order = 500;
  std::fill(std::begin(fir.state), std::end(fir.state), 3.0f);
  UpdateFIR(&fir);
  EXPECT_EQ(fir.order, kFIRMaxOrder);
  EXPECT_EQ(fir.span, 30);
  for (float s : fir.state) EXPECT_EQ(s, 3.0f);  // nothing written past the coefficients
  ResetFIR(&fir);
  for (float s : fir.state) EXPECT_EQ(s, 0.0f);
  fir.order = -4;
  fir.bands = 0;
  UpdateFIR(&fir);
  EXPECT_EQ(fir.order, 1);
  EXPECT_EQ(fir.span, 0);
}

TEST(FIRDesign, PrintAndUnsetRateMessages) {
  TraceCapture trace;
  float taps[3];
  ComputeFIRHz_Window(taps, 0.25, 0.3, 3, kFIRLowPass, kWindowHamming, 1);
  EXPECT_EQ(trace.Text(),
            "ComputeFIRHz_Window: order=3  fc/fs=0.25\n"
            "ComputeFIRHz_Window 0: 0.025465\n"
            "ComputeFIRHz_Window 1: 0.500000\n"
            "ComputeFIRHz_Window 2: 0.025465\n");
  TraceCapture unset;
  FIR fir;
  DefaultFIR(&fir);
  UpdateFIR(&fir);
  EXPECT_EQ(unset.Text(), "UpdateFIR: Hey.  samplingFrequency=-1 not set !\n");
}

TEST(Windows, ShapesEndsAndNormalisation) {
  // Blackman uses N and N/2: zero at i = 0, one at i = N/2. Normalised: 2 / (N - 1).
  const struct {
    int n, window, normalise, index;
    float value;
  } cases[] = {{9, kWindowHamming, 0, 0, 0.08f},    {9, kWindowHamming, 0, 4, 1.0f},
               {9, kWindowHamming, 0, 8, 0.08f},    {9, kWindowHann, 0, 0, 0.0f},
               {9, kWindowHann, 0, 2, 0.5f},        {9, kWindowTriangular, 0, 0, 0.0f},
               {9, kWindowTriangular, 0, 2, 0.5f},  {9, kWindowTriangular, 0, 4, 1.0f},
               {8, kWindowBlackman, 0, 0, 0.0f},    {8, kWindowBlackman, 0, 4, 1.0f},
               {9, kWindowRectangular, 1, 3, 0.25f}};
  float w[9];
  for (const auto& c : cases) {
    ComputeWindow(w, c.n, c.window, c.normalise);
    EXPECT_NEAR(w[c.index], c.value, 1e-6) << "window " << c.window << " at " << c.index;
  }
  std::fill(std::begin(w), std::end(w), 5.0f);
  ComputeWindow(w, 9, 5, 0);
  EXPECT_EQ(w[0], 5.0f);
  ComputeWindow(w, 1, kWindowHamming, 1);
  EXPECT_EQ(w[0], 1.0f);
}

}  // namespace
