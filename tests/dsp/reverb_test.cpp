#include "dsp/reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/dsp/signal_measure.h"
#include "tests/support/trace_capture.h"

namespace {

using measure::kRate;

std::unique_ptr<Reverb> MakeReverb() {
  auto reverb = std::make_unique<Reverb>();
  DefaultReverb(reverb.get());
  SetReverb_SamplingFrequency(reverb.get(), kRate);
  InitReverb(reverb.get());
  return reverb;
}

// Runs in through the reverb in 256-sample blocks; returns both channels.
std::vector<float> RunReverb(Reverb* reverb, const std::vector<float>& in,
                             std::vector<float>* right) {
  std::vector<float> left(in.size());
  right->resize(in.size());
  for (size_t pos = 0; pos < in.size(); pos += 256) {
    float* const out[2] = {left.data() + pos, right->data() + pos};
    ComputeReverb(in.data() + pos, out, static_cast<int>(std::min<size_t>(256, in.size() - pos)),
                  reverb, 0);
  }
  return left;
}

TEST(ReverbLines, PrimeCombLengthsAndDiffuser) {
  auto reverb = MakeReverb();
  const int delays[] = {2205, 2470, 2690, 2999, 3175, 3440};
  const int lengths[] = {2207, 2473, 2689, 2999, 3181, 3433};
  for (int ch = 0; ch < 2; ++ch)
    for (int k = 0; k < kReverbCombs; ++k) {
      EXPECT_EQ(SecondsToSamples(reverb->combs[ch][k].delayTime, kRate), delays[k]) << k;
      EXPECT_EQ(reverb->combs[ch][k].lineLength, lengths[k]) << k;
    }
  EXPECT_EQ(reverb->diffuser.lineLength[0], 109);
  EXPECT_EQ(reverb->diffuser.lineLength[1], 167);
  EXPECT_EQ(reverb->diffuser.lineLength[2], 227);
}

TEST(ReverbFeedback, FollowsTheDecayAndStaysBelowOne) {
  auto reverb = MakeReverb();
  SetReverb_DecayTime(reverb.get(), 0.05f);  // equal to the comb delay
  for (auto& channel : reverb->combs)
    for (IIIR& comb : channel) EXPECT_NEAR(comb.h[1], 0.001, 1e-7);
  SetReverb_DecayTime(reverb.get(), 0.0f);
  EXPECT_EQ(reverb->combs[1][5].h[1], 0.0f);
  SetReverb_DecayTime(reverb.get(), -1.0f);  // would recirculate with a gain above one
  UpdateReverb(reverb.get());
  EXPECT_EQ(reverb->combs[0][0].h[1], kReverbMaxFeedback);
  SetReverb_DecayTime(reverb.get(), 2.0f);
  UpdateReverb(reverb.get());
  EXPECT_NEAR(reverb->combs[0][3].h[1], std::pow(10.0, -0.15 / 2.0), 1e-6);
}

TEST(ReverbProcessing, EqualCombsGiveIdenticalChannelsAndTheTailDecays) {
  auto reverb = MakeReverb();
  SetReverb_DecayTime(reverb.get(), 1.0f);
  UpdateReverb(reverb.get());
  std::vector<float> in = measure::Noise(22050, 15000.0f, 11);
  in.resize(8 * 44100, 0.0f);
  std::vector<float> right;
  const std::vector<float> left = RunReverb(reverb.get(), in, &right);
  EXPECT_EQ(left, right);
  const double loud = measure::Rms(left, 11025, 22050);
  EXPECT_GT(loud, 100.0);
  // Longest comb 3433 samples with the base comb's feedback: -60 dB after about 1.56 s.
  const double late = measure::Rms(left, 22050 + 2 * 44100, 22050 + 2 * 44100 + 4410);
  EXPECT_LT(late, loud * 1e-3);
}

TEST(ReverbProcessing, InputFilterCarriesTheWetLevelAndDryIsAddedLast) {
  auto reverb = MakeReverb();
  SetReverb_Wet(reverb.get(), 0.0f);
  SetReverb_Dry(reverb.get(), 0.25f);
  UpdateReverb(reverb.get());
  EXPECT_EQ(reverb->inputFilter.sections[0].b0, 0.0);
  const std::vector<float> in = measure::Noise(4096, 15000.0f, 11);
  std::vector<float> right;
  const std::vector<float> left = RunReverb(reverb.get(), in, &right);
  for (int i = 0; i < 4096; ++i) ASSERT_FLOAT_EQ(left[i], in[i] * 0.25f);

  IIR2 plain;
  DefaultIIR2(&plain);
  plain.frequency = 7000.0;
  SetIIR2_SamplingFrequency(&plain, kRate);
  InitIIR2(&plain);
  SetReverb_Wet(reverb.get(), 3.0f);
  UpdateReverb(reverb.get());
  EXPECT_DOUBLE_EQ(reverb->inputFilter.sections[0].b1, plain.sections[0].b1 * 0.5);
  EXPECT_DOUBLE_EQ(reverb->inputFilter.sections[0].a1, plain.sections[0].a1);
}

TEST(ReverbUpdate, UnsetRateIsReported) {
  TraceCapture trace;
  auto reverb = std::make_unique<Reverb>();
  DefaultReverb(reverb.get());
  UpdateReverb(reverb.get());
  EXPECT_NE(trace.Text().find("UpdateReverb: Hey.  samplingFrequency=-1 not set !\n"),
            std::string::npos);
  EXPECT_EQ(reverb->modified, 0);
}

}  // namespace
