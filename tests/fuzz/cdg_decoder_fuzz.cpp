// Fuzzes the CD+G decoder: arbitrary bytes as a stream of 24-byte packs, decoded pack by pack,
// then the shown area drawn. The screen must stay inside its colours and offsets.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "cd/cdg_decoder.h"
#include "platform/cd/subcode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto decoder = std::make_unique<CdgDecoder>();
  static std::vector<uint32_t> shown(kCdgVisibleWidth * kCdgVisibleHeight);
  ResetCdgDecoder(decoder.get());
  const size_t packs = size / kPackBytes;
  for (size_t i = 0; i < packs; ++i) {
    DecodeCdgPack(decoder.get(), data + i * kPackBytes);
  }
  CdgVisibleArgb(decoder->screen, shown.data());
  const CdgScreen& s = decoder->screen;
  if (s.hOffset < 0 || s.hOffset > 5 || s.vOffset < 0 || s.vOffset > 11) std::abort();
  if (s.transparent < -1 || s.transparent > 15) std::abort();
  for (int y = 0; y < kCdgHeight; y += 7)  // a sample of rows: every pixel is costly here
    for (int x = 0; x < kCdgWidth; ++x)
      if (s.pixels[y][x] > 15) std::abort();
  if (decoder->packs != static_cast<int64_t>(packs) || decoder->applied > decoder->packs)
    std::abort();
  return 0;
}
