// Bitmap button (class "bitmapbutton"): the skinned push and toggle button.
//
// Slot 0 is the pressed ("down") look, slot 1 the released ("up") look. State 0 = down,
// 1 = up. Four callbacks: before and after the new look is drawn, for press and release. A
// non-zero scroll interval repeats the post-update press callback while the button is held;
// the repeat timer runs on its own thread and posts each tick to the window thread.
#pragma once

#include "widgets/framework.h"

inline constexpr int kGkButtonSlots = 4;
inline constexpr int kGkButtonPush = 0;
inline constexpr int kGkButtonToggle = 1;

QWidget* GkNewBitmapButton(QWidget* parent);

int gkButton_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count);
// The slot array (kGkButtonSlots entries) and, when asked, the recorded count.
const QPixmap* gkButton_GetGraphics(QWidget* window, int* count = nullptr);
int gkButton_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height);
int gkButton_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other);
int gkButton_SetBitmapCutAreaSelf(QWidget* window, int slot);
int gkButton_EnableBitmapCutArea(QWidget* window, int slot, int flag);
int gkButton_SetBitmapSourceWindow(QWidget* window, int slot, QWidget* source);
int gkButton_SetBehavior(QWidget* window, int32_t id, int behavior, GkCallback press,
                         GkCallback release);
int gkButton_SetCallbacksPrePixUpdate(QWidget* window, GkCallback press, GkCallback release);
int gkButton_SetCallbacksPostPixUpdate(QWidget* window, GkCallback press, GkCallback release);
int gkButton_SetName(QWidget* window, const char* name);
// Auto-repeat interval in milliseconds, 0 = none. Silent on a bad handle.
void gkButton_SetScrollInterval(QWidget* window, int milliseconds);
int gkButton_GetState(QWidget* window);
void gkButton_SetState(QWidget* window, int state);

// For traces and tests: the name, and whether a repeat timer runs.
const char* gkButton_GetName(QWidget* window);
bool gkButton_IsRepeating(QWidget* window);
