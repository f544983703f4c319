// The render command end to end: a disc image played through the reader thread, the ring, the
// streaming thread and the processing block on the simulated sound card into a WAV file.
#include "tools/cli/render_command.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "audio/sample_format.h"
#include "audio/sound_block.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/playback/playback_support.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/file_size_limit.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBlock = 4096;
constexpr size_t kStartUpSilence = 4 * kBlock * 2;  // four queued blocks, interleaved samples

const std::vector<int16_t>* offlineMusic = nullptr;
size_t offlineFrame = 0;

// The track's samples, then silence: what the ring delivers to the block.
void OfflineMusic(float* const channels[2], int bytes) {
  for (int i = 0; i < bytes / 4; ++i, ++offlineFrame) {
    const bool inside = offlineFrame < offlineMusic->size() / 2;
    channels[0][i] = inside ? (*offlineMusic)[2 * offlineFrame] : 0.0f;
    channels[1][i] = inside ? (*offlineMusic)[2 * offlineFrame + 1] : 0.0f;
  }
}

bool AllZero(const std::vector<int16_t>& v, size_t from, size_t to) {
  for (size_t i = from; i < to && i < v.size(); ++i)
    if (v[i] != 0) return false;
  return true;
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScratchCdInfoFolder(dir_.path());
    DefaultSoundBlock();
    // 4 s and 2 s.
    cue_ = WriteDiscImage(dir_.path(), "disc", {{300}, {150}});
  }
  void TearDown() override {
    DefaultSoundBlock();
    SetLogFolderSource(nullptr);
  }
  int Run(std::vector<std::string> args) {
    out_.clear();
    err_.clear();
    return CommandRender(args, &out_, &err_);
  }
  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }

  ScratchDir dir_;
  std::string cue_, out_, err_;
};

TEST_F(Render, KaraokeOffGivesTheTrackTimesTheMusicGains) {
  ASSERT_EQ(Run({cue_, "--track", "1", "--out", Path("off.wav")}), 0) << err_;
  EXPECT_EQ(out_, Path("off.wav") + "\n");
  const std::vector<int16_t> played = ReadStereoWav(Path("off.wav"));
  const std::vector<int16_t> expected = WithMusicGains(DiscSamples(0, 300));
  // The start-up silence, the track, nothing more, however long the engine ran on.
  ASSERT_EQ(played.size(), kStartUpSilence + expected.size());
  EXPECT_TRUE(AllZero(played, 0, kStartUpSilence)) << "the engine's start-up silence";
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin() + kStartUpSilence));

  // The second track the same way, with its own samples.
  ASSERT_EQ(Run({cue_, "--track", "2", "--karaoke", "off", "--out", Path("two.wav")}), 0) << err_;
  const std::vector<int16_t> second = ReadStereoWav(Path("two.wav"));
  const std::vector<int16_t> expected2 = WithMusicGains(DiscSamples(300, 150));
  ASSERT_GE(second.size(), kStartUpSilence + expected2.size());
  EXPECT_TRUE(std::equal(expected2.begin(), expected2.end(), second.begin() + kStartUpSilence));
}

TEST_F(Render, KaraokeOnEqualsTheBlockProcessedOffline) {
  ASSERT_EQ(Run({cue_, "--track", "1", "--karaoke", "--out", Path("on.wav")}), 0) << err_;
  const std::vector<int16_t> played = ReadStereoWav(Path("on.wav"));

  // Offline: the same data through ProcessSoundBlock, block by block, with silent input.
  const std::vector<int16_t> music = DiscSamples(0, 300);
  const size_t cdBlocks = (music.size() / 2 + kBlock - 1) / kBlock;
  ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
  DefaultSoundBlock();
  soundBlock.karaokeOn = 1;
  soundBlock.voiceFX.bypass = 1;
  offlineMusic = &music;
  offlineFrame = 0;
  soundBlock.musicSource = OfflineMusic;
  WAVEFORMATEX format{};
  format.nChannels = 2;
  format.nSamplesPerSec = 44100;
  format.wBitsPerSample = 16;
  sndCompleteWaveFormatEx(&format);
  int stereoWasMono = 1;
  std::vector<int16_t> in(2 * kBlock, 0), offline;
  for (size_t b = 0; b < cdBlocks + 3; ++b) {
    std::vector<int16_t> out(2 * kBlock);
    ProcessSoundBlock(in.data(), out.data(), kBlock, &format, 1, &stereoWasMono);
    offline.insert(offline.end(), out.begin(), out.end());
  }
  FreeSoundBlockBuffers();

  ASSERT_EQ(played.size(), kStartUpSilence + music.size()) << "the track's length, no tail";
  EXPECT_TRUE(AllZero(played, 0, kStartUpSilence));
  const auto live = played.begin() + kStartUpSilence;
  ASSERT_GE(offline.size(), music.size());
  EXPECT_TRUE(std::equal(live, played.end(), offline.begin()));
  EXPECT_FALSE(std::equal(live, played.end(), WithMusicGains(music).begin()))
      << "the voice reducer changed the music";
}

// A short PCM file of any shape (silence).
void WritePcmWav(const std::string& path, int channels, int bits) {
  WaveFile file;
  waveFileInit(&file);
  waveFileSetFormat(&file, 44100, static_cast<uint16_t>(channels), static_cast<uint16_t>(bits));
  ASSERT_TRUE(waveFileOpenOut(&file, path.c_str()));
  const std::vector<uint8_t> silence(4410 * channels * bits / 8);
  wavWriteSamples(&file, silence.data(), 4410 * channels);
  ASSERT_TRUE(waveFileCloseOut(&file));
}

TEST_F(Render, BadArgumentsAndUnreadableFilesGiveOneLineAndStatus2) {
  WritePcmWav(Path("24bit.wav"), 2, 24);
  WritePcmWav(Path("3ch.wav"), 3, 16);
  WritePcmWav(Path("mic.wav"), 2, 16);
  const std::vector<std::vector<std::string>> bad = {
      {cue_, "--track", "1"},
      {cue_, "--out", Path("x.wav")},
      {cue_, "--track", "0", "--out", Path("x.wav")},
      {cue_, "--track", "3", "--out", Path("x.wav")},
      {cue_, "--track", "1", "--preset", "9", "--out", Path("x.wav")},
      {cue_, "--track", "1", "--variation", "2", "--out", Path("x.wav")},
      {cue_, "--track", "1", "--mic", Path("none.wav"), "--out", Path("x.wav")},
      {cue_, "--track", "1", "--playback", Path("none.wav"), "--out", Path("x.wav")},
      {cue_, "--track", "1", "--out", Path("no/such/folder/x.wav")},
      {Path("none.cue"), "--track", "1", "--out", Path("x.wav")},
      {cue_, "--track", "1", "--bogus", "--out", Path("x.wav")},
      // Files the engine cannot use.
      {cue_, "--track", "1", "--mic", Path("24bit.wav"), "--out", Path("x.wav")},
      {cue_, "--track", "1", "--mic", Path("3ch.wav"), "--out", Path("x.wav")},
      {cue_, "--track", "1", "--playback", Path("24bit.wav"), "--out", Path("x.wav")},
      {cue_, "--track", "1", "--out", "/dev/full"},
      // An output over an input or over the other output.
      {cue_, "--track", "1", "--mic", Path("mic.wav"), "--out", Path("mic.wav")},
      {cue_, "--track", "1", "--out", Path("disc.bin")},
      {cue_, "--track", "1", "--record", Path("x.wav"), "--out", Path("x.wav")},
  };
  const std::vector<uint8_t> mic = ReadFileBytes(Path("mic.wav"));
  const std::vector<uint8_t> bin = ReadFileBytes(Path("disc.bin"));
  for (const auto& args : bad) {
    SCOPED_TRACE(args[1] + " " + args[2]);
    EXPECT_EQ(Run(args), 2);
    EXPECT_EQ(err_.find('\n'), err_.size() - 1) << err_;
    EXPECT_EQ(err_.rfind("sorn-karaoke-cli render: ", 0), 0u) << err_;
    EXPECT_TRUE(out_.empty());
  }
  EXPECT_FALSE(fs::exists(Path("x.wav"))) << "a refused render leaves no file";
  EXPECT_TRUE(ReadFileBytes(Path("mic.wav")) == mic);
  EXPECT_TRUE(ReadFileBytes(Path("disc.bin")) == bin);
}

TEST_F(Render, AFailedRenderSaysWhyAndLeavesNoFile) {
  // Reads that fail: the music is not there.
  std::ofstream(Path("out.wav")) << "an earlier render";
  EXPECT_EQ(Run({cue_ + ",read-error=300-449", "--track", "2", "--out", Path("out.wav")}), 1);
  EXPECT_NE(err_.find("150 sectors of track 2 could not be read\n"), std::string::npos) << err_;
  EXPECT_TRUE(ReadFileText(Path("out.wav")) == "an earlier render");

  int code = 0;
  {
    FileSizeLimit limit(100000);
    ASSERT_TRUE(limit.active());
    code = Run({cue_, "--track", "1", "--out", Path("out.wav")});
  }
  EXPECT_EQ(code, 1);
  EXPECT_NE(err_.find("sorn-karaoke-cli render: cannot write " + Path("out.wav")),
            std::string::npos)
      << err_;
  EXPECT_EQ(err_.find("render: done"), std::string::npos);
  EXPECT_TRUE(ReadFileText(Path("out.wav")) == "an earlier render");
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "no partial file is left behind";
}

TEST_F(Render, ATakeRecordedFromTheMicrophonePlaysBackOverTheMusic) {
  std::vector<int16_t> voice(2 * 44100 * 5);
  for (size_t i = 0; i < voice.size() / 2; ++i)
    voice[2 * i] = voice[2 * i + 1] = static_cast<int16_t>(
        8000 * std::sin(2 * 3.14159265 * 440 * static_cast<double>(i) / 44100));
  WriteStereoWav(Path("mic.wav"), voice);
  ASSERT_EQ(Run({cue_, "--track", "1", "--mic", Path("mic.wav"), "--record", Path("take.wav"),
                 "--out", Path("live.wav")}),
            0)
      << err_;
  WaveFile take;
  waveFileInit(&take);
  ASSERT_TRUE(waveFileOpenIn(&take, Path("take.wav").c_str()));
  EXPECT_EQ(take.format.nSamplesPerSec, 22050u);
  EXPECT_EQ(take.format.nChannels, 1);
  std::vector<int16_t> taken(static_cast<size_t>(take.sampleCount));
  wavReadSamples(&take, taken.data(), take.sampleCount);
  waveFileCloseIn(&take);
  EXPECT_GT(taken.size(), 300u * 588 / 2 - 4 * kBlock) << "about the song's length at half rate";
  EXPECT_TRUE(std::any_of(taken.begin(), taken.end(), [](int16_t v) { return std::abs(v) > 4000; }))
      << "the dry voice";
  // Without effects the live microphone is not in the output: the music alone.
  const std::vector<int16_t> live = ReadStereoWav(Path("live.wav"));
  const std::vector<int16_t> music = WithMusicGains(DiscSamples(0, 300));
  ASSERT_GE(live.size(), kStartUpSilence + music.size());
  EXPECT_TRUE(std::equal(music.begin(), music.end(), live.begin() + kStartUpSilence));

  EXPECT_EQ(live.size(), kStartUpSilence + music.size()) << "recording does not lengthen it";

  // The take played back is mixed over the music, while a new take is recorded.
  ASSERT_EQ(Run({cue_, "--track", "1", "--mic", Path("mic.wav"), "--playback", Path("take.wav"),
                 "--record", Path("again.wav"), "--out", Path("back.wav")}),
            0)
      << err_;
  const std::vector<int16_t> back = ReadStereoWav(Path("back.wav"));
  ASSERT_EQ(back.size(), kStartUpSilence + music.size());
  EXPECT_FALSE(std::equal(music.begin(), music.end(), back.begin() + kStartUpSilence));
  EXPECT_GT(ReadStereoWav(Path("again.wav")).size(), 300u * 588 / 2 - 4 * kBlock);
}

}  // namespace
