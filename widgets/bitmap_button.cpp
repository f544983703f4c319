#include "widgets/bitmap_button.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <memory>
#include <new>

#include "platform/sync/periodic_timer.h"

namespace {

struct ButtonData {
  static constexpr const char* kClassName = "bitmapbutton";
  GkCallback prePress;
  GkCallback preRelease;
  GkCallback postPress;
  GkCallback postRelease;
  int32_t id;
  QPointer<QWidget> owner;
  int focus;
  int state;     // 0 down, 1 up
  int behavior;  // kGkButtonPush or kGkButtonToggle
  int clientHeight;
  int clientWidth;
  char name[kGkButtonNameMax + 1];
  int graphicsCount;
  QPixmap graphics[kGkButtonSlots];
  QPointer<QWidget> sourceWindows[kGkButtonSlots];
  GkCutArea cut[kGkButtonSlots];
  int scrollInterval;
  uint32_t timerId;
  std::unique_ptr<PeriodicTimer> repeatTimer;
};

bool ValidSlot(int slot) {
  return slot >= 0 && slot < kGkButtonSlots;
}

class ButtonWindow : public GkWindow {
 public:
  explicit ButtonWindow(QWidget* parent) : GkWindow("bitmapbutton", parent) {
    setFocusPolicy(Qt::ClickFocus);
    auto* data = new (std::nothrow) ButtonData{};
    if (!data) return;
    data->state = 1;
    data->behavior = kGkButtonPush;
    data->clientWidth = width();
    data->clientHeight = height();
    SetSlot0(data);
  }

  ~ButtonWindow() override {
    ButtonData* data = Data();
    if (!data) return;
    // The timer thread must be gone before the record it reads is freed.
    StopRepeat(data);
    SetSlot0(nullptr);
    delete data;
  }

  ButtonData* Data() const { return static_cast<ButtonData*>(Slot0()); }

  void StopRepeat(ButtonData* data) {
    if (data->repeatTimer) data->repeatTimer->Kill();
    data->timerId = 0;
  }

 protected:
  QWidget* OwnerWindow() const override {
    ButtonData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void OnSize(int width, int height) override {
    ButtonData* data = Data();
    data->clientHeight = height;
    data->clientWidth = width;
    Reset(data);
  }

  void OnSysColorChange() override { Reset(Data()); }

  void mousePressEvent(QMouseEvent* event) override {
    SyncSize();
    ButtonData* data = Data();
    if (!data || event->button() != Qt::LeftButton) return;
    // A callback may destroy the button (closing its panel); nothing is touched after that.
    QPointer<ButtonWindow> self(this);
    TakeFocus();
    data->focus = 1;
    if (data->prePress) data->prePress(data->id);
    if (!self) return;
    if (data->behavior == kGkButtonToggle) {
      // A toggle button that is down comes up at the release, not now.
      if (data->state == 0) {
        data->state = 1;
      } else {
        data->state = 0;
        gkRepaint(this);
      }
    } else {
      data->state = 0;
      gkRepaint(this);
    }
    if (data->postPress) data->postPress(data->id);
    if (!self) return;
    StopRepeat(data);
    if (data->scrollInterval > 0) StartRepeat(data);
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    SyncSize();
    ButtonData* data = Data();
    if (!data || event->button() != Qt::LeftButton) return;
    // The button does not capture the mouse: a release elsewhere leaves its state alone, but
    // it does end an auto-repeat, which would otherwise run until the next click.
    if (!rect().contains(event->position().toPoint())) {
      StopRepeat(data);
      return;
    }
    if (!data->focus) return;
    QPointer<ButtonWindow> self(this);
    TakeFocus();
    if (data->preRelease) data->preRelease(data->id);
    if (!self) return;
    if (data->behavior == kGkButtonPush) {
      data->state = 1;
      gkRepaint(this);
    } else if (data->state == 0 || data->state == 1) {
      gkRepaint(this);
    }
    StopRepeat(data);
    if (data->postRelease) data->postRelease(data->id);
  }

  void focusInEvent(QFocusEvent*) override {
    if (ButtonData* data = Data()) data->focus = 1;
  }

  void focusOutEvent(QFocusEvent* event) override {
    ButtonData* data = Data();
    if (!data || event->reason() == Qt::PopupFocusReason) return;
    data->focus = 0;
    if (data->behavior == kGkButtonPush && data->state == 0) {
      data->state = 1;
      gkRepaint(this);
    }
  }

  void paintEvent(QPaintEvent*) override {
    SyncSize();
    ButtonData* data = Data();
    if (!data) return;
    QPainter painter(this);
    const int slot = data->state;
    if (ValidSlot(slot) && !data->graphics[slot].isNull()) {
      const QPixmap& bitmap = data->graphics[slot];
      const GkCutArea& cut = data->cut[slot];
      if (cut.enabled) {
        GkBlit(painter, 0, 0, bitmap, cut.x, cut.y, cut.width, cut.height);
      } else {
        const QSize size = GkBitmapSize(bitmap);
        GkBlit(painter, 0, 0, bitmap, 0, 0, std::min(width(), size.width()),
               std::min(height(), size.height()));
      }
    } else if (ValidSlot(slot) && data->sourceWindows[slot]) {
      // The source window's own surface (without its children, which may include us).
      QWidget* source = data->sourceWindows[slot];
      QPixmap surface(source->size() * devicePixelRatio());
      surface.setDevicePixelRatio(devicePixelRatio());
      surface.fill(Qt::black);
      source->render(&surface, QPoint(), QRegion(), QWidget::DrawWindowBackground);
      const GkCutArea& cut = data->cut[slot];
      if (cut.enabled) {
        GkBlit(painter, 0, 0, surface, cut.x, cut.y, cut.width, cut.height);
      } else {
        GkBlit(painter, 0, 0, surface, 0, 0, width(), height());
      }
    } else {
      painter.fillRect(rect(), Qt::black);
    }
  }

 private:
  void StartRepeat(ButtonData* data) {
    if (!data->repeatTimer) data->repeatTimer = std::make_unique<PeriodicTimer>();
    const uint32_t id = data->repeatTimer->Start(
        static_cast<uint32_t>(data->scrollInterval), [this](uint32_t timerId) {
          // Timer thread: hand the tick to the window thread.
          QMetaObject::invokeMethod(
              this, [this, timerId] { OnRepeatTick(timerId); }, Qt::QueuedConnection);
        });
    if (id == 0) {
      Trace("ClassProc BitmapButton: timeSetEvent() failed to create timerID_Scroll\n");
      return;
    }
    data->timerId = id;
  }

  void OnRepeatTick(uint32_t timerId) {
    ButtonData* data = Data();
    // A tick posted before the timer stopped is stale.
    if (!data || timerId == 0 || data->timerId != timerId) return;
    if (data->postPress) data->postPress(data->id);
  }

  void Reset(ButtonData* data) {
    StopRepeat(data);
    data->focus = 0;
    data->graphicsCount = 0;
    for (int i = 0; i < kGkButtonSlots; ++i) {
      data->graphics[i] = QPixmap();
      data->sourceWindows[i] = nullptr;
      data->cut[i] = GkCutArea{};
    }
    data->name[0] = '\0';
    data->scrollInterval = 0;
  }
};

ButtonData* Record(QWidget* window, const char* op) {
  return GkRecord<ButtonData>(window, op);
}

}  // namespace

QWidget* GkNewBitmapButton(QWidget* parent) {
  auto* window = new ButtonWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkButton_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count) {
  ButtonData* data = Record(window, "gkButton_SetGraphics");
  if (!data) return 0;
  data->graphicsCount = count;
  const int n = bitmaps ? std::clamp(count, 0, kGkButtonSlots) : 0;
  for (int i = 0; i < n; ++i) data->graphics[i] = bitmaps[i];
  window->update();
  return 1;
}

const QPixmap* gkButton_GetGraphics(QWidget* window, int* count) {
  ButtonData* data = Record(window, "gkButton_GetGraphics");
  if (!data) return nullptr;
  if (count) *count = data->graphicsCount;
  return data->graphics;
}

int gkButton_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height) {
  ButtonData* data = Record(window, "gkButton_SetBitmapCutArea");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot] = GkCutArea{1, x, y, width, height};
  window->update();
  return 1;
}

int gkButton_SetBitmapCutArea2(QWidget* window, int slot, QWidget* other) {
  ButtonData* data = Record(window, "gkButton_SetBitmapCutArea2");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot] = GkCutAreaFromWindow(other);
  window->update();
  return 1;
}

int gkButton_SetBitmapCutAreaSelf(QWidget* window, int slot) {
  ButtonData* data = Record(window, "gkButton_SetBitmapCutAreaSelf");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot] = GkCutAreaFromWindow(window);
  window->update();
  return 1;
}

int gkButton_EnableBitmapCutArea(QWidget* window, int slot, int flag) {
  ButtonData* data = Record(window, "gkButton_EnableBitmapCutArea");
  if (!data || !ValidSlot(slot)) return 0;
  data->cut[slot].enabled = flag;
  window->update();
  return 1;
}

int gkButton_SetBitmapSourceWindow(QWidget* window, int slot, QWidget* source) {
  ButtonData* data = Record(window, "gkButton_SetBitmapSourceWindow");
  if (!data || !ValidSlot(slot)) return 0;
  data->sourceWindows[slot] = source;
  window->update();
  return 1;
}

int gkButton_SetBehavior(QWidget* window, int32_t id, int behavior, GkCallback press,
                         GkCallback release) {
  ButtonData* data = Record(window, "gkButton_SetBehavior");
  if (!data) return 0;
  data->owner = window->parentWidget();
  data->id = id;
  data->behavior = behavior;
  data->postPress = press;
  data->postRelease = release;
  return 1;
}

int gkButton_SetCallbacksPrePixUpdate(QWidget* window, GkCallback press, GkCallback release) {
  ButtonData* data = Record(window, "gkButton_SetCallbacksPrePixUpdate");
  if (!data) return 0;
  data->prePress = press;
  data->preRelease = release;
  return 1;
}

int gkButton_SetCallbacksPostPixUpdate(QWidget* window, GkCallback press, GkCallback release) {
  ButtonData* data = Record(window, "gkButton_SetCallbacksPostPixUpdate");
  if (!data) return 0;
  data->postPress = press;
  data->postRelease = release;
  return 1;
}

int gkButton_SetName(QWidget* window, const char* name) {
  ButtonData* data = Record(window, "gkButton_SetName");
  if (!data) return 0;
  GkCopyName(data->name, sizeof data->name, name);
  return 1;
}

void gkButton_SetScrollInterval(QWidget* window, int milliseconds) {
  ButtonData* data = GkRecordQuiet<ButtonData>(window);
  if (data) data->scrollInterval = std::max(0, milliseconds);
}

int gkButton_GetState(QWidget* window) {
  ButtonData* data = Record(window, "gkButton_GetState");
  return data ? data->state : 0;
}

void gkButton_SetState(QWidget* window, int state) {
  ButtonData* data = Record(window, "gkButton_SetState");
  if (!data) return;
  data->state = state;
  gkRepaint(window);
}

const char* gkButton_GetName(QWidget* window) {
  ButtonData* data = GkRecordQuiet<ButtonData>(window);
  return data ? data->name : "";
}

bool gkButton_IsRepeating(QWidget* window) {
  ButtonData* data = GkRecordQuiet<ButtonData>(window);
  return data && data->timerId != 0 && data->repeatTimer && data->repeatTimer->Running();
}
