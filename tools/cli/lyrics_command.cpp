#include "tools/cli/lyrics_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "cdinfo/info_file.h"
#include "cdinfo/lyrics_fetch.h"
#include "cdinfo/text_util.h"
#include "platform/files/output_file.h"
#include "settings/settings.h"
#include "tools/cli/cdinfo_commands.h"

namespace {

constexpr const char* kUsage =
    "usage: sorn-karaoke-cli lyrics DISC [--track N] [--service lrclib|site] [--url URL] "
    "[--folder DIR]\n";

struct Arguments {
  std::string disc;
  int track = 0;  // 1-based; 0 for every track
  std::string service;
  std::string url;
  std::string folder;
};

bool Parse(const std::vector<std::string>& args, Arguments* parsed, std::string* err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--track" && hasValue) {
      char* end = nullptr;
      const long track = std::strtol(args[++i].c_str(), &end, 10);
      if (*end != '\0' || track < 1 || track > kMaxTitleTracks) {
        *err += "--track takes a track number from 1 to " + std::to_string(kMaxTitleTracks) + "\n";
        return false;
      }
      parsed->track = static_cast<int>(track);
    } else if (arg == "--service" && hasValue) {
      parsed->service = args[++i];
      if (parsed->service != kLyricsServiceLrclib && parsed->service != kLyricsServiceSite) {
        *err += "--service takes lrclib or site\n";
        return false;
      }
    } else if (arg == "--url" && hasValue) {
      parsed->url = args[++i];
    } else if (arg == "--folder" && hasValue) {
      parsed->folder = args[++i];
    } else if (!TakeDiscArgument(arg, &parsed->disc, err)) {
      return false;
    }
  }
  return DiscGiven(parsed->disc, err);
}

// The site is named by host[:port]; a URL's scheme and path are left off.
std::string SiteHost(std::string url) {
  if (const size_t scheme = url.find("://"); scheme != std::string::npos) url.erase(0, scheme + 3);
  if (const size_t path = url.find('/'); path != std::string::npos) url.resize(path);
  return url;
}

// The player's part for a disc read from an image. Progress goes to stderr; candidates found
// by title alone are listed there and none is taken: without someone to choose, a stranger's
// song is worse than none.
class LyricsCliHost : public CdInfoHost {
 public:
  LyricsCliHost(int lastTrack, std::string* err) : lastTrack_(lastTrack), err_(err) {}
  int LastTrack() override { return lastTrack_; }
  int CurrentTrack() override { return 0; }
  bool HasAudioDisc() override { return true; }
  void ShowLyricsStatus(void*, const std::string& text) override { *err_ += text + "\n"; }
  int SelectSong(void*, const std::vector<std::string>& lines) override {
    *err_ += "songs found by title alone (none taken):\n";
    for (size_t i = 0; i + 1 < lines.size(); ++i) *err_ += "  " + lines[i] + "\n";
    return -1;
  }

 private:
  int lastTrack_;
  std::string* err_;
};

void SetInfoFile(const std::string& path) {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  cdInfo.currentInfoFile = path;
}

std::string ResultText(const LyricsTrackReport& track) {
  switch (track.result) {
    case TrackLyrics::kFound:
      return track.synced ? "found, time-synced" : "found";
    case TrackLyrics::kKept:
      return "kept: the section already has lyrics";
    case TrackLyrics::kNotFound:
      break;
  }
  return "not found";
}

}  // namespace

int CommandLyrics(const std::vector<std::string>& args, std::string* out, std::string* err) {
  Arguments arguments;
  if (!Parse(args, &arguments, err)) {
    *err += kUsage;
    return 2;
  }
  DiscLayout layout;
  std::string error;
  if (!ReadImageLayout(arguments.disc, &layout, &error)) {
    *err += arguments.disc + ": " + error + "\n";
    return 1;
  }
  if (arguments.track > layout.trackCount) {
    *err += "the disc has " + std::to_string(layout.trackCount) + " tracks\n" + kUsage;
    return 2;
  }
  if (!arguments.folder.empty()) settings.databasePath = arguments.folder;
  if (settings.databasePath.empty()) settings.databasePath = DefaultDatabasePath();
  if (settings.databasePath.back() != '/') settings.databasePath += '/';
  if (!arguments.service.empty()) settings.lyricsService = arguments.service;
  if (!arguments.url.empty()) {
    if (LyricsServiceName(settings.lyricsService) == kLyricsServiceSite)
      settings.lyricsHost = SiteHost(arguments.url);
    else
      settings.lyricsUrl = arguments.url;
  }
  SetDiscLayout(layout);

  LyricsCliHost host(layout.trackCount - 1, err);
  SetCdInfoHost(&host);
  LoadCdInfoFile(nullptr);
  const std::string file = CurrentInfoFile();
  // The lyrics go into a copy of the file of this run's own, put in its place only when the
  // run succeeds.
  std::string text;
  OutputFile work;
  if (file.empty() || !cdinfo::ReadFileText(file, kInfoFileMaxBytes, &text) || !work.Create(file) ||
      !work.Write(text.data(), text.size())) {
    SetCdInfoHost(nullptr);
    *err += "cannot copy the CD information file " + file + "\n";
    return 1;
  }
  SetInfoFile(work.TemporaryPath());
  lyricsState.cancel.store(0);
  lyricsState.lyricsTrackSelector.store(arguments.track - 1);
  LyricsReport report;
  const int result = FetchLyrics(nullptr, &report);
  SetInfoFile(file);
  SetCdInfoHost(nullptr);

  CdTitles titles;
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    titles = cdTitles;
  }
  std::stable_sort(
      report.tracks.begin(), report.tracks.end(),
      [](const LyricsTrackReport& a, const LyricsTrackReport& b) { return a.track < b.track; });
  std::string lines;
  for (const LyricsTrackReport& track : report.tracks)
    lines += "track " + std::to_string(track.track + 1) + " (" + titles.tracks[track.track].title +
             "): " + ResultText(track) + "\n";
  if (result != 0 || !work.Commit()) {
    *err += lines + "lyrics from " + report.service + " failed: " +
            (report.failure.empty() ? "the file cannot be replaced" : report.failure) +
            "; the CD information file is unchanged\n";
    return 1;
  }
  *out += lines + "file: " + file + "\n";
  return 0;
}
