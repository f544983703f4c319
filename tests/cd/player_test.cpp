// The CD player on image drives, driven through its timer handler and transport commands. A
// small stand-in for the reader answers the stream commands the way the reader does.
#include "cd/player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/image_drive.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/trace_capture.h"

namespace {

class RecordingDisplay : public CdPlayerDisplay {
 public:
  void SetTitleLine(const std::string& a, const std::string& b) override {
    album = a;
    artist = b;
  }
  void SetStatusLine(const std::string& text) override {
    status = text;
    statusHistory.push_back(text);
  }
  void SetArtistLine(const std::string& text) override { artistLine = text; }
  void ClearTrackList() override { lines.clear(); }
  void AddTrackLine(int track, const std::string& text) override { lines[track] = text; }
  void SetTrackLine(int track, const std::string& text) override { lines[track] = text; }
  void SelectTrack(int track) override { selected = track; }
  void SetPlayButtonActive(bool active) override { playActive = active; }
  void ShowPosition(int seconds, int trackSeconds) override { position = {seconds, trackSeconds}; }
  void SetBlinkText(const std::string& text) override { blinks.push_back(text); }
  void ShowTrackLyrics(int track) override { lyricsTrack = track; }
  void ClearLyrics() override { ++lyricsCleared; }
  void MarkUnknownCd() override { unknownCd = true; }
  void KeyboardSeekReleased() override { ++keyboardReleases; }
  bool Showed(const std::string& text) const {
    return std::find(statusHistory.begin(), statusHistory.end(), text) != statusHistory.end();
  }

  std::string album, artist, status, artistLine;
  std::vector<std::string> statusHistory, blinks;
  std::map<int, std::string> lines;
  int selected = -1;
  bool playActive = false;
  std::pair<int, int> position{-1, -1};
  int lyricsTrack = -1;
  int lyricsCleared = 0;
  bool unknownCd = false;
  int keyboardReleases = 0;
};

// Stands in for the information file reader: every track gets "Song N".
class TitleHooks : public CdDiscHooks {
 public:
  void ComputeDiscIdentity(void*) override { ++identities; }
  void LoadCdInformation(void* window) override {
    {
      std::lock_guard<std::mutex> guard(cdInfo.lock);
      cdTitles.albumTitle = album;
      cdTitles.albumArtist = albumArtist;
      for (int i = 0; i < kMaxTracks; ++i) {
        cdTitles.tracks[i].title = "Song " + std::to_string(i + 1);
        cdTitles.tracks[i].artist = trackArtists ? "Singer " + std::to_string(i + 1) : "";
      }
    }
    CdShowTitles(window);
  }
  void ClearVoiceHistories() override { ++voiceClears; }

  std::string album = "Test Album";
  std::string albumArtist = "Test Band";
  bool trackArtists = false;
  int identities = 0;
  int voiceClears = 0;
};

// Reports a disc's own table, but each track's length up to the end of the disc.
class LengthsToDiscEnd : public CdbRecordingDevice {
 public:
  using CdbRecordingDevice::CdbRecordingDevice;
  int StatusTrackLength(int track, uint32_t* msf) override {
    uint32_t start = 0, disc = 0, first = 0;
    if (int err = inner_->StatusTrackPosition(track, &start)) return err;
    inner_->StatusTrackPosition(1, &first);
    inner_->StatusDiscLength(&disc);
    *msf = FramesToMsf(MsfToFrames(first) + MsfToFrames(disc) - MsfToFrames(start));
    return 0;
  }
};

// A disc of 250 one-second tracks (no real disc holds that many).
class TwoHundredFiftyTracks : public CdbRecordingDevice {
 public:
  using CdbRecordingDevice::CdbRecordingDevice;
  int StatusTrackCount(int* count) override {
    *count = 250;
    return 0;
  }
  int StatusTrackType(int, int* type) override {
    *type = MCI_CDA_TRACK_AUDIO;
    return 0;
  }
  int StatusTrackLength(int, uint32_t* msf) override {
    *msf = PackMsf(0, 1, 0);
    return 0;
  }
  int StatusTrackPosition(int track, uint32_t* msf) override {
    *msf = FramesToMsf(150 + (track - 1) * 75);
    return 0;
  }
  int StatusDiscLength(uint32_t* msf) override {
    *msf = FramesToMsf(250 * 75);
    return 0;
  }
};

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = Settings{};
    std::string folder = dir_.path().string() + "/";
    SetLogFolderSource([folder] { return folder; });
    SetCdPlayerDisplay(&display_);
    SetCdDiscHooks(&hooks_);
    SetCddaCommandObserver([this](void*, int command) { Reader(command); });
    // 5 s, 3 s, 7 s and 4 s of audio.
    cue_ = WriteDiscImage(dir_.path(), "disc", {{375}, {225}, {525}, {300}});
  }
  void TearDown() override {
    SetCddaCommandObserver(nullptr);
    SetCdPlayerDisplay(nullptr);
    SetCdDiscHooks(nullptr);
    SetLogFolderSource(nullptr);
    ReleaseCdDrives();
    ResetCdPlayer();
  }

  // What the reader does with the stream commands it is sent.
  void Reader(int command) {
    commands_.push_back(command);
    if (command == CDDA_STOP_THEN_RESTART) {
      CdStartTrack(nullptr);
      player.nextPressed = 0;
      player.previousPressed = 0;
      player.seekPending = 0;
    }
  }
  // The reader reached the end of the play range.
  int EndOfSong() {
    int answer = SongDoneHandler(nullptr);
    if (answer == 0) CdStop(nullptr);
    return answer;
  }

  void Load(std::unique_ptr<CdHostLayer> layer, int mode = kCdModeNormal, int repeat = 0) {
    settings.cdMode = mode;
    settings.repeat = repeat;
    ASSERT_EQ(InitCdDrivesWithLayer(nullptr, std::move(layer)), 0);
    ResetCdPlayer();
    SetShuffleSeed(7);
    SetMSFformat();
  }
  void Load(const std::string& driveString, int mode = kCdModeNormal, int repeat = 0) {
    Load(CdHostLayer::FromDriveStrings({driveString}), mode, repeat);
  }
  // Loads the test disc and runs the timer once: the scan.
  void Scan(int mode = kCdModeNormal, int repeat = 0) {
    Load(cue_, mode, repeat);
    Tick();
  }
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) CdTimerHandler(nullptr);
  }
  ImageCdDevice* Image() { return dynamic_cast<ImageCdDevice*>(player.device.load()); }
  int LastCommand() const { return commands_.empty() ? 0 : commands_.back(); }
  std::string Log() { return ReadFileText(dir_.path() / "SornLog.txt"); }

  ScratchDir dir_;
  RecordingDisplay display_;
  TitleHooks hooks_;
  std::vector<int> commands_;
  std::string cue_;
};

TEST_F(Player, ScanBuildsTheTrackTableAndShowsTheDisc) {
  Load(cue_);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  Tick();
  ASSERT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.lastTrack.load(), 3);
  const CdTrack& t = player.cdTrack[2];
  EXPECT_EQ(t.startMinutes, 0);
  EXPECT_EQ(t.startSeconds, 10);
  EXPECT_EQ(t.startFrame, 750u);
  EXPECT_EQ(t.lengthSeconds, 7);
  EXPECT_EQ(player.discLengthFrames, 1275u + 300 + 1);
  EXPECT_TRUE(display_.Showed("Scanning CD ..."));
  EXPECT_TRUE(display_.Showed("Scanning CD ...."));
  EXPECT_EQ(display_.status, "1: Song 1");
  EXPECT_EQ(display_.album, "Test Album");
  EXPECT_EQ(display_.artist, "Test Band");
  ASSERT_EQ(display_.lines.size(), 4u);
  EXPECT_EQ(display_.lines[0], "01.  ( 0:05) Song 1 ");
  EXPECT_EQ(display_.lines[3], "04.  ( 0:04) Song 4 ");
  EXPECT_EQ(display_.selected, 0);
  EXPECT_EQ(display_.lyricsTrack, 0);
  EXPECT_TRUE(display_.playActive);
  EXPECT_EQ(hooks_.identities, 1);

  // Play covers the first track up to the second's start.
  CdPlayPause(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  EXPECT_EQ(LastCommand(), CDDA_PLAY);
  EXPECT_EQ(player.playStartFrame.load(), 150);
  EXPECT_EQ(player.playEndFrame.load(), 525);
  EXPECT_EQ(player.playEndMsf.load(), PackMsf(0, 7, 0));
}

TEST_F(Player, PreviousRestartsTheSongThenGoesBackWithinTwoTicks) {
  Scan();
  CdPlayPause(nullptr);
  CdSelectTrack(nullptr, 2);
  EXPECT_EQ(player.playStartFrame.load(), 750);

  commands_.clear();
  CdPreviousTrack(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 2) << "first press restarts the song";
  EXPECT_EQ(commands_, std::vector<int>{CDDA_STOP_THEN_RESTART});
  CdPreviousTrack(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 1) << "second press goes back";
  EXPECT_EQ(player.playStartFrame.load(), 525);
  EXPECT_EQ(player.playEndFrame.load(), 750);

  Tick(2);
  CdPreviousTrack(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 1) << "after two ticks a press restarts again";
  EXPECT_EQ(commands_.size(), 3u);

  // A restart the reader has not taken yet swallows further presses.
  SetCddaCommandObserver([this](void*, int command) { commands_.push_back(command); });
  Tick(2);
  CdPreviousTrack(nullptr);
  CdPreviousTrack(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 1);
  EXPECT_EQ(commands_.size(), 4u);
}

TEST_F(Player, NextOnTheLastTrackAndRepeat) {
  Scan();
  CdPlayPause(nullptr);
  CdSelectTrack(nullptr, 3);
  CdNextTrack(nullptr);
  EXPECT_EQ(LastCommand(), CDDA_STOP);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.currentTrack.load(), 0);

  // Played through: each song hands over to the next; the last one stops.
  CdPlayPause(nullptr);
  EXPECT_EQ(EndOfSong(), 1);
  EXPECT_EQ(player.currentTrack.load(), 1);
  EXPECT_EQ(player.playStartFrame.load(), 525);
  CdSelectTrack(nullptr, 3);
  EXPECT_EQ(player.playEndFrame.load(), 1575) << "the last track plays to the disc's end";
  EXPECT_EQ(EndOfSong(), 0);
  EXPECT_EQ(player.cdState.load(), CD_STOP);

  // With repeat the end of the last track wraps to the first.
  CdSetRepeat(1);
  EXPECT_EQ(settings.repeat, 1);
  CdSelectTrack(nullptr, 3);
  CdPlayPause(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 3);
  EXPECT_EQ(EndOfSong(), 1);
  EXPECT_EQ(player.currentTrack.load(), 0);
  EXPECT_EQ(player.playStartFrame.load(), 150);
  EXPECT_EQ(player.playEndFrame.load(), 525);
}

TEST_F(Player, SingleSongPlayWithAndWithoutRepeat) {
  Scan(kCdModeSingleSong, 1);
  CdSelectTrack(nullptr, 1);
  CdPlayPause(nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(EndOfSong(), 1);
    EXPECT_EQ(player.currentTrack.load(), 1);
    EXPECT_EQ(player.playStartFrame.load(), 525);
    EXPECT_EQ(player.playEndFrame.load(), 750);
  }
  CdSetRepeat(0);
  EXPECT_EQ(EndOfSong(), 0);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  CdStop(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 1) << "stop keeps the song in single song play";
  CdSetMode(kCdModeNormal);
  CdStop(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 0) << "a second stop returns to the first track";
}

TEST_F(Player, IntroPlaysTheFirstSecondsOfEachTrack) {
  Scan(kCdModeIntro);
  CdSelectTrack(nullptr, 1);  // 3 s long, starting at 0:07
  CdPlayPause(nullptr);
  EXPECT_EQ(player.playEndMsf.load(), PackMsf(0, 9, 0)) << "start second + length - 1";
  EXPECT_EQ(player.playEndFrame.load(), 9 * 75);
  EXPECT_EQ(EndOfSong(), 1);  // 7 s long, starting at 0:10
  EXPECT_EQ(player.currentTrack.load(), 2);
  EXPECT_EQ(player.playEndMsf.load(), PackMsf(0, 15, 0));
}

TEST_F(Player, EverySkippedTrackLeavesNothingToPlay) {
  Scan();
  for (int i = 0; i < 4; ++i) {
    CdSelectTrack(nullptr, i);
    CdToggleSkip(nullptr);
  }
  EXPECT_EQ(display_.lines[2], "3. [Skip] Song 3 ( 0:07)");
  EXPECT_EQ(display_.status, "4. [Skip] Song 4");
  commands_.clear();
  CdPlayPause(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.currentTrack.load(), 0);
  EXPECT_TRUE(commands_.empty());

  CdSelectTrack(nullptr, 2);
  CdToggleSkip(nullptr);
  EXPECT_EQ(display_.lines[2], "3.  Song 3 ( 0:07)");
  CdSelectTrack(nullptr, 0);
  CdPlayPause(nullptr);
  EXPECT_EQ(player.currentTrack.load(), 2);
  EXPECT_EQ(LastCommand(), CDDA_PLAY);

  // Skipping the playing song moves on; nothing follows, so the disc stops.
  CdToggleSkip(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.currentTrack.load(), 0);
}

TEST_F(Player, ADataTrackCannotBeUnskipped) {
  std::string extra = WriteDiscImage(dir_.path(), "extra", {{300}, {300, true}}, "EXTRA");
  Load(extra);
  Tick();
  ASSERT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_TRUE(IsDataTrack(1));
  EXPECT_TRUE(IsTrackSkipped(1));
  EXPECT_EQ(display_.lines[1], "2. [Skip] --Data Track-- ( 0:04)");
  CdSelectTrack(nullptr, 1);
  Tick();
  EXPECT_EQ(display_.status, "2. [Skip - Data Track]");
  CdToggleSkip(nullptr);
  EXPECT_TRUE(IsTrackSkipped(1));
  EXPECT_EQ(display_.lines[1], "2. [Skip] --Data Track-- ( 0:04)");
  CdSeekPercent(50.0f, 1, 0);
  EXPECT_EQ(player.seekFrame.load(), 0) << "no seeking inside a data track";

  // Play from the data track finds nothing after it; the next press plays track 1.
  CdPlayPause(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  CdPlayPause(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  EXPECT_EQ(player.currentTrack.load(), 0);
}

TEST_F(Player, ADiscWithoutAudioShowsItsLabel) {
  std::string data = WriteDiscImage(dir_.path(), "data", {{300, true}}, "BACKUP");
  Load(data);
  Tick();
  EXPECT_EQ(player.cdState.load(), CD_CDROM_IN);
  EXPECT_EQ(display_.album, "CDROM In Drive: BACKUP");
  EXPECT_FALSE(display_.playActive);
  CdPlayPause(nullptr);
  EXPECT_TRUE(commands_.empty());

  Load(cue_ + ",data,label=MY VERY LONG BACKUP LABEL");
  Tick();
  EXPECT_EQ(display_.album, "CDROM In Drive: MY VERY LONG...");
}

TEST_F(Player, ADvdIsShownAndNeverScanned) {
  Load(cue_ + ",dvd");
  Tick(3);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  EXPECT_EQ(display_.album, "   DVD Disk in Drive");
  EXPECT_EQ(display_.status, "");
  EXPECT_FALSE(display_.Showed("Scanning CD ..."));
  EXPECT_EQ(hooks_.identities, 0);
}

TEST_F(Player, EjectOpensTheTrayThenAlternates) {
  Scan();
  CdPlayPause(nullptr);
  EjectCD(nullptr);
  EXPECT_EQ(LastCommand(), CDDA_STOP);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  EXPECT_TRUE(Image()->TrayOpen());
  EXPECT_EQ(player.doorClosed, 0);
  EXPECT_EQ(display_.album, "No CD In Drive");
  EXPECT_EQ(display_.position, std::make_pair(0, 100));
  EXPECT_TRUE(display_.lines.empty());
  EXPECT_EQ(display_.lyricsCleared, 1);
  Tick();
  EXPECT_EQ(player.cdState.load(), CD_NOCD);

  EjectCD(nullptr);
  EXPECT_FALSE(Image()->TrayOpen());
  EXPECT_EQ(player.doorClosed, 1);
  EjectCD(nullptr);
  EXPECT_TRUE(Image()->TrayOpen());
  EjectCD(nullptr);
  EXPECT_FALSE(Image()->TrayOpen());
  Tick();
  EXPECT_EQ(player.cdState.load(), CD_STOP) << "the disc is scanned again once the tray closes";
}

TEST_F(Player, OnlyTheFirst200TracksAreHandled) {
  std::string error;
  auto layer = std::make_unique<CdHostLayer>();
  layer->AddDrive(std::make_unique<TwoHundredFiftyTracks>(OpenCdDevice(cue_, &error)));
  Load(std::move(layer));
  Tick();
  ASSERT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.lastTrack.load(), 199);
  EXPECT_EQ(display_.lines.size(), 200u);
  EXPECT_EQ(player.cdTrack[199].startFrame, 150u + 199 * 75);
  CdSelectTrack(nullptr, 199);
  CdToggleSkip(nullptr);
  EXPECT_TRUE(IsTrackSkipped(199));
  CdSelectTrack(nullptr, 200);
  EXPECT_EQ(player.currentTrack.load(), 199) << "a track past the table is not selected";
}

TEST_F(Player, RemovedDiscIsNoticedWhileStoppedNotWhilePlaying) {
  Scan();
  Image()->RemoveDisc();
  Tick();
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  EXPECT_EQ(player.doorClosed, 0);
  EXPECT_EQ(display_.album, "No CD In Drive");
  EXPECT_TRUE(display_.lines.empty());
  EXPECT_EQ(display_.lyricsCleared, 1);

  std::string error;
  ASSERT_TRUE(Image()->InsertDisc(cue_, &error));
  Tick();
  ASSERT_EQ(player.cdState.load(), CD_STOP);
  CdPlayPause(nullptr);
  Image()->RemoveDisc();
  Tick();
  EXPECT_EQ(player.cdState.load(), CD_PLAY) << "the reader notices a disc gone while playing";
}

TEST_F(Player, ANewDiscWaitsForTheReaderToFinish) {
  Load(cue_);
  player.readerBusy = 1;  // still reading the disc that was ejected
  Tick(2);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  player.readerBusy = 0;
  Tick();
  EXPECT_EQ(player.cdState.load(), CD_STOP);
}

TEST_F(Player, DriverLengthsToTheDiscEndAreCorrected) {
  std::string error;
  auto layer = std::make_unique<CdHostLayer>();
  layer->AddDrive(std::make_unique<LengthsToDiscEnd>(OpenCdDevice(cue_, &error)));
  TraceCapture trace;
  Load(std::move(layer));
  Tick();
  EXPECT_NE(trace.Text().find("cd extra correction\n"), std::string::npos);
  const int seconds[] = {5, 3, 7, 4};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(player.cdTrack[i].lengthMinutes, 0) << i;
    EXPECT_EQ(player.cdTrack[i].lengthSeconds, seconds[i]) << i;
    EXPECT_EQ(player.cdTrack[i].lengthFrames, 0) << i;
  }
}

TEST_F(Player, ShufflePlaysEachPlayableTrackOnce) {
  Scan(kCdModeShuffle);
  std::vector<int> order(player.shuffleOrder, player.shuffleOrder + 4);
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(player.currentTrack.load(), order[0]);

  CdSelectTrack(nullptr, order[2]);
  CdToggleSkip(nullptr);
  CdSelectTrack(nullptr, order[0]);
  CdPlayPause(nullptr);
  std::vector<int> played = {player.currentTrack.load()};
  int answer;
  while ((answer = EndOfSong()) == 1) played.push_back(player.currentTrack.load());
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(played, (std::vector<int>{order[0], order[1], order[3]}));
  EXPECT_EQ(player.cdState.load(), CD_STOP);
}

TEST_F(Player, SeekRestartsTheStreamAtThePositionsSector) {
  Scan();
  CdSelectTrack(nullptr, 1);  // 225 frames from frame 525
  CdSeekPercent(50.0f, 0, 0);
  EXPECT_EQ(player.seekFrame.load(), 112 + 525 - 150);
  EXPECT_EQ(player.positionSeconds.load(), 1);
  EXPECT_EQ(display_.position, std::make_pair(1, 3));
  EXPECT_TRUE(commands_.empty()) << "no stream to restart while stopped";

  CdPlayPause(nullptr);
  commands_.clear();
  CdSeekPercent(50.0f, 0, 0);
  EXPECT_TRUE(commands_.empty()) << "the slider is still held";
  SetCddaCommandObserver([this](void*, int command) { commands_.push_back(command); });
  CdSeekPercent(100.0f, 1, 0);
  EXPECT_EQ(commands_, std::vector<int>{CDDA_STOP_THEN_RESTART});
  EXPECT_EQ(player.seekPending.load(), 1);
  EXPECT_EQ(hooks_.voiceClears, 1);
  CdSeekPercent(10.0f, 1, 0);
  EXPECT_EQ(commands_.size(), 1u) << "one seek at a time";
  player.seekPending = 0;

  // The keyboard seek: seeks while its countdown runs, released when it runs out.
  player.keyboardSeekCountdown = 2;
  CdSeekPercent(10.0f, 0, 0);
  EXPECT_EQ(commands_.size(), 2u);
  Tick();
  EXPECT_EQ(display_.keyboardReleases, 0);
  Tick();
  EXPECT_EQ(display_.keyboardReleases, 1);
}

TEST_F(Player, PauseResumeAndTrackChangesWhilePaused) {
  Scan();
  CdPlayPause(nullptr);
  player.readerPositionSeconds = 3;
  CdPlayPause(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_PAUSE);
  EXPECT_EQ(player.positionSeconds.load(), 3);
  EXPECT_EQ(LastCommand(), CDDA_STOP);
  player.pauseSector = 300;  // where the consumer paused
  CdPlayPause(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  EXPECT_EQ(LastCommand(), CDDA_PLAY);
  EXPECT_EQ(player.pauseSector.load(), 300) << "resuming reads from the pause point";

  CdPlayPause(nullptr);
  commands_.clear();
  CdNextTrack(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  EXPECT_EQ(player.currentTrack.load(), 1);
  EXPECT_EQ(player.positionSeconds.load(), 0);
  EXPECT_EQ(player.pauseSector.load(), 0) << "a new track does not resume the old one";
  EXPECT_TRUE(commands_.empty());

  CdPlayPause(nullptr);
  CdShutdown(nullptr);
  EXPECT_EQ(LastCommand(), CDDA_STOP);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
  EXPECT_EQ(player.device.load(), nullptr);
}

TEST_F(Player, KeepAliveReadsEveryTwentyTicks) {
  Load(cue_ + ",read-error=150-150");
  Tick();
  EXPECT_EQ(Image()->ReadCommandCount(), 1) << "a spin-up read right after the scan";
  Tick(19);
  EXPECT_EQ(Image()->ReadCommandCount(), 1);
  Tick();
  EXPECT_EQ(Image()->ReadCommandCount(), 2);
  player.readerBusy = 1;
  Tick(25);
  EXPECT_EQ(Image()->ReadCommandCount(), 2) << "no spin-up while the reader reads";
  EXPECT_NE(Log().find("FakeReadForSpin - spinup error: Ret=4  rl:2352  sec=150  HA:0 lun:0 "
                       "ID:0 SD=3\n"),
            std::string::npos);
}

TEST_F(Player, TitlesAreCutToFitThePanel) {
  hooks_.album = "The Complete Recordings of an Extraordinarily Long Album";
  hooks_.albumArtist = "Band";
  Scan();
  EXPECT_EQ(display_.album, "The Complete Recordings of an Extraordinarily Long...");
  EXPECT_EQ(display_.artist, "Band");

  hooks_.album = "Unknown CD";
  hooks_.trackArtists = true;
  Image()->SetDoor(true);
  Tick();
  Image()->SetDoor(false);
  Tick();
  EXPECT_TRUE(display_.unknownCd);
  EXPECT_EQ(display_.artist, "Singer 1");
  CdSelectTrack(nullptr, 2);
  Tick();
  EXPECT_EQ(display_.artistLine, "Singer 3");
  EXPECT_EQ(display_.status, "3: Song 3");
}

TEST_F(Player, StatusTextBlinksWhileAClientWorks) {
  CdStartStatusBlink("Connecting");
  OutputCurPos(nullptr);
  OutputCurPos(nullptr);
  OutputCurPos(nullptr);
  CdStopStatusBlink();
  OutputCurPos(nullptr);
  EXPECT_EQ(display_.blinks, (std::vector<std::string>{"Connecting", " ", "Connecting"}));
}

TEST(PlayerText, TruncateAtWordAndStateNames) {
  EXPECT_EQ(TruncateAtWord("Hello wonderful world", 10), "Hello...");
  EXPECT_EQ(TruncateAtWord("abcde fgh", 5), "abcde...");
  EXPECT_EQ(TruncateAtWord("Short", 10), "Short");
  EXPECT_EQ(TruncateAtWord("Supercalifragilistic", 10), "Supercalif...");
  EXPECT_STREQ(CdStateName(CD_CDROM_IN), "CD_CDROM_IN");
  EXPECT_STREQ(CdStateName(9), "Bogus");
}

}  // namespace
