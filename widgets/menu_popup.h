// Popup menu (class "gkmenupopup"): a skinned hot spot that opens a menu next to itself when
// clicked with either button. The chosen item's command id goes to the owner window as a
// GkCommandEvent. The widget owns the menu it holds and destroys it exactly once.
#pragma once

#include <QString>

#include "widgets/framework.h"

class QMenu;

inline constexpr int kGkPopupSlots = 4;
// Menu alignment flags, the platform's values.
inline constexpr int kGkMenuLeftAlign = 0x0;
inline constexpr int kGkMenuCenterAlign = 0x4;
inline constexpr int kGkMenuRightAlign = 0x8;
inline constexpr int kGkMenuTopAlign = 0x0;
inline constexpr int kGkMenuVCenterAlign = 0x10;
inline constexpr int kGkMenuBottomAlign = 0x20;
inline constexpr int kGkMenuItemTextMax = 256;

// What gkMenuPopUp_GetItemInfo reports of an item.
struct GkMenuItemInfo {
  int commandId;
  int separator;
  int submenu;
  int enabled;
  int checked;
  char text[kGkMenuItemTextMax];
};

QWidget* GkNewMenuPopUp(QWidget* parent);

int gkMenuPopUp_SetBehavior(QWidget* window, int32_t id, GkCallback release);
int gkMenuPopUp_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count);
int gkMenuPopUp_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height);
int gkMenuPopUp_SetBitmapCut(QWidget* window, int slot, QWidget* other);
int gkMenuPopUp_SetBitmapCutAreaSelf(QWidget* window, int slot);
int gkMenuPopUp_SetBitmapSourceWindow(QWidget* window, QWidget* source);
int gkMenuPopUp_SetAlignment(QWidget* window, int flags);
// Takes the menu (destroying the one held); a null menu prints a line and returns 0.
int gkMenuPopUp_SetMenu(QWidget* window, QMenu* menu);
// Destroys the menu held and returns a new, empty one.
QMenu* gkMenuPopUp_NewMenu(QWidget* window);
QMenu* gkMenuPopUp_GetMenu(QWidget* window);
int gkMenuPopUp_AppendItem(QWidget* window, int commandId, const QString& text);
int gkMenuPopUp_InsertItem(QWidget* window, int position, int commandId, const QString& text);
int gkMenuPopUp_RemoveItem(QWidget* window, int position);
int gkMenuPopUp_ModifyItem(QWidget* window, int position, int commandId, const QString& text);
// Copies the item's text into buffer (kGkMenuItemTextMax bytes); returns its length.
int gkMenuPopUp_GetItemString(QWidget* window, int position, char* buffer);
int gkMenuPopUp_GetItemInfo(QWidget* window, int position, GkMenuItemInfo* info);
// The set-state request: 0 down, anything else up.
void gkMenuPopUp_SetState(QWidget* window, int state);
int gkMenuPopUp_GetState(QWidget* window);

// The command id an action of a menu carries.
void GkSetActionCommand(QAction* action, int commandId);
int GkActionCommand(const QAction* action);
