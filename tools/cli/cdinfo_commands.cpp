#include "tools/cli/cdinfo_commands.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "cdinfo/cddb.h"
#include "cdinfo/info_file.h"
#include "cdinfo/musicbrainz_answer.h"
#include "cdinfo/musicbrainz_disc_id.h"
#include "cdinfo/title_lookup.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/image_drive.h"
#include "settings/settings.h"

namespace {

struct Arguments {
  std::string disc;
  std::string server;
  std::string folder;
  std::string url;
  TitleService service = TitleService::kAuto;
  bool serviceGiven = false;
  int choice = 1;
};

// Which options a command takes besides DISC and --folder.
enum Options : unsigned {
  kServerOptions = 1,   // --server, --choice
  kServiceOptions = 2,  // --service, --url
};

constexpr int kMaxChoice = static_cast<int>(kMaxMusicBrainzReleases) + 1;

// DISC followed by the options the command accepts; false with the reason on bad usage.
bool ParseArguments(const std::vector<std::string>& args, unsigned options, Arguments* parsed,
                    std::string* err) {
  const bool server = options & kServerOptions;
  const bool service = options & kServiceOptions;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--folder" && hasValue) {
      parsed->folder = args[++i];
    } else if (server && arg == "--server" && hasValue) {
      parsed->server = args[++i];
    } else if (server && arg == "--choice" && hasValue) {
      char* end = nullptr;
      const long choice = std::strtol(args[i + 1].c_str(), &end, 10);
      if (*end != '\0' || choice < 1 || choice > kMaxChoice) {
        *err += "--choice takes a number from 1 to " + std::to_string(kMaxChoice) + "\n";
        return false;
      }
      parsed->choice = static_cast<int>(choice);
      ++i;
    } else if (service && arg == "--service" && hasValue) {
      if (!ParseTitleService(args[++i], &parsed->service)) {
        *err += "--service takes auto, musicbrainz or cddb\n";
        return false;
      }
      parsed->serviceGiven = true;
    } else if (service && arg == "--url" && hasValue) {
      parsed->url = args[++i];
      if (parsed->url.rfind("http://", 0) != 0 && parsed->url.rfind("https://", 0) != 0) {
        *err += "--url takes an http:// or https:// address\n";
        return false;
      }
    } else if (!TakeDiscArgument(arg, &parsed->disc, err)) {
      return false;
    }
  }
  return DiscGiven(parsed->disc, err);
}

// The player's part for a disc read from an image: all its tracks, the first one current.
// Several matches are listed on stderr and the one asked for is taken.
class CliHost : public CdInfoHost {
 public:
  CliHost(int lastTrack, int choice, std::string* err)
      : lastTrack_(lastTrack), choice_(choice), err_(err) {}
  int LastTrack() override { return lastTrack_; }
  int CurrentTrack() override { return 0; }
  bool HasAudioDisc() override { return true; }
  int SelectCd(void*, const std::vector<std::string>& entries) override {
    *err_ += "several CDs match; taking number " + std::to_string(choice_) + ":\n";
    for (size_t i = 0; i < entries.size(); ++i)
      *err_ += "  " + std::to_string(i + 1) + ". " + entries[i] + "\n";
    if (static_cast<size_t>(choice_) <= entries.size()) return choice_ - 1;
    *err_ += "there is no number " + std::to_string(choice_) + "\n";
    return -1;
  }

 private:
  int lastTrack_;
  int choice_;
  std::string* err_;
};

// Message boxes of a lookup become lines on stderr: "Caption: text" with the text's lines
// joined. Counts them, so a failure they explain needs no line of its own.
class CliBoxes : public MessageBoxPresenter {
 public:
  explicit CliBoxes(std::string* err) : err_(err) { SetMessageBoxPresenter(this); }
  ~CliBoxes() override { SetMessageBoxPresenter(nullptr); }
  int Show(void*, const std::string& caption, const std::string& text, unsigned flags) override {
    std::string line = caption + ": ";
    for (char c : text) {
      if (c != '\n')
        line += c;
      else if (!line.empty() && line.back() != ' ')
        line += ' ';
    }
    *err_ += line + "\n";
    ++shown;
    return (flags & 0xF) == kMbYesNo ? kIdYes : kIdOk;
  }
  int shown = 0;

 private:
  std::string* err_;
};

// Folder, disc layout and host as the program has them when a disc has been scanned.
bool PrepareDisc(const Arguments& arguments, DiscLayout* layout, std::string* err) {
  std::string error;
  if (!ReadImageLayout(arguments.disc, layout, &error)) {
    *err += arguments.disc + ": " + error + "\n";
    return false;
  }
  if (!arguments.folder.empty())
    settings.databasePath = arguments.folder;
  else if (settings.databasePath.empty())
    settings.databasePath = DefaultDatabasePath();
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
    int type = 0;
    if (drive->StatusTrackPosition(i + 1, &layout->position[i]) != 0 ||
        drive->StatusTrackLength(i + 1, &layout->length[i]) != 0 ||
        drive->StatusTrackType(i + 1, &type) != 0) {
      *error = "cannot read track " + std::to_string(i + 1);
      return false;
    }
    layout->dataTrack[i] = type != MCI_CDA_TRACK_AUDIO;
  }
  return true;
}

int CommandDiscId(const std::vector<std::string>& args, std::string* out, std::string* err) {
  std::string disc;
  bool musicBrainz = false;
  for (const std::string& arg : args) {
    if (arg == "--musicbrainz" && !musicBrainz) {
      musicBrainz = true;
    } else if (!arg.empty() && arg[0] != '-' && disc.empty()) {
      disc = arg;
    } else {
      disc.clear();
      break;
    }
  }
  if (disc.empty()) {
    *err += "usage: sorn-karaoke-cli discid DISC [--musicbrainz]\n";
    return 2;
  }
  DiscLayout layout;
  std::string error;
  if (!ReadImageLayout(disc, &layout, &error)) {
    *err += disc + ": " + error + "\n";
    return 1;
  }
  if (musicBrainz) {
    const std::string id = MusicBrainzDiscId(MusicBrainzTocOf(layout));
    if (id.empty()) {
      *err += disc + ": no audio track\n";
      return 1;
    }
    *out += id + "\n";
    return 0;
  }
  char id[kDiscIdChars + 1];
  ComputeDiscId(layout.trackCount, layout.position, layout.length, id);
  *out += std::string(id) + "\n";
  return 0;
}

namespace {

// The CDDB side of a lookup from the command line: the hello identity from $EMAIL (when the
// settings have none), and the server given or the built-in list.
void UseCddbServer(const Arguments& arguments) {
  if (settings.cddbUser.empty()) settings.cddbUser = "username";
  if (settings.cddbHost.empty()) settings.cddbHost = kPlaceholderHelloHost;
  if (settings.cddbClientName.empty()) settings.cddbClientName = kDefaultCddbClientName;
  if (!arguments.server.empty()) {
    settings.servers[0] = {arguments.server, "command line"};
    settings.serverCount = 1;
  } else if (settings.serverCount <= 0) {
    SetDefaultServerList();
  }
  settings.cddbServer = 0;
  settings.firstCddb = 0;
}

// Looks the disc up with the service, as the Internet command does; prints the file's path.
int RunLookup(const Arguments& arguments, TitleService service, const std::string& url,
              std::string* out, std::string* err) {
  DiscLayout layout;
  if (!PrepareDisc(arguments, &layout, err)) return 1;
  CliHost host(layout.trackCount - 1, arguments.choice, err);
  CliBoxes boxes(err);
  SetCdInfoHost(&host);
  LoadCdInfoFile(nullptr);
  const int result = LookUpTitles(nullptr, service, url);
  SetCdInfoHost(nullptr);
  if (result < 0) {
    if (boxes.shown == 0) *err += "the disc was not found\n";
    return 1;
  }
  *out += CurrentInfoFile() + "\n";
  return 0;
}

}  // namespace

int CommandCddb(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Arguments arguments;
  if (!ParseArguments(args, kServerOptions, &arguments, err)) {
    *err +=
        "usage: sorn-karaoke-cli cddb DISC [--server HOST[:PORT]] [--folder DIR] [--choice N]\n";
    return 2;
  }
  ReadMailIdentity();
  UseCddbServer(arguments);
  return RunLookup(arguments, TitleService::kCddb, std::string(), out, err);
}

int CommandTitles(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Arguments arguments;
  if (!ParseArguments(args, kServerOptions | kServiceOptions, &arguments, err)) {
    *err +=
        "usage: sorn-karaoke-cli titles DISC [--service auto|musicbrainz|cddb] [--url URL]\n"
        "       [--server HOST[:PORT]] [--folder DIR] [--choice N]\n";
    return 2;
  }
  UseCddbServer(arguments);
  const TitleService service = arguments.serviceGiven ? arguments.service : settings.titleService;
  const std::string url = arguments.url.empty() ? settings.musicBrainzUrl : arguments.url;
  return RunLookup(arguments, service, url, out, err);
}

int CommandInfo(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Arguments arguments;
  if (!ParseArguments(args, 0, &arguments, err)) {
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
