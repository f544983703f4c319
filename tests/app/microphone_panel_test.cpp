// The microphone panel and the DSP parameters dialog on the offscreen platform, with the
// simulated card's mixer (its devices not opened: the test thread runs the processing block).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <numeric>
#include <vector>

#include "app/audio_context.h"
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

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr int kBlock = 4096;

class MicrophonePanelTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    DefaultAudioContext(&audioContext, nullptr);
    InitAudioContext(&audioContext);
    PanelWindowTest::SetUp();
    SimAudioOptions options;
    options.failInputOpen = options.failOutputOpen = 2;
    SetAudioBackend(CreateSimAudioBackend(options));
    ASSERT_EQ(InitSound(window_.get(), nullptr, kSubBlockDivisor), kInitSound_NoDevices);
    // Each change of the direct path: its mute, and whether a preset request was then waiting.
    SetMixerChangeHandler([this](uint32_t control) {
      if (control == MicMuteControl())
        muteChanges_.push_back({PlaybackMicMute(), (soundBlock.voiceFX.pendingParameters.load() &
                                                    (1 << kVoiceFXPreset)) != 0});
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
  // The card's own value.
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
  // A 300 Hz tone at the microphone through the processing block, no CD: the left output.
  std::vector<int16_t> Render(int blocks) {
    std::vector<int16_t> in(2 * kBlock), out(2 * kBlock), left;
    for (int b = 0; b < blocks; ++b, rendered_ += kBlock) {
      for (int i = 0; i < kBlock; ++i)
        in[2 * i] = int16_t(10000.0 * std::sin(2.0 * M_PI * 300.0 * double(rendered_ + i) / 44100));
      ProcessSoundBlock(in.data(), out.data(), kBlock, &format_, 0, &stereoWasMono_);
      for (int i = 0; i < kBlock; ++i) left.push_back(out[2 * i]);
    }
    return left;
  }
  // The karaoke stage on music[0..1], which it changes in place.
  void RunStage(std::vector<float> music[2]) {
    std::vector<float> scratch(kSubBlockFrames);
    float* channels[2] = {music[0].data(), music[1].data()};
    RunKaraokeStage(channels, scratch.data(), kSubBlockFrames, &stereoWasMono_);
  }

  QDialog* OpenDialog() {
    OpenDspParametersDialog(window_.get());
    return qobject_cast<QDialog*>(DspParametersDialog());
  }
  template <typename T = QWidget>
  T* DialogItem(int id) {
    for (QWidget* w : DspParametersDialog()->findChildren<QWidget*>())
      if (GkGetControlId(w) == id) return qobject_cast<T*>(w);
    return nullptr;
  }
  void ClickDialog(int id) { QTest::mouseClick(DialogItem(id), Qt::LeftButton); }
  // Types into an edit box and presses Return.
  void Type(int id, const QString& text) {
    QLineEdit* edit = DialogItem<QLineEdit>(id);
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  QString Text(int id) { return DialogItem<QLineEdit>(id)->text(); }

  struct MuteChange {
    uint32_t mute;
    bool presetWaiting;
  };
  std::vector<MuteChange> muteChanges_;
  WAVEFORMATEX format_{};
  int stereoWasMono_ = 1;
  int64_t rendered_ = 0;
};

double Rms(const std::vector<int16_t>& x, size_t from) {
  return std::sqrt(std::inner_product(x.begin() + from, x.end(), x.begin() + from, 0.0) /
                   double(x.size() - from));
}

TEST_F(MicrophonePanelTest, EachButtonChoosesItsPresetAndSetsTheDirectPathBeforeOrAfter) {
  EXPECT_THAT(PressedButtons(), ElementsAre(1041));  // the engine's ConcertHall at start
  const struct {
    int id, preset;
    uint32_t mute;
    bool presetFirst;  // the robot's preset comes before the mute, the other mutes before theirs
  } cases[] = {{1042, 2, 0, true}, {1045, 5, 1, false}, {1043, 3, 0, true}, {1046, 6, 1, false},
               {1044, 4, 0, true}, {1047, 8, 1, false}, {1048, 7, 1, true}, {1041, 1, 0, true}};
  for (const auto& c : cases) {
    muteChanges_.clear();
    Click(c.id);
    EXPECT_THAT(PressedButtons(), ElementsAre(c.id));
    ASSERT_EQ(muteChanges_.size(), 1u) << c.id;
    EXPECT_EQ(muteChanges_[0].mute, c.mute) << c.id;
    EXPECT_EQ(muteChanges_[0].presetWaiting, c.presetFirst) << c.id;
    Render(1);
    EXPECT_EQ(soundBlock.voiceFX.presetNumber.load(), c.preset);
    SetGUI_MicFX(window_->Panel());  // draws the panel as the click left it
    EXPECT_THAT(PressedButtons(), ElementsAre(c.id));
  }
  TraceCapture trace;
  MicrophonePanelStateManager(1049);
  EXPECT_EQ(trace.Text(), "MicrophonePanelStateManager: bogus id=1049\n");
}

TEST_F(MicrophonePanelTest, HighVoiceMutesTheDirectPathAndReleasingItStopsTheEffect) {
  QWidget* slider = Item(kIdEffectVariation);
  gkSlider_SetValue(slider, 0.9f);
  MicrophonePanelStateManager(kIdEffectVariation);
  Render(1);
  EXPECT_NEAR(soundBlock.voiceFX.variation.load(), 0.9f, 0.01f);

  Click(1045);  // after ConcertHall
  EXPECT_EQ(PlaybackMicMute(), 1u);
  EXPECT_NEAR(gkSlider_GetValue(slider), 0.5f, 0.01f);
  EXPECT_GT(Rms(Render(3), kBlock), 500.0);
  EXPECT_EQ(soundBlock.voiceFX.variation.load(), 0.5f);

  Click(1045);
  EXPECT_THAT(PressedButtons(), IsEmpty());
  EXPECT_EQ(soundBlock.voiceFX.bypass.load(), 1);
  EXPECT_EQ(PlaybackMicMute(), 0u);
  EXPECT_EQ(Rms(Render(2), 0), 0.0);  // from the first sample on
  SetGUI_MicFX(window_->Panel());
  EXPECT_THAT(PressedButtons(), IsEmpty());

  // The same preset again restarts at 0.5 too, and the slider says so.
  gkSlider_SetValue(slider, 0.2f);
  MicrophonePanelStateManager(kIdEffectVariation);
  Render(1);
  Click(1045);
  EXPECT_NEAR(gkSlider_GetValue(slider), 0.5f, 0.01f);
  Render(1);
  EXPECT_EQ(soundBlock.voiceFX.variation.load(), 0.5f);
}

TEST_F(MicrophonePanelTest, OneModelessDialogWithBoxesAndSlidersAppliedAlike) {
  QDialog* dialog = OpenDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(OpenDialog(), dialog);
  EXPECT_EQ(dialog->windowTitle(), "DSP Parameters");
  EXPECT_FALSE(dialog->isModal());
  SetGUI_DSPMicFX(dialog, 0);  // those created disabled stay so
  for (const char* name : {"IDC_SLIDER_VOICE_REDUCE", "IDC_TEXT_VOICE_REDUCE",
                           "IDC_SLIDER_HIPASS_FC", "IDC_RADIO_HIPASS_N1", "IDC_TEXT_LOWSHELF_FC"})
    EXPECT_FALSE(dialog->findChild<QWidget*>(name)->isEnabled()) << name;
  std::vector<float> music[2] = {std::vector<float>(kSubBlockFrames),
                                 std::vector<float>(kSubBlockFrames)};
  Type(1132, "5000");                               // the crossover
  EXPECT_TRUE(DspParametersDialog()->isVisible());  // Return takes the value, not the dialog
  EXPECT_EQ(Text(1132), "2000");
  EXPECT_EQ(DialogItem<QSlider>(1133)->value(), 100);
  RunStage(music);
  EXPECT_EQ(karaokeStage.karaoke.highBand[0].frequency, 2000.0);
  Type(1132, "");
  EXPECT_EQ(Text(1132), "25");
  RunStage(music);
  EXPECT_EQ(karaokeStage.karaoke.highBand[1].frequency, 25.0);

  Type(1144, "-6");  // bass replace: kept as typed, the slider follows
  EXPECT_EQ(Text(1144), "-6");
  EXPECT_EQ(DialogItem<QSlider>(1145)->value(), 38);
  Type(1118, "-1");  // the balance box recomputes the gains
  EXPECT_EQ(soundBlock.panGain[0].load(), 1.0f);
  TraceCapture trace;
  Type(1198, "2.5x");
  EXPECT_EQ(Text(1198), "2.5");
  EXPECT_EQ(trace.Text(), "OnCommand id=IDC_TEXT_FXLEVEL fxGain=2.5\n");
  Type(1155, "7.5");  // reverb decay and MIDI note boxes take effect
  Type(1149, "60.6");
  DialogItem<QSlider>(1128)->setValue(13);  // ambience feedback: -0.99 + 1.98 x 0.13
  EXPECT_EQ(Text(1127), "-0.732");          // cut to six characters
  Render(1);
  EXPECT_EQ(soundBlock.voiceFX.fxGain, 2.5f);
  EXPECT_EQ(soundBlock.voiceFX.reverb.decayTime, 7.5f);
  EXPECT_EQ(soundBlock.voiceFX.midiNote, 61);
  EXPECT_NEAR(soundBlock.voiceFX.echo[1].feedback, 0.7326f, 1e-6f);

  QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close),
                    Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(DspParametersDialog(), nullptr);
  TraceCapture none;
  SetGUI_DSPMicFX(nullptr, 0);
  EXPECT_EQ(none.Text(), "SetGUI_DSPMicFX: Uh oh.  w=NULL\n");
}

TEST_F(MicrophonePanelTest, CentreOffLeavesThePlainDifferenceStereoRadiosSwitchTheGenerator) {
  QDialog* dialog = OpenDialog();
  EXPECT_TRUE(DialogItem<QRadioButton>(1135)->isChecked());  // N4 and N03 at start
  EXPECT_TRUE(DialogItem<QRadioButton>(1175)->isChecked());
  ClickDialog(1173);  // stereo generator off: both channels carry what the reducer leaves
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 0);
  std::vector<float> music[2];
  std::vector<float> difference(kSubBlockFrames);
  auto play = [&] {
    for (auto& channel : music) channel.resize(kSubBlockFrames);
    for (int i = 0; i < kSubBlockFrames; ++i) {
      music[0][i] = float(9000 * std::sin(0.0114 * i) + 3000 * std::sin(0.21 * i));
      music[1][i] = float(4000 * std::sin(0.0114 * i + 1) + 3000 * std::sin(0.13 * i));
      difference[i] = music[0][i] - music[1][i];
    }
    RunStage(music);
  };
  play();
  EXPECT_NE(music[0], difference);  // split at the crossover, with the bass replaced
  ClickDialog(1141);
  EXPECT_FALSE(DialogItem<QRadioButton>(1135)->isChecked());
  play();
  EXPECT_EQ(music[0], difference);
  EXPECT_EQ(music[1], difference);

  ClickDialog(1176);  // N05
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 1);
  play();
  EXPECT_EQ(karaokeStage.stereoComb.fir.order, 5);
  SetStereoGeneratorOrder(dialog, 21);  // on, with no radio of its own
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 1);
  EXPECT_FALSE(DialogItem<QRadioButton>(1176)->isChecked());
  SetStereoGeneratorOrder(dialog, 4);
  EXPECT_EQ(soundBlock.stereoGeneratorOn.load(), 0);
  EXPECT_TRUE(DialogItem<QRadioButton>(1173)->isChecked());
  ClickDialog(1183);  // N31, then "N02", which changes nothing
  ClickDialog(1177);
  EXPECT_TRUE(DialogItem<QRadioButton>(1183)->isChecked());
  EXPECT_EQ(KaraokeParameterValue(kStereoGeneratorOrder), 31.0f);
}

TEST_F(MicrophonePanelTest, TheOpenDialogFollowsThePanelAndShowsWhatTheEngineRuns) {
  OpenDialog();
  Click(1044);  // GrandCanyon: the echo at 0.6 s
  EXPECT_EQ(Text(1124), "0.6");
  Render(1);
  Click(1048);  // Robot at the top of its variation: note 96
  gkSlider_SetValue(Item(kIdEffectVariation), 1.0f);
  MicrophonePanelStateManager(kIdEffectVariation);
  EXPECT_EQ(Text(1149), "96");
  Render(1);
  const VoiceFX& engine = soundBlock.voiceFX;
  const VoiceFX& shown = ShownVoiceFX();
  EXPECT_EQ(engine.midiNote, 96);
  EXPECT_EQ(engine.echo[0].delayTime, shown.echo[0].delayTime);
  EXPECT_EQ(engine.bank[0][0].feedback, shown.bank[0][0].feedback);
  EXPECT_EQ(engine.reverb.decayTime, shown.reverb.decayTime);
}

}  // namespace
