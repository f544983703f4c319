// The real program under Xvfb playing the demo disc's first song, whose graphics are CD+G, with
// the lyrics view in front: each screenshot shows the cdg command's render of a pack the
// program traced as painted around it (SORN_TRACE_CDG=1), and while playing one heard during
// the screenshot within a frame (1/75 s); the screenshot step notes the wall clock around it.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "app/cdg_view.h"
#include "cd/cdg_decoder.h"
#include "resources/skin/skin_layout.h"
#include "tests/app/drive_program.h"
#include "tests/support/scratch_folder.h"

namespace {

struct Paint {
  long long pack, heardMs, us;  // us: the wall clock
  QRect image;                  // on the screen
};

std::vector<Paint> Paints(const std::string& log) {
  std::vector<Paint> paints;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    Paint p{};
    int x, y, w, h;
    if (std::sscanf(line.c_str(),
                    "CdgView: painted pack %lld heard %lld ms at %lld us, image %d,%d %dx%d",
                    &p.pack, &p.heardMs, &p.us, &x, &y, &w, &h) == 7) {
      p.image = QRect(x, y, w, h);
      paints.push_back(p);
    }
  }
  return paints;
}

// The index of the last paint before a moment (-1: none).
int PaintBefore(const std::vector<Paint>& paints, long long us) {
  int last = -1;
  for (size_t i = 0; i < paints.size() && paints[i].us < us; ++i) last = static_cast<int>(i);
  return last;
}

// The screenshot shows the render in the image's place: each screen pixel the render's pixel
// under it, the transparent colour black.
bool Shows(const QImage& shot, const QRect& image, const QImage& render) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb want = render.pixel(CdgScreenPixelOf(x, image.width(), kCdgVisibleWidth),
                                     CdgScreenPixelOf(y, image.height(), kCdgVisibleHeight));
      if ((shot.pixel(image.x() + x, image.y() + y) | 0xFF000000u) !=
          (qAlpha(want) ? want : 0xFF000000u))
        return false;
    }
  }
  return true;
}

class CdgEndToEnd : public ScratchFolderTest {};

TEST_F(CdgEndToEnd, TheSongsGraphicsShowWhatTheListenerHearsWithinAFrame) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  const SkinRect tabs = FindSkinControl(1166)->rect, play = FindSkinControl(1007)->rect;
  QStringList steps = {
      QString("click %1 %2").arg(tabs.x + tabs.width / 2).arg(tabs.y + tabs.height * 3 / 4),
      "mark play",
      QString("click %1 %2").arg(play.x + play.width / 2).arg(play.y + play.height / 2)};
  const int kPlaying = 8;
  for (int i = 0; i < kPlaying; ++i)
    steps << QString("wait %1").arg(3.0 + 0.65 * i) << QString("shot %1").arg(i);
  // Paused: the screen of the position heard last stays.
  steps << "key space" << QString("wait %1").arg(3.0 + 0.65 * kPlaying + 1.5) << "shot paused";
  std::string log;
  ASSERT_EQ(DriveProgram(root_.string(), steps, &log, {"SORN_TRACE_CDG=1"}), 0) << log;
  const std::vector<Paint> paints = Paints(log);

  // Per screenshot: the packs painted around it, and while playing the packs heard during it
  // (from the last paint's position heard and the clock), a frame either side.
  std::istringstream shotsFile(ReadWholeFile(root_ / "shots.txt"));
  std::vector<std::string> names;
  std::vector<QRect> images;
  std::vector<std::set<long long>> painted, heard;
  std::set<long long> wanted;
  std::string name;
  for (long long before, after; shotsFile >> name >> before >> after;) {
    const int first = PaintBefore(paints, before), last = PaintBefore(paints, after);
    ASSERT_GE(first, 0) << name << "\n" << log;
    names.push_back(name);
    images.push_back(paints[first].image);
    painted.emplace_back();
    heard.emplace_back();
    for (int k = first; k <= last; ++k) painted.back().insert(paints[k].pack);
    if (name != "paused") {
      const long long from = paints[first].heardMs + (before - paints[first].us) / 1000;
      const long long to = paints[last].heardMs + (after - paints[last].us) / 1000;
      for (long long pack = from * 3 / 10 - 4; pack <= to * 3 / 10 + 4; ++pack)
        heard.back().insert(pack);
    }
    wanted.insert(painted.back().begin(), painted.back().end());
    wanted.insert(heard.back().begin(), heard.back().end());
  }
  ASSERT_EQ(names.size(), static_cast<size_t>(kPlaying + 1)) << log;

  // The cdg command's renders of those packs (at the middle of each).
  QStringList args = {"cdg",     SORN_BUILD_DIR "/demo/demo.cue",
                      "--track", "1",
                      "--out",   QString::fromStdString((root_ / "renders").string())};
  for (long long pack : wanted) args << "--at" << QString::number((pack + 0.5) / 300.0, 'f', 6);
  QProcess cdg;
  cdg.start(SORN_BUILD_DIR "/tools/sorn-karaoke-cli", args);
  ASSERT_TRUE(cdg.waitForFinished(120000));
  ASSERT_EQ(cdg.exitCode(), 0) << cdg.readAllStandardError().toStdString();
  const QStringList paths =
      QString::fromUtf8(cdg.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(static_cast<size_t>(paths.size()), wanted.size());
  std::map<long long, QImage> renders;
  int next = 0;
  for (long long pack : wanted) renders[pack] = QImage(paths[next++]);

  std::set<QByteArray> screens;
  for (size_t i = 0; i < names.size(); ++i) {
    const QImage shot(QString::fromStdString((root_ / (names[i] + ".png")).string()));
    ASSERT_FALSE(shot.isNull()) << names[i];
    auto showsOneOf = [&](const std::set<long long>& packs) {
      for (long long pack : packs)
        if (Shows(shot, images[i], renders[pack])) return true;
      return packs.empty();
    };
    EXPECT_TRUE(showsOneOf(painted[i])) << names[i];
    EXPECT_TRUE(showsOneOf(heard[i])) << names[i];
    const QImage shown = shot.copy(images[i]);
    screens.insert(
        QByteArray(reinterpret_cast<const char*>(shown.constBits()), shown.sizeInBytes()));
  }
  EXPECT_GE(screens.size(), 4u);  // the screen moved on with the song
}

}  // namespace
