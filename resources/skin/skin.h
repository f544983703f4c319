// The skin compiled into the program: bitmaps by resource name and the main window's
// template. The application owns the bitmaps it loads (the widgets never load or free any).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// Makes the compiled-in skin available; call once before loading (repeat calls are harmless).
void InitSkinResources();

// Forces the 2x drawings (2) or leaves the choice to the screen's density (1). The scaled
// full-screen window draws the panel from the 2x art.
void SetSkinScale(int scale);
int SkinScale();

// ":/skin/<name>.png", or its "@2x" drawing on a high-density screen or a forced scale of 2. A
// missing bitmap traces "LoadSkinBitmap: no bitmap '<name>'\n" and gives a null pixmap.
QPixmap LoadSkinBitmap(const QString& name);
QPixmap LoadSkinBitmap(int resourceId);

// The program's icons: large (273) and small (277), each drawn at 1x and 2x.
inline constexpr int kLargeIconId = 273;
inline constexpr int kSmallIconId = 277;
// An icon with every drawing of the bitmap; null (and traced as a missing bitmap) when absent.
QIcon LoadSkinIcon(int resourceId);

// The main window's template, laid out on the skin.
QString SkinTemplatePath();
