// Slider (class "bitmapslider"): a trough bitmap with a cap the user drags; the cap's pixel
// position maps linearly to a value between a minimum and a maximum. A linked bitmap array
// rides along as the cap (the time display on the position slider).
#pragma once

#include "widgets/framework.h"

inline constexpr int kGkSliderHorizontal = 0;
inline constexpr int kGkSliderVertical = 1;
inline constexpr int kTrough = 0;
inline constexpr int kCap = 1;

QWidget* GkNewSlider(QWidget* parent);

int gkSlider_SetProperties(QWidget* window, int32_t id, int orientation, GkCallback change);
// Called when the mouse button is released and after a keyboard step.
int gkSlider_SetReleaseCallback(QWidget* window, GkCallback release);
// bitmaps[kTrough], bitmaps[kCap]; their sizes become the trough and cap sizes.
int gkSlider_SetGraphics(QWidget* window, const QPixmap* bitmaps);
int gkSlider_ReplaceGraphic(QWidget* window, const QPixmap& bitmap, int slot);
int gkSlider_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height);
int gkSlider_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other);
int gkSlider_SetName(QWidget* window, const char* name);
int gkSlider_SetRange(QWidget* window, float minimum, float maximum);
int gkSlider_SetRangePair(QWidget* window, const float* pair);
int gkSlider_SetValue(QWidget* window, float value);
// The value read back from the cap's pixel position.
float gkSlider_GetValue(QWidget* window);
int gkSlider_SetIncrementPercentage(QWidget* window, float percent);
int gkSlider_SetIncrementValue(QWidget* window, float value);
int gkSlider_DecrementValue(QWidget* window);
int gkSlider_IncrementValue(QWidget* window);
// Cap linking: a bitmap array window becomes the cap (null unlinks).
int gkSlider_SetCapWindow(QWidget* window, QWidget* array);
int gkSlider_SetCapOffset(QWidget* window, int xOffset, int yOffset);
// The cap's pixel position along the trough.
int gkSlider_GetCapPosition(QWidget* window);
