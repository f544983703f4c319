// The engine on the sound card the configuration names: the simulated card wired to WAV files,
// and ALSA for real through the test's asoundrc (the file plugin over the null device and the
// test mixer).
#include "audio/audio_config.h"

#include <filesystem>

#include "platform/audio/alsa_audio.h"
#include "tests/audio_io/alsa_test_config.h"
#include "tests/audio_io/engine_fixture.h"

using namespace testutil;

namespace {

class ConfiguredEngineTest : public EngineTest {
 protected:
  ConfiguredEngineTest() { SetAudioBackend(nullptr); }
};

}  // namespace

TEST_F(ConfiguredEngineTest, TheSimulatedCardPlaysIntoTheConfiguredWavFile) {
  const std::string out = dir_.File("speakers.wav");
  ScopedEnv backend("SORN_AUDIO", "sim");
  ScopedEnv pacing("SORN_SIM_PACING", "fast");
  ScopedEnv output("SORN_SIM_OUTPUT", out);
  ScopedEnv input("SORN_SIM_INPUT", dir_.File("missing.wav"));
  TraceCapture trace;
  ASSERT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_Ok);
  EXPECT_STREQ(CurrentAudioBackend()->Name(), "sim");
  CloseSound();
  EXPECT_THAT(trace.Text(), HasSubstr("WavFileSource: Unable to open '" + dir_.File("missing.wav") +
                                      "', recording silence\n"));
  WavePcmFormat format;
  // At least the silence queued at opening was played.
  EXPECT_GE(ReadAll(out, &format).size(), 4u * 2 * 4096);
  EXPECT_EQ(format.nChannels, 2);
  EXPECT_EQ(format.nSamplesPerSec, 44100u);
}

TEST_F(ConfiguredEngineTest, AMachineWithoutSoundCardFallsBackToTheSimulatedCard) {
  if (AlsaSoundCardPresent()) GTEST_SKIP() << "this machine has a sound card";
  ScopedEnv backend("SORN_AUDIO", "auto");
  ScopedEnv pacing("SORN_SIM_PACING", "fast");
  TraceCapture trace;
  EXPECT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_Ok);
  EXPECT_STREQ(CurrentAudioBackend()->Name(), "sim");
  EXPECT_THAT(trace.Text(),
              HasSubstr("InitSound: no sound card found, using the simulated sound card\n"));
}

TEST_F(ConfiguredEngineTest, AlsaWithoutAnyMixerGivesCode5) {
  AlsaTestConfig alsa;
  ScopedEnv backend("SORN_AUDIO", "alsa");
  ScopedEnv device("SORN_AUDIO_DEVICE", "sornfile");
  ScopedEnv mixer("SORN_AUDIO_MIXER", "sorn_no_such_mixer");
  TraceCapture trace;
  EXPECT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_MixerFailed);
  EXPECT_STREQ(CurrentAudioBackend()->Name(), "alsa");
  EXPECT_THAT(trace.Text(), HasSubstr("InitSound: No mixer devices installed.\n"));
  EXPECT_EQ(soundDevices.waveOutHandle.load(), nullptr);
}

TEST_F(ConfiguredEngineTest, MissingAndBusyAlsaDevicesGiveCode3WithTheirLines) {
  AlsaTestConfig alsa;
  ScopedEnv backend("SORN_AUDIO", "alsa");
  ScopedEnv mixer("SORN_AUDIO_MIXER", "sorncard");
  const std::pair<const char*, const char*> cases[] = {
      {"sorn_no_such_device", "mmr=2 MMSYSERR_BADDEVICEID\n"},
      {"sornbusy", "mmr=4 MMSYSERR_ALLOCATED\n"},
  };
  for (const auto& [name, line] : cases) {
    ScopedEnv device("SORN_AUDIO_DEVICE", name);
    SetAudioBackend(nullptr);
    TraceCapture trace;
    EXPECT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_NoDevices) << name;
    EXPECT_THAT(trace.Text(),
                HasSubstr(std::string("OpenSound_OutputWAVDevice: Failed to open WAV out "
                                      "device\n") +
                          line))
        << trace.Text();
    EXPECT_THAT(trace.Text(),
                HasSubstr("OpenSound_InputWAVDevice: Uh oh.  Failed to open at 8-bits, "
                          "44100 Hz\n"));
    CloseSound();
  }
}

TEST_F(ConfiguredEngineTest, AlsaFullDuplexThroughTheFilePluginAndTheTestMixer) {
  AlsaTestConfig alsa;
  // Half a second of microphone for the capture side.
  const Bytes mic(44100 * 4 / 2, 0x11);
  WriteBytes(alsa.CaptureFile(), mic);
  ScopedEnv backend("SORN_AUDIO", "alsa");
  ScopedEnv device("SORN_AUDIO_DEVICE", "sornduplex");
  ScopedEnv mixer("SORN_AUDIO_MIXER", "sorncard");
  TraceCapture trace;
  ASSERT_EQ(InitSound(nullptr, nullptr, kSubBlockDivisor), kInitSound_Ok) << trace.Text();
  EXPECT_THAT(trace.Text(), HasSubstr("InitSound: Block256 Frames4096"));
  // The karaoke set-up reached the card: the microphone is recorded, the outputs unmuted.
  EXPECT_EQ(alsa.CardValue("Capture Source", 0), 0);  // "Mic"
  EXPECT_EQ(alsa.CardValue("Master Playback Switch", 0), 1);
  EXPECT_EQ(alsa.CardValue("Mic Playback Switch", 0), 1);
  EXPECT_EQ(alsa.CardValue("PCM Playback Volume", 0), long(58982 * 255.0 / 65535 + 0.5));
  EXPECT_EQ(alsa.CardValue("Capture Switch", 0), 1);
  EXPECT_EQ(alsa.CardValue("Capture Volume", 0), long(58982 * 15.0 / 65535 + 0.5));

  // Blocks flow: the played file grows past the four blocks of silence queued at opening. The
  // null device takes blocks as fast as they come, so the engine is stopped at once.
  std::error_code error;
  WaitUntil([&] { return std::filesystem::file_size(alsa.PlayedFile(), error) >= 6 * 16384; },
            10000);
  CloseSound();
  const Bytes played = ReadBytes(alsa.PlayedFile(), 6 * 16384);
  ASSERT_GE(played.size(), 6u * 16384);
  EXPECT_TRUE(
      std::all_of(played.begin(), played.begin() + 4 * 16384, [](uint8_t b) { return b == 0; }));
  // Shutdown put the mutes and volumes back as they were found; the recording source is not
  // part of what is restored.
  EXPECT_EQ(alsa.CardValue("Capture Source", 0), 0);
  EXPECT_EQ(alsa.CardValue("Mic Playback Switch", 0), 0);
  EXPECT_EQ(alsa.CardValue("PCM Playback Volume", 0), 200);
  EXPECT_EQ(alsa.CardValue("Capture Switch", 0), 0);
}

TEST(WavFileSource, ConvertsMonoAndEightBitFilesToTheDeviceFormat) {
  TempDir dir;
  const std::string path = dir.File("mono.wav");
  const int16_t samples[3] = {1000, -256, 32767};
  ASSERT_TRUE(WriteWav(path, 44100, 1, 16, samples, 3));

  WaveDeviceFormat stereo16;
  SimPcmSource source = WavFileSource(path, stereo16);
  ASSERT_TRUE(source.read);
  Bytes out(20, 0xAA);
  EXPECT_EQ(source.read(out.data(), 20), 12u);  // three frames, then the card's silence
  EXPECT_EQ(Samples16(out.data(), 12),
            (std::vector<int16_t>{1000, 1000, -256, -256, 32767, 32767}));
  source.close();

  WaveDeviceFormat stereo8;
  stereo8.wBitsPerSample = 8;
  CompleteWaveDeviceFormat(&stereo8);
  source = WavFileSource(path, stereo8);
  Bytes small(6);
  EXPECT_EQ(source.read(small.data(), 6), 6u);
  EXPECT_EQ(small, (Bytes{128 + 3, 128 + 3, 128 - 1, 128 - 1, 255, 255}));
  source.close();
}
