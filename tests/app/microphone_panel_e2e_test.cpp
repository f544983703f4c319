// The real program under Xvfb with a sung voice as the simulated card's microphone and the
// engine monitoring the dry voice: real X clicks on the Robot button turn what the card plays
// into the robot's resonances, and a second click brings back the dry voice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QSettings>
#include <cmath>
#include <memory>

#include "dsp/voicefx.h"
#include "tests/app/drive_program.h"
#include "tests/app/wav_analysis.h"
#include "tests/audio_io/audio_test_util.h"

namespace {

constexpr int kRate = 44100;

// A sung vowel, as left and right of a stereo signal: a pulse train gliding between about 105
// and 155 Hz with vibrato, shaped by three formants, with a little breath noise.
std::vector<int16_t> SungVowel(int seconds) {
  std::vector<int16_t> voice(2 * size_t(seconds) * kRate);
  const double formants[3][2] = {{700, 130}, {1220, 70}, {2600, 160}};  // Hz, bandwidth
  double phase = 0.0;
  uint32_t noise = 12345;
  for (size_t n = 0; n < voice.size() / 2; ++n) {
    const double t = double(n) / kRate;
    const double f0 = 130 + 25 * std::sin(2 * M_PI * 0.7 * t) + 3 * std::sin(2 * M_PI * 5.5 * t);
    phase += 2 * M_PI * f0 / kRate;
    noise = noise * 1664525u + 1013904223u;
    double x = 0.02 * (double(noise >> 8) / double(1u << 24) - 0.5);
    for (int k = 1; k * f0 < 4000.0; ++k) {
      double gain = 0.2;
      for (const auto& f : formants) {
        const double d = (k * f0 - f[0]) / f[1];
        gain += 1.0 / (1.0 + d * d);
      }
      x += gain / k * std::sin(k * phase);
    }
    voice[2 * n] = voice[2 * n + 1] = int16_t(std::lround(4500.0 * x));
  }
  return voice;
}

// Share of the power of one second of the left channel between 100 Hz and 4 kHz (1 Hz bins)
// that lies within 3 Hz of a harmonic of one of the fundamentals.
double HarmonicShare(const std::vector<int16_t>& stereo, size_t frame,
                     const std::vector<double>& fundamentals) {
  double all = 0.0, harmonic = 0.0;
  for (int f = 100; f <= 4000; ++f) {
    const double c = 2.0 * std::cos(2 * M_PI * f / kRate);  // Goertzel, Hann window
    double s1 = 0.0, s2 = 0.0;
    for (int i = 0; i < kRate; ++i) {
      const double s =
          stereo[2 * (frame + i)] * (0.5 - 0.5 * std::cos(2 * M_PI * i / kRate)) + c * s1 - s2;
      s2 = s1;
      s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    all += power;
    for (double f0 : fundamentals) {
      if (std::fabs(f - std::round(f / f0) * f0) <= 3.0) {
        harmonic += power;
        break;
      }
    }
  }
  return harmonic / all;
}

class MicrophonePanelEndToEnd : public ScratchFolderTest {};

TEST_F(MicrophonePanelEndToEnd, ClickingRobotTurnsTheVoiceIntoTheRobotAndAgainBackToTheDryVoice) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  const std::vector<int16_t> voice = SungVowel(30);
  const std::string voicePath = (root_ / "voice.wav").string();
  ASSERT_TRUE(testutil::WriteWav(voicePath, kRate, 2, 16, voice.data(), int32_t(voice.size())));
  // The engine mixes the dry voice itself, so the card's output carries it.
  QSettings(QString::fromStdString((root_ / "config" / "sorn-karaoke.ini").string()),
            QSettings::IniFormat)
      .setValue("Software/Sorn & Kelvig/Sorn Karaoke/Monitoring", "software");
  const QStringList steps = {"mark robot", ClickAt(1048), "wait 3",
                             "mark dry",   ClickAt(1048), "wait 3"};
  std::string log;
  ASSERT_EQ(DriveProgram(root_.string(), steps, &log,
                         {"SORN_SIM_INPUT=" + QString::fromStdString(voicePath)}),
            0)
      << log;
  EXPECT_THAT(log, ::testing::HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));
  const std::vector<int16_t> played = WavSamples((root_ / "out.wav").string());
  auto marks = ReadMarks(root_.string());
  const size_t robot = marks["robot"] + kRate * 3 / 2, dry = marks["dry"] + kRate * 3 / 2;
  ASSERT_GE(played.size(), 2 * (dry + kRate)) << log;

  // Where in the voice the output at a frame may come from: up to 3 s earlier.
  auto earlier = [](size_t frame) { return frame > 3 * kRate ? frame - 3 * kRate : 0; };
  // The dry voice as sung, a little later than it was taken in.
  const Match dryMatch = BestMatch(played, dry, voice, 4096, earlier(dry), dry + 1);
  EXPECT_GT(dryMatch.correlation, 0.98);
  // The robot: no longer the voice; its spectrum gathers at the harmonics of its three combs,
  // far more than that of the voice taken in then.
  EXPECT_LT(BestMatch(played, robot, voice, 4096, earlier(robot), robot + 1).correlation, 0.8);
  auto fx = std::make_unique<VoiceFX>();
  DefaultVoiceFX(fx.get());
  SetVoiceFX_SamplingFrequency(fx.get(), kRate);
  SetVoiceFX_Preset(fx.get(), 7);
  std::vector<double> combs;
  for (const auto& row : fx->bank) combs.push_back(double(kRate) / row[0].lineLength);
  const double robotShare = HarmonicShare(played, robot, combs);
  EXPECT_GT(robotShare, 0.4);
  EXPECT_GT(robotShare, 3.0 * HarmonicShare(voice, robot - (dry - dryMatch.offset), combs));
}

}  // namespace
