#include "app/cdinfo_host.h"

#include "app/cdplayer_panel.h"
#include "app/choice_dialog.h"
#include "app/lyrics_panel.h"
#include "cd/player.h"
#include "cdinfo/lyrics_choice.h"
#include "platform/sync/window_thread.h"

int AppCdInfoHost::LastTrack() {
  return player.lastTrack.load();
}

int AppCdInfoHost::CurrentTrack() {
  return player.currentTrack.load();
}

bool AppCdInfoHost::HasAudioDisc() {
  const int state = player.cdState.load();
  return state == CD_PLAY || state == CD_PAUSE || state == CD_STOP;
}

void AppCdInfoHost::ShowTitles(void* window) {
  CheckWindowThread("AppCdInfoHost::ShowTitles");
  CdShowTitles(window);
}

void AppCdInfoHost::ShowLyrics(void*, const std::string& text) {
  CheckWindowThread("AppCdInfoHost::ShowLyrics");
  SetLyricsText(CdPlayerPanel(), QString::fromStdString(text));
}

void AppCdInfoHost::ShowStatusLine(void*, const std::string& text) {
  CheckWindowThread("AppCdInfoHost::ShowStatusLine");
  SetPanelStatusLine(QString::fromStdString(text));
}

void AppCdInfoHost::ShowTitleLine(void*) {
  CheckWindowThread("AppCdInfoHost::ShowTitleLine");
  std::string album, artist;
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    album = cdTitles.albumTitle;
    artist = cdTitles.albumArtist;
  }
  SetPanelTitleLine(QString::fromStdString(album), QString::fromStdString(artist));
}

void AppCdInfoHost::ShowArtistLine(void*, const std::string& artist) {
  CheckWindowThread("AppCdInfoHost::ShowArtistLine");
  SetPanelArtistLine(QString::fromStdString(artist));
}

void AppCdInfoHost::StartBlink(void*, const std::string& text) {
  CheckWindowThread("AppCdInfoHost::StartBlink");
  CdStartStatusBlink(text);
  SetLyricsStatusText(CdPlayerPanel(), QString::fromStdString(text));
}

void AppCdInfoHost::StopBlink(void*) {
  CheckWindowThread("AppCdInfoHost::StopBlink");
  CdStopStatusBlink();
  SetLyricsStatusText(CdPlayerPanel(), QString());
}

void AppCdInfoHost::ShowLyricsStatus(void*, const std::string& text) {
  CheckWindowThread("AppCdInfoHost::ShowLyricsStatus");
  SetLyricsStatusText(CdPlayerPanel(), QString::fromStdString(text));
}

void AppCdInfoHost::MarkKnownCd(void*) {
  CheckWindowThread("AppCdInfoHost::MarkKnownCd");
  ShowDownloadButton(false);
}

int AppCdInfoHost::SelectCd(void* window, const std::vector<std::string>& entries) {
  CheckWindowThread("AppCdInfoHost::SelectCd");
  return RunChoiceDialog(
      static_cast<QWidget*>(window), "SelectCd", "Select CD",
      {"There were more than one CDs found; please select the correct CD from the list below."},
      entries);
}

int AppCdInfoHost::SelectSong(void* window, const std::vector<std::string>& lines) {
  CheckWindowThread("AppCdInfoHost::SelectSong");
  return RunChoiceDialog(static_cast<QWidget*>(window), "SelectSong", kSelectSongCaption,
                         {kSelectSongPrompt, kSelectSongFormat}, lines);
}

void InstallAppCdInfoHost() {
  static AppCdInfoHost host;
  SetCdInfoHost(&host);
}
