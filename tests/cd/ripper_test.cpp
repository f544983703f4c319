// Ripping a track to a WAV file through the reader in rip mode: bit-exact copies over every
// read method, overlaps and byte order, a jittery drive, failing sectors, the free-space test,
// the header fix-up and file names made from titles.
#include "cd/ripper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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

TEST_F(Ripper, AJitteryDriveRipsExactlyTheTrack) {
  // Reads land up to 600 bytes off; every overlap from one sector on corrects that, up to the
  // track's end (the next track's audio is never carried in, nothing is missing).
  Load(cue_ + ",jitter=600");
  // The disc's last track first: a rip that starts where the previous one ended continues the
  // drive's run, and its first read could not be matched with anything.
  const std::vector<uint8_t> last = DiscBytes(525 * kSector, 225 * kSector);
  for (int overlap = 1; overlap <= 3; ++overlap)
    EXPECT_TRUE(Rip(2, overlap) == last) << "the disc's last track, N=" << overlap;
  const std::vector<uint8_t> track = DiscBytes(150 * kSector, 375 * kSector);
  for (int overlap = 1; overlap <= 3; ++overlap) {
    EXPECT_TRUE(Rip(1, overlap) == track) << "N=" << overlap;
    EXPECT_GT(cdReader.jitter.positive + cdReader.jitter.negative, 0);
    EXPECT_EQ(cdReader.jitter.missed, 0);
  }
}

TEST_F(Ripper, JitterBeyondTheOverlapIsCountedAndReported) {
  Load(cue_ + ",jitter=4000");
  TraceCapture trace;
  EXPECT_EQ(Rip(1, 1).size(), static_cast<size_t>(375 * kSector)) << "still the track's length";
  const RipResult result = LastRipResult();
  EXPECT_GT(result.unmatchedReads, 0);
  EXPECT_EQ(result.unmatchedReads, cdReader.jitter.missed);
  EXPECT_NE(trace.Text().find(" reads of " + result.path + " could not be matched"),
            std::string::npos);
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

TEST_F(Ripper, SectorsThatCannotBeReadAreCountedAndNoFileIsKept) {
  Load(cue_ + ",read-error=200-210");
  const fs::path out = dir_.path() / "out.wav";
  SetRipOutputPath(out.string());
  player.currentTrack = 1;
  TraceCapture trace;
  CdReadDriver(nullptr, kReaderRip);
  // Reads of 26 sectors from 150: 176-201 and 202-227 touch the bad sectors; read again one
  // sector at a time, only the 11 bad ones fail.
  EXPECT_NE(trace.Text().find("ReadCD: sectors 176-201 could not be read"), std::string::npos);
  EXPECT_NE(trace.Text().find("ReadCD: read one at a time, 2 of sectors 176-201 failed"),
            std::string::npos);
  EXPECT_NE(trace.Text().find("ReadCD: read one at a time, 9 of sectors 202-227 failed"),
            std::string::npos);
  const RipResult result = LastRipResult();
  EXPECT_EQ(result.unreadableSectors, 11);
  EXPECT_EQ(result.path, "");
  EXPECT_EQ(result.error, "11 sectors could not be read");
  EXPECT_FALSE(fs::exists(out));
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "no partial file is left behind";
}

TEST_F(Ripper, AnImageShorterThanItsTableReadsWhatItHolds) {
  // A TOC file whose second track claims 300 sectors of a data file that ends after 200.
  WriteDiscImage(dir_.path(), "short", {{300}, {200}});
  const std::string bin = (dir_.path() / "short.bin").string();
  std::ofstream(dir_.path() / "short.toc")
      << "CD_DA\nTRACK AUDIO\nFILE \"" << bin << "\" 0 00:04:00\n"
      << "TRACK AUDIO\nFILE \"" << bin << "\" 00:04:00 00:04:00\n";
  Load((dir_.path() / "short.toc").string());
  player.currentTrack = 1;
  const fs::path out = dir_.path() / "out.wav";
  SetRipOutputPath(out.string());
  CdReadDriver(nullptr, kReaderRip);
  EXPECT_EQ(LastRipResult().unreadableSectors, 100) << "exactly the sectors past the data";
  EXPECT_FALSE(fs::exists(out));
  // The first track lies wholly in the data file.
  EXPECT_TRUE(Rip(0, 0) == DiscBytes(0, 300 * kSector));
}

TEST_F(Ripper, FreeSpaceAndTheFolderDecideBeforeAnythingIsWritten) {
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
  EXPECT_EQ(LastRipResult().error,
            "not enough space in " + dir_.path().string() + ": 29 MB free, 30 MB needed");
  // A folder that is not there is said to be missing, whatever space the disc has.
  SetRipOutputPath((dir_.path() / "gone" / "x.wav").string());
  EXPECT_EQ(PrepareWavFile(0, 1000, 14500), 0);
  EXPECT_EQ(LastRipResult().error,
            "the folder " + (dir_.path() / "gone").string() + ": No such file or directory");
  // With room, the file is prepared under a temporary name; a rip that never finishes leaves
  // nothing.
  freeMegabytes = 30;
  SetRipOutputPath(out.string());
  ASSERT_EQ(PrepareWavFile(0, 1000, 14500), 1);
  EXPECT_FALSE(fs::exists(out));
  CloseWavFile();
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 3)
      << "cd, disc.bin and disc.cue only";
}

TEST_F(Ripper, AStoppedRipLeavesTheEarlierFile) {
  Load(cue_);
  const fs::path out = dir_.path() / "out.wav";
  std::ofstream(out) << "an earlier rip";
  static int reads;
  reads = 0;
  SetCdReaderMessagePump([] {
    if (++reads == 3) CdReadDriver(nullptr, kReaderStop);
  });
  SetRipOutputPath(out.string());
  player.currentTrack = 1;
  CdReadDriver(nullptr, kReaderRip);
  EXPECT_EQ(LastRipResult().path, "");
  EXPECT_EQ(LastRipResult().error, "the rip was stopped before the track's end");
  EXPECT_EQ(ReadFileText(out), "an earlier rip");
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
