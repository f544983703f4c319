#include "cd/cdg_read.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cd/aspi_drives.h"
#include "cd/cdg_decoder.h"
#include "platform/cd/cd_device.h"
#include "platform/cd/subcode.h"

namespace {

constexpr int32_t kSectorsPerSubchannelRead = 300;
constexpr int kCapabilitiesPageOffset = 8;  // mode parameter header of MODE SENSE(10)

void PutBigEndian(uint8_t* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

// One READ CD of the selected drive; false with the reason.
bool SendReadCd(int32_t lba, int32_t count, RwForm form, bool withAudio, uint8_t* buffer,
                ScsiRequestBlock* srb) {
  srb->command = SC_EXEC_SCSI_CMD;
  srb->adapter = cdDrives.currentAdapter.load(std::memory_order_acquire);
  srb->target = cdDrives.currentTarget.load(std::memory_order_acquire);
  srb->lun = cdDrives.currentLun.load(std::memory_order_acquire);
  srb->flags = SRB_DIR_IN;
  srb->buffer = buffer;
  srb->bufferLength =
      static_cast<uint32_t>(count * (kSubcodeBytes + (withAudio ? kRawSectorBytes : 0)));
  srb->cdbLength = BuildReadSubchannelCdb(lba, count, srb->lun, form, withAudio, srb->cdb);
  SendASPI32Command(srb);
  return srb->status == SS_COMP;
}

// The sub-channel of `count` sectors into buffer (96 bytes each). A drive that gives it only
// with the audio is asked for both, and the audio is dropped.
bool ReadSubchannel(int32_t lba, int32_t count, RwForm form, uint8_t* buffer, std::string* error) {
  ScsiRequestBlock srb;
  if (SendReadCd(lba, count, form, false, buffer, &srb)) return true;
  if (SenseKey(srb) == kSenseKeyIllegalRequest) {
    constexpr int kBlock = kRawSectorBytes + kSubcodeBytes;
    std::vector<uint8_t> both(static_cast<size_t>(count) * kBlock);
    if (SendReadCd(lba, count, form, true, both.data(), &srb)) {
      for (int32_t i = 0; i < count; ++i)
        std::memcpy(buffer + i * kSubcodeBytes, both.data() + i * kBlock + kRawSectorBytes,
                    kSubcodeBytes);
      return true;
    }
  }
  *error = "the sub-channel of sectors " + std::to_string(lba) + "-" +
           std::to_string(lba + count - 1) + " could not be read (sense key " +
           std::to_string(SenseKey(srb)) + ", code " + std::to_string(SenseCode(srb)) + ")";
  return false;
}

}  // namespace

RwForm SelectedDriveRwForm() {
  uint8_t page[64] = {};
  const int status =
      read_mode_atapi(page, sizeof page, cdDrives.currentAdapter.load(std::memory_order_acquire),
                      cdDrives.currentLun.load(std::memory_order_acquire),
                      cdDrives.currentTarget.load(std::memory_order_acquire));
  if (status != SS_COMP || (page[kCapabilitiesPageOffset] & 0x3F) != kModePageCdCapabilities)
    return RwForm::kNone;
  const uint8_t features = page[kCapabilitiesPageOffset + 5];
  if (features & 0x08) return RwForm::kPacks;
  if (features & 0x04) return RwForm::kRaw;
  return RwForm::kNone;
}

int BuildReadSubchannelCdb(int32_t lba, int count, int lun, RwForm form, bool withAudio,
                           uint8_t cdb[16]) {
  std::memset(cdb, 0, 16);
  cdb[0] = kScsiReadCd;
  cdb[1] = static_cast<uint8_t>((lun & 7) << 5 | 0x04);  // CD-DA sectors
  PutBigEndian(cdb + 2, static_cast<uint32_t>(lba), 4);
  PutBigEndian(cdb + 6, static_cast<uint32_t>(std::max(count, 0)), 3);
  cdb[9] = withAudio ? 0x10 : 0x00;
  cdb[10] = static_cast<uint8_t>(form);
  return 12;
}

bool ReadDrivePacks(int32_t first, int32_t count, RwForm form, std::vector<uint8_t>* packs,
                    std::string* error) {
  packs->assign(static_cast<size_t>(std::max(count, 0)) * kSubcodeBytes, 0);
  if (form == RwForm::kNone) {
    *error = "the drive does not read the R-W sub-channel";
    return false;
  }
  // Raw data: each piece is read with the two sectors after it, which its last packs reach.
  const int32_t extra = form == RwForm::kRaw ? 2 : 0;
  std::vector<uint8_t> buffer(static_cast<size_t>(kSectorsPerSubchannelRead + extra) *
                              kSubcodeBytes);
  for (int32_t done = 0; done < count;) {
    const int32_t n = std::min(kSectorsPerSubchannelRead, count - done);
    uint8_t* target = packs->data() + static_cast<size_t>(done) * kSubcodeBytes;
    if (form == RwForm::kPacks) {
      if (!ReadSubchannel(first + done, n, form, target, error)) return false;
    } else {
      std::fill(buffer.begin(), buffer.end(), 0);
      if (!ReadSubchannel(first + done, n, form, buffer.data(), error)) return false;
      // The sectors after the piece: past the disc's end there are none (they stay zero).
      std::string ignored;
      ReadSubchannel(first + done + n, extra, form, buffer.data() + n * kSubcodeBytes, &ignored);
      RawToPackSectors(buffer.data(), static_cast<size_t>(n + extra), target, nullptr);
    }
    done += n;
  }
  return true;
}

bool HasCdgPacks(const uint8_t* packs, size_t packCount) {
  for (size_t i = 0; i < packCount; ++i)
    if ((packs[i * kPackBytes] & kSymbolMask) == kCdgMode) return true;
  return false;
}
