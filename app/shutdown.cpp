#include "app/shutdown.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QGraphicsView>
#include <QSocketNotifier>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/audio_context.h"
#include "app/cdplayer_panel.h"
#include "app/display_modes.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "app/splash.h"
#include "audio/sound_init.h"
#include "audio/voicefile.h"
#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"
#include "widgets/framework.h"

namespace {

int signalPipe[2] = {-1, -1};
int cdWaitMs = kCleanUpCdWaitMs;

void OnSignal(int signal) {
  const unsigned char byte = static_cast<unsigned char>(signal);
  const int saved = errno;
  if (write(signalPipe[1], &byte, 1) < 0) {
    // The pipe is full: a clean-up is already on its way.
  }
  errno = saved;
}

void EndProcessNow() {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(0);
}

}  // namespace

void SetCleanUpCdWait(int milliseconds) {
  cdWaitMs = milliseconds;
}

void AppCleanThePipes(MainWindow* window) {
  // 1. Count the call; after a completed clean-up there is nothing left but to end.
  const int call = app.cleanCalls.fetch_add(1);
  Trace("AppCleanThePipes%d: royal pipes cleaned=%d\n", call, app.cleanDone.load());
  if (app.cleanDone.load() > 0) EndProcessNow();

  // 2-3. The CD stops, then the stream it fed.
  CdShutdown(window);
  CddaShutdown(window);
  QThread::msleep(static_cast<unsigned long>(cdWaitMs));

  // 5. Full screen gives the display back.
  if (screenModes.fullScreenMode) {
    SetFullScreenMode(false);
    Trace("AppCleanThePipes: SetFullScreenMode(False)\n");
    screenModes.fullScreenMode = false;
  }

  // 6. Timers.
  if (window) {
    window->KillWindowTimer(kTimerCdPoll);
    window->KillWindowTimer(kTimerPosition);
    window->KillWindowTimer(kTimerSplash);
  }
  ReleaseCdPlayerPanel();

  // 7. Out of sight.
  if (window) {
    window->hide();
    if (window->ScaledView()) window->ScaledView()->hide();
  }

  // 8. Settings, the sound engine and its files.
  SaveSettings();
  StopVoiceFilePlayback();
  StopVoiceFileRecording();
  CloseSound();
  FreeAudioContextBuffers();

  // 9. The splash.
  if (app.splash) {
    EndSplash(app.splash);
    app.splash = nullptr;
  }

  // 11. The lyrics panel's bitmaps and fonts.
  FreeLyricsPanel();

  // 12-14. The drives, the panel and its widgets, the mode table.
  ReleaseCdDrives();
  if (window && window->Panel()) {
    delete window->Panel();
    window->SetPanel(nullptr);
  }
  FreeScreenDeviceModes();

  // 15. Done.
  app.cleanDone.fetch_add(1);
}

bool InstallConsoleControlHandler() {
  if (signalPipe[0] >= 0) return true;
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    Trace("InstallConsoleControlHandler: pipe failed\n");
    return false;
  }
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app.instance);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    unsigned char byte = 0;
    while (read(signalPipe[0], &byte, 1) > 0) {
    }
    // Window thread: the clean-up once, then the process ends with 0.
    AppCleanThePipes(app.mainWindow);
    EndProcessNow();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  return true;
}
