// The main window and its panel on the demo disc, shared by the panel and command tests.
#include <QApplication>
#include <QTimer>

#include "app/app_state.h"
#include "app/cdinfo_host.h"
#include "app/cdplayer_panel.h"
#include "app/disc_hooks.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "platform/cd/host_layer.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "widgets/framework.h"

PanelWindowTest::PanelWindowTest() = default;
PanelWindowTest::~PanelWindowTest() = default;

void PanelWindowTest::SetUp() {
  AppTest::SetUp();
  settings = Settings{};
  settings.databasePath = root_.string() + "/";
  SetCddaCommandObserver([this](void*, int command) { commands_.push_back(command); });
  window_ = std::make_unique<MainWindow>();
  QWidget* panel = LoadCdPlayerPanel(window_.get());
  ASSERT_NE(panel, nullptr);
  window_->SetPanel(panel);
  InitializeGUI_CDPlayer(panel);
  app.mainWindow = window_.get();
  ASSERT_EQ(InitCdDrivesWithLayer(window_.get(),
                                  CdHostLayer::FromDriveStrings({SORN_BUILD_DIR "/demo/demo.cue"})),
            0);
  ResetCdPlayer();
  InstallAppDiscHooks();
  InstallAppCdInfoHost();
  SetMSFformat();
  CdTimerHandler(window_.get());
  ASSERT_EQ(player.cdState.load(), CD_STOP);
  SetKeyboardClock([this] { return now_; });
  ResetQuitMessage();
}

void PanelWindowTest::TearDown() {
  SetKeyboardClock(nullptr);
  // A lookup's status text (and its blink) outlives the panel: the next test starts without.
  CdStopStatusBlink();
  SetLyricsStatusText(window_->Panel(), QString());
  ReleaseCdPlayerPanel();
  CdShutdown(nullptr);
  ReleaseCdDrives();
  SetCdDiscHooks(nullptr);
  SetCdInfoHost(nullptr);
  SetCddaCommandObserver(nullptr);
  app.mainWindow = nullptr;
  window_.reset();
  // A quit a test posted runs now; the loop it ended leaves no quit behind for the next
  // test's loops (a dialog's) to take.
  QCoreApplication::processEvents();
  if (QuitDelivered()) {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
  }
  ResetQuitMessage();
  AppTest::TearDown();
}

QWidget* PanelWindowTest::Item(int id) {
  return GkGetDlgItem(window_->Panel(), id);
}
