// A real CD drive through libcdio: SCSI commands through MMC pass-through (SG_IO underneath),
// the table of contents, media presence and the tray.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/cd/cd_device.h"

struct _CdIo;

// Device paths of the CD drives the system has (e.g. "/dev/sr0").
std::vector<std::string> ListCdDevicePaths();

class LibcdioCdDevice final : public CdDevice {
 public:
  // Null with *error when the device cannot be opened.
  static std::unique_ptr<LibcdioCdDevice> Open(const std::string& path, std::string* error);
  ~LibcdioCdDevice() override;

  std::string Letter() const override { return path_; }
  int DeviceType() const override;
  int Execute(ScsiRequestBlock* srb) override;

  int StatusMediaPresent(int* present) override;
  int StatusMode(int* mode) override;
  int StatusTrackCount(int* count) override;
  int StatusTrackType(int track, int* type) override;
  int StatusTrackLength(int track, uint32_t* msf) override;
  int StatusTrackPosition(int track, uint32_t* msf) override;
  int StatusDiscLength(uint32_t* msf) override;
  int SetDoor(bool open) override;
  std::string VolumeLabel() override;

 private:
  LibcdioCdDevice(const std::string& path, _CdIo* cdio);
  // The table of contents libcdio holds is read once per handle: after the disc was seen
  // missing, the handle is opened again before the next table query.
  int FreshHandle();

  mutable std::mutex lock_;
  std::string path_;
  _CdIo* cdio_ = nullptr;
  bool tocStale_ = false;
};
