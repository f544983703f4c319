// The image drive: a simulated CD drive playing a disc image (CUE/BIN, cdrdao TOC or NRG)
// through libcdio's image drivers, or a CUE sheet of CD+G rip tracks (image_disc.h). It answers
// the SCSI commands a real drive answers (INQUIRY, MODE SENSE page 0x2A, TEST UNIT READY and the
// four audio read commands READ(10), 0xD4, 0xD8 and READ CD) and the CD audio status calls, with
// a tray that opens and closes and a disc that can be taken out or swapped.
//
// Drive string: [image:]PATH[,option...] with the options
//   vendor=V           INQUIRY vendor identification (at most 8 characters; default "SORN")
//   product=P          INQUIRY product identification (at most 16; default "IMAGE DRIVE")
//   atapi=0|1          whether the drive answers the CD capabilities mode page (default 1)
//   swap               deliver audio samples big-endian
//   jitter=J           every read that continues a run (its first sector lies inside the
//                      previous read) starts a pseudo-random even number of bytes within
//                      +-J away from where it was asked
//   read-error=F-L     reads touching sectors F..L fail with a medium error (may repeat)
//   no-disc            the drive starts empty
//   dvd                the disc is a DVD: present, never ready for CD audio
//   data               every track of the disc is a data track
//   label=L            volume label (default: the image's ISO 9660 label, else its file name)
//   speed=K            maximum read speed in the capabilities page, kB/s (default 7056)
//   virtual            a drive the system lists but the host adapters do not see
//   cdg=[N:]PATH       the CD+G packs of track N (default 1) are in the .cdg file PATH
//   rw=corrected|raw|none
//                      which R-W sub-channel READ CD offers: de-interleaved and corrected
//                      (selection 4) and raw P-W (selection 1), the default; raw P-W only;
//                      none (the capabilities page then says so)
//   rw-alone           READ CD gives the R-W sub-channel only without the audio (with it, the
//                      command is refused), as some drives do
//   rw-with-audio      READ CD gives the R-W sub-channel only with the audio (alone, the command
//                      is refused), as some drives do
//
// Sub-channel: READ CD answers the R-W sub-channel (raw P-W or packs, with or without the
// audio) from the image or files beside it, the first found for a sector winning: the cdg=
// files; the sectors of a CUE sheet of CDG tracks (2448 bytes each, see image_disc.h); a .cdg
// named like a track (its own FILE or its TITLE in the CUE sheet) for that track; a .cdg
// named like the image for the disc from its first sector; a .sub named like the image (raw
// P-W of every sector). A file found beside the image that cannot be read is traced and left
// out; a cdg= file that cannot be read keeps the disc from loading.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/cd/cd_device.h"
#include "platform/cd/subcode_files.h"

class ImageDisc;

struct ImageDriveOptions {
  std::string path;
  std::string vendor = "SORN";
  std::string product = "IMAGE DRIVE";
  std::string revision = "1.0";
  int atapi = 1;
  bool swap = false;
  int jitter = 0;
  std::vector<std::pair<int32_t, int32_t>> readErrors;  // inclusive sector ranges
  bool noDisc = false;
  bool dvd = false;
  bool dataOnly = false;
  bool virtualDrive = false;
  std::string label;
  int maxReadSpeed = 7056;
  std::vector<std::pair<int, std::string>> cdgFiles;  // track, .cdg path
  enum class RwSubchannel { kCorrected, kRaw, kNone } rw = RwSubchannel::kCorrected;
  bool rwAlone = false;
  bool rwWithAudio = false;
};

// True when the drive string names a disc image rather than a device.
bool IsImageDriveString(const std::string& text);

// Parses a drive string. On a malformed string returns false with the reason in *error.
bool ParseImageDriveString(const std::string& text, ImageDriveOptions* options, std::string* error);

// The files a disc image is made of: the image itself and, for a CUE sheet or a cdrdao TOC
// file, the data files its FILE (DATAFILE, AUDIOFILE) lines name, relative to its folder.
std::vector<std::string> ImageFiles(const std::string& imagePath);

class ImageCdDevice final : public CdDevice {
 public:
  // Opens the drive and, unless no-disc, loads its image. Null with *error when the image
  // cannot be opened.
  static std::unique_ptr<ImageCdDevice> Open(const ImageDriveOptions& options, std::string* error);
  ~ImageCdDevice() override;

  std::string Letter() const override { return options_.path; }
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

  // The disc itself: put another image in (replacing any disc) or take it out. The tray keeps
  // its position; a disc in an open tray is not present until the tray closes.
  bool InsertDisc(const std::string& path, std::string* error);
  void RemoveDisc();
  bool TrayOpen() const;
  const ImageDriveOptions& Options() const { return options_; }
  // Audio read commands answered so far (successful or not).
  int ReadCommandCount() const;
  // The sub-channel files of the disc in the drive (their paths, in the order they count).
  std::vector<std::string> SubcodePaths() const;

 private:
  explicit ImageCdDevice(const ImageDriveOptions& options);
  bool DiscReady() const;  // a disc is loaded and the tray is closed
  int Inquiry(ScsiRequestBlock* srb);
  int ModeSense(ScsiRequestBlock* srb);
  int Read(ScsiRequestBlock* srb);
  bool SectorsAreAudio(int32_t first, int32_t count) const;
  // Raw audio from byte position firstByte (counted from sector 0); what lies outside the disc
  // reads as silence. False when the image cannot be read.
  bool ReadAudioBytes(int64_t firstByte, uint8_t* out, size_t length) const;
  int NextJitter();
  // The sub-channel selection of a READ CD (0 none, 1 raw P-W, 4 packs) and the bytes it adds
  // to each sector; -1 for a selection this drive does not answer.
  int SubchannelBytes(int selection) const;

  SubcodeStore subcode_;
  mutable std::mutex lock_;
  ImageDriveOptions options_;
  std::unique_ptr<ImageDisc> disc_;
  bool trayOpen_ = false;
  int32_t leadOut_ = 0;  // first sector after the disc's last track
  int64_t lastReadStart_ = -1;
  int64_t lastReadEnd_ = -1;
  uint32_t random_ = 0x9E3779B9u;
  int readCommands_ = 0;
};
