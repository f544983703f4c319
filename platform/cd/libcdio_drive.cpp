#include "platform/cd/libcdio_drive.h"

#include <cdio/cdio.h>
#include <cdio/mmc.h>
#include <cdio/mmc_hl_cmds.h>
#include <cdio/mmc_ll_cmds.h>

#include <algorithm>
#include <cstring>

#include "platform/cd/cdio_toc.h"

namespace {

int MciError(driver_return_code_t rc) {
  switch (rc) {
    case DRIVER_OP_SUCCESS:
      return 0;
    case DRIVER_OP_UNSUPPORTED:
    case DRIVER_OP_NO_DRIVER:
      return MCIERR_UNSUPPORTED_FUNCTION;
    default:
      return MCIERR_HARDWARE;
  }
}

}  // namespace

std::vector<std::string> ListCdDevicePaths() {
  InstallCdioLogHandler();
  std::vector<std::string> paths;
  char** devices = cdio_get_devices(DRIVER_DEVICE);
  if (!devices) return paths;
  for (char** d = devices; *d; ++d) paths.emplace_back(*d);
  cdio_free_device_list(devices);
  return paths;
}

LibcdioCdDevice::LibcdioCdDevice(const std::string& path, CdIo_t* cdio)
    : path_(path), cdio_(cdio) {}

LibcdioCdDevice::~LibcdioCdDevice() {
  if (cdio_) cdio_destroy(cdio_);
}

std::unique_ptr<LibcdioCdDevice> LibcdioCdDevice::Open(const std::string& path,
                                                       std::string* error) {
  InstallCdioLogHandler();
  CdIo_t* cdio = cdio_open(path.c_str(), DRIVER_DEVICE);
  if (!cdio) {
    *error = "libcdio cannot open the drive " + path;
    return nullptr;
  }
  return std::unique_ptr<LibcdioCdDevice>(new LibcdioCdDevice(path, cdio));
}

int LibcdioCdDevice::FreshHandle() {
  if (cdio_ && !tocStale_) return 0;
  if (cdio_) cdio_destroy(cdio_);
  cdio_ = cdio_open(path_.c_str(), DRIVER_DEVICE);
  tocStale_ = false;
  return cdio_ ? 0 : MCIERR_DEVICE_NOT_READY;
}

int LibcdioCdDevice::DeviceType() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!cdio_) return kDeviceTypeCdRom;
  uint8_t answer[36] = {};
  mmc_cdb_t cdb = {{kScsiInquiry, 0, 0, 0, sizeof answer, 0}};
  if (mmc_run_cmd(cdio_, 1000, &cdb, SCSI_MMC_DATA_READ, sizeof answer, answer) !=
      DRIVER_OP_SUCCESS)
    return kDeviceTypeCdRom;  // the system listed it as a CD drive
  return answer[0] & 0x1F;
}

int LibcdioCdDevice::Execute(ScsiRequestBlock* srb) {
  std::lock_guard<std::mutex> guard(lock_);
  if (srb->bufferLength > 0 && !srb->buffer) {
    srb->status = SS_INVALID_SRB;
    return SS_INVALID_SRB;
  }
  std::memset(srb->sense, 0, sizeof srb->sense);
  if (!cdio_ && FreshHandle() != 0) {
    srb->hostStatus = 0x11;  // selection time-out: the device is gone
    srb->status = SS_ERR;
    return SS_ERR;
  }
  mmc_cdb_t cdb = {};
  int cdbLength = std::clamp(srb->cdbLength, 0, static_cast<int>(MAX_CDB_LEN));
  std::memcpy(cdb.field, srb->cdb, static_cast<size_t>(cdbLength));
  // Standard commands go out with their defined length; vendor commands as given.
  unsigned length =
      srb->cdb[0] >= 0xC0 ? static_cast<unsigned>(cdbLength) : mmc_get_cmd_len(srb->cdb[0]);
  if (length == 0) length = static_cast<unsigned>(cdbLength);
  driver_return_code_t rc =
      mmc_run_cmd_len(cdio_, srb->timeoutMs, &cdb, length,
                      srb->bufferLength > 0 ? SCSI_MMC_DATA_READ : SCSI_MMC_DATA_NONE,
                      srb->bufferLength, srb->buffer);
  if (rc == DRIVER_OP_SUCCESS) {
    srb->targetStatus = kTargetStatusGood;
    srb->status = SS_COMP;
    return SS_COMP;
  }
  cdio_mmc_request_sense_t* sense = nullptr;
  int senseBytes = mmc_last_cmd_sense(cdio_, &sense);
  if (senseBytes > 0 && sense) {
    int n = std::min({senseBytes, std::clamp(srb->senseLength, 0, kSenseAreaLength),
                      static_cast<int>(sizeof *sense)});
    std::memcpy(srb->sense, sense, static_cast<size_t>(n));
    srb->targetStatus = kTargetStatusCheckCondition;
  }
  if (sense) cdio_free(sense);
  srb->status = SS_ERR;
  return SS_ERR;
}

int LibcdioCdDevice::StatusMediaPresent(int* present) {
  std::lock_guard<std::mutex> guard(lock_);
  *present = 0;
  if (FreshHandle() != 0) return 0;  // a drive that cannot be opened holds no disc
  if (mmc_test_unit_ready(cdio_, 0) == DRIVER_OP_SUCCESS) {
    *present = 1;
  } else {
    tocStale_ = true;
  }
  return 0;
}

int LibcdioCdDevice::StatusMode(int* mode) {
  std::lock_guard<std::mutex> guard(lock_);
  *mode = MCI_MODE_NOT_READY;
  if (int err = FreshHandle()) return err;
  if (mmc_get_tray_status(cdio_) == 1) {
    *mode = MCI_MODE_OPEN;
    return 0;
  }
  if (mmc_test_unit_ready(cdio_, 0) != DRIVER_OP_SUCCESS) return 0;
  discmode_t disc = cdio_get_discmode(cdio_);
  *mode = cdio_is_discmode_dvd(disc) ? MCI_MODE_NOT_READY : MCI_MODE_STOP;
  return 0;
}

int LibcdioCdDevice::StatusTrackCount(int* count) {
  std::lock_guard<std::mutex> guard(lock_);
  *count = 0;
  if (int err = FreshHandle()) return err;
  return CdioTrackCount(cdio_, count);
}

int LibcdioCdDevice::StatusTrackType(int track, int* type) {
  std::lock_guard<std::mutex> guard(lock_);
  *type = MCI_CDA_TRACK_OTHER;
  if (int err = FreshHandle()) return err;
  bool audio = false;
  if (int err = CdioTrackIsAudio(cdio_, track, &audio)) return err;
  *type = audio ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
  return 0;
}

int LibcdioCdDevice::StatusTrackLength(int track, uint32_t* msf) {
  std::lock_guard<std::mutex> guard(lock_);
  *msf = 0;
  if (int err = FreshHandle()) return err;
  int32_t frames = 0;
  if (int err = CdioTrackLengthFrames(cdio_, track, &frames)) return err;
  *msf = FramesToMsf(frames);
  return 0;
}

int LibcdioCdDevice::StatusTrackPosition(int track, uint32_t* msf) {
  std::lock_guard<std::mutex> guard(lock_);
  *msf = 0;
  if (int err = FreshHandle()) return err;
  int32_t frame = 0;
  if (int err = CdioTrackStartFrame(cdio_, track, &frame)) return err;
  *msf = FramesToMsf(frame);
  return 0;
}

int LibcdioCdDevice::StatusDiscLength(uint32_t* msf) {
  std::lock_guard<std::mutex> guard(lock_);
  *msf = 0;
  if (int err = FreshHandle()) return err;
  int32_t frames = 0;
  if (int err = CdioDiscLengthFrames(cdio_, &frames)) return err;
  *msf = FramesToMsf(frames);
  return 0;
}

int LibcdioCdDevice::SetDoor(bool open) {
  std::lock_guard<std::mutex> guard(lock_);
  if (int err = FreshHandle()) return err;
  tocStale_ = true;
  return MciError(open ? mmc_eject_media(cdio_) : mmc_close_tray(cdio_));
}

std::string LibcdioCdDevice::VolumeLabel() {
  std::lock_guard<std::mutex> guard(lock_);
  if (FreshHandle() != 0) return "";
  return CdioVolumeLabel(cdio_);
}
