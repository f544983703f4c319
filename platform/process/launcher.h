// Starting external programs from a command line, and watching them end.
//
// A command line is split like the platform's own: blanks separate words, double quotes
// group a word with blanks in it. Before a program starts, an installed translator may
// rewrite the words (the application maps the programs its commands name to the desktop's
// counterparts). Programs start with posix_spawnp: normal priority, no descriptors inherited
// beyond the standard three, the current directory inherited. A started program is reaped by
// polling with waitpid(WNOHANG), so the window thread never blocks on it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// What a started program is known by: its process id (the thread handle of the platform this
// stands in for is the same process here).
struct ProcessHandles {
  pid_t process = 0;
  pid_t thread = 0;
};

// Splits a command line into words ("a \"b c\" d" gives a, b c, d).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Rewrites the words of a command line before it starts; returns false when the program has
// no counterpart here (the launch then fails as a program that cannot be started does).
using CommandTranslator = std::function<bool(std::vector<std::string>* words)>;
void SetCommandTranslator(CommandTranslator translator);

// The folder LaunchWindowsApplication prefixes ("C:\WINDOWS"): the translator recognises the
// programs under it.
inline constexpr const char* kWindowsDirectory = "C:\\WINDOWS";

// Starts a program. On failure forms "LaunchApplication: Unable to launch '%s'"; with a window
// and showError 1 it shows that text in the warning box, else it traces it. True on success.
bool LaunchApplication(void* window, const std::string& commandLine, int showError);
// LaunchApplication with "%s\\%s" of the Windows folder and the command line, showError 1.
bool LaunchWindowsApplication(void* window, const std::string& commandLine);
// As LaunchApplication, handing back the started program's handles; its failure text starts
// "LaunchApplicationDeluxe: ".
bool LaunchApplicationDeluxe(void* window, const std::string& commandLine, int showError,
                             ProcessHandles* handles);

// Whether a started program still runs. An ended one is reaped (and answers false from then
// on); a process id that is not our child answers false.
bool IsProcessRunning(pid_t process);
