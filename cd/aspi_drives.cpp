#include "cd/aspi_drives.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cd/disk_space.h"
#include "cd/play_state.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/event.h"
#include "settings/settings.h"

CdDriveState cdDrives;

namespace {

constexpr uint32_t kInquiryWaitMs = 1000;
constexpr uint32_t kModeSenseWaitMs = 5000;
constexpr const char* kTerminalError = "Terminal Error";

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void BuildDescription(CdDrive& drive) {
  char text[128];
  std::snprintf(text, sizeof text, "%s %s %s", drive.letter.c_str(), drive.vendor, drive.product);
  drive.description = text;
}

void FatalBox(const char* text) {
  ShowMessageBox(nullptr, kTerminalError, text, kMbOk | kMbIconHand | kMbSystemModal);
}

// A SCSI command with data in, sent with a fresh auto-reset event as its post procedure.
// Returns the send status; *finalStatus is the request's status once the wait is over, and
// *timedOut tells whether the wait ran out.
int SendScsiIn(ScsiRequestBlock& srb, uint32_t waitMs, int* finalStatus, bool* timedOut) {
  Event done(Event::Reset::kAuto, false);
  srb.command = SC_EXEC_SCSI_CMD;
  srb.flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
  srb.senseLength = kSenseLength;
  srb.postEvent = &done;
  srb.cdb[1] = static_cast<uint8_t>((srb.cdb[1] & 0x1F) | ((srb.lun & 7) << 5));
  if (waitMs != kInfinite) srb.timeoutMs = waitMs;
  *timedOut = false;
  int sent = SendASPI32Command(&srb);
  if (sent == SS_PENDING || sent == SS_COMP) *timedOut = done.Wait(waitMs) == kWaitTimeout;
  srb.postEvent = nullptr;
  *finalStatus = srb.status;
  return sent;
}

void CopyIdentity(CdDrive& drive, const uint8_t* inquiry) {
  std::memcpy(drive.vendor, inquiry + 8, 8);
  drive.vendor[8] = '\0';
  std::memcpy(drive.product, inquiry + 16, 16);
  drive.product[16] = '\0';
  // A drive may pad with NULs; the texts end at the first one, as the inquiry fields do.
}

}  // namespace

int SendASPI32Command(ScsiRequestBlock* srb) {
  if (!cdDrives.layer) {
    srb->status = SS_NO_ASPI;
    return SS_NO_ASPI;
  }
  return cdDrives.layer->SendCommand(srb);
}

int initSCSI() {
  uint32_t info =
      cdDrives.layer ? cdDrives.layer->SupportInfo() : static_cast<uint32_t>(SS_NO_ASPI) << 8;
  int status = static_cast<int>((info >> 8) & 0xFF);
  int adapters = static_cast<int>(info & 0xFF);
  char line[128];
  switch (status) {
    case SS_COMP:
      std::snprintf(line, sizeof line, "Okay;  NumAdapters = %d\n", adapters);
      break;
    case SS_OLD_MANAGER:
      std::snprintf(line, sizeof line,
                    "An ASPI manager which does not support Windows is resident!\n");
      break;
    case SS_ILLEGAL_MODE:
      std::snprintf(line, sizeof line, "ASPI for Windows does not support this mode!\n");
      break;
    case SS_NO_ASPI:
      std::snprintf(line, sizeof line, "No ASPI managers were found!\n");
      break;
    default:
      std::snprintf(line, sizeof line, "ASPI for Windows is not initialized! %X\n", status);
      break;
  }
  LogPrintf("initSCSI - %s", line);
  Trace("%s", line);
  return status == SS_COMP ? adapters : 0;
}

namespace {

// A data-in request to one drive, reading at most length bytes into buffer.
ScsiRequestBlock DataInRequest(uint8_t* buffer, int length, int adapter, int lun, int target) {
  ScsiRequestBlock srb;
  srb.adapter = adapter;
  srb.lun = lun;
  srb.target = target;
  srb.buffer = buffer;
  srb.bufferLength = static_cast<uint32_t>(std::max(length, 0));
  return srb;
}

}  // namespace

int inquire_data(uint8_t* buffer, int length, int adapter, int lun, int target) {
  ScsiRequestBlock srb = DataInRequest(buffer, length, adapter, lun, target);
  srb.cdbLength = 6;
  srb.cdb[0] = kScsiInquiry;
  srb.cdb[4] = static_cast<uint8_t>(std::clamp(length, 0, 255));
  int status = SS_PENDING;
  bool timedOut = false;
  int sent = SendScsiIn(srb, kInquiryWaitMs, &status, &timedOut);
  if (timedOut) Trace("ASPIInquiryEvent timed out in inquire_data\n");
  if (sent != SS_PENDING && sent != SS_COMP)
    Trace("inquire_data: not pending or complete;  status =%d\n", sent);
  return status;
}

int read_mode_atapi(uint8_t* buffer, int length, int adapter, int lun, int target) {
  ScsiRequestBlock srb = DataInRequest(buffer, length, adapter, lun, target);
  srb.cdbLength = 12;
  srb.cdb[0] = kScsiModeSense10;
  srb.cdb[2] = kModePageCdCapabilities;
  srb.cdb[8] = static_cast<uint8_t>(std::clamp(length, 0, 255));
  int status = SS_PENDING;
  bool timedOut = false;
  int sent = SendScsiIn(srb, kModeSenseWaitMs, &status, &timedOut);
  if (timedOut) Trace("ASPIReadModeEvent timed out in read_mode_atapi\n");
  if (sent != SS_PENDING && sent != SS_COMP) Trace("read_mode_atapi: not pending\n");
  return status;
}

int check_atapi() {
  const CdDrive& drive = cdDrives.drives[cdDrives.scanningDrive];
  uint8_t answer[28] = {};
  int status = read_mode_atapi(answer, 26, drive.hostAdapter, drive.lun, drive.targetId);
  if (status == SS_ERR || answer[17] == 0) {
    LogPrintf("check_atapi - second try\n");
    Trace("error17\n");
    std::memset(answer, 0, sizeof answer);
    status = read_mode_atapi(answer, 28, drive.hostAdapter, drive.lun, drive.targetId);
  }
  return status;
}

int FetchDriveLetter(uint32_t deviceNode) {
  LogPrintf("FetchDriveLetter devNode =%8x\n", deviceNode);
  std::string hardwareKey, letter;
  if (!cdDrives.layer || !cdDrives.layer->DeviceNodeInfo(deviceNode, &hardwareKey, &letter)) {
    Trace("dang; couldn't open registry key to get path from devnode\n");
    return -1;
  }
  LogPrintf("FetchDriveLetter hardwareKey =%s\n", hardwareKey.c_str());
  if (letter.empty()) {
    Trace("dang; couldn't open registry key to get CDROM drive letter\n");
    return -1;
  }
  cdDrives.drives[cdDrives.scanningDrive].letter = letter;
  LogPrintf("FetchDriveLetter found =%s\n", letter.c_str());
  return 0;
}

int ScanDrives() {
  for (CdDrive& drive : cdDrives.drives) drive = CdDrive{};
  cdDrives.driveCount = 0;
  for (int adapter = 0; adapter < kMaxHostAdapters; ++adapter) {
    if (!cdDrives.adapterPresent[adapter]) continue;
    for (int lun = 0; lun < 8; ++lun) {
      for (int target = 0; target < 8; ++target) {
        if (cdDrives.driveCount >= kMaxCdDrives) break;
        ScsiRequestBlock query;
        query.command = SC_GET_DEV_TYPE;
        query.adapter = adapter;
        query.lun = lun;
        query.target = target;
        if (SendASPI32Command(&query) != SS_COMP) continue;
        if (query.deviceType != kDeviceTypeCdRom && query.deviceType != kDeviceTypeWriteOnce)
          continue;

        int index = cdDrives.driveCount;
        CdDrive& drive = cdDrives.drives[index];
        drive = CdDrive{};  // a drive whose inquiry failed before leaves nothing behind
        drive.hostAdapter = adapter;
        drive.lun = lun;
        drive.targetId = target;
        cdDrives.scanningDrive = index;
        LogPrintf("Found a Drive %d, HostID =%d, LogicalUnit =%d, TargetID =%d\n", index, adapter,
                  lun, target);
        if (cdDrives.translateAddressOkay) {
          uint32_t deviceNode = 0;
          uint32_t path = (static_cast<uint32_t>(adapter) << 16) |
                          (static_cast<uint32_t>(target) << 8) | static_cast<uint32_t>(lun);
          cdDrives.layer->TranslateAddress(path, &deviceNode);
          FetchDriveLetter(deviceNode);
        }
        if (check_atapi() == SS_COMP) {
          drive.atapi = 1;
          LogPrintf("Drive %d is ATAPI \n", index);
        }
        uint8_t inquiry[kInquiryDataLength] = {};
        if (inquire_data(inquiry, kInquiryDataLength, adapter, lun, target) == SS_COMP) {
          CopyIdentity(drive, inquiry);
          BuildDescription(drive);
          ++cdDrives.driveCount;
        } else {
          drive.description = "Unknown CDROM Drive";
          LogPrintf("GetDriveInfo: inquire_data failed\n");
        }
      }
    }
  }
  if (cdDrives.driveCount == 0) {
    Trace("No CDROM/CDR drive found!\n");
    return -1;
  }
  return 0;
}

void FindDriveLetters() {
  cdDrives.cdromLetters.clear();
  if (!cdDrives.layer) return;
  for (const std::string& letter : cdDrives.layer->CdRomLetters()) {
    if (static_cast<int>(cdDrives.cdromLetters.size()) >= kMaxDriveLetters) break;
    cdDrives.cdromLetters.push_back(letter);
    LogPrintf("FindDriveLetters found =%s\n", letter.c_str());
  }
}

int MatchDriveLetter() {
  if (!cdDrives.layer) {
    Trace("dang; couldn't open registry key to get CDROM drive\n");
    return -1;
  }
  std::vector<CdHostLayer::DeviceRecord> records = cdDrives.layer->DeviceRecords();
  if (records.size() > 16) records.resize(16);
  for (const CdHostLayer::DeviceRecord& record : records) {
    if (record.deviceType != kDeviceTypeCdRom && record.deviceType != kDeviceTypeWriteOnce)
      continue;
    const auto& letters = cdDrives.cdromLetters;
    if (std::find(letters.begin(), letters.end(), record.letter) == letters.end()) continue;
    for (int i = 0; i < cdDrives.driveCount; ++i) {
      CdDrive& drive = cdDrives.drives[i];
      if (drive.lun != record.lun || drive.targetId != record.target) continue;
      if (record.manufacturer.empty() || drive.vendor[0] != record.manufacturer[0]) continue;
      drive.letter = record.letter;
      BuildDescription(drive);
      LogPrintf("MatchDriveLetter found =%s\n", record.letter.c_str());
    }
  }
  return -1;
}

DriveReadSettings VendorReadSettings(const char* vendor, const char* product) {
  DriveReadSettings s;
  static const char* const kSwapVendors[] = {"HP",      "PHILIPS", "KODAK", "MITSUMI",
                                             "GRUNDIG", "PLASMON", "IMS",   "RICOH"};
  bool swapVendor = std::any_of(std::begin(kSwapVendors), std::end(kSwapVendors),
                                [&](const char* v) { return StartsWith(vendor, v); });
  if (swapVendor) {
    s.swapBytes = 1;
    if (StartsWith(product, "MP") || StartsWith(product, "MS")) s.swapBytes = 0;
    if (StartsWith(vendor, "MITSUMI") && StartsWith(product, "CD-R")) s.swapBytes = 0;
    s.readMethod = kReadMethodScsiRead10;
  } else {
    s.swapBytes = 0;
  }
  if (StartsWith(vendor, "TOSHIBA") || StartsWith(vendor, "IBM") || StartsWith(vendor, "DEC")) {
    s.sectorSize = kSectorSizeWithSubchannel;
    s.readMethod = kReadMethodScsiRead10;
  } else {
    s.sectorSize = kSectorSizeStandard;
  }
  if (StartsWith(vendor, "NEC")) {
    s.readMethod = kReadMethodNec;
  } else if (StartsWith(vendor, "SONY") || StartsWith(vendor, "HITACHI") ||
             StartsWith(vendor, "PLEXTOR") || StartsWith(vendor, "TEAC") ||
             StartsWith(vendor, "RICOH")) {
    s.readMethod = kReadMethodCdda;
  } else if (StartsWith(vendor, "MATSHITA") || StartsWith(vendor, "Cyber")) {
    s.readMethod = kReadMethodScsiRead10;
  }
  return s;
}

namespace {

void ApplyModelOverrides(DriveReadSettings& s, const char* vendor, const char* product, int atapi) {
  if (atapi) {
    s.sectorSize = kSectorSizeStandard;
    s.readMethod = kReadMethodAtapiReadCd;
    s.swapBytes = 0;
  }
  if (std::strncmp(product, "CD-ROM LTN 264", 14) == 0) s.swapBytes = 1;
  if (StartsWith(vendor, "YAMAHA") && StartsWith(product, "CRW4416S"))
    s.readMethod = kReadMethodCdda;
}

}  // namespace

DriveReadSettings DriveQuirks(const char* vendor, const char* product, int atapi) {
  DriveReadSettings s = VendorReadSettings(vendor, product);
  ApplyModelOverrides(s, vendor, product, atapi);
  return s;
}

void MoreDriveConfiguration() {
  int selected = std::clamp(settings.selectedDrive, 0, kMaxCdDrives - 1);
  const CdDrive& drive = cdDrives.drives[selected];
  DriveReadSettings s = VendorReadSettings(drive.vendor, drive.product);
  LogPrintf("MoreDriveConfiguration; original specdrive =%d,   swapb =%d\n", s.readMethod,
            s.swapBytes);
  ApplyModelOverrides(s, drive.vendor, drive.product, drive.atapi);
  cdDrives.readMethod.store(s.readMethod, std::memory_order_release);
  cdDrives.sectorSize.store(s.sectorSize, std::memory_order_release);
  cdDrives.swapBytes.store(s.swapBytes, std::memory_order_release);
}

void GetSelectedDriveLetter(std::string* text) {
  int selected = std::clamp(settings.selectedDrive, 0, kMaxCdDrives - 1);
  *text = cdDrives.drives[selected].letter;
}

void UseSelectedDrive(int index) {
  if (index < 0 || index >= cdDrives.driveCount) index = 0;
  settings.selectedDrive = index;
  const CdDrive& drive = cdDrives.drives[index];
  cdDrives.currentAdapter.store(drive.hostAdapter, std::memory_order_release);
  cdDrives.currentTarget.store(drive.targetId, std::memory_order_release);
  cdDrives.currentLun.store(drive.lun, std::memory_order_release);
  cdDrives.currentAtapi.store(drive.atapi, std::memory_order_release);
  player.device.store(drive.mciDevice, std::memory_order_release);
}

int InitCdDrives(void* window) {
  return InitCdDrivesWithLayer(window, LoadCdHostLayer());
}

int InitCdDrivesWithLayer(void* window, std::unique_ptr<CdHostLayer> layer) {
  // 1. Window, letter lists and free space.
  ReleaseCdDrives();
  cdDrives.mainWindow = window;
  cdDrives.cdromLetters.clear();
  cdDrives.freeDiskMegabytes = GetFreeDiskMegabytes(settings.databasePath);

  // 2. The host adapter layer.
  if (!layer) {
    FatalBox("Wnaspi32.dll failed to open");
    return -1;
  }
  cdDrives.layer = std::move(layer);
  cdDrives.translateAddressOkay = cdDrives.layer->translateAvailable ? 1 : 0;
  LogPrintf("_translateAddessOkay = %d\n", cdDrives.translateAddressOkay);

  // 3. Adapters.
  int adapters = initSCSI();
  if (adapters == 0) {
    FatalBox("No host adaptors or error in Winaspi.dll initialization");
    cdDrives.layer.reset();
    return -1;
  }

  // 4. Which adapters are present.
  std::fill(std::begin(cdDrives.adapterPresent), std::end(cdDrives.adapterPresent), false);
  ScsiRequestBlock inquiry;
  inquiry.command = SC_HA_INQUIRY;
  inquiry.adapter = 0;
  if (SendASPI32Command(&inquiry) == SS_COMP) {
    cdDrives.adapterPresent[0] = true;
    if (inquiry.adapterCount != 1) {
      for (int adapter = 1; adapter < kMaxHostAdapters; ++adapter) {
        ScsiRequestBlock more;
        more.command = SC_HA_INQUIRY;
        more.adapter = adapter;
        if (SendASPI32Command(&more) == SS_COMP) cdDrives.adapterPresent[adapter] = true;
      }
    }
  }

  // 5. Drives.
  if (ScanDrives() != 0) {
    FatalBox("No CDROM, DVD, CDR, or CD R/W drives found");
    cdDrives.layer.reset();
    return -1;
  }

  // 6. Letters, when the address translation gave none.
  if (cdDrives.drives[0].letter.empty()) {
    Trace("find drive letter the old way\n");
    FindDriveLetters();
    const auto& letters = cdDrives.cdromLetters;
    int letterCount = static_cast<int>(letters.size());
    if (cdDrives.driveCount == 1 && letterCount == 1) {
      cdDrives.drives[0].letter = letters[0];
      BuildDescription(cdDrives.drives[0]);
      LogPrintf("only one drive letter = %s\n", letters[0].c_str());
    } else if (cdDrives.driveCount != letterCount) {
      ShowMessageBox(nullptr, "Warning", "Different number of drives reported",
                     kMbOk | kMbIconExclamation);
      if (letterCount > 0) {
        cdDrives.drives[0].letter = letters[0];
        BuildDescription(cdDrives.drives[0]);
      }
    } else {
      MatchDriveLetter();
    }
  }

  // 7. The selected drive.
  if (settings.selectedDrive < 0 || settings.selectedDrive >= cdDrives.driveCount)
    settings.selectedDrive = 0;

  // 8. How it reads.
  MoreDriveConfiguration();

  // 9. A CD audio device per drive.
  for (int i = 0; i < cdDrives.driveCount; ++i) {
    CdDrive& drive = cdDrives.drives[i];
    LogPrintf("Open Drive = %d\n", i);
    drive.mciDevice =
        cdDrives.layer->OpenAudioDevice(drive.letter, drive.hostAdapter, drive.targetId, drive.lun);
    drive.mciDeviceId = drive.mciDevice ? i + 1 : 0;
  }

  // 10. The player follows the selected drive.
  UseSelectedDrive(settings.selectedDrive);
  return 0;
}

void ReleaseCdDrives() {
  for (CdDrive& drive : cdDrives.drives) drive = CdDrive{};
  cdDrives.driveCount = 0;
  player.device.store(nullptr, std::memory_order_release);
  cdDrives.layer.reset();
}
