#include "app/launcher_table.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/process/launcher.h"

namespace {

constexpr const char* kEditor[] = {"gnome-text-editor --standalone", "gedit --wait", "kate --block",
                                   "mousepad --disable-server",      "xed --wait",   nullptr};
constexpr const char* kVolumeControl[] = {"pavucontrol", "gnome-control-center sound",
                                          "x-terminal-emulator -e alsamixer", nullptr};
constexpr const char* kHelpViewer[] = {"xdg-open", nullptr};
constexpr const char* kAudioProperties[] = {"pavucontrol --tab=4", "gnome-control-center sound",
                                            nullptr};
constexpr const char* kSoundRecorder[] = {"gnome-sound-recorder", "audacity", nullptr};
constexpr const char* kProcessViewer[] = {"gnome-system-monitor", "xfce4-taskmanager",
                                          "x-terminal-emulator -e top", nullptr};
constexpr const char* kNone[] = {nullptr};

const std::vector<LauncherEntry> kTable = {
    {"notepad.exe", "text editor for the CD information and lyrics files", kEditor},
    {"sndvol32.exe", "volume control", kVolumeControl},
    {"winhlp32.exe", "help viewer", kHelpViewer},
    {"control.exe mmsys.cpl", "sound card properties", kAudioProperties},
    {"control.exe sysdm.cpl,,1", "device manager", kNone},
    {"sndrec32.exe", "sound recorder", kSoundRecorder},
    {"pview95.exe", "process viewer", kProcessViewer},
    {"deluxecd.exe", "another CD player", kNone},
    {"cdplayer.exe", "another CD player", kNone},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The program's own name: the last part of a Windows or POSIX path, lower case.
std::string BaseName(const std::string& word) {
  const size_t cut = word.find_last_of("\\/");
  return Lower(cut == std::string::npos ? word : word.substr(cut + 1));
}

// The table's key of a command: the program's name, and for the control panel its applet. A
// path with blanks in it ("C:\\Program Files\\...\\x.exe", unquoted) is split into words, so
// the program is the shortest run of words that ends in a name of the table.
std::string KeyOf(const std::vector<std::string>& words, size_t* used) {
  std::string joined;
  for (size_t n = 1; n <= words.size(); ++n) {
    joined += (n > 1 ? " " : "") + words[n - 1];
    const std::string base = BaseName(joined);
    for (const LauncherEntry& entry : kTable) {
      const std::string program = entry.program;
      if (program.compare(0, program.find(' '), base) != 0) continue;
      *used = n;
      if (base == "control.exe" && n < words.size()) {
        *used = n + 1;
        return base + " " + Lower(words[n]);
      }
      return base;
    }
  }
  *used = 1;
  return BaseName(words[0]);
}

}  // namespace

const std::vector<LauncherEntry>& LauncherTable() {
  return kTable;
}

const LauncherEntry* FindLauncherEntry(const std::string& programWord) {
  std::vector<std::string> words = SplitCommandLine(programWord);
  if (words.empty()) return nullptr;
  size_t used = 0;
  const std::string key = KeyOf(words, &used);
  for (const LauncherEntry& entry : kTable) {
    if (key == entry.program) return &entry;
  }
  return nullptr;
}

bool FindOnPath(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder =
        end > start ? folders.substr(start, end - start) : std::string(1, '.');
    if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string DesktopCounterpart(const std::string& program) {
  const LauncherEntry* entry = FindLauncherEntry(program);
  if (!entry) return std::string();
  for (const char* const* candidate = entry->desktop; *candidate; ++candidate) {
    if (FindOnPath(SplitCommandLine(*candidate)[0])) return *candidate;
  }
  return std::string();
}

bool TranslateLaunchWords(std::vector<std::string>* words) {
  if (words->empty()) return true;
  size_t used = 0;
  const std::string key = KeyOf(*words, &used);
  for (const LauncherEntry& entry : kTable) {
    if (key != entry.program) continue;
    for (const char* const* candidate = entry.desktop; *candidate; ++candidate) {
      std::vector<std::string> replacement = SplitCommandLine(*candidate);
      if (!FindOnPath(replacement[0])) continue;
      replacement.insert(replacement.end(), words->begin() + static_cast<long>(used), words->end());
      *words = std::move(replacement);
      return true;
    }
    return false;
  }
  return true;
}

void InstallLauncherTable() {
  SetCommandTranslator(TranslateLaunchWords);
}
