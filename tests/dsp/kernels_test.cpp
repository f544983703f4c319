#include "dsp/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/karaoke.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Runs the output conversion on a pair of values under every available variant.
std::vector<int16_t> ToStereo16(const std::vector<float>& left, const std::vector<float>& right,
                                KernelVariant variant) {
  std::vector<int16_t> pcm(2 * left.size() + 2, 0x5A5A);
  BlockKernelsFor(variant)->floatToStereo16(left.data(), right.data(), pcm.data(),
                                            static_cast<int>(left.size()));
  return pcm;
}

std::vector<KernelVariant> AvailableVariants() {
  std::vector<KernelVariant> variants;
  for (KernelVariant v : {kKernelPlain, kKernelSse2, kKernelAvx2})
    if (BlockKernelsFor(v)) variants.push_back(v);
  return variants;
}

TEST(OutputConversion, RoundsToNearestEvenAndClipsSymmetrically) {
  // Nine values so the vector variants run both their vector body and their tail.
  const std::vector<float> left = {40000.0f, -40000.0f, -32768.0f, 32767.5f,   -32767.5f,
                                   2.5f,     -2.5f,     3.5f,      0.49999997f};
  const std::vector<float> right = {kNaN, kInf, -kInf, 1.5f, -1.5f, 0.5f, -0.75f, 3e9f, -3e9f};
  const std::vector<int16_t> expectLeft = {32767, -32767, -32767, 32767, -32767, 2, -2, 4, 0};
  const std::vector<int16_t> expectRight = {0, 32767, -32767, 2, -2, 0, -1, 32767, -32767};
  for (KernelVariant v : AvailableVariants()) {
    SCOPED_TRACE(BlockKernelsFor(v)->name);
    const std::vector<int16_t> pcm = ToStereo16(left, right, v);
    for (size_t i = 0; i < left.size(); ++i) {
      EXPECT_EQ(pcm[2 * i], expectLeft[i]) << "left " << i;
      EXPECT_EQ(pcm[2 * i + 1], expectRight[i]) << "right " << i;
    }
    EXPECT_EQ(pcm[2 * left.size()], 0x5A5A) << "wrote past the block";
  }
}

TEST(InputConversion, SixteenBitStereoKeepsValuesAndChannelOrder) {
  std::vector<int16_t> pcm;
  for (int i = 0; i < 11; ++i) {
    pcm.push_back(static_cast<int16_t>(i % 2 ? -32768 : 32767 - i));
    pcm.push_back(static_cast<int16_t>(-i));
  }
  for (KernelVariant v : AvailableVariants()) {
    SCOPED_TRACE(BlockKernelsFor(v)->name);
    std::vector<float> left(12, 99.0f), right(12, 99.0f);
    BlockKernelsFor(v)->stereo16ToFloat(pcm.data(), left.data(), right.data(), 11);
    for (int i = 0; i < 11; ++i) {
      EXPECT_EQ(left[i], static_cast<float>(pcm[2 * i]));
      EXPECT_EQ(right[i], static_cast<float>(-i));
    }
    EXPECT_EQ(left[11], 99.0f);
  }
}

TEST(InputConversion, EightBitStereoIsOffsetBy128) {
  const uint8_t pcm[6] = {0, 255, 128, 127, 1, 129};
  float left[3], right[3];
  ComputeStereo8ToFloat(pcm, left, right, 3);
  const float expectLeft[3] = {-128.0f, 0.0f, -127.0f}, expectRight[3] = {127.0f, -1.0f, 1.0f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(left[i], expectLeft[i]) << i;
    EXPECT_EQ(right[i], expectRight[i]) << i;
  }
}

TEST(RecordConversion, TruncatesTowardZeroAndLimitsAsymmetrically) {
  const float in[8] = {-40000.0f, 40000.0f, 1.9f, -1.9f, 32767.9f, -32768.9f, -32768.0f, kNaN};
  int16_t pcm[8];
  ComputeFloatToPcm16(in, pcm, 8, 1);
  const int16_t expected[8] = {-32768, 32767, 1, -1, 32767, -32768, -32768, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(pcm[i], expected[i]) << i;

  // Without the limit the integer part wraps to 16 bits.
  const float wide[3] = {32768.0f, -32769.5f, 65537.2f};
  ComputeFloatToPcm16(wide, pcm, 3, 0);
  const int16_t wrapped[3] = {-32768, 32767, 1};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pcm[i], wrapped[i]) << i;
}

TEST(Peak, KeepsTheLargerOfPreviousAndBlockIgnoringNaN) {
  std::vector<float> block = {1.0f, -7.5f, 3.0f, kNaN, 2.0f, -1.0f, 0.0f, 6.0f, 5.0f};
  for (KernelVariant v : AvailableVariants()) {
    SCOPED_TRACE(BlockKernelsFor(v)->name);
    float peak = 1.0f;
    BlockKernelsFor(v)->peak(block.data(), 9, &peak);
    EXPECT_EQ(peak, 7.5f);
    peak = 100.0f;
    BlockKernelsFor(v)->peak(block.data(), 9, &peak);
    EXPECT_EQ(peak, 100.0f);
    // The largest magnitude in the tail (past the last whole vector) counts too.
    block[8] = -50.0f;
    peak = 0.0f;
    BlockKernelsFor(v)->peak(block.data(), 9, &peak);
    EXPECT_EQ(peak, 50.0f);
    block[8] = 5.0f;
  }
  float peak = 2.0f;
  const float a[2] = {-3.0f, 1.0f}, b[2] = {0.5f, -9.0f};
  const float* channels[2] = {a, b};
  ComputeMaxAbs(channels, 2, 2, &peak);
  EXPECT_EQ(peak, 9.0f);
}

TEST(ArithmeticKernels, ComputeInDoubleAndRoundOnce) {
  // a * ka is 1 + 2^-22 + 2^-46: a float product drops the 2^-46 and the sum becomes 0; in
  // double the sum keeps it.
  const float a[1] = {1.0f + 0x1p-23f}, b[1] = {-1.0f};
  float out[1];
  ComputeWeightedSum(a, b, out, 1, 1.0f + 0x1p-23f, 1.0f + 0x1p-22f);
  EXPECT_EQ(out[0], 0x1p-46f);
  const float c[1] = {0.1f}, d[1] = {0.2f};
  ComputeWeightedSum(c, d, out, 1, 3.0f, 7.0f);
  EXPECT_EQ(out[0], static_cast<float>(0.1f * 3.0 + 0.2f * 7.0));

  float y[2] = {1.0f, 2.0f};
  const float x[2] = {3.0f, 4.0f};
  ComputeMultiplyAdd(x, y, 2, 0.5f);
  EXPECT_EQ(y[0], 2.5f);
  EXPECT_EQ(y[1], 4.0f);
  ComputeMultiply(x, x, y, 2);
  EXPECT_EQ(y[1], 16.0f);
  ComputeMultiplyAccumulate(x, x, y, 2);
  EXPECT_EQ(y[1], 32.0f);
  ComputeRingModulate(x, x, y, 2);  // (1 + b) * a
  EXPECT_EQ(y[0], 12.0f);
  ComputeSumScale(x, x, y, 2, 0.25f);
  EXPECT_EQ(y[1], 2.0f);
  ComputeSubtract(x, x, y, 2);
  EXPECT_EQ(y[0], 0.0f);
}

TEST(ScaleRamp, StepsTheGainFromTheStartValue) {
  const float in[4] = {100.0f, 100.0f, 100.0f, 100.0f};
  float out[4];
  ComputeScaleRamp(in, out, 4, 1.0f, -0.25f);
  EXPECT_EQ(out[0], 100.0f);
  EXPECT_EQ(out[1], 75.0f);
  EXPECT_EQ(out[2], 50.0f);
  EXPECT_EQ(out[3], 25.0f);
}

TEST(Limiters, ClipFloorCeilingAndFolds) {
  const float in[5] = {-5.0f, -2.0f, 0.5f, 2.0f, 5.0f};
  float out[5];
  auto expect = [&](std::initializer_list<float> values) {
    int i = 0;
    for (float v : values) EXPECT_EQ(out[i++], v) << "sample " << i - 1;
  };
  ComputeClip(in, out, 5, 2.0f);
  expect({-2.0f, -2.0f, 0.5f, 2.0f, 2.0f});
  ComputeFloor(in, out, 5, 0.5f);
  expect({0.5f, 0.5f, 0.5f, 2.0f, 5.0f});
  ComputeCeiling(in, out, 5, 0.5f);
  expect({-5.0f, -2.0f, 0.5f, 0.5f, 0.5f});
  ComputeFold(in, out, 5, 3.0f);
  expect({-1.0f, -2.0f, 0.5f, 2.0f, 1.0f});
  ComputeFoldBelow(in, out, 5, 1.0f);
  expect({7.0f, 4.0f, 1.5f, 2.0f, 5.0f});
  ComputeFoldAbove(in, out, 5, 1.0f);
  expect({-5.0f, -2.0f, 0.5f, 0.0f, -3.0f});
}

TEST(DelaySamples, DelaysAcrossBlocksInPlaceForEveryDistance) {
  for (int d = 1; d <= 9; ++d) {
    SCOPED_TRACE(d);
    std::vector<float> state(d, 0.0f);
    std::vector<float> signal;
    std::vector<float> delayed;
    int next = 1;
    for (int length : {5, 1, 8, 3, 16}) {
      std::vector<float> block(length);
      for (float& v : block) v = static_cast<float>(next++);
      signal.insert(signal.end(), block.begin(), block.end());
      ComputeDelaySamples(block.data(), block.data(), length, state.data(), d);
      delayed.insert(delayed.end(), block.begin(), block.end());
    }
    for (size_t i = 0; i < signal.size(); ++i)
      EXPECT_EQ(delayed[i], i < static_cast<size_t>(d) ? 0.0f : signal[i - d]) << i;
  }
}

TEST(RateChange, HalveAveragesPairsAndDoubleInterpolatesWithCarry) {
  const float in[6] = {1.0f, 3.0f, -2.0f, 2.0f, 10.0f, 11.0f};
  float half[3];
  ComputeHalve(in, half, 6);
  const float averages[3] = {2.0f, 0.0f, 10.5f};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(half[i], averages[i]) << i;

  // A constant block doubles to the same constant (once the carry holds it).
  float carry = 7.0f;
  const float constant[4] = {7.0f, 7.0f, 7.0f, 7.0f};
  float twice[8];
  ComputeDouble(constant, twice, 4, &carry);
  for (float v : twice) EXPECT_EQ(v, 7.0f);

  const float ramp[3] = {2.0f, 4.0f, 8.0f};
  float out[6];
  carry = 0.0f;
  ComputeDouble(ramp, out, 3, &carry);
  const float expected[6] = {1.0f, 2.0f, 3.0f, 4.0f, 6.0f, 8.0f};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], expected[i]) << i;
  EXPECT_EQ(carry, 8.0f);
}

TEST(TestToneKernel, Is440HzSineOfTheGivenAmplitudeStartingAtZero) {
  TestTone tone;
  std::vector<float> out(44100);
  ComputeTestTone(out.data(), 22050, 2.0f, &tone);
  ComputeTestTone(out.data() + 22050, 22050, 2.0f, &tone);  // runs on across calls
  EXPECT_NEAR(out[0], 0.0f, 1e-3f);
  EXPECT_GT(out[1], 0.0f);
  int upward = 0;
  float peak = 0.0f;
  for (size_t i = 2; i < out.size(); ++i) {  // past the start at zero
    if (out[i - 1] < 0.0f && out[i] >= 0.0f) ++upward;
    peak = std::max(peak, std::fabs(out[i]));
  }
  EXPECT_EQ(upward, 439);
  EXPECT_NEAR(peak, 2.0f * 8191.75f, 1.0f);
}

TEST(OtherKernels, CrossfadeLayoutsAndSliderGain) {
  const float a[3] = {1.0f, 1.0f, 1.0f}, b[3] = {2.0f, 2.0f, 2.0f};
  const float phase[3] = {0.0f, 0.5f, 1.0f};
  float out[3];
  ComputeCrossfadeAbs(a, b, phase, out, 3);
  EXPECT_FLOAT_EQ(out[0], 2.0f);
  EXPECT_FLOAT_EQ(out[1], 1.0f);
  EXPECT_FLOAT_EQ(out[2], 2.0f);

  EXPECT_FLOAT_EQ(SliderToGain(7.0f), 1.0000001f);
  EXPECT_FLOAT_EQ(SliderToGain(3.5f), 0.25f);

  const uint8_t bytes[4] = {0, 127, 255, 128};
  float c0[2], c1[2];
  float* channels[2] = {c0, c1};
  ComputeInterleaved8ToFloat(bytes, channels, 2, 2);
  EXPECT_EQ(c0[0], -127.0f);
  EXPECT_EQ(c1[0], 0.0f);
  EXPECT_EQ(c0[1], 128.0f);

  const float f0[2] = {-200.0f, 126.6f}, f1[2] = {300.0f, -0.5f};
  const float* floats[2] = {f0, f1};
  uint8_t packed[4];
  ComputeFloatToInterleaved8(floats, 2, packed, 2, 1);
  EXPECT_EQ(packed[0], 0);
  EXPECT_EQ(packed[1], 255);
  EXPECT_EQ(packed[2], 254);
  EXPECT_EQ(packed[3], 128);

  int16_t l[2] = {1, 2}, r[2] = {-1, -2}, joined[4], l2[2], r2[2];
  ComputeJoinStereo16(l, r, joined, 2);
  ComputeSplitStereo16(joined, l2, r2, 2);
  EXPECT_EQ(joined[1], -1);
  EXPECT_EQ(l2[1], 2);
  EXPECT_EQ(r2[1], -2);

  int16_t wide[2];
  const uint8_t narrow[2] = {0, 255};
  ComputeWiden8To16(narrow, wide, 2);
  EXPECT_EQ(wide[0], -32768);
  EXPECT_EQ(wide[1], 32512);

  int8_t ramp8[3];
  ComputeIndexRamp(ramp8, 3, 100);
  EXPECT_EQ(ramp8[2], static_cast<int8_t>(200));
}

TEST(BalanceGains, ConstantPowerFromLeftToRight) {
  const struct {
    float balance, left, right;
  } cases[] = {{-1.0f, 1.0f, 0.0f}, {0.0f, 0.70710677f, 0.70710677f}, {1.0f, 0.0f, 1.0f}};
  float gains[2];
  for (const auto& c : cases) {
    StereoBalanceGains(c.balance, gains);
    EXPECT_NEAR(gains[0], c.left, 1e-7f) << c.balance;
    EXPECT_NEAR(gains[1], c.right, 1e-7f) << c.balance;
  }
  StereoBalanceGains(0.5f, gains);
  EXPECT_FLOAT_EQ(gains[0] * gains[0] + gains[1] * gains[1], 1.0f);
}

}  // namespace
