// The main window's command handler and what its commands do: the Options, Internet, Help
// and Debug menus, the track list and the three commands no menu carries.
#pragma once

#include <string>

class QWidget;

// The CDDB service's home page the web-site command opens.
inline constexpr const char* kCddbHomePage = "https://gnudb.org/";
// The lyrics service's home page: LRCLIB's address, or the lyrics site's ("Lyrics Service").
std::string LyricsHomePage();

// Opens a home page in the "Browser" setting's program; without one, or when it does not
// start, says so and opens the preferences dialog.
void BrowserProcedure(QWidget* window, const std::string& address);
// "Edit CD Information": the text editor on the disc's information file (audio disc only).
void EditCdInformation(QWidget* window);
// "Launch Audio Mixer": the volume control, never a second copy.
void LaunchAudioMixer(QWidget* window);
// "Help Topics": the help page in the browser.
void ShowHelpTopics(QWidget* window);
// A track-list choice: the player moves to the track; voice playback restarts when it is the
// current one, and recording stops.
void SelectTrackCommand(QWidget* window, int track);
// How long a command waits for the CD reader to end after stopping the disc.
inline constexpr int kReaderWaitMs = 5000;
// Waits, handling the window's events but not the user's input, until the reader has ended
// and is idle; false when it still runs after timeoutMs.
bool WaitForReaderToEnd(int timeoutMs);
// "Copy Song to .wav File": rips the current track into the CD information folder with its
// progress shown; the disc is stopped first.
void CopySongToWav(QWidget* window);

// The record file name the Debug menu's file dialog chooses.
const std::string& RecordFileName();
// The 3D object type the Debug menu sets (kept for a 3D panel that does not draw).
int ObjectType();
