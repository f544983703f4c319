// Writes small CUE/BIN disc images for the CD tests, and test doubles around drives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/cd/cd_device.h"

struct TrackPlan {
  int frames = 75;       // length in sectors
  bool data = false;     // a MODE1/2352 data track
  int pregapFrames = 0;  // INDEX 00 this many sectors before INDEX 01 (inside the image)
};

// Writes NAME.bin and NAME.cue into dir and returns the .cue path. Audio sectors hold
// PatternByte of their disc byte position; a data track carries an ISO 9660 primary volume
// descriptor with volumeLabel (when not empty) in its 17th sector.
std::string WriteDiscImage(const std::filesystem::path& dir, const std::string& name,
                           const std::vector<TrackPlan>& tracks,
                           const std::string& volumeLabel = "");

// The audio byte at byte position `discByte` counted from sector 0.
uint8_t PatternByte(int64_t discByte);

// A unique scratch folder for the running test, removed by the destructor.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Passes everything to an inner drive and keeps every CDB sent.
class CdbRecordingDevice : public CdDevice {
 public:
  explicit CdbRecordingDevice(std::unique_ptr<CdDevice> inner) : inner_(std::move(inner)) {}
  std::string Letter() const override { return inner_->Letter(); }
  int Execute(ScsiRequestBlock* srb) override {
    cdbs.emplace_back(srb->cdb, srb->cdb + srb->cdbLength);
    bufferLengths.push_back(srb->bufferLength);
    return inner_->Execute(srb);
  }
  int StatusMediaPresent(int* p) override { return inner_->StatusMediaPresent(p); }
  int StatusMode(int* m) override { return inner_->StatusMode(m); }
  int StatusTrackCount(int* c) override { return inner_->StatusTrackCount(c); }
  int StatusTrackType(int t, int* type) override { return inner_->StatusTrackType(t, type); }
  int StatusTrackLength(int t, uint32_t* msf) override { return inner_->StatusTrackLength(t, msf); }
  int StatusTrackPosition(int t, uint32_t* msf) override {
    return inner_->StatusTrackPosition(t, msf);
  }
  int StatusDiscLength(uint32_t* msf) override { return inner_->StatusDiscLength(msf); }
  int SetDoor(bool open) override { return inner_->SetDoor(open); }
  std::string VolumeLabel() override { return inner_->VolumeLabel(); }
  CdDevice* inner() const { return inner_.get(); }

  std::vector<std::vector<uint8_t>> cdbs;
  std::vector<uint32_t> bufferLengths;

 protected:
  std::unique_ptr<CdDevice> inner_;
};
