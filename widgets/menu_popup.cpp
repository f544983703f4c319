#include "widgets/menu_popup.h"

#include <QAction>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <new>

namespace {

struct PopupData {
  static constexpr const char* kClassName = "gkmenupopup";
  GkCallback release;
  int32_t id;
  QPointer<QWidget> owner;  // receives the menu's commands
  QPointer<QMenu> menu;     // owned; null once destroyed elsewhere
  int state;                // 1 up, 0 down
  int clientHeight;
  int clientWidth;
  int alignment;
  int graphicsCount;
  QPixmap graphics[kGkPopupSlots];
  GkCutArea cut[kGkPopupSlots];
};

bool ValidSlot(int slot) {
  return slot >= 0 && slot < kGkPopupSlots;
}

// Destroys a held menu once: a menu that its parent menu already destroyed is gone from the
// guarded pointer, and one destroyed here leaves its parent's list by itself.
void DestroyMenu(PopupData* d) {
  if (d->menu) delete d->menu.data();
  d->menu = nullptr;
}

class PopupWindow : public GkWindow {
 public:
  explicit PopupWindow(QWidget* parent) : GkWindow("gkmenupopup", parent) {
    setFocusPolicy(Qt::ClickFocus);
    auto* data = new (std::nothrow) PopupData{};
    if (!data) return;
    data->state = 1;
    data->alignment = kGkMenuRightAlign;
    data->menu = new QMenu();
    data->clientWidth = width();
    data->clientHeight = height();
    SetSlot0(data);
  }

  ~PopupWindow() override {
    PopupData* data = Data();
    if (!data) return;
    DestroyMenu(data);
    SetSlot0(nullptr);
    delete data;
  }

  PopupData* Data() const { return static_cast<PopupData*>(Slot0()); }

 protected:
  QWidget* OwnerWindow() const override {
    PopupData* data = Data();
    return data ? data->owner.data() : nullptr;
  }

  void OnSize(int width, int height) override {
    PopupData* d = Data();
    d->clientHeight = height;
    d->clientWidth = width;
    ClearGraphics(d);
  }

  void OnSysColorChange() override { ClearGraphics(Data()); }

  void mousePressEvent(QMouseEvent* event) override {
    SyncSize();
    PopupData* d = Data();
    if (!d || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) return;
    TakeFocus();
    d->state = 0;
    gkRepaint(this);
    Track(d);
    // The menu took the release of this click; show the hot spot released again.
    if ((d = Data()) && d->state == 0) {
      d->state = 1;
      gkRepaint(this);
    }
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    SyncSize();
    PopupData* d = Data();
    if (!d || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)) return;
    TakeFocus();
    d->state = 1;
    gkRepaint(this);
    if (d->release) d->release(d->id);
  }

  void focusOutEvent(QFocusEvent* event) override {
    PopupData* d = Data();
    // Opening our own menu is not a loss of focus.
    if (!d || event->reason() == Qt::PopupFocusReason) return;
    d->state = 1;
    gkRepaint(this);
  }

  void paintEvent(QPaintEvent*) override {
    SyncSize();
    PopupData* d = Data();
    if (!d || !ValidSlot(d->state)) return;
    const QPixmap& bitmap = d->graphics[d->state];
    if (bitmap.isNull()) return;  // what lies beneath stays visible
    QPainter painter(this);
    const GkCutArea& cut = d->cut[d->state];
    if (cut.enabled) {
      GkBlit(painter, 0, 0, bitmap, cut.x, cut.y, cut.width, cut.height);
    } else {
      GkBlit(painter, 0, 0, bitmap, 0, 0, width(), height());
    }
  }

 private:
  // Opens the menu anchored at the widget's bottom-right corner as the alignment flags say,
  // and hands the chosen command to the owner.
  void Track(PopupData* d) {
    QMenu* menu = d->menu;
    if (!menu || menu->actions().isEmpty()) return;
    const QPoint anchor = mapToGlobal(QPoint(width(), height()));
    const QSize size = menu->sizeHint();
    int x = anchor.x();
    int y = anchor.y();
    if ((d->alignment & kGkMenuCenterAlign) == kGkMenuCenterAlign) {
      x -= size.width() / 2;
    } else if (d->alignment & kGkMenuRightAlign) {
      x -= size.width();
    }
    if (d->alignment & kGkMenuVCenterAlign) {
      y -= size.height() / 2;
    } else if (d->alignment & kGkMenuBottomAlign) {
      y -= size.height();
    }
    QPointer<QWidget> owner = d->owner;
    QPointer<PopupWindow> self = this;
    QAction* chosen = menu->exec(QPoint(x, y));
    if (!self || !chosen || !owner) return;
    QCoreApplication::postEvent(owner, new GkCommandEvent(GkActionCommand(chosen)));
  }

  void ClearGraphics(PopupData* d) {
    d->graphicsCount = 0;
    for (int i = 0; i < kGkPopupSlots; ++i) {
      d->graphics[i] = QPixmap();
      d->cut[i] = GkCutArea{};
    }
  }
};

PopupData* Record(QWidget* window, const char* op) {
  return GkRecord<PopupData>(window, op);
}

QAction* ActionAt(PopupData* d, int position) {
  if (!d->menu) return nullptr;
  const QList<QAction*> actions = d->menu->actions();
  if (position < 0 || position >= actions.size()) return nullptr;
  return actions[position];
}

QAction* NewItem(QMenu* menu, int commandId, const QString& text) {
  auto* action = new QAction(text, menu);
  GkSetActionCommand(action, commandId);
  return action;
}

}  // namespace

void GkSetActionCommand(QAction* action, int commandId) {
  if (action) action->setData(commandId);
}

int GkActionCommand(const QAction* action) {
  return action ? action->data().toInt() : 0;
}

QWidget* GkNewMenuPopUp(QWidget* parent) {
  auto* window = new PopupWindow(parent);
  if (!window->Data()) {
    delete window;
    return nullptr;
  }
  return window;
}

int gkMenuPopUp_SetBehavior(QWidget* window, int32_t id, GkCallback release) {
  PopupData* d = Record(window, "gkMenuPopUp_SetBehavior");
  if (!d) return 0;
  d->owner = window->parentWidget();
  d->id = id;
  d->release = release;
  return 1;
}

int gkMenuPopUp_SetGraphics(QWidget* window, const QPixmap* bitmaps, int count) {
  PopupData* d = Record(window, "gkMenuPopUp_SetGraphics");
  if (!d) return 0;
  const int n = bitmaps && count > 0 ? std::min(count, kGkPopupSlots) : 0;
  d->graphicsCount = bitmaps && count > 0 ? count : 0;
  for (int i = 0; i < kGkPopupSlots; ++i) d->graphics[i] = i < n ? bitmaps[i] : QPixmap();
  gkRepaint(window);
  return 1;
}

int gkMenuPopUp_SetBitmapCutArea(QWidget* window, int slot, int x, int y, int width, int height) {
  PopupData* d = Record(window, "gkMenuPopUp_SetBitmapCutArea");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutArea{1, x, y, width, height};
  window->update();
  return 1;
}

int gkMenuPopUp_SetBitmapCut(QWidget* window, int slot, QWidget* other) {
  PopupData* d = Record(window, "gkMenuPopUp_SetBitmapCut");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutAreaFromWindow(other);
  window->update();
  return 1;
}

int gkMenuPopUp_SetBitmapCutAreaSelf(QWidget* window, int slot) {
  PopupData* d = Record(window, "gkMenuPopUp_SetBitmapCutAreaSelf");
  if (!d || !ValidSlot(slot)) return 0;
  d->cut[slot] = GkCutAreaFromWindow(window);
  window->update();
  return 1;
}

int gkMenuPopUp_SetBitmapSourceWindow(QWidget* window, QWidget*) {
  PopupData* d = Record(window, "gkMenuPopUp_SetBitmapSourceWindow");
  if (!d) return 0;
  gkRepaint(window);
  return 1;
}

int gkMenuPopUp_SetAlignment(QWidget* window, int flags) {
  PopupData* d = Record(window, "gkMenuPopUp_SetAlignment");
  if (!d) return 0;
  d->alignment = flags;
  return 1;
}

int gkMenuPopUp_SetMenu(QWidget* window, QMenu* menu) {
  PopupData* d = Record(window, "gkMenuPopUp_SetMenu");
  if (!d) return 0;
  if (menu && menu == d->menu) return 1;
  DestroyMenu(d);
  if (!menu) {
    Trace("gkMenuPopUp_SetMenu: hMenu=NULL\n");
    return 0;
  }
  d->menu = menu;
  return 1;
}

QMenu* gkMenuPopUp_NewMenu(QWidget* window) {
  PopupData* d = Record(window, "gkMenuPopUp_NewMenu");
  if (!d) return nullptr;
  DestroyMenu(d);
  d->menu = new QMenu();
  return d->menu;
}

QMenu* gkMenuPopUp_GetMenu(QWidget* window) {
  PopupData* d = Record(window, "gkMenuPopUp_GetMenu");
  return d ? d->menu.data() : nullptr;
}

int gkMenuPopUp_AppendItem(QWidget* window, int commandId, const QString& text) {
  PopupData* d = Record(window, "gkMenuPopUp_AppendItem");
  if (!d || !d->menu) return 0;
  d->menu->addAction(NewItem(d->menu, commandId, text));
  return 1;
}

int gkMenuPopUp_InsertItem(QWidget* window, int position, int commandId, const QString& text) {
  PopupData* d = Record(window, "gkMenuPopUp_InsertItem");
  if (!d || !d->menu) return 0;
  QAction* before = ActionAt(d, position);
  d->menu->insertAction(before, NewItem(d->menu, commandId, text));
  return 1;
}

int gkMenuPopUp_RemoveItem(QWidget* window, int position) {
  PopupData* d = Record(window, "gkMenuPopUp_RemoveItem");
  if (!d) return 0;
  QAction* action = ActionAt(d, position);
  if (!action) return 0;
  d->menu->removeAction(action);
  if (action->parent() == d->menu) delete action;
  return 1;
}

int gkMenuPopUp_ModifyItem(QWidget* window, int position, int commandId, const QString& text) {
  PopupData* d = Record(window, "gkMenuPopUp_ModifyItem");
  if (!d) return 0;
  QAction* action = ActionAt(d, position);
  if (!action) return 0;
  action->setText(text);
  GkSetActionCommand(action, commandId);
  gkRepaint(window);
  return 1;
}

int gkMenuPopUp_GetItemString(QWidget* window, int position, char* buffer) {
  PopupData* d = Record(window, "gkMenuPopUp_GetItemString");
  if (!d || !buffer) return 0;
  buffer[0] = '\0';
  QAction* action = ActionAt(d, position);
  if (!action) return 0;
  GkCopyName(buffer, kGkMenuItemTextMax, action->text().toUtf8().constData());
  return static_cast<int>(std::strlen(buffer));
}

int gkMenuPopUp_GetItemInfo(QWidget* window, int position, GkMenuItemInfo* info) {
  PopupData* d = Record(window, "gkMenuPopUp_GetItemInfo");
  if (!d || !info) return 0;
  QAction* action = ActionAt(d, position);
  if (!action) return 0;
  *info = GkMenuItemInfo{};
  info->commandId = GkActionCommand(action);
  info->separator = action->isSeparator();
  info->submenu = QMenu::menuInAction(action) != nullptr;
  info->enabled = action->isEnabled();
  info->checked = action->isChecked();
  GkCopyName(info->text, sizeof info->text, action->text().toUtf8().constData());
  return 1;
}

void gkMenuPopUp_SetState(QWidget* window, int state) {
  PopupData* d = GkRecordQuiet<PopupData>(window);
  if (!d) return;
  d->state = state != 0 ? 1 : 0;
  gkRepaint(window);
}

int gkMenuPopUp_GetState(QWidget* window) {
  PopupData* d = GkRecordQuiet<PopupData>(window);
  return d ? d->state : 0;
}
