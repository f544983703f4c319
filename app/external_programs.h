// The outside programs the commands start and the player's timer watches: the text editor on
// the CD information file and on a track's lyrics, the volume control and the help page. Each
// maps to a setting: "Text Editor" (default: the first desktop editor on PATH, in its blocking
// mode, else the built-in editor window), "Mixer Program" (default: the desktop's volume
// control, else alsamixer in a terminal) and "Browser" (the help page opens in it).
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

#include "platform/process/launcher.h"

// A program started by a command: its process, or the built-in editor's window, whose
// closing counts as the program ending.
struct WatchedProgram {
  bool active = false;
  ProcessHandles handles;
  QPointer<QWidget> window;
};

// Whether it still runs; an ended one is cleared (active false) and reported once as ended by
// returning false.
bool WatchedProgramRuns(WatchedProgram* program);

// The editor command the "Text Editor" setting names: the setting itself, the first desktop
// editor found on PATH when it is empty, or "" for the built-in editor ("built-in", or none).
std::string TextEditorCommand();
// Starts the text editor on a file (quoted), error box on failure. True when it runs.
bool StartTextEditor(QWidget* owner, const std::string& path, WatchedProgram* program);
// The built-in editor: a plain-text window on the file; saving writes the whole file anew.
QWidget* OpenBuiltInEditor(QWidget* owner, const std::string& path);

// The volume control's command: the "Mixer Program" setting, or the desktop's volume control
// (through the program table).
std::string MixerCommand();

// The help page shipped with the program (an HTML file), as a path a browser can open; empty
// when it cannot be found or written.
std::string HelpPagePath();

// The programs of the commands, watched once a second by the player's timer.
struct ExternalPrograms {
  WatchedProgram cdInfoEditor;  // "Edit CD Information"
  WatchedProgram lyricsEditor;  // "Edit Lyrics For This Song" and the lyrics panel's button
  WatchedProgram mixer;         // "Launch Audio Mixer"
  WatchedProgram help;          // "Help Topics"
};
extern ExternalPrograms externalPrograms;

// The timer's watch: an ended CD information editor reloads the file, an ended lyrics editor
// stores the edited lyrics (FinishLyricsEdit); the mixer and the help viewer are forgotten when
// they end.
void WatchExternalPrograms(void* window);
