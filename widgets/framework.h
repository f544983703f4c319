// The skinned widget toolkit's shared framework.
//
// Nine window classes draw the whole user interface from bitmaps. Every one of them is a
// GkWindow: a Qt widget whose instance data (one record per class) hangs off slot 0 and is
// found again by every public operation. A window handle is a QWidget*; a bitmap handle is a
// QPixmap (a null pixmap is "no bitmap"); a colour is a 32-bit 0x00BBGGRR value.
//
// Class registry: gkRegisterClasses enters the nine class names with their factories; the
// template loader (template_loader.h) builds panels from Qt Designer files by these names.
#pragma once

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <cstring>

#include "diagnostics/diagnostics.h"

class QCoreApplication;
class QPainter;

// ---- Colours ------------------------------------------------------------------------------

using GkColor = uint32_t;  // 0x00BBGGRR
constexpr GkColor GkRgb(int r, int g, int b) {
  return static_cast<GkColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
QColor GkToQColor(GkColor color);

// ---- Callbacks, cut areas -----------------------------------------------------------------

// A widget tells its owner what happened by calling a plain function with its id (the layer
// passes its new index instead).
using GkCallback = void (*)(int32_t id);

struct GkCutArea {
  int enabled;
  int x, y, width, height;
};

// The names a widget keeps for traces.
inline constexpr int kGkButtonNameMax = 99;
inline constexpr int kGkShortNameMax = 51;

// ---- The window base ----------------------------------------------------------------------

class GkWindow : public QWidget {
 public:
  GkWindow(const char* className, QWidget* parent);
  ~GkWindow() override;

  const char* ClassName() const { return className_; }
  // Slot 0: the instance data, or null before creation finished and after destruction.
  void* Slot0() const { return slot0_; }

  // Notices a change of the client size since it was last seen and handles it as the size
  // change message: Qt delivers resizes of hidden widgets only when they are shown, so every
  // operation, paint and input event asks first.
  void SyncSize();
  // The system colours changed: the class's reset, where it has one.
  void NotifySysColorChange();

 protected:
  void SetSlot0(void* data) { slot0_ = data; }
  // Size change (after the new size is known) and system colour change; by default nothing.
  virtual void OnSize(int width, int height);
  virtual void OnSysColorChange();
  // Where key presses go; null drops them.
  virtual QWidget* OwnerWindow() const = 0;
  // Mouse presses give the widget the keyboard focus.
  void TakeFocus();

  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  const char* className_;
  void* slot0_ = nullptr;
  int knownWidth_;
  int knownHeight_;
};

// Finds the record of a window of the given class. Prints "<op>: HWND or PINSTDATA =NULL\n"
// and returns null when the window is null, of another class, or without instance data.
void* GkInstanceData(QWidget* window, const char* className, const char* op);
void* GkInstanceDataQuiet(QWidget* window, const char* className);

template <class Record>
Record* GkRecord(QWidget* window, const char* op) {
  return static_cast<Record*>(GkInstanceData(window, Record::kClassName, op));
}
template <class Record>
Record* GkRecordQuiet(QWidget* window) {
  return static_cast<Record*>(GkInstanceDataQuiet(window, Record::kClassName));
}

// Invalidates the whole client area and paints at once.
void gkRepaint(QWidget* window);

// Copies a name of at most maxChars characters into a fixed buffer (always terminated).
void GkCopyName(char* destination, size_t capacity, const char* name);

// ---- Cut areas and drawing ----------------------------------------------------------------

// The window form of a cut area: the other window's position in its parent and client size.
GkCutArea GkCutAreaFromWindow(QWidget* other);

// Logical (device-independent) size of a bitmap; @2x skin bitmaps report their 1x size.
QSize GkBitmapSize(const QPixmap& bitmap);

// Plain source copy of a rectangle (in the bitmap's logical pixels) to (dx, dy), unscaled;
// the rectangle is clipped to the bitmap.
void GkBlit(QPainter& painter, int dx, int dy, const QPixmap& bitmap, int sx, int sy, int width,
            int height);

// ---- Class registry -----------------------------------------------------------------------

using GkWindowFactory = QWidget* (*)(QWidget* parent);

// The platform's class registration: fails when the name is taken.
bool GkRegisterWindowClass(const char* className, GkWindowFactory factory,
                           QCoreApplication* instance);
// Fails when the name is not registered, or was registered by another instance.
bool GkUnregisterWindowClass(const char* className, QCoreApplication* instance);
bool GkIsWindowClassRegistered(const char* className);
// Creates a window of a registered class; null when the class is unknown or the window
// refused its creation. A non-zero control id is recorded on the window.
QWidget* GkCreateWindow(const char* className, QWidget* parent, int controlId = 0);

// Registers the nine classes in the order bitmaparray, bitmapbutton, bitmapslider,
// bitmaplayer, gkmenupopup, gkdrawarea, gktext, vumeter, gkcontainer. All are attempted; true
// only when all nine succeeded.
bool gkRegisterClasses(QCoreApplication* instance);
// Unregisters the nine, ignoring failures; returns 0.
int gkUnregisterClasses(QCoreApplication* instance);

// ---- Control ids, commands, fonts ---------------------------------------------------------

// A panel's controls carry the template's control id (the "controlId" property).
void GkSetControlId(QWidget* window, int id);
int GkGetControlId(QWidget* window);
// The direct child of the panel with that control id, or null.
QWidget* GkGetDlgItem(QWidget* panel, int id);

// A menu command chosen in a popup menu, posted to the popup's owner window.
class GkCommandEvent : public QEvent {
 public:
  explicit GkCommandEvent(int commandId) : QEvent(EventType()), commandId_(commandId) {}
  int CommandId() const { return commandId_; }
  static QEvent::Type EventType();

 private:
  int commandId_;
};

// A font for a text pane from a font description: the face falls back to an installed sans
// font when it is missing (the skin asks for "Tahoma"); a negative height is the character
// height in pixels, a positive one the cell height.
QFont GkCreateFont(const LogFont& description);
// The description the panels build: height = -(points * pixelsPerInch / 72).
LogFont GkFontDescription(const char* face, int points, int weight, int pixelsPerInch);
