// Output files: complete or absent, never written over a device, two writers never share a
// temporary file.
#include "platform/files/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

class OutputFileTest : public ScratchFolderTest {
 protected:
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(OutputFileTest, TheDestinationIsTheOldFileOrTheWholeNewOne) {
  const std::string path = (root_ / "take.wav").string();
  std::ofstream(path) << "old";
  ::chmod(path.c_str(), 0640);

  OutputFile first, second;
  ASSERT_TRUE(first.Create(path));
  ASSERT_TRUE(second.Create(path)) << "a second writer gets a file of its own";
  EXPECT_NE(first.TemporaryPath(), second.TemporaryPath());
  EXPECT_EQ(fs::path(first.TemporaryPath()).parent_path(), root_) << "beside the destination";
  ASSERT_TRUE(first.Write("new ", 4) && first.Write("text", 4));
  ASSERT_TRUE(first.WriteAt(0, "N", 1));
  EXPECT_EQ(ReadWholeFile(path), "old") << "nothing changes before the commit";
  ASSERT_TRUE(first.Commit());
  EXPECT_EQ(ReadWholeFile(path), "New text");
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "a replaced file keeps its permissions";

  // A writer that fails or is abandoned leaves the destination as it was.
  second.NoteFailure("the disk is full");
  EXPECT_FALSE(second.Commit());
  EXPECT_EQ(second.Error(), "the disk is full");
  {
    OutputFile dropped;
    ASSERT_TRUE(dropped.Create(path));
    dropped.Write("lost", 4);
  }
  EXPECT_EQ(ReadWholeFile(path), "New text");
  EXPECT_EQ(Names(), std::vector<std::string>{"take.wav"}) << "no temporary file is left";

  std::string error;
  EXPECT_TRUE(WriteFileAtomically(path, "whole", &error)) << error;
  EXPECT_EQ(ReadWholeFile(path), "whole");
  EXPECT_TRUE(SameExistingFile(path, (root_ / "." / "take.wav").string()));
  EXPECT_FALSE(SameExistingFile(path, (root_ / "other.wav").string()));
}

TEST_F(OutputFileTest, WhatCannotBeWrittenIsRefusedAtTheStart) {
  std::string error;
  EXPECT_FALSE(CheckOutputPath("/dev/full", &error)) << "a device is never replaced";
  EXPECT_EQ(error, "cannot write /dev/full: not a regular file");
  EXPECT_FALSE(CheckOutputPath(root_.string(), &error));
  EXPECT_FALSE(CheckOutputPath((root_ / "missing" / "x.wav").string(), &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  // A name the file system refuses fails now, not at the rename after all the writing; the
  // longest name it takes still works although the temporary name adds to it.
  EXPECT_FALSE(CheckOutputPath((root_ / std::string(256, 'n')).string(), &error));
  EXPECT_NE(error.find("File name too long"), std::string::npos) << error;
  EXPECT_TRUE(WriteFileAtomically((root_ / std::string(255, 'n')).string(), "x", &error)) << error;
  EXPECT_TRUE(CheckOutputPath((root_ / "fine.wav").string(), &error));
  EXPECT_EQ(Names(), std::vector<std::string>{std::string(255, 'n')});
}

}  // namespace
