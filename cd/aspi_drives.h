// CD drive discovery: finds the CD drives on the host adapters, asks each for its identity and
// whether it answers the CD capabilities page (ATAPI), works out which letter belongs to which
// drive, decides how the selected drive's digital audio is read (read command family, sector
// size, byte order), and opens a CD audio device per drive for the player.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cd/cd_device.h"
#include "platform/cd/host_layer.h"
#include "platform/cd/scsi.h"

inline constexpr int kMaxCdDrives = 8;
inline constexpr int kMaxDriveLetters = 26;
inline constexpr int kInquiryDataLength = 36;

// Read command families (the exact CDB of each is built by BuildReadCdb).
enum ReadMethod : int32_t {
  kReadMethodScsiRead10 = 0,
  kReadMethodNec = 1,
  kReadMethodCdda = 2,
  kReadMethodAtapiReadCd = 3,
};

inline constexpr int32_t kSectorSizeStandard = 2352;
inline constexpr int32_t kSectorSizeWithSubchannel = 2368;

struct CdDrive {
  std::string letter;  // device path (or image path) standing for the drive letter
  char vendor[9] = {};
  char product[17] = {};
  std::string description;  // "%s %s %s" of letter, vendor, product
  int32_t atapi = 0;
  int32_t hostAdapter = 0;
  int32_t lun = 0;
  int32_t targetId = 0;
  int mciDeviceId = 0;            // 0 when the CD audio device is not open
  CdDevice* mciDevice = nullptr;  // the drive's CD audio device
};

// How the selected drive's audio sectors are read.
struct DriveReadSettings {
  int32_t readMethod = kReadMethodScsiRead10;
  int32_t sectorSize = kSectorSizeStandard;
  int32_t swapBytes = 0;
};

struct CdDriveState {
  std::unique_ptr<CdHostLayer> layer;  // the loaded host adapter layer
  void* mainWindow = nullptr;
  int translateAddressOkay = 0;
  CdDrive drives[kMaxCdDrives];
  int driveCount = 0;
  bool adapterPresent[kMaxHostAdapters] = {};
  std::vector<std::string> cdromLetters;  // CD-ROM letters the system reports (at most 26)
  int scanningDrive = 0;                  // record being filled by ScanDrives
  int64_t freeDiskMegabytes = 0;

  // The selected drive's address, used by every command the reader sends.
  std::atomic<int32_t> currentAdapter{0};
  std::atomic<int32_t> currentTarget{0};
  std::atomic<int32_t> currentLun{0};
  std::atomic<int32_t> currentAtapi{0};

  // Read settings of the selected drive (MoreDriveConfiguration).
  std::atomic<int32_t> readMethod{kReadMethodScsiRead10};
  std::atomic<int32_t> sectorSize{kSectorSizeStandard};
  std::atomic<int32_t> swapBytes{0};
};

extern CdDriveState cdDrives;

// Start-up: 0 on success, -1 on a fatal error (a "Terminal Error" box has been shown and the
// program is to quit). Uses the layer the configuration asks for.
int InitCdDrives(void* window);
// The same over a given layer (null: the layer could not be loaded).
int InitCdDrivesWithLayer(void* window, std::unique_ptr<CdHostLayer> layer);
// Closes the drives and unloads the layer (program end).
void ReleaseCdDrives();

// Adapter count (0 when the layer reports a failure, with the reason logged).
int initSCSI();
// Fills the drive table; 0, or -1 when no drive was found.
int ScanDrives();
int inquire_data(uint8_t* buffer, int length, int adapter, int lun, int target);
int read_mode_atapi(uint8_t* buffer, int length, int adapter, int lun, int target);
// Mode page 0x2A of the drive being scanned; SS_COMP means the drive is ATAPI.
int check_atapi();

void FindDriveLetters();
int FetchDriveLetter(uint32_t deviceNode);
int MatchDriveLetter();

// Read settings by vendor and product (the quirk table), before and after the ATAPI and
// model overrides.
DriveReadSettings VendorReadSettings(const char* vendor, const char* product);
DriveReadSettings DriveQuirks(const char* vendor, const char* product, int atapi);
// Sets readMethod, sectorSize and swapBytes for the selected drive.
void MoreDriveConfiguration();

void GetSelectedDriveLetter(std::string* text);
// Makes drive `index` the selected one: the current-drive address and the player's CD audio
// device follow it (the read settings stay as they are). Out of range: drive 0.
void UseSelectedDrive(int index);

// Sends a request to the loaded layer (SS_NO_ASPI without one).
int SendASPI32Command(ScsiRequestBlock* srb);
