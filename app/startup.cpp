#include "app/startup.h"

#include <QApplication>
#include <QGraphicsView>
#include <QLocalServer>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "app/app_state.h"
#include "app/audio_context.h"
#include "app/cdinfo_host.h"
#include "app/cdplayer_panel.h"
#include "app/disc_hooks.h"
#include "app/display_modes.h"
#include "app/launcher_table.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/message_boxes.h"
#include "app/processor_log.h"
#include "app/shutdown.h"
#include "app/single_instance.h"
#include "app/sound_messages.h"
#include "app/splash.h"
#include "audio/mixer.h"
#include "audio/sound_init.h"
#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/window_thread.h"
#include "resources/skin/skin.h"
#include "settings/settings.h"
#include "widgets/framework.h"

AppState app;

void TraceStartupStep(const char* step) {
  static const bool on = [] {
    const char* env = std::getenv("SORN_TRACE_STARTUP");
    return env && env[0] == '1';
  }();
  if (on) Trace("WinMain: %s\n", step);
}

namespace {

QWidget* NewPlainWindow(QWidget* parent) {
  return new QWidget(parent);
}

// With SORN_TRACE_STARTUP=1: the resident memory now (the start-up benchmark reads it).
void TraceResidentMemory() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      TraceStartupStep(("resident memory" + line.substr(6)).c_str());
      return;
    }
  }
}

// Headless runs (SORN_QUIT_AFTER_MS, SORN_SCREENSHOT): the window is grabbed into that file
// and the program ends through the message loop and the clean-up.
void ArrangeHeadlessExit(MainWindow* window) {
  const char* after = std::getenv("SORN_QUIT_AFTER_MS");
  if (!after || !*after) return;
  QTimer::singleShot(std::atoi(after), window, [window] {
    TraceResidentMemory();
    if (const char* shot = std::getenv("SORN_SCREENSHOT"); shot && *shot) {
      QWidget* shown = window->ScaledView() ? static_cast<QWidget*>(window->ScaledView()) : window;
      if (!shown->grab().save(shot)) Trace("main: could not write screenshot '%s'\n", shot);
    }
    PostQuitMessage(0);
  });
}

// The first frame the main window paints (the start-up benchmark reads this line).
class FirstPaintProbe : public QObject {
 public:
  explicit FirstPaintProbe(std::chrono::steady_clock::time_point start) : start_(start) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      const auto ms = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start_)
                          .count() /
                      1000.0;
      Trace("WinMain: first frame painted %.1f ms after start\n", ms);
      watched->removeEventFilter(this);
    }
    return false;
  }

 private:
  std::chrono::steady_clock::time_point start_;
  bool seen_ = false;
};

void InstallPosters() {
  // Other threads' display calls run as queued calls on the window loop.
  SetWindowPoster([](std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
  });
  SetMixerChangeHandler([](uint32_t control) {
    PostAppMessage(app.mainWindow, kAppMsgMixerChange, static_cast<int>(control));
  });
}

}  // namespace

int WinMain(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  QApplication application(argc, argv);
  app.instance = &application;
  MarkWindowThread();

  // 1-2. One instance per user and settings folder.
  TraceStartupStep("single instance");
  if (SignalRunningInstance()) return 0;
  std::unique_ptr<QLocalServer> instanceServer(ListenForSecondStarts([] {
    if (app.mainWindow) app.mainWindow->Restore();
  }));

  // 3. The icons: the program's (both drawings, for the window manager to choose from) and the
  // main window's own, the small one.
  InitSkinResources();
  QIcon programIcon = LoadSkinIcon(kLargeIconId);
  const QIcon smallIcon = LoadSkinIcon(kSmallIconId);
  for (const QSize& size : smallIcon.availableSizes())
    programIcon.addPixmap(smallIcon.pixmap(size));
  QApplication::setWindowIcon(programIcon);

  // 4-5. Window classes.
  TraceStartupStep("register classes");
  if (!GkRegisterWindowClass("KARAOKE", NewPlainWindow, &application)) {
    ShowMessageBox(nullptr, "Error", "Problem with registering application",
                   kMbOk | kMbSystemModal);
    return -1;
  }
  gkRegisterClasses(&application);
  GkRegisterWindowClass("OpenGLWindow", NewPlainWindow, &application);
  GkRegisterWindowClass("IDD_DIALOG_KARAOKE", NewPlainWindow, &application);
  InstallQtMessageBoxes();
  InstallLauncherTable();
  InstallPosters();

  // 6. The processing records' defaults.
  TraceStartupStep("audio context defaults");
  static int audioContextDefaulted = 0;
  if (!audioContextDefaulted) DefaultAudioContext(&audioContext, &audioContextDefaulted);

  // 7-8. Settings, processor.
  TraceStartupStep("settings");
  if (LoadSettings() != 0) return -1;
  TraceStartupStep("processor");
  IdentifyProcessor();

  // 9. Termination signals.
  TraceStartupStep("console control handler");
  InstallConsoleControlHandler();

  // 10-11. The main window from its template.
  TraceStartupStep("main window");
  auto* window = new MainWindow();
  app.mainWindow = window;
  QWidget* panel = LoadCdPlayerPanel(window);
  if (!panel) {
    delete window;
    app.mainWindow = nullptr;
    return 0;
  }
  window->SetPanel(panel);
  window->setWindowIcon(smallIcon);
  FirstPaintProbe probe(start);
  ArrangeHeadlessExit(window);
  window->installEventFilter(&probe);

  // 12. Window and screen figures.
  TraceStartupStep("screen figures");
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
  app.windowRect = window->geometry();
  app.screenWidth = screen ? qRound(screen->geometry().width() * ratio) : 0;
  app.screenHeight = screen ? qRound(screen->geometry().height() * ratio) : 0;
  SetDisplayBackend(
      CreateDisplayBackend(app.screenWidth, app.screenHeight, screen ? screen->depth() : 0));
  app.screenBitDepth = GetScreenBitDepth();
  if (app.screenBitDepth == 0) WriteToLogFile("GetScreenBitDepth: failed\n");
  app.windowWidth = window->width();
  app.windowHeight = window->height();

  // 13. The processing records for 44,100 Hz.
  TraceStartupStep("audio context");
  InitAudioContext(&audioContext);

  // 14. Display modes.
  TraceStartupStep("display modes");
  FindScreenDeviceMode(window, app.screenWidth, app.screenHeight);
  WriteAllScreenDeviceModesToLogFile();
  SetFullScreenWindow(window, window, window->geometry());

  // 15-16. The panel and its levels.
  TraceStartupStep("panel");
  InitializeGUI_CDPlayer(panel);
  ApplyPanelVolumeLevels(panel);
  ShowChosenLowerPanel();
  CheckMenuCommand(kCmdRepeat, settings.repeat != 0);
  CheckMenuCommand(kCmdSingleSongPlay, settings.cdMode == kCdModeSingleSong);

  // 17. The sound engine.
  TraceStartupStep("sound");
  ReportInitSoundResult(window, InitSound(window, &application, kSubBlockDivisor));

  // 18-19. Full screen when set; then up front.
  TraceStartupStep("full screen");
  if (settings.useFullScreen) SetFullScreenMode(true);
  TraceStartupStep("show");
  if (!window->ScaledView()) {
    window->show();
    window->raise();
    window->activateWindow();
    window->setFocus();
  }

  // 20. The splash.
  if (settings.useSplashScreen) {
    TraceStartupStep("splash");
    app.splash = CreateSplash(window, SplashTemplateForProcessor());
    if (app.splash && !window->SetWindowTimer(kTimerSplash, kSplashMs, SplashScreenShutdownProc))
      Trace("WinMain:  unable to setup _timerID_SplashScreen\n");
  }

  // 21. Shuffled play's seed.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  SetShuffleSeed(static_cast<uint32_t>(std::time(nullptr)));

  // 22. The CD drives, the player and its two timers.
  TraceStartupStep("cd drives");
  InstallAppDiscHooks();
  InstallAppCdInfoHost();
  if (InitCdDrives(window) == 0) {
    ResetCdPlayer();
    SetMSFformat();
    window->SetWindowTimer(kTimerCdPoll, 1000);
    window->SetWindowTimer(kTimerPosition, 1000);
  } else {
    PostQuitMessage(1);
  }

  // 23-24. The message loop, then the clean-up.
  TraceStartupStep("message loop");
  int code = 0;
  // A quit posted during start-up may already have ended a box's own loop.
  if (QuitDelivered()) {
    QuitPosted(&code);
  } else {
    code = application.exec();
  }
  AppCleanThePipes(window);
  delete window;
  app.mainWindow = nullptr;
  gkUnregisterClasses(&application);
  return code;
}
