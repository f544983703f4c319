#include "widgets/draw_area.h"

#include <QPainter>
#include <new>

namespace {

struct DrawAreaData {
  static constexpr const char* kClassName = "gkdrawarea";
  int32_t id;
  QPointer<QWidget> owner;
  GkColor background;
  QPixmap bitmap;
  GkCutArea cut;
  char name[kGkShortNameMax + 1];
  QWidget* sourceWindow;  // nothing sets it; a set one would suppress drawing
};

class DrawAreaWindow : public GkWindow {
 public:
  explicit DrawAreaWindow(QWidget* parent) : GkWindow("gkdrawarea", parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* data = new (std::nothrow) DrawAreaData{};
    if (!data) return;
    data->background = GkRgb(0, 0, 0);
    SetSlot0(data);
  }

  ~DrawAreaWindow() override {
    DrawAreaData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  DrawAreaData* Data() const { return static_cast<DrawAreaData*>(Slot0()); }

  void RequestClear() {
    if (!isVisible()) return;
    clearPending_ = true;
    gkRepaint(this);
  }

 protected:
  QWidget* OwnerWindow() const override {
    DrawAreaData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void paintEvent(QPaintEvent*) override {
    DrawAreaData* d = Data();
    if (!d) return;
    QPainter painter(this);
    if (clearPending_) {
      clearPending_ = false;
      painter.fillRect(rect(), GkToQColor(d->background));
      return;
    }
    if (d->sourceWindow) {
      Trace("DrawArea OnPaint: sourceWindow=%d\n", 1);
      return;
    }
    if (!d->bitmap.isNull()) {
      if (d->cut.enabled) {
        GkBlit(painter, 0, 0, d->bitmap, d->cut.x, d->cut.y, d->cut.width, d->cut.height);
      } else {
        GkBlit(painter, 0, 0, d->bitmap, 0, 0, width(), height());
      }
    } else {
      painter.fillRect(rect(), GkToQColor(d->background));
    }
  }

 private:
  bool clearPending_ = false;
};

DrawAreaData* Record(QWidget* window, const char* op) {
  return GkRecord<DrawAreaData>(window, op);
}

}  // namespace

QWidget* GkNewDrawArea(QWidget* parent) {
  auto* window = new DrawAreaWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkDrawArea_SetColor_Background(QWidget* window, int32_t id, GkColor color) {
  auto* d = GkRecordQuiet<DrawAreaData>(window);
  if (!d) {
    Trace("gkDrawArea_SetColor_Background: PINSTDATA=NULL\n");
    return 0;
  }
  d->owner = window->parentWidget();
  d->id = id;
  d->background = color;
  gkRepaint(window);
  return 1;
}

int gkDrawArea_SetGraphic(QWidget* window, const QPixmap& bitmap) {
  DrawAreaData* d = Record(window, "gkDrawArea_SetGraphic");
  if (!d) return 0;
  d->bitmap = bitmap;
  gkRepaint(window);
  return 1;
}

int gkDrawArea_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height) {
  DrawAreaData* d = Record(window, "gkDrawArea_SetBitmapCutArea");
  if (!d || slot != 0) return 0;
  d->cut = GkCutArea{1, x, y, width, height};
  window->update();
  return 1;
}

int gkDrawArea_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other) {
  DrawAreaData* d = Record(window, "gkDrawArea_SetBitmapCutArea2");
  if (!d || slot != 0) return 0;
  d->cut = GkCutAreaFromWindow(other);
  window->update();
  return 1;
}

int gkDrawArea_SetBitmapSourceWindow(QWidget* window, QWidget*) {
  DrawAreaData* d = Record(window, "gkDrawArea_SetBitmapSourceWindow");
  if (!d) return 0;
  gkRepaint(window);
  return 1;
}

int gkDrawArea_SetName(QWidget* window, const char* name) {
  DrawAreaData* d = Record(window, "gkDrawArea_SetName");
  if (!d) return 0;
  GkCopyName(d->name, sizeof d->name, name);
  return 1;
}

int gkDrawArea_Clear(QWidget* window) {
  DrawAreaData* d = Record(window, "gkDrawArea_Clear");
  if (!d) return 0;
  if (d->bitmap.isNull()) static_cast<DrawAreaWindow*>(window)->RequestClear();
  return 1;
}
