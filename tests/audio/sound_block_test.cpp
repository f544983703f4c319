#include "audio/sound_block.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "audio/cdda_consumer.h"
#include "audio/karaoke_stage.h"
#include "dsp/karaoke.h"

namespace {

// Music the block pulls instead of the CD ring: a prepared stereo signal, then silence.
struct TestMusic {
  std::vector<float> left, right;
  size_t position = 0;
  std::vector<int> requests;  // bytes asked for, per sub-block
};
TestMusic testMusic;

void TestMusicSource(float* const channels[2], int bytes) {
  testMusic.requests.push_back(bytes);
  for (int i = 0; i < bytes / 4; ++i, ++testMusic.position) {
    const bool have = testMusic.position < testMusic.left.size();
    channels[0][i] = have ? testMusic.left[testMusic.position] : 0.0f;
    channels[1][i] = have ? testMusic.right[testMusic.position] : 0.0f;
  }
}

WAVEFORMATEX InputFormat(int bits) {
  WAVEFORMATEX format;
  format.wBitsPerSample = static_cast<uint16_t>(bits);
  sndCompleteWaveFormatEx(&format);
  return format;
}

constexpr int16_t kGuard = 0x7777;

class SoundBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
    DefaultSoundBlock();
    InitMicrophoneFilters(44100.0);
    testMusic = TestMusic{};
    soundBlock.musicSource = TestMusicSource;
  }
  void TearDown() override {
    waveFileCloseIn(&soundBlock.voiceInFile);  // false when not open
    waveFileCloseOut(&soundBlock.voiceOutFile);
    FreeSoundBlockBuffers();
    DefaultSoundBlock();
  }

  // Runs one block; the output has 8 guard frames after `frames`.
  std::vector<int16_t> Run(const void* in, int frames, int bits, int cdActive) {
    std::vector<int16_t> out(2 * (frames + 8), kGuard);
    const WAVEFORMATEX format = InputFormat(bits);
    ProcessSoundBlock(in, out.data(), frames, &format, cdActive, &stereoWasMono_);
    for (size_t i = 2 * frames; i < out.size(); ++i) EXPECT_EQ(out[i], kGuard) << "past the block";
    return out;
  }

  void SetMusic(int frames, float left, float right) {
    testMusic.left.assign(frames, left);
    testMusic.right.assign(frames, right);
    testMusic.position = 0;
  }

  static void FiltersOff() {
    SetMicFilterSwitch(kMicHighPass, 0);
    SetMicFilterSwitch(kMicNotch60, 0);
    SetMicFilterSwitch(kMicNotch120, 0);
  }

  int stereoWasMono_ = 1;
};

TEST(MeterLevel, DecibelsAboveMinusFiftyTimesTwo) {
  // Silence (-90.3 dB) clamps to -50; 327.68 is -40 dB.
  const float cases[][2] = {{1.0f, 0.0f}, {0.0f, 0.0f}, {32768.0f, 100.0f}, {327.68f, 20.0f}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(MeterLevelFromPeak(c[0]), c[1]) << c[0];
  EXPECT_NEAR(MeterLevelFromPeak(65536.0f), 112.04f, 0.01f);
}

TEST_F(SoundBlock, FirstCallAppliesTheGainAtOnceAndLaterChangesRampOverTheRealLength) {
  SetMusic(1000, 10000.0f, -10000.0f);
  soundBlock.cdLevel = 0.5f;
  std::vector<int16_t> out = Run(nullptr, 256, 16, 1);
  for (int i = 0; i < 256; ++i) {  // 10000 x 0.5 x 0.70710677, no ramp from -1
    ASSERT_EQ(out[2 * i], 3536) << i;
    ASSERT_EQ(out[2 * i + 1], -3536) << i;
  }
  EXPECT_FLOAT_EQ(soundBlock.prevGain[0], 0.5f * 0.70710677f);

  // A level change on a short block: the ramp spans its 8 frames, from the previous gain
  // towards the new one.
  soundBlock.cdLevel = 1.0f;
  out = Run(nullptr, 8, 16, 1);
  const int expected[8] = {3536, 3977, 4419, 4861, 5303, 5745, 6187, 6629};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(out[2 * k], expected[k]) << k;
    EXPECT_EQ(out[2 * k + 1], -expected[k]) << k;
  }
  out = Run(nullptr, 256, 16, 1);  // settled: no ramp
  for (int i = 0; i < 256; ++i) ASSERT_EQ(out[2 * i], 7071) << i;

  // A balance change ramps each channel to its own gain.
  SetMusicBalance(-1.0f);
  out = Run(nullptr, 256, 16, 1);
  EXPECT_EQ(out[0], 7071);
  EXPECT_EQ(out[1], -7071);
  EXPECT_GT(out[2 * 255], 9950);
  EXPECT_GT(out[2 * 255 + 1], -30);
  out = Run(nullptr, 8, 16, 1);
  EXPECT_EQ(out[0], 10000);
  EXPECT_EQ(out[1], 0);
  for (int bytes : testMusic.requests) EXPECT_TRUE(bytes == 1024 || bytes == 32) << bytes;
}

TEST_F(SoundBlock, MetersUseAndUpdateOnAShortLastSubBlock) {
  SetMusicBalance(-1.0f);  // left gain 1, right 0
  SetMusic(264, 0.0f, 0.0f);
  testMusic.left[260] = 20000.0f;
  std::vector<int16_t> in(2 * 264, 0);
  in[2 * 262] = -16384;     // microphone peak in the last sub-block
  in[2 * 100 + 1] = 32767;  // the right input channel is not the microphone
  FiltersOff();
  std::vector<int16_t> out = Run(in.data(), 264, 16, 1);
  EXPECT_EQ(testMusic.requests, (std::vector<int>{1024, 32}));
  EXPECT_FLOAT_EQ(soundBlock.cdMeterLevel, MeterLevelFromPeak(20000.0f));
  EXPECT_FLOAT_EQ(soundBlock.micMeterLevel, MeterLevelFromPeak(16384.0f));
  EXPECT_EQ(out[2 * 260], 20000);
  EXPECT_EQ(out[2 * 260 + 1], 0);
  EXPECT_EQ(soundBlock.musicPeak, 1.0f);  // restarted after the update
  EXPECT_EQ(soundBlock.micPeak, 1.0f);

  // A silent call reads 0; a full-scale peak of 32768 reads 100 and leaves as 32767.
  Run(nullptr, 264, 16, 1);
  EXPECT_EQ(soundBlock.cdMeterLevel, 0.0f);
  EXPECT_EQ(soundBlock.micMeterLevel, 0.0f);
  SetMusic(16, 32768.0f, 0.0f);
  out = Run(nullptr, 16, 16, 1);
  EXPECT_FLOAT_EQ(soundBlock.cdMeterLevel, 100.0f);
  EXPECT_EQ(out[0], 32767);

  // An odd length is handled too, and nothing past it is written (Run checks the guard).
  SetMusic(261, 1000.0f, 1000.0f);
  out = Run(in.data(), 261, 16, 1);
  EXPECT_EQ(out[2 * 260], 1000);
}

TEST_F(SoundBlock, WithoutCdOnlyTheEffectSignalIsHeardAndTheMusicMeterHolds) {
  SetMusicBalance(-1.0f);
  SetMusic(256, 5000.0f, 5000.0f);
  Run(nullptr, 256, 16, 1);
  const float musicMeter = soundBlock.cdMeterLevel;
  EXPECT_FLOAT_EQ(musicMeter, MeterLevelFromPeak(5000.0f));

  std::vector<int16_t> in(2 * 512);
  for (int i = 0; i < 512; ++i) in[2 * i] = static_cast<int16_t>(8000 * std::sin(i * 0.05));
  stereoWasMono_ = 0;
  std::vector<int16_t> out = Run(in.data(), 512, 16, 0);
  for (int i = 0; i < 2 * 512; ++i) ASSERT_EQ(out[i], 0) << i;  // no effect output yet
  EXPECT_EQ(testMusic.requests.size(), 1u);                     // the music source is not asked
  EXPECT_EQ(soundBlock.cdMeterLevel, musicMeter);
  EXPECT_GT(soundBlock.micMeterLevel, MeterLevelFromPeak(7900.0f));
  EXPECT_EQ(stereoWasMono_, 0);  // the karaoke steps are skipped without CD
}

TEST_F(SoundBlock, EightBitMicrophoneIsRescaledToSixteenBits) {
  FiltersOff();
  std::vector<uint8_t> in(2 * 512, 128);
  in[2 * 300] = 0;        // left: the microphone
  in[2 * 301 + 1] = 255;  // right: scratch, unscaled
  in[2 * 10] = 255;       // first sub-block
  Run(in.data(), 512, 8, 0);
  // micChannels hold the last sub-block, frames 256..511.
  EXPECT_FLOAT_EQ(soundBlock.micChannels[0][300 - 256], -33025.007f);
  EXPECT_EQ(soundBlock.micChannels[1][301 - 256], 127.0f);
  EXPECT_EQ(soundBlock.micChannels[0][301 - 256], 0.0f);
  EXPECT_FLOAT_EQ(soundBlock.micMeterLevel, MeterLevelFromPeak(128 * 258.00787f));
}

TEST_F(SoundBlock, MicrophoneIsCleanedUpInOrderAfterTheMeter) {
  SetMicFilterSwitch(kMicNotch120, 1);
  std::mt19937 random(3);
  std::vector<int16_t> in(2 * 512);
  std::vector<float> left(512);
  for (int i = 0; i < 512; ++i) {
    in[2 * i] = static_cast<int16_t>(std::uniform_int_distribution<int>(-20000, 20000)(random));
    in[2 * i + 1] = static_cast<int16_t>(i);
    left[i] = in[2 * i];
  }
  float inputPeak = 1.0f;
  for (float v : left) inputPeak = std::max(inputPeak, std::fabs(v));
  Run(in.data(), 512, 16, 0);

  IIR1 highPass;
  SetIIR1_SamplingFrequency(&highPass, 44100.0);
  InitIIR1(&highPass);
  ComputeIIR1(left.data(), left.data(), 512, &highPass);
  for (double hum : {60.0, 120.0}) {
    IIR2 notch;
    SetIIR2(&notch, hum, 40.0, -40.0, kIIR2Peaking);
    SetIIR2_SamplingFrequency(&notch, 44100.0);
    InitIIR2(&notch);
    ComputeIIR2Section(left.data(), left.data(), 512, &notch);
  }
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(soundBlock.micChannels[0][i], left[256 + i]) << i;
    ASSERT_EQ(soundBlock.micChannels[1][i], static_cast<float>(256 + i)) << i;
  }
  EXPECT_FLOAT_EQ(soundBlock.micMeterLevel, MeterLevelFromPeak(inputPeak));
}

TEST_F(SoundBlock, SwitchingAFilterOnClearsItsMemory) {
  SetMicFilterSwitch(kMicNotch60, 0);
  std::vector<int16_t> loud(2 * 256, 20000), quiet(2 * 256, 0);
  Run(loud.data(), 256, 16, 0);
  EXPECT_NE(soundBlock.micHighPass[0].y1, 0.0);
  SetMicFilterSwitch(kMicHighPass, 0);
  Run(quiet.data(), 256, 16, 0);
  SetMicFilterSwitch(kMicHighPass, 1);
  Run(quiet.data(), 256, 16, 0);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(soundBlock.micChannels[0][i], 0.0f) << i;

  // Switching on a filter that is already on keeps its memory.
  Run(loud.data(), 256, 16, 0);
  SetMicFilterSwitch(kMicHighPass, 1);
  Run(quiet.data(), 256, 16, 0);
  EXPECT_NE(soundBlock.micChannels[0][0], 0.0f);
}

TEST_F(SoundBlock, KaraokeStageRunsOnlyWhenOnAndReportsMonoOrStereo) {
  SetMusicBalance(-1.0f);
  SetMusic(2048, 3000.0f, -3000.0f);
  stereoWasMono_ = 0;
  std::vector<int16_t> out = Run(nullptr, 256, 16, 1);
  EXPECT_EQ(out[0], 3000);  // karaoke off: music as read
  EXPECT_EQ(stereoWasMono_, 1);
  soundBlock.karaokeOn = 1;
  out = Run(nullptr, 256, 16, 1);
  EXPECT_NE(out[0], 3000);
  EXPECT_EQ(stereoWasMono_, 0);  // the stereo generator ran
  EXPECT_EQ(soundBlock.prevCdStreaming, 1);
  soundBlock.stereoGeneratorOn = 0;
  Run(nullptr, 256, 16, 1);
  EXPECT_EQ(stereoWasMono_, 1);
  soundBlock.karaokeOn = 0;
  soundBlock.stereoGeneratorOn = 1;
  stereoWasMono_ = 0;
  Run(nullptr, 256, 16, 1);
  EXPECT_EQ(stereoWasMono_, 1);
}

TEST_F(SoundBlock, CdRingIsIdleAndSilentPresetsLeaveTheEffectBuffers) {
  // The CD ring delivers silence and no position.
  soundBlock.musicSource = WriteCdDataToFloat1;
  EXPECT_EQ(CddaStreamBytePosition(), 0);
  std::vector<int16_t> in(2 * 256, 12000);
  std::vector<int16_t> out = Run(in.data(), 256, 16, 1);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(soundBlock.cdMeterLevel, 0.0f);

  // A preset without output: the effect buffers stay as they were, and the microphone is not
  // in the output. Bypass gives silence from the chain.
  SetVoiceFX_Preset(&soundBlock.voiceFX, 10);
  soundBlock.fxChannels[0][0] = 123.0f;
  Run(in.data(), 256, 16, 1);
  EXPECT_EQ(soundBlock.fxChannels[0][0], 123.0f);
  soundBlock.voiceFX.bypass = 1;
  out = Run(in.data(), 256, 16, 1);
  EXPECT_EQ(soundBlock.fxChannels[0][0], 0.0f);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST_F(SoundBlock, VoiceFlagsWithoutFilesLeaveTheMicrophoneOnTheInput) {
  FiltersOff();
  std::vector<int16_t> in(2 * 512, -5000);
  soundBlock.voicePlaybackOn = 1;
  soundBlock.voiceRecordOn = 1;
  Run(in.data(), 512, 16, 1);
  EXPECT_EQ(soundBlock.micChannels[0][0], -5000.0f);
  EXPECT_EQ(soundBlock.recordSubBlockCount, 0);

  // Close requests left over while a direction is off have nothing to close and are
  // dropped, so they cannot close the next file.
  soundBlock.voicePlaybackOn = 0;
  soundBlock.voiceRecordOn = 0;
  soundBlock.voicePlaybackCloseRequest = 1;
  soundBlock.voiceRecordCloseRequest = 1;
  Run(in.data(), 512, 16, 1);
  EXPECT_EQ(soundBlock.voicePlaybackCloseRequest, 0);
  EXPECT_EQ(soundBlock.voiceRecordCloseRequest, 0);
}

std::string TempPath(const char* name) {
  return testing::TempDir() + name;
}

void WriteVoiceFile(const std::string& path, const std::vector<int16_t>& samples) {
  WaveFile file;
  waveFileInit(&file);
  waveFileSetFormat(&file, 22050, 1, 16);
  ASSERT_TRUE(waveFileOpenOut(&file, path.c_str()));
  ASSERT_EQ(wavWriteSamples(&file, samples.data(), static_cast<int>(samples.size())),
            static_cast<int>(samples.size()));
  ASSERT_TRUE(waveFileCloseOut(&file));
}

std::vector<int16_t> ReadVoiceFile(const std::string& path) {
  WaveFile file;
  waveFileInit(&file);
  if (!waveFileOpenIn(&file, path.c_str())) return {};
  std::vector<int16_t> samples(file.sampleCount);
  wavReadSamples(&file, samples.data(), file.sampleCount);
  waveFileCloseIn(&file);
  return samples;
}

TEST_F(SoundBlock, PlaybackFileIsTheMicrophoneAtTwiceItsRate) {
  FiltersOff();
  soundBlock.musicSource = WriteCdDataToFloat1;  // the CD ring: silent music
  std::vector<int16_t> voice(2048);
  for (int k = 0; k < 2048; ++k) voice[k] = static_cast<int16_t>(10 * k);
  const std::string path = TempPath("playback.wav");
  WriteVoiceFile(path, voice);
  waveFileInit(&soundBlock.voiceInFile);
  ASSERT_TRUE(waveFileOpenIn(&soundBlock.voiceInFile, path.c_str()));
  soundBlock.voicePlaybackGain = 0.5f;
  soundBlock.voicePlaybackOn = 1;
  soundBlock.voicePlaybackSeekRequest = 1;
  std::vector<int16_t> in(2 * 512, 9000);

  Run(in.data(), 512, 16, 0);  // without CD the input is the microphone
  EXPECT_EQ(soundBlock.micChannels[0][0], 9000.0f);
  EXPECT_EQ(soundBlock.voicePlaybackSeekRequest, 1);

  // With CD the file is: 256 samples for 512 frames, interpolated; the last sub-block holds
  // samples 128..255, starting halfway from sample 127.
  Run(in.data(), 512, 16, 1);
  EXPECT_EQ(soundBlock.voicePlaybackSeekRequest, 0);
  const float* mic = soundBlock.micChannels[0];
  EXPECT_EQ(mic[0], 0.5f * (1270 + 1280) / 2);
  EXPECT_EQ(mic[1], 0.5f * 1280);
  EXPECT_EQ(mic[2], 0.5f * (1280 + 1290) / 2);
  EXPECT_EQ(mic[255], 0.5f * 2550);
  EXPECT_FLOAT_EQ(soundBlock.micMeterLevel, MeterLevelFromPeak(0.5f * 2550));

  // A reverb preset adds a quarter of the dry file voice to the music; others do not. (The
  // chain in bypass reports silent output, which is what lets the dry part through.)
  soundBlock.voiceFX.bypass = 1;
  std::vector<int16_t> out = Run(in.data(), 512, 16, 1);  // samples 256..511
  EXPECT_EQ(out[2 * 511], 639);                           // 0.25 x 0.5 x 5110 = 638.75
  EXPECT_EQ(out[2 * 511 + 1], 639);
  soundBlock.voiceFX.presetNumber = 5;
  out = Run(in.data(), 512, 16, 1);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(out[i], 0) << i;

  soundBlock.voicePlaybackCloseRequest = 1;
  Run(in.data(), 512, 16, 1);
  EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceInFile));
  EXPECT_EQ(soundBlock.voicePlaybackOn, 0);
  EXPECT_EQ(soundBlock.voicePlaybackCloseRequest, 0);
}

TEST_F(SoundBlock, FailedVoiceReadGivesSilenceAndNoDryVoice) {
  FiltersOff();
  soundBlock.musicSource = WriteCdDataToFloat1;
  const std::string path = TempPath("failing.wav");
  WriteVoiceFile(path, std::vector<int16_t>(4096, 20000));
  waveFileInit(&soundBlock.voiceInFile);
  ASSERT_TRUE(waveFileOpenIn(&soundBlock.voiceInFile, path.c_str()));
  // The file turns into a pipe underneath, so the pending seek fails.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_GE(dup2(pipeEnds[0], soundBlock.voiceInFile.handle.load()), 0);
  waveFileSetPendingSeek(&soundBlock.voiceInFile, 1000);
  soundBlock.voicePlaybackOn = 1;
  soundBlock.voiceFX.bypass = 1;
  std::vector<int16_t> in(2 * 512, 9000);
  std::vector<int16_t> out = Run(in.data(), 512, 16, 1);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(soundBlock.micChannels[0][i], 0.0f) << i;
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(out[i], 0) << i;
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

TEST_F(SoundBlock, RecordingIsTheDryMicrophoneAtHalfRateAfterALeadIn) {
  std::vector<int16_t> in(2 * 4096);
  for (int i = 0; i < 4096; ++i) {
    in[2 * i] = static_cast<int16_t>((i * 7) % 2001 - 1000);
    in[2 * i + 1] = 12345;
  }
  const std::string path = TempPath("recording.wav");
  waveFileInit(&soundBlock.voiceOutFile);
  waveFileSetFormat(&soundBlock.voiceOutFile, 22050, 1, 16);
  ASSERT_TRUE(waveFileOpenOut(&soundBlock.voiceOutFile, path.c_str()));
  soundBlock.voiceRecordOn = 1;
  for (int call = 1; call <= 5; ++call) {
    Run(in.data(), 4096, 16, 1);
    EXPECT_EQ(soundBlock.recordSubBlockCount, 16 * call);
  }
  Run(nullptr, 4096, 16, 1);  // no input: nothing recorded, the count is left alone
  EXPECT_EQ(soundBlock.recordSubBlockCount, 80);
  soundBlock.voiceRecordCloseRequest = 1;
  Run(in.data(), 4096, 16, 0);  // CD stopped: the lead-in starts again; the file closes
  EXPECT_EQ(soundBlock.recordSubBlockCount, 0);
  EXPECT_FALSE(WaveFileIsOpen(soundBlock.voiceOutFile));
  EXPECT_EQ(soundBlock.voiceRecordOn, 0);
  EXPECT_EQ(soundBlock.voiceRecordCloseRequest, 0);

  // Three blocks and one sub-block (49 sub-blocks) are left out; then every pair of input
  // frames becomes one sample, averaged and truncated toward zero.
  std::vector<int16_t> expected;
  for (int call = 3; call <= 4; ++call)
    for (int i = call == 3 ? 256 : 0; i < 4096; i += 2)
      expected.push_back(static_cast<int16_t>((in[2 * i] + in[2 * i + 2]) / 2));
  EXPECT_EQ(ReadVoiceFile(path), expected);

  // An 8-bit microphone beyond full scale is limited to -32768 in the recording.
  std::vector<uint8_t> in8(2 * 4096, 0);
  waveFileInit(&soundBlock.voiceOutFile);
  waveFileSetFormat(&soundBlock.voiceOutFile, 22050, 1, 16);
  ASSERT_TRUE(waveFileOpenOut(&soundBlock.voiceOutFile, path.c_str()));
  soundBlock.voiceRecordOn = 1;
  for (int call = 0; call < 4; ++call) Run(in8.data(), 4096, 8, 1);
  soundBlock.voiceRecordCloseRequest = 1;
  Run(nullptr, 8, 8, 1);
  EXPECT_EQ(ReadVoiceFile(path), std::vector<int16_t>(15 * 128, -32768));
}

TEST_F(SoundBlock, LongBlocksEmptyBlocksAndMissingBuffers) {
  soundBlock.voiceFX.bypass = 1;  // the music alone
  SetMusicBalance(-1.0f);
  SetMusic(9000, 1234.0f, 0.0f);
  std::vector<int16_t> in(2 * 9000, 50);
  std::vector<int16_t> out = Run(in.data(), 9000, 16, 1);
  for (int i = 0; i < 9000; ++i) ASSERT_EQ(out[2 * i], 1234) << i;
  EXPECT_EQ(testMusic.position, 9000u);

  out = Run(in.data(), 0, 16, 0);
  EXPECT_EQ(soundBlock.prevCdStreaming, 0);

  FreeSoundBlockBuffers();
  out = Run(in.data(), 64, 16, 1);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(out[i], 0) << i;
}

}  // namespace

// Software monitoring mixes the live microphone, cleaned up and at the microphone gain, where
// the card's own path would carry it: effects off and presets 1-4, not 5-8. Off, the output
// is what it was without it, bit for bit.
TEST_F(SoundBlock, SoftwareMonitoringAddsTheDryVoiceWhereTheCardPathWould) {
  std::vector<int16_t> in(2 * 512);
  for (int i = 0; i < 512; ++i) in[2 * i] = static_cast<int16_t>(((i * 37) % 4001) - 2000);
  SetMicFilterSwitch(kMicNotch60, 0);  // the high-pass stays: the dry voice is cleaned up
  struct Case {
    int preset;
    int bypass;
    bool dry;
  };
  const Case cases[] = {{1, 0, true},  {2, 0, true},  {3, 0, true},  {4, 0, true}, {5, 0, false},
                        {6, 0, false}, {7, 0, false}, {8, 0, false}, {5, 1, true}};
  for (const Case& c : cases) {
    auto run = [&](int monitoring) {
      DefaultSoundBlock();
      SetMicFilterSwitch(kMicNotch60, 0);
      soundBlock.musicSource = TestMusicSource;
      SetMusic(512, 1000.0f, -1000.0f);
      SetVoiceFX_Preset(&soundBlock.voiceFX, c.preset);
      soundBlock.voiceFX.bypass = c.bypass;
      soundBlock.softwareMonitoring = monitoring;
      soundBlock.microphoneGain = 0.5f;
      return Run(in.data(), 512, 16, 1);
    };
    const std::vector<int16_t> without = run(0), with = run(1);
    // The cleaned-up microphone of the same call, as the block saw it in its last sub-block.
    DefaultSoundBlock();
    SetMicFilterSwitch(kMicNotch60, 0);
    std::vector<float> clean(512);
    for (int i = 0; i < 512; ++i) clean[i] = in[2 * i];
    ComputeIIR1(clean.data(), clean.data(), 512, &soundBlock.micHighPass[0]);
    int differing = 0;
    for (int i = 0; i < 512; ++i) {
      for (int ch = 0; ch < 2; ++ch) {
        const int delta = with[2 * i + ch] - without[2 * i + ch];
        const float expected = c.dry ? 0.5f * clean[i] : 0.0f;
        ASSERT_NEAR(delta, expected, c.dry ? 1.0f : 0.0f)
            << "preset " << c.preset << " frame " << i;
        differing += delta != 0;
      }
    }
    EXPECT_EQ(differing > 900, c.dry) << "preset " << c.preset;
  }
}

// With small blocks the meters still show the peak of 4096 frames: they update every
// 4096 / block frames calls, and a peak in any of those calls counts.
TEST_F(SoundBlock, MetersHoldTheirPeakAcrossSmallBlocks) {
  soundBlock.meterBlocks = 16;  // 256-frame blocks
  std::vector<int16_t> quiet(2 * 256, 100), loud(2 * 256, 100);
  loud[2 * 7] = 32000;
  SetMusic(16 * 256, 50.0f, 50.0f);
  for (int call = 0; call < 15; ++call) {
    Run(call == 3 ? loud.data() : quiet.data(), 256, 16, 1);
    ASSERT_EQ(soundBlock.micMeterLevel.load(), 0.0f) << "updated early, call " << call;
  }
  Run(quiet.data(), 256, 16, 1);
  EXPECT_FLOAT_EQ(soundBlock.micMeterLevel.load(), MeterLevelFromPeak(32000.0f));
  EXPECT_FLOAT_EQ(soundBlock.cdMeterLevel.load(), MeterLevelFromPeak(50.0f * 0.70710677f));
}
