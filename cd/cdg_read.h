// Reading the R-W sub-channel of the selected drive: READ CD (0xBE) of CD-DA sectors with the
// sub-channel selection the drive offers in its capabilities page (byte 5: bit 2 R-W
// supported, bit 3 R-W de-interleaved and corrected). A drive that corrects delivers packs
// (selection 4); one that does not delivers raw P-W (selection 1), which is de-interleaved and
// checked here; a drive with neither has no CD+G to give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RwForm : int32_t {
  kNone = 0,
  kRaw = 1,    // selection 1: raw P-W, 96 bytes a sector
  kPacks = 4,  // selection 4: de-interleaved and corrected R-W, 96 bytes a sector
};

// What the selected drive offers (asks its capabilities page; kNone when it does not answer).
RwForm SelectedDriveRwForm();

// The READ CD CDB of `count` CD-DA sectors at `lba` with the sub-channel of `form` after each
// sector's audio (withAudio) or alone. Returns its length (12).
int BuildReadSubchannelCdb(int32_t lba, int count, int lun, RwForm form, bool withAudio,
                           uint8_t cdb[16]);

// The packs (96 bytes a sector) of sectors [first, first + count) of the selected drive.
// Raw data is de-interleaved with its parity checked; the two sectors after the range are
// read for it where the disc has them. False with the reason when a read fails.
bool ReadDrivePacks(int32_t first, int32_t count, RwForm form, std::vector<uint8_t>* packs,
                    std::string* error);

// True when any of the packs is a CD+G graphics pack.
bool HasCdgPacks(const uint8_t* packs, size_t packCount);

// Sectors read at a track's start to see whether it carries CD+G.
inline constexpr int32_t kCdgProbeSectors = 150;
