// Bitmap layer (class "bitmaplayer"): shows one of up to 20 bitmaps chosen by an index.
//
// A click cycles the index, or, with the layer divided into horizontal bands, picks the band
// under the pointer; the callback receives the new index. The owner drives it with the
// set-index request (gkBitmapLayer_SetIndex), which calls no callback.
#pragma once

#include "widgets/framework.h"

inline constexpr int kGkLayerSlots = 20;

QWidget* GkNewBitmapLayer(QWidget* parent);

int gkBitmapLayer_SetBehavior(QWidget* window, int32_t id, GkCallback callback,
                              intptr_t secondValue);
int gkBitmapLayer_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count);
int gkBitmapLayer_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height);
int gkBitmapLayer_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other);
int gkBitmapLayer_SetBitmapCutAreaSelf(QWidget* window, int slot);
int gkBitmapLayer_SetBitmapSourceWindow(QWidget* window, QWidget* source);
int gkBitmapLayer_SetVerticalSegmentation(QWidget* window, int bands);
int gkBitmapLayer_GetIndex(QWidget* window);
// The set-index request: sets the index and repaints, without a callback.
void gkBitmapLayer_SetIndex(QWidget* window, int index);
