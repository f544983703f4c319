#include "audio/streaming.h"

#include "audio/audio_config.h"
#include "audio/voicefile.h"
#include "settings/settings.h"
#include "tests/audio_io/engine_fixture.h"

using namespace testutil;

namespace {

constexpr int kMicBlocks = 12;
constexpr size_t kBlockBytes = 16384;

// CD music for the streaming tests: a deterministic signal of the frame number.
int64_t musicFrame = 0;
void TestMusic(float* const channels[2], int bytes) {
  for (int i = 0; i < bytes / 4; ++i, ++musicFrame) {
    channels[0][i] = float((musicFrame * 37) % 20001 - 10000);
    channels[1][i] = float((musicFrame * 91) % 16001 - 8000);
  }
}

std::vector<int16_t> Noise(size_t samples, uint32_t seed) {
  std::vector<int16_t> s(samples);
  for (size_t i = 0; i < samples; ++i) {
    seed = seed * 1664525u + 1013904223u;
    s[i] = int16_t(seed >> 17) - 8000;
  }
  return s;
}

class StreamingTest : public EngineTest {
 protected:
  StreamingTest() {
    settings.databasePath = dir_.Path() + "/";
    DefaultSoundBlock();
  }
  ~StreamingTest() override {
    CloseSound();
    waveFileCloseOut(&soundBlock.voiceOutFile);
    DefaultSoundBlock();
    voiceDisc = VoiceDisc{};
  }
};

std::atomic<int> drainedCalls{0};
std::atomic<bool> drainedResult{true};
bool CountDrained() {
  ++drainedCalls;
  return drainedResult.load();
}

}  // namespace

// A microphone WAV file goes in, the speakers' WAV file comes out, through the real streaming
// thread on the simulated card; the output is ProcessSoundBlock applied to the same blocks,
// after the four blocks of silence queued at opening. The dry voice is recorded on the way.
TEST_F(StreamingTest, FullDuplexOutputEqualsTheBlockProcessedOffline) {
  const auto mic = Noise(2 * 4096 * kMicBlocks, 7);
  ASSERT_TRUE(WriteWav(dir_.File("mic.wav"), 44100, 2, 16, mic.data(), int32_t(mic.size())));
  auto gate = std::make_shared<PassGate>();
  SimAudioOptions options;
  const std::string micPath = dir_.File("mic.wav"), outPath = dir_.File("out.wav");
  options.openSource = [gate, micPath](const WaveDeviceFormat& format) {
    SimPcmSource source = WavFileSource(micPath, format);
    auto read = source.read;
    source.read = [gate, read](uint8_t* data, size_t bytes) {
      gate->Pass();
      return read(data, bytes);
    };
    return source;
  };
  options.openSink = [outPath](const WaveDeviceFormat& format) {
    return WavFileSink(outPath, format);
  };

  soundBlock.musicSource = TestMusic;
  musicFrame = 0;
  voiceDisc = VoiceDisc{nullptr, 0x11111111u, 0};
  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  const std::string liveTake = VoiceRecordFileName();
  ASSERT_EQ(Start(options), kInitSound_Ok);
  gate->WaitReached();              // the thread has cleared cdDataReady and starts the input
  soundBlock.cdDataReady.store(1);  // so every block it processes has CD music
  gate->Open();
  ASSERT_TRUE(WaitOutputBlocks(4 + kMicBlocks + 2));
  ASSERT_EQ(StopVoiceFileRecording(), 1);
  CloseSound();

  // The card took blocks as fast as they came until CloseSound: the first ones are compared.
  const std::vector<int16_t> output = ReadAll(outPath);
  const int blocks = 4 + kMicBlocks + 2;
  ASSERT_GE(output.size(), size_t(blocks) * 2 * 4096);
  for (size_t i = 0; i < 4 * 2 * 4096; ++i) ASSERT_EQ(output[i], 0) << "queued silence " << i;

  // Offline: the same state, the same blocks, one call each.
  ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
  DefaultSoundBlock();
  soundBlock.musicSource = TestMusic;
  musicFrame = 0;
  voiceDisc = VoiceDisc{nullptr, 0x22222222u, 0};
  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  const std::string offlineTake = VoiceRecordFileName();
  WAVEFORMATEX format;
  sndCompleteWaveFormatEx(&format);
  int stereoWasMono = 1;
  std::vector<int16_t> in(2 * 4096), out(2 * 4096);
  bool musicHeard = false;
  for (int block = 0; block < blocks - 4; ++block) {
    std::fill(in.begin(), in.end(), int16_t{0});
    if (block < kMicBlocks)
      std::copy(mic.begin() + block * 2 * 4096, mic.begin() + (block + 1) * 2 * 4096, in.begin());
    ProcessSoundBlock(in.data(), out.data(), 4096, &format, 1, &stereoWasMono);
    const auto live = output.begin() + (4 + block) * 2 * 4096;
    ASSERT_TRUE(std::equal(out.begin(), out.end(), live)) << "block " << block;
    musicHeard |= std::any_of(out.begin(), out.end(), [](int16_t v) { return v != 0; });
  }
  EXPECT_TRUE(musicHeard);
  ASSERT_EQ(StopVoiceFileRecording(), 1);
  FreeSoundBlockBuffers();

  // The live take holds the microphone's dry voice exactly as the offline one.
  const Bytes a = ReadBytes(liveTake), b = ReadBytes(offlineTake);
  ASSERT_GT(a.size(), 44u + 2 * 4096);
  const size_t common = std::min(a.size(), b.size());
  EXPECT_TRUE(std::equal(a.begin() + 44, a.begin() + common, b.begin() + 44));
}

TEST_F(StreamingTest, TheEndOfACdRunIsHandedBackExactlyOnce) {
  drainedCalls = 0;
  drainedResult = true;
  SetStreamDrainedHandler(CountDrained);
  TraceCapture trace;
  ASSERT_EQ(Start({}), kInitSound_Ok);
  ASSERT_TRUE(WaitOutputBlocks(8));
  soundBlock.cdDataReady.store(1);
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 4));
  EXPECT_EQ(drainedCalls.load(), 0);
  soundBlock.cdDataReady.store(0);
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 8));
  EXPECT_EQ(drainedCalls.load(), 1);

  // A reader event that cannot be set is reported.
  drainedResult = false;
  soundBlock.cdDataReady.store(1);
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 4));
  soundBlock.cdDataReady.store(0);
  EXPECT_TRUE(TraceShows(trace, "ThreadProcessSound_WaveInWaveOut: Setevent 1 failed\n"));
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 4));
  EXPECT_EQ(drainedCalls.load(), 2);
}

TEST_F(StreamingTest, OutputOnlyProcessesEachReturnedBlockWithoutInput) {
  SimAudioOptions options;
  options.failInputOpen = kMmSysErrBadDeviceId;
  options.realTime = true;
  soundBlock.musicSource = TestMusic;
  drainedCalls = 0;
  SetStreamDrainedHandler(CountDrained);
  TraceCapture trace;
  ASSERT_EQ(Start(options), kInitSound_InputFailed);
  // The four blocks queued at opening are still playing when the thread starts: its writes of
  // them are refused and reported, and the queue goes on.
  EXPECT_TRUE(TraceShows(trace, "StartWAVDevices: waveOutWrite() failed on header3\n"));
  for (int i = 0; i < 3; ++i)
    EXPECT_THAT(trace.Text(), HasSubstr("StartWAVDevices: waveOutWrite() failed on header" +
                                        std::to_string(i) + "\n"));
  soundBlock.cdDataReady.store(1);
  ASSERT_TRUE(WaitOutputBlocks(7));
  soundBlock.cdDataReady.store(0);
  ASSERT_TRUE(WaitOutputBlocks(OutputBlocks() + 2));
  EXPECT_EQ(drainedCalls.load(), 1);
  CloseSound();
  EXPECT_TRUE(soundDevices.threadEnded.IsSet());
  for (int i = 0; i < kOutputHeaderCount; ++i) EXPECT_EQ(soundDevices.outWriteFailed[i].load(), 0);
}

namespace {
std::atomic<int64_t> countedMusicFrames{0};
void CountedMusic(float* const channels[2], int bytes) {
  std::fill_n(channels[0], bytes / 4, 12000.0f);
  std::fill_n(channels[1], bytes / 4, -12000.0f);
  countedMusicFrames += bytes / 4;
}
}  // namespace

// When every output block is still queued on the card, input blocks go on being processed
// (the CD is consumed, recording and meters continue) but nothing is written into a block the
// card may be reading.
TEST_F(StreamingTest, ABlockThatFindsNoFreeOutputIsProcessedButNotPlayed) {
  SimAudioOptions options;
  options.stallOutput = true;
  soundBlock.musicSource = CountedMusic;
  countedMusicFrames = 0;
  ASSERT_EQ(Start(options), kInitSound_Ok);
  // The thread clears cdDataReady once when it starts: set it until music is taken.
  WaitUntil(
      [] {
        soundBlock.cdDataReady.store(1);
        return countedMusicFrames.load() > 0;
      },
      10000);
  const int64_t seen = countedMusicFrames.load();
  EXPECT_TRUE(WaitUntil([&] { return countedMusicFrames.load() >= seen + 8 * 4096; }, 10000));
  EXPECT_NE(soundBlock.cdMeterLevel.load(), 0.0f);
  for (const auto& buffer : soundDevices.outBuffers)
    EXPECT_TRUE(std::all_of(buffer, buffer + 16384, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(OutputBlocks(), 0);
}
