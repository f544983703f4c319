#include "cd/cdg_image.h"

QImage CdgScreenImage(const CdgScreen& screen) {
  QImage image(kCdgVisibleWidth, kCdgVisibleHeight, QImage::Format_ARGB32);
  for (int y = 0; y < kCdgVisibleHeight; ++y)
    CdgVisibleArgbRow(screen, y, reinterpret_cast<uint32_t*>(image.scanLine(y)));
  return image;
}
