#include "app/synced_lyrics_view.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "cdinfo/synced_lyrics.h"
#include "widgets/text_pane.h"

namespace {

struct SyncedPane {
  QPointer<QWidget> pane;
  std::vector<SyncedLine> lines;  // one per pane line
  int shownLine = -1;
  QSize shownSize;
};

SyncedPane synced;

bool Synced(const QWidget* pane) {
  return pane && synced.pane == pane && !synced.lines.empty();
}

// The line being sung. Untagged lines before the first time tag (a title line) are never sung:
// before the first time the first timed line is the one to come.
int LineAt(int64_t positionMs) {
  int line = SyncedLineAt(synced.lines, positionMs);
  while (line + 1 < static_cast<int>(synced.lines.size()) && synced.lines[line].startMs < 0) ++line;
  return line;
}

// Scrolls so that the line stands a third of the way down the pane (or the text's end is at
// the pane's bottom).
void KeepInView(QWidget* pane, int line) {
  const int visible = gkText_GetVisibleLines(pane);
  const int total = gkText_GetTotalLines(pane);
  const int top = total > visible ? std::clamp(line - visible / 3, 0, total - visible) : 0;
  if (top == 0) {
    gkText_Home(pane);
    return;
  }
  for (int now = gkText_GetTopLine(pane); now != top; now = gkText_GetTopLine(pane)) {
    if (now < top) {
      gkText_ScrollLineDown(pane);
    } else {
      gkText_ScrollLineUp(pane);
    }
    if (gkText_GetTopLine(pane) == now) break;  // the pane would not move
  }
}

}  // namespace

bool ShowSectionInPane(QWidget* pane, const QString& section, int64_t positionMs) {
  if (!pane) return false;
  std::vector<SyncedLine> lines;
  if (!ParseSyncedLyrics(section.toStdString(), &lines) || lines.empty()) {
    if (synced.pane == pane) synced = SyncedPane{};
    gkText_UseHighlighting(pane, 0);
    gkText_SetText(pane, section);
    return false;
  }
  QStringList shown;
  for (const SyncedLine& line : lines) shown << QString::fromStdString(line.text);
  synced = SyncedPane{pane, std::move(lines), -1, QSize()};
  gkText_UseHighlighting(pane, 1);
  gkText_SetHighlightLine(pane, LineAt(positionMs), 0);
  gkText_SetText(pane, shown.join(u'\n'));
  HighlightSungLine(pane, positionMs);
  return true;
}

bool PaneShowsSyncedLyrics(const QWidget* pane) {
  return Synced(pane);
}

void HighlightSungLine(QWidget* pane, int64_t positionMs) {
  if (!Synced(pane)) return;
  const int line = LineAt(positionMs);
  gkText_GetTotalLines(pane);  // takes in a size change first (it resets the scroll position)
  if (line == synced.shownLine && pane->size() == synced.shownSize) return;
  synced.shownLine = line;
  synced.shownSize = pane->size();
  gkText_SetHighlightLine(pane, line, 1);
  KeepInView(pane, line);
}

int SungLine(const QWidget* pane) {
  return Synced(pane) ? synced.shownLine : -1;
}
