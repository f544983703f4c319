// Sub-channel data stored beside a disc image, and the store an image drive answers its
// sub-channel reads from.
//
//   - .cdg: the packs of one track (or of the disc from its first sector), 24 bytes each, four
//     a sector, as karaoke collections store them beside the audio;
//   - .sub: raw P-W of every sector of the image from its first, 96 bytes a sector, as
//     CloneCD-style images store it beside the data.
// A file is read whole. A file larger than a CD can hold, or empty, is refused with a reason;
// a file that ends inside a pack (.cdg) or sector (.sub) gives its whole packs or sectors and
// a warning that names the bytes left over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cd/subcode.h"

inline constexpr int64_t kMaxDiscSectors = 100 * 60 * 75;  // longer than any CD

enum class SubcodeFormat {
  kPacks,  // .cdg
  kRaw,    // .sub
};

// Sectors read on demand rather than held whole: the raw P-W an image stores with its audio.
class SubcodeSource {
 public:
  virtual ~SubcodeSource() = default;
  virtual int32_t Sectors() const = 0;
  // count sectors from local on (within Sectors()), 96 bytes each; what cannot be read comes
  // out zero.
  virtual void Read(int64_t local, int64_t count, uint8_t* out) const = 0;
};

struct SubcodeFile {
  SubcodeFormat format = SubcodeFormat::kPacks;
  std::string path;
  int32_t firstSector = 0;     // disc sector (logical block) of the file's first sector
  int32_t sectorLimit = -1;    // sectors the file may cover from firstSector on; -1: no limit
  std::vector<uint8_t> bytes;  // whole sectors: 96 bytes each, packs or raw P-W
  std::shared_ptr<const SubcodeSource> source;  // when set, the sectors instead of bytes
  int32_t Sectors() const {
    return source ? source->Sectors() : static_cast<int32_t>(bytes.size() / kSubcodeBytes);
  }
  // count sectors from local on (within Sectors()), 96 bytes each.
  void Copy(int64_t local, int64_t count, uint8_t* out) const;
};

// The whole sectors of a file's bytes (a .cdg's last sector filled up with empty packs).
// False with the reason in *error for an empty or oversized file; *warning (may be null) says
// what was left over at the end.
bool ParseSubcodeBytes(SubcodeFormat format, const uint8_t* data, size_t size,
                       std::vector<uint8_t>* sectors, std::string* error, std::string* warning);
// Reads and parses a file; the reasons name the file.
bool LoadSubcodeFile(const std::string& path, SubcodeFormat format, int32_t firstSector,
                     SubcodeFile* file, std::string* error, std::string* warning);

// The sub-channel of a disc, from any number of files; where files cover the same sector the
// first one added wins. Sectors no file covers read as empty (all zero).
class SubcodeStore {
 public:
  void Add(SubcodeFile file);
  bool Empty() const { return files_.empty(); }
  const std::vector<SubcodeFile>& Files() const { return files_; }

  // The packs of sectors [sector, sector + count), 96 bytes a sector. Raw data is
  // de-interleaved with its parity checked (packs that cannot be mended come out empty).
  void Packs(int32_t sector, int32_t count, uint8_t* out) const;
  // Raw P-W of the same sectors (packs are interleaved; their P and Q bits are zero).
  void Raw(int32_t sector, int32_t count, uint8_t* out) const;

 private:
  // The file covering a sector, or null.
  const SubcodeFile* FileAt(int32_t sector) const;
  template <typename Fill>
  void EachSector(int32_t sector, int32_t count, uint8_t* out, Fill fill) const;
  std::vector<SubcodeFile> files_;
};
