// Text pane (class "gktext"): the window's text as lines of one font on a solid paper colour.
//
// The text is split at line breaks (never wrapped), scrolled by line and by page, can size
// the pane to itself, and can show one highlighted line. At most 6000 characters are drawn.
#pragma once

#include <QString>

#include "widgets/framework.h"

inline constexpr int kGkTextMaxChars = 6000;
// Text alignment flags, the platform's values.
inline constexpr int kGkTextAlignLeft = 0;
inline constexpr int kGkTextAlignRight = 2;
inline constexpr int kGkTextAlignCenter = 6;
inline constexpr int kGkTextAlignTop = 0;
inline constexpr int kGkTextAlignBottom = 8;
inline constexpr int kGkTextAlignBaseline = 24;
// Resize mode bits.
inline constexpr int kGkTextResizeWidth = 1;
inline constexpr int kGkTextResizeHeight = 2;

QWidget* GkNewTextPane(QWidget* parent);

// The set-text request: records the owner (the current parent), returns to the first line,
// stores the text and repaints.
int gkText_SetText(QWidget* window, const QString& text);
QString gkText_GetText(QWidget* window);
// The set-font request: stores the font; repaints at once when redraw is non-zero.
int gkText_SetFont(QWidget* window, const QFont& font, int redraw);

int gkText_SetColors(QWidget* window, GkColor paper, GkColor text, int redraw);
int gkText_SetHighlightColors(QWidget* window, GkColor paper, GkColor text, int redraw);
int gkText_SetColor_Paper(QWidget* window, GkColor color, int redraw);
int gkText_SetColor_Text(QWidget* window, GkColor color, int redraw);
int gkText_SetReverseVideo(QWidget* window, int flag);
int gkText_SetResize(QWidget* window, int mode, int redraw);
int gkText_SetAlignment(QWidget* window, int flags, int redraw);
int gkText_SetVerticalClipping(QWidget* window, int flag);
int gkText_UseHighlighting(QWidget* window, int flag);
// Which line is highlighted (when highlighting is on).
int gkText_SetHighlightLine(QWidget* window, int line, int redraw);
int gkText_ClearPaper(QWidget* window);
int gkText_GetCellHeight(QWidget* window);
int gkText_GetCellWidth(QWidget* window);
int gkText_Home(QWidget* window);
int gkText_End(QWidget* window);
int gkText_ScrollLineDown(QWidget* window);
int gkText_ScrollLineUp(QWidget* window);
int gkText_PageDown(QWidget* window);
int gkText_PageUp(QWidget* window);

// Scroll state, for the owner's scroll bar and for tests.
int gkText_GetTopLine(QWidget* window);
int gkText_GetTotalLines(QWidget* window);
int gkText_GetVisibleLines(QWidget* window);
int gkText_GetLinesDrawn(QWidget* window);
