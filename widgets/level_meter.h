// Level meter (class "vumeter"): a vertical bar meter with a falling bar and a peak marker.
//
// It draws from two skin bitmaps (an "off" and an "on" picture of the whole meter; the "on"
// picture is revealed from the bottom up to the level) or from two pictures it generates from
// a table of segment colours. The marker is a white line, a band of the "on" picture, or in
// spiral mode a small block of it that moves sideways along slanted coils with the level.
#pragma once

#include "widgets/framework.h"

inline constexpr int kGkMeterStyleDotted = 0;
inline constexpr int kGkMeterStyleLined = 1;
inline constexpr int kGkMeterStyleSolid = 2;

QWidget* GkNewLevelMeter(QWidget* parent);

int vu_SetRange(QWidget* window, float minimum, float maximum);
int vu_SetBarPosition(QWidget* window, float value);
int vu_SetLinePosition(QWidget* window, float value);
// Both positions, clamped to the range (silent on a bad handle).
int vu_SetPositions(QWidget* window, float peak, float bar);
int vu_SetBarHold(QWidget* window, int updates);
int vu_SetPeakHold(QWidget* window, int updates);
int vu_SetBarFallRate(QWidget* window, float fraction);
int vu_SetPeakFallRate(QWidget* window, float fraction);
int vu_SetColorTable(QWidget* window, int table);
int vu_SetStyle(QWidget* window, int style);
// bitmaps[0] off, bitmaps[1] on (up to count, at most 2).
int vu_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count);
int vu_SetLineSpiralCoils(QWidget* window, int mode, double coils, double angle, double offset);
int vu_SetLineAttributes(QWidget* window, int markerWidth, int markerHeight, int third, int fourth);
int vu_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height);
int vu_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other);
int vu_SetBitmapSourceWindow(QWidget* window, QWidget* source);

float vu_GetBarPosition(QWidget* window);
float vu_GetLinePosition(QWidget* window);
