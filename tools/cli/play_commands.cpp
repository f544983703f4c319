#include "tools/cli/play_commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/disc_hooks.h"
#include "cd/aspi_drives.h"
#include "cd/cd_reader.h"
#include "cd/demo_disc.h"
#include "cd/player.h"
#include "cd/ripper.h"
#include "cdinfo/info_file.h"
#include "platform/cd/host_layer.h"
#include "settings/settings.h"

namespace {

AppDiscHooks titleHooks;

std::string Msf(int frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / kFramesPerMinute,
                frames / kFramesPerSecond % 60, frames % kFramesPerSecond);
  return text;
}

int32_t TrackLengthFrames(const CdTrack& t) {
  return (t.lengthMinutes * 60 + t.lengthSeconds) * kFramesPerSecond + t.lengthFrames;
}

}  // namespace

bool ParseNumber(const std::string& text, int low, int high, int* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

bool OpenPlayerDisc(const std::string& disc, bool titles, std::string* error) {
  std::unique_ptr<CdHostLayer> layer = CdHostLayer::FromDriveStrings({disc});
  if (layer->DriveCount() == 0) {
    *error = "cannot open the disc " + disc;
    return false;
  }
  settings.selectedDrive = 0;
  if (InitCdDrivesWithLayer(nullptr, std::move(layer)) != 0) {
    *error = "no CD drive at " + disc;
    return false;
  }
  SetCdDiscHooks(titles ? &titleHooks : nullptr);
  ResetCdPlayer();
  SetMSFformat();
  CdTimerHandler(nullptr);
  if (player.cdState.load() != CD_STOP) {
    ClosePlayerDisc();
    *error = "no audio disc in " + disc;
    return false;
  }
  return true;
}

void ClosePlayerDisc() {
  CdShutdown(nullptr);
  SetCdDiscHooks(nullptr);
  ReleaseCdDrives();
}

int CommandTracks(const std::vector<std::string>& args, std::string* out, std::string* err) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    *err += "usage: sorn-karaoke-cli tracks DISC\n";
    return 2;
  }
  std::string error;
  if (!OpenPlayerDisc(args[0], false, &error)) {
    *err += "sorn-karaoke-cli tracks: " + error + "\n";
    return 2;
  }
  const int last = player.lastTrack.load();
  for (int i = 0; i <= last; ++i) {
    const CdTrack& t = player.cdTrack[i];
    char line[96];
    std::snprintf(line, sizeof line, "%d %s %s %s\n", i + 1,
                  Msf(static_cast<int>(t.startFrame)).c_str(), Msf(TrackLengthFrames(t)).c_str(),
                  IsDataTrack(i) ? "data" : "audio");
    *out += line;
  }
  ClosePlayerDisc();
  return 0;
}

int CommandRip(const std::vector<std::string>& args, std::string* out, std::string* err) {
  const char* usage =
      "usage: sorn-karaoke-cli rip DISC --track N [--jitter-buffer 0..3] "
      "[--out OUT.wav]\n";
  std::string disc, outPath;
  int track = 0;
  int jitter = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--track" && hasValue) {
      if (!ParseNumber(args[++i], 1, kMaxTracks, &track)) {
        *err += "sorn-karaoke-cli rip: --track takes a track number\n";
        return 2;
      }
    } else if (arg == "--jitter-buffer" && hasValue) {
      if (!ParseNumber(args[++i], 0, 3, &jitter)) {
        *err += "sorn-karaoke-cli rip: --jitter-buffer takes 0, 1, 2 or 3\n";
        return 2;
      }
    } else if (arg == "--out" && hasValue) {
      outPath = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && disc.empty()) {
      disc = arg;
    } else {
      *err += "sorn-karaoke-cli rip: unexpected argument '" + arg + "'\n" + usage;
      return 2;
    }
  }
  if (disc.empty() || track == 0) {
    *err += usage;
    return 2;
  }
  std::string error;
  if (!OpenPlayerDisc(disc, outPath.empty(), &error)) {
    *err += "sorn-karaoke-cli rip: " + error + "\n";
    return 2;
  }
  if (track > player.lastTrack.load() + 1) {
    ClosePlayerDisc();
    *err += "sorn-karaoke-cli rip: the disc has no track " + std::to_string(track) + "\n";
    return 2;
  }
  if (IsDataTrack(track - 1)) {
    ClosePlayerDisc();
    *err += "sorn-karaoke-cli rip: track " + std::to_string(track) + " is a data track\n";
    return 1;
  }
  if (jitter >= 0) settings.jitterBuffer = jitter;
  player.currentTrack.store(track - 1);
  SetRipOutputPath(outPath);
  CdReadDriver(nullptr, kReaderRip);
  SetRipOutputPath("");
  const RipResult result = LastRipResult();
  ClosePlayerDisc();
  if (result.path.empty()) {
    *err += "sorn-karaoke-cli rip: track " + std::to_string(track) + " was not ripped\n";
    return 1;
  }
  char line[160];
  std::snprintf(line, sizeof line, "ripped track %d: %lld bytes in %.3f s, %.1f x real time%s\n",
                track, static_cast<long long>(result.fileBytes), result.seconds,
                result.realTimeFactor, result.writeErrors ? " (with write errors)" : "");
  *err += line;
  *out += result.path + "\n";
  return result.writeErrors ? 1 : 0;
}
