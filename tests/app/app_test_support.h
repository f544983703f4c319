// Shared pieces of the application tests: a box recorder and the log in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "tests/support/scratch_folder.h"

class BoxRecorder : public MessageBoxPresenter {
 public:
  int Show(void*, const std::string& caption, const std::string& text, unsigned flags) override {
    std::lock_guard<std::mutex> guard(lock_);
    boxes.push_back(caption + "|" + text);
    lastFlags = flags;
    return answer;
  }
  std::vector<std::string> boxes;
  unsigned lastFlags = 0;
  int answer = kIdOk;

 private:
  std::mutex lock_;
};

// A scratch folder holding the log; boxes go to a recorder.
class AppTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    SetLogFolderSource([this] { return root_.string() + "/"; });
    SetMessageBoxPresenter(&boxes_);
  }
  void TearDown() override {
    SetMessageBoxPresenter(nullptr);
    SetLogFolderSource(nullptr);
    ScratchFolderTest::TearDown();
  }
  std::string Log() const { return ReadWholeFile(root_ / kLogFileName); }

  BoxRecorder boxes_;
};
