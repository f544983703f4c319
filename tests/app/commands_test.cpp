// The command handler: the play-mode check marks, the browser procedure, the editor on the
// CD information file, the volume control, the help page and the copy of a track to a WAV
// file, with scripts standing in for the outside programs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/cdplayer_panel.h"
#include "app/commands.h"
#include "app/external_programs.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "cd/ripper.h"
#include "cdinfo/info_file.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class CommandsTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    PanelWindowTest::SetUp();
    // Modal dialogs the commands open are closed as soon as they show; their names are kept.
    closer_.setInterval(5);
    QObject::connect(&closer_, &QTimer::timeout, [this] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible() || !dialog->isModal()) continue;
        dialogs_.push_back(dialog->objectName().toStdString());
        dialog->reject();
      }
    });
    closer_.start();
  }
  void TearDown() override {
    closer_.stop();
    for (WatchedProgram* p :
         {&externalPrograms.cdInfoEditor, &externalPrograms.mixer, &externalPrograms.help}) {
      if (p->handles.process > 0) ::kill(p->handles.process, SIGKILL);
      if (p->window) delete p->window;
      *p = WatchedProgram{};
    }
    PanelWindowTest::TearDown();
  }
  void Command(int id) { AppCommand(window_.get(), id, nullptr, 0); }
  std::string Written(const std::string& name) { return ReadWholeFile(root_ / name); }

  QTimer closer_;
  std::vector<std::string> dialogs_;
};

TEST_F(CommandsTest, PlayModeCommandsToggleAndKeepTheirChecksInStep) {
  CdSetMode(0);
  CheckMenuCommand(kCmdSingleSongPlay, false);
  Command(kCmdSingleSongPlay);
  EXPECT_EQ(settings.cdMode, 1);
  EXPECT_TRUE(MenuCommandChecked(kCmdSingleSongPlay));
  Command(kCmdSingleSongPlay);
  EXPECT_EQ(settings.cdMode, 0);
  EXPECT_FALSE(MenuCommandChecked(kCmdSingleSongPlay));

  // Intro play (no menu carries it) clears the single-song check.
  Command(kCmdSingleSongPlay);
  Command(kCmdIntroPlay);
  EXPECT_EQ(player.cdMode.load(), kCdModeIntro);
  EXPECT_FALSE(MenuCommandChecked(kCmdSingleSongPlay));
  Command(kCmdIntroPlay);
  EXPECT_EQ(settings.cdMode, 0);

  const int repeat = settings.repeat;
  Command(kCmdRepeat);
  EXPECT_EQ(settings.repeat, 1 - repeat);
  EXPECT_EQ(MenuCommandChecked(kCmdRepeat), settings.repeat == 1);

  // Ids up to 800 other than the first track and the lyrics editor, and unknown ids, do
  // nothing.
  Command(799);
  Command(40100);
  EXPECT_EQ(player.currentTrack.load(), 0);
  EXPECT_TRUE(dialogs_.empty());
}

TEST_F(CommandsTest, TheBrowserProcedureNeedsABrowserThatStarts) {
  const std::string browser = Script("sorn-browser", "echo \"$1\" > '" + root_.string() + "/url'");
  settings.browser = "none";
  Command(kCmdCddbWebSite);
  EXPECT_THAT(boxes_.Boxes(), ElementsAre("Internet Browser Error|No Browser selected; please "
                                          "locate your Browser in Preferences"));
  EXPECT_EQ(boxes_.lastFlags & kMbSystemModal, kMbSystemModal);
  EXPECT_THAT(dialogs_, ElementsAre("KaraokePreferences"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "url"));

  settings.browser = browser;
  settings.lyricsService = kLyricsServiceSite;
  settings.lyricsHost = "lyrics.example.org";
  Command(kCmdLyricsWebSite);
  ASSERT_TRUE(Eventually([&] { return Written("url") == "http://lyrics.example.org/\n"; }));
  EXPECT_EQ(boxes_.Boxes().size(), 1u);

  settings.browser = (root_ / "no-such-browser").string();
  Command(kCmdCddbWebSite);
  EXPECT_EQ(boxes_.Boxes().back(),
            "Internet Browser Error|The selected Browser did not start; please locate correct "
            "Browser in Preferences");
  EXPECT_EQ(dialogs_.size(), 2u);
}

TEST_F(CommandsTest, EditCdInformationStartsTheEditorOnTheFileAndReloadsItWhenItEnds) {
  settings.textEditor =
      Script("sorn-editor", "echo \"$1\" > '" + root_.string() +
                                "/edited'; sed -i 's/^CD Title: .*/CD Title: Edited Disc/' \"$1\"");
  const std::string file = CurrentInfoFile();
  ASSERT_FALSE(file.empty());
  Command(kCmdEditCdInfo);
  ASSERT_TRUE(Eventually([&] { return !WatchedProgramRuns(&externalPrograms.cdInfoEditor); }));
  EXPECT_EQ(Written("edited"), file + "\n");
  // The player's timer sees the editor end and reads the file again.
  externalPrograms.cdInfoEditor.active = true;
  WatchExternalPrograms(window_.get());
  EXPECT_EQ(cdTitles.albumTitle, "Edited Disc");
  EXPECT_TRUE(boxes_.Boxes().empty());

  // Without a disc nothing starts.
  std::filesystem::remove(root_ / "edited");
  EjectCD(window_.get());
  Command(kCmdEditCdInfo);
  EXPECT_FALSE(externalPrograms.cdInfoEditor.active);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(CommandsTest, TheBuiltInEditorSavesTheFileAndItsClosingEndsTheEdit) {
  settings.textEditor = "built-in";
  Command(kCmdEditCdInfo);
  WatchedProgram& editor = externalPrograms.cdInfoEditor;
  ASSERT_TRUE(editor.window);
  auto* text = editor.window->findChild<QPlainTextEdit*>();
  ASSERT_NE(text, nullptr);
  EXPECT_THAT(text->toPlainText().toStdString(), HasSubstr("CD Title: Sorn Karaoke Demo Disc"));
  text->setPlainText(text->toPlainText().replace("Sorn Karaoke Demo Disc", "Typed Title"));
  for (QPushButton* button : editor.window->findChildren<QPushButton*>()) {
    if (button->text() == "&Save") button->click();
  }
  EXPECT_TRUE(WatchedProgramRuns(&editor));
  editor.window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  WatchExternalPrograms(window_.get());
  EXPECT_FALSE(editor.active);
  EXPECT_EQ(cdTitles.albumTitle, "Typed Title");
}

TEST_F(CommandsTest, TheAudioMixerStartsOnceWhileItRuns) {
  settings.mixerProgram =
      Script("sorn-mixer", "echo started >> '" + root_.string() + "/mixer.log'; sleep 30");
  TraceCapture trace;
  Command(kCmdLaunchMixer);
  ASSERT_TRUE(Eventually([&] { return Written("mixer.log") == "started\n"; }));
  Command(kCmdLaunchMixer);
  EXPECT_THAT(trace.Text(), HasSubstr("Hey, found mixerapp window\n"));
  ::kill(externalPrograms.mixer.handles.process, SIGKILL);
  ASSERT_TRUE(Eventually([&] { return !WatchedProgramRuns(&externalPrograms.mixer); }));
  EXPECT_EQ(Written("mixer.log"), "started\n");
}

TEST_F(CommandsTest, HelpTopicsOpenTheShippedHelpPageInTheBrowser) {
  settings.browser = Script("sorn-browser", "cp \"$1\" '" + root_.string() + "/help.html'");
  Command(kCmdHelpTopics);
  ASSERT_TRUE(Eventually([&] { return !Written("help.html").empty(); }));
  EXPECT_THAT(Written("help.html"), HasSubstr("Sorn Karaoke"));
  EXPECT_THAT(Written("help.html"), HasSubstr("Get CD Info from Internet"));
}

TEST_F(CommandsTest, CopySongToWavStopsTheDiscAndWritesTheTrackIntoTheFolder) {
  CdPlayPause(window_.get());
  ASSERT_EQ(player.cdState.load(), CD_PLAY);
  commands_.clear();
  Command(kCmdCopySongToWav);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_THAT(commands_, ElementsAre(CDDA_STOP));
  const RipResult rip = LastRipResult();
  EXPECT_EQ(rip.path, RipFilePath(0));
  EXPECT_EQ(rip.path.rfind(settings.databasePath, 0), 0u);
  const CdTrack& t = player.cdTrack[0];
  const int64_t frames = (t.lengthMinutes * 60 + t.lengthSeconds) * 75 + t.lengthFrames;
  EXPECT_EQ(std::filesystem::file_size(rip.path), static_cast<uintmax_t>(44 + frames * 2352));
}

TEST_F(CommandsTest, TheSelectCdChoiceIsADialogOnTheWindowThreadAnsweringAPosition) {
  // A lookup worker asks; the dialog runs on this (the window) thread, where the second entry
  // is picked.
  SetWindowPoster([](std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
  });
  closer_.stop();
  QTimer picker;
  picker.setInterval(5);
  QObject::connect(&picker, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (!dialog || !dialog->isVisible() || dialog->objectName() != "SelectCd") continue;
      dialog->findChild<QListWidget*>()->setCurrentRow(1);
      dialog->accept();
    }
  });
  picker.start();
  std::atomic<int> picked{-2};
  std::thread worker([&] {
    picked = Host().SelectCd(window_.get(), {"First Album", "Second Album", kNoneOfTheAbove});
  });
  EXPECT_TRUE(Eventually([&] { return picked.load() != -2; }));
  worker.join();
  SetWindowPoster(nullptr);
  EXPECT_EQ(picked.load(), 1);
}

}  // namespace
