#include "app/commands.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QProgressDialog>
#include <chrono>
#include <thread>

#include "app/cdplayer_panel.h"
#include "app/dsp_dialog.h"
#include "app/external_programs.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/preferences_dialog.h"
#include "app/sound_messages.h"
#include "app/splash.h"
#include "audio/sound_block.h"
#include "cd/cd_reader.h"
#include "cd/player.h"
#include "cd/ripper.h"
#include "cdinfo/cddb.h"
#include "cdinfo/info_file.h"
#include "cdinfo/lyrics_fetch.h"
#include "cdinfo/title_lookup.h"
#include "diagnostics/diagnostics.h"
#include "platform/process/launcher.h"
#include "settings/settings.h"

namespace {

std::string recordFileName;
int objectType = 0;

bool HasAudioDisc() {
  const int state = player.cdState.load();
  return state != CD_NOCD && state != CD_CDROM_IN;
}

QWidget* Panel() {
  return CdPlayerPanel();
}

void ToggleSingleSongPlay() {
  const bool on = settings.cdMode != kCdModeSingleSong;
  CdSetMode(on ? kCdModeSingleSong : 0);
  CheckMenuCommand(kCmdSingleSongPlay, on);
  CheckMenuCommand(kCmdIntroPlay, false);
}

void ToggleIntroPlay() {
  const bool on = settings.cdMode != kCdModeIntro;
  CdSetMode(on ? kCdModeIntro : 0);
  CheckMenuCommand(kCmdIntroPlay, on);
  if (on) CheckMenuCommand(kCmdSingleSongPlay, false);
}

void ToggleRepeat() {
  CdSetRepeat(settings.repeat ? 0 : 1);
  CheckMenuCommand(kCmdRepeat, settings.repeat != 0);
}

// The font dialog for a panel font (Debug menu, "Set Font").
void ChoosePanelFont(QWidget* window, PanelFontKind kind) {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, PanelFont(kind), window, "Font");
  if (ok) SetPanelFont(kind, font);
}

void ChooseLyricsFont(QWidget* window) {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, LyricsFont(), window, "Lyrics Font");
  if (ok) SetLyricsFont(Panel(), font);
}

void ChooseRecordFileName(QWidget* window) {
  const QString chosen = QFileDialog::getOpenFileName(window, "Open", QDir::currentPath(), "*.wav");
  if (!chosen.isEmpty()) recordFileName = chosen.left(99).toStdString();
}

void LaunchCdPlayer(QWidget* window) {
  if (!LaunchApplication(window, "C:\\Program Files\\PLUS!\\DeluxeCD\\deluxecd.exe", 0))
    LaunchWindowsApplication(window, "cdplayer.exe");
}

QPointer<QProgressDialog> ripProgress;

// Between the rip's reads: the progress, and the dialog's Cancel stops the reader.
void RipMessagePump() {
  if (ripProgress) {
    const int start = cdReader.readStart.load(), end = cdReader.readEnd.load();
    const int done = cdReader.readPosition.load() - start;
    if (end > start) ripProgress->setValue(std::clamp(done * 1000 / (end - start), 0, 999));
    if (ripProgress->wasCanceled()) CdReadDriver(nullptr, kReaderStop);
  }
  QCoreApplication::processEvents();
}

}  // namespace

bool WaitForReaderToEnd(int timeoutMs) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (player.readerIdle.load() && !cdReader.readerThreadRunning.load() &&
        !player.readerBusy.load())
      return true;
    if (std::chrono::steady_clock::now() >= limit) return false;
    // The reader's last steps may be posted here; the user's input waits.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

const std::string& RecordFileName() {
  return recordFileName;
}

int ObjectType() {
  return objectType;
}

std::string LyricsHomePage() {
  if (settings.lyricsService == kLyricsServiceSite) return "http://" + settings.lyricsHost + "/";
  return settings.lyricsUrl;
}

void BrowserProcedure(QWidget* window, const std::string& address) {
  if (settings.browser == "none") {
    ShowMessageBox(window, "Internet Browser Error",
                   "No Browser selected; please locate your Browser in Preferences",
                   kMbOk | kMbSystemModal);
    RunPreferencesDialog(window);
    return;
  }
  if (LaunchApplication(window, settings.browser + " " + address, 0)) return;
  ShowMessageBox(window, "Internet Browser Error",
                 "The selected Browser did not start; please locate correct Browser in Preferences",
                 kMbOk | kMbSystemModal);
  RunPreferencesDialog(window);
}

void EditCdInformation(QWidget* window) {
  if (!HasAudioDisc()) return;
  const std::string path = CurrentInfoFile();
  if (path.empty()) {
    ShowMessageBox(window, "Lyrics Editor", "No Lyrics Available", kMbOk | kMbSystemModal);
    return;
  }
  StartTextEditor(window, path, &externalPrograms.cdInfoEditor);
}

void LaunchAudioMixer(QWidget* window) {
  WatchedProgram& mixer = externalPrograms.mixer;
  if (WatchedProgramRuns(&mixer)) {
    Trace("Hey, found mixerapp window\n");
    return;
  }
  mixer = WatchedProgram{};
  mixer.active = LaunchApplicationDeluxe(window, MixerCommand(), 1, &mixer.handles);
}

void ShowHelpTopics(QWidget* window) {
  const std::string page = HelpPagePath();
  const std::string browser = settings.browser == "none" ? kDefaultBrowser : settings.browser;
  WatchedProgram& help = externalPrograms.help;
  help = WatchedProgram{};
  help.active = LaunchApplicationDeluxe(window, browser + " \"" + page + "\"", 1, &help.handles);
}

void SelectTrackCommand(QWidget* window, int track) {
  QWidget* panel = Panel();
  const bool sameTrack = track == player.currentTrack.load();
  CdSelectTrack(window, track);
  CdShowCurrentTrack(window);
  if (sameTrack) {
    // The recording starts again with the song; its button stays as it is.
    RestartVoicePlayback(panel);
  } else {
    StopVoicePlayback(panel, true);
  }
  StopVoiceRecording(panel, true);
}

void CopySongToWav(QWidget* window) {
  if (!HasAudioDisc()) return;
  // The reader rips on this thread: a disc that plays is stopped first, so no stream reads
  // beside it.
  const int state = player.cdState.load();
  if (state == CD_PLAY || state == CD_PAUSE) {
    StopVoicePlayback(Panel(), true);
    StopVoiceRecording(Panel(), true);
    CdStop(window);
  }
  if (!WaitForReaderToEnd(kReaderWaitMs)) {
    Trace("CopySongToWav: the reader did not stop\n");
    return;
  }
  QProgressDialog progress(
      "Copying the song to " + QString::fromStdString(RipFilePath(player.currentTrack.load())),
      "Cancel", 0, 1000, window);
  progress.setWindowTitle("Copy Song to .wav File");
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(0);
  progress.setValue(0);
  ripProgress = &progress;
  SetCdReaderMessagePump(RipMessagePump);
  CdReadDriver(window, kReaderRip);
  SetCdReaderMessagePump(nullptr);
  ripProgress = nullptr;
  progress.setValue(1000);
  const RipResult result = LastRipResult();
  Trace("CopySongToWav: %s, %lld bytes\n", result.path.c_str(),
        static_cast<long long>(result.fileBytes));
}

void AppCommand(MainWindow* window, int id, QWidget* /*control*/, int /*code*/) {
  if (id == kCmdFirstTrack) return SelectTrackCommand(window, 0);
  if (id == kCmdEditLyrics) return EditTrackLyrics();
  if (id <= 800) return;
  if (const int track = TrackOfCommand(id); track >= 0) return SelectTrackCommand(window, track);
  switch (id) {
    // Options.
    case kCmdSingleSongPlay:
      ToggleSingleSongPlay();
      break;
    case kCmdRepeat:
      ToggleRepeat();
      break;
    case kCmdEjectCd:
      EjectCD(window);
      break;
    case kCmdEditCdInfo:
      EditCdInformation(window);
      break;
    case kCmdPreferences:
      RunPreferencesDialog(window);
      break;
    case kCmdLaunchMixer:
      LaunchAudioMixer(window);
      break;
    case kCmdExit:
      PostQuitMessage(0);
      break;
    // Internet.
    case kCmdGetCdInfo:
      GetCdInfoFromInternet(window);
      break;
    case kCmdGetLyrics:
      GetLyricsFromInternet(window);
      break;
    case kCmdGetTrackLyrics:
      GetTrackLyricsFromInternet(window, player.currentTrack.load());
      break;
    case kCmdCddbWebSite:
      BrowserProcedure(window, kCddbHomePage);
      break;
    case kCmdUpdateServerList:
      GetCDDBsites(window);
      break;
    // Help.
    case kCmdHelpTopics:
      ShowHelpTopics(window);
      break;
    case kCmdAbout:
      CreateSplash(window, SplashTemplateForProcessor(), true);
      break;
    // Debug.
    case kCmdFontLyrics:
      ChooseLyricsFont(window);
      break;
    case kCmdFontTrack:
      ChoosePanelFont(window, kFontTrackTitle);
      break;
    case kCmdFontAlbum:
      ChoosePanelFont(window, kFontAlbumArtist);
      break;
    case kCmdFontPrefix:
      ChoosePanelFont(window, kFontPrefix);
      break;
    case kCmdCopySongToWav:
      CopySongToWav(window);
      break;
    case kCmdRecordFileSelect:
      ChooseRecordFileName(window);
      break;
    case kCmdDspParameters:
      OpenDspParametersDialog(window);
      break;
    case kCmdDirectSoundCaps:
      ShowMessageBox(window, "SornKaraoke: Device Capabilities",
                     "DirectSound is not used: Sorn Karaoke plays and records through ALSA.",
                     kMbOk | kMbIconInformation);
      break;
    case kCmdObjectTWave:
      objectType = 2;
      break;
    case kCmdObjectSphere:
      objectType = 0;
      break;
    case kCmdObjectPyramid:
      objectType = 1;
      break;
    case kCmdObjectText:
      objectType = 3;
      break;
    case kCmdLaunchMmsys:
      LaunchWindowsApplication(window, "CONTROL.EXE MMSYS.CPL");
      break;
    case kCmdCdPlayer:
      LaunchCdPlayer(window);
      break;
    case kCmdDeviceManager:
      OpenDeviceManager(window);
      break;
    case kCmdSoundRecorder:
      LaunchWindowsApplication(window, "SndRec32.exe");
      break;
    case kCmdProcessViewer:
      LaunchApplication(window, "C:\\Program Files\\DevStudio\\VC\\Bin\\win95\\Pview95.exe", 1);
      break;
    case kCmdFullScreen:
      CDPlayerPanelStateManager(kCmdFullScreen);
      break;
    // The commands no menu carries.
    case kCmdToggleSkip:
      CdToggleSkip(window);
      break;
    case kCmdIntroPlay:
      ToggleIntroPlay();
      break;
    case kCmdLyricsWebSite:
      BrowserProcedure(window, LyricsHomePage());
      break;
    default:
      // "Record to File", the lyrics panel's download states, "Reset Cycle Counter" and ids
      // without an entry do nothing.
      break;
  }
}
