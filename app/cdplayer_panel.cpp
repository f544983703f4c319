#include "app/cdplayer_panel.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "app/display_modes.h"
#include "app/main_window.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "audio/voicefile.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/periodic_timer.h"
#include "platform/sync/window_thread.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
#include "settings/settings.h"
#include "widgets/bitmap_array.h"
#include "widgets/bitmap_button.h"
#include "widgets/bitmap_layer.h"
#include "widgets/container.h"
#include "widgets/level_meter.h"
#include "widgets/menu_popup.h"
#include "widgets/slider.h"
#include "widgets/template_loader.h"
#include "widgets/text_pane.h"

namespace {

struct ButtonSkin {
  int id;
  int behavior;
  const char* down;  // "IDB_BITMAP_BUTTON_<down>"
  const char* up;    // null: the background cut at the button's own place
  bool releaseCallback;
};

// The transport, the singer's switches and the window buttons.
constexpr ButtonSkin kButtons[] = {
    {kIdPlay, kGkButtonToggle, "PLAY_DOWN", nullptr, false},
    {kIdStop, kGkButtonPush, "STOP_DOWN", nullptr, false},
    {kIdPrevious, kGkButtonPush, "PREVIOUSTRACK_DOWN", nullptr, false},
    {kIdNext, kGkButtonPush, "NEXTTRACK_DOWN", nullptr, false},
    {kIdReduceVocal, kGkButtonToggle, "REDUCEVOCAL_DOWN", nullptr, false},
    {kIdVoiceRecord, kGkButtonToggle, "VOICERECORD_DOWN", nullptr, false},
    {kIdVoicePlay, kGkButtonToggle, "VOICEPLAY_DISABLED_DOWN", "VOICEPLAY_DISABLED_UP", false},
    {kIdDownload, kGkButtonPush, "DOWNLOADCDINFO_DOWN", "DOWNLOADCDINFO_UP", false},
    {kIdClose, kGkButtonPush, "WINDOW_CLOSE_DOWN", "WINDOW_CLOSE_UP", true},
    {1296, kGkButtonPush, "WINDOW_MAXIMIZE_DOWN", "WINDOW_MAXIMIZE_UP", true},
    {1028, kGkButtonPush, "WINDOW_MINIMIZE_DOWN", "WINDOW_MINIMIZE_UP", true},
};

constexpr int kMenuPopups[] = {1167, 1168, 1171};

class PanelDisplay;

struct PanelState {
  QPointer<QWidget> panel;
  void* window = nullptr;  // the main window, handed to the player
  std::unique_ptr<PeriodicTimer> levelMeterTimer;
  std::unique_ptr<PanelDisplay> display;
  int playPressCount = 0;
  bool playRequested = false;
};
PanelState panelState;

QWidget* Item(int id) {
  return panelState.panel ? GkGetDlgItem(panelState.panel, id) : nullptr;
}

QPixmap Bitmap(const QString& name) {
  return LoadSkinBitmap(name);
}

float CdGainFromLevel(float level) {
  const float g = (level / 7.0f) * (level / 7.0f);
  return g * g;
}

float MicGainFromLevel(float level) {
  const float x = level * 2.0f / 10.0f - 1.0f;
  return x >= 0.0f ? std::pow(10.0f, x) : std::pow(10.0f, 1.5f * x);
}

// What the player shows goes to the panel's widgets.
class PanelDisplay : public CdPlayerDisplay {
 public:
  void SetTitleLine(const std::string& album, const std::string& artist) override {
    gkText_SetText(Item(kIdAlbum), QString::fromStdString(album));
    gkText_SetText(Item(kIdArtist), QString::fromStdString(artist));
    gkContainer_Layout(Item(kIdAlbumRow));
  }
  void SetStatusLine(const std::string& text) override {
    QWidget* download = Item(kIdDownload);
    const int id = download && download->isVisible() ? kIdTitleShort : kIdTitle;
    gkText_SetText(Item(id), QString::fromStdString(text));
  }
  void SetArtistLine(const std::string& text) override {
    gkText_SetText(Item(kIdArtist), QString::fromStdString(text));
    gkContainer_Layout(Item(kIdAlbumRow));
  }
  void ShowPlayButtonReleased() override { gkButton_SetState(Item(kIdPlay), 1); }
  void ShowPosition(int seconds, int trackSeconds) override {
    ShowTime(Item(kIdTimeDisplay), Item(kIdPositionSlider), seconds, trackSeconds);
  }
  void KeyboardSeekReleased() override { TimeSliderMouseUpCallback(kIdPositionSlider); }
};

void ConfigureTexts() {
  const int dpi = panelState.panel->logicalDpiY();
  const GkColor green = GkRgb(122, 255, 0), cyan = GkRgb(0, 255, 246);
  const QFont title = GkCreateFont(GkFontDescription("Tahoma", 16, 400, dpi));
  const QFont album = GkCreateFont(GkFontDescription("Tahoma", 12, 700, dpi));
  const QFont prefix = GkCreateFont(GkFontDescription("Tahoma", 8, 400, dpi));
  for (int id : {kIdTitle, kIdTitleShort}) {
    gkText_SetFont(Item(id), title, 0);
    gkText_SetColors(Item(id), 0, green, 0);
  }
  for (int id : {kIdAlbum, kIdArtist}) {
    gkText_SetFont(Item(id), album, 0);
    gkText_SetColors(Item(id), 0, green, 0);
  }
  for (int id : {1101, 1102}) {
    gkText_SetFont(Item(id), prefix, 0);
    gkText_SetColors(Item(id), 0, cyan, 0);
    gkText_SetAlignment(Item(id), kGkTextAlignBottom, 0);
  }
  gkText_SetResize(Item(1101), 2, 0);
  gkText_SetResize(Item(kIdAlbum), 1, 0);
  gkText_SetResize(Item(1102), 3, 0);
  gkText_SetResize(Item(kIdArtist), 1, 0);
  gkText_SetText(Item(1101), "CD");
  QWidget* row = Item(kIdAlbumRow);
  gkContainer_SetProperties(row, kIdAlbumRow);
  gkContainer_SetWidget(row, Item(kIdAlbum), 0, 1);
  gkContainer_SetWidget(row, Item(1102), 1, 1);
  gkContainer_SetWidget(row, Item(kIdArtist), 2, 1);
  gkContainer_SetSpacing(row, 2, 4, 0);
  gkContainer_SetSpring(row, 1, 100, 0);
  gkContainer_SetSpring(row, 3, 100, 0);
  gkText_SetText(Item(1102), "by");
}

void ConfigureBehaviours() {
  for (const ButtonSkin& b : kButtons) {
    gkButton_SetBehavior(Item(b.id), b.id, b.behavior,
                         b.releaseCallback ? nullptr : CDPlayerPanelStateManager,
                         b.releaseCallback ? CDPlayerPanelStateManager : nullptr);
  }
  gkButton_SetCallbacksPostPixUpdate(Item(kIdPrevious), CDPlayerPanelStateManager,
                                     PressPlayIfPlaying);
  gkButton_SetCallbacksPostPixUpdate(Item(kIdNext), CDPlayerPanelStateManager, PressPlayIfPlaying);
  gkButton_SetName(Item(kIdPlay), "IDC_BUTTON_CDPLAYER_PLAY");
  gkButton_SetName(Item(kIdStop), "IDC_BUTTON_CDPLAYER_STOP");
  gkButton_SetName(Item(kIdPrevious), "IDC_BUTTON_CDPLAYER_TRACKRESTART");
  gkButton_SetName(Item(kIdNext), "IDC_BUTTON_CDPLAYER_TRACKNEXT");
  for (int i = 0; i < 24; ++i)
    gkBitmapLayer_SetBehavior(Item(kRingLightIds[i]), kRingLightIds[i], nullptr, 0);

  gkBitmapArray_SetProperties(Item(kIdTimeDisplay), kIdTimeDisplay, 7);
  QWidget* position = Item(kIdPositionSlider);
  gkSlider_SetProperties(position, kIdPositionSlider, kGkSliderHorizontal,
                         CDPlayerPanelStateManager);
  gkSlider_SetReleaseCallback(position, TimeSliderMouseUpCallback);
  gkSlider_SetRange(position, 0, 100);
  gkSlider_SetCapWindow(position, Item(kIdTimeDisplay));
  gkSlider_SetName(position, "IDC_TRACKBAR_TIME");
  for (int id : {kIdCdVolume, kIdMicVolume}) {
    gkSlider_SetProperties(Item(id), id, kGkSliderVertical, CDPlayerPanelStateManager);
    gkSlider_SetRange(Item(id), 0, 10);
  }
  for (int id : {kIdMusicMeter, kIdMicMeter}) {
    vu_SetRange(Item(id), 0, 100);
    vu_SetBarHold(Item(id), 8);
    vu_SetPeakHold(Item(id), 16);
    vu_SetBarFallRate(Item(id), 0.15625f);
    vu_SetPeakFallRate(Item(id), 0.015625f);
  }
  gkBitmapLayer_SetBehavior(Item(kIdTabs), kIdTabs, nullptr, 0);
  gkBitmapLayer_SetVerticalSegmentation(Item(kIdTabs), 2);
  gkBitmapLayer_SetIndex(Item(kIdTabs), settings.panelDisplay);
  for (int id : kMenuPopups) gkMenuPopUp_SetAlignment(Item(id), 20);
  for (int id : {1010, 1169}) gkMenuPopUp_SetAlignment(Item(id), 20);
  for (int i = 0; i < 8; ++i)
    gkButton_SetBehavior(Item(1041 + i), 1041 + i, kGkButtonToggle, nullptr, nullptr);
}

void StartLevelMeterTimer() {
  if (panelState.levelMeterTimer) return;
  panelState.levelMeterTimer = std::make_unique<PeriodicTimer>();
  QPointer<QWidget> panel = panelState.panel;
  const uint32_t id = panelState.levelMeterTimer->Start(kLevelMeterPeriodMs, [panel](uint32_t) {
    // Timer thread: only a posted tick; the meters are drawn on the window thread.
    RunOnWindowThread([panel] {
      if (panel) CdPlayerPanelLevelTick(panel);
    });
  });
  if (id == 0) {
    Trace("InitializeGUI_CDPlayer: timeSetEvent() failed to create _vuMeterTimerID\n");
    panelState.levelMeterTimer.reset();
  }
}

}  // namespace

QWidget* LoadCdPlayerPanel(QWidget* mainWindow) {
  InitSkinResources();
  QWidget* panel = GkLoadTemplate(SkinTemplatePath(), mainWindow);
  if (!panel) return nullptr;
  panelState.panel = panel;
  panelState.window = mainWindow;
  return panel;
}

QWidget* CdPlayerPanel() {
  return panelState.panel;
}

void ApplyPanelSkin(QWidget* panel) {
  panelState.panel = panel;
  const QPixmap background = LoadSkinBitmap(kSkinBackgroundId);
  if (auto* label = qobject_cast<QLabel*>(Item(kSkinBackgroundControl))) {
    label->setPixmap(background);
  }
  for (const ButtonSkin& b : kButtons) {
    QPixmap looks[2] = {Bitmap(QString("IDB_BITMAP_BUTTON_") + b.down),
                        b.up ? Bitmap(QString("IDB_BITMAP_BUTTON_") + b.up) : background};
    gkButton_SetGraphics(Item(b.id), looks, 2);
    if (!b.up) gkButton_SetBitmapCutAreaSelf(Item(b.id), 1);
  }
  for (int i = 0; i < 8; ++i) {
    QPixmap fx[2] = {Bitmap(QString("IDB_BITMAP_BUTTON_MICFX_VOICEFX%1_DOWN").arg(i)), background};
    gkButton_SetGraphics(Item(1041 + i), fx, 2);
    gkButton_SetBitmapCutAreaSelf(Item(1041 + i), 1);
  }
  for (int i = 0; i < 24; ++i) {
    const QString base = QString("IDB_BITMAP_RING_LED_%1").arg(i, 2, 10, QChar('0'));
    QPixmap looks[2] = {Bitmap(base + "_OFF"), Bitmap(base + "_ON")};
    gkBitmapLayer_SetGraphics(Item(kRingLightIds[i]), looks, 2);
    gkBitmapLayer_SetIndex(Item(kRingLightIds[i]), 1);
  }
  std::vector<QPixmap> digits;
  for (int d = 0; d < 10; ++d) digits.push_back(Bitmap(QString("IDB_BITMAP_DIGIT_%1").arg(d)));
  for (const char* name : {"COLON", "BLANK", "LEFTEND", "RIGHTEND"})
    digits.push_back(Bitmap(QString("IDB_BITMAP_DIGIT_") + name));
  gkBitmapArray_SetAllBitMaps(Item(kIdTimeDisplay), digits.data(), static_cast<int>(digits.size()));
  const struct {
    int id;
    const char* name;
  } sliders[] = {{kIdPositionSlider, "TIME"},
                 {kIdCdVolume, "CD_VOLUME"},
                 {kIdMicVolume, "MIC_VOLUME"},
                 {1076, "MICFX_VARIATION"}};
  for (const auto& s : sliders) {
    QPixmap pair[2] = {Bitmap(QString("IDB_BITMAP_SLIDER_%1_TROUGH").arg(s.name)),
                       Bitmap(QString("IDB_BITMAP_SLIDER_%1_CAP").arg(s.name))};
    gkSlider_SetGraphics(Item(s.id), pair);
  }
  for (const auto& m : {std::pair{kIdMusicMeter, "LEFT"}, std::pair{kIdMicMeter, "RIGHT"}}) {
    QPixmap pictures[2] = {Bitmap(QString("IDB_BITMAP_VUMETER_%1_OFF").arg(m.second)),
                           Bitmap(QString("IDB_BITMAP_VUMETER_%1_ON").arg(m.second))};
    vu_SetGraphics(Item(m.first), pictures, 2);
  }
  QPixmap tabs[2] = {background, Bitmap("IDB_BITMAP_LAYER_TABS_TOP_LYRICS")};
  gkBitmapLayer_SetGraphics(Item(kIdTabs), tabs, 2);
  gkBitmapLayer_SetBitmapCutAreaSelf(Item(kIdTabs), 0);
  for (int id : kMenuPopups) {
    QPixmap looks[2] = {QPixmap(), background};
    gkMenuPopUp_SetGraphics(Item(id), looks, 2);
    gkMenuPopUp_SetBitmapCutAreaSelf(Item(id), 1);
  }
}

void InitializeGUI_CDPlayer(QWidget* panel) {
  panelState.panel = panel;
  panel->setWindowTitle("Sorn Karaoke");
  for (const SkinNudge& nudge : kSkinNudges) {
    if (QWidget* w = Item(nudge.id))
      w->move(std::max(0, w->x() + nudge.dx), std::max(0, w->y() + nudge.dy));
  }
  ApplyPanelSkin(panel);
  ConfigureBehaviours();
  ConfigureTexts();
  ShowTime(Item(kIdTimeDisplay), Item(kIdPositionSlider), 0, 100);
  if (!panelState.display) panelState.display = std::make_unique<PanelDisplay>();
  SetCdPlayerDisplay(panelState.display.get());
  StartLevelMeterTimer();
  if (QWidget* w = Item(kIdDownload)) w->hide();
  if (QWidget* w = Item(kIdTitleShort)) w->hide();
  if (QWidget* w = Item(kIdTitle)) w->show();
}

void ApplyPanelVolumeLevels(QWidget* panel) {
  panelState.panel = panel;
  if (mixerState.mixer) {
    const int percent =
        GetVolume_Microphone(mixerState.mixer, &mixerState.table, kPanelMicDestination, 2);
    settings.audioMicrophoneLevel = static_cast<float>(percent) * 0.1f;
  }
  gkSlider_SetValue(Item(kIdMicVolume), settings.audioMicrophoneLevel);
  gkSlider_SetValue(Item(kIdCdVolume), settings.audioCdLevel);
  soundBlock.cdLevel.store(CdGainFromLevel(settings.audioCdLevel));
  soundBlock.voicePlaybackGain.store(std::pow(10.0f, settings.audioMicrophoneLevel * 0.05f));
}

void ReleaseCdPlayerPanel() {
  if (panelState.levelMeterTimer) panelState.levelMeterTimer->Kill();
  panelState.levelMeterTimer.reset();
  SetCdPlayerDisplay(nullptr);
}

void CDPlayerPanelStateManager(int32_t id) {
  void* window = panelState.window;
  QWidget* panel = panelState.panel;
  switch (id) {
    case kIdReduceVocal:
      soundBlock.karaokeOn.store(gkButton_GetState(Item(kIdReduceVocal)) != 1 ? 1 : 0);
      break;
    case kIdPlay:
      CdPlayPause(window);
      if (player.cdState.load() != CD_PLAY) {
        Trace("IDC_BUTTON_CDPLAYER_PLAY%d: cdState != CD_PLAY\n", panelState.playPressCount++);
        StopVoicePlayback(panel, true);
        StopVoiceRecording(panel, true);
      }
      break;
    case kIdStop:
      StopVoicePlayback(panel, true);
      StopVoiceRecording(panel, true);
      CdStop(window);
      break;
    case kIdPrevious:
      StopVoiceRecording(panel, true);
      CdPreviousTrack(window);
      RestartVoicePlayback(panel);
      break;
    case kIdNext:
      StopVoicePlayback(panel, true);
      StopVoiceRecording(panel, true);
      CdNextTrack(window);
      break;
    case kIdClose:
      PostQuitMessage(0);
      break;
    case kIdPositionSlider:
      CdSeekPercent(gkSlider_GetValue(Item(kIdPositionSlider)), 1, player.cdState.load());
      StopVoiceRecording(panel, true);
      panelState.playRequested = true;
      break;
    case kIdCdVolume:
      settings.audioCdLevel = gkSlider_GetValue(Item(kIdCdVolume));
      soundBlock.cdLevel.store(CdGainFromLevel(settings.audioCdLevel));
      break;
    case kIdMicVolume: {
      float level = gkSlider_GetValue(Item(kIdMicVolume));
      if (level <= 1.0f) level = std::clamp(level - 0.8f, 0.0f, 10.0f);
      settings.audioMicrophoneLevel = level;
      if (!soundBlock.voicePlaybackOn.load() && mixerState.mixer)
        SetVolume_Microphone(mixerState.mixer, &mixerState.table, kPanelMicDestination,
                             10.0 * level, 2);
      soundBlock.voicePlaybackGain.store(MicGainFromLevel(level));
      break;
    }
    case kFullScreenCommand:
      FullScreenModeCommand();
      break;
    default:
      Trace("CDPlayerPanelStateManager: bogus id=%d\n", id);
      break;
  }
}

void TimeSliderMouseUpCallback(int32_t id) {
  if (player.keyboardSeekCountdown <= 0) player.seekPending.store(0);
  if (id != kIdPositionSlider) {
    Trace("TimeSliderMouseUpCallback: bogus id=%d\n", id);
    return;
  }
  CdSeekPercent(gkSlider_GetValue(Item(kIdPositionSlider)), 0, player.cdState.load());
  panelState.playRequested = true;
}

void PressPlayIfPlaying(int32_t id) {
  if ((id == kIdPrevious || id == kIdNext) && player.cdState.load() == CD_PLAY)
    gkButton_SetState(Item(kIdPlay), 0);
}

void ShowTime(QWidget* display, QWidget* slider, int seconds, int trackSeconds) {
  if (display) {
    const int minutes = seconds / 60, secs = seconds % 60;
    const int indices[7] = {
        12, minutes < 10 ? -1 : (minutes / 10) % 10, minutes % 10, 10, secs / 10, secs % 10, 13};
    gkBitmapArray_SetAllIndices(display, indices, 7);
  }
  if (slider) {
    if (trackSeconds > 0) {
      gkSlider_SetIncrementPercentage(slider, 3.0f * 100.0f / static_cast<float>(trackSeconds));
      gkSlider_SetValue(slider,
                        static_cast<float>(seconds) / static_cast<float>(trackSeconds) * 100.0f);
    } else {
      gkSlider_SetValue(slider, 0.0f);
    }
  }
}

void CdPlayerPanelLevelTick(QWidget* panel) {
  panelState.panel = panel;
  vu_SetBarPosition(Item(kIdMusicMeter), soundBlock.cdMeterLevel.load());
  vu_SetBarPosition(Item(kIdMicMeter), soundBlock.micMeterLevel.load());
}

void StopVoicePlayback(QWidget* panel, bool releaseButton) {
  panelState.panel = panel;
  if (releaseButton) gkButton_SetState(Item(kIdVoicePlay), 1);
  if (soundBlock.voicePlaybackOn.load()) StopVoiceFilePlayback();
}

void StopVoiceRecording(QWidget* panel, bool releaseButton) {
  panelState.panel = panel;
  if (releaseButton) gkButton_SetState(Item(kIdVoiceRecord), 1);
  if (soundBlock.voiceRecordOn.load()) StopVoiceFileRecording();
}

void RestartVoicePlayback(QWidget* panel) {
  const bool wasPlaying = soundBlock.voicePlaybackOn.load() != 0;
  StopVoicePlayback(panel, false);
  if (wasPlaying) StartVoiceFilePlayback(panelState.window);
}

void SetVocalReduction(QWidget* panel, bool on) {
  panelState.panel = panel;
  gkButton_SetState(Item(kIdReduceVocal), on ? 0 : 1);
  soundBlock.karaokeOn.store(on ? 1 : 0);
}

void SendButtonDown(QWidget* button) {
  if (!button) return;
  const QPointF centre(button->width() / 2.0, button->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(button, &press);
}

void SendButtonUp(QWidget* button) {
  if (!button) return;
  const QPointF centre(button->width() / 2.0, button->height() / 2.0);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(button, &release);
}
