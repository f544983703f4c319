#include "platform/cd/subcode_files.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>

namespace {

// Sectors that are read beyond a request: de-interleaving needs the two after it,
// interleaving the two before it.
constexpr int32_t kContext = 2;

}  // namespace

bool ParseSubcodeBytes(SubcodeFormat format, const uint8_t* data, size_t size,
                       std::vector<uint8_t>* sectors, std::string* error, std::string* warning) {
  const size_t unit = format == SubcodeFormat::kPacks ? kPackBytes : kSubcodeBytes;
  if (size == 0) {
    *error = "is empty";
    return false;
  }
  if (size > static_cast<size_t>(kMaxDiscSectors) * kSubcodeBytes) {
    *error = "is larger than a CD's sub-channel (" + std::to_string(size) + " bytes)";
    return false;
  }
  const size_t whole = size / unit * unit;
  if (whole == 0) {
    *error = "is shorter than one " + std::string(unit == kPackBytes ? "pack" : "sector");
    return false;
  }
  if (whole != size && warning) {
    *warning = "ends inside a " + std::string(unit == kPackBytes ? "pack" : "sector") + ": " +
               std::to_string(size - whole) + " bytes at the end are left out";
  }
  const size_t padded = (whole + kSubcodeBytes - 1) / kSubcodeBytes * kSubcodeBytes;
  sectors->assign(padded, 0);
  std::memcpy(sectors->data(), data, whole);
  return true;
}

bool LoadSubcodeFile(const std::string& path, SubcodeFormat format, int32_t firstSector,
                     SubcodeFile* file, std::string* error, std::string* warning) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  const std::streamoff size = in.tellg();
  if (size < 0 || size > static_cast<std::streamoff>(kMaxDiscSectors) * kSubcodeBytes) {
    *error = path + " is larger than a CD's sub-channel";
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    *error = "cannot read " + path;
    return false;
  }
  SubcodeFile parsed;
  std::string reason, note;
  if (!ParseSubcodeBytes(format, bytes.data(), bytes.size(), &parsed.bytes, &reason, &note)) {
    *error = path + " " + reason;
    return false;
  }
  if (!note.empty() && warning) *warning = path + " " + note;
  parsed.format = format;
  parsed.path = path;
  parsed.firstSector = firstSector;
  *file = std::move(parsed);
  return true;
}

void SubcodeFile::Copy(int64_t local, int64_t count, uint8_t* out) const {
  if (source) {
    source->Read(local, count, out);
    return;
  }
  std::memcpy(out, bytes.data() + local * kSubcodeBytes,
              static_cast<size_t>(count) * kSubcodeBytes);
}

void SubcodeStore::Add(SubcodeFile file) {
  files_.push_back(std::move(file));
}

const SubcodeFile* SubcodeStore::FileAt(int32_t sector) const {
  for (const SubcodeFile& f : files_) {
    int64_t end = static_cast<int64_t>(f.firstSector) + f.Sectors();
    if (f.sectorLimit >= 0) end = std::min<int64_t>(end, int64_t{f.firstSector} + f.sectorLimit);
    if (sector >= f.firstSector && sector < end) return &f;
  }
  return nullptr;
}

// Sector by sector: each comes from the file covering it, in that file's own form, turned into
// the form asked for with the neighbouring sectors of the same file (fill: the sector's 96
// bytes of `form` from sector `local` of the file).
template <typename Fill>
void SubcodeStore::EachSector(int32_t sector, int32_t count, uint8_t* out, Fill fill) const {
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* target = out + static_cast<size_t>(i) * kSubcodeBytes;
    std::memset(target, 0, kSubcodeBytes);
    const int64_t s = int64_t{sector} + i;
    if (s < 0 || s > INT32_MAX) continue;
    if (const SubcodeFile* f = FileAt(static_cast<int32_t>(s)))
      fill(*f, s - f->firstSector, target);
  }
}

void SubcodeStore::Packs(int32_t sector, int32_t count, uint8_t* out) const {
  EachSector(sector, count, out, [](const SubcodeFile& f, int64_t local, uint8_t* target) {
    if (f.format == SubcodeFormat::kPacks) {
      f.Copy(local, 1, target);
      return;
    }
    uint8_t raw[(1 + kContext) * kSubcodeBytes] = {};
    const int64_t available = std::min<int64_t>(1 + kContext, f.Sectors() - local);
    f.Copy(local, available, raw);
    RawToPackSectors(raw, 1 + kContext, target, nullptr);
  });
}

void SubcodeStore::Raw(int32_t sector, int32_t count, uint8_t* out) const {
  EachSector(sector, count, out, [](const SubcodeFile& f, int64_t local, uint8_t* target) {
    if (f.format == SubcodeFormat::kRaw) {
      f.Copy(local, 1, target);
      return;
    }
    // The packs of this sector and the seven before it, which reach into it.
    uint8_t packs[(1 + kContext) * kSubcodeBytes] = {};
    for (int32_t k = 0; k <= kContext; ++k) {
      const int64_t from = local - kContext + k;
      if (from >= 0) f.Copy(from, 1, packs + k * kSubcodeBytes);
    }
    constexpr int kHistory = kInterleavePacks - 1;
    const uint8_t* history = packs + kContext * kSubcodeBytes - kHistory * kPackBytes;
    InterleaveRw(packs + kContext * kSubcodeBytes, kPacksPerSector, history, target);
  });
}
