// Bitmap array (class "bitmaparray"): up to 10 columns side by side, each showing one of up
// to 15 bitmaps by its own index; index -1 draws nothing and takes no room. The time display
// is one, drawn by the position slider as its cap.
#pragma once

#include "widgets/framework.h"

class QPainter;

inline constexpr int kGkArrayMaxColumns = 10;
inline constexpr int kGkArrayMaxBitmaps = 15;

QWidget* GkNewBitmapArray(QWidget* parent);

int gkBitmapArray_SetProperties(QWidget* window, int32_t id, int columns);
int gkBitmapArray_SetColumnBitMaps(QWidget* window, int column, const QPixmap* bitmaps, int count);
int gkBitmapArray_SetAllBitMaps(QWidget* window, const QPixmap* bitmaps, int count);
int gkBitmapArray_SetAllIndices(QWidget* window, const int* indices, int count);
// One column's index (no diagnostic).
void gkBitmapArray_SetIndex(QWidget* window, int column, int index);
// Sums of the widths and heights of the bitmaps the last paint drew.
int gkBitmapArray_GetTotalWidth(QWidget* window);
int gkBitmapArray_GetTotalHeight(QWidget* window);
int gkBitmapArray_GetColumns(QWidget* window);

// Draws the array's columns with their left edge at (x, y) on any surface and measures the
// totals; the array's own paint and the slider's cap use it.
void GkPaintBitmapArray(QWidget* window, QPainter& painter, int x, int y);
