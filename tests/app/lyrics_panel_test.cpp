// The lyrics panel on the offscreen platform: its bar and states, what it shows as the disc
// and the track change, the keys that scroll it, the lookups' status text, and editing a
// track's lyrics with a script (or the built-in window) standing in for the text editor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QFontInfo>
#include <QTest>
#include <fstream>

#include "app/cdplayer_panel.h"
#include "app/external_programs.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "cd/player.h"
#include "cdinfo/info_file.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"
#include "widgets/bitmap_button.h"
#include "widgets/text_pane.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

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
    delete editor.window;
    editor = WatchedProgram{};
    PanelWindowTest::TearDown();
  }
  QString Shown() { return gkText_GetText(Item(kIdLyricsText)); }
  bool Visible(int id) { return !Item(id)->isHidden(); }
  std::string Section(int track) {
    std::string lyrics;
    TrackLyricsFromText(ReadWholeFile(CurrentInfoFile()), track, &lyrics);
    return lyrics;
  }
  // Presses the edit button with a script as the editor and waits for the script to end.
  void EditWith(const std::string& script) {
    settings.textEditor = Script("sorn-lyrics-editor", script);
    QTest::mouseClick(Item(kIdLyricsEdit), Qt::LeftButton);
    const pid_t pid = externalPrograms.lyricsEditor.handles.process;
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(Eventually([pid] { return !IsProcessRunning(pid); }));
  }
};

TEST_F(LyricsPanelTest, ShownItHasItsBarFontsAndColoursAndHiddenNothingOfItRemains) {
  for (int id : {1211, kIdLyricsText, kIdLyricsLine, kIdLyricsEdit}) EXPECT_TRUE(Visible(id));
  for (int id : {1303, 1304, kIdLyricsStatus, 1307, 1310}) EXPECT_FALSE(Visible(id));
  QWidget* text = Item(kIdLyricsText);
  EXPECT_EQ(text->geometry().bottom() + 1, Item(kIdLyricsLine)->y());
  EXPECT_EQ(text->height(), Item(1211)->height() - kLyricsBarHeight);
  EXPECT_EQ(QFontInfo(text->font()).weight(), 700);
  EXPECT_EQ(QFontInfo(Item(kIdLyricsStatus)->font()).weight(), 400);
  EXPECT_THAT(Shown().toStdString(), HasSubstr("Walking down the sunny side"));
  const QImage pane = text->grab().toImage();
  int green = 0;
  for (int y = 0; y < pane.height(); ++y)
    for (int x = 0; x < pane.width(); ++x) green += pane.pixel(x, y) == qRgb(122, 255, 0);
  EXPECT_GT(green, 100);

  // Freed and shown again, it is set up again, every bitmap found in the skin.
  TraceCapture trace;
  FreeLyricsPanel();
  ShowLyricsPanel(true);
  EXPECT_THAT(trace.Text(), Not(HasSubstr("no bitmap")));
  EXPECT_NE(gkButton_GetGraphics(Item(kIdLyricsEdit))[1].cacheKey(), QPixmap().cacheKey());

  SetLyricsPanelState(kLyricsStateText);
  EXPECT_EQ(text->height(), Item(1211)->height());
  EXPECT_FALSE(Visible(kIdLyricsEdit));
  ViewPanelStateManager(0);
  for (int id :
       {1211, kIdLyricsText, 1303, 1304, kIdLyricsLine, kIdLyricsStatus, 1307, kIdLyricsEdit, 1310})
    EXPECT_FALSE(Visible(id));
}

TEST_F(LyricsPanelTest, TheTextFollowsTrackAndDiscScrollsWithTheKeysAndShrinksToFit) {
  CdSelectTrack(window_.get(), 1);
  CdShowCurrentTrack(window_.get());
  EXPECT_THAT(Shown().toStdString(), HasSubstr("Rain on the window"));

  QString lines;
  for (int i = 0; i < 60; ++i) lines += QString("line %1\n").arg(i);
  SetLyricsText(window_->Panel(), lines);
  QWidget* text = Item(kIdLyricsText);
  text->grab();  // a paint measures the lines
  window_->HandleKey(Qt::Key_Down);
  window_->HandleKey(Qt::Key_PageDown);
  EXPECT_EQ(gkText_GetTopLine(text), 1 + gkText_GetVisibleLines(text));
  QTest::keyClick(text, Qt::Key_Home);  // keys on the pane itself go the same way
  EXPECT_EQ(gkText_GetTopLine(text), 0);

  // A line wider than the pane takes a smaller font, down to three quarters of the chosen one.
  const int chosen = LyricsFont().pixelSize();
  const QString wide = QString("wide ").repeated(10);
  SetLyricsText(window_->Panel(), "short\n" + wide);
  EXPECT_LT(text->font().pixelSize(), chosen);
  EXPECT_LE(QFontMetrics(text->font()).horizontalAdvance(wide), text->width());
  SetLyricsText(window_->Panel(), wide.repeated(4));
  EXPECT_EQ(text->font().pixelSize(), chosen * 3 / 4);
  SetLyricsText(window_->Panel(), "short");
  EXPECT_EQ(text->font().pixelSize(), chosen);

  EjectCD(window_.get());
  EXPECT_TRUE(Shown().trimmed().isEmpty());
}

TEST_F(LyricsPanelTest, TheStatusTextBlinksInTheEditButtonsPlaceAndGivesItBack) {
  Host().StartBlink(window_.get(), "Connecting");
  EXPECT_TRUE(Visible(kIdLyricsStatus));
  EXPECT_FALSE(Visible(kIdLyricsEdit));
  std::string texts;
  for (int i = 0; i < 3; ++i) {
    OutputCurPos(window_.get());
    LyricsStatusTick();
    texts += gkText_GetText(Item(kIdLyricsStatus)).toStdString() + "|";
  }
  EXPECT_EQ(texts, "Connecting| |Connecting|");
  const QImage bar = Item(kIdLyricsStatus)->grab().toImage();
  EXPECT_EQ(bar.pixel(bar.width() - 1, 1), qRgb(0, 255, 246));
  Host().StopBlink(window_.get());
  EXPECT_TRUE(Visible(kIdLyricsEdit));

  // A last word without a blink stays a while.
  Host().ShowLyricsStatus(window_.get(), "Lyrics found for 3 of 3 tracks");
  for (int i = 1; i < kLyricsStatusHoldTicks; ++i) LyricsStatusTick();
  EXPECT_TRUE(Visible(kIdLyricsStatus));
  LyricsStatusTick();
  EXPECT_FALSE(Visible(kIdLyricsStatus));
  EXPECT_TRUE(Visible(kIdLyricsEdit));
}

TEST_F(LyricsPanelTest, AnEditEndsInTheSectionOfTheTrackItBeganOnWithOneEmptyLineAfterIt) {
  const std::string opened = (root_ / "opened").string();
  const std::string track3 = Section(2);
  EditWith("cp \"$1\" '" + opened + "'; printf 'New line\\nNext line\\n\\n\\n\\n' > \"$1\"");
  EXPECT_EQ(ReadWholeFile(opened), Section(0));
  EXPECT_EQ(ReadWholeFile(opened).rfind("Walking down the sunny side", 0), 0u);
  // The disc has moved on to another track when the timer sees the editor end.
  CdSelectTrack(window_.get(), 2);
  CdTimerHandler(window_.get());
  EXPECT_FALSE(externalPrograms.lyricsEditor.active);
  EXPECT_THAT(ReadWholeFile(CurrentInfoFile()),
              HasSubstr("****Lyrics for Track 1, Sunny Side Street:\nNew line\nNext "
                        "line\n\n****Lyrics for Track 2,"));
  EXPECT_EQ(Section(2), track3);
  EXPECT_THAT(Shown().toStdString(), HasSubstr("Take the back road"));  // read again

  // An edit file gone when the editor ends, or another disc by then: the file stays.
  const std::string before = ReadWholeFile(CurrentInfoFile());
  TraceCapture trace;
  EditWith("rm \"$1\"");
  WatchExternalPrograms(window_.get());
  EXPECT_THAT(trace.Text(), HasSubstr("failed\n"));
  EditWith("echo 'Not for this disc' > \"$1\"");
  DiscLayout other = CurrentDiscLayout();
  other.length[other.trackCount - 1] += 1;  // a minute longer: another disc id
  SetDiscLayout(other);
  WatchExternalPrograms(window_.get());
  EXPECT_THAT(trace.Text(), HasSubstr("FinishLyricsEdit: the disc changed"));
  EXPECT_THAT(ReadWholeFile(CurrentInfoFile()), Not(HasSubstr("Not for this disc")));
  EXPECT_EQ(ReadWholeFile(CurrentInfoFile()), before);
}

TEST_F(LyricsPanelTest, WhileAnEditorIsOpenTheButtonAndTheMenuCommandDoNothing) {
  settings.textEditor = "built-in";
  QTest::mouseClick(Item(kIdLyricsEdit), Qt::LeftButton);
  WatchedProgram& editor = externalPrograms.lyricsEditor;
  QWidget* first = editor.window;
  ASSERT_NE(first, nullptr);
  std::ofstream(LyricsEditFilePath()) << "typed so far\n";  // a second start would overwrite it
  CdSelectTrack(window_.get(), 1);
  QTest::mouseClick(Item(kIdLyricsEdit), Qt::LeftButton);
  AppCommand(window_.get(), kCmdEditLyrics, nullptr, 0);
  EXPECT_EQ(editor.window, first);
  EXPECT_EQ(LyricsEditTrack(), 0);
  EXPECT_EQ(ReadWholeFile(LyricsEditFilePath()), "typed so far\n");

  first->close();  // closing the built-in window ends the edit
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  WatchExternalPrograms(window_.get());
  EXPECT_FALSE(editor.active);
  EXPECT_EQ(Section(0), "typed so far\n\n");
  TraceCapture trace;
  LyricsPanelStateManager(1303);
  EXPECT_THAT(trace.Text(), HasSubstr("LyricsPanelStateManager: bogus id=1303\n"));
}

}  // namespace
