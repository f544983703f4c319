// The skin's drawing: one dark theme with lit LED and LCD greens. Every function draws in
// the panel's logical pixels; the caller's painter carries the scale (1 or 2).
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include "resources/skin/skin_layout.h"

namespace skin {

inline const QColor kLime(122, 255, 0);
inline const QColor kCyan(0, 255, 246);
inline const QColor kRecordRed(255, 58, 48);
inline const QColor kAmber(255, 196, 0);
inline const QColor kLabel(139, 150, 161);

enum class Look { kUp, kDown, kDisabledUp, kDisabledDown };

QRectF Rect(const SkinRect& r);

// The panel background without its noise (added per device pixel) and without anything lit.
void PaintBackgroundBase(QPainter& p);
void AddBrushedTexture(QImage& image, int seed);
void PaintBackgroundDetails(QPainter& p);

// Controls drawn on the background in their "up" look and cut out again in others.
void PaintTransportButton(QPainter& p, int id, Look look);
void PaintSwitch(QPainter& p, int id, Look look);
void PaintWindowButton(QPainter& p, int id, Look look);
void PaintFxTile(QPainter& p, int index, Look look);
void PaintRingLight(QPainter& p, int index, bool lit);
void PaintTabs(QPainter& p, bool lyricsInFront);
void PaintDownloadButton(QPainter& p, const QRectF& r, Look look);

// Standalone bitmaps, drawn at (0, 0).
enum class Segment { kDigit, kColon, kBlank, kLeftEnd, kRightEnd };
void PaintTimeCell(QPainter& p, Segment kind, int digit, QSizeF size);
void PaintTimeTrough(QPainter& p, QSizeF size);
void PaintTimeCap(QPainter& p, QSizeF size);
void PaintFaderCap(QPainter& p, QSizeF size, bool vertical);
void PaintMeter(QPainter& p, QSizeF size, bool on, bool voice);
void PaintLyricsButton(QPainter& p, QSizeF size, const QString& text, Look look);
void PaintLyricsLine(QPainter& p, QSizeF size);
void PaintDiscBadge(QPainter& p, QSizeF size);
// The splash picture (432 x 288) and its badge (58 x 75).
void PaintSplash(QPainter& p, QSizeF size);
void PaintSplashBadge(QPainter& p, QSizeF size);
// The program's icon, a square of the given size.
void PaintAppIcon(QPainter& p, QSizeF size);

}  // namespace skin
