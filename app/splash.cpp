#include "app/splash.h"

#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/app_state.h"
#include "app/cdplayer_panel.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "diagnostics/diagnostics.h"
#include "platform/cpu/processor.h"
#include "resources/skin/skin.h"
#include "widgets/framework.h"

namespace {

class SplashDialog : public QDialog {
 public:
  SplashDialog(QWidget* owner, int templateId) : QDialog(owner), templateId_(templateId) {
    setObjectName(QString::number(templateId));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    picture_ = LoadSkinBitmap(kSplashPictureBitmap);
    if (templateId == kSplashBadgeTemplate) badge_ = LoadSkinBitmap(kSplashBadgeBitmap);
    setFixedSize(picture_.isNull() ? QSize(432, 288) : picture_.deviceIndependentSize().toSize());
  }
  // The About box opens from a menu: the release of the key or click that chose it is not one
  // the box has seen pressed, and leaves it open.
  void IgnoreUnpressedReleases() { ignoreUnpressed_ = true; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    GkBlit(painter, 0, 0, picture_, 0, 0, width(), height());
    if (!badge_.isNull()) {
      const QSize size = GkBitmapSize(badge_);
      GkBlit(painter, width() - size.width(), (height() - size.height()) / 2, badge_, 0, 0,
             size.width(), size.height());
    }
  }
  void keyPressEvent(QKeyEvent*) override {
    pressed_ = true;
    End();
  }
  void keyReleaseEvent(QKeyEvent*) override {
    if (pressed_ || !ignoreUnpressed_) End();
  }
  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = true;
    EndOnButton(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (pressed_ || !ignoreUnpressed_) EndOnButton(event);
  }
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    End();
  }

 private:
  void EndOnButton(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) End();
  }
  void End() {
    if (ended_) return;
    ended_ = true;
    done(0);
    EndSplash(this);
  }

  int templateId_;
  QPixmap picture_;
  QPixmap badge_;
  bool ended_ = false;
  bool pressed_ = false;
  bool ignoreUnpressed_ = false;
};

}  // namespace

int SplashTemplateForProcessor() {
  return processorState.vectorClass.load() == 2 ? kSplashBadgeTemplate : kSplashTemplate;
}

QWidget* CreateSplash(QWidget* owner, int templateId, bool modal) {
  InitSkinResources();
  auto* splash = new SplashDialog(owner, templateId);
  if (owner) {
    const QRect frame = owner->isVisible() ? owner->geometry() : QRect(QPoint(0, 0), owner->size());
    splash->move(frame.center() - QPoint(splash->width() / 2, splash->height() / 2));
  }
  if (modal) {
    splash->IgnoreUnpressedReleases();
    splash->exec();
    return nullptr;
  }
  splash->show();
  splash->raise();
  splash->activateWindow();
  return splash;
}

void EndSplash(QWidget* splash) {
  if (!splash) return;
  QWidget* owner = splash->parentWidget();
  splash->hide();
  splash->deleteLater();
  // The keyboard goes back to the panel.
  if (owner && owner->isVisible()) owner->activateWindow();
}

void SplashScreenShutdownProc() {
  if (app.splash) {
    EndSplash(app.splash);
    app.splash = nullptr;
  }
  RepaintLyricsPanel(CdPlayerPanel());
  if (!app.mainWindow || !app.mainWindow->KillWindowTimer(kTimerSplash))
    Trace("SplashScreenShutdownProc: KillTimer(IDD_ABOUT) failed\n");
}
