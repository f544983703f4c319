// The player's transport through the real threads: the CDDA reader thread, the ring, and the
// streaming thread with the processing block on the simulated sound card (as fast as the reader
// delivers). Pause, resume, a seek, the next track and the end of the disc, checked in what the
// card played.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/sound_block.h"
#include "audio/sound_init.h"
#include "audio/streaming.h"
#include "cd/aspi_drives.h"
#include "cd/cd_reader.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "platform/audio/sim_audio.h"
#include "platform/cd/host_layer.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/playback/playback_support.h"
#include "tests/support/cd_test_support.h"
#include "tools/cli/render_command.h"

namespace {

constexpr int64_t kSectorSamples = 1176;

// What the card played, without its silent blocks (the card plays silence as fast as it can
// while nothing streams).
struct PlayedAudio {
  std::mutex lock;
  std::vector<int16_t> samples;
  std::atomic<int> blocks{0};  // every block played, silent or not
  size_t Size() {
    std::lock_guard<std::mutex> guard(lock);
    return samples.size();
  }
};

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScratchCdInfoFolder(dir_.path());
    DefaultSoundBlock();
    // 20 s, 3 s and 4 s.
    cue_ = WriteDiscImage(dir_.path(), "disc", {{1500}, {225}, {300}});
    disc_ = WithMusicGains(DiscSamples(0, 2025));

    settings.cdMode = kCdModeNormal;
    ASSERT_EQ(InitCdDrivesWithLayer(nullptr, CdHostLayer::FromDriveStrings({cue_})), 0);
    ResetCdPlayer();
    SetMSFformat();
    CdTimerHandler(nullptr);
    ASSERT_EQ(player.cdState.load(), CD_STOP);

    SimAudioOptions options;
    auto played = played_;
    options.openSink = [played](const WaveDeviceFormat&) {
      SimPcmSink sink;
      sink.write = [played](const uint8_t* data, size_t bytes) {
        ++played->blocks;
        const int16_t* s = reinterpret_cast<const int16_t*>(data);
        const size_t n = bytes / 2;
        if (std::all_of(s, s + n, [](int16_t v) { return v == 0; })) return;
        std::lock_guard<std::mutex> guard(played->lock);
        played->samples.insert(played->samples.end(), s, s + n);
      };
      return sink;
    };
    SetAudioBackend(CreateSimAudioBackend(std::move(options)));
    soundBlock.musicSource = WriteCdDataForRender;  // before the streaming thread starts
    ASSERT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_Ok);
    // The streaming thread clears cdDataReady when it starts: it has to be running before a
    // play begins.
    ASSERT_TRUE(WaitFor([this] { return played_->blocks.load() > 8; }));
  }
  void TearDown() override {
    CdStop(nullptr);
    CloseSound();
    CddaJoinReader();
    SetAudioBackend(nullptr);
    SetStreamDrainedHandler(nullptr);
    soundBlock.musicSource = WriteCdDataToFloat1;
    ReleaseCdDrives();
    ResetCdPlayer();
    DefaultSoundBlock();
    SetLogFolderSource(nullptr);
  }

  // Waits until the card has played `samples` more samples of music.
  void PlayMore(size_t samples) {
    const size_t target = played_->Size() + samples;
    ASSERT_TRUE(WaitFor([&] { return played_->Size() >= target; }));
  }

  // From `at` in the played audio (after any silence), the disc's music from sector `sector`
  // on: returns how many samples match, and moves `at` past them.
  size_t Follow(const std::vector<int16_t>& played, size_t* at, int64_t sector) {
    while (*at + 1 < played.size() && played[*at] == 0 && played[*at + 1] == 0) *at += 2;
    size_t n = 0;
    const size_t from = static_cast<size_t>(sector * kSectorSamples);
    while (*at + n < played.size() && from + n < disc_.size() && played[*at + n] == disc_[from + n])
      ++n;
    *at += n;
    return n;
  }

  ScratchDir dir_;
  std::string cue_;
  std::vector<int16_t> disc_;
  std::shared_ptr<PlayedAudio> played_ = std::make_shared<PlayedAudio>();
};

TEST_F(Transport, PauseResumeSeekNextAndTheEndOfTheDisc) {
  CdPlayPause(nullptr);
  PlayMore(200000);

  CdPlayPause(nullptr);  // pause
  ASSERT_EQ(player.cdState.load(), CD_PAUSE);
  ASSERT_TRUE(WaitFor([] { return cdReader.readerThreadRunning.load() == 0; }));
  const int32_t pause = player.pauseSector.load();
  EXPECT_GT(pause, 0);

  CdPlayPause(nullptr);  // resume
  ASSERT_EQ(player.cdState.load(), CD_PLAY);
  PlayMore(200000);

  CdSeekPercent(75.0f, 1, 0);  // let go of the slider at 75 %: sector 1125
  ASSERT_TRUE(WaitFor([] { return player.restartPending.load() == 0; }));
  player.seekPending = 0;
  PlayMore(200000);

  CdNextTrack(nullptr);
  ASSERT_TRUE(WaitFor([] { return player.cdState.load() == CD_STOP; }));
  CddaJoinReader();
  EXPECT_EQ(player.currentTrack.load(), 0) << "the end of the disc cues the first song";
  EXPECT_EQ(soundBlock.cdDataReady.load(), 0);

  std::vector<int16_t> played;
  {
    std::lock_guard<std::mutex> guard(played_->lock);
    played = played_->samples;
  }
  size_t at = 0;
  const size_t first = Follow(played, &at, 0);
  EXPECT_GE(first, 200000u) << "played from the start until the pause";
  EXPECT_LE(static_cast<size_t>(pause) * kSectorSamples, first);
  const size_t resumed = Follow(played, &at, pause);
  EXPECT_GE(resumed, 200000u) << "resumed at the start of the slot that was playing";
  EXPECT_GE(Follow(played, &at, 1125), 200000u) << "the seek";
  EXPECT_EQ(Follow(played, &at, 1500), static_cast<size_t>(225 * kSectorSamples))
      << "the next song, whole";
  EXPECT_EQ(Follow(played, &at, 1725), static_cast<size_t>(300 * kSectorSamples))
      << "and the last one";
  while (at < played.size()) ASSERT_EQ(played[at++], 0) << "nothing after the end of the disc";
}

// The reader can end its run on a seek's stop before the seek's restart request arrives (the
// window thread sets the two one after the other): it must wait for the request, not end the
// stream with the player still playing.
TEST_F(Transport, ASeekWhoseStopArrivesBeforeItsRequestStillPlaysOn) {
  CdPlayPause(nullptr);
  PlayMore(100000);
  SetCddaRestartGate([] {
    // Hold the request back until the reader has ended the run (or waits for the request).
    WaitFor([] {
      return cdReader.readerThreadRunning.load() == 0 || cdReader.awaitingRestart.load() == 1;
    });
  });
  CdSeekPercent(75.0f, 1, 0);  // sector 1125
  SetCddaRestartGate(nullptr);
  ASSERT_TRUE(WaitFor([] { return player.restartPending.load() == 0; }));
  player.seekPending = 0;
  EXPECT_EQ(player.cdState.load(), CD_PLAY);
  PlayMore(200000);
  CdStop(nullptr);
  CddaJoinReader();

  std::vector<int16_t> played;
  {
    std::lock_guard<std::mutex> guard(played_->lock);
    played = played_->samples;
  }
  size_t at = 0;
  EXPECT_GE(Follow(played, &at, 0), 100000u);
  EXPECT_GE(Follow(played, &at, 1125), 200000u) << "the seek played on";
}

}  // namespace
