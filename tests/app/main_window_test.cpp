// The main window on the offscreen platform: its keyboard map (pressed on the window or
// forwarded by a widget), the splash, the sound start-up messages and the audio context. The
// player runs on the demo disc with the stream replaced by a recorder of its commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "app/app_state.h"
#include "app/audio_context.h"
#include "app/cdplayer_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/sound_messages.h"
#include "app/splash.h"
#include "audio/sound_block.h"
#include "audio/sound_init.h"
#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "platform/audio/sim_audio.h"
#include "platform/cd/host_layer.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"
#include "widgets/bitmap_button.h"
#include "widgets/slider.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class MainWindowTest : public PanelWindowTest {
 protected:
  void Press(int key, QWidget* target = nullptr) {
    QTest::keyClick(target ? target : window_.get(), static_cast<Qt::Key>(key));
  }
};

TEST_F(MainWindowTest, SpacePlaysPausesAndAQuickSecondPressStops) {
  Press(Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  EXPECT_EQ(gkButton_GetState(Item(kIdPlay)), 0);  // shown pressed
  Press(Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_PAUSE);
  EXPECT_EQ(gkButton_GetState(Item(kIdPlay)), 1);
  now_ += kSpaceStopWindowMs - 1;
  Press(Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_THAT(commands_, ElementsAre(CDDA_PLAY, CDDA_STOP));
}

TEST_F(MainWindowTest, ASlowSecondPressResumes) {
  Press(Qt::Key_Space);
  Press(Qt::Key_Space);
  now_ += kSpaceStopWindowMs;
  Press(Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  // A quick press after a pause stops and forgets the pause: the next quick one plays.
  Press(Qt::Key_Space);
  Press(Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  Press(Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
}

TEST_F(MainWindowTest, KeysForwardedByWidgetsReachTheSameMap) {
  // Enter on the vocal-reduction button itself: the button forwards it to the panel.
  Press(Qt::Key_Return, Item(kIdReduceVocal));
  EXPECT_EQ(soundBlock.karaokeOn.load(), 1);
  EXPECT_EQ(gkButton_GetState(Item(kIdReduceVocal)), 0);
  Press(Qt::Key_Enter, Item(kIdPositionSlider));
  EXPECT_EQ(soundBlock.karaokeOn.load(), 0);
  EXPECT_EQ(gkButton_GetState(Item(kIdReduceVocal)), 1);

  ShowTime(nullptr, Item(kIdPositionSlider), 30, 100);
  Press(Qt::Key_Right, Item(kIdPlay));
  EXPECT_EQ(player.keyboardSeekCountdown, 2);
  // The slider moved one step (3 %) and seeked there; the player shows the whole second.
  EXPECT_NEAR(gkSlider_GetValue(Item(kIdPositionSlider)), 33.0f, 4.0f);
  EXPECT_GT(player.seekFrame.load(), 0);

  Press(Qt::Key_Period, Item(kIdCdVolume));
  EXPECT_EQ(player.currentTrack.load(), 1);
  Press(Qt::Key_Comma);
  EXPECT_EQ(player.currentTrack.load(), 0);

  int code = -1;
  EXPECT_FALSE(QuitPosted(&code));
  Press(Qt::Key_Escape, Item(kIdStop));
  EXPECT_TRUE(QuitPosted(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(MainWindowTest, SplashEndsOnAKeyOrItsTimerAndATimerNeverSetIsReported) {
  QPointer<QWidget> splash = CreateSplash(window_.get(), kSplashBadgeTemplate);
  ASSERT_TRUE(splash);
  EXPECT_EQ(splash->size(), QSize(432, 288));
  QTest::keyClick(splash, Qt::Key_A);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(splash.isNull());

  // The timer's own end: the splash forgotten, the timer killed.
  app.splash = CreateSplash(window_.get(), kSplashTemplate);
  ASSERT_TRUE(window_->SetWindowTimer(kTimerSplash, kSplashMs, SplashScreenShutdownProc));
  TraceCapture trace;
  SplashScreenShutdownProc();
  EXPECT_TRUE(app.splash.isNull());
  EXPECT_FALSE(window_->WindowTimerSet(kTimerSplash));
  EXPECT_EQ(trace.Text(), "");
  // Without a splash (the setting off) the kill fails harmlessly, with its line.
  SplashScreenShutdownProc();
  EXPECT_EQ(trace.Text(), "SplashScreenShutdownProc: KillTimer(IDD_ABOUT) failed\n");
}

TEST_F(MainWindowTest, TheAboutBoxOutlastsTheReleaseOfTheKeyThatChoseIt) {
  bool openAfterRelease = false;
  QTimer::singleShot(0, [&] {
    QWidget* about = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && w->objectName() == QString::number(SplashTemplateForProcessor()))
        about = w;
    }
    if (!about) return;
    QTest::keyRelease(about, Qt::Key_Return);  // the menu's Return, pressed elsewhere
    openAfterRelease = about->isVisible();
    QTest::keyClick(about, Qt::Key_A);
  });
  AppCommand(window_.get(), kCmdAbout, nullptr, 0);  // returns when the box has ended
  EXPECT_TRUE(openAfterRelease);
}

TEST_F(MainWindowTest, EachSoundStartUpFailureShowsItsMessage) {
  struct Case {
    SimAudioOptions options;
    int result;
    const char* box;  // caption|start of the text
    const char* log;
  };
  SimAudioOptions inputFails, nothingOpens, noDuplex, noMixer;
  inputFails.failInputQuery = 6;
  nothingOpens.failInputOpen = 2;
  nothingOpens.failOutputOpen = 2;
  noDuplex.refuseOutputWithInput = true;
  noMixer.mixer.present = false;
  const Case cases[] = {
      {inputFails, kInitSound_InputFailed,
       "Sorn Karaoke:  Sound Input Problem|Sound input initialization failed:\n", ""},
      {nothingOpens, kInitSound_NoDevices,
       "Sorn Karaoke|Error:\n Uh oh. I couldn't deal with your sound card. Running without "
       "sound.  Sorry.",
       "kInitSound_SomethingFailed\n"},
      {noDuplex, kInitSound_NoFullDuplex,
       "Sorn Karaoke:  Sound Input Problem|Sound input from the microphone will not work:\n",
       "IsWindowsNT\n"},
      {noMixer, kInitSound_MixerFailed, "Sorn Karaoke|Error:\n Uh oh.",
       "kInitSound_SomethingFailed\n"},
  };
  for (const Case& c : cases) {
    boxes_.boxes.clear();
    std::filesystem::remove(root_ / kLogFileName);
    SetAudioBackend(CreateSimAudioBackend(c.options));
    const int result = InitSound(window_.get(), nullptr, kSubBlockDivisor);
    EXPECT_EQ(result, c.result);
    ReportInitSoundResult(window_.get(), result);
    CloseSound();
    ASSERT_EQ(boxes_.boxes.size(), 1u) << c.result;
    EXPECT_THAT(boxes_.boxes[0], ::testing::StartsWith(c.box));
    EXPECT_THAT(Log(), HasSubstr(c.log));
  }
  SetAudioBackend(nullptr);
  boxes_.boxes.clear();
  ReportInitSoundResult(nullptr, kInitSound_ThreadFailed);
  ReportInitSoundResult(nullptr, kInitSound_Ok);
  EXPECT_THAT(boxes_.boxes,
              ElementsAre("Sorn Karaoke:  Sound Process Problem|Sound process initialization "
                          "failed:\n\nYour machine may not have enough resources available.\n\n"
                          "Consider quitting SornKaraoke and restarting your machine\n"));
  EXPECT_EQ(boxes_.lastFlags, kMbOk | kMbIconHand | kMbSystemModal);
}

TEST(AudioContext, DefaultsThenInitialisationForTheEngineRate) {
  int done = 0;
  soundBlock.notch120On.store(1);
  soundBlock.balance.store(0.5f);
  DefaultAudioContext(&audioContext, &done);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(soundBlock.notch120On.load(), 0);
  EXPECT_EQ(soundBlock.balance.load(), 0.0f);
  EXPECT_EQ(KaraokeParameterValue(kStereoGeneratorBands), 750.0f);
  InitAudioContext(&audioContext);
  EXPECT_EQ(soundBlock.voiceFX.samplingFrequency, kEngineSamplingFrequency);
  EXPECT_EQ(audioContext.initialised, 1);
  // Slider positions and values, both ways, on the crossover's range.
  const ParameterRange& crossover = audioContext.ranges[kParamCrossoverFrequency];
  EXPECT_FLOAT_EQ(ParameterFromPosition(crossover, 50), 1012.5f);
  EXPECT_EQ(PositionFromParameter(crossover, 1012.5f), 50);
  EXPECT_EQ(PositionFromParameter(audioContext.ranges[kParamMidiNote], 127.0f), 100);
  FreeAudioContextBuffers();
  EXPECT_EQ(audioContext.initialised, 0);
}

}  // namespace
