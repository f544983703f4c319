// Fuzzes the CUE reading path: the input is a CUE sheet beside a small BIN file; the image drive
// opens it as a disc, answers the track table the player scans, names the files the image is
// made of, and reads each track's first and last sectors. Whatever the sheet says, the lengths
// it answers are never negative nor longer than the disc, and reads stay in their buffers.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "platform/cd/image_drive.h"

namespace {

constexpr int kBinSectors = 400;

// A scratch folder with disc.bin (a pattern, so that reads of it are not all zero).
const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    SetTraceSink([](const std::string&) {});
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("sorn-fuzz-cue-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    std::ofstream bin(path / "disc.bin", std::ios::binary);
    for (int i = 0; i < kBinSectors * kRawSectorBytes; ++i) bin.put(static_cast<char>(i * 7));
    return path;
  }();
  return folder;
}

void Read(ImageCdDevice* drive, int32_t lba, int count, int blockBytes) {
  std::vector<uint8_t> buffer(static_cast<size_t>(count * blockBytes));
  ScsiRequestBlock srb;
  srb.buffer = buffer.data();
  srb.bufferLength = static_cast<uint32_t>(buffer.size());
  srb.cdbLength = 12;
  srb.cdb[0] = kScsiReadCd;
  srb.cdb[1] = 0x04;
  for (int i = 0; i < 4; ++i) srb.cdb[2 + i] = static_cast<uint8_t>(lba >> (24 - 8 * i));
  srb.cdb[8] = static_cast<uint8_t>(count);
  srb.cdb[9] = 0x10;
  drive->Execute(&srb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path cue = Folder() / "disc.cue";
  {
    std::ofstream sheet(cue, std::ios::binary | std::ios::trunc);
    sheet.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (const std::string& file : ImageFiles(cue.string()))
    if (file.empty()) std::abort();

  ImageDriveOptions options;
  options.path = cue.string();
  std::string error;
  std::unique_ptr<ImageCdDevice> drive = ImageCdDevice::Open(options, &error);
  if (!drive) {
    if (error.empty()) std::abort();
    return 0;
  }
  int count = 0;
  if (drive->StatusTrackCount(&count) != 0) return 0;
  if (count < 1 || count > 99) std::abort();
  // The table as the player scans it: when every track's place reads, the tracks are in order
  // and their lengths add up to the disc's (otherwise the player refuses the table).
  bool tableReads = true;
  int32_t previousEnd = -1, lengths = 0;
  for (int track = 1; track <= count; ++track) {
    uint32_t position = 0, length = 0;
    int type = 0;
    drive->StatusTrackType(track, &type);
    if (drive->StatusTrackPosition(track, &position) != 0 ||
        drive->StatusTrackLength(track, &length) != 0) {
      tableReads = false;
      continue;
    }
    const int32_t start = MsfToFrames(position), frames = MsfToFrames(length);
    if (frames < 0) std::abort();
    if (tableReads && previousEnd >= 0 && start != previousEnd) std::abort();
    previousEnd = start + frames;
    lengths += frames;
    // The track's first and last sectors, as the reader asks for them.
    const int32_t lba = start - kLeadInFrames;
    Read(drive.get(), lba, 1, kRawSectorBytes);
    if (frames > 0) Read(drive.get(), lba + frames - 1, 1, kRawSectorBytes);
  }
  uint32_t discLength = 0;
  if (tableReads && drive->StatusDiscLength(&discLength) == 0 && lengths != MsfToFrames(discLength))
    std::abort();
  drive->VolumeLabel();
  return 0;
}
