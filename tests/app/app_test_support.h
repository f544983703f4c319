// Shared pieces of the application tests: a box recorder and the log in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "tests/support/box_recorder.h"
#include "tests/support/scratch_folder.h"

// A scratch folder holding the log; boxes go to a recorder.
class AppTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    SetLogFolderSource([this] { return root_.string() + "/"; });
    SetMessageBoxPresenter(&boxes_);
  }
  void TearDown() override {
    if (!savedPath_.empty()) setenv("PATH", savedPath_.c_str(), 1);
    SetMessageBoxPresenter(nullptr);
    SetLogFolderSource(nullptr);
    ScratchFolderTest::TearDown();
  }
  std::string Log() const { return ReadWholeFile(root_ / kLogFileName); }
  // Waits (at most 10 s, handling events) until the check holds.
  template <typename Check>
  static bool Eventually(Check check) {
    for (int i = 0; i < 1000 && !check(); ++i) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return check();
  }
  // An executable script in the scratch folder, found first on PATH.
  std::string Script(const std::string& name, const std::string& body) {
    if (savedPath_.empty()) savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin";
    const std::string path = (root_ / name).string();
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    setenv("PATH", (root_.string() + ":" + savedPath_).c_str(), 1);
    return path;
  }

  BoxRecorder boxes_;
  std::string savedPath_;
};

class MainWindow;
class QWidget;

// The main window with its panel built as start-up builds it, on the demo disc (scanned and
// stopped); the stream is replaced by a recorder of the CDDA commands.
class PanelWindowTest : public AppTest {
 protected:
  PanelWindowTest();
  ~PanelWindowTest() override;
  void SetUp() override;
  void TearDown() override;
  QWidget* Item(int id);

  std::unique_ptr<MainWindow> window_;
  std::vector<int> commands_;
  int64_t now_ = 100000;
};
