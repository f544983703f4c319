// The microphone panel and the DSP parameters dialog on the offscreen platform: the effect
// buttons with the simulated card's mixer, the dialog's controls, and what the processing block
// then does (the test thread runs the block; the card's devices are not opened).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <vector>

#include "app/audio_context.h"
#include "app/cdplayer_panel.h"
#include "app/dsp_dialog.h"
#include "app/main_window.h"
#include "app/microphone_panel.h"
#include "audio/karaoke_stage.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "audio/sound_init.h"
#include "platform/audio/sim_audio.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"
#include "widgets/bitmap_button.h"
#include "widgets/framework.h"
#include "widgets/slider.h"

using ::testing::HasSubstr;

namespace {

constexpr int kBlock = 4096;

struct MuteChange {
  uint32_t mute;
  bool presetRequested;  // a preset request was waiting for the engine at the change
  int requestedPreset;
};

class MicrophonePanelTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    DefaultAudioContext(&audioContext, nullptr);
    InitAudioContext(&audioContext);
    PanelWindowTest::SetUp();
    // The card's mixer without its devices: the test thread is the only one running blocks.
    SimAudioOptions options;
    options.failInputOpen = 2;
    options.failOutputOpen = 2;
    SetAudioBackend(CreateSimAudioBackend(options));
    ASSERT_EQ(InitSound(window_.get(), nullptr, kSubBlockDivisor), kInitSound_NoDevices);
    ASSERT_NE(mixerState.mixer, nullptr);
    SetMixerChangeHandler([this](uint32_t control) {
      if (control != MicMuteControl()) return;
      const int32_t pending = soundBlock.voiceFX.pendingParameters.load();
      muteChanges_.push_back({PlaybackMicMute(), (pending & (1 << kVoiceFXPreset)) != 0,
                              static_cast<int>(soundBlock.voiceFX.requested[kVoiceFXPreset])});
    });
    format_.wBitsPerSample = 16;
    sndCompleteWaveFormatEx(&format_);
  }
  void TearDown() override {
    CloseDspParametersDialog();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetMixerChangeHandler(nullptr);
    CloseSound();
    SetAudioBackend(nullptr);
    PanelWindowTest::TearDown();
    DefaultAudioContext(&audioContext, nullptr);
    InitAudioContext(&audioContext);
  }

  uint32_t MicMuteControl() {
    const MixerTable& t = mixerState.table;
    return t.lines[kMixerPlayback][t.microphoneIndex[kMixerPlayback]].muteControlId;
  }
  // The mute of the card's microphone line in the playback mix, read from the card.
  uint32_t PlaybackMicMute() {
    uint32_t value = 0xDEAD;
    mixerState.mixer->GetControlValues(MicMuteControl(), 1, 0, &value);
    return value;
  }

  void Click(int id) { QTest::mouseClick(Item(id), Qt::LeftButton); }
  std::vector<int> PressedButtons() {
    std::vector<int> pressed;
    for (int id = 1041; id <= 1048; ++id)
      if (gkButton_GetState(Item(id)) == 0) pressed.push_back(id);
    return pressed;
  }

  // Blocks of a 300 Hz tone at the microphone through the processing block, no CD: the left
  // output.
  std::vector<int16_t> Render(int blocks) {
    std::vector<int16_t> in(2 * kBlock), out(2 * kBlock), left;
    for (int b = 0; b < blocks; ++b) {
      for (int i = 0; i < kBlock; ++i)
        in[2 * i] = static_cast<int16_t>(
            10000.0 * std::sin(2.0 * M_PI * 300.0 * double(rendered_ + i) / 44100.0));
      rendered_ += kBlock;
      ProcessSoundBlock(in.data(), out.data(), kBlock, &format_, 0, &stereoWasMono_);
      for (int i = 0; i < kBlock; ++i) left.push_back(out[2 * i]);
    }
    return left;
  }

  // The karaoke stage on one sub-block of music; requested changes are applied first.
  void RunStage(std::vector<float>* left, std::vector<float>* right) {
    std::vector<float> scratch(kSubBlockFrames);
    float* music[2] = {left->data(), right->data()};
    RunKaraokeStage(music, scratch.data(), static_cast<int>(left->size()), &stereoWasMono_);
  }

  QDialog* OpenDialog() {
    OpenDspParametersDialog(window_.get());
    return qobject_cast<QDialog*>(DspParametersDialog());
  }
  template <typename T>
  T* DialogItem(int id) {
    for (QWidget* w : DspParametersDialog()->findChildren<QWidget*>())
      if (GkGetControlId(w) == id) return qobject_cast<T*>(w);
    return nullptr;
  }
  // Types into an edit box and presses Return.
  void Type(int id, const QString& text) {
    QLineEdit* edit = DialogItem<QLineEdit>(id);
    ASSERT_NE(edit, nullptr) << id;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    if (!text.isEmpty()) QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  QString Text(int id) { return DialogItem<QLineEdit>(id)->text(); }

  std::vector<MuteChange> muteChanges_;
  WAVEFORMATEX format_{};
  int stereoWasMono_ = 1;
  int64_t rendered_ = 0;
};

double Rms(const std::vector<int16_t>& x, size_t from, size_t count) {
  double e = 0.0;
  for (size_t i = from; i < from + count && i < x.size(); ++i) e += double(x[i]) * x[i];
  return std::sqrt(e / double(count));
}

TEST_F(MicrophonePanelTest, EachButtonChoosesItsPresetAndSetsTheDirectPathBeforeOrAfter) {
  // Start-up shows the engine's preset, ConcertHall, pressed.
  EXPECT_THAT(PressedButtons(), ::testing::ElementsAre(1041));
  const struct {
    int id, preset;
    uint32_t mute;
    bool presetFirst;
  } cases[] = {{1042, 2, 0, true}, {1045, 5, 1, false}, {1043, 3, 0, true}, {1046, 6, 1, false},
               {1044, 4, 0, true}, {1047, 8, 1, false}, {1048, 7, 1, true}, {1041, 1, 0, true}};
  for (const auto& c : cases) {
    muteChanges_.clear();
    Click(c.id);
    EXPECT_THAT(PressedButtons(), ::testing::ElementsAre(c.id)) << c.id;
    ASSERT_EQ(muteChanges_.size(), 1u) << c.id;
    EXPECT_EQ(muteChanges_[0].mute, c.mute) << c.id;
    // Those that mute do it before asking for the preset, except the robot; the others unmute
    // once the preset is asked for.
    EXPECT_EQ(muteChanges_[0].presetRequested, c.presetFirst) << c.id;
    Render(1);
    EXPECT_EQ(soundBlock.voiceFX.presetNumber.load(), c.preset) << c.id;
    EXPECT_EQ(soundBlock.voiceFX.bypass.load(), 0);
    // The panel as SetGUI_MicFX draws it is the panel the click left.
    SetGUI_MicFX(window_->Panel());
    EXPECT_THAT(PressedButtons(), ::testing::ElementsAre(c.id)) << c.id;
  }
  TraceCapture trace;
  MicrophonePanelStateManager(1049);
  EXPECT_EQ(trace.Text(), "MicrophonePanelStateManager: bogus id=1049\n");
}

TEST_F(MicrophonePanelTest, HighVoiceAfterConcertHallMutesTheDirectPathAndRestartsTheVariation) {
  QWidget* slider = Item(kIdEffectVariation);
  gkSlider_SetValue(slider, 0.9f);
  MicrophonePanelStateManager(kIdEffectVariation);
  Render(1);
  EXPECT_NEAR(soundBlock.voiceFX.variation.load(), 0.9f, 0.01f);
  EXPECT_EQ(PlaybackMicMute(), 0u);

  Click(1045);
  EXPECT_EQ(PlaybackMicMute(), 1u);
  EXPECT_THAT(PressedButtons(), ::testing::ElementsAre(1045));
  EXPECT_NEAR(gkSlider_GetValue(slider), 0.5f, 0.01f);
  Render(1);
  EXPECT_EQ(soundBlock.voiceFX.presetNumber.load(), 5);
  EXPECT_EQ(soundBlock.voiceFX.variation.load(), 0.5f);

  // The same preset again, after the effects were off, restarts at 0.5 too: the slider says so.
  gkSlider_SetValue(slider, 0.2f);
  MicrophonePanelStateManager(kIdEffectVariation);
  Render(1);
  Click(1045);
  Click(1045);
  EXPECT_NEAR(gkSlider_GetValue(slider), 0.5f, 0.01f);
  Render(1);
  EXPECT_EQ(soundBlock.voiceFX.variation.load(), 0.5f);
}

TEST_F(MicrophonePanelTest, ReleasingThePressedButtonStopsTheEffectAndOpensTheDirectPath) {
  Click(1045);  // HighVoice: the direct path muted
  const std::vector<int16_t> effect = Render(3);
  EXPECT_GT(Rms(effect, kBlock, 2 * kBlock), 500.0);
  ASSERT_EQ(PlaybackMicMute(), 1u);

  Click(1045);
  EXPECT_THAT(PressedButtons(), ::testing::IsEmpty());
  EXPECT_EQ(soundBlock.voiceFX.bypass.load(), 1);
  EXPECT_EQ(PlaybackMicMute(), 0u);
  const std::vector<int16_t> after = Render(2);
  EXPECT_EQ(Rms(after, 0, after.size()), 0.0);  // from the first sample on
  SetGUI_MicFX(window_->Panel());
  EXPECT_THAT(PressedButtons(), ::testing::IsEmpty());
}

TEST_F(MicrophonePanelTest, TheDialogIsOneModelessWindowWithEveryControl) {
  QDialog* dialog = OpenDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(OpenDialog(), dialog);
  EXPECT_EQ(dialog->objectName(), "IDD_DIALOG_DSP");
  EXPECT_EQ(dialog->windowTitle(), "DSP Parameters");
  EXPECT_FALSE(dialog->isModal());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->parentWidget(), window_.get());

  const int pairs[][2] = {{1119, 1118}, {1199, 1198}, {1205, 1204}, {1133, 1132}, {1140, 1139},
                          {1145, 1144}, {1125, 1124}, {1128, 1127}, {1156, 1155}, {1159, 1158},
                          {1162, 1161}, {1131, 1130}, {1147, 1146}, {1150, 1149}, {1153, 1151},
                          {1170, 1169}, {1181, 1180}};
  for (const auto& p : pairs) {
    QSlider* slider = DialogItem<QSlider>(p[0]);
    ASSERT_NE(slider, nullptr) << p[0];
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(slider->pageStep(), 1);
    EXPECT_EQ(slider->maximum(), 100);
    ASSERT_NE(DialogItem<QLineEdit>(p[1]), nullptr) << p[1];
  }
  for (int id : {1154, 1166, 1164, 1165}) EXPECT_NE(DialogItem<QCheckBox>(id), nullptr) << id;
  for (int id : {1141, 1136, 1135, 1137, 1173, 1177, 1175, 1176, 1178, 1183})
    EXPECT_NE(DialogItem<QRadioButton>(id), nullptr) << id;
  QStringList labels;
  for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  for (const char* text :
       {"Stereo Balance", "Fx Level", "Fx Wet/Dry Mix", "LowPass Fc(Hz)", "Voice Reduce",
        "Bass Replace(dB)", "HighDamping", "HiFrequency", "MIDI Note", "Frequency(Hz)", "Bands",
        "HiPass Fc(Hz)", "LowShelf Fc", "HighShelf Fc"})
    EXPECT_TRUE(labels.contains(text)) << text;

  // Created disabled, they stay so.
  EXPECT_FALSE(DialogItem<QSlider>(1140)->isEnabled());
  EXPECT_FALSE(DialogItem<QLineEdit>(1139)->isEnabled());
  for (const char* name : {"IDC_SLIDER_HIPASS_FC", "IDC_TEXT_HIPASS_FC", "IDC_RADIO_HIPASS_N1",
                           "IDC_SLIDER_LOWSHELF_FC", "IDC_SLIDER_HIGHSHELF_FC"}) {
    QWidget* w = dialog->findChild<QWidget*>(name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_FALSE(w->isEnabled()) << name;
  }
  SetGUI_DSPMicFX(dialog, 0);
  EXPECT_FALSE(DialogItem<QSlider>(1140)->isEnabled());

  // Close ends it and forgets it.
  QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close),
                    Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(DspParametersDialog(), nullptr);
  TraceCapture trace;
  SetGUI_DSPMicFX(nullptr, 0);
  EXPECT_EQ(trace.Text(), "SetGUI_DSPMicFX: Uh oh.  w=NULL\n");
}

TEST_F(MicrophonePanelTest, EditBoxesAreReadClampedAndAppliedAsTheirSliders) {
  OpenDialog();
  std::vector<float> left(kSubBlockFrames), right(kSubBlockFrames);
  const Karaoke& karaoke = karaokeStage.karaoke;

  // The crossover: 5000 is out of range and shows as 2000, the slider at its end.
  Type(1132, "5000");
  EXPECT_TRUE(DspParametersDialog()->isVisible());  // Return takes the value, not the dialog
  EXPECT_EQ(Text(1132), "2000");
  EXPECT_EQ(DialogItem<QSlider>(1133)->value(), 100);
  RunStage(&left, &right);
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_EQ(karaoke.lowBand[ch].frequency, 2000.0);
    EXPECT_EQ(karaoke.highBand[ch].frequency, 2000.0);
  }
  // An empty box applies the minimum.
  Type(1132, "");
  EXPECT_EQ(Text(1132), "25");
  EXPECT_EQ(DialogItem<QSlider>(1133)->value(), 0);
  RunStage(&left, &right);
  EXPECT_EQ(karaoke.highBand[1].frequency, 25.0);
  // A number in range stays as typed; text after it is dropped; no number reads as 0.
  Type(1144, "-6");
  EXPECT_EQ(Text(1144), "-6");
  EXPECT_EQ(DialogItem<QSlider>(1145)->value(), 38);  // int(0.5 + 18/48 x 100)
  Type(1198, "2.5x");
  EXPECT_EQ(Text(1198), "2.5");
  Type(1118, "left");
  EXPECT_EQ(Text(1118), "0");
  RunStage(&left, &right);
  EXPECT_EQ(karaoke.bassReplaceDB, -6.0f);

  // The balance box recomputes the gains; the Fx level box says what it set.
  Type(1118, "-1");
  EXPECT_EQ(soundBlock.panGain[0].load(), 1.0f);
  EXPECT_NEAR(soundBlock.panGain[1].load(), 0.0f, 1e-6f);
  TraceCapture trace;
  Type(1198, "3");
  EXPECT_EQ(trace.Text(), "OnCommand id=IDC_TEXT_FXLEVEL fxGain=3\n");
  // The decay, damping, note and 2nd FX decay boxes take effect.
  Type(1155, "7.5");
  Type(1158, "2500");
  Type(1149, "60.6");
  Type(1151, "0.25");
  Render(1);
  const VoiceFX& fx = soundBlock.voiceFX;
  EXPECT_EQ(fx.fxGain, 3.0f);
  EXPECT_EQ(fx.reverb.decayTime, 7.5f);
  EXPECT_EQ(fx.reverb.combs[1][3].damping.frequency, 2500.0);
  EXPECT_EQ(fx.midiNote, 61);
  EXPECT_EQ(fx.resonatorDecay, 0.25f);
}

TEST_F(MicrophonePanelTest, SliderMovesShowTheValueCutToSixCharactersAndApplyIt) {
  OpenDialog();
  DialogItem<QSlider>(1128)->setValue(13);  // ambience feedback -0.99 + 1.98 x 0.13
  EXPECT_EQ(Text(1127), "-0.732");
  DialogItem<QSlider>(1170)->setValue(37);  // stereo generator 344.53125 + 10680.46875 x 0.37
  EXPECT_EQ(Text(1169), "4296.3");
  DialogItem<QSlider>(1119)->setValue(100);  // the balance to the right, gains and all
  EXPECT_NEAR(soundBlock.panGain[1].load(), 1.0f, 1e-6f);
  Render(1);
  EXPECT_NEAR(soundBlock.voiceFX.echo[0].feedback, -0.7326f, 1e-6f);
  EXPECT_NEAR(soundBlock.voiceFX.echo[1].feedback, 0.7326f, 1e-6f);
  std::vector<float> left(kSubBlockFrames), right(kSubBlockFrames);
  RunStage(&left, &right);
  EXPECT_NEAR(karaokeStage.stereoComb.fir.frequency, 4296.3047, 0.01);
}

TEST_F(MicrophonePanelTest,
       CentreFilterOffLeavesPlainDifferenceAndTheStereoRadiosSwitchTheGenerator) {
  QDialog* dialog = OpenDialog();
  EXPECT_TRUE(DialogItem<QRadioButton>(1135)->isChecked());  // N4, the default
  EXPECT_TRUE(DialogItem<QRadioButton>(1175)->isChecked());  // N03
  // Music with a bass and a centre: the split changes what the stage leaves.
  std::vector<float> left(kSubBlockFrames), right(kSubBlockFrames);
  auto fill = [&] {
    for (int i = 0; i < kSubBlockFrames; ++i) {
      const double t = i / 44100.0;
      left[i] = float(9000 * std::sin(2 * M_PI * 80 * t) + 3000 * std::sin(2 * M_PI * 1500 * t));
      right[i] =
          float(4000 * std::sin(2 * M_PI * 80 * t + 1) + 3000 * std::sin(2 * M_PI * 900 * t));
    }
  };
  QTest::mouseClick(DialogItem<QRadioButton>(1173), Qt::LeftButton);  // stereo generator off
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 0);
  fill();
  const std::vector<float> l0 = left, r0 = right;
  RunStage(&left, &right);
  int differing = 0;
  for (int i = 0; i < kSubBlockFrames; ++i) differing += left[i] != l0[i] - r0[i];
  EXPECT_GT(differing, kSubBlockFrames / 2);

  QTest::mouseClick(DialogItem<QRadioButton>(1141), Qt::LeftButton);  // centre filter off
  EXPECT_TRUE(DialogItem<QRadioButton>(1141)->isChecked());
  EXPECT_FALSE(DialogItem<QRadioButton>(1135)->isChecked());
  fill();
  RunStage(&left, &right);
  for (int i = 0; i < kSubBlockFrames; ++i) {
    ASSERT_EQ(left[i], l0[i] - r0[i]) << i;
    ASSERT_EQ(right[i], l0[i] - r0[i]) << i;
  }
  QTest::mouseClick(DialogItem<QRadioButton>(1137), Qt::LeftButton);
  RunStage(&left, &right);
  EXPECT_EQ(karaokeStage.karaoke.lowBand[0].order, 16);

  // Stereo generator orders: the radios, and 7 and 21 without a radio of their own.
  QTest::mouseClick(DialogItem<QRadioButton>(1176), Qt::LeftButton);  // N05
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 1);
  RunStage(&left, &right);
  EXPECT_EQ(karaokeStage.stereoComb.fir.order, 5);
  for (int order : {7, 21}) {
    SetStereoGeneratorOrder(dialog, order);
    EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 1) << order;
    for (int id : {1173, 1177, 1175, 1176, 1178, 1183})
      EXPECT_FALSE(DialogItem<QRadioButton>(id)->isChecked()) << order << " " << id;
  }
  SetStereoGeneratorOrder(dialog, 4);
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 0);
  EXPECT_TRUE(DialogItem<QRadioButton>(1173)->isChecked());
  // "N02" changes nothing and shows the order in use.
  QTest::mouseClick(DialogItem<QRadioButton>(1183), Qt::LeftButton);  // N31
  QTest::mouseClick(DialogItem<QRadioButton>(1177), Qt::LeftButton);
  EXPECT_TRUE(DialogItem<QRadioButton>(1183)->isChecked());
  EXPECT_FALSE(DialogItem<QRadioButton>(1177)->isChecked());
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 1);
  EXPECT_EQ(KaraokeParameterValue(kStereoGeneratorOrder), 31.0f);
}

TEST_F(MicrophonePanelTest, CheckBoxesSwitchTheHumFiltersAndTheHardKnee) {
  OpenDialog();
  EXPECT_TRUE(DialogItem<QCheckBox>(1154)->isChecked());
  EXPECT_TRUE(DialogItem<QCheckBox>(1166)->isChecked());
  EXPECT_FALSE(DialogItem<QCheckBox>(1164)->isChecked());
  QTest::mouseClick(DialogItem<QCheckBox>(1154), Qt::LeftButton);
  EXPECT_EQ(soundBlock.micHighPassOn.load(), 0);
  soundBlock.micFilterResetRequests.store(0);
  QTest::mouseClick(DialogItem<QCheckBox>(1154), Qt::LeftButton);
  EXPECT_EQ(soundBlock.micHighPassOn.load(), 1);
  EXPECT_EQ(soundBlock.micFilterResetRequests.load(), kMicHighPass);  // turned on: memories cleared
  QTest::mouseClick(DialogItem<QCheckBox>(1164), Qt::LeftButton);
  EXPECT_EQ(soundBlock.notch120On.load(), 1);
  QTest::mouseClick(DialogItem<QCheckBox>(1165), Qt::LeftButton);
  std::vector<float> left(kSubBlockFrames), right(kSubBlockFrames);
  RunStage(&left, &right);
  EXPECT_EQ(karaokeStage.karaoke.useButterworth, 1);
}

TEST_F(MicrophonePanelTest, TheOpenDialogFollowsThePanelAndShowsWhatTheEngineRuns) {
  OpenDialog();
  Click(1044);  // GrandCanyon: the echo at 0.6 s
  EXPECT_EQ(Text(1124), "0.6");
  EXPECT_EQ(DialogItem<QSlider>(1125)->value(), 60);
  Render(1);    // the engine runs between clicks
  Click(1048);  // Robot, then its variation to the top: the note goes up to 96
  gkSlider_SetValue(Item(kIdEffectVariation), 1.0f);
  MicrophonePanelStateManager(kIdEffectVariation);
  EXPECT_EQ(Text(1149), "96");
  Render(1);
  const VoiceFX& engine = soundBlock.voiceFX;
  const VoiceFX& shown = ShownVoiceFX();
  EXPECT_EQ(engine.midiNote, 96);
  EXPECT_EQ(engine.echo[0].delayTime, shown.echo[0].delayTime);
  EXPECT_EQ(engine.bank[0][0].feedback, shown.bank[0][0].feedback);
  EXPECT_EQ(engine.resonatorDecay, shown.resonatorDecay);
  EXPECT_EQ(engine.reverb.decayTime, shown.reverb.decayTime);
}

}  // namespace
