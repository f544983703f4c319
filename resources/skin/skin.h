// The skin compiled into the program: bitmaps by resource name and the main window's
// template. The application owns the bitmaps it loads (the widgets never load or free any).
#pragma once

#include <QPixmap>
#include <QString>

// Makes the compiled-in skin available; call once before loading (repeat calls are harmless).
void InitSkinResources();

// ":/skin/<name>.png", or its "@2x" drawing on a high-density screen. A missing bitmap traces
// "LoadSkinBitmap: no bitmap '<name>'\n" and gives a null pixmap.
QPixmap LoadSkinBitmap(const QString& name);
QPixmap LoadSkinBitmap(int resourceId);

// The main window's template, laid out on the skin.
QString SkinTemplatePath();
