#include "widgets/level_meter.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace {

constexpr int kTableColors = 16;

// Segment colours from the bottom segment to the top (red, green, blue).
constexpr unsigned char kColorTables[2][kTableColors][3] = {
    {{0, 127, 0},
     {0, 140, 0},
     {0, 150, 0},
     {0, 160, 0},
     {0, 170, 0},
     {0, 184, 0},
     {0, 225, 0},
     {96, 255, 0},
     {130, 255, 0},
     {170, 255, 0},
     {220, 255, 0},
     {255, 255, 0},
     {255, 210, 0},
     {255, 185, 0},
     {255, 0, 0},
     {255, 0, 0}},
    {{0, 63, 127},
     {0, 84, 150},
     {0, 100, 184},
     {0, 100, 184},
     {0, 100, 184},
     {0, 120, 225},
     {0, 120, 225},
     {0, 120, 225},
     {96, 150, 180},
     {170, 150, 170},
     {220, 185, 150},
     {220, 185, 150},
     {255, 205, 130},
     {255, 210, 0},
     {255, 0, 0},
     {255, 0, 0}},
};

struct MeterData {
  static constexpr const char* kClassName = "vumeter";
  float bar;
  float peak;
  float maximum;
  float minimum;
  int barHold;
  int barCountdown;
  int peakHold;
  int peakCountdown;
  int spiral;
  int markerWidth;
  int markerHeight;
  int attribute3;
  int attribute4;
  double coils;
  double angle;
  double offset;
  double tanAngle;
  float barFallRate;
  float peakFallRate;
  int segments;
  int colors;
  int table;
  int style;
  QImage generated[2];  // off, on
  int regenerate;
  int graphicsCount;
  QPixmap graphics[2];
  GkCutArea cut[2];
  int clientHeight;
  int clientWidth;
};

bool ValidSlot(int slot) {
  return slot == 0 || slot == 1;
}

float Clamp(const MeterData* d, float value) {
  return std::clamp(value, std::min(d->minimum, d->maximum), std::max(d->minimum, d->maximum));
}

void ResetLine(MeterData* d) {
  d->spiral = 0;
  d->coils = 1.0;
  d->angle = 0.0;
  d->offset = 0.0;
  d->tanAngle = 0.0;
  d->markerWidth = 0;
  d->markerHeight = 1;
  d->attribute3 = 0;
  d->attribute4 = 0;
}

// The off (kind 0) or on (kind 1) picture of a meter without skin bitmaps.
QImage GeneratePicture(const MeterData* d, int kind, int w, int h) {
  if (w <= 0 || h <= 0) return QImage();
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(Qt::black);
  const int segments = std::max(1, d->segments);
  const int colors = std::clamp(d->colors, 1, kTableColors);
  const int segmentHeight = (h - 1) / segments;
  const bool solid = d->style == kGkMeterStyleSolid;
  const double factor = solid ? (kind ? 1.0 : 0.5) : (kind ? 1.3 : 0.6);
  const int inset = solid ? 0 : 2;
  const int perColor = std::max(1, segments / colors);
  const auto& table = kColorTables[d->table == 1 ? 1 : 0];
  for (int i = 0; i < segments; ++i) {
    const int index = std::min(i / perColor, colors - 1);
    const QRgb color = qRgb(std::min(255, static_cast<int>(table[index][0] * factor)),
                            std::min(255, static_cast<int>(table[index][1] * factor)),
                            std::min(255, static_cast<int>(table[index][2] * factor)));
    const int top = h - segmentHeight * (i + 1);
    const int lastRow = top + segmentHeight - 1;
    if (solid) {
      for (int y = std::max(0, top); y <= lastRow && y < h; ++y) {
        for (int x = 1; x < w - 1; ++x) picture.setPixel(x, y, color);
      }
      continue;
    }
    // Dots or lines every third row from row 2 down to this segment's last row; higher
    // segments paint over the rows of lower ones, so each ends in its own segment's colour.
    for (int y = 2; y <= lastRow && y < h; y += 3) {
      if (d->style == kGkMeterStyleDotted) {
        for (int x = inset; x < w - inset; x += 3) {
          picture.setPixel(x, y, color);
          if (x + 1 < w) picture.setPixel(x + 1, y, color);
        }
      } else {
        for (int x = inset; x < w - inset; ++x) picture.setPixel(x, y, color);
      }
    }
  }
  return picture;
}

class MeterWindow : public GkWindow {
 public:
  explicit MeterWindow(QWidget* parent) : GkWindow("vumeter", parent) {
    setFocusPolicy(Qt::ClickFocus);
    auto* data = new (std::nothrow) MeterData{};
    if (!data) return;
    data->maximum = 100.0f;
    data->minimum = 0.0f;
    ResetLine(data);
    data->barFallRate = 1.0f / 6.0f;
    data->peakFallRate = 1.0f / 6.0f;
    data->segments = 16;
    data->colors = kTableColors;
    data->style = kGkMeterStyleSolid;
    data->regenerate = 1;
    data->clientWidth = width();
    data->clientHeight = height();
    SetSlot0(data);
  }

  ~MeterWindow() override {
    MeterData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  MeterData* Data() const { return static_cast<MeterData*>(Slot0()); }

 protected:
  QWidget* OwnerWindow() const override { return parentWidget(); }

  void OnSize(int width, int height) override {
    MeterData* d = Data();
    d->clientHeight = height;
    d->clientWidth = width;
    Reset(d);
  }

  void OnSysColorChange() override { Reset(Data()); }

  void mousePressEvent(QMouseEvent*) override {
    if (Data()) TakeFocus();
  }
  void mouseReleaseEvent(QMouseEvent*) override {
    if (Data()) TakeFocus();
  }

  void paintEvent(QPaintEvent*) override {
    SyncSize();
    MeterData* d = Data();
    if (!d) return;
    const int w = width() - 2;
    const int h = height() - 2;
    if (w <= 0 || h <= 0) return;
    const double range = static_cast<double>(d->maximum) - d->minimum;
    const double fraction = range != 0.0 ? d->bar / range : 0.0;
    const int litHeight = static_cast<int>(h * fraction + 0.5);
    const int litTop = h - litHeight;
    const bool withGraphics = d->graphicsCount > 0;

    QPainter painter(this);
    painter.translate(1, 1);  // a one-pixel frame stays unpainted
    painter.setClipRect(QRect(0, 0, w, h));
    const QPixmap& off = d->graphics[0];
    const QPixmap& on = d->graphics[1];
    const QSize onSize = GkBitmapSize(on);
    if (withGraphics) {
      const GkCutArea& cut = d->cut[0];
      if (cut.enabled) {
        GkBlit(painter, 0, 0, off, cut.x, cut.y, cut.width, cut.height);
      } else {
        GkBlit(painter, 0, 0, off, 0, 0, w, h);
      }
      if (d->bar >= d->minimum) {
        GkBlit(painter, 0, litTop, on, 0, litTop, onSize.width(), onSize.height() - litTop);
      }
    } else {
      if (d->regenerate) {
        d->generated[0] = GeneratePicture(d, 0, w, h);
        d->generated[1] = GeneratePicture(d, 1, w, h);
        d->regenerate = 0;
      }
      painter.drawImage(QPoint(0, 0), d->generated[0]);
      if (d->bar >= d->minimum && litHeight > 0) {
        painter.drawImage(QPoint(0, litTop), d->generated[1], QRect(0, litTop, w, litHeight));
      }
    }
    if (d->peak >= d->minimum) PaintMarker(painter, d, w, h, withGraphics);
  }

 private:
  void PaintMarker(QPainter& painter, MeterData* d, int w, int h, bool withGraphics) {
    const double range = static_cast<double>(d->maximum) - d->minimum;
    const double f = range != 0.0 ? d->peak / range : 0.0;
    const int row = h - static_cast<int>(h * f + 0.5);
    if (d->style != kGkMeterStyleSolid) {
      const int inset = 2;
      const int end = d->style == kGkMeterStyleLined ? w - inset : w - inset - 1;
      if (end > inset) painter.fillRect(QRect(inset, row, end - inset, 1), Qt::white);
      return;
    }
    if (!withGraphics) {
      painter.drawImage(QPoint(0, row), d->generated[1], QRect(0, row, w, d->markerHeight));
      return;
    }
    const QPixmap& on = d->graphics[1];
    const QSize onSize = GkBitmapSize(on);
    if (!d->spiral) {
      GkBlit(painter, 1, row, on, 1, row, onSize.width(), d->markerHeight);
      return;
    }
    // Spiral: the marker slides sideways along slanted coils as the level changes.
    const double drift = onSize.height() * d->tanAngle;
    int left;
    int right;
    if (d->angle > 0.0) {
      left = static_cast<int>(f * drift + 0.5);
      right = static_cast<int>(onSize.width() + 0.5 - (1.0 - f) * drift);
    } else {
      left = static_cast<int>((1.0 - f) * drift + 0.5);
      right = static_cast<int>(onSize.width() + 0.5 - f * drift);
    }
    const int span = std::max(1, right - left);
    const double phase = (std::cos(d->coils * 2.0 * std::numbers::pi * f + d->offset) + 1.0) * 0.5;
    int x = left + static_cast<int>(phase * phase * span + 0.5);
    x = std::max(left, std::min(x, right - d->markerWidth));
    GkBlit(painter, x, row, on, x, row, d->markerWidth, d->markerHeight);
  }

  void Reset(MeterData* d) {
    d->bar = 0.0f;
    d->peak = 0.0f;
    d->barCountdown = d->barHold;
    d->peakCountdown = d->peakHold;
    ResetLine(d);
    d->graphicsCount = 0;
    for (int i = 0; i < 2; ++i) {
      d->graphics[i] = QPixmap();
      d->cut[i] = GkCutArea{};
    }
    // Generated pictures have the old size; draw them again.
    d->regenerate = 1;
  }
};

MeterData* Record(QWidget* window, const char* op) {
  return GkRecord<MeterData>(window, op);
}

}  // namespace

QWidget* GkNewLevelMeter(QWidget* parent) {
  auto* window = new MeterWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int vu_SetRange(QWidget* window, float minimum, float maximum) {
  MeterData* d = Record(window, "vu_SetRange");
  if (!d) return 0;
  d->minimum = minimum;
  d->maximum = maximum;
  return 1;
}

int vu_SetBarPosition(QWidget* window, float value) {
  MeterData* d = Record(window, "vu_SetBarPosition");
  if (!d) return 0;
  value = Clamp(d, value);
  const float range = d->maximum - d->minimum;
  if (d->barHold != 0) {
    if (value <= d->bar) {
      d->bar = std::max(d->bar - range * d->barFallRate, value);
    } else {
      d->bar = value;
      d->barCountdown = d->barHold;
    }
    d->barCountdown = std::max(0, d->barCountdown - 1);
  } else {
    d->bar = value;
  }
  if (d->peakHold != 0) {
    if (d->bar <= d->peak) {
      if (d->peakCountdown < d->peakHold / 2) {
        d->peak -= range * d->peakFallRate;
        d->peak = std::max(d->peak, d->minimum);
        d->peak = std::max(d->peak, d->bar);
      }
    } else {
      d->peak = d->bar;
      d->peakCountdown = d->peakHold;
    }
    d->peakCountdown = std::max(0, d->peakCountdown - 1);
  } else if (d->bar >= d->peak) {
    d->peak = d->bar;
  }
  gkRepaint(window);
  return 1;
}

int vu_SetLinePosition(QWidget* window, float value) {
  MeterData* d = Record(window, "vu_SetLinePosition");
  if (!d) return 0;
  d->peak = Clamp(d, value);
  gkRepaint(window);
  return 1;
}

int vu_SetPositions(QWidget* window, float peak, float bar) {
  MeterData* d = GkRecordQuiet<MeterData>(window);
  if (!d) return 0;
  d->peak = Clamp(d, peak);
  d->bar = Clamp(d, bar);
  gkRepaint(window);
  return 1;
}

namespace {
int SetHold(QWidget* window, int updates, bool bar, const char* op) {
  MeterData* d = Record(window, op);
  if (!d) return 0;
  (bar ? d->barHold : d->peakHold) = std::max(0, updates);
  d->barCountdown = d->barHold;
  d->peakCountdown = d->peakHold;
  d->bar = d->minimum;
  d->peak = d->minimum;
  gkRepaint(window);
  return 1;
}
}  // namespace

int vu_SetBarHold(QWidget* window, int updates) {
  return SetHold(window, updates, true, "vu_SetBarHold");
}

int vu_SetPeakHold(QWidget* window, int updates) {
  return SetHold(window, updates, false, "vu_SetPeakHold");
}

int vu_SetBarFallRate(QWidget* window, float fraction) {
  MeterData* d = Record(window, "vu_SetBarFallRate");
  if (!d) return 0;
  d->barFallRate = fraction;
  return 1;
}

int vu_SetPeakFallRate(QWidget* window, float fraction) {
  MeterData* d = Record(window, "vu_SetPeakFallRate");
  if (!d) return 0;
  d->peakFallRate = fraction;
  return 1;
}

int vu_SetColorTable(QWidget* window, int table) {
  MeterData* d = Record(window, "vu_SetColorTable");
  if (!d) return 0;
  d->table = table == 1 ? 1 : 0;
  d->regenerate = 1;
  return 1;
}

int vu_SetStyle(QWidget* window, int style) {
  MeterData* d = Record(window, "vu_SetStyle");
  if (!d) return 0;
  d->style = std::clamp(style, kGkMeterStyleDotted, kGkMeterStyleSolid);
  d->regenerate = 1;
  return 1;
}

int vu_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count) {
  MeterData* d = Record(window, "vu_SetGraphics");
  if (!d) return 0;
  const int n = bitmaps ? std::clamp(count, 0, 2) : 0;
  for (int i = 0; i < 2; ++i) d->graphics[i] = i < n ? bitmaps[i] : QPixmap();
  d->graphicsCount = n;
  gkRepaint(window);
  return 1;
}

int vu_SetLineSpiralCoils(QWidget* window, int mode, double coils, double angle, double offset) {
  MeterData* d = Record(window, "vu_SetLineSpiralCoils");
  if (!d) return 0;
  d->spiral = mode;
  d->coils = coils;
  d->angle = angle;
  d->offset = offset;
  d->tanAngle = std::tan(std::fabs(angle));
  gkRepaint(window);
  return 1;
}

int vu_SetLineAttributes(QWidget* window, int markerWidth, int markerHeight, int third,
                         int fourth) {
  MeterData* d = Record(window, "vu_SetLineAttributes");
  if (!d) return 0;
  d->markerWidth = markerWidth;
  d->markerHeight = markerHeight;
  d->attribute3 = third;
  d->attribute4 = fourth;
  gkRepaint(window);
  return 1;
}

int vu_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height) {
  MeterData* d = Record(window, "vu_SetBitmapCutArea");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutArea{1, x, y, width, height};
  window->update();
  return 1;
}

int vu_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other) {
  MeterData* d = Record(window, "vu_SetBitmapCutArea2");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutAreaFromWindow(other);
  window->update();
  return 1;
}

int vu_SetBitmapSourceWindow(QWidget* window, QWidget*) {
  MeterData* d = Record(window, "vu_SetBitmapSourceWindow");
  if (!d) return 0;
  gkRepaint(window);
  return 1;
}

float vu_GetBarPosition(QWidget* window) {
  MeterData* d = GkRecordQuiet<MeterData>(window);
  return d ? d->bar : 0.0f;
}

float vu_GetLinePosition(QWidget* window) {
  MeterData* d = GkRecordQuiet<MeterData>(window);
  return d ? d->peak : 0.0f;
}
