// The lyrics panel: the lower area of the main window that shows the current track's lyrics
// (text pane 1210 on the black draw area 1211), with a bar under it holding the separator
// line (1305), the "edit lyrics" button (1309) and the status text (1306) of the title and
// lyrics lookups. The widgets are the CD player panel's own (its template places them).
//
// Panel states: 3 is the text alone over the whole area, 4 the text with the bar under it.
// The status text takes the edit button's place in the bar while it has something to say: a
// blinking progress text until its lookup ends, a final text for a few seconds.
//
// Editing: the edit button (or the Options menu's "Edit Lyrics For This Song") writes the
// current track's lyrics to the edit file "Enter or Edit Lyrics Below" in the CD information
// folder and opens it in the "Text Editor" program; when the player's timer sees the editor
// end, the edited text replaces that track's section of the CD information file.
#pragma once

#include <QFont>
#include <QString>
#include <cstddef>
#include <cstdint>

class QWidget;

inline constexpr int kIdLyricsBackground = 1211;
inline constexpr int kIdLyricsLine = 1305;
inline constexpr int kIdLyricsStatus = 1306;
inline constexpr int kIdLyricsEdit = 1309;
inline constexpr int kLyricsStateText = 3;
inline constexpr int kLyricsStateEditBar = 4;
// How much the bar takes from the text pane's height in state 4.
inline constexpr int kLyricsBarHeight = 38;
// Position-timer ticks a final (not blinking) status text stays in the bar.
inline constexpr int kLyricsStatusHoldTicks = 10;
// The most of an edited text that is stored.
inline constexpr size_t kLyricsEditMaxBytes = 20000;

// Once (later calls do nothing): bitmaps, the edit button's graphics and handler, fonts,
// colours, the text pane's full size, then states 3 and 4.
void InitLyricsPanel(QWidget* panel);
// Shown: initialised, text and bar in front, and the current track's lyrics with an audio disc
// while no title lookup runs. Hidden: all of its widgets.
void ShowLyricsPanel(bool show);
bool LyricsPanelShown();
void SetLyricsPanelState(int state);
int LyricsPanelState();
// The one place the lyrics text is set (the CD information code hands it over); kept while
// the panel is hidden.
void SetLyricsText(QWidget* panel, const QString& text);
// Repaints the text, the status text and the line without erasing them.
void RepaintLyricsPanel(QWidget* panel);
// The Debug menu's lyrics font: the chosen description becomes the lyrics text's font.
void SetLyricsFont(QWidget* panel, const QFont& description);
QFont LyricsFont();
// The skin bitmaps again, at the skin's present scale (the scaled full screen draws them 2x).
void ApplyLyricsPanelSkin();
// Deletes the bitmaps and fonts (shutdown); the panel initialises again if it is shown later.
void FreeLyricsPanel();

// Click handler of the panel's buttons.
void LyricsPanelStateManager(int32_t id);

// The status text 1306: a non-empty text takes the edit button's place in the bar; an empty
// one gives it back.
void SetLyricsStatusText(QWidget* panel, const QString& text);
// One tick of the position timer (after its blink step): a status text that no blink keeps up
// goes away after kLyricsStatusHoldTicks ticks.
void LyricsStatusTick();

// "Edit Lyrics For This Song" and the edit button: only with an audio disc and while no lyrics
// editor runs.
void EditTrackLyrics();
// The player's timer saw the lyrics editor end: the edited text replaces the section of the
// track edited, and the file is read again.
void FinishLyricsEdit(void* window);
// The track whose lyrics are edited, or -1.
int LyricsEditTrack();
