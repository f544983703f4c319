#include "platform/cd/host_layer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "diagnostics/diagnostics.h"
#include "platform/cd/cdio_toc.h"
#include "platform/cd/image_drive.h"
#include "platform/cd/libcdio_drive.h"
#include "platform/sync/event.h"

namespace {

constexpr int kTargetsPerAdapter = 8;

std::string TrimRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

}  // namespace

void InstallCdErrorTexts() {
  SetMciErrorTextSource([](int code) -> std::string {
    switch (code) {
      case MCIERR_INVALID_DEVICE_ID:
        return "The CD drive has not been opened.";
      case MCIERR_HARDWARE:
        return "The CD drive reported a hardware error. Make sure the drive is working and "
               "the disc is readable.";
      case MCIERR_UNSUPPORTED_FUNCTION:
        return "The CD drive does not support this command.";
      case MCIERR_DEVICE_NOT_READY:
        return "The CD drive is not ready. Wait until the disc has been read and try again.";
      case MCIERR_OUTOFRANGE:
        return "The track number is outside the disc.";
      default: {
        char text[64];
        std::snprintf(text, sizeof text, "Unknown CD drive error %d.", code);
        return text;
      }
    }
  });
}

std::string DemoDiscPath() {
  if (const char* path = std::getenv("SORN_DEMO_DISC"); path && *path) return path;
#ifdef SORN_DEMO_DISC_INSTALLED
  // An installed program: the demo disc installed with it.
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path installed =
        (program.parent_path() / SORN_DEMO_DISC_INSTALLED).lexically_normal();
    if (std::filesystem::is_regular_file(installed, error)) return installed.string();
  }
#endif
#ifdef SORN_DEMO_DISC_DEFAULT
  return SORN_DEMO_DISC_DEFAULT;
#else
  return "";
#endif
}

std::vector<std::string> SplitDriveList(const std::string& list) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) parts.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::unique_ptr<CdDevice> OpenCdDevice(const std::string& driveString, std::string* error) {
  if (IsImageDriveString(driveString)) {
    ImageDriveOptions options;
    if (!ParseImageDriveString(driveString, &options, error)) return nullptr;
    return ImageCdDevice::Open(options, error);
  }
  return LibcdioCdDevice::Open(driveString, error);
}

CdHostLayer::CdHostLayer() {
  InstallCdErrorTexts();
}

std::unique_ptr<CdHostLayer> CdHostLayer::FromDriveStrings(
    const std::vector<std::string>& strings) {
  auto layer = std::make_unique<CdHostLayer>();
  for (const std::string& text : strings) {
    std::string error;
    std::unique_ptr<CdDevice> device = OpenCdDevice(text, &error);
    if (!device) {
      Trace("CdHostLayer: drive '%s' left out: %s\n", text.c_str(), error.c_str());
      continue;
    }
    bool onHostAdapter = true;
    if (auto* image = dynamic_cast<ImageCdDevice*>(device.get()))
      onHostAdapter = !image->Options().virtualDrive;
    layer->AddDrive(std::move(device), onHostAdapter);
  }
  return layer;
}

void CdHostLayer::AddDrive(std::unique_ptr<CdDevice> device, bool onHostAdapter) {
  HostDrive drive{std::move(device), onHostAdapter, -1, -1, -1};
  if (onHostAdapter) {
    drive.adapter = nextAddress_ / kTargetsPerAdapter;
    drive.target = nextAddress_ % kTargetsPerAdapter;
    drive.lun = 0;
    ++nextAddress_;
  }
  drives_.push_back(std::move(drive));
}

CdDevice* CdHostLayer::Drive(int index) const {
  if (index < 0 || index >= DriveCount()) return nullptr;
  return drives_[static_cast<size_t>(index)].device.get();
}

const CdHostLayer::HostDrive* CdHostLayer::DriveAt(int adapter, int target, int lun) const {
  for (const HostDrive& d : drives_) {
    if (d.onHostAdapter && d.adapter == adapter && d.target == target && d.lun == lun) return &d;
  }
  return nullptr;
}

uint32_t CdHostLayer::SupportInfo() const {
  if (supportStatus != SS_COMP) return static_cast<uint32_t>(supportStatus & 0xFF) << 8;
  int adapters = 1;  // the system's own host, even with no drive on it
  for (const HostDrive& d : drives_) {
    if (d.onHostAdapter) adapters = std::max(adapters, d.adapter + 1);
  }
  adapters = std::min(adapters, kMaxHostAdapters);
  return (static_cast<uint32_t>(SS_COMP) << 8) | static_cast<uint32_t>(adapters);
}

int CdHostLayer::SendCommand(ScsiRequestBlock* srb) {
  int adapters = static_cast<int>(SupportInfo() & 0xFF);
  int status = SS_INVALID_CMD;
  if (srb->adapter < 0 || srb->adapter >= adapters) {
    status = SS_INVALID_HA;
  } else if (srb->command == SC_HA_INQUIRY) {
    srb->adapterCount = adapters;
    std::snprintf(srb->managerId, sizeof srb->managerId, "%s", "SORN CD LAYER");
    std::snprintf(srb->adapterId, sizeof srb->adapterId, "%s", "LIBCDIO");
    status = SS_COMP;
  } else if (srb->command == SC_GET_DEV_TYPE) {
    const HostDrive* drive = DriveAt(srb->adapter, srb->target, srb->lun);
    srb->deviceType = drive ? drive->device->DeviceType() : kDeviceTypeNone;
    status = drive ? SS_COMP : SS_NO_DEVICE;
  } else if (srb->command == SC_EXEC_SCSI_CMD) {
    const HostDrive* drive = DriveAt(srb->adapter, srb->target, srb->lun);
    status = drive ? drive->device->Execute(srb) : SS_NO_DEVICE;
  }
  srb->status = status;
  // A SCSI command that was carried out completes through its post event: the send itself
  // answers "pending", as a host adapter does for a queued command.
  bool carriedOut = srb->command == SC_EXEC_SCSI_CMD && status != SS_INVALID_HA &&
                    status != SS_NO_DEVICE && status != SS_INVALID_SRB;
  if (carriedOut && (srb->flags & SRB_EVENT_NOTIFY) && srb->postEvent) {
    srb->postEvent->Set();
    return SS_PENDING;
  }
  return status;
}

bool CdHostLayer::TranslateAddress(uint32_t path, uint32_t* deviceNode) const {
  *deviceNode = 0;
  int adapter = static_cast<int>((path >> 16) & 0xFF);
  int target = static_cast<int>((path >> 8) & 0xFF);
  int lun = static_cast<int>(path & 0xFF);
  for (size_t i = 0; i < drives_.size(); ++i) {
    const HostDrive& d = drives_[i];
    if (d.onHostAdapter && d.adapter == adapter && d.target == target && d.lun == lun) {
      *deviceNode = static_cast<uint32_t>(i + 1);
      return true;
    }
  }
  return false;
}

std::string CdHostLayer::InquiryVendor(CdDevice* device) const {
  uint8_t answer[36] = {};
  ScsiRequestBlock srb;
  srb.flags = SRB_DIR_IN;
  srb.buffer = answer;
  srb.bufferLength = sizeof answer;
  srb.cdbLength = 6;
  srb.cdb[0] = kScsiInquiry;
  srb.cdb[4] = sizeof answer;
  srb.timeoutMs = 1000;
  if (device->Execute(&srb) != SS_COMP) return "";
  return TrimRight(std::string(reinterpret_cast<const char*>(answer + 8), 8));
}

bool CdHostLayer::DeviceNodeInfo(uint32_t deviceNode, std::string* hardwareKey,
                                 std::string* letter) const {
  if (deviceNode == 0 || deviceNode > drives_.size()) return false;
  CdDevice* device = drives_[deviceNode - 1].device.get();
  *letter = device->Letter();
  *hardwareKey = "SCSI\\CDROM\\" + *letter;
  return true;
}

std::vector<std::string> CdHostLayer::CdRomLetters() const {
  std::vector<std::string> letters;
  for (const HostDrive& d : drives_) letters.push_back(d.device->Letter());
  return letters;
}

std::vector<CdHostLayer::DeviceRecord> CdHostLayer::DeviceRecords() const {
  std::vector<DeviceRecord> records;
  for (const HostDrive& d : drives_) {
    if (!d.onHostAdapter) continue;
    records.push_back({d.device->DeviceType(), d.lun, d.target, InquiryVendor(d.device.get()),
                       d.device->Letter()});
  }
  return records;
}

CdDevice* CdHostLayer::OpenAudioDevice(const std::string& letter, int adapter, int target,
                                       int lun) const {
  CdDevice* found = nullptr;
  for (const HostDrive& d : drives_) {
    if (d.device->Letter() != letter) continue;
    if (d.onHostAdapter && d.adapter == adapter && d.target == target && d.lun == lun)
      return d.device.get();
    if (!found) found = d.device.get();
  }
  return found;
}

std::unique_ptr<CdHostLayer> LoadCdHostLayer() {
  InstallCdioLogHandler();
  if (const char* list = std::getenv("SORN_DRIVES"); list && *list)
    return CdHostLayer::FromDriveStrings(SplitDriveList(list));

  auto layer = CdHostLayer::FromDriveStrings(ListCdDevicePaths());
  if (layer->DriveCount() == 0) {
    std::string demo = DemoDiscPath();
    std::error_code ec;
    if (!demo.empty() && std::filesystem::is_regular_file(demo, ec))
      layer = CdHostLayer::FromDriveStrings({"image:" + demo});
  }
  return layer;
}
