#include "diagnostics/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "tests/support/scratch_folder.h"
#include "tests/support/trace_capture.h"

namespace fs = std::filesystem;

namespace {

class ScratchFolder : public ScratchFolderTest {
 protected:
  void TearDown() override {
    SetLogFolderSource(nullptr);
    ScratchFolderTest::TearDown();
  }
};

struct RecordedBox {
  void* owner;
  std::string caption, text;
  unsigned flags;
};

class RecordingPresenter : public MessageBoxPresenter {
 public:
  int Show(void* owner, const std::string& caption, const std::string& text,
           unsigned flags) override {
    boxes.push_back({owner, caption, text, flags});
    return kIdOk;
  }
  std::vector<RecordedBox> boxes;
};

}  // namespace

using LogFile = ScratchFolder;

TEST_F(LogFile, AppendsTextsUnchangedWithoutAddingNewlines) {
  const std::string folder = root_.string() + "/";
  SetLogFolderSource([folder] { return folder; });
  WriteToLogFile("first ");
  WriteToLogFile("line\n");
  LogPrintf("%d Mhz %s\n", 733, "Pentium III");
  EXPECT_EQ(ReadWholeFile(root_ / "SornLog.txt"), "first line\n733 Mhz Pentium III\n");
}

TEST_F(LogFile, MissingFolderTracesAndDropsTheText) {
  const std::string folder = (root_ / "gone").string() + "/";
  SetLogFolderSource([folder] { return folder; });
  TraceCapture trace;
  WriteToLogFile("lost\n");
  EXPECT_EQ(trace.Text(), "WriteToLogFile: didnt open log file.\n");
  EXPECT_FALSE(fs::exists(root_ / "gone"));
}

TEST_F(LogFile, EmptyFolderMeansTheCurrentDirectory) {
  SetLogFolderSource([] { return std::string(); });
  EXPECT_EQ(LogFilePath(), "SornLog.txt");
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  WriteToLogFile("here\n");
  fs::current_path(before);
  EXPECT_EQ(ReadWholeFile(root_ / "SornLog.txt"), "here\n");
}

TEST(NameTables, WaitResultsAndShowCommands) {
  EXPECT_STREQ(WaitResultName(-1), "WAIT_FAILED");
  EXPECT_STREQ(WaitResultName(0), "WAIT_OBJECT_0");
  EXPECT_STREQ(WaitResultName(128), "WAIT_ABANDONED");
  EXPECT_STREQ(WaitResultName(258), "WAIT_TIMEOUT");
  EXPECT_STREQ(WaitResultName(1), "Bogus");
  EXPECT_STREQ(ShowCommandName(0), "SW_HIDE");
  EXPECT_STREQ(ShowCommandName(9), "SW_RESTORE");
  EXPECT_STREQ(ShowCommandName(10), "SW_SHOWDEFAULT");
  EXPECT_STREQ(ShowCommandName(11), "Bogus");
  EXPECT_STREQ(ShowCommandName(-1), "Bogus");
}

TEST(MessageBoxes, CaptionsFlagsAndResourceTexts) {
  RecordingPresenter presenter;
  SetMessageBoxPresenter(&presenter);
  SetStringTable([](int id) { return id == 7 ? std::string(150, 'x') : std::string(); });
  int owner = 0;
  ErrorBox(&owner, kMbOk | kMbIconHand, "InitSound failed with %d", 4);
  WarningBox(nullptr, "No CD In Drive");
  WarningBoxResource(nullptr, 7);
  SetMessageBoxPresenter(nullptr);
  SetStringTable(nullptr);

  ASSERT_EQ(presenter.boxes.size(), 3u);
  EXPECT_EQ(presenter.boxes[0].owner, &owner);
  EXPECT_EQ(presenter.boxes[0].caption, "KARAOKE");
  EXPECT_EQ(presenter.boxes[0].text, "InitSound failed with 4");
  EXPECT_EQ(presenter.boxes[0].flags, unsigned{kMbOk | kMbIconHand});
  EXPECT_EQ(presenter.boxes[1].flags, unsigned{kMbIconExclamation | kMbOk});
  EXPECT_EQ(presenter.boxes[2].text, std::string(100, 'x'));  // at most 100 characters
}

TEST(MessageBoxes, WithoutAPresenterTheyAreTracedAndAnswered) {
  TraceCapture trace;
  EXPECT_EQ(ShowMessageBox(nullptr, "KARAOKE", "Play?", kMbYesNo), kIdYes);
  EXPECT_EQ(WarningBox(nullptr, "careful"), kIdOk);
  EXPECT_EQ(trace.Text(), "KARAOKE: Play?\nKARAOKE: careful\n");
}

TEST(MciErrors, TraceAlwaysAndBoxOnlyWithAnOwner) {
  RecordingPresenter presenter;
  SetMessageBoxPresenter(&presenter);
  SetMciErrorTextSource(
      [](int code) { return "The device is not ready (" + std::to_string(code) + ")"; });
  TraceCapture trace;
  ReportMciError(nullptr, 0, "CdTimerHandler", "MCI_STATUS");
  int window = 0;
  ReportMciError(&window, 276, "CdPlayPause", "MCI_PLAY");
  SetMessageBoxPresenter(nullptr);
  SetMciErrorTextSource(nullptr);

  EXPECT_EQ(trace.Text(),
            "CdTimerHandler:  mciSendCommand(MCI_STATUS) mciErr=0 failed:'No Error'\n\n"
            "CdPlayPause:  mciSendCommand(MCI_PLAY) mciErr=276 failed:'The device is not ready "
            "(276)'\n\n");
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].caption, "CDROM Drive Error");
  EXPECT_EQ(presenter.boxes[0].text,
            "Error in CDROM drive: driver says:\nThe device is not ready (276)");
  EXPECT_EQ(presenter.boxes[0].flags, unsigned{kMbOk | kMbIconExclamation | kMbSystemModal});
}

TEST_F(ScratchFolder, FloatTableDumpAndItsFailure) {
  const float values[] = {0.5f, -2.0f, 1e-7f};
  const std::string path = (root_ / "table.txt").string();
  EXPECT_EQ(DumpFloatTable(path.c_str(), values, 3, 10), 1);
  EXPECT_EQ(ReadWholeFile(path), "10, 0.5\n11, -2\n12, 1e-07\n");

  TraceCapture trace;
  const std::string bad = (root_ / "no" / "table.txt").string();
  EXPECT_EQ(DumpFloatTable(bad.c_str(), values, 3, 0), 0);
  EXPECT_EQ(trace.Text(), "failed to open '" + bad + "' for writing\n");
}

TEST(GeometryTraces, RectPlacementAndFont) {
  TraceCapture trace;
  PrintRect(10, 20, 110, 70, "panel");
  PrintRect(0, 0, 5, 5, nullptr);
  PrintPlacement(3, 4, 640, 480, "main");
  LogFont font;
  font.height = -11;
  font.faceName = "Tahoma";
  PrintLogFont(font);
  const std::string text = trace.Text();
  EXPECT_EQ(text.substr(0, text.find("PrintLogFont")),
            "l=  10, r= 110, t=  20, b=  70, w= 100, h=  50 panel\n"
            "l=   0, r=   5, t=   0, b=   5, w=   5, h=   5\n"
            "x=   3 y=   4 w= 640 h= 480 'main'\n");
  EXPECT_NE(text.find("PrintLogFont: Height=-11 Width=0 Escapement=0\n"), std::string::npos);
  EXPECT_NE(text.find("    PitchAndFamily=0 FaceName='Tahoma'\n"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 5);
}

TEST(Trace, LongLinesAreKeptWhole) {
  TraceCapture trace;
  const std::string longText(3000, 'a');
  Trace("%s: %s\n", "Func", longText.c_str());
  EXPECT_EQ(trace.Text(), "Func: " + longText + "\n");
}
