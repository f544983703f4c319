#include "widgets/bitmap_array.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <new>

namespace {

struct ArrayColumn {
  int count;
  int index;  // -1: draws nothing, takes no room
  QPixmap bitmaps[kGkArrayMaxBitmaps];
};

struct ArrayData {
  static constexpr const char* kClassName = "bitmaparray";
  int32_t id;
  QPointer<QWidget> owner;
  int clientHeight;
  int clientWidth;
  int totalWidth;
  int totalHeight;
  int columns;
  ArrayColumn column[kGkArrayMaxColumns];
};

bool ValidColumn(int column) {
  return column >= 0 && column < kGkArrayMaxColumns;
}

class ArrayWindow : public GkWindow {
 public:
  explicit ArrayWindow(QWidget* parent) : GkWindow("bitmaparray", parent) {
    setFocusPolicy(Qt::ClickFocus);
    auto* data = new (std::nothrow) ArrayData{};
    if (!data) return;
    data->clientWidth = width();
    data->clientHeight = height();
    SetSlot0(data);
  }

  ~ArrayWindow() override {
    ArrayData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  ArrayData* Data() const { return static_cast<ArrayData*>(Slot0()); }

 protected:
  QWidget* OwnerWindow() const override {
    ArrayData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void OnSize(int width, int height) override {
    ArrayData* data = Data();
    data->clientHeight = height;
    data->clientWidth = width;
    Reset(data);
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
    if (!Data()) return;
    QPainter painter(this);
    GkPaintBitmapArray(this, painter, 0, 0);
  }

 private:
  void Reset(ArrayData* data) {
    // Bitmaps, counts, indices and totals go; the number of columns stays.
    for (ArrayColumn& column : data->column) {
      column.count = 0;
      column.index = 0;
      for (QPixmap& bitmap : column.bitmaps) bitmap = QPixmap();
    }
    data->totalWidth = 0;
    data->totalHeight = 0;
  }
};

ArrayData* Record(QWidget* window, const char* op) {
  return GkRecord<ArrayData>(window, op);
}

void SetColumnBitmaps(ArrayColumn& column, const QPixmap* bitmaps, int count) {
  const int n = bitmaps ? std::clamp(count, 0, kGkArrayMaxBitmaps) : 0;
  for (int i = 0; i < kGkArrayMaxBitmaps; ++i) column.bitmaps[i] = i < n ? bitmaps[i] : QPixmap();
  column.count = n;
}

}  // namespace

QWidget* GkNewBitmapArray(QWidget* parent) {
  auto* window = new ArrayWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

void GkPaintBitmapArray(QWidget* window, QPainter& painter, int x, int y) {
  ArrayData* data = GkRecordQuiet<ArrayData>(window);
  if (!data) return;
  data->totalWidth = 0;
  data->totalHeight = 0;
  const int clientWidth = window->width();
  const int clientHeight = window->height();
  int offset = 0;
  const int columns = std::clamp(data->columns, 0, kGkArrayMaxColumns);
  for (int c = 0; c < columns; ++c) {
    const ArrayColumn& column = data->column[c];
    if (column.index < 0 || column.index >= column.count) continue;
    const QPixmap& bitmap = column.bitmaps[column.index];
    if (bitmap.isNull()) continue;
    const QSize size = GkBitmapSize(bitmap);
    GkBlit(painter, x + offset, y, bitmap, 0, 0, std::min(clientWidth, size.width()),
           std::min(clientHeight, size.height()));
    offset += size.width();
    data->totalWidth += size.width();
    data->totalHeight += size.height();
  }
}

int gkBitmapArray_SetProperties(QWidget* window, int32_t id, int columns) {
  ArrayData* data = Record(window, "gkBitmapArray_SetProperties");
  if (!data) return 0;
  data->owner = window->parentWidget();
  data->id = id;
  if (columns > kGkArrayMaxColumns || columns < 0) {
    Trace("gkBitmapArray_SetProperties: columns=%d > max columns\n", columns);
    return 0;
  }
  data->columns = columns;
  return 1;
}

int gkBitmapArray_SetColumnBitMaps(QWidget* window, int column, const QPixmap* bitmaps, int count) {
  ArrayData* data = Record(window, "gkBitmapArray_SetColumnBitMaps");
  if (!data || !ValidColumn(column)) return 0;
  SetColumnBitmaps(data->column[column], bitmaps, count);
  gkRepaint(window);
  return 1;
}

int gkBitmapArray_SetAllBitMaps(QWidget* window, const QPixmap* bitmaps, int count) {
  ArrayData* data = Record(window, "gkBitmapArray_SetAllBitMaps");
  if (!data) return 0;
  for (ArrayColumn& column : data->column) SetColumnBitmaps(column, bitmaps, count);
  gkRepaint(window);
  return 1;
}

int gkBitmapArray_SetAllIndices(QWidget* window, const int* indices, int count) {
  ArrayData* data = Record(window, "gkBitmapArray_SetAllIndices");
  if (!data) return 0;
  const int n = indices ? std::clamp(count, 0, kGkArrayMaxColumns) : 0;
  data->columns = n;
  for (int c = 0; c < n; ++c) data->column[c].index = indices[c];
  gkRepaint(window);
  return 1;
}

void gkBitmapArray_SetIndex(QWidget* window, int column, int index) {
  ArrayData* data = GkRecordQuiet<ArrayData>(window);
  if (!data || !ValidColumn(column)) return;
  data->column[column].index = index;
  gkRepaint(window);
}

int gkBitmapArray_GetTotalWidth(QWidget* window) {
  ArrayData* data = GkRecordQuiet<ArrayData>(window);
  return data ? data->totalWidth : 0;
}

int gkBitmapArray_GetTotalHeight(QWidget* window) {
  ArrayData* data = GkRecordQuiet<ArrayData>(window);
  return data ? data->totalHeight : 0;
}

int gkBitmapArray_GetColumns(QWidget* window) {
  ArrayData* data = GkRecordQuiet<ArrayData>(window);
  return data ? data->columns : 0;
}
