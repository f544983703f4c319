#include "app/lyrics_panel.h"

#include <QFontMetrics>
#include <QPointer>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <mutex>

#include "app/cdplayer_panel.h"
#include "app/external_programs.h"
#include "app/lyrics_area.h"
#include "cd/player.h"
#include "cdinfo/cddb.h"
#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"
#include "diagnostics/diagnostics.h"
#include "resources/skin/skin.h"
#include "widgets/bitmap_array.h"
#include "widgets/bitmap_button.h"
#include "widgets/draw_area.h"
#include "widgets/framework.h"
#include "widgets/text_pane.h"

namespace {

// Every widget of the panel; the first two are the text and its background.
constexpr int kLyricsWidgets[] = {kIdLyricsBackground, kIdLyricsText, 1303, 1304, kIdLyricsLine,
                                  kIdLyricsStatus,     1307,          1309, 1310};

// The buttons and their graphics ("IDB_BITMAP_BUTTON_LYRICS_<name>_DOWN" and "_UP"). Only the
// edit button has a behaviour; "this track", "all tracks" and "cancel" stay hidden.
constexpr struct {
  int id;
  const char* name;
} kButtons[] = {
    {kIdLyricsEdit, "EDIT"}, {1303, "THISTRACK"}, {1304, "ALLTRACKS"}, {1307, "CANCEL"}};

// The single-bitmap arrays: the separator line and the (hidden) lookup logo.
constexpr struct {
  int id;
  const char* bitmap;
} kArrays[] = {{kIdLyricsLine, "IDB_BITMAP_LYRICS_LINE"}, {1310, "IDB_BITMAP_LYRICS_CDDB_LOGO"}};

constexpr GkColor kTextPaper = 0x000000, kTextInk = 0x00FF7A;
constexpr GkColor kHighlightPaper = 0xFFFFFF, kHighlightInk = 0x04B21F;
constexpr GkColor kStatusPaper = 0xF6FF00, kStatusInk = 0x000000;
constexpr GkColor kBackground = 0x000000;

struct LyricsPanelData {
  QPointer<QWidget> panel;
  QPointer<QWidget> initialisedFor;  // the panel InitLyricsPanel has set up
  bool shown = false;
  int state = kLyricsStateText;  // lyricsPanelState
  QFont textFont, statusFont;
  // The text pane's full size as the template places it, recorded once per panel (the states
  // change it).
  QRect textRect;
  QPointer<QWidget> textRectOf;
  QString status;
  int statusTicks = 0;  // ticks the status text has stood without a blink
  // The edit in progress: the track and the disc it belongs to.
  int editTrack = -1;
  std::string editDiscId;
};
LyricsPanelData lyrics;

QWidget* Item(int id) {
  return lyrics.panel ? GkGetDlgItem(lyrics.panel, id) : nullptr;
}

void SetShown(int id, bool shown) {
  if (QWidget* w = Item(id)) w->setVisible(shown);
}

// The bar of state 4: the line, and the status text in the edit button's place while it has
// something to say.
void ShowBar() {
  const bool bar = lyrics.shown && lyrics.state == kLyricsStateEditBar;
  const bool status = bar && !lyrics.status.isEmpty();
  SetShown(kIdLyricsLine, bar);
  SetShown(kIdLyricsStatus, status);
  SetShown(kIdLyricsEdit, bar && !status);
  if (bar) {
    for (int id : {kIdLyricsLine, kIdLyricsEdit}) gkRepaint(Item(id));
  }
}

bool HasAudioDisc() {
  const int state = player.cdState.load();
  return state != CD_NOCD && state != CD_CDROM_IN;
}

// The lyrics font for a text: the chosen font, or a smaller size of it (down to three quarters)
// when a line of the text would not fit the pane's width. The pane does not wrap, and a line's
// index must stay the line of the lyrics it shows.
QFont FittedFont(const QString& text, int width) {
  const QStringList lines = text.left(kGkTextMaxChars).split('\n');
  auto widest = [&lines](const QFont& font) {
    const QFontMetrics metrics(font);
    int most = 0;
    for (const QString& line : lines) most = std::max(most, metrics.horizontalAdvance(line));
    return most;
  };
  QFont font = lyrics.textFont;
  const bool pixels = font.pixelSize() > 0;
  const double size = pixels ? font.pixelSize() : font.pointSizeF();
  const int chosenWidth = widest(font);
  if (size <= 0 || width <= 0 || chosenWidth <= width) return font;
  const double smallest = size * 3 / 4;
  for (double fitted = std::max(smallest, std::floor(size * width / chosenWidth));
       fitted >= smallest; fitted -= 1) {
    if (pixels)
      font.setPixelSize(static_cast<int>(fitted));
    else
      font.setPointSizeF(fitted);
    if (widest(font) <= width) break;
  }
  return font;
}

QFont MakeFont(int weight) {
  const int dpi = lyrics.panel ? lyrics.panel->logicalDpiY() : 96;
  return GkCreateFont(GkFontDescription("Tahoma", 12, weight, dpi));
}

}  // namespace

void ApplyLyricsPanelSkin() {
  if (!lyrics.initialisedFor) return;
  for (const auto& b : kButtons) {
    const QString base = QString("IDB_BITMAP_BUTTON_LYRICS_%1_").arg(b.name);
    QPixmap looks[2] = {LoadSkinBitmap(base + "DOWN"), LoadSkinBitmap(base + "UP")};
    gkButton_SetGraphics(Item(b.id), looks, 2);
  }
  for (const auto& a : kArrays) {
    const QPixmap bitmap = LoadSkinBitmap(a.bitmap);
    const int index = 0;
    gkBitmapArray_SetAllBitMaps(Item(a.id), &bitmap, 1);
    gkBitmapArray_SetAllIndices(Item(a.id), &index, 1);
  }
}

void InitLyricsPanel(QWidget* panel) {
  if (!panel || lyrics.initialisedFor == panel) return;
  lyrics.panel = panel;
  lyrics.initialisedFor = panel;
  for (const auto& a : kArrays) gkBitmapArray_SetProperties(Item(a.id), a.id, 1);
  ApplyLyricsPanelSkin();
  gkButton_SetBehavior(Item(kIdLyricsEdit), kIdLyricsEdit, kGkButtonPush, nullptr,
                       LyricsPanelStateManager);
  gkButton_SetName(Item(kIdLyricsEdit), "IDC_BUTTON_LYRICS_EDIT");

  lyrics.textFont = MakeFont(700);
  lyrics.statusFont = MakeFont(400);
  gkText_SetFont(Item(kIdLyricsText), lyrics.textFont, 1);
  gkText_SetFont(Item(kIdLyricsStatus), lyrics.statusFont, 1);

  QWidget* text = Item(kIdLyricsText);
  gkText_SetColors(text, kTextPaper, kTextInk, 0);
  gkText_SetHighlightColors(text, kHighlightPaper, kHighlightInk, 0);
  gkText_SetVerticalClipping(text, 0);
  gkText_SetColors(Item(kIdLyricsStatus), kStatusPaper, kStatusInk, 0);
  gkDrawArea_SetColor_Background(Item(kIdLyricsBackground), kIdLyricsBackground, kBackground);
  gkText_SetText(Item(kIdLyricsStatus), lyrics.status);

  if (text && lyrics.textRectOf != panel) {
    lyrics.textRect = text->geometry();
    lyrics.textRectOf = panel;
  }
  SetLyricsPanelState(kLyricsStateText);
  SetLyricsPanelState(kLyricsStateEditBar);
}

void ShowLyricsPanel(bool show) {
  QWidget* panel = CdPlayerPanel();
  if (!panel) return;
  lyrics.panel = panel;
  lyrics.shown = show;
  if (!show) {
    for (int id : kLyricsWidgets) SetShown(id, false);
    LyricsAreaShown(false);
    return;
  }
  InitLyricsPanel(panel);
  SetShown(kIdLyricsBackground, true);
  SetShown(kIdLyricsText, true);
  SetLyricsPanelState(kLyricsStateEditBar);
  LyricsAreaShown(true);
  if (HasAudioDisc() && !cddbState.lookupBusy.load())
    ShowTrackLyrics(panel->parentWidget(), player.currentTrack.load());
}

bool LyricsPanelShown() {
  return lyrics.shown;
}

void SetLyricsPanelState(int state) {
  QWidget* text = Item(kIdLyricsText);
  switch (state) {
    case kLyricsStateText:
      if (text && lyrics.textRect.isValid()) text->setGeometry(lyrics.textRect);
      for (int id : {1303, 1304, 1307}) SetShown(id, false);
      break;
    case kLyricsStateEditBar:
      if (text && lyrics.textRect.isValid()) {
        QRect shorter = lyrics.textRect;
        shorter.setHeight(lyrics.textRect.height() - kLyricsBarHeight);
        text->setGeometry(shorter);
      }
      break;
    default:
      Trace("SetLyricsPanelState: bogus state=%d\n", state);
      return;
  }
  lyrics.state = state;
  ShowBar();
}

int LyricsPanelState() {
  return lyrics.state;
}

void SetLyricsText(QWidget* panel, const QString& text) {
  QWidget* pane = panel ? GkGetDlgItem(panel, kIdLyricsText) : nullptr;
  if (!pane) return;
  // The lyrics area sets the text it shows (a synced section without its time tags); the font
  // is then fitted to what is shown.
  ShowLyricsText(pane, text);
  if (lyrics.initialisedFor == panel)
    gkText_SetFont(pane, FittedFont(gkText_GetText(pane), pane->width()), 1);
}

void RepaintLyricsPanel(QWidget* panel) {
  if (!panel) return;
  for (int id : {kIdLyricsText, kIdLyricsStatus, kIdLyricsLine}) {
    if (QWidget* w = GkGetDlgItem(panel, id)) w->update();
  }
}

void SetLyricsFont(QWidget* panel, const QFont& description) {
  if (panel) lyrics.panel = panel;
  lyrics.textFont = description;
  QWidget* pane = Item(kIdLyricsText);
  if (pane) gkText_SetFont(pane, FittedFont(gkText_GetText(pane), pane->width()), 1);
}

QFont LyricsFont() {
  return lyrics.textFont;
}

void FreeLyricsPanel() {
  if (!lyrics.initialisedFor) return;
  const QPixmap none[2];
  for (const auto& b : kButtons) gkButton_SetGraphics(Item(b.id), none, 2);
  for (const auto& a : kArrays) gkBitmapArray_SetAllBitMaps(Item(a.id), none, 1);
  lyrics.textFont = QFont();
  lyrics.statusFont = QFont();
  lyrics.initialisedFor = nullptr;
}

void LyricsPanelStateManager(int32_t id) {
  if (id != kIdLyricsEdit) {
    Trace("LyricsPanelStateManager: bogus id=%d\n", id);
    return;
  }
  EditTrackLyrics();
}

void SetLyricsStatusText(QWidget* panel, const QString& text) {
  if (panel) lyrics.panel = panel;
  lyrics.status = text;
  lyrics.statusTicks = 0;
  gkText_SetText(Item(kIdLyricsStatus), text);
  ShowBar();
}

void LyricsStatusTick() {
  if (lyrics.status.isEmpty()) return;
  if (player.blinkCounter.load(std::memory_order_acquire) != 0) {
    lyrics.statusTicks = 0;
    return;
  }
  if (++lyrics.statusTicks >= kLyricsStatusHoldTicks) SetLyricsStatusText(lyrics.panel, QString());
}

void EditTrackLyrics() {
  if (!HasAudioDisc()) return;
  WatchedProgram& editor = externalPrograms.lyricsEditor;
  // One edit at a time: a second would overwrite the edit file under the first.
  if (editor.active) {
    if (editor.window) {
      editor.window->raise();
      editor.window->activateWindow();
    }
    return;
  }
  const int track = player.currentTrack.load();
  if (ExtractLyricsForEditing(track) != 0) return;
  lyrics.editTrack = track;
  lyrics.editDiscId = CurrentDiscId();
  QWidget* owner = CdPlayerPanel() ? CdPlayerPanel()->window() : nullptr;
  if (!StartTextEditor(owner, LyricsEditFilePath(), &editor)) lyrics.editTrack = -1;
}

void FinishLyricsEdit(void* window) {
  const int track = lyrics.editTrack;
  lyrics.editTrack = -1;
  if (track < 0 || track >= kMaxTitleTracks) return;
  std::string edited;
  if (!cdinfo::ReadFileText(LyricsEditFilePath(), kLyricsEditMaxBytes, &edited)) {
    Trace("failed\n");
    return;
  }
  // The section belongs to the disc the edit began on; another disc's file is left alone (the
  // text stays in the edit file).
  if (CurrentDiscId() != lyrics.editDiscId) {
    Trace("FinishLyricsEdit: the disc changed; the edited lyrics stay in %s\n",
          LyricsEditFilePath().c_str());
    return;
  }
  std::string title;
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    title = cdTitles.tracks[track].title;
  }
  const std::string section =
      LyricsHeading(track, title) + "\n" + cdinfo::CutUtf8(edited, kLyricsEditMaxBytes);
  if (ReplaceLyricsSection(window, track, section) == 1)
    Trace("FinishLyricsEdit: stored the lyrics of track %d\n", track + 1);
  LoadCdInfoFile(window);
}

int LyricsEditTrack() {
  return lyrics.editTrack;
}
