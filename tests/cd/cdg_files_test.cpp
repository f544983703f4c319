// CD+G data beside a disc image: the .cdg and .sub readers on good and broken files, the image
// drive's READ CD answers with the sub-channel, and the cdg command on the demo disc against
// the demo's own .sub decoded here.
#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <memory>
#include <random>

#include "cd/cdg_decoder.h"
#include "cd/cdg_encoder.h"
#include "cd/cdg_read.h"
#include "platform/cd/image_drive.h"
#include "platform/cd/subcode_files.h"
#include "tests/cd/disc_image.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/trace_capture.h"
#include "tools/cli/cdg_command.h"

namespace fs = std::filesystem;

namespace {

// A pack stream of `sectors` sectors: a tile on every eighth pack, different everywhere.
std::vector<uint8_t> TestStream(int sectors, uint32_t seed) {
  std::mt19937 random(seed);
  CdgStreamWriter writer;
  for (int p = 0; p < sectors * kPacksPerSector; p += 8) {
    std::array<uint8_t, kCdgTileHeight> bits{};
    for (uint8_t& b : bits) b = static_cast<uint8_t>(random() & 0x3F);
    writer.Put(p, CdgTilePack(static_cast<int>(random() % 18), static_cast<int>(random() % 50), 1,
                              2, bits));
  }
  return writer.Packs(int64_t{sectors} * kPacksPerSector);
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> RawOf(const std::vector<uint8_t>& packs) {
  std::vector<uint8_t> raw(packs.size(), 0);
  InterleaveRw(packs.data(), packs.size() / kPackBytes, nullptr, raw.data());
  return raw;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, int32_t sector, int32_t count) {
  return {v.begin() + sector * kSubcodeBytes, v.begin() + (sector + count) * kSubcodeBytes};
}

TEST(SubcodeFiles, ParsingTakesWholeUnitsAndRefusesEmptyOrHugeFiles) {
  std::vector<uint8_t> sectors;
  std::string error, warning;
  const std::vector<uint8_t> bytes(kPackBytes * 5 + 7, 0x21);
  ASSERT_TRUE(ParseSubcodeBytes(SubcodeFormat::kPacks, bytes.data(), bytes.size(), &sectors, &error,
                                &warning));
  EXPECT_EQ(sectors.size(), 2u * kSubcodeBytes);  // five packs: the second sector filled up
  EXPECT_EQ(sectors[5 * kPackBytes - 1], 0x21);
  EXPECT_EQ(sectors[5 * kPackBytes], 0);
  EXPECT_NE(warning.find("7 bytes"), std::string::npos) << warning;

  warning.clear();
  ASSERT_TRUE(ParseSubcodeBytes(SubcodeFormat::kRaw, bytes.data(), bytes.size(), &sectors, &error,
                                &warning));
  EXPECT_EQ(sectors.size(), 1u * kSubcodeBytes);
  EXPECT_NE(warning.find("31 bytes"), std::string::npos) << warning;

  EXPECT_FALSE(
      ParseSubcodeBytes(SubcodeFormat::kPacks, bytes.data(), 0, &sectors, &error, nullptr));
  EXPECT_EQ(error, "is empty");
  EXPECT_FALSE(ParseSubcodeBytes(SubcodeFormat::kRaw, bytes.data(), 95, &sectors, &error, nullptr));
  EXPECT_EQ(error, "is shorter than one sector");
  EXPECT_FALSE(ParseSubcodeBytes(SubcodeFormat::kPacks, bytes.data(),
                                 static_cast<size_t>(kMaxDiscSectors) * kSubcodeBytes + 24,
                                 &sectors, &error, nullptr));
  EXPECT_NE(error.find("larger than a CD"), std::string::npos);
}

class CdgImageDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two audio tracks of 2 s and 1 s.
    cue_ = WriteDiscImage(dir_.path(), "disc", {{150}, {75}});
    stream_ = TestStream(225, 1);
  }
  std::unique_ptr<ImageCdDevice> Open(const std::string& options = "") {
    ImageDriveOptions o;
    std::string error;
    EXPECT_TRUE(ParseImageDriveString(cue_ + options, &o, &error)) << error;
    auto drive = ImageCdDevice::Open(o, &error);
    EXPECT_TRUE(drive) << error;
    return drive;
  }
  // READ CD of `count` sectors with sub-channel selection `form`, with the audio or not.
  int Read(CdDevice& drive, int32_t lba, int count, RwForm form, bool audio,
           std::vector<uint8_t>* data) {
    const size_t block = (audio ? 2352 : 0) + (form == RwForm::kNone ? 0 : kSubcodeBytes);
    data->assign(block * static_cast<size_t>(count), 0xEE);
    ScsiRequestBlock srb;
    srb.buffer = data->data();
    srb.bufferLength = static_cast<uint32_t>(data->size());
    srb.cdbLength = BuildReadSubchannelCdb(lba, count, 0, form, audio, srb.cdb);
    return drive.Execute(&srb);
  }
  std::vector<uint8_t> Packs(CdDevice& drive, int32_t lba, int count, RwForm form) {
    std::vector<uint8_t> data;
    EXPECT_EQ(Read(drive, lba, count, form, false, &data), SS_COMP);
    if (form == RwForm::kPacks) return data;
    std::vector<uint8_t> packs(static_cast<size_t>(count - 2) * kSubcodeBytes);
    RawToPackSectors(data.data(), static_cast<size_t>(count), packs.data(), nullptr);
    return packs;
  }
  ScratchDir dir_;
  std::string cue_;
  std::vector<uint8_t> stream_;
};

TEST_F(CdgImageDrive, ACdgNamedLikeTheImageIsServedInBothFormsBesideUnchangedAudio) {
  WriteBytes(dir_.path() / "disc.cdg", Slice(stream_, 0, 200));  // ends before the disc
  auto drive = Open();
  ASSERT_EQ(drive->SubcodePaths(), std::vector<std::string>{(dir_.path() / "disc.cdg").string()});
  EXPECT_EQ(Packs(*drive, 0, 26, RwForm::kPacks), Slice(stream_, 0, 26));
  EXPECT_EQ(Packs(*drive, 150, 40, RwForm::kRaw), Slice(stream_, 150, 38));
  // Past the file's end the packs are empty.
  std::vector<uint8_t> tail = Slice(stream_, 195, 5);
  tail.resize(10 * kSubcodeBytes, 0);
  EXPECT_EQ(Packs(*drive, 195, 10, RwForm::kPacks), tail);

  std::vector<uint8_t> plain, withSub;
  ASSERT_EQ(Read(*drive, 100, 10, RwForm::kNone, true, &plain), SS_COMP);
  ASSERT_EQ(Read(*drive, 100, 10, RwForm::kPacks, true, &withSub), SS_COMP);
  for (int s = 0; s < 10; ++s) {
    EXPECT_TRUE(std::equal(plain.begin() + s * 2352, plain.begin() + (s + 1) * 2352,
                           withSub.begin() + s * (2352 + 96)));
    EXPECT_TRUE(std::equal(withSub.begin() + s * (2352 + 96) + 2352,
                           withSub.begin() + (s + 1) * (2352 + 96),
                           stream_.begin() + (100 + s) * kSubcodeBytes));
  }
}

TEST_F(CdgImageDrive, ASubBesideTheImageIsDeinterleavedAndMended) {
  std::vector<uint8_t> raw = RawOf(stream_);
  raw[50 * kSubcodeBytes + 30] ^= 0x04;  // one bad symbol in one pack
  WriteBytes(dir_.path() / "disc.sub", raw);
  auto drive = Open();
  EXPECT_EQ(Packs(*drive, 40, 30, RwForm::kPacks), Slice(stream_, 40, 30));
  std::vector<uint8_t> got;
  ASSERT_EQ(Read(*drive, 10, 4, RwForm::kRaw, false, &got), SS_COMP);
  EXPECT_EQ(got, Slice(raw, 10, 4));  // raw is served as stored
}

TEST_F(CdgImageDrive, TrackFilesWinOverTheImageFileAndStayInsideTheirTrack) {
  const std::vector<uint8_t> track2 = TestStream(100, 2);  // longer than the 75-sector track
  WriteBytes(dir_.path() / "disc.cdg", stream_);
  WriteBytes(dir_.path() / "second.cdg", track2);
  auto drive = Open(",cdg=2:" + (dir_.path() / "second.cdg").string());
  EXPECT_EQ(Packs(*drive, 150, 75, RwForm::kPacks), Slice(track2, 0, 75));
  EXPECT_EQ(Packs(*drive, 140, 10, RwForm::kPacks), Slice(stream_, 140, 10));

  // A track named in the CUE sheet has a .cdg of its name.
  {
    std::ifstream in(cue_);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t track = text.find("TRACK 02");
    text.insert(text.find('\n', track) + 1, "    TITLE \"Second Song\"\n");
    std::ofstream(cue_) << text;
  }
  WriteBytes(dir_.path() / "Second Song.cdg", track2);
  auto named = Open();
  EXPECT_EQ(Packs(*named, 150, 75, RwForm::kPacks), Slice(track2, 0, 75));
}

TEST_F(CdgImageDrive, BrokenFilesAndTheRwOption) {
  WriteBytes(dir_.path() / "disc.cdg", {});
  {
    TraceCapture trace;
    auto drive = Open();
    EXPECT_TRUE(drive->SubcodePaths().empty());
    EXPECT_NE(trace.Text().find("disc.cdg is empty; its sub-channel is left out"),
              std::string::npos)
        << trace.Text();
  }
  ImageDriveOptions o;
  std::string error;
  ASSERT_TRUE(
      ParseImageDriveString(cue_ + ",cdg=" + (dir_.path() / "none.cdg").string(), &o, &error));
  EXPECT_FALSE(ImageCdDevice::Open(o, &error));
  EXPECT_NE(error.find("none.cdg"), std::string::npos) << error;
  EXPECT_FALSE(ParseImageDriveString(cue_ + ",rw=sometimes", &o, &error));

  std::vector<uint8_t> data;
  auto raw = Open(",rw=raw");
  EXPECT_EQ(Read(*raw, 0, 4, RwForm::kPacks, true, &data), SS_ERR);
  EXPECT_EQ(Read(*raw, 0, 4, RwForm::kRaw, true, &data), SS_COMP);
  auto none = Open(",rw=none");
  EXPECT_EQ(Read(*none, 0, 4, RwForm::kRaw, false, &data), SS_ERR);
  EXPECT_EQ(Read(*none, 0, 4, RwForm::kNone, true, &data), SS_COMP);
}

// A CD+G rip's form: every sector as 2448 bytes, its audio then its raw P-W, in one data file
// or one per track, under a CUE sheet of CDG tracks.
std::vector<uint8_t> Interleave(const std::vector<uint8_t>& audio, const std::vector<uint8_t>& raw,
                                int32_t first, int32_t count) {
  std::vector<uint8_t> out;
  for (int32_t s = first; s < first + count; ++s) {
    out.insert(out.end(), audio.begin() + s * 2352, audio.begin() + (s + 1) * 2352);
    out.insert(out.end(), raw.begin() + s * kSubcodeBytes, raw.begin() + (s + 1) * kSubcodeBytes);
  }
  return out;
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(CdgImageDrive, CdgTracksAreReadFrom2448ByteSectorsInOneFileOrOnePerTrack) {
  const std::vector<uint8_t> audio = ReadBytes(dir_.path() / "disc.bin");
  const std::vector<uint8_t> raw = RawOf(stream_);
  ASSERT_EQ(audio.size(), 225u * 2352);
  WriteBytes(dir_.path() / "whole.bin", Interleave(audio, raw, 0, 225));
  WriteBytes(dir_.path() / "one.bin", Interleave(audio, raw, 0, 150));
  WriteBytes(dir_.path() / "two.bin", Interleave(audio, raw, 150, 75));
  std::ofstream(dir_.path() / "whole.cue")
      << "FILE \"whole.bin\" BINARY\n  TRACK 01 CDG\n    INDEX 01 00:00:00\n"
         "  TRACK 02 CDG\n    INDEX 00 00:01:70\n    INDEX 01 00:02:00\n";
  std::ofstream(dir_.path() / "split.cue")
      << "FILE \"one.bin\" BINARY\r\n  TRACK 01 CDG\r\n    INDEX 01 00:00:00\r\n"
         "FILE two.bin BINARY\r\n  TRACK 02 CDG\r\n    INDEX 01 00:00:00\r\n";

  auto plain = Open();
  for (const char* sheet : {"whole.cue", "split.cue"}) {
    SCOPED_TRACE(sheet);
    cue_ = (dir_.path() / sheet).string();
    auto drive = Open();
    ASSERT_TRUE(drive);
    int count = 0;
    ASSERT_EQ(drive->StatusTrackCount(&count), 0);
    EXPECT_EQ(count, 2);
    for (int track = 1; track <= 2; ++track) {
      uint32_t position = 0, length = 0, expected = 0;
      int type = 0;
      EXPECT_EQ(drive->StatusTrackPosition(track, &position), 0);
      plain->StatusTrackPosition(track, &expected);
      EXPECT_EQ(position, expected);
      EXPECT_EQ(drive->StatusTrackLength(track, &length), 0);
      plain->StatusTrackLength(track, &expected);
      EXPECT_EQ(length, expected);
      EXPECT_EQ(drive->StatusTrackType(track, &type), 0);
      EXPECT_EQ(type, MCI_CDA_TRACK_AUDIO);
    }
    // The audio across the tracks' boundary (and so across the files') is the plain image's;
    // the sub-channel is the stream, as packs and as stored.
    std::vector<uint8_t> got, want;
    ASSERT_EQ(Read(*drive, 140, 20, RwForm::kNone, true, &got), SS_COMP);
    ASSERT_EQ(Read(*plain, 140, 20, RwForm::kNone, true, &want), SS_COMP);
    EXPECT_EQ(got, want);
    EXPECT_EQ(Packs(*drive, 130, 40, RwForm::kPacks), Slice(stream_, 130, 40));
    ASSERT_EQ(Read(*drive, 200, 25, RwForm::kRaw, false, &got), SS_COMP);
    EXPECT_EQ(got, Slice(raw, 200, 25));
    EXPECT_EQ(drive->SubcodePaths(), std::vector<std::string>{cue_});
    // Past the disc's end there is nothing to read.
    EXPECT_EQ(Read(*drive, 220, 10, RwForm::kNone, true, &got), SS_ERR);
  }
}

TEST_F(CdgImageDrive, SheetsOfCdgTracksThatCannotBeReadSayWhy) {
  const std::vector<uint8_t> audio = ReadBytes(dir_.path() / "disc.bin");
  WriteBytes(dir_.path() / "whole.bin", Interleave(audio, RawOf(stream_), 0, 225));
  const std::string file = "FILE \"whole.bin\" BINARY\n";
  const std::pair<std::string, std::string> cases[] = {
      {file + "TRACK 01 CDG\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:02:00\n",
       "line 4: a sheet of CDG tracks holds CDG tracks only"},
      {"FILE \"gone.bin\" BINARY\nTRACK 01 CDG\nINDEX 01 00:00:00\n", "line 1: cannot open"},
      {"FILE \"whole.bin\" WAVE\nTRACK 01 CDG\nINDEX 01 00:00:00\n", "BINARY files only"},
      {file + "TRACK 01 CDG\nINDEX 01 00:03:00\n", "line 3: the INDEX lies past the end"},
      {file + "TRACK 01 CDG\nINDEX 01 00:01:00\nTRACK 02 CDG\nINDEX 01 00:00:10\n",
       "line 5: the track starts before the one ahead of it"},
      {file + "TRACK 01 CDG\nPREGAP 00:02:00\nINDEX 01 00:00:00\n", "PREGAP is not read"},
      {file + "TRACK 01 CDG\nTRACK 02 CDG\nINDEX 01 00:01:00\n", "has no INDEX 01"},
      {file + "TRACK 02 CDG\nINDEX 01 00:00:00\n", "numbered from 1"},
  };
  for (const auto& [sheet, reason] : cases) {
    std::ofstream(dir_.path() / "bad.cue") << sheet;
    ImageDriveOptions o;
    std::string error;
    ASSERT_TRUE(ParseImageDriveString((dir_.path() / "bad.cue").string(), &o, &error));
    EXPECT_FALSE(ImageCdDevice::Open(o, &error)) << sheet;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }

  // A data file that ends inside a sector keeps its whole sectors, and says so.
  std::vector<uint8_t> cut = Interleave(audio, RawOf(stream_), 0, 225);
  cut.resize(cut.size() - 100);
  WriteBytes(dir_.path() / "whole.bin", cut);
  std::ofstream(dir_.path() / "cut.cue") << file + "TRACK 01 CDG\nINDEX 01 00:00:00\n";
  TraceCapture trace;
  cue_ = (dir_.path() / "cut.cue").string();
  auto drive = Open();
  uint32_t length = 0;
  ASSERT_EQ(drive->StatusTrackLength(1, &length), 0);
  EXPECT_EQ(length, FramesToMsf(224));
  EXPECT_NE(trace.Text().find("ends with 2348 bytes of a sector"), std::string::npos)
      << trace.Text();
}

// The demo disc's first song: the cdg command's screens through a correcting drive and
// through a raw-only drive equal the demo's .sub decoded here, and its first word turns
// yellow on the melody's first note.
class CdgDemo : public ::testing::Test {
 protected:
  void SetUp() override { UseScratchCdInfoFolder(dir_.path()); }
  void TearDown() override { SetLogFolderSource(nullptr); }
  ScratchDir dir_;
  const std::string demo_ = std::string(SORN_BUILD_DIR) + "/demo/demo.cue";
};

TEST_F(CdgDemo, CommandScreensEqualTheDemoSubDecodedDirectly) {
  std::ifstream in(std::string(SORN_BUILD_DIR) + "/demo/demo.sub", std::ios::binary);
  const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(raw.size() % kSubcodeBytes, 0u);
  std::vector<uint8_t> packs(raw.size());
  RawToPackSectors(raw.data(), raw.size() / kSubcodeBytes, packs.data(), nullptr);

  const double beat = 60.0 / 112;  // the song's tempo; singing starts after two bars
  const double firstNote = static_cast<double>(8 * static_cast<int>(beat * 44100)) / 44100;
  const std::vector<double> times = {0.5, firstNote - 1.0 / 75, firstNote + 1.0 / 75, 12.0, 23.9};
  for (const std::string& drive : {demo_, "image:" + demo_ + ",rw=raw"}) {
    const fs::path out = dir_.path() / (drive == demo_ ? "packs" : "raw");
    std::vector<std::string> args = {drive, "--track", "1", "--out", out.string()};
    for (double t : times) args.insert(args.end(), {"--at", std::to_string(t)});
    std::string stdoutText, err;
    ASSERT_EQ(CommandCdg(args, &stdoutText, &err), 0) << err;
    for (double t : times) {
      const QImage image(QString::fromStdString((out / CdgImageName(1, t)).string()));
      ASSERT_EQ(image.size(), QSize(kCdgVisibleWidth, kCdgVisibleHeight)) << t;
      auto screen = std::make_unique<CdgScreen>();
      RenderCdgAt(packs.data(), packs.size() / kPackBytes,
                  static_cast<int64_t>(t * kPacksPerSecond + 1e-6), screen.get());
      for (int y = 0; y < kCdgVisibleHeight; ++y)
        for (int x = 0; x < kCdgVisibleWidth; ++x)
          ASSERT_EQ(image.pixel(x, y), CdgArgb(*screen, CdgVisibleIndex(*screen, x, y)))
              << drive << " at " << t << " s, " << x << "," << y;
    }
  }
  // The first word of the first line (tile row 6) is white a frame before the first note and
  // yellow a frame after it: the leftmost lit pixel of the row.
  auto firstLetter = [&](double t) {
    const QImage image(
        QString::fromStdString((dir_.path() / "packs" / CdgImageName(1, t)).string()));
    const QRgb background = image.pixel(0, 0);
    for (int x = 0; x < kCdgVisibleWidth; ++x)
      for (int y = 5 * 12; y < 6 * 12; ++y)
        if (image.pixel(x, y) != background) return image.pixel(x, y) & 0xFFFFFFu;
    return 0u;
  };
  EXPECT_EQ(firstLetter(times[1]), 0xFFFFFFu);
  EXPECT_EQ(firstLetter(times[2]), 0xFFDD22u);
}

TEST_F(CdgDemo, TheDemoRippedAsCdgTracksShowsTheSameScreens) {
  const std::vector<uint8_t> audio = ReadBytes(std::string(SORN_BUILD_DIR) + "/demo/demo.bin");
  const std::vector<uint8_t> raw = ReadBytes(std::string(SORN_BUILD_DIR) + "/demo/demo.sub");
  const int32_t sectors = static_cast<int32_t>(audio.size() / 2352);
  ASSERT_EQ(raw.size(), static_cast<size_t>(sectors) * kSubcodeBytes);
  WriteBytes(dir_.path() / "rip.bin", Interleave(audio, raw, 0, sectors));
  std::ifstream in(demo_);
  std::string sheet((std::istreambuf_iterator<char>(in)), {});
  sheet.replace(sheet.find("demo.bin"), 8, "rip.bin");
  for (size_t at; (at = sheet.find(" AUDIO")) != std::string::npos;) sheet.replace(at, 6, " CDG");
  std::ofstream(dir_.path() / "rip.cue") << sheet;

  for (const std::string& disc : {demo_, (dir_.path() / "rip.cue").string()}) {
    const fs::path out = dir_.path() / (disc == demo_ ? "demo" : "rip");
    std::string o, e;
    ASSERT_EQ(CommandCdg({disc, "--track", "1", "--at", "6", "--at", "12.5", "--out", out.string()},
                         &o, &e),
              0)
        << e;
  }
  for (double t : {6.0, 12.5}) {
    const QImage demo(QString::fromStdString((dir_.path() / "demo" / CdgImageName(1, t)).string()));
    const QImage rip(QString::fromStdString((dir_.path() / "rip" / CdgImageName(1, t)).string()));
    ASSERT_FALSE(demo.isNull());
    EXPECT_EQ(demo, rip) << t;
  }
}

TEST_F(CdgDemo, BadUsageAndFailuresLeaveNoImages) {
  const fs::path out = dir_.path() / "out";
  std::string o, e;
  EXPECT_EQ(CommandCdg({demo_, "--track", "1", "--out", out.string()}, &o, &e), 2);  // no --at
  EXPECT_EQ(CommandCdg({demo_, "--track", "1", "--at", "-1", "--out", out.string()}, &o, &e), 2);
  EXPECT_EQ(CommandCdg({demo_, "--track", "1", "--at", "25", "--out", out.string()}, &o, &e), 2);
  EXPECT_EQ(CommandCdg({demo_, "--track", "9", "--at", "1", "--out", out.string()}, &o, &e), 2);
  e.clear();
  EXPECT_EQ(CommandCdg({demo_, "--track", "2", "--at", "1", "--out", out.string()}, &o, &e), 1);
  EXPECT_NE(e.find("track 2 has no CD+G"), std::string::npos) << e;
  EXPECT_EQ(CommandCdg(
                {"image:" + demo_ + ",rw=none", "--track", "1", "--at", "1", "--out", out.string()},
                &o, &e),
            1);
  EXPECT_FALSE(fs::exists(out));

  // The second image cannot be written (a folder is in its way): the first goes too.
  fs::create_directories(out / CdgImageName(1, 2.0));
  e.clear();
  EXPECT_EQ(
      CommandCdg({demo_, "--track", "1", "--at", "1", "--at", "2", "--out", out.string()}, &o, &e),
      1);
  EXPECT_NE(e.find("cannot write"), std::string::npos) << e;
  EXPECT_FALSE(fs::exists(out / CdgImageName(1, 1.0)));
  EXPECT_FALSE(fs::exists(out / (CdgImageName(1, 1.0) + ".part")));
}

}  // namespace
