#include "platform/process/launcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "diagnostics/diagnostics.h"

extern char** environ;

namespace {

std::mutex translatorLock;
CommandTranslator installedTranslator;

// Starts the words as a program; the child's process id, or 0.
pid_t Spawn(const std::vector<std::string>& words) {
  if (words.empty() || words[0].empty()) return 0;
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // No handles inherited: only the standard three reach the program.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The program gets the default signal handling and an empty mask, whatever ours are.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t child = 0;
  const int error = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? child : 0;
}

bool Launch(const char* function, void* window, const std::string& commandLine, int showError,
            ProcessHandles* handles) {
  std::vector<std::string> words = SplitCommandLine(commandLine);
  bool known = true;
  {
    std::lock_guard<std::mutex> guard(translatorLock);
    if (installedTranslator) known = installedTranslator(&words);
  }
  const pid_t child = known ? Spawn(words) : 0;
  if (child > 0) {
    if (handles) *handles = ProcessHandles{child, child};
    return true;
  }
  const std::string text = std::string(function) + ": Unable to launch '" + commandLine + "'";
  if (window && showError == 1) {
    WarningBox(window, text.c_str());
  } else {
    Trace("%s\n", text.c_str());
  }
  return false;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

void SetCommandTranslator(CommandTranslator translator) {
  std::lock_guard<std::mutex> guard(translatorLock);
  installedTranslator = std::move(translator);
}

bool LaunchApplication(void* window, const std::string& commandLine, int showError) {
  return Launch("LaunchApplication", window, commandLine, showError, nullptr);
}

bool LaunchWindowsApplication(void* window, const std::string& commandLine) {
  return LaunchApplication(window, std::string(kWindowsDirectory) + "\\" + commandLine, 1);
}

bool LaunchApplicationDeluxe(void* window, const std::string& commandLine, int showError,
                             ProcessHandles* handles) {
  return Launch("LaunchApplicationDeluxe", window, commandLine, showError, handles);
}

bool IsProcessRunning(pid_t process) {
  if (process <= 0) return false;
  int status = 0;
  pid_t result;
  do {
    result = waitpid(process, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  return result == 0;
}
