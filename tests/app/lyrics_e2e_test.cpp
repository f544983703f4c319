// The real program under Xvfb with a script as its text editor: the lyrics tab and the edit
// button clicked with real X input open the first track's lyrics in the script, which rewrites
// them; the panel then shows the new lyrics (seen in screenshots) and the CD information file
// holds them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <fstream>

#include "cdinfo/info_file.h"
#include "resources/skin/skin_layout.h"
#include "settings/settings.h"
#include "tests/app/drive_program.h"
#include "tests/audio_io/audio_test_util.h"
#include "tests/support/scratch_folder.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr const char* kDemoInfoFile = "Sorn Karaoke Demo Disc 15005a03.txt";

QString ClickAt(int id, double fractionDown = 0.5) {
  const SkinRect r = FindSkinControl(id)->rect;
  return QString("click %1 %2").arg(r.x + r.width / 2).arg(r.y + int(r.height * fractionDown));
}

// Lines of lyrics text in the screenshot: runs of rows of the text pane holding the lyrics
// green (anti-aliased onto black, so any shade of it).
int LyricsLinesShown(const QImage& shot) {
  const SkinRect area = FindSkinControl(1210)->rect;
  int lines = 0;
  bool inLine = false;
  for (int y = area.y; y < area.y + area.height - 38; ++y) {
    int green = 0;
    for (int x = area.x; x < area.x + area.width; ++x) {
      const QRgb p = shot.pixel(x, y);
      green += qGreen(p) >= 128 && qBlue(p) < 40 && qRed(p) * 10 < qGreen(p) * 7;
    }
    const bool text = green >= 3;
    if (text && !inLine) ++lines;
    inLine = text;
  }
  return lines;
}

// The settings the program starts with: its folders in work, and the script as its editor.
void WriteSettings(const std::filesystem::path& work, const std::string& editor) {
  testutil::ScopedEnv config("SORN_CONFIG_DIR", (work / "config").string());
  const Settings kept = settings;
  settings = Settings{};
  SetDefaultServerList();
  settings.databasePath = (work / "data" / "sorn-karaoke" / "CD Data").string() + "/";
  std::filesystem::create_directories(settings.databasePath);
  settings.textEditor = editor;
  SaveSettings();
  settings = kept;
}

class LyricsEndToEnd : public ScratchFolderTest {};

TEST_F(LyricsEndToEnd, TheEditButtonOpensTheTracksLyricsAndThePanelShowsWhatTheEditorWrote) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  const std::string editor = (root_ / "editor").string();
  std::ofstream(editor) << "#!/bin/sh\ncp \"$1\" '" << (root_ / "opened.txt").string()
                        << "'\nprintf 'Edited by the script\\nA second edited line\\n' > \"$1\"\n";
  std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
  WriteSettings(root_, editor);

  const QStringList steps = {ClickAt(1166, 0.75),
                             "wait 1",
                             "shot before",
                             ClickAt(1309),
                             "waitlog FinishLyricsEdit: stored the lyrics of track 1",
                             "wait 1",
                             "shot after"};
  std::string log;
  ASSERT_EQ(DriveProgram(root_.string(), steps, &log), 0) << log;
  EXPECT_THAT(log, Not(HasSubstr("failed\n")));

  // The script was given the first track's lyrics.
  std::string demoLyrics;
  ASSERT_TRUE(TrackLyricsFromText(
      ReadWholeFile(std::filesystem::path(SORN_BUILD_DIR "/demo") / kDemoInfoFile), 0,
      &demoLyrics));
  EXPECT_EQ(ReadWholeFile(root_ / "opened.txt"), demoLyrics);

  // Four lines of lyrics before, the script's two after.
  const QImage before(QString::fromStdString((root_ / "before.png").string()));
  const QImage after(QString::fromStdString((root_ / "after.png").string()));
  ASSERT_FALSE(before.isNull());
  ASSERT_FALSE(after.isNull());
  EXPECT_EQ(LyricsLinesShown(before), 4);
  EXPECT_EQ(LyricsLinesShown(after), 2);

  // The information file holds them in the first track's section.
  const std::string file =
      ReadWholeFile(root_ / "data" / "sorn-karaoke" / "CD Data" / kDemoInfoFile);
  EXPECT_THAT(file, HasSubstr("****Lyrics for Track 1, Sunny Side Street:\nEdited by the "
                              "script\nA second edited line\n\n****Lyrics for Track 2,"));
}

}  // namespace
