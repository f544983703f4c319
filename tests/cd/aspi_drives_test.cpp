// Drive discovery on image drives: the quirk table, the identity and capability commands,
// the letters, the selected drive, and the fatal start-up cases.
#include "cd/aspi_drives.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "cd/player.h"
#include "cd/read_commands.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/image_drive.h"
#include "platform/cd/libcdio_drive.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/trace_capture.h"

namespace {

struct Box {
  std::string caption, text;
};

class BoxRecorder : public MessageBoxPresenter {
 public:
  int Show(void*, const std::string& caption, const std::string& text, unsigned) override {
    boxes.push_back({caption, text});
    return kIdOk;
  }
  std::vector<Box> boxes;
};

class DriveDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = Settings{};
    unsetenv("SORN_DRIVES");
    std::string folder = dir_.path().string() + "/";
    SetLogFolderSource([folder] { return folder; });
    SetMessageBoxPresenter(&boxes_);
    cue_ = WriteDiscImage(dir_.path(), "disc", {{300}, {300}});
  }
  void TearDown() override {
    ReleaseCdDrives();
    SetMessageBoxPresenter(nullptr);
    SetLogFolderSource(nullptr);
    unsetenv("SORN_DRIVES");
  }
  std::string Log() { return ReadFileText(dir_.path() / "SornLog.txt"); }
  std::unique_ptr<CdHostLayer> Layer(std::vector<std::string> strings) {
    return CdHostLayer::FromDriveStrings(strings);
  }

  ScratchDir dir_;
  BoxRecorder boxes_;
  std::string cue_;
};

struct QuirkCase {
  const char* vendor;
  const char* product;
  int atapi;
  int readMethod;
  int sectorSize;
  int swapBytes;
};

TEST(QuirkTable, ReadSettingsPerDriveModel) {
  const QuirkCase cases[] = {
      {"RICOH   ", "MP6200S CD-RW   ", 0, 2, 2352, 0},  // "MP" products keep their byte order
      {"RICOH   ", "CD-R/RW MP7060A ", 0, 2, 2352, 1},
      {"RICOH   ", "CD-R/RW MP7060A ", 1, 3, 2352, 0},  // ATAPI: READ CD, no swap
      {"SONY    ", "CDU-76E         ", 1, 3, 2352, 0},
      {"TOSHIBA ", "CD-ROM XM-6201TA", 0, 0, 2368, 0},
      {"IBM     ", "CDRM00203       ", 0, 0, 2368, 0},
      {"DEC     ", "RRD45           ", 0, 0, 2368, 0},
      {"TOSHIBA ", "CD-ROM XM-6702B ", 1, 3, 2352, 0},
      {"NEC     ", "CD-ROM DRIVE:462", 0, 1, 2352, 0},
      {"PLEXTOR ", "CD-ROM PX-40TS  ", 0, 2, 2352, 0},
      {"HITACHI ", "CDR-8435        ", 0, 2, 2352, 0},
      {"TEAC    ", "CD-532S         ", 0, 2, 2352, 0},
      {"HP      ", "CD-Writer+ 9100 ", 0, 0, 2352, 1},
      {"HP      ", "MS 4.2          ", 0, 0, 2352, 0},
      {"PHILIPS ", "CDD3610 CD-R/RW ", 0, 0, 2352, 1},
      {"MITSUMI ", "FX001DE         ", 0, 0, 2352, 1},
      {"MITSUMI ", "CD-ROM FX4820T  ", 0, 0, 2352, 0},  // "CD-R..." products keep theirs
      {"MITSUMI ", "CD-R   4801TE   ", 0, 0, 2352, 0},
      {"MATSHITA", "CD-ROM CR-588   ", 0, 0, 2352, 0},
      {"Cyberdrv", "CD-ROM TW240S   ", 0, 0, 2352, 0},
      {"LITEON  ", "CD-ROM LTN 264  ", 1, 3, 2352, 1},  // ATAPI, yet swapped
      {"LITEON  ", "CD-ROM LTN 262  ", 1, 3, 2352, 0},
      {"YAMAHA  ", "CRW4416S        ", 1, 2, 2352, 0},  // ATAPI, yet 0xD8
      {"YAMAHA  ", "CRW6416S        ", 0, 0, 2352, 0},
      {"SORN    ", "IMAGE DRIVE     ", 0, 0, 2352, 0},
  };
  for (const QuirkCase& c : cases) {
    DriveReadSettings s = DriveQuirks(c.vendor, c.product, c.atapi);
    EXPECT_EQ(s.readMethod, c.readMethod) << c.vendor << c.product << " atapi " << c.atapi;
    EXPECT_EQ(s.sectorSize, c.sectorSize) << c.vendor << c.product << " atapi " << c.atapi;
    EXPECT_EQ(s.swapBytes, c.swapBytes) << c.vendor << c.product << " atapi " << c.atapi;
  }
}

TEST_F(DriveDiscovery, FindsDrivesAndConfiguresTheSelectedOne) {
  std::vector<std::string> strings = {cue_ + ",vendor=PLEXTOR,product=CD-ROM PX-40TS",
                                      cue_ + ",vendor=RICOH,product=CD-R/RW MP7060A,atapi=0"};
  // Record the commands the second drive receives.
  std::string error;
  auto recorded = std::make_unique<CdbRecordingDevice>(OpenCdDevice(strings[1], &error));
  CdbRecordingDevice* recorder = recorded.get();
  auto withRecorder = std::make_unique<CdHostLayer>();
  withRecorder->AddDrive(OpenCdDevice(strings[0], &error));
  withRecorder->AddDrive(std::move(recorded));
  settings.selectedDrive = 1;

  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, std::move(withRecorder)), 0);
  EXPECT_TRUE(boxes_.boxes.empty());
  ASSERT_EQ(cdDrives.driveCount, 2);
  EXPECT_EQ(cdDrives.drives[0].atapi, 1);
  EXPECT_EQ(cdDrives.drives[1].atapi, 0);
  EXPECT_EQ(cdDrives.drives[1].targetId, 1);
  EXPECT_STREQ(cdDrives.drives[1].vendor, "RICOH   ");
  EXPECT_EQ(cdDrives.drives[1].letter, cue_);
  EXPECT_EQ(cdDrives.drives[1].description, cue_ + " RICOH    CD-R/RW MP7060A ");
  EXPECT_EQ(cdDrives.readMethod.load(), kReadMethodCdda);
  EXPECT_EQ(cdDrives.swapBytes.load(), 1);
  EXPECT_EQ(cdDrives.currentTarget.load(), 1);
  EXPECT_EQ(player.device.load(), cdDrives.drives[1].mciDevice);
  EXPECT_NE(player.device.load(), nullptr);

  // The capabilities page is asked twice (26, then 28 bytes) of the drive that lacks it, then
  // the identity.
  ASSERT_GE(recorder->cdbs.size(), 3u);
  EXPECT_EQ(recorder->cdbs[0], (std::vector<uint8_t>{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 26, 0, 0, 0}));
  EXPECT_EQ(recorder->cdbs[1][8], 28);
  EXPECT_EQ(recorder->cdbs[2], (std::vector<uint8_t>{0x12, 0, 0, 0, 36, 0}));

  std::string log = Log();
  EXPECT_NE(log.find("_translateAddessOkay = 1\n"), std::string::npos);
  EXPECT_NE(log.find("initSCSI - Okay;  NumAdapters = 1\n"), std::string::npos);
  EXPECT_NE(log.find("Found a Drive 1, HostID =0, LogicalUnit =0, TargetID =1\n"),
            std::string::npos);
  EXPECT_NE(log.find("Drive 0 is ATAPI \n"), std::string::npos);
  EXPECT_EQ(log.find("Drive 1 is ATAPI"), std::string::npos);
  EXPECT_NE(log.find("FetchDriveLetter found =" + cue_ + "\n"), std::string::npos);
  EXPECT_NE(log.find("MoreDriveConfiguration; original specdrive =2,   swapb =1\n"),
            std::string::npos);
  EXPECT_NE(log.find("Open Drive = 1\n"), std::string::npos);

  // The spin-up read goes out with the selected drive's read command.
  recorder->cdbs.clear();
  recorder->bufferLengths.clear();
  EXPECT_EQ(read_atapi(150), SS_COMP);
  ASSERT_EQ(recorder->cdbs.size(), 1u);
  EXPECT_EQ(recorder->cdbs[0], (std::vector<uint8_t>{0xD8, 0, 0, 0, 0, 150, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(recorder->bufferLengths[0], 2352u);
}

TEST_F(DriveDiscovery, ZeroSpeedByteAsksAgainWithMoreBytes) {
  // 5632 kB/s has a zero low byte.
  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, Layer({cue_ + ",speed=5632"})), 0);
  EXPECT_EQ(cdDrives.drives[0].atapi, 1);
  EXPECT_NE(Log().find("check_atapi - second try\n"), std::string::npos);
  EXPECT_EQ(cdDrives.readMethod.load(), kReadMethodAtapiReadCd);
}

TEST_F(DriveDiscovery, SingleDriveGetsTheOnlyLetterTheOldWay) {
  auto layer = Layer({cue_ + ",vendor=SONY"});
  layer->translateAvailable = false;
  TraceCapture trace;
  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, std::move(layer)), 0);
  EXPECT_NE(trace.Text().find("find drive letter the old way\n"), std::string::npos);
  EXPECT_NE(Log().find("only one drive letter = " + cue_ + "\n"), std::string::npos);
  EXPECT_EQ(cdDrives.drives[0].letter, cue_);
  EXPECT_NE(player.device.load(), nullptr);
}

TEST_F(DriveDiscovery, MoreLettersThanDrivesWarns) {
  std::string other = WriteDiscImage(dir_.path(), "other", {{100}});
  std::string virt = WriteDiscImage(dir_.path(), "virtual", {{100}});
  auto layer = Layer({cue_, other, virt + ",virtual"});
  layer->translateAvailable = false;
  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, std::move(layer)), 0);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].caption, "Warning");
  EXPECT_EQ(boxes_.boxes[0].text, "Different number of drives reported");
  EXPECT_EQ(cdDrives.driveCount, 2);
  EXPECT_EQ(cdDrives.cdromLetters.size(), 3u);
  EXPECT_EQ(cdDrives.drives[0].letter, cue_);
  EXPECT_TRUE(cdDrives.drives[1].letter.empty());
  EXPECT_EQ(cdDrives.drives[1].mciDevice, nullptr);
}

TEST_F(DriveDiscovery, EqualCountsAreMatchedByAddressAndMaker) {
  std::string other = WriteDiscImage(dir_.path(), "other", {{100}});
  auto layer = Layer({cue_ + ",vendor=TEAC", other + ",vendor=HITACHI"});
  layer->translateAvailable = false;
  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, std::move(layer)), 0);
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_EQ(cdDrives.drives[0].letter, cue_);
  EXPECT_EQ(cdDrives.drives[1].letter, other);
  EXPECT_NE(Log().find("MatchDriveLetter found =" + other + "\n"), std::string::npos);
}

TEST_F(DriveDiscovery, StoredSelectionOutOfRangeSelectsTheFirstDrive) {
  settings.selectedDrive = 5;
  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, Layer({cue_ + ",atapi=0,vendor=TOSHIBA", cue_})), 0);
  EXPECT_EQ(settings.selectedDrive, 0);
  EXPECT_EQ(cdDrives.sectorSize.load(), 2368);
  EXPECT_EQ(player.device.load(), cdDrives.drives[0].mciDevice);
  std::string letter;
  GetSelectedDriveLetter(&letter);
  EXPECT_EQ(letter, cue_);
}

TEST_F(DriveDiscovery, FatalStartUps) {
  EXPECT_EQ(InitCdDrivesWithLayer(nullptr, nullptr), -1);
  EXPECT_EQ(InitCdDrivesWithLayer(nullptr, Layer({})), -1);
  auto broken = Layer({cue_});
  broken->supportStatus = SS_NO_ASPI;
  TraceCapture trace;
  EXPECT_EQ(InitCdDrivesWithLayer(nullptr, std::move(broken)), -1);
  ASSERT_EQ(boxes_.boxes.size(), 3u);
  EXPECT_EQ(boxes_.boxes[0].text, "Wnaspi32.dll failed to open");
  EXPECT_EQ(boxes_.boxes[1].text, "No CDROM, DVD, CDR, or CD R/W drives found");
  EXPECT_EQ(boxes_.boxes[2].text, "No host adaptors or error in Winaspi.dll initialization");
  for (const Box& box : boxes_.boxes) EXPECT_EQ(box.caption, "Terminal Error");
  EXPECT_NE(Log().find("initSCSI - No ASPI managers were found!\n"), std::string::npos);
  EXPECT_NE(trace.Text().find("No ASPI managers were found!\n"), std::string::npos);
  EXPECT_EQ(cdDrives.layer, nullptr);
}

TEST_F(DriveDiscovery, DrivesComeFromTheEnvironment) {
  setenv("SORN_DRIVES",
         (cue_ + ",vendor=NEC,atapi=0;" + dir_.path().string() + "/gone.cue").c_str(), 1);
  TraceCapture trace;
  ASSERT_EQ(InitCdDrives(nullptr), 0);
  EXPECT_EQ(cdDrives.driveCount, 1);
  EXPECT_EQ(cdDrives.readMethod.load(), kReadMethodNec);
  EXPECT_NE(trace.Text().find("gone.cue' left out"), std::string::npos);
  EXPECT_EQ(SplitDriveList(";a.cue;;b.cue,swap;"),
            (std::vector<std::string>{"a.cue", "b.cue,swap"}));
}

TEST_F(DriveDiscovery, DemoDiscStandsInForMissingDrives) {
  if (!ListCdDevicePaths().empty()) GTEST_SKIP() << "this machine has a CD drive";
  setenv("SORN_DEMO_DISC", cue_.c_str(), 1);
  ASSERT_EQ(InitCdDrives(nullptr), 0);
  EXPECT_EQ(cdDrives.driveCount, 1);
  EXPECT_EQ(cdDrives.drives[0].letter, cue_);
  setenv("SORN_DEMO_DISC", (dir_.path() / "missing.cue").c_str(), 1);
  EXPECT_EQ(InitCdDrives(nullptr), -1);
  unsetenv("SORN_DEMO_DISC");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "No CDROM, DVD, CDR, or CD R/W drives found");
}

}  // namespace
