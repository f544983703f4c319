// Time-synced lyrics in the lyrics pane: a section whose lines carry time tags ("[mm:ss.xx]")
// is shown without them, the line being sung highlighted in the pane's highlight colours and
// kept in view (a third of the way down when the text is longer than the pane); any other
// section is shown as it is, without a highlight. Window thread only.
#pragma once

#include <QString>
#include <cstdint>

class QWidget;

// Sets the pane's text from a lyrics section. True when the section is time-synced: then the
// line being sung at positionMs (milliseconds into the track) is highlighted.
bool ShowSectionInPane(QWidget* pane, const QString& section, int64_t positionMs);
// Whether the pane shows a time-synced section.
bool PaneShowsSyncedLyrics(const QWidget* pane);
// Highlights the line being sung at positionMs in a pane that shows a time-synced section:
// the last line whose time has come, the first line before its time, the last after it.
// Repaints and scrolls only when the line changes (or the pane's size did, which resets the
// pane's highlight and scroll position).
void HighlightSungLine(QWidget* pane, int64_t positionMs);
// The pane line highlighted, -1 when the pane shows no time-synced section.
int SungLine(const QWidget* pane);
