// The host adapter layer: the CD drives of this process at host adapter / target / LUN
// addresses, answering adapter inquiries, device-type queries and SCSI commands, translating an
// address to the drive's device node and letter, listing the CD-ROM letters the system knows,
// and opening a drive's CD audio device by its letter.
//
// Which drives there are is configuration:
//   - SORN_DRIVES: drive strings separated by ";", each an image drive string (see
//     image_drive.h) or the path of a real drive ("/dev/sr1");
//   - otherwise the system's CD drives through libcdio;
//   - with none of those, the bundled demo disc as the one image drive, when it exists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cd/cd_device.h"
#include "platform/cd/scsi.h"

// Path of the demo disc image: $SORN_DEMO_DISC when set, else the one installed with the
// program (share/sorn-karaoke/demo beside its bin folder), else the demo disc the build
// generates; "" when none is known.
std::string DemoDiscPath();

// Splits a drive list at ";" (empty entries are dropped).
std::vector<std::string> SplitDriveList(const std::string& list);

// Opens one drive from its drive string: an image drive or a real device.
std::unique_ptr<CdDevice> OpenCdDevice(const std::string& driveString, std::string* error);

class CdHostLayer {
 public:
  CdHostLayer();

  // Builds a layer from drive strings; a string that cannot be opened is traced and left out.
  static std::unique_ptr<CdHostLayer> FromDriveStrings(const std::vector<std::string>& strings);

  // Adds a drive. Drives on the host adapters get the next address (adapter = n / 8,
  // target = n % 8, LUN 0); a virtual drive has a letter only.
  void AddDrive(std::unique_ptr<CdDevice> device, bool onHostAdapter = true);

  // Support information: (status << 8) | adapter count.
  uint32_t SupportInfo() const;
  // Runs a request (SC_HA_INQUIRY, SC_GET_DEV_TYPE, SC_EXEC_SCSI_CMD) to completion and sets
  // its status. A SCSI command sent with SRB_EVENT_NOTIFY and a post event signals the event
  // and answers SS_PENDING; every other request answers its final status.
  int SendCommand(ScsiRequestBlock* srb);

  // Address translation: path = (adapter << 16) | (target << 8) | lun.
  bool TranslateAddress(uint32_t path, uint32_t* deviceNode) const;
  // The hardware key and the letter of a device node.
  bool DeviceNodeInfo(uint32_t deviceNode, std::string* hardwareKey, std::string* letter) const;

  // The letters of every CD-ROM drive the system lists, virtual drives included.
  std::vector<std::string> CdRomLetters() const;

  // The system's record of each drive on the host adapters.
  struct DeviceRecord {
    int deviceType;
    int lun;
    int target;
    std::string manufacturer;
    std::string letter;
  };
  std::vector<DeviceRecord> DeviceRecords() const;

  // Opens the CD audio device of a letter; when several drives share the letter, the one at
  // the given address wins. Null when no drive has the letter.
  CdDevice* OpenAudioDevice(const std::string& letter, int adapter, int target, int lun) const;

  int DriveCount() const { return static_cast<int>(drives_.size()); }
  CdDevice* Drive(int index) const;

  // What the layer reports; tests set other values to see the start-up's answers.
  int supportStatus = SS_COMP;
  bool translateAvailable = true;

 private:
  struct HostDrive {
    std::unique_ptr<CdDevice> device;
    bool onHostAdapter;
    int adapter;
    int target;
    int lun;
  };
  const HostDrive* DriveAt(int adapter, int target, int lun) const;
  std::string InquiryVendor(CdDevice* device) const;

  std::vector<HostDrive> drives_;
  int nextAddress_ = 0;
};

// The layer this process's configuration asks for (see above).
std::unique_ptr<CdHostLayer> LoadCdHostLayer();
