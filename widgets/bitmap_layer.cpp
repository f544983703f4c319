#include "widgets/bitmap_layer.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <new>

namespace {

struct LayerData {
  static constexpr const char* kClassName = "bitmaplayer";
  GkCallback callback;
  intptr_t secondValue;  // kept for the owner, never used
  int32_t id;
  QPointer<QWidget> owner;
  int index;
  int clientHeight;
  int clientWidth;
  int segmentation;  // bands a click picks from; below 2 a click cycles
  int graphicsCount;
  QPixmap graphics[kGkLayerSlots];
  GkCutArea cut[kGkLayerSlots];
};

bool ValidSlot(int slot) {
  return slot >= 0 && slot < kGkLayerSlots;
}

class LayerWindow : public GkWindow {
 public:
  explicit LayerWindow(QWidget* parent) : GkWindow("bitmaplayer", parent) {
    setFocusPolicy(Qt::ClickFocus);
    auto* data = new (std::nothrow) LayerData{};
    if (!data) return;
    data->segmentation = 1;
    data->clientWidth = width();
    data->clientHeight = height();
    SetSlot0(data);
  }

  ~LayerWindow() override {
    LayerData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  LayerData* Data() const { return static_cast<LayerData*>(Slot0()); }

 protected:
  QWidget* OwnerWindow() const override {
    LayerData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void OnSize(int width, int height) override {
    LayerData* data = Data();
    data->clientHeight = height;
    data->clientWidth = width;
    Reset(data);
  }

  void OnSysColorChange() override { Reset(Data()); }

  void mousePressEvent(QMouseEvent* event) override {
    SyncSize();
    LayerData* data = Data();
    if (!data) return;
    TakeFocus();
    if (event->button() != Qt::LeftButton) return;
    if (data->segmentation < 2) {
      data->index = data->index + 1;
      if (data->index >= data->graphicsCount) data->index = 0;
    } else {
      const int bandHeight = data->clientHeight / data->segmentation;
      // More bands than pixel rows: no band can be told apart, so the click changes nothing.
      if (bandHeight <= 0) return;
      const int y = static_cast<int>(event->position().y());
      data->index = y / bandHeight;
      if (data->index >= data->graphicsCount || data->index < 0) data->index = 0;
    }
    gkRepaint(this);
    if (data->callback) data->callback(data->index);
  }

  void mouseReleaseEvent(QMouseEvent*) override {
    if (Data()) TakeFocus();
  }

  void paintEvent(QPaintEvent*) override {
    SyncSize();
    LayerData* data = Data();
    if (!data || !ValidSlot(data->index)) return;
    const QPixmap& bitmap = data->graphics[data->index];
    if (bitmap.isNull()) return;  // the background shows through
    QPainter painter(this);
    const GkCutArea& cut = data->cut[data->index];
    if (cut.enabled) {
      GkBlit(painter, 0, 0, bitmap, cut.x, cut.y, cut.width, cut.height);
    } else {
      GkBlit(painter, 0, 0, bitmap, 0, 0, width(), height());
    }
  }

 private:
  void Reset(LayerData* data) {
    // The index and the graphics go; the cut areas stay.
    data->index = 0;
    data->graphicsCount = 0;
    for (QPixmap& slot : data->graphics) slot = QPixmap();
  }
};

LayerData* Record(QWidget* window, const char* op) {
  return GkRecord<LayerData>(window, op);
}

}  // namespace

QWidget* GkNewBitmapLayer(QWidget* parent) {
  auto* window = new LayerWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkBitmapLayer_SetBehavior(QWidget* window, int32_t id, GkCallback callback,
                              intptr_t secondValue) {
  LayerData* data = Record(window, "gkBitmapLayer_SetBehavior");
  if (!data) return 0;
  data->owner = window->parentWidget();
  data->id = id;
  data->callback = callback;
  data->secondValue = secondValue;
  return 1;
}

int gkBitmapLayer_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count) {
  LayerData* data = Record(window, "gkBitmapLayer_SetGraphics");
  if (!data) return 0;
  // The count is kept within the slots so that cycling never indexes past them.
  const int n = bitmaps ? std::clamp(count, 0, kGkLayerSlots) : 0;
  for (int i = 0; i < n; ++i) data->graphics[i] = bitmaps[i];
  data->graphicsCount = n;
  gkRepaint(window);
  return 1;
}

int gkBitmapLayer_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height) {
  LayerData* data = Record(window, "gkBitmapLayer_SetBitmapCutArea");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot] = GkCutArea{1, x, y, width, height};
  window->update();
  return 1;
}

int gkBitmapLayer_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other) {
  LayerData* data = Record(window, "gkBitmapLayer_SetBitmapCutArea2");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot] = GkCutAreaFromWindow(other);
  window->update();
  return 1;
}

int gkBitmapLayer_SetBitmapCutAreaSelf(QWidget* window, int slot) {
  LayerData* data = Record(window, "gkBitmapLayer_SetBitmapCutAreaSelf");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot] = GkCutAreaFromWindow(window);
  window->update();
  return 1;
}

int gkBitmapLayer_SetBitmapSourceWindow(QWidget* window, QWidget*) {
  LayerData* data = Record(window, "gkBitmapLayer_SetBitmapSourceWindow");
  if (!data) return 0;
  gkRepaint(window);
  return 1;
}

int gkBitmapLayer_SetVerticalSegmentation(QWidget* window, int bands) {
  LayerData* data = Record(window, "gkBitmapLayer_SetVerticalSegmentation");
  if (!data) return 0;
  data->segmentation = bands;
  return 1;
}

int gkBitmapLayer_GetIndex(QWidget* window) {
  LayerData* data = Record(window, "gkBitmapLayer_GetIndex");
  return data ? data->index : 0;
}

void gkBitmapLayer_SetIndex(QWidget* window, int index) {
  LayerData* data = GkRecordQuiet<LayerData>(window);
  if (!data) return;
  data->index = index;
  gkRepaint(window);
}
