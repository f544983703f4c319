#include "widgets/container.h"

#include <QPainter>
#include <algorithm>
#include <new>

namespace {

struct ContainerColumn {
  QPointer<QWidget> widget;
  int spacing;  // pixels before the widget
  int second;   // kept, not used
  int flag;
};

struct ContainerSpring {
  int weight;
  int second;  // kept, not used
};

struct ContainerData {
  static constexpr const char* kClassName = "gkcontainer";
  int32_t id;
  QPointer<QWidget> owner;
  ContainerColumn column[MAX_COLUMNS];
  ContainerSpring spring[MAX_SPRINGS];
};

class ContainerWindow : public GkWindow {
 public:
  explicit ContainerWindow(QWidget* parent) : GkWindow("gkcontainer", parent) {
    setFocusPolicy(Qt::NoFocus);
    auto* data = new (std::nothrow) ContainerData{};
    if (!data) return;
    for (ContainerColumn& column : data->column) column.flag = kGkPlaceFromLeft;
    SetSlot0(data);
  }

  ~ContainerWindow() override {
    ContainerData* data = Data();
    SetSlot0(nullptr);
    delete data;
  }

  ContainerData* Data() const { return static_cast<ContainerData*>(Slot0()); }

 protected:
  QWidget* OwnerWindow() const override {
    ContainerData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  // The strip itself is the class's black brush.
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
  }
};

ContainerData* Record(QWidget* window, const char* op) {
  return GkRecord<ContainerData>(window, op);
}

}  // namespace

QWidget* GkNewContainer(QWidget* parent) {
  auto* window = new ContainerWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkContainer_SetProperties(QWidget* window, int32_t id) {
  auto* d = GkRecordQuiet<ContainerData>(window);
  if (!d) {
    Trace("gkContainer_SetProperties: PINSTDATA=NULL\n");
    return 0;
  }
  d->owner = window->parentWidget();
  d->id = id;
  return 1;
}

int gkContainer_SetWidget(QWidget* window, QWidget* widget, int column, int flag) {
  ContainerData* d = Record(window, "gkContainer_SetWidget");
  if (!d) return 0;
  if (column < 0 || column >= MAX_COLUMNS) {
    Trace("gkContainer_SetWidget: index >= MAX_COLUMNS=%d\n", MAX_COLUMNS);
    return 0;
  }
  d->column[column].widget = widget;
  d->column[column].flag = flag;
  return 1;
}

int gkContainer_SetSpacing(QWidget* window, int column, int spacing, int second) {
  ContainerData* d = Record(window, "gkContainer_SetSpacing");
  if (!d) return 0;
  if (column < 0 || column >= MAX_COLUMNS) {
    Trace("gkContainer_SetSpacing: index=%d >= MAX_COLUMNS=%d\n", column, MAX_COLUMNS);
    return 0;
  }
  d->column[column].spacing = spacing;
  d->column[column].second = second;
  return 1;
}

int gkContainer_SetSpring(QWidget* window, int spring, int weight, int second) {
  ContainerData* d = Record(window, "gkContainer_SetSpring");
  if (!d) return 0;
  if (spring < 0 || spring >= MAX_SPRINGS) {
    Trace("gkContainer_SetSpring: index=%d >= MAX_SPRINGS=%d\n", spring, MAX_SPRINGS);
    return 0;
  }
  d->spring[spring].weight = weight;
  d->spring[spring].second = second;
  return 1;
}

int gkContainer_Layout(QWidget* window) {
  ContainerData* d = Record(window, "gkContainer_Layout");
  if (!d) return 0;
  // The row's place in the owner's client area; it sits one strip height above the strip.
  QWidget* owner = d->owner ? d->owner.data() : window->parentWidget();
  const QPoint origin = owner ? owner->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
  const QPoint topLeft = window->mapToGlobal(QPoint(0, 0)) - origin;
  const int x = topLeft.x();
  const int y = topLeft.y() - window->height();
  const int right = x + window->width();

  int freeWidth = window->width();
  for (const ContainerColumn& column : d->column) {
    if (column.widget) freeWidth -= column.spacing + column.widget->width();
  }
  freeWidth = std::max(0, freeWidth);

  int springPixels[MAX_SPRINGS] = {};
  if (freeWidth > 0) {
    long total = 0;
    for (const ContainerSpring& spring : d->spring) total += spring.weight;
    // Without any weight there is nothing to share the free width out by.
    if (total != 0) {
      for (int s = 0; s < MAX_SPRINGS; ++s) {
        springPixels[s] =
            static_cast<int>(static_cast<double>(freeWidth) * d->spring[s].weight / total + 0.5);
      }
    }
  }

  int left = x;
  int rightEnd = right;
  for (int c = 0; c < MAX_COLUMNS; ++c) {
    QWidget* widget = d->column[c].widget;
    if (!widget) continue;
    int w = widget->width();
    const int h = widget->height();
    left += d->column[c].spacing + springPixels[c];
    int wx = left;
    if (d->column[c].flag & kGkPlaceFromLeft) {
      left += w + 1;
    } else if (d->column[c].flag & kGkPlaceFromRight) {
      wx = rightEnd - w;
      rightEnd -= w + 1;
    }
    if (wx + w > right) w = right - wx;
    if (w < 1) break;
    widget->setGeometry(wx, y, w, h);
    gkRepaint(widget);
  }
  return 1;
}
