// The image drive: drive strings, the SCSI answers a real drive would give, the four read
// commands with their faults, and the CD audio status.
#include "platform/cd/image_drive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cd/read_commands.h"
#include "platform/cd/host_layer.h"
#include "tests/cd/disc_image.h"

namespace {

std::unique_ptr<ImageCdDevice> OpenDrive(const std::string& driveString) {
  ImageDriveOptions options;
  std::string error;
  EXPECT_TRUE(ParseImageDriveString(driveString, &options, &error)) << error;
  auto drive = ImageCdDevice::Open(options, &error);
  EXPECT_TRUE(drive) << error;
  return drive;
}

struct ReadResult {
  int status;
  std::vector<uint8_t> data;
  int senseKey;
  int senseCode;
};

ReadResult ReadSectors(CdDevice& drive, int method, int32_t lba, int count, int blockSize = 2352) {
  ReadResult r;
  r.data.assign(static_cast<size_t>(count * blockSize), 0xEE);
  ScsiRequestBlock srb;
  srb.buffer = r.data.data();
  srb.bufferLength = static_cast<uint32_t>(r.data.size());
  srb.cdbLength = BuildReadCdb(method, lba, count, 0, srb.cdb);
  r.status = drive.Execute(&srb);
  r.senseKey = SenseKey(srb);
  r.senseCode = SenseCode(srb);
  return r;
}

// Audio of sectors [lba, lba + count) as the image holds it.
std::vector<uint8_t> Expected(int32_t lba, int count, int64_t byteShift = 0) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * 2352);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = PatternByte(static_cast<int64_t>(lba) * 2352 + static_cast<int64_t>(i) + byteShift);
  return bytes;
}

class ImageDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    // 5 s and 3 s of audio, then a 40-sector data track labelled "SORNDATA".
    cue_ = WriteDiscImage(dir_.path(), "disc", {{375}, {225, false, 75}, {40, true}}, "SORNDATA");
  }
  ScratchDir dir_;
  std::string cue_;
};

TEST(DriveString, ParsesEveryOption) {
  ImageDriveOptions o;
  std::string error;
  ASSERT_TRUE(ParseImageDriveString(
      "image:/x/d.cue,vendor=RICOH,product=MP6200S,atapi=0,swap,jitter=8,read-error=10-20,"
      "read-error=30-30,no-disc,dvd,data,label=MY DISC,speed=5632,virtual",
      &o, &error))
      << error;
  EXPECT_EQ(o.path, "/x/d.cue");
  EXPECT_EQ(o.vendor, "RICOH");
  EXPECT_EQ(o.product, "MP6200S");
  EXPECT_EQ(o.atapi, 0);
  EXPECT_TRUE(o.swap && o.noDisc && o.dvd && o.dataOnly && o.virtualDrive);
  EXPECT_EQ(o.jitter, 8);
  ASSERT_EQ(o.readErrors.size(), 2u);
  EXPECT_EQ(o.readErrors[0], std::make_pair(10, 20));
  EXPECT_EQ(o.label, "MY DISC");
  EXPECT_EQ(o.maxReadSpeed, 5632);

  ASSERT_TRUE(ParseImageDriveString("/x/plain.cue", &o, &error));
  EXPECT_EQ(o.vendor, "SORN");
  EXPECT_EQ(o.atapi, 1);
  EXPECT_FALSE(o.swap);
}

TEST(DriveString, RejectsMalformedOptions) {
  for (const char* text :
       {"d.cue,atapi=2", "d.cue,jitter=-2", "d.cue,read-error=20-10", "d.cue,read-error=5",
        "d.cue,vendor=TOOLONGVENDOR", "d.cue,swap=1", "d.cue,bogus", ",swap", "d.cue,speed=x"}) {
    ImageDriveOptions o;
    std::string error;
    EXPECT_FALSE(ParseImageDriveString(text, &o, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  EXPECT_TRUE(IsImageDriveString("/a/b.CUE,swap"));
  EXPECT_TRUE(IsImageDriveString("image:/a/b"));
  EXPECT_FALSE(IsImageDriveString("/dev/sr0"));
}

TEST_F(ImageDrive, MissingImageOrDeviceIsRefusedByName) {
  for (const std::string& path :
       {(dir_.path() / "none.cue").string(), std::string("/dev/sorn-none")}) {
    std::string error;
    EXPECT_EQ(OpenCdDevice(path, &error), nullptr) << path;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

TEST_F(ImageDrive, InquiryAndCapabilitiesPage) {
  auto drive = OpenDrive(cue_ + ",vendor=PLEXTOR,product=CD-ROM PX-40TS,speed=5632");
  uint8_t answer[36] = {};
  ScsiRequestBlock srb;
  srb.buffer = answer;
  srb.bufferLength = sizeof answer;
  srb.cdbLength = 6;
  srb.cdb[0] = kScsiInquiry;
  srb.cdb[4] = 36;
  ASSERT_EQ(drive->Execute(&srb), SS_COMP);
  EXPECT_EQ(answer[0], kDeviceTypeCdRom);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 8), 8), "PLEXTOR ");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 16), 16), "CD-ROM PX-40TS  ");

  uint8_t page[28] = {};
  ScsiRequestBlock mode;
  mode.buffer = page;
  mode.bufferLength = sizeof page;
  mode.cdbLength = 12;
  mode.cdb[0] = kScsiModeSense10;
  mode.cdb[2] = kModePageCdCapabilities;
  mode.cdb[8] = 26;
  ASSERT_EQ(drive->Execute(&mode), SS_COMP);
  EXPECT_EQ(page[8], 0x2A);
  EXPECT_EQ(page[16], 0x16);  // 5632 kB/s
  EXPECT_EQ(page[17], 0x00);
  EXPECT_EQ(page[26], 0) << "only the allocation length is written";

  auto scsi = OpenDrive(cue_ + ",atapi=0");
  ScsiRequestBlock again = mode;
  EXPECT_EQ(scsi->Execute(&again), SS_ERR);
  EXPECT_EQ(again.targetStatus, kTargetStatusCheckCondition);
  EXPECT_EQ(SenseKey(again), kSenseKeyIllegalRequest);
}

TEST_F(ImageDrive, EveryReadMethodDeliversTheImageAudio) {
  auto drive = OpenDrive(cue_);
  for (int method = 0; method <= 3; ++method) {
    ReadResult r = ReadSectors(*drive, method, 100, 26);
    ASSERT_EQ(r.status, SS_COMP) << "method " << method;
    EXPECT_EQ(r.data, Expected(100, 26)) << "method " << method;
  }
  // A buffer sized for 2368-byte blocks gets the audio of each sector followed by 16 bytes.
  ReadResult wide = ReadSectors(*drive, 0, 10, 3, 2368);
  ASSERT_EQ(wide.status, SS_COMP);
  for (int s = 0; s < 3; ++s) {
    std::vector<uint8_t> block(wide.data.begin() + s * 2368, wide.data.begin() + s * 2368 + 2352);
    EXPECT_EQ(block, Expected(10 + s, 1));
    EXPECT_EQ(wide.data[static_cast<size_t>(s * 2368 + 2360)], 0);
  }
}

TEST_F(ImageDrive, FaultsAndRefusals) {
  auto swapped = OpenDrive(cue_ + ",swap,read-error=200-210");
  ReadResult r = ReadSectors(*swapped, 3, 0, 2);
  ASSERT_EQ(r.status, SS_COMP);
  std::vector<uint8_t> expected = Expected(0, 2);
  for (size_t i = 0; i < expected.size(); i += 2) std::swap(expected[i], expected[i + 1]);
  EXPECT_EQ(r.data, expected);

  ReadResult bad = ReadSectors(*swapped, 3, 190, 11);  // touches sector 200
  EXPECT_EQ(bad.status, SS_ERR);
  EXPECT_EQ(bad.senseKey, kSenseKeyMediumError);
  EXPECT_EQ(ReadSectors(*swapped, 3, 211, 26).status, SS_COMP);

  // Audio reads of the data track, past the lead-out, and into a short buffer are refused.
  EXPECT_EQ(ReadSectors(*swapped, 3, 595, 10).senseCode, kAscIllegalModeForTrack);
  EXPECT_EQ(ReadSectors(*swapped, 3, 630, 20).senseCode, kAscLbaOutOfRange);
  std::vector<uint8_t> small(100);
  ScsiRequestBlock srb;
  srb.buffer = small.data();
  srb.bufferLength = 100;
  srb.cdbLength = BuildReadCdb(3, 0, 1, 0, srb.cdb);
  EXPECT_EQ(swapped->Execute(&srb), SS_ERR);
  EXPECT_EQ(small[99], 0) << "nothing is written past the buffer";

  auto dvd = OpenDrive(cue_ + ",dvd");
  EXPECT_EQ(ReadSectors(*dvd, 3, 0, 1).status, SS_ERR);
  int mode = 0;
  dvd->StatusMode(&mode);
  EXPECT_EQ(mode, MCI_MODE_NOT_READY);

  auto empty = OpenDrive(cue_ + ",no-disc");
  ReadResult none = ReadSectors(*empty, 3, 0, 1);
  EXPECT_EQ(none.senseKey, kSenseKeyNotReady);
  EXPECT_EQ(none.senseCode, kAscMediumNotPresent);
}

TEST_F(ImageDrive, JitterMovesOnlyReadsThatContinueARun) {
  auto drive = OpenDrive(cue_ + ",jitter=12");
  ASSERT_EQ(ReadSectors(*drive, 3, 20, 26).data, Expected(20, 26)) << "first read of a run";
  int moved = 0;
  int32_t lba = 20;
  for (int i = 0; i < 40; ++i) {
    lba += 20;  // overlapping the previous read, as the reader does
    if (lba + 26 > 590) lba = 40;
    ReadResult r = ReadSectors(*drive, 3, lba, 26);
    ASSERT_EQ(r.status, SS_COMP);
    int found = 99;
    for (int shift = -12; shift <= 12 && found == 99; shift += 2) {
      if (r.data == Expected(lba, 26, shift)) found = shift;
    }
    ASSERT_NE(found, 99) << "read " << i << " is not an even shift within 12 bytes";
    if (found != 0) ++moved;
  }
  EXPECT_GT(moved, 20);
  // A read before the previous one starts a new run: exact again.
  EXPECT_EQ(ReadSectors(*drive, 3, 5, 5).data, Expected(5, 5));
}

TEST_F(ImageDrive, AudioStatusTrayAndDiscs) {
  auto drive = OpenDrive(cue_);
  int count = 0, type = 0, present = 0;
  uint32_t msf = 0;
  ASSERT_EQ(drive->StatusTrackCount(&count), 0);
  EXPECT_EQ(count, 3);
  drive->StatusTrackPosition(2, &msf);
  EXPECT_EQ(msf, PackMsf(0, 7, 0));
  drive->StatusTrackLength(2, &msf);
  EXPECT_EQ(msf, PackMsf(0, 3, 0));
  drive->StatusDiscLength(&msf);
  EXPECT_EQ(MsfToFrames(msf), 640);
  drive->StatusTrackType(3, &type);
  EXPECT_EQ(type, MCI_CDA_TRACK_OTHER);
  EXPECT_EQ(drive->StatusTrackType(4, &type), MCIERR_OUTOFRANGE);
  EXPECT_EQ(drive->VolumeLabel(), "SORNDATA");

  drive->SetDoor(true);
  drive->StatusMediaPresent(&present);
  EXPECT_EQ(present, 0);
  EXPECT_EQ(drive->StatusTrackCount(&count), MCIERR_DEVICE_NOT_READY);
  drive->SetDoor(false);
  drive->StatusMediaPresent(&present);
  EXPECT_EQ(present, 1);

  drive->RemoveDisc();
  drive->StatusMediaPresent(&present);
  EXPECT_EQ(present, 0);
  std::string audioOnly = WriteDiscImage(dir_.path(), "other", {{150}});
  std::string error;
  ASSERT_TRUE(drive->InsertDisc(audioOnly, &error)) << error;
  drive->StatusTrackCount(&count);
  EXPECT_EQ(count, 1);

  auto labelled = OpenDrive(audioOnly + ",data,label=BACKUP");
  labelled->StatusTrackType(1, &type);
  EXPECT_EQ(type, MCI_CDA_TRACK_OTHER);
  EXPECT_EQ(labelled->VolumeLabel(), "BACKUP");
  EXPECT_EQ(OpenDrive(audioOnly)->VolumeLabel(), "other") << "no ISO label: the file name";
}

}  // namespace
