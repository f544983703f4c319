#include "cd/read_commands.h"

#include <cstring>
#include <utility>
#include <vector>

#include "cd/aspi_drives.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/event.h"

namespace {

void PutBigEndian(uint8_t* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace

int BuildReadCdb(int readMethod, int32_t lba, int count, int lun, uint8_t cdb[16]) {
  std::memset(cdb, 0, 16);
  cdb[1] = static_cast<uint8_t>((lun & 7) << 5);
  PutBigEndian(cdb + 2, static_cast<uint32_t>(lba), 4);
  uint32_t n = static_cast<uint32_t>(count < 0 ? 0 : count);
  switch (readMethod) {
    case kReadMethodNec:
      cdb[0] = kScsiReadNec;
      PutBigEndian(cdb + 7, n, 2);
      return 10;
    case kReadMethodCdda:
      cdb[0] = kScsiReadCdda;
      PutBigEndian(cdb + 6, n, 4);
      return 12;
    case kReadMethodAtapiReadCd:
      cdb[0] = kScsiReadCd;
      cdb[1] |= 0x04;
      PutBigEndian(cdb + 6, n, 3);
      cdb[9] = 0x10;
      return 12;
    default:
      cdb[0] = kScsiRead10;
      PutBigEndian(cdb + 7, n, 2);
      return 10;
  }
}

int read_atapi(int32_t sector) {
  int32_t sectorSize = cdDrives.sectorSize.load(std::memory_order_acquire);
  int32_t readMethod = cdDrives.readMethod.load(std::memory_order_acquire);
  std::vector<uint8_t> buffer(
      static_cast<size_t>(sectorSize > 0 ? sectorSize : kSectorSizeStandard));
  Event done(Event::Reset::kAuto, false);
  ScsiRequestBlock srb;
  srb.command = SC_EXEC_SCSI_CMD;
  srb.adapter = cdDrives.currentAdapter.load(std::memory_order_acquire);
  srb.target = cdDrives.currentTarget.load(std::memory_order_acquire);
  srb.lun = cdDrives.currentLun.load(std::memory_order_acquire);
  srb.flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
  srb.senseLength = kSenseLength;
  srb.buffer = buffer.data();
  srb.bufferLength = static_cast<uint32_t>(buffer.size());
  srb.cdbLength = BuildReadCdb(readMethod, sector, 1, srb.lun, srb.cdb);
  srb.postEvent = &done;
  int sent = SendASPI32Command(&srb);
  if (sent == SS_PENDING || sent == SS_COMP) {
    if (done.Wait(kInfinite) != kWaitObject0) {
      Trace("ASPIReadOneEvent timed out in read_atapi\n");
      LogPrintf("FakeReadForSpin - ASPIReadOneEvent timed out in read_atapi\n");
    }
  } else {
    Trace("spin-up read: not pending\n");
    WriteToLogFile("spin-up read: not pending\n");
  }
  if (srb.status != SS_COMP) {
    Trace("spinup error: Ret=%d  rl:%d  sec=%d  HA:%d lun:%d ID:%d SD=%d\n", srb.status, sectorSize,
          sector, srb.adapter, srb.lun, srb.target, readMethod);
    LogPrintf("FakeReadForSpin - spinup error: Ret=%d  rl:%d  sec=%d  HA:%d lun:%d ID:%d SD=%d\n",
              srb.status, sectorSize, sector, srb.adapter, srb.lun, srb.target, readMethod);
  }
  return srb.status;
}

void SwapSampleBytes(uint8_t* data, int32_t length) {
  for (int32_t i = 0; i + 1 < length; i += 2) std::swap(data[i], data[i + 1]);
}
