#include "dsp/pitchshift.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/dsp/signal_measure.h"
#include "tests/support/trace_capture.h"

namespace {

using measure::kRate;

std::unique_ptr<PitchShift> MakeShifter(float semitones) {
  auto shifter = std::make_unique<PitchShift>();
  DefaultPitchShift(shifter.get());
  SetPitchShift_SamplingFrequency(shifter.get(), kRate);
  SetPitchShift_Semitones(shifter.get(), semitones);
  InitPitchShift(shifter.get());
  return shifter;
}

// Runs in through a shifter kernel in 256-sample blocks.
template <typename Kernel = decltype(&ComputePitchShift)>
std::vector<float> Shift(PitchShift* shifter, std::vector<float> in,
                         Kernel kernel = ComputePitchShift) {
  std::vector<float> out(in.size());
  for (size_t pos = 0; pos < in.size(); pos += 256)
    kernel(in.data() + pos, out.data() + pos,
           static_cast<int>(std::min<size_t>(256, in.size() - pos)), shifter);
  return out;
}

double ShiftedFrequency(float semitones, double f) {
  auto shifter = MakeShifter(semitones);
  const std::vector<float> out = Shift(shifter.get(), measure::Tone(f, 10000.0, 88200));
  const double target = f * std::pow(2.0, semitones / 12.0);
  return measure::Pitch(out, 44100, 44100, target * 0.75, target * 1.4);
}

TEST(PitchShifter, TapsReadAtExactlyTheRatio) {
  // A ramp input x[n] = n: a tap's output climbs by the ratio per sample (times the tap gain
  // -0.99) except where it jumps back.
  for (float semitones : {12.0f, -12.0f, 7.0f, -5.0f}) {
    auto shifter = MakeShifter(semitones);
    std::vector<float> ramp(256), out(256);
    for (int block = 0; block < 20; ++block) {
      for (int i = 0; i < 256; ++i) ramp[i] = static_cast<float>((block * 256 + i) % 8192);
      ComputePitchShift(ramp.data(), out.data(), 256, shifter.get());
    }
    const double ratio = std::pow(2.0, semitones / 12.0);
    int steady = 0;
    for (int k = 0; k < 2; ++k)
      for (int i = 1; i < 256; ++i) {
        const double step = shifter->tapOut[k][i] - shifter->tapOut[k][i - 1];
        if (std::fabs(step + 0.99 * ratio) < 2e-3) ++steady;
      }
    EXPECT_GT(steady, 2 * 255 - 8) << semitones;
  }
}

TEST(PitchShifter, OctaveUpAndDownOfA220HzTone) {
  const double up = ShiftedFrequency(12.0f, 220.0), down = ShiftedFrequency(-12.0f, 220.0),
               fifth = ShiftedFrequency(7.0f, 220.0);
  RecordProperty("octave_up_Hz", std::to_string(up));
  RecordProperty("octave_down_Hz", std::to_string(down));
  RecordProperty("seven_up_Hz", std::to_string(fifth));
  EXPECT_NEAR(up, 440.0, 4.4);  // within 1 %
  // The taps' segments restart every window with the tone's phase where it happens to be, so
  // the crossfaded output settles on a frequency within half a window's rate (1 / 0.21 s) of
  // the target: 105.7 Hz for 110, 334.3 Hz for 329.6.
  const double halfWindowRate = 0.5 / 0.105;
  EXPECT_NEAR(down, 110.0, halfWindowRate);
  EXPECT_NEAR(fifth, 329.6, halfWindowRate);
  // A tone whose window holds whole periods at the read speed comes out exact: at -12 the jump
  // of 0.0525 s is 11 periods of 209.52 Hz.
  EXPECT_NEAR(ShiftedFrequency(-12.0f, 11.0 / 0.0525), 0.5 * 11.0 / 0.0525, 0.01 * 104.76);
}

TEST(PitchShifter, SemitonesSetTheTapsModulation) {
  auto up = MakeShifter(12.0f);
  EXPECT_FLOAT_EQ(up->ratio, 2.0f);
  EXPECT_NEAR(up->taps[0].delayTimeModulation, -0.105, 1e-6);
  auto down = MakeShifter(-12.0f);
  EXPECT_NEAR(down->taps[1].delayTimeModulation, 0.0525, 1e-6);
  SetPitchShift_Semitones(down.get(), 3.0f);
  EXPECT_EQ(down->previousSemitones, -12.0f);
  UpdatePitchShift(down.get());
  EXPECT_FLOAT_EQ(down->previousRatio, 0.5f);
  EXPECT_NEAR(down->ratio, std::pow(2.0, 0.25), 1e-6);
}

TEST(PitchShifter, NoShiftIsAFixedWindowDelayWithInvertedCrossfadedLevel) {
  auto shifter = MakeShifter(0.0f);
  EXPECT_EQ(shifter->taps[0].modulationSamples, 0.0f);
  const std::vector<float> out = Shift(shifter.get(), std::vector<float>(44100, 1000.0f));
  for (int i = 0; i < 4000; ++i) ASSERT_EQ(out[i], 0.0f) << i;  // the window's delay
  for (int i = 6000; i < 44100; ++i) {
    ASSERT_LE(out[i], -990.0f + 0.5f) << i;
    ASSERT_GE(out[i], -990.0f * 1.4142136f - 0.5f) << i;
  }
}

TEST(PitchShifter, ResamplingMethodRepeatsTheSpedUpBlock) {
  auto shifter = MakeShifter(12.0f);
  std::vector<float> in(256), out(256);
  for (int i = 0; i < 256; ++i) in[i] = static_cast<float>(i);
  TraceCapture trace;
  ComputePitchShiftV1(in.data(), out.data(), 256, shifter.get());
  for (int j = 0; j < 128; ++j) {
    EXPECT_EQ(out[j], 2.0f * j);
    EXPECT_EQ(out[128 + j], 2.0f * j);
  }
  auto down = MakeShifter(-12.0f);  // one pass from the first half of the block
  ComputePitchShiftV1(in.data(), out.data(), 256, down.get());
  for (int j = 0; j < 256; ++j) EXPECT_EQ(out[j], static_cast<float>(j / 2));
  EXPECT_EQ(trace.Text(), "");
  EXPECT_EQ(down->callCount, 1);
}

TEST(PitchShifter, FeedbackLoopIsLimitedAndDiesAway) {
  auto shifter = MakeShifter(-4.0f);
  SetIIIR_DelayAndFeedback(&shifter->feedbackDelay, 0.025f, 0.46f);
  UpdatePitchShift(shifter.get());
  shifter->feedbackDelay.h[0] = 5.0f;  // far beyond a stable loop
  std::vector<float> in = measure::Tone(150.0, 20000.0, 44100);
  in.resize(6 * 44100, 0.0f);
  const std::vector<float> out = Shift(shifter.get(), in, ComputePitchShiftFeedback);
  double peak = 0.0;
  for (float y : out) {
    ASSERT_TRUE(std::isfinite(y));
    peak = std::max(peak, double{std::fabs(y)});
  }
  EXPECT_GT(peak, 1000.0);
  EXPECT_LT(peak, 20000.0 * 0.99 * 1.4143 / (1.0 - kPitchShiftMaxLoopGain));
  EXPECT_LT(measure::Rms(out, out.size() - 44100, out.size()), peak * 1e-3);
}

TEST(PitchShifter, FeedbackVariantShiftsEveryEcho) {
  auto shifter = MakeShifter(0.0f);
  SetIIIR_DelayAndFeedback(&shifter->feedbackDelay, 0.025f, 0.0f);
  UpdatePitchShift(shifter.get());
  shifter->feedbackDelay.h[0] = 0.5f;
  std::vector<float> in(44100, 0.0f);
  in[0] = 10000.0f;
  const std::vector<float> out = Shift(shifter.get(), in, ComputePitchShiftFeedback);
  // The impulse comes out after the window, then again after the window plus the feedback
  // delay, at about half of it and inverted again.
  const int window = shifter->taps[0].lineLength, echo = shifter->feedbackDelay.lineLength;
  auto peakNear = [&](int at) {
    float best = 0.0f;
    for (int i = at - 3; i <= at + 3; ++i)
      if (std::fabs(out[i]) > std::fabs(best)) best = out[i];
    return best;
  };
  const float first = peakNear(window), second = peakNear(2 * window + echo);
  EXPECT_LT(first, -5000.0f);
  EXPECT_GT(second, 0.0f);
  // Each pass through the shifter: gain 0.99 times a crossfade weight between 1 and sqrt 2.
  EXPECT_GE(second / -first, 0.5 * 0.99 - 0.01);
  EXPECT_LE(second / -first, 0.5 * 0.99 * 1.4143);
}

}  // namespace
