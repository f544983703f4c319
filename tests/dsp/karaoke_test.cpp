#include "dsp/karaoke.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/trace_capture.h"

namespace {

constexpr double kRate = 44100.0;

class KaraokeRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    DefaultKaraoke(&karaoke_);
    karaoke_.bassBuffer[0] = bass_[0].data();
    karaoke_.bassBuffer[1] = bass_[1].data();
    SetKaraoke_SamplingFrequency(&karaoke_, kRate);
    InitKaraoke(&karaoke_);
  }
  Karaoke karaoke_;
  std::vector<float> bass_[2] = {std::vector<float>(300, 0.0f), std::vector<float>(300, 0.0f)};
};

TEST_F(KaraokeRecord, DefaultsAndBassGain) {
  EXPECT_EQ(karaoke_.lowBand[0].order, 4);
  EXPECT_EQ(karaoke_.lowBand[1].frequency, 310.0);
  EXPECT_FLOAT_EQ(karaoke_.bassGain, 1.0f);
  SetKaraoke_BassReplaceDB(&karaoke_, -20.0f);
  EXPECT_FLOAT_EQ(karaoke_.bassGain, 0.1f);
}

TEST_F(KaraokeRecord, CrossoverOffSubtractsOverTheWholeBandAndLeavesTheBass) {
  SetKaraoke_CrossoverOrder(&karaoke_, 0);
  std::vector<float> left(256), right(256);
  for (int i = 0; i < 256; ++i) {
    left[i] = static_cast<float>(9000.0 * std::sin(i * 0.01));
    right[i] = static_cast<float>(i % 7 == 0 ? 4000 : -300);
  }
  const std::vector<float> l = left, r = right;
  bass_[0][0] = 12.0f;
  float* const channels[2] = {left.data(), right.data()};
  ComputeKaraoke(channels, 256, &karaoke_);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(left[i], l[i] - r[i]);
  EXPECT_EQ(right, r);
  EXPECT_EQ(bass_[0][0], 12.0f);  // no band split: the bass buffers are not written
}

TEST_F(KaraokeRecord, LongBlocksAreCutToTheBassBuffers) {
  std::vector<float> left(600, 1000.0f), right(600, 0.0f);
  float* const channels[2] = {left.data(), right.data()};
  bass_[0].assign(300, -1.0f);
  ComputeKaraoke(channels, 600, &karaoke_);
  for (int i = 256; i < 300; ++i) EXPECT_EQ(bass_[0][i], -1.0f);  // nothing past 256
  EXPECT_EQ(left[300], 1000.0f);                                  // not processed
  EXPECT_NE(left[100], 1000.0f);
}

TEST_F(KaraokeRecord, ButterworthFlagReachesAllFourFiltersAndClearsThem) {
  karaoke_.lowBand[1].sectionState[0].y1 = 5.0;
  SetKaraoke_UseButterworth(&karaoke_, 1);
  UpdateKaraoke(&karaoke_);
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_EQ(karaoke_.lowBand[ch].useButterworth, 1);
    EXPECT_EQ(karaoke_.highBand[ch].useButterworth, 1);
  }
  EXPECT_EQ(karaoke_.lowBand[1].sectionState[0].y1, 0.0);
  // Butterworth stages at order 4: two different sections, sum of bands still flat in level at
  // the crossover's far ends.
  EXPECT_NE(karaoke_.lowBand[0].sections[0].a2, karaoke_.lowBand[0].sections[1].a2);
}

TEST_F(KaraokeRecord, UnsetRateIsReported) {
  TraceCapture trace;
  Karaoke fresh;
  DefaultKaraoke(&fresh);
  UpdateKaraoke(&fresh);
  EXPECT_EQ(trace.Text().rfind("UpdateKaraoke: Hey.  samplingFrequency=-1 not set !\n", 0), 0u);
  EXPECT_EQ(fresh.modified, 0);
}

}  // namespace
