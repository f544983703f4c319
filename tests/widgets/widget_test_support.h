// Shared helpers of the widget tests: a shown, active host window that records what reaches
// it (keys, menu commands), solid test bitmaps, pixel reads, and a callback log.
#pragma once

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "widgets/framework.h"

// A top-level panel stand-in: shown, active, painted in a known colour.
class Host : public QWidget {
 public:
  explicit Host(QColor background = QColor(255, 0, 255)) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, background);
    setPalette(p);
    resize(400, 300);
  }
  void ShowActive() {
    show();
    activateWindow();
    (void)QTest::qWaitForWindowActive(this);
  }
  std::vector<int> keys;
  std::vector<int> commands;

 protected:
  void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
  bool event(QEvent* event) override {
    if (event->type() == GkCommandEvent::EventType()) {
      commands.push_back(static_cast<GkCommandEvent*>(event)->CommandId());
      return true;
    }
    return QWidget::event(event);
  }
};

inline QPixmap Solid(int width, int height, QColor color) {
  QPixmap pixmap(width, height);
  pixmap.fill(color);
  return pixmap;
}

// A bitmap whose left and right halves differ, so that a cut's origin can be seen.
inline QPixmap Halves(int width, int height, QColor left, QColor right) {
  QPixmap pixmap(width, height);
  pixmap.fill(right);
  QPainter painter(&pixmap);
  painter.fillRect(0, 0, width / 2, height, left);
  return pixmap;
}

inline QColor PixelOf(QWidget* widget, int x, int y) {
  return widget->grab().toImage().pixelColor(x, y);
}

// Counts paint events, to tell an immediate repaint from none.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Left-button click helpers that keep the press and release apart.
inline void Press(QWidget* w, QPoint at = QPoint(5, 5), Qt::MouseButton b = Qt::LeftButton) {
  QTest::mousePress(w, b, Qt::NoModifier, at);
}
inline void Release(QWidget* w, QPoint at = QPoint(5, 5), Qt::MouseButton b = Qt::LeftButton) {
  QTest::mouseRelease(w, b, Qt::NoModifier, at);
}
inline void Click(QWidget* w, QPoint at = QPoint(5, 5), Qt::MouseButton b = Qt::LeftButton) {
  Press(w, at, b);
  Release(w, at, b);
}

// Callbacks are plain functions: they append to this log.
inline std::vector<std::string>& CallbackLog() {
  static std::vector<std::string> log;
  return log;
}

inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 255, 0);
inline const QColor kBlue(0, 0, 255);
inline const QColor kMagenta(255, 0, 255);
