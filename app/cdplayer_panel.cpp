#include "app/cdplayer_panel.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/display_modes.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/microphone_panel.h"
#include "app/ring_lights.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "audio/voicefile.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "cdinfo/title_lookup.h"
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
  bool downloadShown = false;
  bool recordingAvailable = false;  // the voice-play button's look
  QString titleText;                // the track title line as given
  QString albumText, artistText;
  QFont fonts[3];
  bool fontMade[3] = {};
  RingLights ring;
  QPointer<QMenu> debugMenu;
};
PanelState panelState;

QWidget* Item(int id) {
  return panelState.panel ? GkGetDlgItem(panelState.panel, id) : nullptr;
}

QPixmap Bitmap(const QString& name) {
  return LoadSkinBitmap(name);
}

// The longest cut of text (at a word, with "...") that fits pixels in font.
QString FitToWidth(const QString& text, const QFont& font, int pixels) {
  const QFontMetrics metrics(font);
  if (metrics.horizontalAdvance(text) <= pixels) return text;
  const std::string whole = text.toStdString();
  for (int width = static_cast<int>(whole.size()) - 1; width > 0; --width) {
    const QString cut = QString::fromStdString(TruncateAtWord(whole, width));
    if (metrics.horizontalAdvance(cut) <= pixels) return cut;
  }
  return QString();
}

// The title lines: the short one while the download button shows.
void ShowTitleText() {
  const bool shortLine = panelState.downloadShown;
  QWidget* line = Item(shortLine ? kIdTitleShort : kIdTitle);
  if (!line) return;
  gkText_SetText(
      line, FitToWidth(panelState.titleText, panelState.fonts[kFontTrackTitle], line->width() - 2));
}

// The album and artist row: both texts cut at a word until the row fits the container, then
// laid out.
void ShowAlbumRow() {
  QWidget* row = Item(kIdAlbumRow);
  QWidget* by = Item(kIdPrefixBy);
  if (!row) return;
  const QFont& font = panelState.fonts[kFontAlbumArtist];
  const QFontMetrics metrics(font);
  // Three one-pixel gaps, the spacing before the artist, and the "by" between.
  const int room = row->width() - (by ? by->width() : 0) - 3 - 4 - 2;
  QString album = panelState.albumText, artist = panelState.artistText;
  const int albumWidth = metrics.horizontalAdvance(album);
  const int artistWidth = metrics.horizontalAdvance(artist);
  if (albumWidth + artistWidth > room) {
    if (albumWidth <= room / 2) {
      artist = FitToWidth(artist, font, room - albumWidth);
    } else if (artistWidth <= room / 2) {
      album = FitToWidth(album, font, room - artistWidth);
    } else {
      album = FitToWidth(album, font, room / 2);
      artist = FitToWidth(artist, font, room - metrics.horizontalAdvance(album));
    }
  }
  gkText_SetText(Item(kIdAlbum), album);
  gkText_SetText(Item(kIdArtist), artist);
  if (by) by->setVisible(!artist.isEmpty());
  gkContainer_Layout(row);
}

void SetTrackListCheck(int track) {
  QMenu* menu = gkMenuPopUp_GetMenu(Item(kIdTrackList));
  if (!menu) return;
  const int command = TrackCommandId(track);
  for (QAction* action : menu->actions()) {
    action->setChecked(command >= 0 && GkActionCommand(action) == command);
  }
}

// The play button before a disc is scanned: it only comes back up.
void PlayWithoutDisc(int32_t) {
  gkButton_SetState(Item(kIdPlay), 1);
}

// What the player shows goes to the panel's widgets.
class PanelDisplay : public CdPlayerDisplay {
 public:
  void SetTitleLine(const std::string& album, const std::string& artist) override {
    SetPanelTitleLine(QString::fromStdString(album), QString::fromStdString(artist));
  }
  void SetStatusLine(const std::string& text) override {
    SetPanelStatusLine(QString::fromStdString(text));
  }
  void SetArtistLine(const std::string& text) override {
    SetPanelArtistLine(QString::fromStdString(text));
  }
  void ClearTrackList() override {
    gkMenuPopUp_NewMenu(Item(kIdTrackList));
    // A new disc (or none): the download button comes back only for an unknown one.
    ShowDownloadButton(false);
  }
  void AddTrackLine(int track, const std::string& text) override {
    QMenu* menu = gkMenuPopUp_GetMenu(Item(kIdTrackList));
    if (!menu) return;
    QAction* action = menu->addAction(QString::fromStdString(text));
    const int command = TrackCommandId(track);
    // Tracks past the command table are listed but cannot be chosen.
    action->setEnabled(command >= 0);
    action->setCheckable(true);
    GkSetActionCommand(action, command);
  }
  void SetTrackLine(int track, const std::string& text) override {
    QMenu* menu = gkMenuPopUp_GetMenu(Item(kIdTrackList));
    if (!menu || track < 0 || track >= menu->actions().size()) return;
    menu->actions()[track]->setText(QString::fromStdString(text));
  }
  void SelectTrack(int track) override {
    SetTrackListCheck(track);
    // The voice-play button follows the track: usable when it has a recording.
    UpdateVoicePlayButton(CurrentTrackRecordingExists());
  }
  void SetPlayButtonActive(bool active) override {
    gkButton_SetBehavior(Item(kIdPlay), kIdPlay, kGkButtonToggle,
                         active ? CDPlayerPanelStateManager : PlayWithoutDisc, nullptr);
  }
  void ShowPlayButtonReleased() override { gkButton_SetState(Item(kIdPlay), 1); }
  void ShowPosition(int seconds, int trackSeconds) override {
    ShowTime(Item(kIdTimeDisplay), Item(kIdPositionSlider), seconds, trackSeconds);
  }
  void SetBlinkText(const std::string& text) override {
    SetLyricsStatusText(panelState.panel, QString::fromStdString(text));
  }
  void ShowTrackLyrics(int track) override { ::ShowTrackLyrics(panelState.window, track); }
  void ClearLyrics() override { SetLyricsText(panelState.panel, QString()); }
  void MarkUnknownCd() override { ShowDownloadButton(true); }
  void KeyboardSeekReleased() override { TimeSliderMouseUpCallback(kIdPositionSlider); }
};

// Step 9: the three fonts. A font that cannot be made leaves its texts with the one they have.
void ConfigureFonts() {
  const int dpi = panelState.panel->logicalDpiY();
  const struct {
    PanelFontKind kind;
    int points;
    int weight;
    const char* failure;
  } fonts[] = {
      {kFontTrackTitle, 16, 400, nullptr},
      {kFontAlbumArtist, 12, 700,
       "InitializeGUI_CDPlayer: unable to create _logFont_CDAlbumTitle\n"},
      {kFontPrefix, 8, 400, "InitializeGUI_CDPlayer: unable to create _logFont_CDTitlePrefix\n"},
  };
  for (const auto& f : fonts) {
    const QFont font = GkCreateFont(GkFontDescription("Tahoma", f.points, f.weight, dpi));
    if (QFontInfo(font).family().isEmpty() || QFontInfo(font).pixelSize() <= 0) {
      if (f.failure) Trace("%s", f.failure);
      continue;
    }
    SetPanelFont(f.kind, font);
  }
}

// Step 10 and 12: colours, resize modes, alignments, the prefixes and the album row.
void ConfigureTexts() {
  const GkColor green = GkRgb(122, 255, 0), cyan = GkRgb(0, 255, 246);
  for (int id : {kIdTitle, kIdTitleShort, kIdAlbum, kIdArtist})
    gkText_SetColors(Item(id), 0, green, 0);
  for (int id : {kIdPrefixCd, kIdPrefixBy}) {
    gkText_SetColors(Item(id), 0, cyan, 0);
    gkText_SetAlignment(Item(id), kGkTextAlignBottom, 0);
  }
  gkText_SetResize(Item(kIdPrefixCd), 2, 0);
  gkText_SetResize(Item(kIdAlbum), 1, 0);
  gkText_SetResize(Item(kIdPrefixBy), 3, 0);
  gkText_SetResize(Item(kIdArtist), 1, 0);
  gkText_SetText(Item(kIdPrefixCd), "CD");
  QWidget* row = Item(kIdAlbumRow);
  gkContainer_SetProperties(row, kIdAlbumRow);
  gkContainer_SetWidget(row, Item(kIdAlbum), 0, 1);
  gkContainer_SetWidget(row, Item(kIdPrefixBy), 1, 1);
  gkContainer_SetWidget(row, Item(kIdArtist), 2, 1);
  gkContainer_SetSpacing(row, 2, 4, 0);
  gkContainer_SetSpring(row, 1, 100, 0);
  gkContainer_SetSpring(row, 3, 100, 0);
  gkText_SetText(Item(kIdPrefixBy), "by");
}

void ConfigureLevelMeters() {
  const struct {
    int id;
    double angle, offset;
    int attributes[4];
  } meters[] = {{kIdMusicMeter, -0.0460766922526503, 0.0, {7, 3, 6, 8}},
                {kIdMicMeter, 0.0460766922526503, 0.0001, {7, 3, 8, 7}}};
  for (const auto& m : meters) {
    QWidget* w = Item(m.id);
    vu_SetRange(w, 0, 100);
    vu_SetLineSpiralCoils(w, 1, 13.0, m.angle, m.offset);
    vu_SetLineAttributes(w, m.attributes[0], m.attributes[1], m.attributes[2], m.attributes[3]);
    vu_SetBarHold(w, 8);
    vu_SetPeakHold(w, 16);
    vu_SetBarFallRate(w, 0.15625f);
    vu_SetPeakFallRate(w, 0.015625f);
  }
}

// Step 4: the ring record, all lights configured, then all switched on.
void ConfigureRingLights() {
  RingLights& ring = panelState.ring;
  ring = RingLights{};
  for (int i = 0; i < kRingLightCount; ++i) ring.lights[i] = Item(kRingLightIds[i]);
  ResetRingLEDs(&ring);
  for (int i = 0; i < kRingLightCount; ++i)
    gkBitmapLayer_SetBehavior(Item(kRingLightIds[i]), kRingLightIds[i], nullptr, 0);
  SetAllRingLEDs(&ring, 1);
}

// Step 8: the popups with menu 202's submenus, the track list and the logo's empty menu.
void ConfigurePopups() {
  const struct {
    int id;
    MainSubmenu submenu;
  } popups[] = {{kIdPopupHelp, kSubmenuHelp},
                {kIdPopupInternet, kSubmenuInternet},
                {kIdPopupOptions, kSubmenuOptions}};
  for (const auto& p : popups) {
    QWidget* w = Item(p.id);
    gkMenuPopUp_SetBehavior(w, p.id, nullptr);
    gkMenuPopUp_SetAlignment(w, 20);
    QMenu* menu = LoadMainSubmenu(p.submenu);
    RegisterCommandMenu(menu);
    gkMenuPopUp_SetMenu(w, menu);
  }
  for (int id : {kIdTrackList, kIdPopupLogo}) {
    gkMenuPopUp_SetBehavior(Item(id), id, nullptr);
    gkMenuPopUp_SetAlignment(Item(id), 20);
    gkMenuPopUp_NewMenu(Item(id));
  }
  if (!panelState.debugMenu) {
    panelState.debugMenu = LoadMainSubmenu(kSubmenuDebug);
    RegisterCommandMenu(panelState.debugMenu);
  }
  // A developer's way to the Debug commands: the logo's popup shows them when asked for.
  if (const char* debug = std::getenv("SORN_DEBUG_MENU"); debug && debug[0] == '1') {
    QMenu* menu = LoadMainSubmenu(kSubmenuDebug);
    RegisterCommandMenu(menu);
    gkMenuPopUp_SetMenu(Item(kIdPopupLogo), menu);
  }
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
  UpdateVoicePlayButton(panelState.recordingAvailable);
  QPixmap tabs[2] = {background, Bitmap("IDB_BITMAP_LAYER_TABS_TOP_LYRICS")};
  gkBitmapLayer_SetGraphics(Item(kIdTabs), tabs, 2);
  gkBitmapLayer_SetBitmapCutAreaSelf(Item(kIdTabs), 0);
  for (int id : kMenuPopups) {
    QPixmap looks[2] = {QPixmap(), background};
    gkMenuPopUp_SetGraphics(Item(id), looks, 2);
    gkMenuPopUp_SetBitmapCutAreaSelf(Item(id), 1);
  }
  ApplyLyricsPanelSkin();
}

void InitializeGUI_CDPlayer(QWidget* panel) {
  panelState.panel = panel;
  panel->setWindowTitle("Sorn Karaoke");
  for (const SkinNudge& nudge : kSkinNudges) {
    if (QWidget* w = Item(nudge.id))
      w->move(std::max(0, w->x() + nudge.dx), std::max(0, w->y() + nudge.dy));
  }
  ApplyPanelSkin(panel);
  gkBitmapLayer_SetBehavior(Item(kIdTabs), kIdTabs, ViewPanelStateManager, 0);
  gkBitmapLayer_SetVerticalSegmentation(Item(kIdTabs), 2);
  gkBitmapLayer_SetIndex(Item(kIdTabs), settings.panelDisplay);
  ConfigureRingLights();
  ConfigureBehaviours();
  ShowTime(Item(kIdTimeDisplay), Item(kIdPositionSlider), 0, 100);
  ConfigurePopups();
  ConfigureFonts();
  ConfigureTexts();
  ConfigureLevelMeters();
  CheckMenuCommand(kCmdRepeat, settings.repeat != 0);
  if (!panelState.display) panelState.display = std::make_unique<PanelDisplay>();
  SetCdPlayerDisplay(panelState.display.get());
  SetVoicePlayButtonUpdate([](void*, int available) { UpdateVoicePlayButton(available != 0); });
  StartLevelMeterTimer();
  ShowDownloadButton(false);
  // Maximise and minimise stay hidden and disabled: the window keeps the skin's size.
  for (int id : {1296, 1028}) {
    if (QWidget* w = Item(id)) {
      w->hide();
      w->setEnabled(false);
    }
  }
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

void ShowChosenLowerPanel() {
  const bool lyrics = settings.panelDisplay == 1;
  ShowMicrophonePanel(!lyrics);
  ShowLyricsPanel(lyrics);
}

void ReleaseCdPlayerPanel() {
  if (panelState.levelMeterTimer) panelState.levelMeterTimer->Kill();
  panelState.levelMeterTimer.reset();
  SetCdPlayerDisplay(nullptr);
  SetVoicePlayButtonUpdate(nullptr);
  if (panelState.debugMenu) {
    UnregisterCommandMenu(panelState.debugMenu);
    delete panelState.debugMenu;
  }
}

float CdGainFromLevel(float level) {
  const float g = (level / 7.0f) * (level / 7.0f);
  return g * g;
}

float MicGainFromLevel(float level) {
  const float x = level * 2.0f / 10.0f - 1.0f;
  return x >= 0.0f ? std::pow(10.0f, x) : std::pow(10.0f, 1.5f * x);
}

QFont PanelFont(PanelFontKind kind) {
  return panelState.fonts[kind];
}

void SetPanelFont(PanelFontKind kind, const QFont& font) {
  panelState.fonts[kind] = font;
  panelState.fontMade[kind] = true;
  switch (kind) {
    case kFontTrackTitle:
      for (int id : {kIdTitle, kIdTitleShort}) gkText_SetFont(Item(id), font, 1);
      ShowTitleText();
      break;
    case kFontAlbumArtist:
      for (int id : {kIdAlbum, kIdArtist}) gkText_SetFont(Item(id), font, 1);
      ShowAlbumRow();
      break;
    case kFontPrefix:
      for (int id : {kIdPrefixCd, kIdPrefixBy}) gkText_SetFont(Item(id), font, 1);
      ShowAlbumRow();
      break;
  }
}

void ShowDownloadButton(bool show) {
  panelState.downloadShown = show;
  if (QWidget* w = Item(kIdDownload)) w->setVisible(show);
  if (QWidget* w = Item(kIdTitleShort)) w->setVisible(show);
  if (QWidget* w = Item(kIdTitle)) w->setVisible(!show);
  ShowTitleText();
}

bool DownloadButtonShown() {
  return panelState.downloadShown;
}

void SetPanelStatusLine(const QString& text) {
  panelState.titleText = text;
  ShowTitleText();
}

void SetPanelTitleLine(const QString& album, const QString& artist) {
  panelState.albumText = album;
  panelState.artistText = artist;
  ShowAlbumRow();
}

void SetPanelArtistLine(const QString& artist) {
  panelState.artistText = artist;
  ShowAlbumRow();
}

QString PanelTitleText() {
  return panelState.titleText;
}

QMenu* PanelDebugMenu() {
  return panelState.debugMenu;
}

bool PanelPlayRequested() {
  return panelState.playRequested;
}

void ClearPanelPlayRequested() {
  panelState.playRequested = false;
}

namespace {

// Record (1029): down records the current track from its start; up ends the recording.
void RecordButton(QWidget* panel, void* window) {
  if (gkButton_GetState(Item(kIdVoiceRecord)) != 1) {
    StopVoicePlayback(panel, true);
    StopVoiceRecording(panel, false);
    // A stopped disc is left alone: stopping it again would move it back to its first track.
    const int state = player.cdState.load();
    if (state == CD_PLAY || state == CD_PAUSE) CdStop(window);
    gkButton_SetState(Item(kIdPlay), 0);
    CdPlayPause(window);
    if (player.cdState.load() != CD_PLAY) {
      gkButton_SetState(Item(kIdPlay), 1);
      gkButton_SetState(Item(kIdVoiceRecord), 1);
      return;
    }
    SyncVoiceDisc();
    if (!StartVoiceFileRecording(window)) gkButton_SetState(Item(kIdVoiceRecord), 1);
    panelState.playRequested = true;
  } else {
    StopVoiceRecording(panel, true);
    UpdateVoicePlayButton(CurrentTrackRecordingExists());
  }
}

// Play the recording (1031).
void VoicePlayButton(QWidget* panel, void* window) {
  const bool down = gkButton_GetState(Item(kIdVoicePlay)) != 1;
  if (soundBlock.voiceRecordOn.load()) {
    StopVoiceRecording(panel, true);
    CdStop(window);
  }
  if (!down) {
    StopVoicePlayback(panel, false);
    return;
  }
  if (!CurrentTrackRecordingExists()) {
    ShowMessageBox(panel, "No recording exists ",
                   "A Karaoke recording does not exist for this track.   To create your "
                   "recording, press the Record Me button.",
                   kMbOk);
    gkButton_SetState(Item(kIdVoicePlay), 1);
    return;
  }
  gkButton_SetState(Item(kIdPlay), 0);
  if (player.cdState.load() != CD_PLAY) CdPlayPause(window);
  SyncVoiceDisc();
  StartVoiceFilePlayback(window);
  panelState.playRequested = true;
}

}  // namespace

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
      } else {
        panelState.playRequested = true;
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
    case kIdVoiceRecord:
      RecordButton(panel, window);
      break;
    case kIdVoicePlay:
      VoicePlayButton(panel, window);
      break;
    case kIdDownload:
      GetCdInfoFromInternet(window);
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

void ViewPanelStateManager(int32_t index) {
  if (index == settings.panelDisplay) return;
  switch (index) {
    case 0:
      ShowLyricsPanel(false);
      ShowMicrophonePanel(true);
      break;
    case 1:
      ShowMicrophonePanel(false);
      ShowLyricsPanel(true);
      break;
    default:
      Trace("ViewPanelStateManager: bogus index=%d\n", index);
      return;
  }
  settings.panelDisplay = index;
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
  const int state = player.cdState.load();
  vu_SetBarPosition(Item(kIdMusicMeter), state == CD_PLAY ? soundBlock.cdMeterLevel.load() : 0.0f);
  vu_SetBarPosition(Item(kIdMicMeter), soundBlock.micMeterLevel.load());
  StepRingLights(&panelState.ring, state);
}

void SyncVoiceDisc() {
  voiceDisc.currentTrack = player.currentTrack.load();
  voiceDisc.discId = static_cast<uint32_t>(std::strtoul(CurrentDiscId().c_str(), nullptr, 16));
  voiceDisc.titles = [](int track) {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    VoiceTitles titles;
    titles.album = cdTitles.albumTitle;
    if (track >= 0 && track < kMaxTitleTracks) titles.track = cdTitles.tracks[track].title;
    return titles;
  };
}

bool CurrentTrackRecordingExists() {
  SyncVoiceDisc();
  return VoiceRecordingExists(voiceDisc, voiceDisc.currentTrack) != 0;
}

void UpdateVoicePlayButton(bool exists) {
  panelState.recordingAvailable = exists;
  QWidget* button = Item(kIdVoicePlay);
  if (!button) return;
  if (exists) {
    QPixmap looks[2] = {Bitmap("IDB_BITMAP_BUTTON_VOICEPLAY_DOWN"),
                        LoadSkinBitmap(kSkinBackgroundId)};
    gkButton_SetGraphics(button, looks, 2);
    gkButton_SetBitmapCutAreaSelf(button, 1);
  } else {
    QPixmap looks[2] = {Bitmap("IDB_BITMAP_BUTTON_VOICEPLAY_DISABLED_DOWN"),
                        Bitmap("IDB_BITMAP_BUTTON_VOICEPLAY_DISABLED_UP")};
    gkButton_SetGraphics(button, looks, 2);
  }
  gkButton_EnableBitmapCutArea(button, 1, exists ? 1 : 0);
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
  if (wasPlaying) {
    SyncVoiceDisc();
    StartVoiceFilePlayback(panelState.window);
  }
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
