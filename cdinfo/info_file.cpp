#include "cdinfo/info_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include "cdinfo/cddb_entry.h"
#include "cdinfo/text_util.h"
#include "diagnostics/diagnostics.h"
#include "platform/files/output_file.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"

CdTitles cdTitles;
CdInfoState cdInfo;

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxText = kTitleBytes - 1;
constexpr const char* kStarHeading = "****Lyrics for Track";

CdInfoHost defaultHost;

// Serialises the rewrites of the current file: a fetch on the lookup worker and an edit on the
// window thread each read, change and write the whole file.
std::mutex fileEditLock;

// The CDDB answer of the lookup under way, in a file of its own beside temp.txt.
struct LookupAnswer {
  std::mutex lock;
  OutputFile file;
};
LookupAnswer lookupAnswer;

const char kFileNote[] =
    "Note: To enter your own titles and/or lyrics, simply replace or enter the\n"
    "information in the appropriate areas below. It is important that you\n"
    "leave the headings unchanged, and do not add additional tracks or you may\n"
    "experience unstable operation of Sorn Karaoke. Be sure to always leave a\n"
    "space after the :\n"
    "\n";
const char kArtistNote[] =
    "Note: If this CD has a different artist for each track, you can enter them\n"
    "below. Otherwise, leave these blank:\n"
    "\n";

int LastTrackNow() {
  return std::clamp(Host().LastTrack(), 0, kMaxTitleTracks - 1);
}

std::string Folder() {
  std::string folder = settings.databasePath;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

void SetCurrentInfoFile(const std::string& path) {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  cdInfo.currentInfoFile = path;
}

void InstallTitles(CdTitles&& titles) {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  cdTitles = std::move(titles);
}

CdTitles TitlesSnapshot() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdTitles;
}

// One line of the file: a text never breaks the layout with a line end of its own.
std::string OneLine(std::string_view text) {
  std::string line(text);
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\r', ' ');
  return line;
}

std::string Printf(const char* format, int number, std::string_view text) {
  char head[64];
  std::snprintf(head, sizeof head, format, number);
  return head + std::string(text);
}

// Reads the whole file for a rewrite; a file beyond the maximum is refused, not cut. Its line
// ends, of whatever kind a hand edit left, come back as "\n" unless the bytes are asked for.
bool ReadWholeFile(const std::string& path, std::string* text, bool bytes = false) {
  if (!cdinfo::ReadFileText(path, kInfoFileMaxBytes + 1, text)) return false;
  if (text->size() > kInfoFileMaxBytes) {
    Trace("ReadWholeFile: %s is larger than %zu bytes; left unchanged\n", path.c_str(),
          kInfoFileMaxBytes);
    text->clear();
    return false;
  }
  if (!bytes) *text = cdinfo::UnixLineEnds(*text);
  return true;
}

// Writes text with "\n" line ends only (a lone "\r" ends a line too), ending in a line end.
bool WriteInfoText(const std::string& path, std::string text) {
  text = cdinfo::UnixLineEnds(text);
  if (text.empty() || text.back() != '\n') text += '\n';
  return cdinfo::WriteFileText(path, text);
}

// "value after a heading": find the heading from the cursor, then the first ":" from there;
// one blank after the ":" is skipped (whatever character it is). A heading that is not found
// gives an empty value and leaves the cursor where it was.
std::string ValueAfter(std::string_view text, size_t* cursor, std::string_view heading) {
  const size_t n = text.size();
  const size_t pos = text.find(heading, *cursor);
  if (pos == std::string_view::npos) return std::string();
  const size_t colon = text.find(':', pos);
  if (colon == std::string_view::npos) {
    *cursor = pos + heading.size();
    return std::string();
  }
  const size_t a = colon + 1;
  if (a >= n || text[a] == '\n') {
    *cursor = std::min(a + 1, n);
    return std::string();
  }
  if (a + 1 >= n || text[a + 1] == '\n') {
    *cursor = std::min(a + 2, n);
    return std::string();
  }
  size_t end = text.find('\n', a + 1);
  if (end == std::string_view::npos) end = n;
  *cursor = std::min(end + 1, n);
  return cdinfo::CutUtf8(cdinfo::AsUtf8(cdinfo::WithoutCr(text.substr(a + 1, end - a - 1))),
                         kMaxText);
}

// Start of the rest of the file after track's section: the next track's heading, or when a
// hand edit removed it, the next heading of any track; npos when the section is the last.
size_t RestAfterSection(std::string_view text, int track, size_t heading) {
  size_t next = FindLyricsHeading(text, track + 2, heading + 1, true);
  if (next == std::string_view::npos) next = text.find(kStarHeading, heading + 1);
  return next;
}

bool SamePath(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

// The disc's previous file: the current one when it belongs to this disc, else the first file
// of the folder whose name holds the disc id.
std::string OldFileOfDisc(const std::string& discId) {
  const std::string current = CurrentInfoFile();
  std::error_code error;
  if (!current.empty() && fs::path(current).filename().string().find(discId) != std::string::npos &&
      fs::is_regular_file(current, error))
    return current;
  std::vector<std::string> matches;
  for (fs::directory_iterator it(Folder().empty() ? "." : Folder(), error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    // ".<name>.<random>.part" is a file being written (platform/files/output_file.h).
    const std::string name = it->path().filename().string();
    const bool beingWritten =
        name[0] == '.' && name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
    if (!beingWritten && name.find(discId) != std::string::npos)
      matches.push_back(it->path().string());
  }
  std::sort(matches.begin(), matches.end());
  return matches.empty() ? std::string() : matches.front();
}

}  // namespace

// ---- Host ----------------------------------------------------------------------------------

int CdInfoHost::LastTrack() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return std::max(cdInfo.layout.trackCount - 1, 0);
}

int CdInfoHost::CurrentTrack() {
  return 0;
}

bool CdInfoHost::HasAudioDisc() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdInfo.layout.trackCount > 0;
}

int CdInfoHost::SelectCd(void*, const std::vector<std::string>& entries) {
  return entries.empty() ? -1 : 0;
}

int ChooseCd(void* window, const std::vector<std::string>& matches) {
  if (matches.size() <= 1) return matches.empty() ? -1 : 0;
  std::vector<std::string> entries = matches;
  entries.push_back(kNoneOfTheAbove);
  const int picked = Host().SelectCd(window, entries);
  return picked >= 0 && static_cast<size_t>(picked) < matches.size() ? picked : -1;
}

int CdInfoHost::SelectSong(void*, const std::vector<std::string>& lines) {
  return lines.empty() ? -1 : 0;
}

void SetCdInfoHost(CdInfoHost* host) {
  cdInfo.host.store(host, std::memory_order_release);
}

namespace {

CdInfoHost& InstalledHost() {
  CdInfoHost* host = cdInfo.host.load(std::memory_order_acquire);
  return host ? *host : defaultHost;
}

// What the CD information code calls: the questions about the player go straight to the
// installed host (they read shared state); what it shows runs on the window thread, posted when
// the lookup worker asks, and the dialog's answer is waited for.
class WindowThreadHost final : public CdInfoHost {
 public:
  int LastTrack() override { return InstalledHost().LastTrack(); }
  int CurrentTrack() override { return InstalledHost().CurrentTrack(); }
  bool HasAudioDisc() override { return InstalledHost().HasAudioDisc(); }

  void ShowTitles(void* window) override {
    Post([window] { InstalledHost().ShowTitles(window); });
  }
  void ShowLyrics(void* window, const std::string& text) override {
    Post([window, text] { InstalledHost().ShowLyrics(window, text); });
  }
  void ShowStatusLine(void* window, const std::string& text) override {
    Post([window, text] { InstalledHost().ShowStatusLine(window, text); });
  }
  void ShowTitleLine(void* window) override {
    Post([window] { InstalledHost().ShowTitleLine(window); });
  }
  void ShowArtistLine(void* window, const std::string& artist) override {
    Post([window, artist] { InstalledHost().ShowArtistLine(window, artist); });
  }
  void StartBlink(void* window, const std::string& text) override {
    Post([window, text] { InstalledHost().StartBlink(window, text); });
  }
  void StopBlink(void* window) override {
    Post([window] { InstalledHost().StopBlink(window); });
  }
  void MarkKnownCd(void* window) override {
    Post([window] { InstalledHost().MarkKnownCd(window); });
  }
  int SelectCd(void* window, const std::vector<std::string>& entries) override {
    int picked = -1;  // nothing picked when the dialog cannot be shown
    CallOnWindowThread([&] { picked = InstalledHost().SelectCd(window, entries); });
    return picked;
  }
  void ShowLyricsStatus(void* window, const std::string& text) override {
    Post([window, text] { InstalledHost().ShowLyricsStatus(window, text); });
  }
  int SelectSong(void* window, const std::vector<std::string>& lines) override {
    int picked = -1;  // nothing picked when the dialog cannot be shown
    CallOnWindowThread([&] { picked = InstalledHost().SelectSong(window, lines); });
    return picked;
  }

 private:
  static void Post(std::function<void()> call) { RunOnWindowThread(std::move(call)); }
};
WindowThreadHost windowThreadHost;

}  // namespace

CdInfoHost& Host() {
  return windowThreadHost;
}

void SetDiscLayout(const DiscLayout& layout) {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  cdInfo.layout = layout;
  cdInfo.layout.trackCount = std::clamp(layout.trackCount, 0, kMaxTitleTracks);
  ComputeDiscId(cdInfo.layout.trackCount, cdInfo.layout.position, cdInfo.layout.length,
                cdInfo.discId);
}

DiscLayout CurrentDiscLayout() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdInfo.layout;
}

std::string CurrentDiscId() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdInfo.discId;
}

std::string CurrentInfoFile() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdInfo.currentInfoFile;
}

// ---- Names ---------------------------------------------------------------------------------

std::string InfoFilePath(std::string_view albumTitle, std::string_view discId) {
  return Folder() + cdinfo::FileNamePart(albumTitle, kFileNameTitleBytes) + " " +
         cdinfo::FileNamePart(discId, kDiscIdChars) + ".txt";
}

std::string LyricsEditFilePath() {
  return Folder() + kLyricsEditFileName;
}

std::string TempFilePath() {
  return Folder() + kTempFileName;
}

bool SaveLookupAnswer(const std::string& folder, std::string_view answer) {
  std::lock_guard<std::mutex> guard(lookupAnswer.lock);
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  OutputFile& file = lookupAnswer.file;
  if (file.Create(path + kTempFileName) && file.Write(answer.data(), answer.size())) return true;
  file.Abandon();
  return false;
}

std::vector<std::string> FindInfoFiles(std::string_view discId) {
  std::vector<std::string> files;
  if (discId.empty()) return files;
  const std::string suffix = std::string(discId) + ".txt";
  std::error_code error;
  for (fs::directory_iterator it(Folder().empty() ? "." : Folder(), error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::string name = it->path().filename().string();
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      files.push_back(Folder() + name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// ---- Text ----------------------------------------------------------------------------------

std::string LyricsHeading(int track, std::string_view title) {
  return Printf("****Lyrics for Track %d, ", track + 1,
                cdinfo::TruncateAtWord(OneLine(title), kLyricsHeadingTitleWidth)) +
         ":";
}

std::string BuildCdInfoText(const CdTitles& titles, int lastTrack) {
  lastTrack = std::min(lastTrack, kMaxTitleTracks - 1);
  std::string text = kFileNote;
  text += "CD Title: " + OneLine(titles.albumTitle) + "\n";
  text += "Artist: " + OneLine(titles.albumArtist) + "\n\n";
  for (int i = 0; i <= lastTrack; ++i)
    text += Printf("Track %d: ", i + 1, OneLine(titles.tracks[i].title)) + "\n";
  text += "\n";
  text += kArtistNote;
  for (int i = 0; i <= lastTrack; ++i)
    text += Printf("Track Artist %d: ", i + 1, OneLine(titles.tracks[i].artist)) + "\n";
  text += "\n";
  for (int i = 0; i <= lastTrack; ++i)
    text += LyricsHeading(i, titles.tracks[i].title) + "\n" + kNoLyricsText + "\n\n";
  return text;
}

std::string BuildDefaultCdInfoText(int lastTrack) {
  lastTrack = std::min(lastTrack, kMaxTitleTracks - 1);
  std::string text = kFileNote;
  text += "CD Title: Unknown CD\nArtist: Unknown Artist\n\n";
  char line[64];
  for (int i = 1; i <= lastTrack + 1; ++i) {
    std::snprintf(line, sizeof line, "Track %d: Song %d\n", i, i);
    text += line;
  }
  text += "\n";
  text += kArtistNote;
  for (int i = 1; i <= lastTrack + 1; ++i) {
    std::snprintf(line, sizeof line, "Track Artist %d:\n", i);
    text += line;
  }
  text += "\n";
  for (int i = 1; i <= lastTrack + 1; ++i) {
    std::snprintf(line, sizeof line, "****Lyrics for Track %d, Unknown Song:\n", i);
    text += line;
    text += kNoLyricsText;
    text += "\n\n";
  }
  return text;
}

void ParseCdInfoText(std::string_view text, int lastTrack, CdTitles* titles) {
  lastTrack = std::min(lastTrack, kMaxTitleTracks - 1);
  size_t cursor = 0;
  titles->albumTitle = ValueAfter(text, &cursor, "CD Title:");
  titles->albumArtist = ValueAfter(text, &cursor, "Artist:");
  for (int i = 0; i <= lastTrack; ++i) titles->tracks[i].title = ValueAfter(text, &cursor, "Track");
  for (int i = 0; i <= lastTrack; ++i)
    titles->tracks[i].artist = ValueAfter(text, &cursor, "Track Artist");
}

size_t FindLyricsHeading(std::string_view text, int trackNumber, size_t from, bool withStars) {
  char heading[64];
  std::snprintf(heading, sizeof heading, "%sLyrics for Track %d", withStars ? "****" : "",
                trackNumber);
  const std::string_view pattern = heading;
  for (size_t pos = text.find(pattern, from); pos != std::string_view::npos;
       pos = text.find(pattern, pos + 1)) {
    const size_t after = pos + pattern.size();
    if (after >= text.size() || text[after] < '0' || text[after] > '9') return pos;
  }
  return std::string_view::npos;
}

bool TrackLyricsFromText(std::string_view text, int track, std::string* lyrics) {
  lyrics->clear();
  if (track < 0) return false;
  const size_t heading = FindLyricsHeading(text, track + 1, 0, false);
  if (heading == std::string_view::npos) return false;
  const size_t lineEnd = text.find('\n', heading);
  if (lineEnd == std::string_view::npos) return true;
  const size_t start = lineEnd + 1;
  size_t end = text.find(kStarHeading, start);
  if (end == std::string_view::npos) end = text.size();
  *lyrics = text.substr(start, end - start);
  return true;
}

bool ReplaceLyricsInText(std::string* text, int track, std::string_view sectionText) {
  if (track < 0) return false;
  // Trailing line ends (and blanks left on the last lines) go; exactly one empty line follows.
  std::string section(sectionText);
  while (!section.empty() && (section.back() == '\n' || section.back() == '\r' ||
                              section.back() == ' ' || section.back() == '\t'))
    section.pop_back();
  section += "\n\n";
  const size_t heading = FindLyricsHeading(*text, track + 1, 0, true);
  if (heading == std::string::npos) return false;
  const size_t rest = RestAfterSection(*text, track, heading);
  *text =
      text->substr(0, heading) + section + (rest == std::string::npos ? "  " : text->substr(rest));
  return true;
}

bool MarkNotFoundInText(std::string* text, int track) {
  if (track < 0) return false;
  const size_t heading = FindLyricsHeading(*text, track + 1, 0, true);
  if (heading == std::string::npos) return false;
  const size_t lineEnd = text->find('\n', heading);
  if (lineEnd == std::string::npos) return false;
  const size_t rest = RestAfterSection(*text, track, heading);
  *text = text->substr(0, lineEnd + 1) + kLyricsNotFoundText + "\n\n" +
          (rest == std::string::npos ? "  " : text->substr(rest));
  return true;
}

bool SectionHoldsLyrics(std::string_view text, int track) {
  std::string lyrics;
  if (!TrackLyricsFromText(text, track, &lyrics)) return false;
  const size_t first = lyrics.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return false;
  const size_t last = lyrics.find_last_not_of(" \t\r\n");
  const std::string_view body = std::string_view(lyrics).substr(first, last + 1 - first);
  return body != kNoLyricsText && body != kLyricsNotFoundText;
}

void CarryLyrics(std::string_view oldText, std::string* newText, const CdTitles& titles,
                 int lastTrack) {
  lastTrack = std::min(lastTrack, kMaxTitleTracks - 1);
  size_t cursor = 0;
  for (int i = 0; i <= lastTrack; ++i) {
    const size_t heading = FindLyricsHeading(oldText, i + 1, cursor, false);
    if (heading == std::string_view::npos) continue;
    const size_t lineEnd = oldText.find('\n', heading);
    const size_t start = lineEnd == std::string_view::npos ? oldText.size() : lineEnd + 1;
    const size_t next = oldText.find(kStarHeading, start);
    size_t end = next == std::string_view::npos ? oldText.size() : next;
    if (end > start && oldText[end - 1] == '\n') --end;  // the line end before the heading
    const std::string section = LyricsHeading(i, titles.tracks[i].title) + "\n" +
                                std::string(oldText.substr(start, end - start)) + "\n";
    ReplaceLyricsInText(newText, i, section);
    cursor = next == std::string_view::npos ? oldText.size() : next;
  }
}

// ---- Files ---------------------------------------------------------------------------------

int RemoveCarriageReturns(const std::string& path) {
  std::lock_guard<std::mutex> guard(fileEditLock);
  std::string text;
  if (!ReadWholeFile(path, &text, true)) return -1;
  if (text.find('\r') == std::string::npos && !text.empty() && text.back() == '\n') return 1;
  return WriteInfoText(path, std::move(text)) ? 1 : -1;
}

int CreateDefaultCdInfoFile(std::string* pathOut) {
  const std::string folder = Folder();
  if (!folder.empty()) {
    std::error_code error;
    fs::create_directories(folder, error);
  }
  *pathOut = folder + kUnknownCdName + " " + CurrentDiscId() + ".txt";
  if (!WriteInfoText(*pathOut, BuildDefaultCdInfoText(LastTrackNow()))) {
    Trace("CreateDefaultCdInfoFile: cannot write %s\n", pathOut->c_str());
    return 0;
  }
  return 1;
}

int WriteCdInfoFile(const std::string& path) {
  if (!WriteInfoText(path, BuildCdInfoText(TitlesSnapshot(), LastTrackNow()))) {
    Trace("WriteCdInfoFile: cannot write %s\n", path.c_str());
    return -1;
  }
  return 1;
}

void LoadCdInfoFile(void* window) {
  CdInfoHost& host = Host();
  const std::string discId = CurrentDiscId();
  const int lastTrack = LastTrackNow();
  CdTitles titles;

  std::string path;
  if (!discId.empty()) {
    const std::vector<std::string> files = FindInfoFiles(discId);
    if (files.empty()) {
      CreateDefaultCdInfoFile(&path);
    } else {
      // A looked-up file wins over a default one.
      path = files.front();
      for (const std::string& file : files) {
        if (fs::path(file).filename().string().find(kUnknownCdName) == std::string::npos) {
          path = file;
          break;
        }
      }
    }
  }
  SetCurrentInfoFile(path);

  std::string text;
  const bool read = !path.empty() && cdinfo::ReadFileText(path, kInfoFileReadBytes, &text);
  if (read) ParseCdInfoText(cdinfo::UnixLineEnds(text), lastTrack, &titles);
  InstallTitles(std::move(titles));
  host.ShowTitles(window);
  if (read) ShowTrackLyrics(window, std::clamp(host.CurrentTrack(), 0, lastTrack));
}

int FetchAnyLyricsFromOldFile(const std::string& newPath, const std::string& oldPath) {
  std::string oldText;
  if (!ReadWholeFile(oldPath, &oldText)) {
    Trace("error - old File didnt open in FetchAnyLyricsFromOldFile\n");
    return -1;
  }
  std::string newText;
  if (!ReadWholeFile(newPath, &newText)) return -1;
  CarryLyrics(oldText, &newText, TitlesSnapshot(), LastTrackNow());
  return WriteInfoText(newPath, std::move(newText)) ? 1 : -1;
}

int ConvertCddbToDatabase(void* window) {
  std::string answer;
  {
    // This lookup's own answer (another lookup in the folder has its own), kept as temp.txt
    // once read; without one, temp.txt itself.
    std::lock_guard<std::mutex> guard(lookupAnswer.lock);
    const std::string tempPath =
        lookupAnswer.file.IsOpen() ? lookupAnswer.file.TemporaryPath() : TempFilePath();
    RemoveCarriageReturns(tempPath);
    const bool read = ReadWholeFile(tempPath, &answer);
    if (lookupAnswer.file.IsOpen()) lookupAnswer.file.Commit();
    if (!read) {
      Trace("error - temp.txt didnt open in ConvertCddbToDatabase\n");
      return -1;
    }
  }
  return StoreLookedUpTitles(window, [&answer](int lastTrack, CdTitles* titles) {
    ParseCddbEntry(answer, lastTrack, titles);
  });
}

int StoreLookedUpTitles(void* window, const std::function<void(int lastTrack, CdTitles*)>& apply) {
  CdInfoHost& host = Host();
  const std::string discId = CurrentDiscId();
  if (discId.empty()) {
    Trace("StoreLookedUpTitles: no disc id\n");
    return -1;
  }
  const int lastTrack = LastTrackNow();
  CdTitles titles = TitlesSnapshot();
  apply(lastTrack, &titles);
  titles.albumTitle = cdinfo::WithoutControlCharacters(titles.albumTitle);
  titles.albumArtist = cdinfo::WithoutControlCharacters(titles.albumArtist);
  for (TrackTitle& track : titles.tracks) {
    track.title = cdinfo::WithoutControlCharacters(track.title);
    track.artist = cdinfo::WithoutControlCharacters(track.artist);
  }

  const std::string oldPath = OldFileOfDisc(discId);
  const std::string newPath = InfoFilePath(titles.albumTitle, discId);
  // Read the old lyrics before anything is written: the new file may have the old one's name.
  // A file that cannot be read is never replaced: its lyrics would be lost.
  std::string oldText;
  const bool haveOld = !oldPath.empty();
  if (haveOld && !ReadWholeFile(oldPath, &oldText)) {
    Trace("StoreLookedUpTitles: %s cannot be read; it is left as it is\n", oldPath.c_str());
    host.ShowTitles(window);
    return -1;
  }

  std::string newText = BuildCdInfoText(titles, lastTrack);
  if (haveOld) CarryLyrics(oldText, &newText, titles, lastTrack);
  InstallTitles(std::move(titles));
  if (!WriteInfoText(newPath, std::move(newText))) {
    Trace("StoreLookedUpTitles: cannot write %s\n", newPath.c_str());
    host.ShowTitles(window);
    return -1;
  }
  const bool replacesOld = haveOld && !SamePath(oldPath, newPath);
  SetCurrentInfoFile(newPath);
  if (replacesOld) {
    std::error_code error;
    fs::remove(oldPath, error);
  }
  host.ShowTitles(window);
  return 0;
}

void ShowTrackLyrics(void* window, int track) {
  CdInfoHost& host = Host();
  // Showing only reads: the file keeps its line ends until a change is written.
  const std::string path = CurrentInfoFile();
  if (!host.HasAudioDisc()) {
    host.ShowLyrics(window, "  ");
    return;
  }
  std::string text;
  std::string lyrics;
  if (path.empty() || !ReadWholeFile(path, &text) || !TrackLyricsFromText(text, track, &lyrics)) {
    host.ShowLyrics(window, kLyricsMissingText);
    return;
  }
  host.ShowLyrics(window, lyrics);
}

int ReplaceLyricsSection(void* window, int track, const std::string& sectionText) {
  return StoreLyricsSection(window, track, sectionText, false);
}

int StoreLyricsSection(void*, int track, const std::string& sectionText, bool keepWritten) {
  std::lock_guard<std::mutex> guard(fileEditLock);
  const std::string path = CurrentInfoFile();
  std::string text;
  if (path.empty() || !ReadWholeFile(path, &text)) return -1;
  if (keepWritten && SectionHoldsLyrics(text, track)) return 0;
  if (!ReplaceLyricsInText(&text, track, sectionText)) {
    Trace("didnt find heading\n");
    return -1;
  }
  return WriteInfoText(path, std::move(text)) ? 1 : -1;
}

bool TrackHasLyrics(int track) {
  std::lock_guard<std::mutex> guard(fileEditLock);
  std::string text;
  return ReadWholeFile(CurrentInfoFile(), &text) && SectionHoldsLyrics(text, track);
}

void MarkLyricsNotFound(void*, int track) {
  std::lock_guard<std::mutex> guard(fileEditLock);
  const std::string path = CurrentInfoFile();
  std::string text;
  if (path.empty() || !ReadWholeFile(path, &text)) return;
  if (SectionHoldsLyrics(text, track)) return;
  if (MarkNotFoundInText(&text, track)) WriteInfoText(path, std::move(text));
}

int ExtractLyricsForEditing(int track) {
  const std::string path = CurrentInfoFile();
  std::string text;
  if (path.empty() || !ReadWholeFile(path, &text)) return -1;
  std::string lyrics;
  if (!TrackLyricsFromText(text, track, &lyrics)) lyrics = "  ";
  if (!WriteInfoText(LyricsEditFilePath(), std::move(lyrics))) {
    Trace("ExtractLyricsForEditing: cannot write %s\n", LyricsEditFilePath().c_str());
    return -1;
  }
  return 0;
}
