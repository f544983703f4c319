// Draw area (class "gkdrawarea"): a plain surface showing a bitmap or a solid colour.
#pragma once

#include "widgets/framework.h"

QWidget* GkNewDrawArea(QWidget* parent);

int gkDrawArea_SetColor_Background(QWidget* window, int32_t id, GkColor color);
int gkDrawArea_SetGraphic(QWidget* window, const QPixmap& bitmap);
// One cut area (slot 0).
int gkDrawArea_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height);
int gkDrawArea_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other);
int gkDrawArea_SetBitmapSourceWindow(QWidget* window, QWidget* source);
int gkDrawArea_SetName(QWidget* window, const char* name);
// Without a bitmap: fills the client area with the background colour at once.
int gkDrawArea_Clear(QWidget* window);
