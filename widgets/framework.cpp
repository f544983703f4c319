#include "widgets/framework.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "widgets/bitmap_array.h"
#include "widgets/bitmap_button.h"
#include "widgets/bitmap_layer.h"
#include "widgets/container.h"
#include "widgets/draw_area.h"
#include "widgets/level_meter.h"
#include "widgets/menu_popup.h"
#include "widgets/slider.h"
#include "widgets/text_pane.h"

namespace {

struct ClassEntry {
  GkWindowFactory factory;
  QCoreApplication* instance;
};

// The process's window classes, by name, and the live windows. Window thread only.
struct WidgetRegistry {
  std::map<std::string, ClassEntry> classes;
  std::set<GkWindow*> windows;
  QPointer<QObject> colorWatcher;
};

WidgetRegistry& Registry() {
  static WidgetRegistry registry;
  return registry;
}

constexpr const char* kControlIdProperty = "controlId";

// A change of the system colours reaches only top-level windows in Qt, as it does on other
// platforms; the toolkit hands it on to every one of its windows.
class SysColorWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() &&
        event->type() == QEvent::ApplicationPaletteChange) {
      const std::set<GkWindow*> windows = Registry().windows;
      for (GkWindow* window : windows) {
        if (Registry().windows.count(window)) window->NotifySysColorChange();
      }
    }
    return false;
  }
};

}  // namespace

QColor GkToQColor(GkColor color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// ---- GkWindow -----------------------------------------------------------------------------

GkWindow::GkWindow(const char* className, QWidget* parent)
    : QWidget(parent), className_(className), knownWidth_(width()), knownHeight_(height()) {
  setCursor(Qt::ArrowCursor);
  Registry().windows.insert(this);
  if (!Registry().colorWatcher && QCoreApplication::instance()) {
    auto* watcher = new SysColorWatcher(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watcher);
    Registry().colorWatcher = watcher;
  }
}

GkWindow::~GkWindow() {
  Registry().windows.erase(this);
}

void GkWindow::NotifySysColorChange() {
  if (slot0_) OnSysColorChange();
}

void GkWindow::SyncSize() {
  if (!slot0_) return;
  const int w = width();
  const int h = height();
  if (w == knownWidth_ && h == knownHeight_) return;
  knownWidth_ = w;
  knownHeight_ = h;
  OnSize(w, h);
}

void GkWindow::OnSize(int, int) {}
void GkWindow::OnSysColorChange() {}

void GkWindow::TakeFocus() {
  setFocus(Qt::MouseFocusReason);
}

void GkWindow::resizeEvent(QResizeEvent*) {
  SyncSize();
}

void GkWindow::keyPressEvent(QKeyEvent* event) {
  // Keyboard shortcuts belong to the panel, whichever widget has the focus.
  if (QWidget* owner = OwnerWindow()) {
    QKeyEvent copy(QEvent::KeyPress, event->key(), event->modifiers(), event->text(),
                   event->isAutoRepeat(), static_cast<quint16>(event->count()));
    QCoreApplication::sendEvent(owner, &copy);
  }
  event->accept();
}

void* GkInstanceDataQuiet(QWidget* window, const char* className) {
  auto* gk = dynamic_cast<GkWindow*>(window);
  if (!gk || !gk->Slot0() || std::strcmp(gk->ClassName(), className) != 0) return nullptr;
  gk->SyncSize();
  return gk->Slot0();
}

void* GkInstanceData(QWidget* window, const char* className, const char* op) {
  void* data = GkInstanceDataQuiet(window, className);
  if (!data) Trace("%s: HWND or PINSTDATA =NULL\n", op);
  return data;
}

void gkRepaint(QWidget* window) {
  if (window) window->repaint();
}

void GkCopyName(char* destination, size_t capacity, const char* name) {
  if (!destination || capacity == 0) return;
  if (!name) name = "";
  std::strncpy(destination, name, capacity - 1);
  destination[capacity - 1] = '\0';
}

// ---- Cut areas and drawing ----------------------------------------------------------------

GkCutArea GkCutAreaFromWindow(QWidget* other) {
  GkCutArea cut{};
  cut.enabled = 1;
  if (!other) return cut;
  cut.x = other->x();
  cut.y = other->y();
  cut.width = other->width();
  cut.height = other->height();
  return cut;
}

QSize GkBitmapSize(const QPixmap& bitmap) {
  if (bitmap.isNull()) return QSize(0, 0);
  return bitmap.deviceIndependentSize().toSize();
}

void GkBlit(QPainter& painter, int dx, int dy, const QPixmap& bitmap, int sx, int sy, int width,
            int height) {
  if (bitmap.isNull() || width <= 0 || height <= 0) return;
  const QRect wanted(sx, sy, width, height);
  const QRect source = wanted.intersected(QRect(QPoint(0, 0), GkBitmapSize(bitmap)));
  if (source.isEmpty()) return;
  dx += source.x() - sx;
  dy += source.y() - sy;
  const qreal ratio = bitmap.devicePixelRatio();
  painter.drawPixmap(QRectF(dx, dy, source.width(), source.height()), bitmap,
                     QRectF(source.x() * ratio, source.y() * ratio, source.width() * ratio,
                            source.height() * ratio));
}

// ---- Class registry -----------------------------------------------------------------------

bool GkRegisterWindowClass(const char* className, GkWindowFactory factory,
                           QCoreApplication* instance) {
  if (!className || !factory) return false;
  auto [it, inserted] = Registry().classes.emplace(className, ClassEntry{factory, instance});
  (void)it;
  return inserted;
}

bool GkUnregisterWindowClass(const char* className, QCoreApplication* instance) {
  if (!className) return false;
  auto it = Registry().classes.find(className);
  if (it == Registry().classes.end() || it->second.instance != instance) return false;
  Registry().classes.erase(it);
  return true;
}

bool GkIsWindowClassRegistered(const char* className) {
  return className && Registry().classes.count(className) != 0;
}

QWidget* GkCreateWindow(const char* className, QWidget* parent, int controlId) {
  if (!className) return nullptr;
  auto it = Registry().classes.find(className);
  if (it == Registry().classes.end()) return nullptr;
  QWidget* window = it->second.factory(parent);
  if (window && controlId != 0) GkSetControlId(window, controlId);
  return window;
}

bool gkRegisterClasses(QCoreApplication* instance) {
  struct {
    const char* name;
    GkWindowFactory factory;
  } const classes[] = {
      {"bitmaparray", GkNewBitmapArray}, {"bitmapbutton", GkNewBitmapButton},
      {"bitmapslider", GkNewSlider},     {"bitmaplayer", GkNewBitmapLayer},
      {"gkmenupopup", GkNewMenuPopUp},   {"gkdrawarea", GkNewDrawArea},
      {"gktext", GkNewTextPane},         {"vumeter", GkNewLevelMeter},
      {"gkcontainer", GkNewContainer},
  };
  bool all = true;
  for (const auto& c : classes) {
    if (!GkRegisterWindowClass(c.name, c.factory, instance)) all = false;
  }
  return all;
}

int gkUnregisterClasses(QCoreApplication* instance) {
  const char* const names[] = {"bitmaparray", "bitmapbutton", "bitmaplayer",
                               "gkmenupopup", "gkdrawarea",   "bitmapslider",
                               "gktext",      "vumeter",      "gkcontainer"};
  for (const char* name : names) GkUnregisterWindowClass(name, instance);
  return 0;
}

// ---- Control ids, commands, fonts ---------------------------------------------------------

void GkSetControlId(QWidget* window, int id) {
  if (window) window->setProperty(kControlIdProperty, id);
}

int GkGetControlId(QWidget* window) {
  if (!window) return 0;
  return window->property(kControlIdProperty).toInt();
}

QWidget* GkGetDlgItem(QWidget* panel, int id) {
  if (!panel) return nullptr;
  for (QObject* child : panel->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget && GkGetControlId(widget) == id) return widget;
  }
  return nullptr;
}

QEvent::Type GkCommandEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QFont GkCreateFont(const LogFont& description) {
  QFont font;
  const QString face = QString::fromStdString(description.faceName);
  const QStringList installed = QFontDatabase::families();
  if (!face.isEmpty() && installed.contains(face, Qt::CaseInsensitive)) {
    font.setFamily(face);
  } else if (installed.contains(QStringLiteral("DejaVu Sans"))) {
    font.setFamily(QStringLiteral("DejaVu Sans"));
  } else {
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(QString());
  }
  font.setWeight(static_cast<QFont::Weight>(
      description.weight <= 0 ? 400 : std::clamp(description.weight, 1, 1000)));
  font.setItalic(description.italic != 0);
  font.setUnderline(description.underline != 0);
  font.setStrikeOut(description.strikeOut != 0);
  if (description.height < 0) {
    font.setPixelSize(-description.height);
  } else if (description.height > 0) {
    // A positive height is the whole cell; scale the em size down to fit it.
    font.setPixelSize(description.height);
    const int cell = QFontMetrics(font).height();
    if (cell > 0) font.setPixelSize(std::max(1, description.height * description.height / cell));
  } else {
    font.setPixelSize(13);
  }
  return font;
}

LogFont GkFontDescription(const char* face, int points, int weight, int pixelsPerInch) {
  LogFont description;
  description.height = -(points * pixelsPerInch / 72);
  description.weight = weight;
  description.outPrecision = 3;     // stroke precision
  description.clipPrecision = 2;    // stroke clipping
  description.quality = 1;          // draft
  description.pitchAndFamily = 34;  // variable pitch, Swiss
  description.faceName = face ? face : "";
  return description;
}
