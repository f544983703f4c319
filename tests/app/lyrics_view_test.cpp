// What the lyrics area shows while a song plays, on the panel built as start-up builds it, with
// the position the listener hears handed in: the sung line of time-synced lyrics highlighted
// (checked in the pane's pixels), the CD+G screen in place of the text for a track that has
// it and over the whole screen in full screen (checked pixel by pixel against the decoder's
// screen at that position), and the Internet menu's lyrics commands with the "Select Song"
// dialog against an LRCLIB server on 127.0.0.1.
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

// ---- The Internet menu's lyrics commands ------------------------------------------------

std::string JsonAnswer(int status, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

std::string LrclibRecord(int id, const std::string& title, const std::string& synced) {
  return "{\"id\":" + std::to_string(id) + ",\"trackName\":\"" + title +
         "\",\"artistName\":\"Ann\",\"albumName\":\"Rainy Days\",\"duration\":24,"
         "\"instrumental\":false,\"plainLyrics\":\"la\",\"syncedLyrics\":\"" +
         synced + "\"}";
}

class LyricsCommandsTest : public LyricsViewTest {
 protected:
  void SetUp() override {
    LyricsViewTest::SetUp();
    SetWindowPoster([](std::function<void()> call) {
      QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call),
                                Qt::QueuedConnection);
    });
    {
      std::lock_guard<std::mutex> guard(cdInfo.lock);
      cdTitles.albumTitle = "Rainy Days";
      cdTitles.albumArtist = "Ann";
      for (int i = 0; i <= player.lastTrack.load(); ++i)
        cdTitles.tracks[i].title = i == 0 ? "One" : i == 1 ? "Two" : "Three";
    }
    ASSERT_EQ(WriteCdInfoFile(CurrentInfoFile()), 1);
    server_ = std::make_unique<TestHttpServer>([this](const std::string& request) {
      return ServerReply{Answer(request.substr(0, request.find('\r')))};
    });
    settings.lyricsService = "lrclib";
    settings.lyricsUrl = "http://" + server_->HostPort();
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForLookupWorkers(10000));
    server_.reset();
    SetWindowPoster(nullptr);
    LyricsViewTest::TearDown();
  }
  // "One" and "Two" are found by their names; "Three" only by a search, as song 8.
  std::string Answer(const std::string& line) {
    if (release_.valid()) release_.wait();
    if (line.find("/api/get?") != std::string::npos &&
        line.find("track_name=One&") != std::string::npos)
      return JsonAnswer(200, LrclibRecord(1, "One", "[00:01.00] one sung\\n[00:03.00] one more"));
    if (line.find("/api/get?") != std::string::npos &&
        line.find("track_name=Two&") != std::string::npos)
      return JsonAnswer(200, LrclibRecord(2, "Two", "[00:02.00] two sung"));
    if (line.find("/api/search?") != std::string::npos)
      return JsonAnswer(200, "[" + LrclibRecord(7, "Three", "") + "," +
                                 LrclibRecord(8, "Three Again", "[00:04.00] three sung") + "]");
    if (line.find("/api/get/8 ") != std::string::npos)
      return JsonAnswer(200, LrclibRecord(8, "Three Again", "[00:04.00] three sung"));
    return JsonAnswer(404, "{\"code\":404}");
  }
  std::string Section(int track) {
    std::string text = ReadWholeFile(CurrentInfoFile());
    const std::string heading = "****Lyrics for Track " + std::to_string(track + 1);
    const size_t at = text.find(heading);
    const size_t next = text.find("****Lyrics for Track", at + heading.size());
    return at == std::string::npos ? "" : text.substr(at, next - at);
  }
  // Runs the command and handles the window's events until its worker has ended.
  void RunCommand(int id) {
    AppCommand(window_.get(), id, nullptr, 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return !LookupWorkerBusy(); }, 20000));
    QCoreApplication::processEvents();
  }

  std::unique_ptr<TestHttpServer> server_;
  std::shared_future<void> release_;
};

TEST_F(LyricsCommandsTest, EveryTrackKeepsWrittenLyricsTheCurrentOneIsReplacedTheChoiceIsAsked) {
  ASSERT_GE(player.lastTrack.load(), 2);
  ASSERT_EQ(ReplaceLyricsSection(nullptr, 1, "****Lyrics for Track 2, Two:\nmy own words\n"), 1);
  // The "Select Song" dialog: its texts, its lines with "None of the above" last and the first
  // selected; the test takes the second song.
  QStringList seen;
  QTimer picker;
  picker.setInterval(5);
  QObject::connect(&picker, &QTimer::timeout, [&seen] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (!dialog || !dialog->isVisible() || dialog->objectName() != "SelectSong") continue;
      seen << dialog->windowTitle();
      for (QLabel* label : dialog->findChildren<QLabel*>()) seen << label->text();
      auto* list = dialog->findChild<QListWidget*>();
      seen << QString::number(list->currentRow());
      for (int i = 0; i < list->count(); ++i) seen << list->item(i)->text();
      list->setCurrentRow(1);
      dialog->accept();
    }
  });
  picker.start();

  RunCommand(kCmdGetLyrics);
  EXPECT_EQ(seen, QStringList({"Select Song", "Please select the correct song below:",
                               "Format is:     Song Title  /  Album  /  Artist", "0",
                               "Three  /  Rainy Days  /  Ann", "Three Again  /  Rainy Days  /  Ann",
                               "None of the above"}));
  EXPECT_NE(Section(0).find("[00:01.00] one sung"), std::string::npos) << Section(0);
  EXPECT_NE(Section(1).find("my own words"), std::string::npos) << Section(1);
  EXPECT_NE(Section(2).find("[00:04.00] three sung"), std::string::npos) << Section(2);
  // The current track's lyrics are shown synced: no tags, the line being sung lit.
  EXPECT_FALSE(gkText_GetText(pane_).contains("[00:"));
  EXPECT_EQ(gkText_GetText(pane_), "one sung\none more");
  EXPECT_EQ(LitLine(), 0);

  // The current track only: its written lyrics are replaced.
  player.currentTrack.store(1);
  RunCommand(kCmdGetTrackLyrics);
  EXPECT_EQ(Section(1).find("my own words"), std::string::npos) << Section(1);
  EXPECT_NE(Section(1).find("[00:02.00] two sung"), std::string::npos) << Section(1);
}

TEST_F(LyricsCommandsTest, TheLyricsCommandsAreGreyedOutWhileALookupRuns) {
  QMenu* menu = gkMenuPopUp_GetMenu(Item(kIdPopupInternet));
  ASSERT_NE(menu, nullptr);
  auto enabled = [menu](int id) {
    for (QAction* action : menu->actions())
      if (GkActionCommand(action) == id) return action->isEnabled() ? 1 : 0;
    return -1;
  };
  std::promise<void> release;
  release_ = release.get_future().share();
  AppCommand(window_.get(), kCmdGetTrackLyrics, nullptr, 0);
  ASSERT_TRUE(LookupWorkerBusy());
  emit menu->aboutToShow();
  EXPECT_EQ(enabled(kCmdGetLyrics), 0);
  EXPECT_EQ(enabled(kCmdGetTrackLyrics), 0);
  EXPECT_EQ(enabled(kCmdGetCdInfo), 1);
  release.set_value();
  EXPECT_TRUE(QTest::qWaitFor([] { return !LookupWorkerBusy(); }, 20000));
  emit menu->aboutToShow();
  EXPECT_EQ(enabled(kCmdGetLyrics), 1);
  EXPECT_EQ(enabled(kCmdGetTrackLyrics), 1);
}

}  // namespace
