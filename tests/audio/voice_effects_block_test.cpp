// The voice effects in the processing block: the microphone through the chosen preset, mixed
// over the music, with the window thread's changes picked up at the next sub-block.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"

namespace {

constexpr int kBlock = 4096;

class VoiceEffectsBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
    DefaultSoundBlock();
    DefaultKaraokeStage();
    SetMicFilterSwitch(kMicHighPass, 0);
    SetMicFilterSwitch(kMicNotch60, 0);
    format_.wBitsPerSample = 16;
    sndCompleteWaveFormatEx(&format_);
  }
  void TearDown() override {
    FreeSoundBlockBuffers();
    DefaultSoundBlock();
  }

  // Plays the microphone (left input channel) without CD; returns the left output.
  std::vector<int16_t> Play(const std::vector<int16_t>& mic, std::vector<int16_t>* right) {
    std::vector<int16_t> in(2 * kBlock), out(2 * kBlock), left;
    right->clear();
    for (size_t pos = 0; pos < mic.size(); pos += kBlock) {
      for (int i = 0; i < kBlock; ++i) in[2 * i] = pos + i < mic.size() ? mic[pos + i] : 0;
      ProcessSoundBlock(in.data(), out.data(), kBlock, &format_, 0, &stereoWasMono_);
      for (int i = 0; i < kBlock; ++i) {
        left.push_back(out[2 * i]);
        right->push_back(out[2 * i + 1]);
      }
    }
    return left;
  }

  WAVEFORMATEX format_;
  int stereoWasMono_ = 1;
};

double Rms(const std::vector<int16_t>& x, size_t from, size_t count) {
  double e = 0.0;
  for (size_t i = from; i < from + count; ++i) e += static_cast<double>(x[i]) * x[i];
  return std::sqrt(e / count);
}

TEST_F(VoiceEffectsBlock, CanyonEchoIsMixedOverTheOutput) {
  SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXPreset, 4.0f);
  SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXVariation, 1.0f);
  std::vector<int16_t> mic(4 * 26460, 0);
  for (int i = 0; i < 882; ++i)
    mic[i] = static_cast<int16_t>(16000.0 * std::sin(kTwoPi * 200.0 * i / 44100.0));
  std::vector<int16_t> right;
  const std::vector<int16_t> left = Play(mic, &right);
  EXPECT_EQ(soundBlock.voiceFX.presetNumber, 4);
  EXPECT_EQ(left, right);
  EXPECT_EQ(Rms(left, 0, 882), 0.0);  // the dry voice is the sound card's own business
  const double first = Rms(left, 26460, 882), second = Rms(left, 2 * 26460, 882);
  EXPECT_NEAR(first, 16000.0 / std::sqrt(2.0) * 0.25, 100.0);
  EXPECT_NEAR(second / first, 0.891, 0.02);
}

TEST_F(VoiceEffectsBlock, BypassAndSilentPresetsLeaveOnlyTheMusic) {
  const std::vector<int16_t> mic(2 * kBlock, 12000);
  std::vector<int16_t> right;
  SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXPreset, 7.0f);
  std::vector<int16_t> left = Play(mic, &right);
  EXPECT_GT(Rms(left, kBlock, kBlock), 100.0);  // the robot speaks
  // Bypass, then a preset without output.
  for (int silent : {0, 1}) {
    soundBlock.voiceFX.bypass = 1 - silent;
    if (silent) SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXPreset, 10.0f);
    left = Play(mic, &right);
    for (size_t i = 0; i < left.size(); ++i) ASSERT_TRUE(left[i] == 0 && right[i] == 0) << i;
  }
}

}  // namespace
