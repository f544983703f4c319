// The lyrics panel: the lower area of the main window that shows the current track's lyrics.
// It lives on the CD player panel (widgets 1210, 1211, 1303 to 1310).
#pragma once

#include <QString>

class QWidget;

// Shows or hides the panel's widgets. Shown, it takes the current track's lyrics when a disc
// with audio is in and no title lookup is running.
void ShowLyricsPanel(bool show);
// The lyrics text (the CD information code hands it over); kept while the panel is hidden.
void SetLyricsText(QWidget* panel, const QString& text);
// The one-line status text under the lyrics (progress texts, blinking).
void SetLyricsStatusText(QWidget* panel, const QString& text);
// "Edit Lyrics For This Song" (Options menu, and the panel's edit button).
void EditTrackLyrics();
