// Voice reduction measured where the listener hears it: generated stereo music through
// ProcessSoundBlock, karaoke on against karaoke off, on the 16-bit output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 4096;

// The music the block pulls: a function of the frame number per channel.
struct GeneratedMusic {
  std::function<float(long, int)> sample;
  long frame = 0;
};
GeneratedMusic music;

void GeneratedSource(float* const channels[2], int bytes) {
  for (int i = 0; i < bytes / 4; ++i, ++music.frame) {
    channels[0][i] = music.sample(music.frame, 0);
    channels[1][i] = music.sample(music.frame, 1);
  }
}

std::function<float(long, int)> Tone(double frequency, float left, float right) {
  return [=](long n, int ch) {
    return static_cast<float>((ch ? right : left) * std::sin(kTwoPi * frequency * n / kRate));
  };
}

struct Output {
  std::vector<int16_t> pcm;  // interleaved
  double Power(int ch, long from) const {
    double e = 0.0;
    const long frames = static_cast<long>(pcm.size() / 2);
    for (long i = from; i < frames; ++i)
      e += static_cast<double>(pcm[2 * i + ch]) * pcm[2 * i + ch];
    return e / (frames - from);
  }
  double TotalPower(long from) const { return Power(0, from) + Power(1, from); }
};

// Keeps a measured figure in the test report (--gtest_output=xml).
void Record(const std::string& key, double value) {
  ::testing::Test::RecordProperty(key, std::to_string(value));
}

double Db(double powerRatio) {
  return 10.0 * std::log10(powerRatio);
}

class KaraokeBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
    DefaultSoundBlock();
    DefaultKaraokeStage();
    soundBlock.musicSource = GeneratedSource;
  }
  void TearDown() override {
    FreeSoundBlockBuffers();
    DefaultSoundBlock();
    DefaultKaraokeStage();
  }

  // Plays `frames` of the music from its start with karaoke on or off, as a fresh run (the
  // first block after no CD), without microphone.
  Output Play(std::function<float(long, int)> sample, bool karaoke, long frames = 65536) {
    music = GeneratedMusic{std::move(sample)};
    soundBlock.karaokeOn = karaoke ? 1 : 0;
    stereoWasMono_ = 1;  // as at the streaming thread's start
    std::vector<int16_t> silence(2 * kBlock);
    ProcessSoundBlock(nullptr, silence.data(), kBlock, nullptr, 0, &stereoWasMono_);
    music.frame = 0;
    Output out;
    out.pcm.resize(2 * frames);
    for (long pos = 0; pos < frames; pos += kBlock)
      ProcessSoundBlock(nullptr, out.pcm.data() + 2 * pos, kBlock, nullptr, 1, &stereoWasMono_);
    return out;
  }

  // Gain of karaoke on against off, in dB of the power summed over both channels.
  double OnAgainstOff(std::function<float(long, int)> sample) {
    const double off = Play(sample, false).TotalPower(kBlock * 4);
    const double on = Play(sample, true).TotalPower(kBlock * 4);
    return Db(on / off);
  }

  int stereoWasMono_ = 1;
};

// The digital response of the crossover's low band (two identical sections) at f.
double LowBandDb(double f) {
  const IIR2Section& s = karaokeStage.karaoke.lowBand[0].sections[0];
  const std::complex<double> z = std::polar(1.0, -kTwoPi * f / kRate);
  const std::complex<double> h = (s.b0 + s.b1 * z + s.b2 * z * z) / (1.0 + s.a1 * z + s.a2 * z * z);
  return 20.0 * std::log10(std::norm(h));  // two sections: |H|^2, in dB of amplitude
}

TEST_F(KaraokeBlock, CentreVocalFallsAboveTheCrossover) {
  const double vocal = OnAgainstOff(Tone(3000.0, 16000.0f, 16000.0f));
  Record("centre_3000Hz_dB", vocal);
  EXPECT_LE(vocal, -60.0);
  // At 1 kHz what is left is the low band, which the bass replace adds back by design.
  const double predicted = LowBandDb(1000.0);
  EXPECT_NEAR(predicted, -41.0, 0.3);
  const double low = OnAgainstOff(Tone(1000.0, 16000.0f, 16000.0f));
  Record("centre_1000Hz_predicted_dB", predicted);
  Record("centre_1000Hz_dB", low);
  EXPECT_NEAR(low, predicted, 0.3);
}

TEST_F(KaraokeBlock, SidesKeepTheirPowerThroughTheStereoGenerator) {
  double worst = 0.0;
  for (double f : {1500.0, 3000.0, 5000.0, 7700.0, 12000.0}) {
    const double left = OnAgainstOff(Tone(f, 12000.0f, 0.0f));
    const double right = OnAgainstOff(Tone(f, 0.0f, 12000.0f));
    EXPECT_NEAR(left, 0.0, 1.0) << f << " Hz left";
    EXPECT_NEAR(right, 0.0, 1.0) << f << " Hz right";
    worst = std::max({worst, std::fabs(left), std::fabs(right)});
  }
  Record("sides_worst_dB", worst);
  EXPECT_EQ(stereoWasMono_, 0);
}

TEST_F(KaraokeBlock, CentreBassComesBackAtUnityInEachChannel) {
  const auto bass = Tone(80.0, 12000.0f, 12000.0f);
  const Output off = Play(bass, false), on = Play(bass, true);
  for (int ch = 0; ch < 2; ++ch) {
    const double gain = Db(on.Power(ch, 4 * kBlock) / off.Power(ch, 4 * kBlock));
    Record(ch ? "bass_80Hz_right_dB" : "bass_80Hz_left_dB", gain);
    EXPECT_NEAR(gain, 0.0, 0.5) << ch;
  }

  SetKaraokeParameter(kKaraokeBassReplaceDB, -20.0f);
  const Output quiet = Play(bass, true);
  EXPECT_NEAR(Db(quiet.Power(0, 4 * kBlock) / off.Power(0, 4 * kBlock)), -20.0, 0.5);
}

TEST_F(KaraokeBlock, CrossoverOffGivesTheDifferenceOverTheWholeBand) {
  SetKaraokeParameter(kKaraokeCrossoverOrder, 0.0f);
  soundBlock.stereoGeneratorOn = 0;
  auto sample = [](long n, int ch) {
    return ch ? static_cast<float>(6000.0 * std::sin(n * 0.3)) + 4000.0f * (n % 7 == 0)
              : static_cast<float>(9000.0 * std::sin(n * 0.01) + 6000.0 * std::sin(n * 0.3));
  };
  const Output out = Play(sample, true, kBlock);
  EXPECT_EQ(karaokeStage.karaoke.lowBand[0].order, 0);
  EXPECT_EQ(karaokeStage.karaoke.highBand[1].order, 0);
  for (long n = 0; n < kBlock; ++n) {
    const double m = (double{sample(n, 0)} - sample(n, 1)) * 0.70710677;
    ASSERT_NEAR(out.pcm[2 * n], m, 1.0) << n;  // both channels carry M, bass included
    ASSERT_EQ(out.pcm[2 * n + 1], out.pcm[2 * n]) << n;
  }
  EXPECT_EQ(stereoWasMono_, 1);

  // A centre signal with the crossover off is silence, generator on or off.
  soundBlock.stereoGeneratorOn = 1;
  const Output centre = Play(Tone(200.0, 15000.0f, 15000.0f), true, 2 * kBlock);
  for (int16_t x : centre.pcm) ASSERT_EQ(x, 0);
}

TEST_F(KaraokeBlock, GeneratorOutputsAreComplementaryAndRestartWithTheWideSpan) {
  // Order 5 and 400-sample bands requested: the first stereo block after mono still uses the
  // 2000-sample restart span, taps at 0, 1600 and 2000 with the middle tap 1600 back.
  SetKaraokeParameter(kStereoGeneratorOrder, 5.0f);
  SetKaraokeParameter(kStereoGeneratorBands, 400.0f);
  SetKaraokeParameter(kKaraokeCrossoverOrder, 0.0f);
  auto noise = [](long n, int ch) {
    uint32_t x = static_cast<uint32_t>(n) * 2654435761u;
    x ^= x >> 13;
    return ch ? 0.0f : static_cast<float>(static_cast<int>(x % 20001) - 10000);
  };
  const Output out = Play(noise, true, 3 * kBlock);
  EXPECT_EQ(karaokeStage.stereoComb.fir.span, kStereoRestartSpan);
  EXPECT_EQ(karaokeStage.stereoComb.fir.bands, 400);
  EXPECT_EQ(karaokeStage.stereoDelay.lineLength, 1600);
  // Left = sqrt2 K, right = sqrt2 (D - K): their sum is sqrt2 D, the music delayed to the
  // middle tap (then both scaled by the centre pan gain).
  const double gain = 1.4142135 * 0.70710677;
  for (long n = 1600; n < 3 * kBlock; ++n) {
    const double sum = static_cast<double>(out.pcm[2 * n]) + out.pcm[2 * n + 1];
    ASSERT_NEAR(sum, noise(n - 1600, 0) * gain, 1.5) << n;
  }

  // The next FIR update ends the restart span; a new restart needs a mono block in between.
  SetKaraokeParameter(kStereoGeneratorBands, 300.0f);
  std::vector<int16_t> pcm(2 * kBlock);
  ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 1, &stereoWasMono_);
  EXPECT_EQ(karaokeStage.stereoComb.fir.span, 1200);
  soundBlock.karaokeOn = 0;
  ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 1, &stereoWasMono_);
  EXPECT_EQ(stereoWasMono_, 1);
  soundBlock.karaokeOn = 1;
  ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 1, &stereoWasMono_);
  EXPECT_EQ(karaokeStage.stereoComb.fir.span, kStereoRestartSpan);
  EXPECT_EQ(stereoWasMono_, 0);
}

TEST_F(KaraokeBlock, GeneratorOffCarriesTheDifferenceOnBothChannels) {
  soundBlock.stereoGeneratorOn = 0;
  // At 6 kHz the bass replace adds next to nothing once the tone has set in: both channels
  // are M.
  const Output out = Play(Tone(6000.0, 10000.0f, 3000.0f), true, 2 * kBlock);
  double energy = 0.0;
  for (long n = 1000; n < 2 * kBlock; ++n) {  // after the tone's onset
    ASSERT_NEAR(out.pcm[2 * n], out.pcm[2 * n + 1], 2) << n;
    energy += std::fabs(out.pcm[2 * n]);
  }
  EXPECT_GT(energy, 0.0);
  EXPECT_EQ(stereoWasMono_, 1);
}

TEST_F(KaraokeBlock, ANewRunStartsFromClearedMemories) {
  music = GeneratedMusic{Tone(90.0, 20000.0f, -20000.0f)};
  soundBlock.karaokeOn = 1;
  std::vector<int16_t> pcm(2 * kBlock);
  for (int b = 0; b < 4; ++b)
    ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 1, &stereoWasMono_);
  ASSERT_EQ(stereoWasMono_, 0);
  ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 0, &stereoWasMono_);  // CD stopped
  music.sample = [](long, int) { return 0.0f; };
  ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 1, &stereoWasMono_);
  for (int16_t x : pcm) ASSERT_EQ(x, 0);  // no tail of the previous run
}

TEST_F(KaraokeBlock, ParameterRequestsAreCheckedAndAppliedAtTheNextSubBlock) {
  SetKaraokeParameter(kKaraokeCrossoverFrequency, 500.0f);
  SetKaraokeParameter(kKaraokeCrossoverFrequency, NAN);  // ignored
  SetKaraokeParameter(kKaraokeUseButterworth, 1.0f);
  EXPECT_EQ(KaraokeParameterValue(kKaraokeCrossoverFrequency), 500.0f);
  EXPECT_EQ(karaokeStage.karaoke.lowBand[0].frequency, 310.0);  // not before the next block
  Play(Tone(1000.0, 1000.0f, 0.0f), true, kBlock);
  EXPECT_EQ(karaokeStage.karaoke.lowBand[1].frequency, 500.0);
  EXPECT_EQ(karaokeStage.karaoke.highBand[0].frequency, 500.0);
  EXPECT_EQ(karaokeStage.karaoke.highBand[0].useButterworth, 1);
  EXPECT_EQ(karaokeStage.pendingParameters.load(), 0);

  // Bands beyond the memory are limited; a span of 2 x 30870 samples keeps the comb inside it.
  SetKaraokeParameter(kStereoGeneratorBands, 1e9f);
  EXPECT_EQ(KaraokeParameterValue(kStereoGeneratorBands), static_cast<float>(kIIIRLineLength));
  std::vector<int16_t> pcm(2 * kBlock);
  for (int b = 0; b < 12; ++b)
    ProcessSoundBlock(nullptr, pcm.data(), kBlock, nullptr, 1, &stereoWasMono_);
  EXPECT_EQ(karaokeStage.stereoComb.fir.span, 2 * kIIIRLineLength);
  EXPECT_LT(karaokeStage.stereoComb.writeIndex, kIIIRLineLength);
  EXPECT_LE(karaokeStage.stereoDelay.lineLength, kIIIRLineLength);
}

}  // namespace
