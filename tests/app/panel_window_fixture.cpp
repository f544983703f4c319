// The main window and its panel on the demo disc, shared by the panel and command tests.
#include <QApplication>

#include "app/app_state.h"
#include "app/cdplayer_panel.h"
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
  SetMSFformat();
  CdTimerHandler(window_.get());
  ASSERT_EQ(player.cdState.load(), CD_STOP);
  SetKeyboardClock([this] { return now_; });
  ResetQuitMessage();
}

void PanelWindowTest::TearDown() {
  SetKeyboardClock(nullptr);
  ReleaseCdPlayerPanel();
  CdShutdown(nullptr);
  ReleaseCdDrives();
  SetCddaCommandObserver(nullptr);
  app.mainWindow = nullptr;
  window_.reset();
  ResetQuitMessage();
  AppTest::TearDown();
}

QWidget* PanelWindowTest::Item(int id) {
  return GkGetDlgItem(window_->Panel(), id);
}
