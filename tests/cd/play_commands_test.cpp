// The command line's tracks and rip commands, and our rip against cd-paranoia's rip of the
// same image.
#include "tools/cli/play_commands.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>

#include "cd/demo_disc.h"
#include "cd/read_commands.h"
#include "cdinfo/disc_id.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/host_layer.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/outside_tool.h"
#include "tools/cli/cdg_command.h"
#include "tools/cli/render_command.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Runs a program and returns its exit status (-1 when it could not be run).
int RunProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class PlayCommands : public ::testing::Test {
 protected:
  void SetUp() override { UseScratchCdInfoFolder(dir_.path()); }
  void TearDown() override { SetLogFolderSource(nullptr); }

  int Run(int (*command)(const std::vector<std::string>&, std::string*, std::string*),
          std::vector<std::string> args) {
    out_.clear();
    err_.clear();
    return command(args, &out_, &err_);
  }

  ScratchDir dir_;
  std::string out_, err_;
};

TEST_F(PlayCommands, TracksListsStartsWithTheLeadInLengthsAndTypes) {
  const std::string cue =
      WriteDiscImage(dir_.path(), "mixed", {{1800}, {2250, false, 150}, {300, true}}, "DATA");
  ASSERT_EQ(Run(CommandTracks, {cue}), 0) << err_;
  EXPECT_EQ(out_,
            "1 00:02:00 00:24:00 audio\n"
            "2 00:26:00 00:30:00 audio\n"
            "3 00:56:00 00:04:00 data\n");
  EXPECT_EQ(Run(CommandTracks, {}), 2);
  EXPECT_EQ(Run(CommandTracks, {(dir_.path() / "none.cue").string()}), 2);
  EXPECT_NE(err_.find("cannot open the disc"), std::string::npos);
  EXPECT_EQ(err_.find('\n'), err_.size() - 1) << "one line";
}

TEST_F(PlayCommands, RipChecksItsArguments) {
  const std::string cue = WriteDiscImage(dir_.path(), "disc", {{150}, {75, true}}, "DATA");
  EXPECT_EQ(Run(CommandRip, {cue}), 2);
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "x"}), 2);
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "1", "--jitter-buffer", "4"}), 2);
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "3"}), 2);
  EXPECT_NE(err_.find("no track 3"), std::string::npos);
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "2"}), 1);
  EXPECT_NE(err_.find("data track"), std::string::npos);
  // The commands that play a track refuse the same tracks alike.
  const std::string out = (dir_.path() / "out").string();
  for (const char* track : {"3", "2"}) {
    const int status = track[0] == '3' ? 2 : 1;
    const std::string reason =
        track[0] == '3' ? ": the disc has no track 3\n" : ": track 2 is a data track\n";
    EXPECT_EQ(Run(CommandRender, {cue, "--track", track, "--out", out + ".wav"}), status);
    EXPECT_EQ(err_, "sorn-karaoke-cli render" + reason);
    EXPECT_EQ(Run(CommandCdg, {cue, "--track", track, "--at", "0.5", "--out", out}), status);
    EXPECT_EQ(err_, "sorn-karaoke-cli cdg" + reason);
  }
  EXPECT_FALSE(fs::exists(out + ".wav"));
  EXPECT_FALSE(fs::exists(out));
  // What is wrong is said: a missing folder is not a full disk.
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "1", "--out", "/nonexistent/dir/x.wav"}), 1);
  EXPECT_NE(err_.find("not ripped: the folder /nonexistent/dir: No such file or directory"),
            std::string::npos)
      << err_;
  // The image is never written over.
  const std::string bin = (dir_.path() / "disc.bin").string();
  const std::vector<uint8_t> image = ReadFileBytes(bin);
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "1", "--out", bin}), 2);
  EXPECT_EQ(err_, "sorn-karaoke-cli rip: the output " + bin + " is the input " + bin + "\n");
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "1", "--out", cue}), 2);
  EXPECT_TRUE(ReadFileBytes(bin) == image);
}

TEST_F(PlayCommands, ReadsThatFailMakeTheRipFail) {
  const std::string cue = WriteDiscImage(dir_.path(), "disc", {{150}, {100}});
  const fs::path out = dir_.path() / "x.wav";
  EXPECT_EQ(Run(CommandRip, {cue + ",read-error=0-149", "--track", "1", "--out", out.string()}), 1);
  EXPECT_NE(err_.find("track 1 was not ripped: 150 sectors could not be read\n"), std::string::npos)
      << err_;
  EXPECT_EQ(out_, "");
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(PlayCommands, AnImageShorterThanItsSheetIsRefusedAlike) {
  // The sheet's third track starts past the end of the data file: the track table cannot be
  // read, and every command that needs it says so.
  const std::string cue = WriteDiscImage(dir_.path(), "short", {{100}, {100}, {100}});
  fs::resize_file(dir_.path() / "short.bin", 150 * 2352);
  EXPECT_EQ(Run(CommandTracks, {cue}), 2);
  EXPECT_EQ(err_, "sorn-karaoke-cli tracks: the track table of " + cue + " cannot be read\n");
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Run(CommandRip, {cue, "--track", "1"}), 2);
  // The drive still reads the audio the image holds.
  std::string error;
  std::unique_ptr<CdDevice> drive = OpenCdDevice(cue, &error);
  ASSERT_TRUE(drive) << error;
  ScsiRequestBlock srb;
  std::vector<uint8_t> buffer(10 * 2352);
  srb.buffer = buffer.data();
  srb.bufferLength = static_cast<uint32_t>(buffer.size());
  srb.cdbLength = BuildReadCdb(3, 140, 10, 0, srb.cdb);
  EXPECT_EQ(drive->Execute(&srb), SS_COMP);
  EXPECT_EQ(buffer[0], PatternByte(140 * 2352));
}

TEST_F(PlayCommands, OurRipEqualsCdParanoiasRip) {
  const std::string cue = WriteDiscImage(dir_.path(), "disc", {{300}, {600}, {150}});
  const fs::path ours = dir_.path() / "ours.wav", theirs = dir_.path() / "theirs.wav";
  ASSERT_EQ(Run(CommandRip, {cue, "--track", "2", "--out", ours.string()}), 0) << err_;
  EXPECT_EQ(out_, ours.string() + "\n");
  EXPECT_NE(err_.find("ripped track 2: 1411244 bytes"), std::string::npos) << err_;
  SKIP_WITHOUT_TOOL("cd-paranoia", "cd-paranoia");
  ASSERT_EQ(RunProgram({"cd-paranoia", "-q", "-d", cue, "2", theirs.string()}), 0);
  const std::vector<uint8_t> a = ReadFileBytes(ours), b = ReadFileBytes(theirs);
  ASSERT_EQ(a.size(), 44u + 600 * 2352);
  EXPECT_TRUE(a == b);
}

TEST_F(PlayCommands, TheDemoDiscBringsItsTitlesAndLyrics) {
  const fs::path demo = dir_.path() / "demo";
  fs::create_directories(demo);
  const std::string cue = WriteDiscImage(demo, "demo", {{150}, {150}});
  setenv("SORN_DEMO_DISC", cue.c_str(), 1);
  struct Unset {
    ~Unset() { unsetenv("SORN_DEMO_DISC"); }
  } unset;
  // What the build writes beside the image, under the image's disc id.
  const uint32_t positions[2] = {cdinfo::PackMsf(0, 2, 0), cdinfo::PackMsf(0, 4, 0)};
  const uint32_t lengths[2] = {cdinfo::PackMsf(0, 2, 0), cdinfo::PackMsf(0, 2, 0)};
  char discId[kDiscIdChars + 1];
  ComputeDiscId(2, positions, lengths, discId);
  const std::string id = discId;
  {
    std::ofstream(demo / ("Demo " + id + ".txt"))
        << "CD Title: Demo\nArtist: Band\n\nTrack 1: First / Song\nTrack 2: Second\n";
  }
  // A rip without a file of its own is named after the installed titles.
  ASSERT_EQ(Run(CommandRip, {cue, "--track", "1"}), 0) << err_;
  EXPECT_EQ(out_, settings.databasePath + "First  Song.WAV\n");
  EXPECT_TRUE(fs::exists(settings.databasePath + "Demo " + id + ".txt"));

  // A file the user already has is kept.
  std::ofstream(demo / ("Other " + id + ".txt")) << "CD Title: Other\n";
  fs::remove(settings.databasePath + "Demo " + id + ".txt");
  std::ofstream(settings.databasePath + "Mine " + id + ".txt") << "CD Title: Mine\n";
  EXPECT_EQ(InstallDemoDiscInfo(id), 0);
  EXPECT_FALSE(fs::exists(settings.databasePath + "Demo " + id + ".txt"));
  EXPECT_EQ(InstallDemoDiscInfo("12345678"), 0) << "not the demo disc";
}

}  // namespace
