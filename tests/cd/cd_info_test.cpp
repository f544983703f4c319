// The track table the player builds through the drive layer, against libcdio's cd-info on the
// same CUE image.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "cd/aspi_drives.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/outside_tool.h"

namespace {

struct InfoTrack {
  int minutes, seconds, frames;
  long lsn;
  std::string type;
};

// Runs cd-info on a CUE image and reads its track list ("  N: MM:SS:FF  LSN type ...").
bool RunCdInfo(const std::string& cue, std::map<int, InfoTrack>* tracks, std::string* output) {
  std::string command = "cd-info --no-header --no-device-info --no-cddb --no-analyze --cue-file '" +
                        cue + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    *output += line;
    InfoTrack t;
    int number = 0;
    char type[16] = {};
    if (std::sscanf(line, " %d: %2d:%2d:%2d %ld %15s", &number, &t.minutes, &t.seconds, &t.frames,
                    &t.lsn, type) == 6) {
      t.type = type;
      (*tracks)[number] = t;
    }
  }
  return pclose(pipe) == 0;
}

TEST(CdInfo, TrackTableMatchesCdInfoOnTheSameImage) {
  ScratchDir dir;
  // Audio tracks with an index-0 pregap, and a closing data session track.
  std::string cue =
      WriteDiscImage(dir.path(), "album",
                     {{412}, {1037, false, 150}, {263}, {800, false, 32}, {60, true}}, "ALBUMDATA");
  SKIP_WITHOUT_TOOL("cd-info", "libcdio-utils");
  std::map<int, InfoTrack> info;
  std::string output;
  ASSERT_TRUE(RunCdInfo(cue, &info, &output)) << output;
  ASSERT_EQ(info.count(170), 1u) << output;  // the lead-out

  UseScratchCdInfoFolder(dir.path());
  settings.cdMode = kCdModeNormal;
  ASSERT_EQ(InitCdDrivesWithLayer(nullptr, CdHostLayer::FromDriveStrings({cue})), 0);
  ResetCdPlayer();
  SetMSFformat();
  CdTimerHandler(nullptr);
  ASSERT_EQ(player.cdState.load(), CD_STOP);

  int count = static_cast<int>(info.size()) - 1;
  ASSERT_EQ(player.lastTrack.load(), count - 1) << output;
  for (int n = 1; n <= count; ++n) {
    const CdTrack& t = player.cdTrack[n - 1];
    const InfoTrack& expected = info.at(n);
    EXPECT_EQ(t.startMinutes, expected.minutes) << "track " << n;
    EXPECT_EQ(t.startSeconds, expected.seconds) << "track " << n;
    EXPECT_EQ(t.startFrames, expected.frames) << "track " << n;
    EXPECT_EQ(static_cast<long>(t.startFrame) - 150, expected.lsn) << "track " << n;
    long nextLsn = info.at(n == count ? 170 : n + 1).lsn;
    long length = (t.lengthMinutes * 60 + t.lengthSeconds) * 75 + t.lengthFrames;
    EXPECT_EQ(length, nextLsn - expected.lsn) << "track " << n;
    EXPECT_EQ(IsDataTrack(n - 1), expected.type != "audio") << "track " << n;
  }
  EXPECT_EQ(static_cast<long>(player.discLengthFrames), info.at(170).lsn + 150 + 1);
  ReleaseCdDrives();
  ResetCdPlayer();
  SetLogFolderSource(nullptr);
}

}  // namespace
