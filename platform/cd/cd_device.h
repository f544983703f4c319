// One CD drive as the platform offers it: SCSI pass-through (identity, mode pages, audio
// reads), the CD audio status the player asks for (media, mode, tracks in packed MSF), the tray
// and the volume label. Two backends implement it: real drives through libcdio and image
// drives over a CUE/BIN (or TOC/NRG) image.
//
// Status calls return 0 or a CD audio device error code (MCIERR_*), which MciErrorText turns
// into a text once InstallCdErrorTexts has run. Every call may come from any thread; each
// backend serialises its own calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/cd/scsi.h"

// Drive modes.
inline constexpr int MCI_MODE_NOT_READY = 0x20C;
inline constexpr int MCI_MODE_STOP = 0x20D;
inline constexpr int MCI_MODE_OPEN = 0x212;

// Track types.
inline constexpr int MCI_CDA_TRACK_AUDIO = 0x440;
inline constexpr int MCI_CDA_TRACK_OTHER = 0x441;

// Error codes.
inline constexpr int MCIERR_INVALID_DEVICE_ID = 257;
inline constexpr int MCIERR_HARDWARE = 262;
inline constexpr int MCIERR_UNSUPPORTED_FUNCTION = 274;
inline constexpr int MCIERR_DEVICE_NOT_READY = 276;
inline constexpr int MCIERR_OUTOFRANGE = 282;

// Installs the texts of the error codes above for MciErrorText (idempotent).
void InstallCdErrorTexts();

// Positions: frames of 1/75 s; packed MSF has minutes in the low byte, seconds in the next,
// frames in the third.
inline constexpr int kFramesPerSecond = 75;
inline constexpr int kFramesPerMinute = 75 * 60;
inline constexpr int kLeadInFrames = 150;  // frame of logical block 0
inline constexpr int kRawSectorBytes = 2352;

inline uint32_t PackMsf(int minutes, int seconds, int frames) {
  return (static_cast<uint32_t>(minutes) & 0xFF) | ((static_cast<uint32_t>(seconds) & 0xFF) << 8) |
         ((static_cast<uint32_t>(frames) & 0xFF) << 16);
}
inline int MsfMinutes(uint32_t msf) {
  return static_cast<int>(msf & 0xFF);
}
inline int MsfSeconds(uint32_t msf) {
  return static_cast<int>((msf >> 8) & 0xFF);
}
inline int MsfFrames(uint32_t msf) {
  return static_cast<int>((msf >> 16) & 0xFF);
}
inline int32_t MsfToFrames(uint32_t msf) {
  return (MsfMinutes(msf) * 60 + MsfSeconds(msf)) * kFramesPerSecond + MsfFrames(msf);
}
inline uint32_t FramesToMsf(int32_t frames) {
  if (frames < 0) frames = 0;
  return PackMsf(frames / kFramesPerMinute, frames / kFramesPerSecond % 60,
                 frames % kFramesPerSecond);
}

class CdDevice {
 public:
  virtual ~CdDevice() = default;

  // What stands for the drive letter: the device path of a real drive, the image's path.
  virtual std::string Letter() const = 0;
  virtual int DeviceType() const { return kDeviceTypeCdRom; }

  // Runs one SCSI command with data in (srb->cdb, buffer, sense). Sets and returns srb->status:
  // SS_COMP, or SS_ERR with the target status and sense filled in.
  virtual int Execute(ScsiRequestBlock* srb) = 0;

  // CD audio status. Track numbers start at 1.
  virtual int StatusMediaPresent(int* present) = 0;
  virtual int StatusMode(int* mode) = 0;
  virtual int StatusTrackCount(int* count) = 0;
  virtual int StatusTrackType(int track, int* type) = 0;
  virtual int StatusTrackLength(int track, uint32_t* msf) = 0;
  virtual int StatusTrackPosition(int track, uint32_t* msf) = 0;  // absolute start of the track
  virtual int StatusDiscLength(uint32_t* msf) = 0;
  virtual int SetTimeFormatMsf() { return 0; }  // positions are always packed MSF here

  // Tray.
  virtual int SetDoor(bool open) = 0;

  // The volume label of the disc's first data track ("" when there is none).
  virtual std::string VolumeLabel() = 0;
};
