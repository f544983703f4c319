#include "tools/cli/cdinfo_commands.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "cdinfo/cddb.h"
#include "cdinfo/info_file.h"
#include "platform/cd/image_drive.h"
#include "settings/settings.h"

namespace {

struct Arguments {
  std::string disc;
  std::string server;
  std::string folder;
  int choice = 1;
};

// DISC followed by the options the command accepts; false with the reason on bad usage.
bool ParseArguments(const std::vector<std::string>& args, bool network, Arguments* parsed,
                    std::string* err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--folder" && hasValue) {
      parsed->folder = args[++i];
    } else if (network && arg == "--server" && hasValue) {
      parsed->server = args[++i];
    } else if (network && arg == "--choice" && hasValue) {
      char* end = nullptr;
      const long choice = std::strtol(args[i + 1].c_str(), &end, 10);
      if (*end != '\0' || choice < 1 || choice > kMaxCddbMatches + 1) {
        *err += "--choice takes a number from 1 to " + std::to_string(kMaxCddbMatches + 1) + "\n";
        return false;
      }
      parsed->choice = static_cast<int>(choice);
      ++i;
    } else if (!TakeDiscArgument(arg, &parsed->disc, err)) {
      return false;
    }
  }
  return DiscGiven(parsed->disc, err);
}

// The player's part for a disc read from an image: all its tracks, the first one current.
// Several CDDB matches are listed on stderr and the one asked for is taken.
class CliHost : public CdInfoHost {
 public:
  CliHost(int lastTrack, int choice, std::string* err)
      : lastTrack_(lastTrack), choice_(choice), err_(err) {}
  int LastTrack() override { return lastTrack_; }
  int CurrentTrack() override { return 0; }
  bool HasAudioDisc() override { return true; }
  std::string SelectCd(void*, const std::vector<std::string>& entries) override {
    *err_ += "several CDs match; taking number " + std::to_string(choice_) + ":\n";
    for (size_t i = 0; i < entries.size(); ++i)
      *err_ += "  " + std::to_string(i + 1) + ". " + entries[i] + "\n";
    return static_cast<size_t>(choice_) <= entries.size() ? entries[choice_ - 1] : std::string();
  }

 private:
  int lastTrack_;
  int choice_;
  std::string* err_;
};

// Folder, disc layout and host as the program has them when a disc has been scanned.
bool PrepareDisc(const Arguments& arguments, DiscLayout* layout, std::string* err) {
  std::string error;
  if (!ReadImageLayout(arguments.disc, layout, &error)) {
    *err += arguments.disc + ": " + error + "\n";
    return false;
  }
  settings.databasePath = arguments.folder.empty() ? DefaultDatabasePath() : arguments.folder;
  if (settings.databasePath.back() != '/') settings.databasePath += '/';
  SetDiscLayout(*layout);
  return true;
}

}  // namespace

bool TakeDiscArgument(const std::string& arg, std::string* disc, std::string* err) {
  if (!arg.empty() && arg[0] != '-' && disc->empty()) {
    *disc = arg;
    return true;
  }
  *err += "unexpected argument '" + arg + "'\n";
  return false;
}

bool DiscGiven(const std::string& disc, std::string* err) {
  if (disc.empty()) *err += "no disc image given\n";
  return !disc.empty();
}

bool ReadImageLayout(const std::string& disc, DiscLayout* layout, std::string* error) {
  ImageDriveOptions options;
  if (!ParseImageDriveString(disc, &options, error)) return false;
  std::unique_ptr<ImageCdDevice> drive = ImageCdDevice::Open(options, error);
  if (!drive) return false;
  int count = 0;
  if (drive->StatusTrackCount(&count) != 0 || count <= 0) {
    *error = "no tracks on the disc";
    return false;
  }
  *layout = DiscLayout{};
  layout->trackCount = std::min(count, kMaxTitleTracks);
  for (int i = 0; i < layout->trackCount; ++i) {
    if (drive->StatusTrackPosition(i + 1, &layout->position[i]) != 0 ||
        drive->StatusTrackLength(i + 1, &layout->length[i]) != 0) {
      *error = "cannot read track " + std::to_string(i + 1);
      return false;
    }
  }
  return true;
}

int CommandDiscId(const std::vector<std::string>& args, std::string* out, std::string* err) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    *err += "usage: sorn-karaoke-cli discid DISC\n";
    return 2;
  }
  DiscLayout layout;
  std::string error;
  if (!ReadImageLayout(args[0], &layout, &error)) {
    *err += args[0] + ": " + error + "\n";
    return 1;
  }
  char id[kDiscIdChars + 1];
  ComputeDiscId(layout.trackCount, layout.position, layout.length, id);
  *out += std::string(id) + "\n";
  return 0;
}

int CommandCddb(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Arguments arguments;
  if (!ParseArguments(args, true, &arguments, err)) {
    *err +=
        "usage: sorn-karaoke-cli cddb DISC [--server HOST[:PORT]] [--folder DIR] [--choice N]\n";
    return 2;
  }
  DiscLayout layout;
  if (!PrepareDisc(arguments, &layout, err)) return 1;
  if (settings.cddbUser.empty()) settings.cddbUser = "username";
  if (settings.cddbHost.empty()) settings.cddbHost = kPlaceholderHelloHost;
  ReadMailIdentity();
  if (arguments.server.empty()) {
    SetDefaultServerList();
  } else {
    settings.servers[0] = {arguments.server, "command line"};
    settings.serverCount = 1;
  }
  settings.cddbServer = 0;
  settings.firstCddb = 0;

  CliHost host(layout.trackCount - 1, arguments.choice, err);
  SetCdInfoHost(&host);
  LoadCdInfoFile(nullptr);
  const int result = CddbLookup(nullptr);
  SetCdInfoHost(nullptr);
  if (result != 0) {
    *err += "the disc was not found\n";
    return 1;
  }
  *out += CurrentInfoFile() + "\n";
  return 0;
}

int CommandInfo(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Arguments arguments;
  if (!ParseArguments(args, false, &arguments, err)) {
    *err += "usage: sorn-karaoke-cli info DISC [--folder DIR]\n";
    return 2;
  }
  DiscLayout layout;
  if (!PrepareDisc(arguments, &layout, err)) return 1;
  CliHost host(layout.trackCount - 1, 1, err);
  SetCdInfoHost(&host);
  LoadCdInfoFile(nullptr);
  SetCdInfoHost(nullptr);
  std::error_code error;
  if (CurrentInfoFile().empty() || !std::filesystem::is_regular_file(CurrentInfoFile(), error)) {
    *err += "no CD information file\n";
    return 1;
  }
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  *out += "file: " + cdInfo.currentInfoFile + "\n";
  *out += "album: " + cdTitles.albumTitle + "\n";
  *out += "artist: " + cdTitles.albumArtist + "\n";
  for (int i = 0; i < layout.trackCount; ++i) {
    const TrackTitle& track = cdTitles.tracks[i];
    *out += std::to_string(i + 1) + ": " + track.title;
    if (!track.artist.empty()) *out += " [" + track.artist + "]";
    *out += "\n";
  }
  return 0;
}
