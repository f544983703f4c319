// What the lyrics area shows while a song plays, on the panel built as start-up builds it, with
// the position the listener hears handed in: the sung line of time-synced lyrics highlighted
// (checked in the pane's pixels), the CD+G screen in place of the text for a track that has
// it and over the whole screen in full screen (checked pixel by pixel against the decoder's
// screen at that position).
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
#include "cdinfo/http_client.h"
#include "cdinfo/info_file.h"
#include "cdinfo/lookup_worker.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"
#include "tests/support/test_http_server.h"
#include "widgets/menu_popup.h"
#include "widgets/text_pane.h"

namespace {

int64_t heardMs = 0;
int64_t Heard() {
  return heardMs;
}

constexpr GkColor kPaper = GkRgb(0, 0, 0);
constexpr GkColor kInk = GkRgb(0x7A, 0xFF, 0x00);
constexpr GkColor kLitPaper = GkRgb(0x1F, 0xB2, 0x04);
constexpr GkColor kLitInk = GkRgb(0xFF, 0xFF, 0xFF);

class LyricsViewTest : public PanelWindowTest {
 protected:
  void SetUp() override {
    PanelWindowTest::SetUp();
    heardMs = 0;
    SetListenerPositionSource(&Heard);
    window_->show();
    ViewPanelStateManager(1);
    pane_ = Item(kIdLyricsText);
    gkText_SetColors(pane_, kPaper, kInk, 0);
    gkText_SetHighlightColors(pane_, kLitPaper, kLitInk, 0);
  }
  void TearDown() override {
    SetListenerPositionSource(nullptr);
    ResetCdgStream();
    SetCddaSubcodeSink(nullptr);
    player.cdState.store(CD_STOP);
    player.currentTrack.store(0);
    screenModes.fullScreenMode = false;
    screenModes.scaledFullScreen = false;
    PanelWindowTest::TearDown();
  }
  // The pane's line boxes (from its top) painted in the highlight paper colour, read at the
  // pane's right edge where no text reaches.
  std::vector<int> LitBoxes() {
    const QImage image = pane_->grab().toImage();
    const int h = gkText_GetCellHeight(pane_);
    std::vector<int> lit;
    for (int box = 0; (box + 1) * h <= image.height(); ++box) {
      if (image.pixelColor(image.width() - 2, box * h + h / 2) == GkToQColor(kLitPaper))
        lit.push_back(box);
    }
    return lit;
  }
  // The pane line shown highlighted, -1 for none (and -2 for more than one).
  int LitLine() {
    const std::vector<int> lit = LitBoxes();
    if (lit.empty()) return -1;
    return lit.size() == 1 ? gkText_GetTopLine(pane_) + lit[0] : -2;
  }

  QWidget* pane_ = nullptr;
};

// A section's lyrics as the lyrics panel gets them: an untagged title line, then lines tagged
// with their times (a blank line between verses takes the time before it).
QString SyncedSection(int lines) {
  QString text = "Sunny Side Street\n";
  for (int i = 0; i < lines; ++i) {
    const int ms = 5000 + i * 2500;
    text += QString::asprintf("[%02d:%02d.%02d] line %d\n", ms / 60000, ms / 1000 % 60,
                              ms % 1000 / 10, i + 1);
    if (i == 1) text += "\n";
  }
  return text;
}

TEST_F(LyricsViewTest, SyncedLyricsHighlightTheLineBeingSungAndKeepItInView) {
  player.cdState.store(CD_PLAY);
  heardMs = 1000;
  SetLyricsText(CdPlayerPanel(), SyncedSection(60));
  // Shown without the tags; pane lines: 0 the title, 1 "line 1", 2 "line 2", 3 blank, 4 on.
  EXPECT_TRUE(gkText_GetText(pane_).startsWith("Sunny Side Street\nline 1\nline 2\n\nline 3\n"));
  // Before the first line's time: the first sung line, not the title.
  EXPECT_EQ(LitLine(), 1);

  const struct {
    int64_t ms;
    int line;
  } cases[] = {
      {5000, 1},  {7499, 1},    {7500, 2},
      {9999, 2},  // the blank line after "line 2" shares its time: "line 2" stays lit
      {10000, 4}, {130000, 52}, {600000, 61},  // after the last line's time: the last line
      {0, 1},                                  // a seek back to the start
  };
  const int visible = gkText_GetVisibleLines(pane_);
  ASSERT_GT(visible, 3);
  ASSERT_LT(visible, 60);
  for (const auto& c : cases) {
    heardMs = c.ms;
    FollowLyricsArea();
    EXPECT_EQ(LitLine(), c.line) << "at " << c.ms << " ms";
    EXPECT_EQ(SungLine(pane_), c.line);
    // In view: a third of the way down once the text has scrolled that far.
    const int top = gkText_GetTopLine(pane_);
    EXPECT_GE(c.line, top);
    EXPECT_LT(c.line, top + visible);
  }

  // The timer follows the position by itself while the disc plays.
  heardMs = 12500;
  EXPECT_TRUE(QTest::qWaitFor([this] { return LitLine() == 5; }, 5000));

  // A section without time tags is shown as it is, nothing lit.
  SetLyricsText(CdPlayerPanel(), "Sunny Side Street\nla la\n");
  EXPECT_EQ(gkText_GetText(pane_), "Sunny Side Street\nla la\n");
  EXPECT_EQ(LitLine(), -1);
  EXPECT_EQ(SungLine(pane_), -1);
}

TEST_F(LyricsViewTest, AStoppedDiscLightsTheFirstLineAndAResizedPaneGetsItsHighlightBack) {
  player.cdState.store(CD_STOP);
  heardMs = 20000;  // what was heard before the stop does not count
  SetLyricsText(CdPlayerPanel(), SyncedSection(4));
  EXPECT_EQ(LitLine(), 1);
  player.cdState.store(CD_PAUSE);
  FollowLyricsArea();
  EXPECT_EQ(LitLine(), 5);
  // A new size resets the pane's highlight; the next step puts it back.
  pane_->resize(pane_->width(), pane_->height() - 38);
  FollowLyricsArea();
  EXPECT_EQ(LitLine(), 5);
}

// ---- CD+G ---------------------------------------------------------------------------------

class CdgViewTest : public LyricsViewTest {
 protected:
  void SetUp() override {
    LyricsViewTest::SetUp();
    // A white tile at pack 100, a red one at 200; the transparent colour is colour 3.
    CdgStreamWriter writer;
    writer.Put(0, CdgColoursPack(false, {0x013, 0xFFF, 0xF00, 0x0F0}));
    writer.Put(1, CdgMemoryPresetPack(0));
    writer.Put(2, CdgTransparentPack(3));
    std::array<uint8_t, kCdgTileHeight> bits;
    bits.fill(0x2A);
    writer.Put(3, CdgTilePack(2, 2, 3, 0, bits));
    writer.Put(100, CdgTilePack(5, 10, 0, 1, bits));
    writer.Put(200, CdgTilePack(6, 20, 0, 2, bits));
    packs_ = writer.Packs(900);
    player.currentTrack.store(0);
    SetCdgStreamTrack(0, true);
    CddaSubcodeSink* sink = cddaRing.subcodeSink.load();
    ASSERT_NE(sink, nullptr);
    // Delivered up to pack 651, a sub-block at a time.
    for (int64_t p = 0; p < 651; p += 7) {
      sink->Packs(packs_.data() + p * kPackBytes, 7, p, 150);
      sink->Played((p + 7) * kRingBytesPerPack, 150);
    }
  }
  // The view's pixels: black around the screen at `pack`, each device pixel the screen pixel
  // under it (the transparent colour black).
  void ExpectShows(CdgView* view, int64_t pack) {
    CdgScreen screen;
    RenderCdgAt(packs_.data(), 900, pack, &screen);
    const QImage expected = CdgScreenImage(screen);
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect r = view->ImageRect();
    ASSERT_LE(std::abs(r.width() * 2 - r.height() * 3), 2);  // 3:2 to the pixel
    ASSERT_TRUE(r.width() == view->width() || r.height() == view->height());
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        QRgb want = 0xFF000000u;
        if (r.contains(x, y)) {
          want = expected.pixel(CdgScreenPixelOf(x - r.x(), r.width(), kCdgVisibleWidth),
                                CdgScreenPixelOf(y - r.y(), r.height(), kCdgVisibleHeight));
          if (qAlpha(want) == 0) want = 0xFF000000u;
        }
        ASSERT_EQ(shown.pixel(x, y), want) << "pixel " << x << "," << y << " at pack " << pack;
      }
    }
  }
  std::vector<uint8_t> packs_;
};

TEST_F(CdgViewTest, TheGraphicsTakeThePlaceOfTheTextAtThePositionHeard) {
  player.cdState.store(CD_PLAY);
  heardMs = 500;  // pack 150: the white tile, not yet the red one
  FollowLyricsArea();
  CdgView* view = LyricsCdgView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  EXPECT_FALSE(pane_->isVisible());
  EXPECT_EQ(view->geometry(), pane_->geometry());
  EXPECT_EQ(view->ShownPack(), 150);
  ExpectShows(view, 150);
  // On to pack 210, and back to 30 (a seek back).
  heardMs = 700;
  FollowLyricsArea();
  ExpectShows(view, 210);
  heardMs = 200;
  FollowLyricsArea();
  ExpectShows(view, 60);
  // The timer follows the position by itself.
  heardMs = 2000;
  EXPECT_TRUE(QTest::qWaitFor([view] { return view->ShownPack() == 600; }, 5000));

  // A track without graphics: the text again. The microphone view keeps its place.
  player.currentTrack.store(1);
  FollowLyricsArea();
  EXPECT_FALSE(view->isVisible());
  EXPECT_TRUE(pane_->isVisible());
  player.currentTrack.store(0);
  FollowLyricsArea();
  EXPECT_TRUE(view->isVisible());
  ViewPanelStateManager(0);
  EXPECT_FALSE(view->isVisible());
  EXPECT_FALSE(pane_->isVisible());
  ViewPanelStateManager(1);
  EXPECT_TRUE(view->isVisible());
  EXPECT_FALSE(pane_->isVisible());
}

TEST_F(CdgViewTest, FullScreenShowsTheGraphicsOverTheWholeScreenUntilAClick) {
  settings.useFullScreen = 1;
  screenModes.fullScreenMode = true;
  screenModes.scaledFullScreen = true;
  player.cdState.store(CD_PAUSE);
  heardMs = 1000;
  FollowLyricsArea();
  CdgView* full = FullScreenCdgView();
  ASSERT_NE(full, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(full));
  EXPECT_EQ(full->geometry(), window_->screen()->geometry());
  ExpectShows(full, 300);
  // A key goes to the panel's keyboard map: Space plays.
  QTest::keyClick(full, Qt::Key_Space);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  // A click leaves full screen, and the graphics go with it.
  QTest::mouseClick(full, Qt::LeftButton);
  EXPECT_FALSE(screenModes.fullScreenMode);
  FollowLyricsArea();
  EXPECT_FALSE(full->isVisible());
}

}  // namespace
