#include "tools/cli/drives_command.h"

#include <cstdio>

#include "cd/aspi_drives.h"
#include "cd/player.h"
#include "settings/settings.h"

namespace {

// Keeps what the player would show in the title line: the state of a drive without audio.
class TitleLine : public CdPlayerDisplay {
 public:
  void SetTitleLine(const std::string& album, const std::string&) override { text = album; }
  std::string text;
};

std::string Trimmed(const char* text) {
  std::string s = text;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void PrintDisc(const TitleLine& title) {
  int32_t state = player.cdState.load();
  if (state != CD_STOP) {
    size_t start = title.text.find_first_not_of(' ');
    std::printf("  disc: %s\n",
                start == std::string::npos ? "none" : title.text.substr(start).c_str());
    return;
  }
  int last = player.lastTrack.load();
  uint32_t disc = player.discLengthFrames - 1 - player.cdTrack[0].startFrame;
  std::printf("  disc: %d tracks, %02d:%02d.%02d\n", last + 1, MsfMinutes(FramesToMsf(disc)),
              MsfSeconds(FramesToMsf(disc)), MsfFrames(FramesToMsf(disc)));
  std::printf("  track  start     length    type\n");
  for (int i = 0; i <= last; ++i) {
    const CdTrack& t = player.cdTrack[i];
    std::printf("  %5d  %02d:%02d.%02d  %02d:%02d.%02d  %s\n", i + 1, t.startMinutes,
                t.startSeconds, t.startFrames, t.lengthMinutes, t.lengthSeconds, t.lengthFrames,
                IsDataTrack(i) ? "data" : "audio");
  }
}

}  // namespace

int CommandDrives(const std::vector<std::string>& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "sorn-karaoke-cli drives: takes no arguments\n");
    return 2;
  }
  LoadSettings();
  if (InitCdDrives(nullptr) != 0) {
    std::fprintf(stderr, "sorn-karaoke-cli drives: no CD drive found\n");
    return 1;
  }
  TitleLine title;
  SetCdPlayerDisplay(&title);
  int selected = settings.selectedDrive;
  for (int i = 0; i < cdDrives.driveCount; ++i) {
    const CdDrive& drive = cdDrives.drives[i];
    DriveReadSettings quirks = DriveQuirks(drive.vendor, drive.product, drive.atapi);
    std::printf("drive %d%s: %s\n", i, i == selected ? " (selected)" : "", drive.letter.c_str());
    std::printf("  vendor: %s\n  product: %s\n  atapi: %d\n", Trimmed(drive.vendor).c_str(),
                Trimmed(drive.product).c_str(), drive.atapi);
    std::printf("  read method: %d  sector size: %d  swap bytes: %d\n", quirks.readMethod,
                quirks.sectorSize, quirks.swapBytes);
    UseSelectedDrive(i);
    ResetCdPlayer();
    title.text.clear();
    SetMSFformat();
    CdTimerHandler(nullptr);
    PrintDisc(title);
  }
  UseSelectedDrive(selected);
  SetCdPlayerDisplay(nullptr);
  CdShutdown(nullptr);
  ReleaseCdDrives();
  return 0;
}
