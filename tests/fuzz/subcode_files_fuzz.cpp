// Fuzzes the .cdg and .sub readers and the store an image drive answers from: the first byte
// picks the format and where the file starts on the disc, the rest is the file. Packs and raw
// data are then asked for across and beyond the file, and raw data is de-interleaved with its
// parity checked, as a drive's raw answer would be.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cd/subcode_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const SubcodeFormat format = data[0] & 1 ? SubcodeFormat::kRaw : SubcodeFormat::kPacks;
  const int32_t first = (data[0] >> 1) % 8;
  SubcodeFile file;
  std::string error, warning;
  if (!ParseSubcodeBytes(format, data + 1, size - 1, &file.bytes, &error, &warning)) {
    if (error.empty()) std::abort();
    return 0;
  }
  // Whole sectors, and no more than a pack or sector of the file left out.
  if (file.bytes.size() % kSubcodeBytes != 0 || file.bytes.size() + kSubcodeBytes < size - 1)
    std::abort();
  file.format = format;
  file.firstSector = first;
  file.sectorLimit = data[0] >> 4 ? data[0] >> 4 : -1;
  SubcodeStore store;
  store.Add(file);
  const int32_t sectors = file.Sectors() + 12;
  std::vector<uint8_t> packs(static_cast<size_t>(sectors) * kSubcodeBytes);
  std::vector<uint8_t> raw(packs.size());
  store.Packs(-3, sectors, packs.data());
  store.Raw(-3, sectors, raw.data());
  std::vector<uint8_t> back(packs.size());
  ParityCounts counts;
  const size_t out =
      RawToPackSectors(raw.data(), static_cast<size_t>(sectors), back.data(), &counts);
  if (out != static_cast<size_t>(sectors) - 2 || counts.good < 0 || counts.bad < 0) std::abort();
  return 0;
}
