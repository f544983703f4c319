// The preferences dialog on the offscreen platform, driven through its controls while it runs:
// what it shows and stores, the folder's final "/" and existence check, Escape applying like
// OK, Qt's folder and file choosers, and a change of drive while the disc plays (two image
// drives in SORN_DRIVES).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/main_window.h"
#include "app/preferences_dialog.h"
#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/audio_io/audio_test_util.h"
#include "tests/cd/disc_image.h"
#include "tests/support/trace_capture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Runs act on the first visible top-level widget that match accepts, from inside whatever loop
// runs then (a modal dialog's own).
void WhenShown(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, match, act] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible() || !match(w)) continue;
      poll->stop();
      poll->deleteLater();
      act(w);
      return;
    }
  });
  poll->start();
}

class PreferencesTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    PanelWindowTest::SetUp();
    config_ = std::make_unique<testutil::ScopedEnv>("SORN_CONFIG_DIR", (root_ / "config").string());
    SetDefaultServerList();
  }
  void TearDown() override {
    SetDriveChangeReaderWait(0);
    config_.reset();
    PanelWindowTest::TearDown();
  }
  // Runs the dialog; act runs on it once it shows and must end it.
  void Run(std::function<void(QWidget* dialog)> act) {
    WhenShown([](QWidget* w) { return w->objectName() == "KaraokePreferences"; }, act);
    EXPECT_EQ(RunPreferencesDialog(window_.get()), 1);
  }
  template <class T>
  static T* Find(QWidget* dialog, int id) {
    return qobject_cast<T*>(FindPreferencesControl(dialog, id));
  }
  static void Ok(QWidget* dialog) {
    QTest::mouseClick(FindPreferencesControl(dialog, 1301), Qt::LeftButton);
  }
  // Clicks a Browse.. button and answers Qt's chooser with path; its title is kept.
  void Browse(QWidget* dialog, int button, const std::string& path) {
    WhenShown([](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; },
              [this, path](QWidget* w) {
                auto* chooser = qobject_cast<QFileDialog*>(w);
                choosers_.push_back(chooser->windowTitle().toStdString());
                chooser->selectFile(QString::fromStdString(path));
                QMetaObject::invokeMethod(chooser, "accept");
              });
    QTest::mouseClick(FindPreferencesControl(dialog, button), Qt::LeftButton);
  }
  std::string SavedSettings() { return ReadWholeFile(root_ / "config" / "sorn-karaoke.ini"); }

  std::unique_ptr<testutil::ScopedEnv> config_;
  std::vector<std::string> choosers_;
};

TEST_F(PreferencesTest, TheDialogShowsTheSettingsAndStoresWhatItShowsWhenOkIsPressed) {
  settings.jitterBuffer = 1;
  settings.cddbServer = 1;
  std::filesystem::create_directories(root_ / "typed");
  Run([this](QWidget* dialog) {
    auto* quality = Find<QSlider>(dialog, 1294);
    EXPECT_EQ(quality->value(), 2);
    EXPECT_EQ(Find<QComboBox>(dialog, 1160)->currentText().toStdString(),
              cdDrives.drives[0].description);
    auto* servers = Find<QComboBox>(dialog, 1299);
    EXPECT_EQ(servers->currentText().toStdString(),
              settings.servers[1].address + "    " + settings.servers[1].location);
    EXPECT_EQ(Find<QLineEdit>(dialog, 2141)->text().toStdString(), settings.databasePath);
    // Fully left ("Improve CD Quality") is 3, fully right 0.
    QTest::keyClick(quality, Qt::Key_Home);
    EXPECT_EQ(settings.jitterBuffer, 3);
    QTest::keyClick(quality, Qt::Key_End);
    servers->setCurrentIndex(0);
    Find<QCheckBox>(dialog, 1300)->click();
    // A folder typed without its final "/".
    Find<QLineEdit>(dialog, 2141)->setText(QString::fromStdString((root_ / "typed").string()));
    Find<QLineEdit>(dialog, 2142)->setText("");
    dialog->findChild<QComboBox*>("titleService")->setCurrentIndex(2);
    dialog->findChild<QComboBox*>("monitoring")->setCurrentIndex(2);
    dialog->findChild<QComboBox*>("blockFrames")->setCurrentIndex(1);
    dialog->findChild<QLineEdit*>("textEditor")->setText("gedit --wait");
    Ok(dialog);
  });
  EXPECT_EQ(settings.jitterBuffer, 0);
  EXPECT_EQ(settings.cddbServerHost, settings.servers[0].address);
  EXPECT_EQ(settings.useSplashScreen, 0);
  EXPECT_EQ(settings.databasePath, (root_ / "typed").string() + "/");
  EXPECT_EQ(settings.browser, "none");
  EXPECT_EQ(settings.titleService, TitleService::kCddb);
  EXPECT_EQ(settings.monitoring, Monitoring::kSoftware);
  EXPECT_EQ(settings.blockFrames, 512);
  EXPECT_EQ(settings.textEditor, "gedit --wait");
  EXPECT_THAT(SavedSettings(), HasSubstr("=" + (root_ / "typed").string() + "/\n"));
}

TEST_F(PreferencesTest, AMissingFolderKeepsItOpenEscapeAppliesLikeOkAndABrowsedFolderIsRead) {
  const std::string folder = settings.databasePath, browsed = (root_ / "browsed").string();
  std::filesystem::create_directories(browsed);
  const std::string browser = Script("my-browser", "exit 0");
  TraceCapture trace;
  Run([&](QWidget* dialog) {
    QTest::keyClick(Find<QSlider>(dialog, 1294), Qt::Key_Home);
    Find<QLineEdit>(dialog, 2141)->setText(QString::fromStdString((root_ / "missing").string()));
    Ok(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_THAT(
        trace.Text(),
        HasSubstr("Path for cddb files doesn't exist!\nPath for cddb files doesn't exist!\n"));
    EXPECT_EQ(settings.databasePath, folder);  // the folder in use stays while it is open
    Browse(dialog, 2143, browsed);
    Browse(dialog, 2144, browser);
    EXPECT_EQ(Find<QLineEdit>(dialog, 2142)->text().toStdString(), browser);
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_THAT(choosers_, ElementsAre("Select a folder for your CD information",
                                     "Select your Internet browser program:"));
  EXPECT_EQ(settings.jitterBuffer, 3);
  EXPECT_EQ(settings.browser, browser);
  EXPECT_EQ(settings.databasePath, browsed + "/");
  EXPECT_THAT(SavedSettings(), HasSubstr("Jitter%20Buffer=3\n"));
  // The disc's file is read from the chosen folder (a default one is made there).
  EXPECT_EQ(CurrentInfoFile().rfind(browsed + "/", 0), 0u);
  EXPECT_TRUE(std::filesystem::exists(CurrentInfoFile()));
}

TEST_F(PreferencesTest, ChoosingAnotherDriveWhileADiscPlaysStopsItAndTheNextTickScansTheDrive) {
  // Two image drives: the demo disc and a two-track disc.
  const std::string other = WriteDiscImage(root_, "other", {{75 * 40}, {75 * 30}});
  ReleaseCdDrives();
  {
    testutil::ScopedEnv drives("SORN_DRIVES",
                               "image:" SORN_BUILD_DIR "/demo/demo.cue;image:" + other);
    ASSERT_EQ(InitCdDrives(window_.get()), 0);
  }
  ASSERT_EQ(cdDrives.driveCount, 2);
  ResetCdPlayer();
  SetMSFformat();
  CdTimerHandler(window_.get());
  const std::string demoId = CurrentDiscId();
  // The stand-in stream's reader ends as soon as it is stopped.
  SetCddaCommandObserver([this](void*, int command) {
    commands_.push_back(command);
    if (command == CDDA_STOP) player.readerIdle.store(1);
  });
  CdPlayPause(window_.get());
  ASSERT_EQ(player.cdState.load(), CD_PLAY);

  Run([](QWidget* dialog) {
    Find<QComboBox>(dialog, 1160)->setCurrentIndex(1);
    Ok(dialog);
  });
  EXPECT_THAT(commands_, ElementsAre(CDDA_PLAY, CDDA_STOP));
  EXPECT_EQ(settings.selectedDrive, 1);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  EXPECT_EQ(player.device.load(), cdDrives.drives[1].mciDevice);
  CdTimerHandler(window_.get());
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.lastTrack.load(), 1);
  EXPECT_NE(CurrentDiscId(), demoId);

  // Back to the first drive while a reader that never ends plays: the wait is bounded, the
  // drive changes, and nothing plays until that reader has ended.
  SetCddaCommandObserver([this](void*, int command) { commands_.push_back(command); });
  SetDriveChangeReaderWait(50);
  CdPlayPause(window_.get());
  ASSERT_EQ(player.cdState.load(), CD_PLAY);
  TraceCapture trace;
  Run([](QWidget* dialog) {
    Find<QComboBox>(dialog, 1160)->setCurrentIndex(0);
    Ok(dialog);
  });
  EXPECT_THAT(trace.Text(),
              HasSubstr("PreferencesDialogProc: the reader did not stop within 50 ms"));
  EXPECT_EQ(settings.selectedDrive, 0);
  CdTimerHandler(window_.get());
  EXPECT_EQ(CurrentDiscId(), demoId);
  CdPlayPause(window_.get());
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  player.readerIdle.store(1);
  CdPlayPause(window_.get());
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
}

}  // namespace
