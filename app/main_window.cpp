#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QPointer>
#include <QTimerEvent>
#include <atomic>
#include <chrono>

#include "app/cdplayer_panel.h"
#include "app/lyrics_panel.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "resources/skin/skin.h"
#include "settings/settings.h"
#include "widgets/bitmap_button.h"
#include "widgets/framework.h"
#include "widgets/slider.h"
#include "widgets/text_pane.h"

namespace {

class AppMessageEvent : public QEvent {
 public:
  AppMessageEvent(int message, int param) : QEvent(Type()), message_(message), param_(param) {}
  static QEvent::Type Type() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  int message_;
  int param_;
};

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
std::function<int64_t()> keyboardClock = SteadyMs;

// The panel full screen: scaled to fit with its aspect kept, keys to the main window's map.
class ScaledPanelView : public QGraphicsView {
 public:
  ScaledPanelView(MainWindow* owner, QGraphicsScene* scene) : QGraphicsView(scene), owner_(owner) {
    setWindowTitle("Sorn Karaoke");
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(Qt::black);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
    setAlignment(Qt::AlignCenter);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QGraphicsView::resizeEvent(event);
    if (!scene()->items().isEmpty()) fitInView(scene()->itemsBoundingRect(), Qt::KeepAspectRatio);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (owner_) owner_->HandleKey(event->key());
    event->accept();
  }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    PostQuitMessage(0);
  }

 private:
  QPointer<MainWindow> owner_;
};

}  // namespace

void PostAppMessage(MainWindow* window, int message, int param) {
  if (window) QCoreApplication::postEvent(window, new AppMessageEvent(message, param));
}

namespace {
std::atomic<int> quitPosted{0};
std::atomic<int> quitCode{0};
std::atomic<int> quitDelivered{0};
}  // namespace

void PostQuitMessage(int code) {
  // The first quit wins. A loop nested in a box may take the event and end itself; the main
  // loop then learns of the quit from QuitPosted.
  int expected = 0;
  if (!quitPosted.compare_exchange_strong(expected, 1)) return;
  quitCode.store(code);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [code] {
        quitDelivered.store(1);
        QCoreApplication::exit(code);
      },
      Qt::QueuedConnection);
}

bool QuitDelivered() {
  return quitDelivered.load() != 0;
}

bool QuitPosted(int* code) {
  if (quitPosted.load() == 0) return false;
  if (code) *code = quitCode.load();
  return true;
}

void ResetQuitMessage() {
  quitPosted.store(0);
  quitCode.store(0);
  quitDelivered.store(0);
}

void SetKeyboardClock(std::function<int64_t()> nowMs) {
  keyboardClock = nowMs ? std::move(nowMs) : SteadyMs;
}

MainWindow::MainWindow() {
  setObjectName("KARAOKE");
  setWindowTitle("Sorn Karaoke");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
}

MainWindow::~MainWindow() {
  delete scaledView_;
}

void MainWindow::SetPanel(QWidget* panel) {
  panel_ = panel;
  if (!panel) return;
  panel->installEventFilter(this);
  panel->move(0, 0);
  setFixedSize(panel->size());
}

bool MainWindow::SetWindowTimer(int id, int periodMs, std::function<void()> callback) {
  WindowTimer& t = timers_[id];
  t.callback = std::move(callback);
  t.timer.start(periodMs, this);
  return t.timer.isActive();
}

bool MainWindow::KillWindowTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end() || !it->second.timer.isActive()) return false;
  it->second.timer.stop();
  timers_.erase(it);
  return true;
}

bool MainWindow::WindowTimerSet(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.timer.isActive();
}

void MainWindow::timerEvent(QTimerEvent* event) {
  for (auto& [id, t] : timers_) {
    if (t.timer.timerId() == event->timerId()) {
      OnTimer(id);
      return;
    }
  }
  QWidget::timerEvent(event);
}

void MainWindow::OnTimer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end() && it->second.callback) {
    std::function<void()> callback = it->second.callback;
    callback();
    return;
  }
  switch (id) {
    case kTimerCdPoll:
      CdTimerHandler(this);
      break;
    case kTimerPosition:
      OutputCurPos(this);
      LyricsStatusTick();
      break;
    default:
      break;
  }
}

void MainWindow::HandleAppMessage(int message, int param) {
  switch (message) {
    case kAppMsgTimer:
      OnTimer(param);
      break;
    case kAppMsgUser:
      if (param == kMsgLevelMeterTick && panel_) CdPlayerPanelLevelTick(panel_);
      break;
    case kAppMsgMixerChange: {
      if (!mixerState.mixer) break;
      const float level = static_cast<float>(GetVolume_Microphone(
                              mixerState.mixer, &mixerState.table, kPanelMicDestination, 2)) *
                          0.1f;
      if (level != settings.audioMicrophoneLevel) {
        settings.audioMicrophoneLevel = level;
        gkSlider_SetValue(GkGetDlgItem(panel_, kIdMicVolume), level);
      }
      break;
    }
    case kAppMsgMciNotify:
      Trace("notify =%d\n", param);
      break;
    default:
      break;
  }
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == AppMessageEvent::Type()) {
    auto* message = static_cast<AppMessageEvent*>(event);
    HandleAppMessage(message->message_, message->param_);
    return true;
  }
  if (event->type() == GkCommandEvent::EventType()) {
    AppCommand(this, static_cast<GkCommandEvent*>(event)->CommandId(), nullptr, 0);
    return true;
  }
  return QWidget::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The panel: keys its widgets forward and menu commands its popups send come here.
  if (watched == panel_) {
    if (event->type() == QEvent::KeyPress) {
      HandleKey(static_cast<QKeyEvent*>(event)->key());
      return true;
    }
    if (event->type() == GkCommandEvent::EventType()) {
      AppCommand(this, static_cast<GkCommandEvent*>(event)->CommandId(), nullptr, 0);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  HandleKey(event->key());
  event->accept();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  QWidget::mousePressEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  QWidget::mouseReleaseEvent(event);
}

void MainWindow::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the window ends the program through the message loop and the clean-up.
  event->ignore();
  PostQuitMessage(0);
}

void MainWindow::HandleKey(int key) {
  QWidget* panel = panel_;
  auto item = [panel](int id) { return panel ? GkGetDlgItem(panel, id) : nullptr; };
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      SetVocalReduction(panel, soundBlock.karaokeOn.load() == 0);
      break;
    case Qt::Key_Escape:
      PostQuitMessage(0);
      break;
    case Qt::Key_Space:
      KeySpace();
      break;
    case Qt::Key_PageUp:
      gkText_PageUp(item(kIdLyricsText));
      break;
    case Qt::Key_PageDown:
      gkText_PageDown(item(kIdLyricsText));
      break;
    case Qt::Key_Home:
      gkText_Home(item(kIdLyricsText));
      break;
    case Qt::Key_End:
      gkText_End(item(kIdLyricsText));
      break;
    case Qt::Key_Up:
      gkText_ScrollLineUp(item(kIdLyricsText));
      break;
    case Qt::Key_Down:
      gkText_ScrollLineDown(item(kIdLyricsText));
      break;
    case Qt::Key_Left:
    case Qt::Key_Right:
      player.keyboardSeekCountdown = 2;
      StopVoiceRecording(panel, true);
      if (key == Qt::Key_Left) {
        gkSlider_DecrementValue(item(kIdPositionSlider));
      } else {
        gkSlider_IncrementValue(item(kIdPositionSlider));
      }
      break;
    case Qt::Key_Comma:
      StopVoiceRecording(panel, true);
      CdPreviousTrack(this);
      RestartVoicePlayback(panel);
      break;
    case Qt::Key_Period:
      StopVoicePlayback(panel, true);
      StopVoiceRecording(panel, true);
      CdNextTrack(this);
      break;
    default:
      break;
  }
}

void MainWindow::KeySpace() {
  QWidget* play = panel_ ? GkGetDlgItem(panel_, kIdPlay) : nullptr;
  if (player.cdState.load() == CD_PLAY) {
    StopVoicePlayback(panel_, true);
    StopVoiceRecording(panel_, true);
    gkButton_SetState(play, 1);
    SendButtonUp(play);
    CdPlayPause(this);
    pauseTimeMs_ = keyboardClock();
    return;
  }
  const int64_t pausedAt = pauseTimeMs_;
  pauseTimeMs_ = -1;
  if (pausedAt >= 0 && keyboardClock() - pausedAt < kSpaceStopWindowMs) {
    CdStop(this);
  } else {
    SendButtonDown(play);
  }
}

void MainWindow::MoveToOrigin() {
  move(0, 0);
}

void MainWindow::RestoreGeometry(const QRect& normal) {
  move(normal.topLeft());
  resize(normal.size());
}

bool MainWindow::EnterScaledFullScreen() {
  if (!panel_ || scaledView_) return scaledView_ != nullptr;
  SetSkinScale(2);
  ApplyPanelSkin(panel_);
  auto* scene = new QGraphicsScene();
  scaledView_ = new ScaledPanelView(this, scene);
  scene->setParent(scaledView_);
  panel_->setParent(nullptr);
  scene->addWidget(panel_);
  scaledView_->showFullScreen();
  scaledView_->activateWindow();
  scaledView_->setFocus();
  hide();
  return true;
}

void MainWindow::LeaveScaledFullScreen() {
  if (!scaledView_) return;
  const auto items = scaledView_->scene()->items();
  for (QGraphicsItem* item : items) {
    if (auto* proxy = dynamic_cast<QGraphicsProxyWidget*>(item)) proxy->setWidget(nullptr);
  }
  panel_->setParent(this);
  panel_->move(0, 0);
  panel_->show();
  SetSkinScale(1);
  ApplyPanelSkin(panel_);
  scaledView_->hide();
  scaledView_->deleteLater();
  scaledView_ = nullptr;
  show();
  raise();
  activateWindow();
}

void MainWindow::SetFullScreenCheck(bool checked) {
  fullScreenChecked_ = checked;
}

void MainWindow::Restore() {
  QWidget* shown = scaledView_ ? static_cast<QWidget*>(scaledView_) : this;
  if (shown->isMinimized()) shown->showNormal();
  shown->show();
  shown->raise();
  shown->activateWindow();
}
