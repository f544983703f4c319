// The lyrics panel on the offscreen platform: its bar and states, what it shows as the disc
// and the track change, the keys that scroll it, the status text of the lookups, and editing a
// track's lyrics with a script (or the built-in window) standing in for the text editor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QFontInfo>
#include <QKeyEvent>
#include <QTest>
#include <fstream>

#include "app/cdinfo_host.h"
#include "app/cdplayer_panel.h"
#include "app/commands.h"
#include "app/external_programs.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"
#include "widgets/text_pane.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr QRgb kLyricsGreen = qRgb(122, 255, 0);

class LyricsPanelTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    PanelWindowTest::SetUp();
    settings.panelDisplay = 1;
    ShowChosenLowerPanel();
  }
  void TearDown() override {
    WatchedProgram& editor = externalPrograms.lyricsEditor;
    if (editor.handles.process > 0) ::kill(editor.handles.process, SIGKILL);
    if (editor.window) delete editor.window;
    editor = WatchedProgram{};
    SetLyricsStatusText(window_->Panel(), QString());
    CdStopStatusBlink();
    PanelWindowTest::TearDown();
  }
  QString Shown() { return gkText_GetText(Item(kIdLyricsText)); }
  bool Visible(int id) { return !Item(id)->isHidden(); }
  std::string InfoFile() { return ReadWholeFile(CurrentInfoFile()); }
  std::string Section(int track) {
    std::string lyrics;
    TrackLyricsFromText(InfoFile(), track, &lyrics);
    return lyrics;
  }
  // The editor: a script run on the edit file.
  void EditorScript(const std::string& body) {
    settings.textEditor = Script("sorn-lyrics-editor", body);
  }
  // Presses the edit button and lets the script end; the timer's watch then sees it.
  void EditAndWaitForTheEditor() {
    QTest::mouseClick(Item(kIdLyricsEdit), Qt::LeftButton);
    ASSERT_TRUE(externalPrograms.lyricsEditor.active);
    const pid_t pid = externalPrograms.lyricsEditor.handles.process;
    ASSERT_TRUE(Eventually([pid] { return !IsProcessRunning(pid); }));
  }
};

TEST_F(LyricsPanelTest, ShownItHasItsBarFontsAndColoursAndHiddenNothingOfItRemains) {
  EXPECT_EQ(LyricsPanelState(), kLyricsStateEditBar);
  for (int id : {kIdLyricsBackground, kIdLyricsText, kIdLyricsLine, kIdLyricsEdit})
    EXPECT_TRUE(Visible(id)) << id;
  for (int id : {1303, 1304, kIdLyricsStatus, 1307, 1310}) EXPECT_FALSE(Visible(id)) << id;
  // The bar takes 38 pixels from the text; the text ends where the line begins.
  QWidget* text = Item(kIdLyricsText);
  EXPECT_EQ(text->height(), Item(kIdLyricsBackground)->height() - kLyricsBarHeight);
  EXPECT_EQ(text->geometry().bottom() + 1, Item(kIdLyricsLine)->y());
  EXPECT_EQ(QFontInfo(text->font()).weight(), 700);
  EXPECT_EQ(QFontInfo(Item(kIdLyricsStatus)->font()).weight(), 400);

  // The first track's lyrics, green on black.
  EXPECT_THAT(Shown().toStdString(), HasSubstr("Walking down the sunny side"));
  const QImage pane = text->grab().toImage();
  int green = 0;
  for (int y = 0; y < pane.height(); ++y)
    for (int x = 0; x < pane.width(); ++x) green += pane.pixel(x, y) == kLyricsGreen;
  EXPECT_GT(green, 100);
  EXPECT_EQ(pane.pixel(pane.width() - 1, pane.height() - 1), qRgb(0, 0, 0));

  SetLyricsPanelState(kLyricsStateText);
  EXPECT_EQ(text->height(), Item(kIdLyricsBackground)->height());
  EXPECT_FALSE(Visible(kIdLyricsLine));
  EXPECT_FALSE(Visible(kIdLyricsEdit));
  SetLyricsPanelState(kLyricsStateEditBar);

  ViewPanelStateManager(0);
  for (int id : {kIdLyricsBackground, kIdLyricsText, 1303, 1304, kIdLyricsLine, kIdLyricsStatus,
                 1307, kIdLyricsEdit, 1310})
    EXPECT_FALSE(Visible(id)) << id;
}

TEST_F(LyricsPanelTest, TheLyricsFollowTheTrackAndTheDiscAndTheScrollKeysMoveThem) {
  CdSelectTrack(window_.get(), 1);
  CdShowCurrentTrack(window_.get());
  EXPECT_THAT(Shown().toStdString(), HasSubstr("Rain on the window"));

  // A text longer than the pane: the keyboard map scrolls it.
  QString lines;
  for (int i = 0; i < 60; ++i) lines += QString("line %1\n").arg(i);
  SetLyricsText(window_->Panel(), lines);
  QWidget* text = Item(kIdLyricsText);
  text->grab();  // a paint measures the lines
  window_->HandleKey(Qt::Key_Down);
  EXPECT_EQ(gkText_GetTopLine(text), 1);
  window_->HandleKey(Qt::Key_PageDown);
  EXPECT_EQ(gkText_GetTopLine(text), 1 + gkText_GetVisibleLines(text));
  // Keys pressed on the pane itself go the same way.
  QTest::keyClick(text, Qt::Key_Home);
  EXPECT_EQ(gkText_GetTopLine(text), 0);
  window_->HandleKey(Qt::Key_End);
  EXPECT_EQ(gkText_GetTopLine(text), gkText_GetTotalLines(text) - gkText_GetVisibleLines(text));
  EXPECT_GT(gkText_GetTopLine(text), 0);

  // The disc leaves: the lyrics go.
  EjectCD(window_.get());
  EXPECT_TRUE(Shown().trimmed().isEmpty());
}

TEST_F(LyricsPanelTest, ALineTooWideForThePaneShrinksTheFontAsFarAsThreeQuarters) {
  const QFont chosen = LyricsFont();
  QWidget* text = Item(kIdLyricsText);
  SetLyricsText(window_->Panel(), "short");
  EXPECT_EQ(text->font().pixelSize(), chosen.pixelSize());
  const QString wide = QString("wide ").repeated(10);
  SetLyricsText(window_->Panel(), "short\n" + wide);
  EXPECT_LT(text->font().pixelSize(), chosen.pixelSize());
  EXPECT_LE(QFontMetrics(text->font()).horizontalAdvance(wide), text->width());
  SetLyricsText(window_->Panel(), wide.repeated(4));
  EXPECT_EQ(text->font().pixelSize(), chosen.pixelSize() * 3 / 4);

  // The Debug menu's font becomes the lyrics font.
  QFont big = chosen;
  big.setPixelSize(30);
  SetLyricsFont(window_->Panel(), big);
  SetLyricsText(window_->Panel(), "short");
  EXPECT_EQ(text->font().pixelSize(), 30);
}

TEST_F(LyricsPanelTest, TheStatusTextBlinksInTheEditButtonsPlaceAndGivesItBack) {
  CdInfoHost& host = Host();
  host.StartBlink(window_.get(), "Connecting to the lyrics service");
  QWidget* status = Item(kIdLyricsStatus);
  EXPECT_TRUE(Visible(kIdLyricsStatus));
  EXPECT_FALSE(Visible(kIdLyricsEdit));
  std::vector<std::string> texts;
  for (int i = 0; i < 4; ++i) {
    OutputCurPos(window_.get());
    LyricsStatusTick();
    texts.push_back(gkText_GetText(status).toStdString());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Connecting to the lyrics service", " ",
                                             "Connecting to the lyrics service", " "}));
  // Black on the status colour.
  const QImage bar = status->grab().toImage();
  EXPECT_EQ(bar.pixel(bar.width() - 1, 1), qRgb(0, 255, 246));

  // Stopped, the edit button comes back.
  host.StopBlink(window_.get());
  EXPECT_FALSE(Visible(kIdLyricsStatus));
  EXPECT_TRUE(Visible(kIdLyricsEdit));

  // A final text stays a while without a blink, then goes.
  host.ShowLyricsStatus(window_.get(), "Lyrics found for 3 of 3 tracks");
  for (int i = 1; i < kLyricsStatusHoldTicks; ++i) LyricsStatusTick();
  EXPECT_TRUE(Visible(kIdLyricsStatus));
  LyricsStatusTick();
  EXPECT_FALSE(Visible(kIdLyricsStatus));
  EXPECT_TRUE(Visible(kIdLyricsEdit));
}

TEST_F(LyricsPanelTest, TheEditButtonOpensTheTracksLyricsAndTheEditEndsInItsSection) {
  EditorScript("cp \"$1\" '" + root_.string() +
               "/opened'; printf 'New first line\\nNew second line\\n\\n\\n\\n' > \"$1\"");
  const std::string before = InfoFile();
  EditAndWaitForTheEditor();
  EXPECT_EQ(ReadWholeFile(root_ / "opened"), Section(0));
  EXPECT_EQ(ReadWholeFile(root_ / "opened").rfind("Walking down the sunny side", 0), 0u);

  // The disc moves on to another track before the timer sees the editor end: the text goes
  // into the section of the track edited.
  CdSelectTrack(window_.get(), 2);
  CdTimerHandler(window_.get());
  EXPECT_FALSE(externalPrograms.lyricsEditor.active);
  // Several blank lines at the end: exactly one empty line follows the text.
  EXPECT_THAT(InfoFile(), HasSubstr("****Lyrics for Track 1, Sunny Side Street:\nNew first "
                                    "line\nNew second line\n\n****Lyrics for Track 2,"));
  std::string otherBefore;
  TrackLyricsFromText(before, 2, &otherBefore);
  EXPECT_EQ(Section(2), otherBefore);
  // The file was read again: the current track's lyrics show.
  EXPECT_THAT(Shown().toStdString(), HasSubstr("Take the back road"));
  CdSelectTrack(window_.get(), 0);
  CdShowCurrentTrack(window_.get());
  EXPECT_EQ(Shown().toStdString(), "New first line\nNew second line\n\n");
}

TEST_F(LyricsPanelTest, AnEditFileGoneOrADiscChangedLeavesTheSectionAsItWas) {
  EditorScript("rm \"$1\"");
  const std::string before = InfoFile();
  EditAndWaitForTheEditor();
  TraceCapture trace;
  WatchExternalPrograms(window_.get());
  EXPECT_EQ(trace.Text(), "failed\n");
  EXPECT_EQ(InfoFile(), before);

  // The edit began on another disc than the one in the drive when it ended.
  EditorScript("echo 'Not for this disc' > \"$1\"");
  EditAndWaitForTheEditor();
  DiscLayout other = CurrentDiscLayout();
  other.length[other.trackCount - 1] += 1;  // a minute longer
  SetDiscLayout(other);
  WatchExternalPrograms(window_.get());
  EXPECT_THAT(trace.Text(), HasSubstr("FinishLyricsEdit: the disc changed"));
  EXPECT_THAT(ReadWholeFile(CurrentInfoFile()), Not(HasSubstr("Not for this disc")));
}

TEST_F(LyricsPanelTest, WhileAnEditorIsOpenTheButtonAndTheMenuCommandDoNothing) {
  settings.textEditor = "built-in";
  QTest::mouseClick(Item(kIdLyricsEdit), Qt::LeftButton);
  WatchedProgram& editor = externalPrograms.lyricsEditor;
  ASSERT_TRUE(editor.active);
  QWidget* first = editor.window;
  ASSERT_NE(first, nullptr);
  // The user has typed into the edit file meanwhile: a second start would write it anew.
  std::ofstream(LyricsEditFilePath()) << "typed so far\n";

  CdSelectTrack(window_.get(), 1);
  QTest::mouseClick(Item(kIdLyricsEdit), Qt::LeftButton);
  AppCommand(window_.get(), kCmdEditLyrics, nullptr, 0);
  EXPECT_EQ(editor.window, first);
  EXPECT_EQ(LyricsEditTrack(), 0);
  EXPECT_EQ(ReadWholeFile(LyricsEditFilePath()), "typed so far\n");
  int editors = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    editors += w->objectName() == "SornTextEditor" && w->isVisible();
  EXPECT_EQ(editors, 1);

  // Closing the window ends the edit; the text goes into track 1's section.
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  WatchExternalPrograms(window_.get());
  EXPECT_FALSE(editor.active);
  EXPECT_EQ(Section(0), "typed so far\n\n");

  TraceCapture trace;
  LyricsPanelStateManager(1303);
  EXPECT_EQ(trace.Text(), "LyricsPanelStateManager: bogus id=1303\n");
}

}  // namespace
