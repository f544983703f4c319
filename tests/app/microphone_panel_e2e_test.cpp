// The real program under Xvfb with a sung voice as the simulated card's microphone and the
// engine monitoring the dry voice: real X clicks on the Robot button turn what the card plays
// into the robot's resonances, and a second click brings back the dry voice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QSettings>
#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <sstream>

#include "dsp/voicefx.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
#include "tests/app/drive_program.h"
#include "tests/app/wav_analysis.h"
#include "tests/audio_io/audio_test_util.h"
#include "tests/support/scratch_folder.h"

using ::testing::HasSubstr;

namespace {

constexpr int kRate = 44100;

// A sung vowel: a glottal pulse train gliding between about 105 and 155 Hz with vibrato,
// shaped by three formants, with a little breath noise; mono, seconds long.
std::vector<int16_t> SungVowel(int seconds) {
  std::vector<int16_t> voice(static_cast<size_t>(seconds) * kRate);
  const double formants[3][2] = {{700, 130}, {1220, 70}, {2600, 160}};  // Hz, bandwidth
  double phase = 0.0;
  uint32_t noise = 12345;
  for (size_t n = 0; n < voice.size(); ++n) {
    const double t = double(n) / kRate;
    const double f0 =
        130.0 + 25.0 * std::sin(2 * M_PI * 0.7 * t) + 3.0 * std::sin(2 * M_PI * 5.5 * t);
    phase += 2 * M_PI * f0 / kRate;
    double x = 0.0;
    for (int k = 1; k * f0 < 4000.0; ++k) {
      double gain = 0.2;
      for (const auto& f : formants) {
        const double d = (k * f0 - f[0]) / f[1];
        gain += 1.0 / (1.0 + d * d);
      }
      x += gain / k * std::sin(k * phase);
    }
    noise = noise * 1664525u + 1013904223u;
    x += 0.02 * (double(noise >> 8) / double(1u << 24) - 0.5);
    voice[n] = static_cast<int16_t>(std::lround(4500.0 * x));
  }
  return voice;
}

// Share of the power between 100 Hz and 4 kHz (1 Hz bins of one second) that lies within 3 Hz
// of a harmonic of one of the fundamentals.
double HarmonicShare(const std::vector<int16_t>& stereo, size_t frame,
                     const std::vector<double>& fundamentals) {
  std::vector<double> x(kRate);
  for (int i = 0; i < kRate; ++i)
    x[i] = stereo[2 * (frame + i)] * (0.5 - 0.5 * std::cos(2 * M_PI * i / kRate));
  double all = 0.0, harmonic = 0.0;
  for (int f = 100; f <= 4000; ++f) {
    // Goertzel at f.
    const double c = 2.0 * std::cos(2 * M_PI * f / kRate);
    double s1 = 0.0, s2 = 0.0;
    for (double v : x) {
      const double s = v + c * s1 - s2;
      s2 = s1;
      s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    all += power;
    for (double f0 : fundamentals) {
      const double k = std::round(f / f0);
      if (k >= 1 && std::fabs(f - k * f0) <= 3.0) {
        harmonic += power;
        break;
      }
    }
  }
  return all > 0.0 ? harmonic / all : 0.0;
}

// The fundamentals of the robot's three resonating combs, from the preset itself.
std::vector<double> RobotFundamentals() {
  auto fx = std::make_unique<VoiceFX>();
  DefaultVoiceFX(fx.get());
  SetVoiceFX_SamplingFrequency(fx.get(), kRate);
  SetVoiceFX_Preset(fx.get(), 7);
  std::vector<double> fundamentals;
  for (const auto& row : fx->bank) fundamentals.push_back(double(kRate) / row[0].lineLength);
  return fundamentals;
}

// Pixel for pixel (a screenshot carries a colour space that a drawing does not).
bool SamePixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return false;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) return false;
  return true;
}

QString ClickAt(int id) {
  const SkinRect r = FindSkinControl(id)->rect;
  return QString("click %1 %2").arg(r.x + r.width / 2).arg(r.y + r.height / 2);
}

class MicrophonePanelEndToEnd : public ScratchFolderTest {};

TEST_F(MicrophonePanelEndToEnd, ClickingRobotTurnsTheVoiceIntoTheRobotAndAgainBackToTheDryVoice) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  const std::vector<int16_t> voice = SungVowel(30);
  const std::string voicePath = (root_ / "voice.wav").string();
  ASSERT_TRUE(testutil::WriteWav(voicePath, kRate, 1, 16, voice.data(), int32_t(voice.size())));
  {
    // The engine mixes the dry voice itself, so the card's output carries it.
    QSettings ini(QString::fromStdString((root_ / "config" / "sorn-karaoke.ini").string()),
                  QSettings::IniFormat);
    ini.setValue("Software/Sorn & Kelvig/Sorn Karaoke/Monitoring", "software");
  }
  const QStringList steps = {"mark robot", ClickAt(1048), "wait 3", "shot robot",
                             "mark dry",   ClickAt(1048), "wait 3"};
  std::string log;
  ASSERT_EQ(DriveProgram(root_.string(), steps, &log,
                         {"SORN_SIM_INPUT=" + QString::fromStdString(voicePath)}),
            0)
      << log;
  EXPECT_THAT(log, HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));

  const std::vector<int16_t> played = WavSamples((root_ / "out.wav").string());
  std::map<std::string, size_t> marks;
  std::istringstream in(ReadWholeFile(root_ / "marks.txt"));
  std::string name;
  size_t bytes = 0;
  while (in >> name >> bytes) marks[name] = bytes > 44 ? (bytes - 44) / 4 : 0;
  ASSERT_EQ(marks.size(), 2u) << log;
  const size_t robot = marks["robot"] + kRate * 3 / 2, dry = marks["dry"] + kRate * 3 / 2;
  ASSERT_GE(played.size(), 2 * (dry + kRate));

  // The dry voice as sung, a little later than it was taken in.
  std::vector<int16_t> voiceStereo(2 * voice.size());
  for (size_t i = 0; i < voice.size(); ++i) voiceStereo[2 * i] = voiceStereo[2 * i + 1] = voice[i];
  const size_t earliest = dry > 3 * kRate ? dry - 3 * kRate : 0;
  const Match dryMatch = BestMatch(played, dry, voiceStereo, 4096, earliest, dry + 1);
  EXPECT_GT(dryMatch.correlation, 0.98);
  // The robot: no longer the voice; its spectrum gathers at the harmonics of the combs, far more
  // than that of the voice taken in then (which reaches the output as late as the dry stretch
  // shows).
  const Match robotMatch = BestMatch(played, robot, voiceStereo, 4096,
                                     robot > 3 * kRate ? robot - 3 * kRate : 0, robot + 1);
  EXPECT_LT(robotMatch.correlation, 0.8);
  const std::vector<double> fundamentals = RobotFundamentals();
  const size_t delay = dry - dryMatch.offset;
  ASSERT_GT(robot, delay);
  const double robotShare = HarmonicShare(played, robot, fundamentals);
  const double sungShare = HarmonicShare(voiceStereo, robot - delay, fundamentals);
  EXPECT_GT(robotShare, 0.4);
  EXPECT_GT(robotShare, 3.0 * sungShare);

  // The robot's button shows pressed, ConcertHall's (pressed at start-up) released.
  const QImage shot = QImage(QString::fromStdString((root_ / "robot.png").string()))
                          .convertToFormat(QImage::Format_RGB32);
  auto look = [&shot](int id) {
    const SkinRect r = FindSkinControl(id)->rect;
    return shot.copy(r.x, r.y, r.width, r.height);
  };
  auto pressed = [](int index) {
    return LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_MICFX_VOICEFX%1_DOWN").arg(index))
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  };
  EXPECT_TRUE(SamePixels(look(1048), pressed(7)));
  EXPECT_FALSE(SamePixels(look(1041), pressed(0)));
}

}  // namespace
