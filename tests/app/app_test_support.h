// Shared pieces of the application tests: a box recorder and the log in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

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
    SetMessageBoxPresenter(nullptr);
    SetLogFolderSource(nullptr);
    ScratchFolderTest::TearDown();
  }
  std::string Log() const { return ReadWholeFile(root_ / kLogFileName); }

  BoxRecorder boxes_;
};
