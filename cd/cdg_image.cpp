#include "cd/cdg_image.h"

#include <memory>

#include "cd/cdg_stream.h"

QImage CdgScreenImage(const CdgScreen& screen) {
  QImage image(kCdgVisibleWidth, kCdgVisibleHeight, QImage::Format_ARGB32);
  for (int y = 0; y < kCdgVisibleHeight; ++y)
    CdgVisibleArgbRow(screen, y, reinterpret_cast<uint32_t*>(image.scanLine(y)));
  return image;
}

QImage CurrentCdgImage() {
  auto screen = std::make_unique<CdgScreen>();
  if (!CurrentCdgScreen(screen.get())) return QImage();
  return CdgScreenImage(*screen);
}
