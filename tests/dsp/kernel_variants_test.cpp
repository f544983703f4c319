// The vector variants against the plain ones: same bits on random blocks of random lengths
// and alignments, including the awkward values (NaN, infinities, subnormals, -0, far out of
// the 16-bit range).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dsp/kernels.h"

namespace {

class KernelVariants : public ::testing::TestWithParam<KernelVariant> {
 protected:
  void SetUp() override {
    vector_ = BlockKernelsFor(GetParam());
    if (!vector_) GTEST_SKIP() << "this processor cannot run the variant";
    plain_ = BlockKernelsFor(kKernelPlain);
  }

  float RandomSample() {
    switch (std::uniform_int_distribution<int>(0, 19)(random_)) {
      case 0:
        return std::numeric_limits<float>::quiet_NaN();
      case 1:
        return std::uniform_int_distribution<int>(0, 1)(random_) ? INFINITY : -INFINITY;
      case 2:
        return std::uniform_real_distribution<float>(-1e-38f, 1e-38f)(random_);  // subnormal
      case 3:
        return -0.0f;
      case 4:
        return std::uniform_real_distribution<float>(-1e9f, 1e9f)(random_);
      case 5:  // exact halves around the rounding ties
        return std::uniform_int_distribution<int>(-70000, 70000)(random_) * 0.5f;
      default:
        return std::uniform_real_distribution<float>(-40000.0f, 40000.0f)(random_);
    }
  }

  std::vector<float> RandomBlock(int n) {
    std::vector<float> block(n + 8);
    for (float& v : block) v = RandomSample();
    return block;
  }

  // Same bits, except that any NaN matches any NaN (which operand's payload a NaN result
  // carries depends on the compiler's operand order, not on the kernel).
  static bool SameBits(const float* a, const float* b, int n) {
    for (int i = 0; i < n; ++i) {
      if (std::isnan(a[i]) && std::isnan(b[i])) continue;
      if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return false;
    }
    return true;
  }

  const BlockKernelTable* vector_ = nullptr;
  const BlockKernelTable* plain_ = nullptr;
  std::mt19937 random_{20240607};
};

TEST_P(KernelVariants, ArithmeticAndPeakGiveTheSameBits) {
  for (int round = 0; round < 400; ++round) {
    const int n = std::uniform_int_distribution<int>(0, 300)(random_);
    const int offset = std::uniform_int_distribution<int>(0, 7)(random_);  // any alignment
    SCOPED_TRACE(testing::Message()
                 << "round " << round << " length " << n << " offset " << offset);
    std::vector<float> a = RandomBlock(n), b = RandomBlock(n);
    const float* pa = a.data() + offset % 8;
    const float* pb = b.data() + (offset * 3) % 8;
    const float k = RandomSample(), k2 = RandomSample();
    std::vector<float> expect(n + 1), got(n + 1);

    auto same = [&](const char* what, auto run) {
      run(plain_, expect.data());
      run(vector_, got.data());
      EXPECT_TRUE(SameBits(expect.data(), got.data(), n)) << what << " " << k << " " << k2;
    };
    same("scale", [&](const BlockKernelTable* t, float* y) { t->scale(pa, y, n, k); });
    same("add", [&](const BlockKernelTable* t, float* y) { t->add(pa, pb, y, n); });
    same("subtract", [&](const BlockKernelTable* t, float* y) { t->subtract(pa, pb, y, n); });
    same("weighted sum",
         [&](const BlockKernelTable* t, float* y) { t->weightedSum(pa, pb, y, n, k, k2); });

    float startPeak = std::uniform_int_distribution<int>(0, 1)(random_) ? 1.0f : 30000.0f;
    float peakPlain = startPeak, peakVector = startPeak;
    plain_->peak(pa, n, &peakPlain);
    vector_->peak(pa, n, &peakVector);
    EXPECT_TRUE(SameBits(&peakPlain, &peakVector, 1)) << peakPlain << " " << peakVector;

    // In place, as the engine uses them.
    std::vector<float> inPlace(pa, pa + n);
    std::vector<float> inPlaceVector = inPlace;
    plain_->scale(inPlace.data(), inPlace.data(), n, k);
    vector_->scale(inPlaceVector.data(), inPlaceVector.data(), n, k);
    EXPECT_TRUE(SameBits(inPlace.data(), inPlaceVector.data(), n)) << "scale in place";
  }
}

TEST_P(KernelVariants, StereoConversionsGiveTheSameValues) {
  for (int round = 0; round < 400; ++round) {
    const int frames = std::uniform_int_distribution<int>(0, 300)(random_);
    SCOPED_TRACE(testing::Message() << "round " << round << " frames " << frames);
    std::vector<float> left = RandomBlock(frames), right = RandomBlock(frames);
    std::vector<int16_t> expect(2 * frames + 2, 7), got(2 * frames + 2, 7);
    plain_->floatToStereo16(left.data() + 1, right.data() + 3, expect.data(), frames);
    vector_->floatToStereo16(left.data() + 1, right.data() + 3, got.data(), frames);
    EXPECT_EQ(expect, got);

    std::vector<int16_t> pcm(2 * frames + 2);
    for (int16_t& v : pcm) v = static_cast<int16_t>(random_());
    std::vector<float> l1(frames + 1, 5.0f), r1(frames + 1, 5.0f), l2 = l1, r2 = r1;
    plain_->stereo16ToFloat(pcm.data() + 2, l1.data(), r1.data(), frames);
    vector_->stereo16ToFloat(pcm.data() + 2, l2.data(), r2.data(), frames);
    EXPECT_EQ(l1, l2);
    EXPECT_EQ(r1, r2);
  }
}

INSTANTIATE_TEST_SUITE_P(Vector, KernelVariants, ::testing::Values(kKernelSse2, kKernelAvx2),
                         [](const testing::TestParamInfo<KernelVariant>& info) {
                           return std::string(info.param == kKernelSse2 ? "Sse2" : "Avx2");
                         });

TEST(KernelSelection, PicksTheBestVariantAndDispatchesToIt) {
  const KernelVariant best = BlockKernelsFor(kKernelAvx2)   ? kKernelAvx2
                             : BlockKernelsFor(kKernelSse2) ? kKernelSse2
                                                            : kKernelPlain;
  EXPECT_EQ(SelectBlockKernels(), best);
  EXPECT_EQ(ActiveKernelVariant(), best);

  ASSERT_EQ(SetBlockKernelVariant(kKernelPlain), 1);
  EXPECT_EQ(ActiveKernelVariant(), kKernelPlain);
  const float in[3] = {1.5f, -2.0f, 40000.0f};
  float out[3];
  ComputeScale(in, out, 3, 2.0f);
  EXPECT_EQ(out[2], 80000.0f);
  SelectBlockKernels();
}

}  // namespace
