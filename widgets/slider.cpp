#include "widgets/slider.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <new>

#include "widgets/bitmap_array.h"

namespace {

struct SliderData {
  static constexpr const char* kClassName = "bitmapslider";
  int32_t id;
  QPointer<QWidget> owner;
  GkCallback change;
  GkCallback release;
  float stepFraction;
  int orientation;
  float minimum;
  float maximum;
  float value;
  char name[kGkShortNameMax + 1];
  int capPosition;
  int lastPosition[2];  // older, newer; -1 when none
  int capStart;
  int capEnd;
  int grabOffset;
  int beforeCap;
  int beyondCap;
  int troughHeight;
  int troughWidth;
  int capHeight;
  int capWidth;
  QPixmap graphics[2];
  GkCutArea cut[2];
  int xOffset;
  int yOffset;
  int tracking;
  QPointer<QWidget> capWindow;
};

bool ValidSlot(int slot) {
  return slot == kTrough || slot == kCap;
}

bool Horizontal(const SliderData* d) {
  return d->orientation == kGkSliderHorizontal;
}

// The cap's extent along the trough: the linked array's measured size, else the cap bitmap's.
int CapAlong(const SliderData* d) {
  if (d->capWindow) {
    return Horizontal(d) ? gkBitmapArray_GetTotalWidth(d->capWindow)
                         : gkBitmapArray_GetTotalHeight(d->capWindow);
  }
  return Horizontal(d) ? d->capWidth : d->capHeight;
}

int TroughAlong(const SliderData* d) {
  return Horizontal(d) ? d->troughWidth : d->troughHeight;
}

// L: how far the cap can move.
int Span(const SliderData* d) {
  return TroughAlong(d) - CapAlong(d);
}

// An empty range or a cap that fills the trough has no mapping; the cap then rests at the
// minimum's end and reads as the minimum.
int ValueToPosition(const SliderData* d, float value) {
  const int span = Span(d);
  const double range = static_cast<double>(d->maximum) - d->minimum;
  if (span <= 0) return 0;
  if (range == 0.0) return Horizontal(d) ? 0 : span;
  const double along = (value - d->minimum) * span / range;
  const long position = std::lround(Horizontal(d) ? along : span - along);
  return static_cast<int>(std::clamp<long>(position, 0, span));
}

float PositionToValue(const SliderData* d, int position) {
  const int span = Span(d);
  const double range = static_cast<double>(d->maximum) - d->minimum;
  if (span <= 0) return d->minimum;
  const double along = Horizontal(d) ? position : span - position;
  return static_cast<float>(along * range / span + d->minimum);
}

void PlaceCap(SliderData* d, int position) {
  d->capPosition = position;
  d->capStart = position;
  d->capEnd = position + CapAlong(d);
}

class SliderWindow : public GkWindow {
 public:
  explicit SliderWindow(QWidget* parent) : GkWindow("bitmapslider", parent) {
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    auto* data = new (std::nothrow) SliderData{};
    if (!data) return;
    data->stepFraction = 0.05f;
    data->orientation = kGkSliderVertical;
    data->minimum = 0.0f;
    data->maximum = 100.0f;
    data->lastPosition[0] = data->lastPosition[1] = -1;
    data->troughWidth = width();
    data->troughHeight = height();
    SetSlot0(data);
  }

  ~SliderWindow() override {
    SliderData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  SliderData* Data() const { return static_cast<SliderData*>(Slot0()); }

 protected:
  QWidget* OwnerWindow() const override {
    SliderData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void OnSize(int width, int height) override {
    SliderData* data = Data();
    data->troughWidth = width;
    data->troughHeight = height;
    data->tracking = 0;
  }

  void OnSysColorChange() override { Data()->tracking = 0; }

  void focusInEvent(QFocusEvent*) override {
    if (SliderData* data = Data()) data->tracking = 1;
  }

  void focusOutEvent(QFocusEvent* event) override {
    if (SliderData* data = Data(); data && event->reason() != Qt::PopupFocusReason) {
      data->tracking = 0;
    }
  }

  void mousePressEvent(QMouseEvent* event) override {
    SyncSize();
    SliderData* d = Data();
    if (!d) return;
    if (event->button() == Qt::LeftButton) {
      TakeFocus();
      d->tracking = 1;
      d->beforeCap = 0;
      d->beyondCap = 0;
      if (d->capStart == 0 && d->capEnd == 0) PlaceCap(d, d->capPosition);
      const int p = Along(event);
      d->beyondCap = p > d->capEnd;
      d->beforeCap = p < d->capStart;
      d->grabOffset = (d->beforeCap || d->beyondCap) ? 0 : p - d->capStart;
    }
    Follow(event);
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    SyncSize();
    if (Data()) Follow(event);
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    SyncSize();
    SliderData* d = Data();
    if (!d) return;
    if (event->button() == Qt::LeftButton) {
      d->grabOffset = 0;
      if (d->release) d->release(d->id);
    }
    Follow(event);
  }

  void paintEvent(QPaintEvent*) override {
    SyncSize();
    SliderData* d = Data();
    if (!d) return;
    if (Horizontal(d)) {
      PaintHorizontal(d);
    } else {
      PaintVertical(d);
    }
  }

 private:
  int Along(QMouseEvent* event) const {
    const QPointF p = event->position();
    return static_cast<int>(std::floor(Horizontal(Data()) ? p.x() : p.y()));
  }

  // Any mouse message: with the left button held while tracking, the cap follows the pointer.
  void Follow(QMouseEvent* event) {
    SliderData* d = Data();
    if (!(event->buttons() & Qt::LeftButton)) {
      d->lastPosition[0] = d->lastPosition[1] = -1;
      return;
    }
    if (!d->tracking) return;
    const int p = Along(event);
    d->lastPosition[0] = d->lastPosition[1];
    d->lastPosition[1] = p;
    const int cap = CapAlong(d);
    int position = p;
    if (d->grabOffset != 0) {
      position = p - d->grabOffset;
    } else if (d->beforeCap) {
      position = p - cap / 4;
    } else if (d->beyondCap) {
      position = p - (cap - cap / 4);
    }
    position = std::clamp(position, 0, std::max(0, TroughAlong(d) - cap));
    PlaceCap(d, position);
    d->value = PositionToValue(d, position);
    if (d->change) d->change(d->id);
    gkRepaint(this);
  }

  void PaintVertical(SliderData* d) {
    if (d->graphics[kCap].isNull()) {
      Trace("gkSlider OnPaint: hBitMaps[kCap]=%d\n", 0);
      return;
    }
    if (d->capWindow) {
      d->capWidth = d->capWindow->width();
      d->capHeight = d->capWindow->height();
    }
    QPainter painter(this);
    painter.setClipRect(
        QRect(0, 0, std::min(width(), d->troughWidth), std::min(height(), d->troughHeight)));
    const QSize trough = GkBitmapSize(d->graphics[kTrough]);
    GkBlit(painter, 0, 0, d->graphics[kTrough], 0, 0, trough.width(), trough.height());
    GkBlit(painter, d->xOffset, d->capPosition, d->graphics[kCap], 0, 0, d->capWidth, d->capHeight);
  }

  void PaintHorizontal(SliderData* d) {
    const QSize trough = GkBitmapSize(d->graphics[kTrough]);
    d->troughHeight = trough.height();
    d->troughWidth = trough.width();
    QPainter painter(this);
    const QRect clip(0, 0, std::min(width(), d->troughWidth), std::min(height(), d->troughHeight));
    painter.setClipRect(clip);
    const GkCutArea& cut = d->cut[kTrough];
    if (cut.enabled) {
      GkBlit(painter, 0, 0, d->graphics[kTrough], cut.x, cut.y, cut.width, cut.height);
    } else {
      GkBlit(painter, 0, 0, d->graphics[kTrough], 0, 0, clip.width(), clip.height());
    }
    if (d->capWindow) {
      GkPaintBitmapArray(d->capWindow, painter, d->capPosition, d->yOffset);
    } else {
      GkBlit(painter, d->capPosition, d->yOffset, d->graphics[kCap], 0, 0, d->capWidth,
             d->capHeight);
    }
  }
};

SliderData* Record(QWidget* window, const char* op) {
  return GkRecord<SliderData>(window, op);
}

void Step(QWidget* window, SliderData* d, float direction) {
  const float range = d->maximum - d->minimum;
  const float low = std::min(d->minimum, d->maximum);
  const float high = std::max(d->minimum, d->maximum);
  d->value = std::clamp(d->value + direction * range * d->stepFraction, low, high);
  PlaceCap(d, ValueToPosition(d, d->value));
  gkRepaint(window);
  if (d->release) d->release(d->id);
}

}  // namespace

QWidget* GkNewSlider(QWidget* parent) {
  auto* window = new SliderWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkSlider_SetProperties(QWidget* window, int32_t id, int orientation, GkCallback change) {
  SliderData* d = Record(window, "gkSlider_SetProperties");
  if (!d) return 0;
  d->owner = window->parentWidget();
  d->id = id;
  d->orientation = orientation;
  d->change = change;
  return 1;
}

int gkSlider_SetReleaseCallback(QWidget* window, GkCallback release) {
  SliderData* d = Record(window, "gkSlider_SetReleaseCallback");
  if (!d) return 0;
  d->release = release;
  return 1;
}

int gkSlider_SetGraphics(QWidget* window, const QPixmap* bitmaps) {
  SliderData* d = Record(window, "gkSlider_SetGraphics");
  if (!d || !bitmaps) return 0;
  d->graphics[kTrough] = bitmaps[kTrough];
  d->graphics[kCap] = bitmaps[kCap];
  const QSize trough = GkBitmapSize(bitmaps[kTrough]);
  const QSize cap = GkBitmapSize(bitmaps[kCap]);
  d->troughHeight = trough.height();
  d->troughWidth = trough.width();
  d->capHeight = cap.height();
  d->capWidth = cap.width();
  gkRepaint(window);
  return 1;
}

int gkSlider_ReplaceGraphic(QWidget* window, const QPixmap& bitmap, int slot) {
  SliderData* d = Record(window, "gkSlider_ReplaceGraphic");
  if (!d || !ValidSlot(slot)) return 0;
  d->graphics[slot] = bitmap;
  gkRepaint(window);
  return 1;
}

int gkSlider_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height) {
  SliderData* d = Record(window, "gkSlider_SetBitmapCutArea");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutArea{1, x, y, width, height};
  window->update();
  return 1;
}

int gkSlider_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other) {
  SliderData* d = Record(window, "gkSlider_SetBitmapCutArea2");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutAreaFromWindow(other);
  window->update();
  return 1;
}

int gkSlider_SetName(QWidget* window, const char* name) {
  SliderData* d = Record(window, "gkSlider_SetName");
  if (!d) return 0;
  GkCopyName(d->name, sizeof d->name, name);
  return 1;
}

int gkSlider_SetRange(QWidget* window, float minimum, float maximum) {
  SliderData* d = Record(window, "gkSlider_SetRange");
  if (!d) return 0;
  d->minimum = minimum;
  d->maximum = maximum;
  gkRepaint(window);
  return 1;
}

int gkSlider_SetRangePair(QWidget* window, const float* pair) {
  SliderData* d = Record(window, "gkSlider_SetRangePair");
  if (!d || !pair) return 0;
  d->minimum = pair[0];
  d->maximum = pair[1];
  gkRepaint(window);
  return 1;
}

int gkSlider_SetValue(QWidget* window, float value) {
  SliderData* d = Record(window, "gkSlider_SetValue");
  if (!d) return 0;
  d->value = value;
  PlaceCap(d, ValueToPosition(d, value));
  gkRepaint(window);
  return 1;
}

float gkSlider_GetValue(QWidget* window) {
  SliderData* d = Record(window, "gkSlider_GetValue");
  return d ? PositionToValue(d, d->capPosition) : 0.0f;
}

int gkSlider_SetIncrementPercentage(QWidget* window, float percent) {
  SliderData* d = Record(window, "gkSlider_SetIncrementPercentage");
  if (!d) return 0;
  d->stepFraction = 0.01f * percent;
  return 1;
}

int gkSlider_SetIncrementValue(QWidget* window, float value) {
  SliderData* d = Record(window, "gkSlider_SetIncrementValue");
  if (!d) return 0;
  // A step of zero would divide by zero; it keeps the old fraction.
  if (value != 0.0f) d->stepFraction = (d->maximum - d->minimum) / value;
  return 1;
}

int gkSlider_DecrementValue(QWidget* window) {
  SliderData* d = Record(window, "gkSlider_DecrementValue");
  if (!d) return 0;
  Step(window, d, -1.0f);
  return 1;
}

int gkSlider_IncrementValue(QWidget* window) {
  SliderData* d = Record(window, "gkSlider_IncrementValue");
  if (!d) return 0;
  Step(window, d, 1.0f);
  return 1;
}

int gkSlider_SetCapWindow(QWidget* window, QWidget* array) {
  SliderData* d = Record(window, "gkSlider_SetCapWindow");
  if (!d) return 0;
  d->capWindow = array;
  gkRepaint(window);
  return 1;
}

int gkSlider_SetCapOffset(QWidget* window, int xOffset, int yOffset) {
  SliderData* d = Record(window, "gkSlider_SetCapOffset");
  if (!d) return 0;
  d->xOffset = xOffset;
  d->yOffset = yOffset;
  return 1;
}

int gkSlider_GetCapPosition(QWidget* window) {
  SliderData* d = GkRecordQuiet<SliderData>(window);
  return d ? d->capPosition : 0;
}
