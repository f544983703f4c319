#include "app/cdinfo_host.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/cdplayer_panel.h"
#include "app/lyrics_panel.h"
#include "cd/player.h"
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
  QDialog dialog(static_cast<QWidget*>(window));
  dialog.setObjectName("SelectCd");
  dialog.setWindowTitle("Select CD");
  auto* text = new QLabel(
      "There were more than one CDs found; please select the correct CD from the list below.",
      &dialog);
  text->setWordWrap(true);
  auto* list = new QListWidget(&dialog);
  for (const std::string& entry : entries) list->addItem(QString::fromStdString(entry));
  if (!entries.empty()) list->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(text);
  layout->addWidget(list);
  layout->addWidget(buttons);
  dialog.resize(480, 300);
  dialog.exec();
  return list->currentRow();
}

void InstallAppCdInfoHost() {
  static AppCdInfoHost host;
  SetCdInfoHost(&host);
}
