#include "app/cdg_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cd/cdg_decoder.h"
#include "cd/cdg_stream.h"
#include "diagnostics/diagnostics.h"

namespace {

bool TracePaints() {
  static const bool on = [] {
    const char* env = std::getenv("SORN_TRACE_CDG");
    return env && env[0] == '1';
  }();
  return on;
}

bool SameScreen(const CdgScreen& a, const CdgScreen& b) {
  // What is shown: the pixels, the colours, the offsets and the transparent colour.
  return std::memcmp(a.pixels, b.pixels, sizeof a.pixels) == 0 &&
         std::memcmp(a.colours, b.colours, sizeof a.colours) == 0 && a.hOffset == b.hOffset &&
         a.vOffset == b.vOffset && a.transparent == b.transparent;
}

}  // namespace

CdgView::CdgView(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags),
      screen_(std::make_unique<CdgScreen>()),
      taken_(std::make_unique<CdgScreen>()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setObjectName("CdgView");
}

CdgView::~CdgView() = default;

bool CdgView::Follow(int64_t heardMs) {
  int64_t shown = -1;
  if (!CdgScreenAt(CdgPackOfMs(heardMs), taken_.get(), &shown)) {
    // Nothing of this stream yet: black.
    if (pack_ >= 0) update();
    pack_ = -1;
    return false;
  }
  heardMs_ = heardMs;
  const bool first = pack_ < 0;
  pack_ = shown;
  if (first || !SameScreen(*taken_, *screen_)) {
    std::swap(screen_, taken_);
    stale_ = true;
    update();
  }
  return true;
}

QRect CdgView::ImageRect() const {
  // 3:2, as large as fits.
  const int w = std::min(width(), height() * kCdgVisibleWidth / kCdgVisibleHeight);
  const int h = w * kCdgVisibleHeight / kCdgVisibleWidth;
  return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

void CdgView::SetInputHandlers(std::function<void(int key)> onKey, std::function<void()> onClick) {
  onKey_ = std::move(onKey);
  onClick_ = std::move(onClick);
}

void CdgView::Rescale(const QSize& size) {
  scaled_ = QImage(size, QImage::Format_RGB32);
  const int w = size.width(), h = size.height();
  std::vector<int> columns(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) columns[x] = CdgScreenPixelOf(x, w, kCdgVisibleWidth);
  uint32_t row[kCdgVisibleWidth];
  int rowRead = -1;
  for (int y = 0; y < h; ++y) {
    auto* out = reinterpret_cast<uint32_t*>(scaled_.scanLine(y));
    const int source = CdgScreenPixelOf(y, h, kCdgVisibleHeight);
    if (source == rowRead) {
      std::memcpy(out, scaled_.constScanLine(y - 1), static_cast<size_t>(w) * 4);
      continue;
    }
    CdgVisibleArgbRow(*screen_, source, row);
    for (int x = 0; x < w; ++x) {
      const uint32_t argb = row[columns[x]];
      out[x] = (argb >> 24) ? argb : 0xFF000000u;  // the transparent colour shows the black
    }
    rowRead = source;
  }
  stale_ = false;
}

void CdgView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (pack_ < 0) return;
  const QRect image = ImageRect();
  if (image.isEmpty()) return;
  const qreal ratio = devicePixelRatioF();
  const QSize device(qRound(image.width() * ratio), qRound(image.height() * ratio));
  if (stale_ || scaled_.size() != device) Rescale(device);
  scaled_.setDevicePixelRatio(ratio);
  painter.drawImage(image.topLeft(), scaled_);
  if (TracePaints()) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    const QPoint at = mapToGlobal(image.topLeft());
    Trace("CdgView: painted pack %lld heard %lld ms at %lld us, image %d,%d %dx%d\n",
          static_cast<long long>(pack_), static_cast<long long>(heardMs_),
          static_cast<long long>(us), at.x(), at.y(), image.width(), image.height());
  }
}

void CdgView::keyPressEvent(QKeyEvent* event) {
  if (!onKey_) return QWidget::keyPressEvent(event);
  onKey_(event->key());
  event->accept();
}

void CdgView::mousePressEvent(QMouseEvent* event) {
  if (!onClick_ || event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  onClick_();
  event->accept();
}
