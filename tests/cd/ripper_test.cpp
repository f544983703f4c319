// Ripping a track to a WAV file through the reader in rip mode: bit-exact copies over every
// read method, overlaps and byte order, a jittery drive, failing sectors, the free-space test,
// the header fix-up and file names made from titles.
#include "cd/ripper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "cd/aspi_drives.h"
#include "cd/cd_reader.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "platform/cd/host_layer.h"
#include "platform/cd/image_drive.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/cd/ring_test_support.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/trace_capture.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSector = 2352;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The disc's bytes from..from+count.
std::vector<uint8_t> DiscBytes(int64_t from, int64_t count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) bytes[static_cast<size_t>(i)] = PatternByte(from + i);
  return bytes;
}

// A WAV file of 16-bit stereo 44,100 Hz whose header names exactly the data that follows.
std::vector<uint8_t> CheckedWavData(const fs::path& path) {
  std::vector<uint8_t> file = ReadFileBytes(path);
  EXPECT_GE(file.size(), 44u);
  if (file.size() < 44) return {};
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(file, 4), file.size() - 8);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(file, 16), 16u);
  EXPECT_EQ(Le32(file, 20), 0x00020001u);  // PCM, 2 channels
  EXPECT_EQ(Le32(file, 24), 44100u);
  EXPECT_EQ(Le32(file, 28), 176400u);
  EXPECT_EQ(Le32(file, 32), 0x00100004u);  // block align 4, 16 bits
  EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
  EXPECT_EQ(Le32(file, 40), file.size() - 44);
  return std::vector<uint8_t>(file.begin() + 44, file.end());
}

int64_t freeMegabytes = 1 << 20;
int64_t FakeFreeSpace(const std::string&) {
  return freeMegabytes;
}

class Ripper : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScratchCdInfoFolder(dir_.path());
    ResetRingForTest();
    // 2 s, 5 s and 3 s.
    cue_ = WriteDiscImage(dir_.path(), "disc", {{150}, {375}, {225}});
  }
  void TearDown() override {
    SetFreeSpaceProbe(nullptr);
    SetRipOutputPath("");
    SetCdReaderMessagePump(nullptr);
    ReleaseCdDrives();
    ResetCdPlayer();
    ResetRingForTest();
    SetLogFolderSource(nullptr);
  }

  void Load(std::unique_ptr<CdHostLayer> layer) {
    ASSERT_EQ(InitCdDrivesWithLayer(nullptr, std::move(layer)), 0);
    ResetCdPlayer();
    SetMSFformat();
    CdTimerHandler(nullptr);
    ASSERT_EQ(player.cdState.load(), CD_STOP);
  }
  void Load(const std::string& driveString) { Load(CdHostLayer::FromDriveStrings({driveString})); }
  // Rips track index `track` with overlap N into out.wav and returns its audio.
  std::vector<uint8_t> Rip(int track, int overlap) {
    settings.jitterBuffer = overlap;
    player.currentTrack = track;
    const fs::path out = dir_.path() / "out.wav";
    fs::remove(out);
    SetRipOutputPath(out.string());
    CdReadDriver(nullptr, kReaderRip);
    EXPECT_EQ(player.readerBusy.load(), 0);
    EXPECT_EQ(LastRipResult().path, out.string());
    return CheckedWavData(out);
  }

  ScratchDir dir_;
  std::string cue_;
};

TEST_F(Ripper, RipsAreBitExactForEveryReadMethodAndOverlap) {
  // READ CD (an ATAPI drive), READ(10), the NEC and the 0xD8 commands, and a drive that
  // delivers 2368-byte blocks.
  const char* drives[] = {"", ",atapi=0", ",atapi=0,vendor=NEC", ",atapi=0,vendor=SONY",
                          ",atapi=0,vendor=TOSHIBA"};
  const std::vector<uint8_t> track = DiscBytes(150 * kSector, 375 * kSector);
  for (const char* options : drives) {
    Load(cue_ + options);
    for (int overlap = 0; overlap <= 3; ++overlap) {
      SCOPED_TRACE(std::string(options) + " N=" + std::to_string(overlap));
      const std::vector<uint8_t> audio = Rip(1, overlap);
      ASSERT_EQ(audio.size(), track.size());
      EXPECT_TRUE(audio == track);
    }
    ReleaseCdDrives();
  }
}

TEST_F(Ripper, OverlappingReadsStepBackTwiceTheOverlap) {
  std::string error;
  auto recorder = std::make_unique<CdbRecordingDevice>(OpenCdDevice(cue_, &error));
  CdbRecordingDevice* cdbs = recorder.get();
  auto layer = std::make_unique<CdHostLayer>();
  layer->AddDrive(std::move(recorder));
  Load(std::move(layer));
  auto readStarts = [&] {
    std::vector<int> starts;
    for (const auto& cdb : cdbs->cdbs) {
      if (cdb[0] == 0xBE) starts.push_back(cdb[2] << 24 | cdb[3] << 16 | cdb[4] << 8 | cdb[5]);
    }
    cdbs->cdbs.clear();
    return starts;
  };
  readStarts();
  Rip(0, 0);
  EXPECT_EQ(readStarts(), (std::vector<int>{0, 26, 52, 78, 104, 130}));
  Rip(0, 3);
  EXPECT_EQ(readStarts(), (std::vector<int>{0, 20, 40, 60, 80, 100, 120, 140}));
}

TEST_F(Ripper, AJitteryDriveRipsExactlyUpToOneOffset) {
  Load(cue_ + ",jitter=600");
  const std::vector<uint8_t> audio = Rip(1, 1);
  const std::vector<uint8_t> disc = DiscBytes(0, 750 * kSector);
  const int64_t trackStart = 150 * kSector, trackBytes = 375 * kSector;
  ASSERT_GE(static_cast<int64_t>(audio.size()), trackBytes - 600);
  ASSERT_LE(static_cast<int64_t>(audio.size()), trackBytes + 600);
  // Find the one offset at which the rip lines up with the disc.
  int64_t offset = -601;
  for (int64_t d = -600; d <= 600; d += 2) {
    if (std::equal(audio.begin(), audio.begin() + 4096, disc.begin() + trackStart + d)) {
      offset = d;
      break;
    }
  }
  ASSERT_NE(offset, -601) << "the rip starts within 600 bytes of the track";
  const size_t compared = static_cast<size_t>(trackBytes - 600 - std::abs(offset));
  EXPECT_TRUE(
      std::equal(audio.begin(), audio.begin() + compared, disc.begin() + trackStart + offset));
  EXPECT_GT(cdReader.jitter.positive + cdReader.jitter.negative, 0);
  EXPECT_EQ(cdReader.jitter.missed, 0);
}

TEST_F(Ripper, BigEndianDrivesRipTheSameAsLittleEndianOnes) {
  // A vendor whose drives deliver big-endian samples.
  Load(cue_ + ",swap,atapi=0,vendor=PHILIPS");
  ASSERT_EQ(cdDrives.swapBytes.load(), 1);
  const std::vector<uint8_t> track = DiscBytes(150 * kSector, 375 * kSector);
  TraceCapture trace;
  EXPECT_TRUE(Rip(1, 0) == track);
  EXPECT_TRUE(Rip(1, 2) == track) << "each sample is swapped once, after the overlap match";
  EXPECT_NE(trace.Text().find("swapping bytes"), std::string::npos);
}

TEST_F(Ripper, FailingSectorsAreLoggedAndTheRipGoesOn) {
  Load(cue_ + ",read-error=200-210");
  TraceCapture trace;
  const std::vector<uint8_t> audio = Rip(1, 0);
  ASSERT_EQ(audio.size(), static_cast<size_t>(375 * kSector));
  // Reads of 26 sectors from 150: 176-201 and 202-227 touch the bad sectors.
  EXPECT_NE(trace.Text().find("ReadCD: sectors 176-201 could not be read"), std::string::npos);
  EXPECT_NE(trace.Text().find("ReadCD: sectors 202-227 could not be read"), std::string::npos);
  const std::vector<uint8_t> track = DiscBytes(150 * kSector, 375 * kSector);
  const size_t bad = static_cast<size_t>(26 * kSector), badEnd = static_cast<size_t>(78 * kSector);
  EXPECT_TRUE(std::equal(audio.begin(), audio.begin() + bad, track.begin()));
  EXPECT_TRUE(std::all_of(audio.begin() + bad, audio.begin() + badEnd, [](uint8_t b) {
    return b == 0;
  })) << "what failed is silence, never stale audio";
  EXPECT_TRUE(std::equal(audio.begin() + badEnd, audio.end(), track.begin() + badEnd));
}

TEST_F(Ripper, FreeSpaceDecidesBeforeAnythingIsWritten) {
  // A 3-minute song: 13,500 sectors, 31,752,000 bytes, an estimate of 30 MB.
  SetFreeSpaceProbe(FakeFreeSpace);
  const fs::path out = dir_.path() / "long.wav";
  SetRipOutputPath(out.string());
  TraceCapture trace;
  freeMegabytes = 29;
  EXPECT_EQ(PrepareWavFile(0, 1000, 14500), 0);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_NE(trace.Text().find("file length in Mbytes =30\nfree disk space in Mbytes = 29\n"
                              "Not enough space to write file!\r free: 29\r Estimated size: 30\r "
                              "Samplelength: 31752000\r end: 14500\r start: 1000\n"),
            std::string::npos);
  freeMegabytes = 30;
  ASSERT_EQ(PrepareWavFile(0, 1000, 14500), 1);
  CloseWavFile();
  const std::vector<uint8_t> header = ReadFileBytes(out);
  ASSERT_EQ(header.size(), 44u);
  EXPECT_EQ(Le32(header, 40), 31752000u);
  EXPECT_EQ(Le32(header, 4), 31752036u);
}

TEST_F(Ripper, AStoppedRipHasAHeaderForWhatWasWritten) {
  Load(cue_);
  static int reads;
  reads = 0;
  SetCdReaderMessagePump([] {
    if (++reads == 3) CdReadDriver(nullptr, kReaderStop);
  });
  const std::vector<uint8_t> audio = Rip(1, 0);  // the header is checked against the size
  EXPECT_EQ(audio.size(), static_cast<size_t>(3 * 26 * kSector))
      << "the read that saw the stop is not written";
  EXPECT_TRUE(audio == DiscBytes(150 * kSector, 3 * 26 * kSector));
}

TEST_F(Ripper, FileNamesFromTitlesStayInTheFolder) {
  Load(cue_);
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    cdTitles.tracks[0].title = std::string("../../etc/pass\0wd", 17);
    cdTitles.tracks[1].title = "AC/DC: Back?";
    cdTitles.tracks[2].title = "..";
  }
  const std::string folder = settings.databasePath;
  EXPECT_EQ(RipFilePath(0), folder + "....etcpasswd.WAV");
  EXPECT_EQ(RipFilePath(1), folder + "ACDC Back.WAV");
  EXPECT_EQ(RipFilePath(2), folder + "Track 3.WAV");
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    cdTitles.tracks[2].title = ".";
  }
  EXPECT_EQ(RipFilePath(2), folder + "Track 3.WAV");

  // Without a file of its own the rip goes into the folder under the title.
  player.currentTrack = 1;
  CdReadDriver(nullptr, kReaderRip);
  EXPECT_EQ(CheckedWavData(folder + "ACDC Back.WAV").size(), static_cast<size_t>(375 * kSector));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"cd", "disc.bin", "disc.cue"}))
      << "nothing is written outside the folder";
}

}  // namespace
