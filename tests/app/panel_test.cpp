// The CD player panel on the offscreen platform: the time display, the volume mappings, the
// ring of lights, the tab that switches the lower panel, and the singer's record and playback
// buttons with the track list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>

#include "app/cdplayer_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "audio/sound_block.h"
#include "audio/voicefile.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"
#include "widgets/bitmap_array.h"
#include "widgets/bitmap_button.h"
#include "widgets/bitmap_layer.h"
#include "widgets/menu_popup.h"
#include "widgets/slider.h"
#include "widgets/text_pane.h"

using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

QImage Plain(const QImage& image) {
  return image.convertToFormat(QImage::Format_RGB32);
}

class PanelTest : public PanelWindowTest {
 protected:
  void TearDown() override {
    StopVoiceFilePlayback();
    StopVoiceFileRecording();
    PanelWindowTest::TearDown();
  }
  // Positions of the ring's lit lights.
  std::vector<int> LitLights() {
    std::vector<int> lit;
    for (int i = 0; i < 24; ++i) {
      if (gkBitmapLayer_GetIndex(Item(kRingLightIds[i])) == 1) lit.push_back(i);
    }
    return lit;
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) CdPlayerPanelLevelTick(window_->Panel());
  }
  void Click(int id) { QTest::mouseClick(Item(id), Qt::LeftButton); }
};

TEST_F(PanelTest, TheTimeDisplayLeavesTheTensOfMinutesBlankAndTheSliderFollowsTheTrack) {
  QWidget* display = Item(kIdTimeDisplay);
  QWidget* slider = Item(kIdPositionSlider);
  const QImage nine = Plain(LoadSkinBitmap("IDB_BITMAP_DIGIT_9").toImage());
  const QImage five = Plain(LoadSkinBitmap("IDB_BITMAP_DIGIT_5").toImage());
  const QImage one = Plain(LoadSkinBitmap("IDB_BITMAP_DIGIT_1").toImage());

  // 9:05: left end, nothing, "9", colon, "0", "5", right end.
  ShowTime(display, slider, 9 * 60 + 5, 600);
  QImage shot = Plain(display->grab().toImage());
  EXPECT_EQ(gkBitmapArray_GetTotalWidth(display), 10 + 20 + 10 + 20 + 20 + 10);
  EXPECT_EQ(shot.copy(10, 0, 20, 32), nine);
  EXPECT_EQ(shot.copy(60, 0, 20, 32), five);
  // The slider's cap is the display as last drawn; the value is whole pixels of its travel.
  ShowTime(nullptr, slider, 9 * 60 + 5, 600);
  EXPECT_NEAR(gkSlider_GetValue(slider), 545.0f / 6.0f, 0.5f);

  // 12:34 fills all seven columns.
  ShowTime(display, slider, 12 * 60 + 34, 800);
  shot = Plain(display->grab().toImage());
  EXPECT_EQ(gkBitmapArray_GetTotalWidth(display), 10 + 20 + 20 + 10 + 20 + 20 + 10);
  EXPECT_EQ(shot.copy(10, 0, 20, 32), one);

  // A track without length puts the slider at its start.
  ShowTime(nullptr, slider, 30, 0);
  EXPECT_EQ(gkSlider_GetValue(slider), 0.0f);
}

TEST_F(PanelTest, VolumeSlidersSetTheLevelsAndTheGainsTheEngineReads) {
  // Slider values come in whole pixels of travel (about 0.07 of the 0..10 range here).
  const struct {
    float slider, level, gain;
  } microphone[] = {
      {0.9f, 0.1f, std::pow(10.0f, 1.5f * -0.98f)},  // the bottom tenth is pulled to silence
      {0.5f, 0.0f, std::pow(10.0f, -1.5f)},
      {5.0f, 5.0f, 1.0f},
      {10.0f, 10.0f, 10.0f},
  };
  for (const auto& c : microphone) {
    gkSlider_SetValue(Item(kIdMicVolume), c.slider);
    CDPlayerPanelStateManager(kIdMicVolume);
    EXPECT_NEAR(settings.audioMicrophoneLevel, c.level, 0.04f) << c.slider;
    EXPECT_NEAR(soundBlock.voicePlaybackGain.load(), c.gain, c.gain * 0.1f) << c.slider;
  }
  for (float level : {3.5f, 7.0f, 10.0f}) {
    gkSlider_SetValue(Item(kIdCdVolume), level);
    CDPlayerPanelStateManager(kIdCdVolume);
    EXPECT_NEAR(settings.audioCdLevel, level, 0.04f);
    EXPECT_NEAR(soundBlock.cdLevel.load(), std::pow(settings.audioCdLevel / 7.0f, 4.0f), 1e-5f);
  }
  EXPECT_NEAR(CdGainFromLevel(3.5f), 0.0625f, 1e-6f);
}

TEST_F(PanelTest, RingLightsRotateWhilePlayingBlinkWhileStoppedAndGoDarkWithoutADisc) {
  // Start-up leaves every light on.
  EXPECT_EQ(LitLights().size(), 24u);
  player.cdState.store(CD_PLAY);
  Ticks(1);
  EXPECT_THAT(LitLights(), ElementsAre(0, 8, 16));
  Ticks(3);  // the step waits for every fourth tick
  EXPECT_THAT(LitLights(), ElementsAre(0, 8, 16));
  Ticks(1);
  EXPECT_THAT(LitLights(), ElementsAre(1, 9, 17));
  Ticks(4 * 23);
  EXPECT_THAT(LitLights(), ElementsAre(0, 8, 16));  // round the ring

  player.cdState.store(CD_PAUSE);
  Ticks(1);
  EXPECT_TRUE(LitLights().empty());
  Ticks(15);
  EXPECT_EQ(LitLights().size(), 12u);
  EXPECT_EQ(LitLights().front(), 0);
  Ticks(32);  // the next blink starts with the other half
  EXPECT_EQ(LitLights().front(), 1);

  player.cdState.store(CD_NOCD);
  Ticks(1);
  EXPECT_TRUE(LitLights().empty());
  player.cdState.store(CD_STOP);
}

TEST_F(PanelTest, TheTabSwitchesTheLowerPanelOnlyWhenItsIndexChanges) {
  settings.panelDisplay = 1;
  gkBitmapLayer_SetIndex(Item(kIdTabs), 1);
  ShowChosenLowerPanel();
  auto lyricsShown = [this] { return !Item(kIdLyricsText)->isHidden(); };
  auto micShown = [this] { return !Item(1041)->isHidden() && !Item(1076)->isHidden(); };
  EXPECT_TRUE(lyricsShown());
  EXPECT_FALSE(micShown());

  QWidget* tab = Item(kIdTabs);
  QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(tab->width() / 2, tab->height() * 3 / 4));
  EXPECT_EQ(settings.panelDisplay, 1);
  EXPECT_TRUE(lyricsShown());
  EXPECT_FALSE(micShown());

  QTest::mouseClick(tab, Qt::LeftButton, {}, QPoint(tab->width() / 2, tab->height() / 4));
  EXPECT_EQ(settings.panelDisplay, 0);
  EXPECT_FALSE(lyricsShown());
  EXPECT_TRUE(micShown());

  TraceCapture trace;
  ViewPanelStateManager(5);
  EXPECT_EQ(trace.Text(), "ViewPanelStateManager: bogus index=5\n");
  EXPECT_EQ(settings.panelDisplay, 0);
}

TEST_F(PanelTest, RecordingPlaysTheTrackFromItsStartAndThenThePlaybackButtonWorks) {
  // Normal play mode, stopped on the second track: recording stays on that track.
  CdSetMode(0);
  CdSelectTrack(window_.get(), 1);
  Click(kIdVoicePlay);
  EXPECT_THAT(boxes_.Boxes(),
              ElementsAre("No recording exists |A Karaoke recording does not exist for this "
                          "track.   To create your recording, press the Record Me button."));
  EXPECT_EQ(gkButton_GetState(Item(kIdVoicePlay)), 1);

  commands_.clear();
  Click(kIdVoiceRecord);
  EXPECT_EQ(gkButton_GetState(Item(kIdPlay)), 0);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  EXPECT_EQ(player.currentTrack.load(), 1);
  EXPECT_EQ(player.playStartFrame.load(), static_cast<int>(player.cdTrack[1].startFrame));
  EXPECT_THAT(commands_, ElementsAre(CDDA_PLAY));
  EXPECT_EQ(soundBlock.voiceRecordOn.load(), 1);

  Click(kIdVoiceRecord);
  EXPECT_EQ(soundBlock.voiceRecordOn.load(), 0);
  EXPECT_TRUE(CurrentTrackRecordingExists());
  const QPixmap* looks = gkButton_GetGraphics(Item(kIdVoicePlay));
  EXPECT_EQ(Plain(looks[0].toImage()),
            Plain(LoadSkinBitmap("IDB_BITMAP_BUTTON_VOICEPLAY_DOWN").toImage()));

  // Now the recording plays over the track.
  Click(kIdVoicePlay);
  EXPECT_EQ(soundBlock.voicePlaybackOn.load(), 1);
  EXPECT_EQ(gkButton_GetState(Item(kIdVoicePlay)), 0);
  EXPECT_TRUE(PanelPlayRequested());
  EXPECT_EQ(boxes_.Boxes().size(), 1u);
}

TEST_F(PanelTest, ATrackListChoiceOfTheCurrentTrackRestartsVoicePlayback) {
  Click(kIdVoiceRecord);
  Click(kIdVoiceRecord);
  Click(kIdVoicePlay);
  ASSERT_EQ(soundBlock.voicePlaybackOn.load(), 1);
  soundBlock.voicePlaybackSeekRequest.store(0);

  AppCommand(window_.get(), TrackCommandId(0), nullptr, 0);
  EXPECT_EQ(soundBlock.voicePlaybackOn.load(), 1);
  EXPECT_EQ(soundBlock.voicePlaybackSeekRequest.load(), 1);  // from the recording's start
  EXPECT_EQ(gkButton_GetState(Item(kIdVoicePlay)), 0);

  AppCommand(window_.get(), TrackCommandId(2), nullptr, 0);
  EXPECT_EQ(player.currentTrack.load(), 2);
  EXPECT_EQ(soundBlock.voicePlaybackOn.load(), 0);
  EXPECT_EQ(gkButton_GetState(Item(kIdVoicePlay)), 1);
}

TEST_F(PanelTest, TheTrackListHoldsOneCommandPerTrackAndTheTitlesFitTheirPlaces) {
  QMenu* tracks = gkMenuPopUp_GetMenu(Item(kIdTrackList));
  ASSERT_NE(tracks, nullptr);
  ASSERT_EQ(tracks->actions().size(), player.lastTrack.load() + 1);
  EXPECT_EQ(GkActionCommand(tracks->actions()[0]), 800);
  EXPECT_EQ(GkActionCommand(tracks->actions()[1]), 40101);
  EXPECT_TRUE(tracks->actions()[0]->isChecked());
  EXPECT_EQ(TrackOfCommand(40130), 20);
  EXPECT_EQ(TrackCommandId(50), -1);

  // A long title is cut at a word to fit the line; the short line takes it while the
  // download button shows.
  const QString title = "7: A Very Long Title That Goes On And On Past The Edge Of The Line";
  SetPanelStatusLine(title);
  const QString shown = gkText_GetText(Item(kIdTitle));
  EXPECT_TRUE(shown.endsWith("...")) << shown.toStdString();
  EXPECT_LE(QFontMetrics(PanelFont(kFontTrackTitle)).horizontalAdvance(shown),
            Item(kIdTitle)->width());
  ShowDownloadButton(true);
  EXPECT_FALSE(Item(kIdDownload)->isHidden());
  EXPECT_TRUE(Item(kIdTitle)->isHidden());
  EXPECT_LT(gkText_GetText(Item(kIdTitleShort)).size(), shown.size());
  EXPECT_EQ(PanelTitleText(), title);
}

}  // namespace
