// The programs the player's commands start, by the names the commands use, and what starts
// in their place on this desktop. The launcher's translator (InstallLauncherTable) rewrites a
// command line whose program is in the table: the first counterpart found on PATH runs with
// the command's remaining words. A program with no counterpart here fails to start, and the
// command's failure message follows as for any program that cannot be started.
#pragma once

#include <string>
#include <vector>

struct LauncherEntry {
  const char* program;         // the name the commands use, lower case ("notepad.exe")
  const char* purpose;         // what it is for (README, traces)
  const char* const* desktop;  // counterparts, best first, each "program [fixed words]"; null
                               // ends the list; none at all: the launch fails
};

const std::vector<LauncherEntry>& LauncherTable();

// The entry for a command's program word (a path in the Windows folder or a bare name, any
// case), or null.
const LauncherEntry* FindLauncherEntry(const std::string& programWord);

// Rewrites words in place; false when the program is in the table but nothing here stands in
// for it. Words of a program not in the table are left as they are.
bool TranslateLaunchWords(std::vector<std::string>* words);

// The first counterpart of a program of the table found on PATH ("" for none).
std::string DesktopCounterpart(const std::string& program);

// Installs TranslateLaunchWords as the launcher's translator.
void InstallLauncherTable();

// Whether a program name is found on PATH (an absolute or relative path: whether it is an
// executable file).
bool FindOnPath(const std::string& program);
