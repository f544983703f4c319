// The real program under Xvfb playing the demo disc's first song, whose graphics are CD+G, with
// the lyrics view in front: screenshots taken while it plays show the cdg command's render of
// the position the listener heard at that moment, within a frame (1/75 s). The program traces
// each frame it paints (SORN_TRACE_CDG=1) with the position heard and the wall clock; the
// screenshot step notes the wall clock around each screenshot.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <map>
#include <set>
#include <sstream>

#include "app/cdg_view.h"
#include "cd/cdg_decoder.h"
#include "resources/skin/skin_layout.h"
#include "tests/app/drive_program.h"
#include "tests/support/scratch_folder.h"

namespace {

constexpr int64_t kFramePacks = 4;  // 1/75 s

struct Paint {
  int64_t pack = 0;
  int64_t heardMs = 0;
  int64_t us = 0;  // wall clock
  QRect image;     // on the screen
};

struct Shot {
  std::string name;
  int64_t before = 0;  // wall clock, microseconds
  int64_t after = 0;
};

std::vector<Paint> Paints(const std::string& log) {
  static const QRegularExpression line(
      "^CdgView: painted pack (\\d+) heard (-?\\d+) ms at (\\d+) us, image (\\d+),(\\d+) "
      "(\\d+)x(\\d+)$",
      QRegularExpression::MultilineOption);
  std::vector<Paint> paints;
  auto it = line.globalMatch(QString::fromStdString(log));
  while (it.hasNext()) {
    const auto m = it.next();
    paints.push_back({m.captured(1).toLongLong(), m.captured(2).toLongLong(),
                      m.captured(3).toLongLong(),
                      QRect(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                            m.captured(7).toInt())});
  }
  return paints;
}

std::vector<Shot> Shots(const std::string& text) {
  std::vector<Shot> shots;
  std::istringstream in(text);
  Shot s;
  while (in >> s.name >> s.before >> s.after) shots.push_back(s);
  return shots;
}

// The last paint before a moment.
const Paint* PaintBefore(const std::vector<Paint>& paints, int64_t us) {
  const Paint* last = nullptr;
  for (const Paint& p : paints)
    if (p.us < us) last = &p;
  return last;
}

// Whether the screenshot shows the render in the image's place: each screen pixel the render's
// pixel under it, the transparent colour black.
bool Shows(const QImage& shot, const QRect& image, const QImage& render) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      QRgb want = render.pixel(CdgScreenPixelOf(x, image.width(), kCdgVisibleWidth),
                               CdgScreenPixelOf(y, image.height(), kCdgVisibleHeight));
      if (qAlpha(want) == 0) want = 0xFF000000u;
      if ((shot.pixel(image.x() + x, image.y() + y) | 0xFF000000u) != want) return false;
    }
  }
  return true;
}

class CdgEndToEnd : public ScratchFolderTest {};

TEST_F(CdgEndToEnd, TheSongsGraphicsShowWhatTheListenerHearsWithinAFrame) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  const SkinRect tabs = FindSkinControl(1166)->rect;
  const SkinRect play = FindSkinControl(1007)->rect;
  QStringList steps = {
      QString("click %1 %2").arg(tabs.x + tabs.width / 2).arg(tabs.y + tabs.height * 3 / 4),
      "mark play",
      QString("click %1 %2").arg(play.x + play.width / 2).arg(play.y + play.height / 2)};
  const int kPlaying = 8;
  for (int i = 0; i < kPlaying; ++i)
    steps << QString("wait %1").arg(3.0 + 0.65 * i) << QString("shot playing-%1").arg(i);
  // Paused: the screen stays at the position heard last.
  steps << "key space" << QString("wait %1").arg(3.0 + 0.65 * kPlaying + 1.5) << "shot paused";
  std::string log;
  ASSERT_EQ(DriveProgram(root_.string(), steps, &log, {"SORN_TRACE_CDG=1"}), 0) << log;

  const std::vector<Paint> paints = Paints(log);
  const std::vector<Shot> shots = Shots(ReadWholeFile(root_ / "shots.txt"));
  ASSERT_EQ(shots.size(), static_cast<size_t>(kPlaying + 1)) << log;
  ASSERT_GT(paints.size(), 10u) << log;

  // For each screenshot: the packs of the frames painted around it, and while playing the
  // packs heard during it, a frame either side.
  std::vector<std::set<int64_t>> painted(shots.size()), heard(shots.size());
  std::set<int64_t> wanted;
  for (size_t i = 0; i < shots.size(); ++i) {
    const Paint* first = PaintBefore(paints, shots[i].before);
    const Paint* last = PaintBefore(paints, shots[i].after);
    ASSERT_NE(first, nullptr) << shots[i].name;
    for (const Paint* p = first; p <= last; ++p) painted[i].insert(p->pack);
    if (i < static_cast<size_t>(kPlaying)) {
      const int64_t from = first->heardMs + (shots[i].before - first->us) / 1000;
      const int64_t to = last->heardMs + (shots[i].after - last->us) / 1000;
      for (int64_t pack = from * 3 / 10 - kFramePacks; pack <= to * 3 / 10 + kFramePacks; ++pack)
        heard[i].insert(pack);
    }
    wanted.insert(painted[i].begin(), painted[i].end());
    wanted.insert(heard[i].begin(), heard[i].end());
  }

  // The cdg command's renders of those packs (each time in the middle of its pack).
  QStringList args = {"cdg",     SORN_BUILD_DIR "/demo/demo.cue",
                      "--track", "1",
                      "--out",   QString::fromStdString((root_ / "renders").string())};
  for (int64_t pack : wanted) args << "--at" << QString::number((pack + 0.5) / 300.0, 'f', 6);
  QProcess cdg;
  cdg.start(SORN_BUILD_DIR "/tools/sorn-karaoke-cli", args);
  ASSERT_TRUE(cdg.waitForFinished(120000));
  ASSERT_EQ(cdg.exitCode(), 0) << cdg.readAllStandardError().toStdString();
  const QStringList paths =
      QString::fromUtf8(cdg.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(static_cast<size_t>(paths.size()), wanted.size());
  std::map<int64_t, QImage> renders;
  auto path = paths.begin();
  for (int64_t pack : wanted) renders[pack] = QImage(*path++);

  std::set<QByteArray> screens;
  for (size_t i = 0; i < shots.size(); ++i) {
    const QImage shot(QString::fromStdString((root_ / (shots[i].name + ".png")).string()));
    ASSERT_FALSE(shot.isNull()) << shots[i].name;
    const QRect image = PaintBefore(paints, shots[i].before)->image;
    auto showsOneOf = [&](const std::set<int64_t>& packs) {
      for (int64_t pack : packs)
        if (Shows(shot, image, renders[pack])) return true;
      return false;
    };
    // What the program says it painted is what is on the screen...
    EXPECT_TRUE(showsOneOf(painted[i])) << shots[i].name;
    // ... and it is the graphics of the position heard at that moment.
    if (!heard[i].empty()) {
      EXPECT_TRUE(showsOneOf(heard[i])) << shots[i].name;
    }
    const QImage shown = shot.copy(image);
    screens.insert(
        QByteArray(reinterpret_cast<const char*>(shown.constBits()), shown.sizeInBytes()));
  }
  // The screen moved on with the song.
  EXPECT_GE(screens.size(), 4u);
}

}  // namespace
