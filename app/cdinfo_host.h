// The program's side of the CD information code: the player's disc and track, and where the
// titles, the status and title lines, the blinking progress text and the lyrics are shown.
// Every display call and the "Select CD" and "Select Song" dialogs run on the window thread
// (the CD information code posts them there from the lookup worker).
#pragma once

#include <string>
#include <vector>

#include "cdinfo/info_file.h"

class AppCdInfoHost : public CdInfoHost {
 public:
  int LastTrack() override;
  int CurrentTrack() override;
  bool HasAudioDisc() override;
  void ShowTitles(void* window) override;
  void ShowLyrics(void* window, const std::string& text) override;
  void ShowStatusLine(void* window, const std::string& text) override;
  void ShowTitleLine(void* window) override;
  void ShowArtistLine(void* window, const std::string& artist) override;
  void StartBlink(void* window, const std::string& text) override;
  void StopBlink(void* window) override;
  void ShowLyricsStatus(void* window, const std::string& text) override;
  void MarkKnownCd(void* window) override;
  // The modal "Select CD" dialog: the entries in a list, the first selected; OK, Cancel or a
  // double click end it with the selected entry's position.
  int SelectCd(void* window, const std::vector<std::string>& entries) override;
  // The modal "Select Song" dialog: its two texts above the lines ("None of the above" last),
  // the first selected; it ends like "Select CD" with the selected line's position.
  int SelectSong(void* window, const std::vector<std::string>& lines) override;
};

// Installs the program's host for the program's life.
void InstallAppCdInfoHost();
