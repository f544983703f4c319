// What the lyrics area shows while a song plays, on the panel built as start-up builds it, with
// the position the listener hears handed in: the sung line of time-synced lyrics highlighted
// (read from the pane's pixels), the CD+G screen in place of the text and over the whole
// screen (pixel by pixel against the decoder's screen at that position); the Internet menu's
// lyrics commands and the "Select Song" dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <future>
#include <memory>

#include "app/cdg_view.h"
#include "app/cdinfo_host.h"
#include "app/cdplayer_panel.h"
#include "app/commands.h"
#include "app/display_modes.h"
#include "app/lyrics_area.h"
#include "app/lyrics_panel.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/synced_lyrics_view.h"
#include "audio/cdda_ring.h"
#include "cd/cdg_encoder.h"
#include "cd/cdg_image.h"
#include "cd/cdg_stream.h"
#include "cd/player.h"
#include "cdinfo/lookup_worker.h"
#include "cdinfo/lyrics_fetch.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "widgets/menu_popup.h"
#include "widgets/text_pane.h"

namespace {

int64_t heardMs = 0;
int64_t Heard() {
  return heardMs;
}

constexpr GkColor kLitPaper = GkRgb(0x1F, 0xB2, 0x04);

class LyricsViewTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    PanelWindowTest::SetUp();
    heardMs = 0;
    SetListenerPositionSource(&Heard);
    window_->show();
    ViewPanelStateManager(1);
    pane_ = Item(kIdLyricsText);
    gkText_SetColors(pane_, GkRgb(0, 0, 0), GkRgb(0x7A, 0xFF, 0), 0);
    gkText_SetHighlightColors(pane_, kLitPaper, GkRgb(0xFF, 0xFF, 0xFF), 0);
  }
  void TearDown() override {
    SetListenerPositionSource(nullptr);
    ResetCdgStream();
    SetCddaSubcodeSink(nullptr);
    player.cdState.store(CD_STOP);
    player.currentTrack.store(0);
    screenModes.fullScreenMode = screenModes.scaledFullScreen = false;
    PanelWindowTest::TearDown();
  }
  // The pane line shown in the highlight paper colour (read at the pane's right edge, where no
  // text reaches): -1 for none, -2 for more than one.
  int LitLine() {
    const QImage image = pane_->grab().toImage();
    const int h = gkText_GetCellHeight(pane_);
    int lit = -1;
    for (int box = 0; (box + 1) * h <= image.height(); ++box) {
      if (image.pixelColor(image.width() - 2, box * h + h / 2) != GkToQColor(kLitPaper)) continue;
      lit = lit == -1 ? gkText_GetTopLine(pane_) + box : -2;
    }
    return lit;
  }

  QWidget* pane_ = nullptr;
};

// Lyrics as the panel gets them: an untagged title line, then lines tagged 2.5 s apart from
// 5 s on (a blank line after the second takes its time). Pane line n + 1 is "line n" up to
// line 2, n + 2 after.
QString SyncedLyrics(int lines) {
  QString text = "Sunny Side Street\n";
  for (int i = 0; i < lines; ++i) {
    const int ms = 5000 + i * 2500;
    text += QString::asprintf("[%02d:%02d.%02d] line %d\n%s", ms / 60000, ms / 1000 % 60,
                              ms % 1000 / 10, i + 1, i == 1 ? "\n" : "");
  }
  return text;
}

TEST_F(LyricsViewTest, SyncedLyricsHighlightTheLineBeingSungAndKeepItInView) {
  player.cdState.store(CD_PLAY);
  heardMs = 1000;
  SetLyricsText(CdPlayerPanel(), SyncedLyrics(60));
  EXPECT_TRUE(gkText_GetText(pane_).startsWith("Sunny Side Street\nline 1\nline 2\n\nline 3\n"));
  const int visible = gkText_GetVisibleLines(pane_);
  ASSERT_GT(visible, 3);
  ASSERT_LT(visible, 60);
  // Before the first line's time its line (not the title); the blank line shares "line 2"'s
  // time; after the last line's time the last; a seek back to the start.
  const std::pair<int64_t, int> cases[] = {{1000, 1},    {5000, 1},    {7499, 1},
                                           {7500, 2},    {9999, 2},    {10000, 4},
                                           {130000, 52}, {600000, 61}, {0, 1}};
  for (const auto& [ms, line] : cases) {
    heardMs = ms;
    FollowLyricsArea();
    EXPECT_EQ(LitLine(), line) << "at " << ms << " ms";
    EXPECT_GE(line, gkText_GetTopLine(pane_));
    EXPECT_LT(line, gkText_GetTopLine(pane_) + visible);
  }
  // The timer follows by itself while the disc plays.
  heardMs = 12500;
  EXPECT_TRUE(QTest::qWaitFor([this] { return LitLine() == 5; }, 5000));
  // A resized pane loses its highlight (the pane resets it); the next step puts it back.
  pane_->resize(pane_->width(), pane_->height() - 38);
  FollowLyricsArea();
  EXPECT_EQ(LitLine(), 5);
  // A stopped disc starts the song again: the first line.
  player.cdState.store(CD_STOP);
  FollowLyricsArea();
  EXPECT_EQ(LitLine(), 1);
  // Lyrics without time tags are shown as they are, nothing lit.
  SetLyricsText(CdPlayerPanel(), "Sunny Side Street\nla la\n");
  EXPECT_EQ(gkText_GetText(pane_), "Sunny Side Street\nla la\n");
  EXPECT_EQ(LitLine(), -1);
  EXPECT_EQ(SungLine(pane_), -1);
}

TEST_F(LyricsViewTest, CdgGraphicsTakeThePlaceOfTheTextAndFillTheScreenInFullScreen) {
  // A white tile at pack 100, a red one at 200, a tile of the transparent colour; delivered
  // up to pack 651 a sub-block at a time.
  CdgStreamWriter writer;
  writer.Put(0, CdgColoursPack(false, {0x013, 0xFFF, 0xF00, 0x0F0}));
  writer.Put(1, CdgTransparentPack(3));
  std::array<uint8_t, kCdgTileHeight> bits;
  bits.fill(0x2A);
  writer.Put(2, CdgTilePack(2, 2, 3, 0, bits));
  writer.Put(100, CdgTilePack(5, 10, 0, 1, bits));
  writer.Put(200, CdgTilePack(6, 20, 0, 2, bits));
  const std::vector<uint8_t> packs = writer.Packs(700);
  SetCdgStreamTrack(0, true);
  CddaSubcodeSink* sink = cddaRing.subcodeSink.load();
  ASSERT_NE(sink, nullptr);
  for (int64_t p = 0; p < 651; p += 7) {
    sink->Packs(packs.data() + p * kPackBytes, 7, p, 150);
    sink->Played((p + 7) * kRingBytesPerPack, 150);
  }
  // The view's pixels: black around the screen at `pack`, each device pixel the screen pixel
  // under it, the transparent colour black.
  auto expectShows = [&packs](CdgView* view, int64_t pack) {
    auto screen = std::make_unique<CdgScreen>();
    RenderCdgAt(packs.data(), 700, pack, screen.get());
    const QImage expected = CdgScreenImage(*screen);
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect r = view->ImageRect();
    ASSERT_LE(std::abs(r.width() * 2 - r.height() * 3), 2);  // 3:2 to the pixel
    ASSERT_TRUE(r.width() == view->width() || r.height() == view->height());
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        QRgb want = 0xFF000000u;
        if (r.contains(x, y))
          want = expected.pixel(CdgScreenPixelOf(x - r.x(), r.width(), kCdgVisibleWidth),
                                CdgScreenPixelOf(y - r.y(), r.height(), kCdgVisibleHeight));
        ASSERT_EQ(shown.pixel(x, y), qAlpha(want) ? want : 0xFF000000u)
            << "pixel " << x << "," << y << " at pack " << pack;
      }
    }
  };

  player.cdState.store(CD_PLAY);
  heardMs = 500;  // pack 150: the white tile, not yet the red one
  FollowLyricsArea();
  CdgView* view = LyricsCdgView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  EXPECT_FALSE(pane_->isVisible());
  EXPECT_EQ(view->geometry(), pane_->geometry());
  EXPECT_EQ(view->ShownPack(), 150);
  expectShows(view, 150);
  const std::pair<int64_t, int64_t> steps[] = {{700, 210}, {200, 60}};  // on, and back
  for (const auto& [ms, pack] : steps) {
    heardMs = ms;
    FollowLyricsArea();
    expectShows(view, pack);
  }
  heardMs = 2000;  // the timer follows by itself
  EXPECT_TRUE(QTest::qWaitFor([view] { return view->ShownPack() == 600; }, 5000));

  // A track without graphics: the text again. The microphone view stays as it is.
  player.currentTrack.store(1);
  FollowLyricsArea();
  EXPECT_FALSE(view->isVisible());
  EXPECT_TRUE(pane_->isVisible());
  player.currentTrack.store(0);
  ViewPanelStateManager(0);
  EXPECT_FALSE(view->isVisible());
  EXPECT_FALSE(pane_->isVisible());
  ViewPanelStateManager(1);
  EXPECT_TRUE(view->isVisible());

  // Full screen: the whole screen; keys go to the panel (Space pauses), a click leaves it.
  settings.useFullScreen = 1;
  screenModes.fullScreenMode = screenModes.scaledFullScreen = true;
  heardMs = 1000;
  FollowLyricsArea();
  CdgView* full = FullScreenCdgView();
  ASSERT_NE(full, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(full));
  EXPECT_EQ(full->geometry(), window_->screen()->geometry());
  expectShows(full, 300);
  QTest::keyClick(full, Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_PAUSE);
  QTest::mouseClick(full, Qt::LeftButton);
  EXPECT_FALSE(screenModes.fullScreenMode);
  EXPECT_FALSE(full->isVisible());
}

TEST_F(LyricsViewTest, TheLyricsCommandsFetchForEveryTrackOrThisOneAndWaitForALookup) {
  SetWindowPoster([](std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
  });
  player.currentTrack.store(2);
  // A lookup holds the connection: the commands are greyed out, and ignored.
  std::promise<void> release;
  ASSERT_TRUE(StartLookupWorker("test", "", [f = release.get_future().share()] { f.wait(); }));
  QMenu* menu = gkMenuPopUp_GetMenu(Item(kIdPopupInternet));
  ASSERT_NE(menu, nullptr);
  auto enabled = [menu] {
    std::vector<int> on;
    for (QAction* action : menu->actions())
      if (action->isEnabled() && !action->isSeparator()) on.push_back(GkActionCommand(action));
    return on;
  };
  emit menu->aboutToShow();
  EXPECT_EQ(enabled(), (std::vector<int>{kCmdGetCdInfo, kCmdCddbWebSite, kCmdUpdateServerList}));
  release.set_value();
  ASSERT_TRUE(WaitForLookupWorkers(10000));
  emit menu->aboutToShow();
  EXPECT_EQ(enabled(), (std::vector<int>{kCmdGetCdInfo, kCmdGetLyrics, kCmdGetTrackLyrics,
                                         kCmdCddbWebSite, kCmdUpdateServerList}));
  // Each command runs a fetch on the worker: for the current track, or for every track.
  settings.lyricsUrl = "http://127.0.0.1:1";  // nothing answers there
  const std::pair<int, int> commands[] = {{kCmdGetTrackLyrics, 2}, {kCmdGetLyrics, -1}};
  for (const auto& [command, selector] : commands) {
    AppCommand(window_.get(), command, nullptr, 0);
    EXPECT_TRUE(WaitForLookupWorkers(10000));
    EXPECT_EQ(lyricsState.lyricsTrackSelector.load(), selector);
  }
  QCoreApplication::processEvents();
  SetWindowPoster(nullptr);
}

TEST_F(LyricsViewTest, SelectSongShowsItsTextsAndAnswersTheLineChosen) {
  // What the dialog shows, with the first line selected; the second is chosen.
  QStringList seen;
  QTimer picker;
  picker.setInterval(5);
  QObject::connect(&picker, &QTimer::timeout, [&seen] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || dialog->objectName() != "SelectSong") return;
    seen << dialog->windowTitle();
    for (QLabel* label : dialog->findChildren<QLabel*>()) seen << label->text();
    auto* list = dialog->findChild<QListWidget*>();
    seen << QString::number(list->currentRow()) << list->item(list->count() - 1)->text();
    list->setCurrentRow(1);
    dialog->accept();
  });
  picker.start();
  AppCdInfoHost host;
  EXPECT_EQ(host.SelectSong(window_.get(), {"Rain  /  Days  /  Ann", "Rain  /  Live  /  Ann",
                                            "None of the above"}),
            1);
  EXPECT_EQ(seen, QStringList({"Select Song", "Please select the correct song below:",
                               "Format is:     Song Title  /  Album  /  Artist", "0",
                               "None of the above"}));
}

}  // namespace
