#include "app/lyrics_panel.h"

#include "app/cdplayer_panel.h"
#include "app/lyrics_area.h"
#include "cd/player.h"
#include "cdinfo/cddb.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "widgets/framework.h"
#include "widgets/text_pane.h"

namespace {

// Every widget of the lyrics panel, and those shown while it is in front.
constexpr int kLyricsWidgets[] = {1211, 1210, 1303, 1304, 1305, 1306, 1307, 1309, 1310};
constexpr int kLyricsShown[] = {1211, 1210, 1305, 1306, 1309};

}  // namespace

void ShowLyricsPanel(bool show) {
  QWidget* panel = CdPlayerPanel();
  if (!panel) return;
  for (int id : kLyricsWidgets) {
    if (QWidget* w = GkGetDlgItem(panel, id)) w->hide();
  }
  if (!show) return LyricsAreaShown(false);
  for (int id : kLyricsShown) {
    if (QWidget* w = GkGetDlgItem(panel, id)) w->show();
  }
  LyricsAreaShown(true);
  const int state = player.cdState.load();
  if (state != CD_NOCD && state != CD_CDROM_IN && !cddbState.lookupBusy.load())
    ShowTrackLyrics(panel->parentWidget(), player.currentTrack.load());
}

void SetLyricsText(QWidget* panel, const QString& text) {
  if (panel) ShowLyricsText(GkGetDlgItem(panel, kIdLyricsText), text);
}

void SetLyricsStatusText(QWidget* panel, const QString& text) {
  if (panel) gkText_SetText(GkGetDlgItem(panel, 1306), text);
}

void EditTrackLyrics() {
  // The lyrics editor comes with the lyrics panel's own work.
  Trace("EditTrackLyrics: the lyrics editor is not available yet\n");
}
