#include "dsp/voicefx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/dsp/signal_measure.h"
#include "tests/support/trace_capture.h"

namespace {

using measure::kRate;

// Runs the microphone signal through ComputeVoiceFX in 256-sample blocks (the input's other
// channel silent); returns the left output and the right in *right.
std::vector<float> RunFx(VoiceFX* fx, const std::vector<float>& mic,
                         std::vector<float>* right = nullptr) {
  std::vector<float> left(mic.size()), r(mic.size()), other(256, 0.0f), in(256);
  for (size_t pos = 0; pos < mic.size(); pos += 256) {
    const int n = static_cast<int>(std::min<size_t>(256, mic.size() - pos));
    std::copy_n(mic.data() + pos, n, in.data());
    float* const x[2] = {in.data(), other.data()};
    float* const y[2] = {left.data() + pos, r.data() + pos};
    EXPECT_EQ(ComputeVoiceFX(x, y, n, fx), 1);
  }
  if (right) *right = r;
  return left;
}

class VoiceEffects : public ::testing::Test {
 protected:
  void SetUp() override {
    fx_ = std::make_unique<VoiceFX>();
    DefaultVoiceFX(fx_.get());
    SetVoiceFX_SamplingFrequency(fx_.get(), kRate);
    SetVoiceFX_Preset(fx_.get(), 1);
  }

  void Choose(int preset, float variation) {
    SetVoiceFX_Preset(fx_.get(), preset);
    SetVoiceFX_Variation(fx_.get(), variation);
  }

  std::vector<float> Run(const std::vector<float>& mic, std::vector<float>* right = nullptr) {
    return RunFx(fx_.get(), mic, right);
  }

  std::unique_ptr<VoiceFX> fx_;
};

// A loud voice-like signal: a gliding 150..250 Hz fundamental with eight harmonics, in
// syllables.
std::vector<float> Voice(int n) {
  std::vector<float> v(n);
  double phase = 0.0;
  for (int i = 0; i < n; ++i) {
    const double t = i / kRate;
    phase += kTwoPi * (200.0 + 50.0 * std::sin(kTwoPi * 0.3 * t)) / kRate;
    double s = 0.0;
    for (int h = 1; h <= 8; ++h) s += std::sin(h * phase) / h;
    v[i] = static_cast<float>(12500.0 * (0.6 + 0.4 * std::sin(kTwoPi * 3.0 * t)) * s);
  }
  return v;
}

TEST_F(VoiceEffects, NamesAndBogusPresets) {
  for (auto [preset, name] :
       {std::pair{1, "ConcertHall"}, std::pair{8, "Monster"}, std::pair{17, "PitchShift"},
        std::pair{18, ""}, std::pair{21, "Bogus"}, std::pair{0, "Bogus"}})
    EXPECT_STREQ(VoiceFXPresetName(preset), name) << preset;

  Choose(7, 0.8f);
  ASSERT_EQ(fx_->bankCount, 3);
  TraceCapture trace;
  for (int bogus : {9, 0, 21, -3}) SetVoiceFX_Preset(fx_.get(), bogus);
  EXPECT_EQ(trace.Text(),
            "SetVoiceFX_Preset: bogus presetNumber=9\nSetVoiceFX_Preset: bogus presetNumber=0\n"
            "SetVoiceFX_Preset: bogus presetNumber=21\nSetVoiceFX_Preset: bogus "
            "presetNumber=-3\n");
  EXPECT_EQ(fx_->presetNumber, 7);
  EXPECT_EQ(fx_->bankCount, 1);
  EXPECT_EQ(fx_->variation, 0.5f);
}

TEST_F(VoiceEffects, VariationTables) {
  Choose(1, 0.0f);
  EXPECT_FLOAT_EQ(fx_->reverb.wet, 0.0f);
  SetVoiceFX_Variation(fx_.get(), 0.5f);
  EXPECT_FLOAT_EQ(fx_->reverb.wet, 0.15f);
  EXPECT_EQ(fx_->reverb.dry, 0.0f);  // mix 100
  SetVoiceFX_Variation(fx_.get(), 1.0f);
  EXPECT_FLOAT_EQ(fx_->reverb.wet, 0.6f);

  Choose(3, 0.5f);
  EXPECT_FLOAT_EQ(fx_->reverb.decayTime, 5.0f);
  SetVoiceFX_Variation(fx_.get(), 1.0f);
  EXPECT_FLOAT_EQ(fx_->reverb.decayTime, 60.0f);
  SetVoiceFX_Variation(fx_.get(), 0.2f);  // straight from the top to below the middle
  EXPECT_FLOAT_EQ(fx_->reverb.decayTime, 5.0f);

  Choose(4, 0.0f);
  EXPECT_FLOAT_EQ(fx_->echo[0].delayTime, 0.05f);
  EXPECT_FLOAT_EQ(fx_->echo[0].feedback, 0.5f);
  EXPECT_EQ(fx_->echo[0].damping.frequency, 1000.0);
  SetVoiceFX_Variation(fx_.get(), 1.0f);
  EXPECT_FLOAT_EQ(fx_->echo[0].delayTime, 0.6f);
  EXPECT_FLOAT_EQ(fx_->echo[0].feedback, 0.9f);
  EXPECT_EQ(fx_->echo[0].damping.frequency, 6000.0);

  const float high[] = {0.0f, 7.0f, 12.0f}, low[] = {-13.0f, -5.0f, 1.0f},
              monster[] = {-6.0f, -4.0f, -1.0f}, monsterFeedback[] = {0.85f, 0.45f, 0.85f},
              free[] = {-12.0f, 0.0f, 12.0f};
  const int notes[] = {57, 68, 96};
  for (int k = 0; k < 3; ++k) {
    const float v = 0.5f * k;
    Choose(5, v);
    EXPECT_FLOAT_EQ(fx_->pitch[0].semitones, high[k]) << v;
    Choose(6, v);
    EXPECT_FLOAT_EQ(fx_->pitch[0].semitones, low[k]) << v;
    Choose(7, v);
    EXPECT_EQ(fx_->midiNote, notes[k]) << v;
    EXPECT_FLOAT_EQ(fx_->bank[2][0].delayTime,
                    std::pow(2.0f, (24 - notes[k] - 7) * 0.083333336f) * 440.0f * kTwoPi / kRate);
    EXPECT_LT(fx_->bank[1][1].feedback, 0.0f);  // the right channel's rows are negated
    Choose(8, v);
    EXPECT_FLOAT_EQ(fx_->pitch[0].semitones, monster[k]) << v;
    EXPECT_FLOAT_EQ(fx_->pitch[0].feedbackDelay.h[0], monsterFeedback[k]) << v;
    Choose(17, v);
    EXPECT_FLOAT_EQ(fx_->pitch[0].semitones, free[k]) << v;
    EXPECT_FLOAT_EQ(fx_->pitch[1].semitones, free[k]) << v;
    Choose(18, v);
    EXPECT_FLOAT_EQ(fx_->pitch[1].semitones, 6.0f * k);
    Choose(19, v);
    EXPECT_FLOAT_EQ(fx_->pitch[0].semitones, 9.5f * k - 19.0f);
  }
  Choose(15, 1.0f);
  EXPECT_FLOAT_EQ(fx_->oscillators[2].frequency, 50.0f);
  EXPECT_FLOAT_EQ(fx_->oscillators[0].frequency, 60.0f);
  Choose(16, 1.0f);
  EXPECT_FLOAT_EQ(fx_->bank[0][1].delayTimeModulation, 0.02f);

  // Presets without a variation leave everything alone, Update included.
  Choose(10, 0.5f);
  fx_->modified = 1;
  SetVoiceFX_Variation(fx_.get(), 0.9f);
  EXPECT_EQ(fx_->modified, 1);
  EXPECT_EQ(fx_->variation, 0.9f);
}

TEST_F(VoiceEffects, BypassSilencesEveryPresetAndSilentPresetsWriteNothing) {
  std::vector<float> in(256, 5000.0f), other(256, 0.0f), a(256), b(256);
  float* const x[2] = {in.data(), other.data()};
  float* const y[2] = {a.data(), b.data()};
  fx_->bypass = 1;
  for (int p = 1; p <= 20; ++p) {
    if (p != 9) SetVoiceFX_Preset(fx_.get(), p);
    std::fill(a.begin(), a.end(), 1.0f);
    std::fill(b.begin(), b.end(), 1.0f);
    EXPECT_EQ(ComputeVoiceFX(x, y, 256, fx_.get()), 1) << p;
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(a[i] == 0.0f && b[i] == 0.0f) << p;
  }
  fx_->bypass = 0;
  for (int p : {10, 11, 12, 13, 20}) {
    SetVoiceFX_Preset(fx_.get(), p);
    std::fill(a.begin(), a.end(), 3.0f);
    EXPECT_EQ(ComputeVoiceFX(x, y, 256, fx_.get()), 0) << p;
    for (float v : a) ASSERT_EQ(v, 3.0f);
  }
}

TEST_F(VoiceEffects, PitchPresetsShiftA220HzTone) {
  Choose(5, 0.5f);  // 7 semitones up
  const std::vector<float> out = Run(measure::Tone(220.0, 10000.0, 88200));
  // Within half the window's rate of 7 semitones up (see the shifter's own tests).
  const double high = measure::Pitch(out, 44100, 44100, 250.0, 450.0);
  RecordProperty("preset5_Hz", std::to_string(high));
  EXPECT_NEAR(high, 329.6, 0.5 / 0.105);
  Choose(17, 0.0f);  // an octave down, in windows of 0.1 s
  const std::vector<float> down = Run(measure::Tone(220.0, 10000.0, 88200));
  // The jump of 0.05 s holds 11 periods of 220 Hz: exact.
  const double low = measure::Pitch(down, 44100, 44100, 80.0, 150.0);
  RecordProperty("preset17_octave_down_Hz", std::to_string(low));
  EXPECT_NEAR(low, 110.0, 1.1);
  SetVoiceFX_Preset(fx_.get(), 5);  // its own window again after preset 17
  EXPECT_FLOAT_EQ(fx_->pitch[0].window, 0.105f);
  EXPECT_FLOAT_EQ(fx_->pitch[0].taps[1].delayTime, 0.105f);
}

// Seconds for the impulse response to fall by 60 dB, in units of the preset's decay time.
double DecayInDecayTimes(VoiceFX* fx, int preset) {
  SetVoiceFX_Preset(fx, preset);
  const double decay = fx->reverb.decayTime;
  std::vector<float> impulse(static_cast<size_t>(2.5 * decay * kRate), 0.0f);
  impulse[0] = 30000.0f;
  const std::vector<float> left = RunFx(fx, impulse);
  return measure::DecayTime(left, 60.0) / decay;
}

TEST_F(VoiceEffects, ReverbTailsFollowTheDecayTime) {
  const struct {
    int preset;
    float decay;
  } cases[] = {{1, 2.0f}, {3, 5.0f}};
  for (const auto& c : cases) {
    const double t60 = DecayInDecayTimes(fx_.get(), c.preset);
    RecordProperty("preset" + std::to_string(c.preset) + "_t60_in_decay_times",
                   std::to_string(t60));
    EXPECT_GE(t60, 0.8) << c.preset;
    EXPECT_LE(t60, 1.8) << c.preset;
    EXPECT_FLOAT_EQ(fx_->reverb.decayTime, c.decay);
  }
  // The hall after the shower keeps its own comb delays, the left ones 5 % longer.
  SetVoiceFX_Preset(fx_.get(), 2);
  EXPECT_FLOAT_EQ(fx_->reverb.combDelay, 0.04f);
  SetVoiceFX_Preset(fx_.get(), 1);
  EXPECT_FLOAT_EQ(fx_->reverb.combs[1][0].delayTime, 0.05f);
  EXPECT_FLOAT_EQ(fx_->reverb.combs[0][0].delayTime, 0.05f * 1.05f);
}

// RMS of the repeats of a 20 ms, 200 Hz burst through the canyon echo.
std::vector<double> EchoRepeats(VoiceFX* fx, float variation, double frequency, int* spacing) {
  SetVoiceFX_Preset(fx, 4);
  SetVoiceFX_Variation(fx, variation);
  *spacing = fx->echo[0].lineLength;
  std::vector<float> mic(4 * *spacing + 1000, 0.0f);
  for (int i = 0; i < 882; ++i)
    mic[i] = static_cast<float>(16000.0 * std::sin(kTwoPi * frequency * i / kRate));
  std::vector<float> r;
  const std::vector<float> out = RunFx(fx, mic, &r);
  EXPECT_EQ(out, r);
  std::vector<double> repeats;
  for (int k = 1; k <= 3; ++k)
    repeats.push_back(measure::Rms(out, k * *spacing, k * *spacing + 882));
  EXPECT_LT(measure::Rms(out, 900, *spacing - 10), 1e-3);  // nothing in between
  return repeats;
}

TEST_F(VoiceEffects, CanyonEchoRepeatsAndDulls) {
  int spacing = 0;
  const std::vector<double> far = EchoRepeats(fx_.get(), 1.0f, 200.0, &spacing);
  EXPECT_EQ(spacing, 26460);  // 0.6 s
  EXPECT_NEAR(far[0], 16000.0 / std::sqrt(2.0) * 0.25, 200.0);
  RecordProperty("echo_far_repeat_ratio", std::to_string(far[1] / far[0]));
  EXPECT_NEAR(far[1] / far[0], 0.891, 0.02);
  EXPECT_NEAR(far[2] / far[1], 0.891, 0.02);
  const std::vector<double> bright = EchoRepeats(fx_.get(), 1.0f, 9000.0, &spacing);
  RecordProperty("echo_far_9kHz_repeat_ratio", std::to_string(bright[1] / bright[0]));
  EXPECT_LT(bright[1] / bright[0], 0.75);  // duller at every repeat
  const std::vector<double> near = EchoRepeats(fx_.get(), 0.0f, 200.0, &spacing);
  EXPECT_EQ(spacing, 2205);  // 0.05 s
  RecordProperty("echo_near_repeat_ratio", std::to_string(near[1] / near[0]));
  EXPECT_NEAR(near[1] / near[0], 0.5, 0.04);
}

TEST_F(VoiceEffects, RobotResonatesOnItsTriad) {
  const std::vector<float> noise = measure::Noise(8 * 8192, 8000.0f, 5);
  for (float v : {0.0f, 0.5f, 1.0f}) {
    Choose(7, v);
    const int rows[] = {fx_->bank[1][0].lineLength, fx_->bank[2][0].lineLength};
    // The rows as SetIIIR_MidiNote sets them: 1 / delayTime within the rounding to whole samples.
    for (int k = 1; k <= 2; ++k)
      EXPECT_NEAR(kRate / fx_->bank[k][0].lineLength, 1.0 / fx_->bank[k][0].delayTime,
                  0.02 / fx_->bank[k][0].delayTime);
    const std::vector<float> out = Run(noise);
    const int size = 8192;
    const std::vector<double> power = measure::PowerSpectrum(out, size);
    const double bin = kRate / size;
    // The ten strongest local peaks all lie on harmonics of the two feedback rows.
    std::vector<std::pair<double, int>> peaks;
    for (int k = 2; k < size / 2 - 1; ++k)
      if (power[k] > power[k - 1] && power[k] >= power[k + 1]) peaks.push_back({power[k], k});
    std::sort(peaks.rbegin(), peaks.rend());
    for (int p = 0; p < 10; ++p) {
      const double f = peaks[p].second * bin;
      bool onHarmonic = false;
      for (int row : rows) {
        const double f0 = kRate / row;
        const double h = std::round(f / f0);
        onHarmonic |= h >= 1 && std::fabs(f - h * f0) <= 1.5 * bin;
      }
      EXPECT_TRUE(onHarmonic) << "variation " << v << ": peak at " << f << " Hz";
    }
  }
}

TEST_F(VoiceEffects, EveryPanelPresetStaysFiniteAudibleAndBounded) {
  const std::vector<float> voice = Voice(60 * 44100);
  double inputPeak = 0.0;
  for (float x : voice) inputPeak = std::max(inputPeak, double{std::fabs(x)});
  for (int p = 1; p <= 8; ++p)
    for (float v : {0.0f, 0.5f, 1.0f}) {
      Choose(p, v);
      std::vector<float> right;
      const std::vector<float> left = Run(voice, &right);
      double peak = 0.0;
      bool finite = true;
      for (size_t i = 0; i < left.size(); ++i) {
        finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
        peak = std::max({peak, double{std::fabs(left[i])}, double{std::fabs(right[i])}});
      }
      const double lastSecond = measure::Rms(left, left.size() - 44100, left.size());
      EXPECT_TRUE(finite) << p << " at " << v;
      EXPECT_LT(peak, 8.0 * inputPeak) << p << " at " << v;
      // The reverb presets fade their wet level to nothing at variation 0 (and their dry part
      // is the sound card's own monitoring): silent there by design.
      if (p <= 3 && v == 0.0f)
        EXPECT_EQ(peak, 0.0) << p;
      else
        EXPECT_GT(lastSecond, 100.0) << p << " at " << v;
    }
}

TEST_F(VoiceEffects, RequestsAreCheckedThenAppliedBeforeTheNextBlock) {
  TraceCapture trace;
  SetVoiceFXParameter(fx_.get(), kVoiceFXPreset, 9.0f);
  SetVoiceFXParameter(fx_.get(), kVoiceFXPreset, 1e12f);
  EXPECT_EQ(trace.Text(),
            "SetVoiceFX_Preset: bogus presetNumber=9\nSetVoiceFX_Preset: bogus presetNumber=0\n");
  EXPECT_EQ(fx_->pendingParameters, 0);
  SetVoiceFXParameter(fx_.get(), kVoiceFXVariation, 1.0f);
  SetVoiceFXParameter(fx_.get(), kVoiceFXPreset, 4.0f);
  SetVoiceFXParameter(fx_.get(), kVoiceFXMidiNote, NAN);
  EXPECT_EQ(fx_->presetNumber, 1);  // not before the audio side runs
  Run(std::vector<float>(256, 0.0f));
  EXPECT_EQ(fx_->presetNumber, 4);
  EXPECT_EQ(fx_->variation, 1.0f);  // the preset first, then its variation
  EXPECT_FLOAT_EQ(fx_->echo[0].feedback, 0.9f);
  SetVoiceFXParameter(fx_.get(), kVoiceFXEchoFeedback, 0.3f);
  SetVoiceFXParameter(fx_.get(), kVoiceFXGain, 2.0f);
  ApplyVoiceFXRequests(fx_.get());
  EXPECT_FLOAT_EQ(fx_->echo[1].feedback, -0.3f);
  EXPECT_FLOAT_EQ(fx_->echo[0].h[1], -0.297f);  // updated
  EXPECT_EQ(fx_->fxGain, 2.0f);
  EXPECT_EQ(fx_->pendingParameters, 0);
}

TEST_F(VoiceEffects, MixPercentIsLimitedAndReachesTheReverbOnly) {
  SetVoiceFX_MixPercent(fx_.get(), 150.0f);
  EXPECT_EQ(fx_->mixPercent, 100.0f);
  SetVoiceFX_MixPercent(fx_.get(), 30.0f);
  EXPECT_FLOAT_EQ(fx_->dry, 0.7f);
  EXPECT_FLOAT_EQ(fx_->fxGain, 0.3f);
  EXPECT_FLOAT_EQ(fx_->reverb.wet, 0.3f);  // preset 1: the reverb follows
  Choose(5, 0.5f);
  SetVoiceFX_MixPercent(fx_.get(), 80.0f);
  EXPECT_FLOAT_EQ(fx_->reverb.wet, 0.3f);  // other presets leave it
}

}  // namespace
