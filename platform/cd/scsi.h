// SCSI pass-through requests for CD drives, in the shape of a host adapter layer's request
// blocks: a command code, an adapter/target/LUN address, a status, and for SCSI commands the
// CDB, the data-in buffer and the sense bytes. The values are the host adapter layer's own.
#pragma once

#include <cstdint>

class Event;

// Request commands.
inline constexpr int SC_HA_INQUIRY = 0x00;
inline constexpr int SC_GET_DEV_TYPE = 0x01;
inline constexpr int SC_EXEC_SCSI_CMD = 0x02;

// Request status.
inline constexpr int SS_PENDING = 0x00;
inline constexpr int SS_COMP = 0x01;
inline constexpr int SS_ABORTED = 0x02;
inline constexpr int SS_ERR = 0x04;
inline constexpr int SS_INVALID_CMD = 0x80;
inline constexpr int SS_INVALID_HA = 0x81;
inline constexpr int SS_NO_DEVICE = 0x82;
inline constexpr int SS_INVALID_SRB = 0xE0;
inline constexpr int SS_OLD_MANAGER = 0xE1;
inline constexpr int SS_ILLEGAL_MODE = 0xE2;
inline constexpr int SS_NO_ASPI = 0xE3;

// Request flags.
inline constexpr unsigned SRB_DIR_IN = 0x08;
inline constexpr unsigned SRB_EVENT_NOTIFY = 0x40;

inline constexpr int kMaxHostAdapters = 8;
inline constexpr int kSenseLength = 14;      // sense bytes asked for with every command
inline constexpr int kSenseAreaLength = 16;  // room for them in a request

// Target status.
inline constexpr int kTargetStatusGood = 0x00;
inline constexpr int kTargetStatusCheckCondition = 0x02;

// Peripheral device types of the CD family.
inline constexpr int kDeviceTypeWriteOnce = 4;
inline constexpr int kDeviceTypeCdRom = 5;
inline constexpr int kDeviceTypeNone = 0x1F;

// Operation codes the CD code sends.
inline constexpr uint8_t kScsiTestUnitReady = 0x00;
inline constexpr uint8_t kScsiInquiry = 0x12;
inline constexpr uint8_t kScsiRead10 = 0x28;
inline constexpr uint8_t kScsiModeSense10 = 0x5A;
inline constexpr uint8_t kScsiReadCd = 0xBE;
inline constexpr uint8_t kScsiReadNec = 0xD4;
inline constexpr uint8_t kScsiReadCdda = 0xD8;
inline constexpr uint8_t kModePageCdCapabilities = 0x2A;

// Sense keys and additional sense codes the drives report.
inline constexpr int kSenseKeyNotReady = 0x02;
inline constexpr int kSenseKeyMediumError = 0x03;
inline constexpr int kSenseKeyIllegalRequest = 0x05;
inline constexpr int kAscUnrecoveredReadError = 0x11;
inline constexpr int kAscInvalidOpcode = 0x20;
inline constexpr int kAscLbaOutOfRange = 0x21;
inline constexpr int kAscInvalidFieldInCdb = 0x24;
inline constexpr int kAscMediumNotPresent = 0x3A;
inline constexpr int kAscIllegalModeForTrack = 0x64;

struct ScsiRequestBlock {
  int command = SC_EXEC_SCSI_CMD;
  int status = SS_PENDING;  // written by the layer when the request completes
  int adapter = 0;
  int target = 0;
  int lun = 0;
  unsigned flags = 0;

  // SC_HA_INQUIRY answer.
  int adapterCount = 0;
  char managerId[17] = {};
  char adapterId[17] = {};

  // SC_GET_DEV_TYPE answer.
  int deviceType = kDeviceTypeNone;

  // SC_EXEC_SCSI_CMD: data-in buffer, CDB, and what came back.
  uint8_t* buffer = nullptr;
  uint32_t bufferLength = 0;
  int senseLength = kSenseLength;
  int cdbLength = 0;
  uint8_t cdb[16] = {};
  int hostStatus = 0;
  int targetStatus = kTargetStatusGood;
  uint8_t sense[kSenseAreaLength] = {};
  uint32_t timeoutMs = 30000;  // how long the drive may take before the command is abandoned

  // Signalled when the request completes (with SRB_EVENT_NOTIFY).
  Event* postEvent = nullptr;
};

// Sense key and additional sense code of a completed request (fixed-format sense).
inline int SenseKey(const ScsiRequestBlock& srb) {
  return srb.sense[2] & 0x0F;
}
inline int SenseCode(const ScsiRequestBlock& srb) {
  return srb.sense[12];
}
