#include "diagnostics/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"
#include "tests/support/thread_state.h"
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

TEST(NameTables, WaitResults) {
  EXPECT_STREQ(WaitResultName(-1), "WAIT_FAILED");
  EXPECT_STREQ(WaitResultName(0), "WAIT_OBJECT_0");
  EXPECT_STREQ(WaitResultName(128), "WAIT_ABANDONED");
  EXPECT_STREQ(WaitResultName(258), "WAIT_TIMEOUT");
  EXPECT_STREQ(WaitResultName(1), "Bogus");
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

TEST(Trace, LongLinesAreKeptWhole) {
  TraceCapture trace;
  const std::string longText(3000, 'a');
  Trace("%s: %s\n", "Func", longText.c_str());
  EXPECT_EQ(trace.Text(), "Func: " + longText + "\n");
}

// A capture that goes away while another thread traces: removing the sink waits until the
// call in progress has returned, so the sink is never called once it is gone.
TEST(Trace, RemovingTheSinkWaitsForACallInProgress) {
  std::mutex gate;
  std::unique_lock<std::mutex> hold(gate);
  std::atomic<bool> inSink{false}, removed{false};
  SetTraceSink([&](const std::string&) {
    inSink = true;
    std::lock_guard<std::mutex> wait(gate);
  });
  std::thread tracer([] { Trace("from another thread\n"); });
  while (!inSink.load()) std::this_thread::yield();
  bool asleep = false;
  std::thread remove = StartAndWaitUntilAsleep(
      [&] {
        SetTraceSink(nullptr);
        removed = true;
      },
      &asleep);
  EXPECT_TRUE(asleep);
  EXPECT_FALSE(removed.load());
  hold.unlock();
  tracer.join();
  remove.join();
  EXPECT_TRUE(removed.load());
}
