// The CD+G screen of the track being played, in a widget of its own: the shown 288 x 192 area
// scaled to the widget with its aspect (3:2) kept, centred on black, with sharp pixels (each
// device pixel takes the screen pixel under it, no smoothing). The lyrics area shows it in
// place of the lyrics text, and full screen shows it as a window over the whole screen.
//
// With SORN_TRACE_CDG=1 every paint is traced ("CdgView: painted pack P heard H ms at T us,
// image X,Y WxH", T the wall clock, the image in screen coordinates) so that a test can compare
// a screenshot with the screen at that position.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

struct CdgScreen;

class CdgView : public QWidget {
 public:
  explicit CdgView(QWidget* parent, Qt::WindowFlags flags = {});
  ~CdgView() override;

  // Takes the screen at the position heardMs (milliseconds into the track) and repaints when
  // it differs from the one shown. False while the stream has no screen.
  bool Follow(int64_t heardMs);
  // The pack position shown, -1 before the first screen.
  int64_t ShownPack() const { return pack_; }
  // Where the screen is drawn in the widget.
  QRect ImageRect() const;

  // The full-screen window hands keys and clicks on.
  void SetInputHandlers(std::function<void(int key)> onKey, std::function<void()> onClick);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Rescale(const QSize& deviceSize);

  std::unique_ptr<CdgScreen> screen_;
  std::unique_ptr<CdgScreen> taken_;
  QImage scaled_;  // the screen at the image's size in device pixels
  bool stale_ = true;
  int64_t pack_ = -1;
  int64_t heardMs_ = 0;
  std::function<void(int)> onKey_;
  std::function<void()> onClick_;
};

// The column (row) of the screen a device pixel column (row) x of an image `size` wide (high)
// shows: nearest neighbour, screenSize screen pixels over size device pixels.
inline int CdgScreenPixelOf(int x, int size, int screenSize) {
  return static_cast<int>(static_cast<int64_t>(x) * screenSize / size);
}
