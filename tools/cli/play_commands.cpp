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
#include "platform/cd/image_drive.h"
#include "platform/files/output_file.h"
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

std::vector<std::string> DiscInputFiles(const std::string& disc) {
  ImageDriveOptions options;
  std::string error;
  if (!IsImageDriveString(disc) || !ParseImageDriveString(disc, &options, &error)) return {};
  return ImageFiles(options.path);
}

std::string OutputClash(const std::vector<std::string>& outputs,
                        const std::vector<std::string>& inputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    for (const std::string& input : inputs) {
      if (outputs[i] == input || SameExistingFile(outputs[i], input))
        return "the output " + outputs[i] + " is the input " + input;
    }
    for (size_t j = 0; j < i; ++j) {
      if (outputs[i] == outputs[j] || SameExistingFile(outputs[i], outputs[j]))
        return "two outputs are the same file " + outputs[i];
    }
  }
  return "";
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
    // A disc that is there but was not scanned has a track table that cannot be read.
    int present = 0;
    CdDevice* device = player.device.load();
    const bool unscanned = player.cdState.load() == CD_NOCD && device &&
                           device->StatusMediaPresent(&present) == 0 && present;
    ClosePlayerDisc();
    *error =
        unscanned ? "the track table of " + disc + " cannot be read" : "no audio disc in " + disc;
    return false;
  }
  return true;
}

int OpenPlayerTrack(const std::string& disc, bool titles, int track, std::string* error) {
  if (!OpenPlayerDisc(disc, titles, error)) return 2;
  if (track < 1 || track > player.lastTrack.load() + 1) {
    ClosePlayerDisc();
    *error = "the disc has no track " + std::to_string(track);
    return 2;
  }
  if (IsDataTrack(track - 1)) {
    ClosePlayerDisc();
    *error = "track " + std::to_string(track) + " is a data track";
    return 1;
  }
  return 0;
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
  if (int status = OpenPlayerTrack(disc, outPath.empty(), track, &error)) {
    *err += "sorn-karaoke-cli rip: " + error + "\n";
    return status;
  }
  const std::string clash =
      OutputClash({outPath.empty() ? RipFilePath(track - 1) : outPath}, DiscInputFiles(disc));
  if (!clash.empty()) {
    ClosePlayerDisc();
    *err += "sorn-karaoke-cli rip: " + clash + "\n";
    return 2;
  }
  if (jitter >= 0) settings.jitterBuffer = jitter;
  player.currentTrack.store(track - 1);
  SetRipOutputPath(outPath);
  CdReadDriver(nullptr, kReaderRip);
  SetRipOutputPath("");
  const RipResult result = LastRipResult();
  ClosePlayerDisc();
  if (result.path.empty()) {
    *err += "sorn-karaoke-cli rip: track " + std::to_string(track) +
            " was not ripped: " + result.error + "\n";
    return 1;
  }
  char line[160];
  std::snprintf(line, sizeof line, "ripped track %d: %lld bytes in %.3f s, %.1f x real time\n",
                track, static_cast<long long>(result.fileBytes), result.seconds,
                result.realTimeFactor);
  *err += line;
  if (result.unmatchedReads > 0)
    *err += "sorn-karaoke-cli rip: " + std::to_string(result.unmatchedReads) +
            " overlapping reads could not be matched (the drive's jitter is larger than the "
            "jitter buffer corrects); the rip may click at those places\n";
  *out += result.path + "\n";
  return 0;
}
