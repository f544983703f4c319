// Singing through the engine on the simulated card paced in real time: who monitors the dry
// voice, the delay from microphone to speaker in each block geometry, the CD position the
// listener hears, and a take recorded and played back in step with the CD through an input
// overrun.
#include <thread>

#include "audio/audio_config.h"
#include "audio/cdda_consumer.h"
#include "audio/cdda_ring.h"
#include "audio/voicefile.h"
#include "settings/settings.h"
#include "tests/audio_io/engine_fixture.h"

using namespace testutil;

namespace {

class LiveVoiceTest : public EngineTest {
 protected:
  LiveVoiceTest() : saved_(settings) {
    settings.databasePath = dir_.Path() + "/";
    DefaultSoundBlock();
    ResetCddaRing();
  }
  ~LiveVoiceTest() override {
    CloseSound();
    waveFileCloseIn(&soundBlock.voiceInFile);
    waveFileCloseOut(&soundBlock.voiceOutFile);
    DefaultSoundBlock();
    voiceDisc = VoiceDisc{};
    settings = saved_;
  }

  static void UseBlockFrames(int frames) {
    settings.lowLatency = frames != kBlockFrames;
    settings.blockFrames = frames;
  }
  static void FiltersOff() {
    SetMicFilterSwitch(kMicHighPass, 0);
    SetMicFilterSwitch(kMicNotch60, 0);
    SetMicFilterSwitch(kMicNotch120, 0);
  }
  int64_t OutputFrames() const { return outputBytes_ ? outputBytes_->load() / 4 : 0; }
  bool WaitOutputFrames(int64_t frames) const {
    return WaitUntil([&] { return OutputFrames() >= frames; }, 20000);
  }

  // The simulated card recording a WAV file (or silence), its first read held at a gate until
  // the test has raised cdDataReady (the streaming thread clears it as it starts), so that the
  // CD music starts within the first blocks of the microphone. The output goes to outPath.
  SimAudioOptions GatedCard(const std::string& micPath, const std::string& outPath,
                            std::shared_ptr<PassGate> gate) {
    SimAudioOptions options;
    options.realTime = true;
    options.openSource = [gate, micPath](const WaveDeviceFormat& format) {
      SimPcmSource source = micPath.empty() ? SimPcmSource{} : WavFileSource(micPath, format);
      auto read = source.read;
      source.read = [gate, read](uint8_t* data, size_t bytes) -> size_t {
        gate->Pass();
        return read ? read(data, bytes) : 0;
      };
      return source;
    };
    options.openSink = [outPath](const WaveDeviceFormat& format) {
      return WavFileSink(outPath, format);
    };
    return options;
  }

  int StartGated(SimAudioOptions options, PassGate* gate) {
    const int result = Start(std::move(options));
    if (result == kInitSound_Ok) {
      gate->WaitReached();
      soundBlock.cdDataReady.store(1);
      gate->Open();
    }
    return result;
  }

  // A stereo microphone file of `frames` frames with a left-channel spike of `frameCount`
  // frames at each position.
  std::string MicFile(int64_t frames, const std::vector<int64_t>& at, int16_t value,
                      int frameCount) {
    std::vector<int16_t> mic(size_t(2 * frames), 0);
    for (int64_t f : at)
      for (int k = 0; k < frameCount; ++k) mic[size_t(2 * (f + k))] = value;
    const std::string path = dir_.File("mic.wav");
    EXPECT_TRUE(WriteWav(path, 44100, 2, 16, mic.data(), int32_t(mic.size())));
    return path;
  }

  // Frames of the left channel of a stereo WAV file whose value is `value`.
  static std::vector<int64_t> FramesWith(const std::string& path, int16_t value) {
    const std::vector<int16_t> out = ReadAll(path);
    std::vector<int64_t> found;
    for (size_t i = 0; i + 1 < out.size(); i += 2)
      if (out[i] == value) found.push_back(int64_t(i / 2));
    return found;
  }

  Settings saved_;
};

// What the output queue holds: 4 blocks of 4096 frames (371.5 ms) in the standard geometry,
// 3 of 256 (17.4 ms) in the low-latency mode.
struct Geometry {
  int blockFrames;
  int64_t delayFrames;
};
class GeometryTest : public LiveVoiceTest, public ::testing::WithParamInterface<Geometry> {};
INSTANTIATE_TEST_SUITE_P(LiveVoice, GeometryTest,
                         ::testing::Values(Geometry{4096, 16384}, Geometry{256, 768}),
                         [](const auto& info) { return std::to_string(info.param.blockFrames); });

}  // namespace

// The delay is measured: impulses in the microphone file go through the real streaming thread,
// paced in real time, into the speakers' file, with software monitoring and the effects off.
TEST_P(GeometryTest, AnImpulseReachesTheSpeakersAfterTheOutputQueue) {
  UseBlockFrames(GetParam().blockFrames);
  settings.monitoring = Monitoring::kSoftware;
  const std::vector<int64_t> impulses = {9001, 20011, 31123};
  const std::string mic = MicFile(40000, impulses, 24000, 1), out = dir_.File("out.wav");
  FiltersOff();
  soundBlock.voiceFX.bypass = 1;
  TraceCapture trace;
  ASSERT_EQ(Start(SimOptionsWithFiles(mic, out, true)), kInitSound_Ok);
  ASSERT_TRUE(WaitOutputFrames(40000 + GetParam().delayFrames));
  CloseSound();
  EXPECT_THAT(trace.Text(), HasSubstr("InitSound: Monitoring software\n"));
  EXPECT_THAT(trace.Text(), HasSubstr("Frames" + std::to_string(GetParam().blockFrames) + " "));

  // A block the card took back too late for even the one block of slack is lost and shortens
  // the delay by a block; the engine reports it. Otherwise the delay is the output queue.
  const int lost = soundDevices.lostBlocks.load();
  const std::vector<int64_t> heard = FramesWith(out, 24000);
  ASSERT_EQ(heard.size(), impulses.size());
  for (size_t i = 0; i < heard.size(); ++i) {
    const int64_t delay = heard[i] - impulses[i];
    if (lost == 0) {
      EXPECT_EQ(delay, GetParam().delayFrames) << "impulse " << i;
    } else {
      EXPECT_EQ(delay % GetParam().blockFrames, 0) << "impulse " << i;
      EXPECT_LE(delay, GetParam().delayFrames);
      EXPECT_GE(delay, GetParam().delayFrames - lost * GetParam().blockFrames);
    }
    RecordProperty("latency_ms_" + std::to_string(i), std::to_string(delay * 1000.0 / 44100));
  }
}

namespace {

// A CD reader stand-in: fills the ring with music whose left channel is its own frame number
// / 8 (and right silent), so each output sample tells which CD frame it is.
class PositionMusic {
 public:
  PositionMusic() : thread_([this] { Run(); }) {}
  ~PositionMusic() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    CddaRingState& r = cddaRing;
    int64_t frame = 0;
    while (!stop_) {
      const int slot = r.producerSlot.load();
      if ((slot - r.consumerSlot.load() + kRingSlots) % kRingSlots >= 12) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      int16_t* data = reinterpret_cast<int16_t*>(r.data[slot]);
      const int frames = kRingSlotBytes / 4;
      for (int i = 0; i < frames; ++i) {
        data[2 * i] = int16_t(std::min<int64_t>((frame + i) / 8, 32767));
        data[2 * i + 1] = 0;
      }
      r.slotByteOffset[slot] = int32_t(frame * 4);
      r.slotData[slot] = 0;
      r.slotLength[slot] = kRingSlotBytes;
      r.producerSlot.store((slot + 1) % kRingSlots);
      frame += frames;
    }
  }
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct HeardCheck {
  std::atomic<int> checked{0};
  std::atomic<int64_t> worstErrorMs{0};
  std::atomic<int64_t> leastConsumerLeadMs{INT64_MAX};
};

}  // namespace

// As each block finishes playing on the card, the position the listener hears is the CD
// frame of its last sample, within a tenth of a second; the ring consumer's own position runs
// ahead by the output queue.
TEST_P(GeometryTest, ThePositionHeardIsTheMusicLeavingTheCard) {
  UseBlockFrames(GetParam().blockFrames);
  auto check = std::make_shared<HeardCheck>();
  SimAudioOptions options;
  options.realTime = true;
  options.openSink = [check](const WaveDeviceFormat&) {
    SimPcmSink sink;
    sink.write = [check](const uint8_t* data, size_t bytes) {
      const std::vector<int16_t> s = Samples16(data + bytes - 4, 4);
      const int64_t frame = int64_t(s[0]) * 8 + 7;
      if (s[0] < 600 || s[0] >= 32767) return;  // the first tenth of a second, or the end
      const int64_t frameMs = frame * 1000 / 44100;
      const int64_t error = std::abs(CdPositionHeardMs() - frameMs);
      if (error > check->worstErrorMs) check->worstErrorMs = error;
      const int64_t lead = CddaStreamBytePosition() * 1000 / kCdBytesPerSecond - frameMs;
      if (lead < check->leastConsumerLeadMs) check->leastConsumerLeadMs = lead;
      ++check->checked;
    };
    return sink;
  };
  SetMusicBalance(-1.0f);  // the left channel at gain 1
  PositionMusic music;
  ASSERT_EQ(Start(options), kInitSound_Ok);
  ASSERT_TRUE(WaitOutputFrames(GetParam().blockFrames));  // streaming: cdDataReady cleared
  CddaSetDataReady(true);
  ASSERT_TRUE(WaitUntil([&] { return check->checked >= 12; }, 20000));
  ASSERT_TRUE(WaitOutputFrames(OutputFrames() + 44100 / 2));
  CloseSound();
  EXPECT_LT(check->worstErrorMs.load(), 100);
  // With the standard queue, following the ring consumer instead would be off by far more.
  if (GetParam().blockFrames == kBlockFrames) {
    EXPECT_GT(check->leastConsumerLeadMs.load(), 200);
  }
}

namespace {

// Signals that tell where they come from: value (frame / 2) mod 15000 + 1 at frame n of the CD
// or of the microphone, so a sample of the take or of the output names its frame pair.
int16_t FramePairValue(int64_t frame) {
  return int16_t((frame / 2) % 15000 + 1);
}
std::atomic<int64_t> cdFrame{0};
void FrameNumberedMusic(float* const channels[2], int bytes) {
  const int64_t first = cdFrame.fetch_add(bytes / 4);
  for (int i = 0; i < bytes / 4; ++i) {
    channels[0][i] = 0.0f;
    channels[1][i] = FramePairValue(first + i);
  }
}

}  // namespace

// A take recorded through the streaming and I/O threads while the card's input overruns once
// (93 ms of microphone lost, the CD held meanwhile), then played back over the track. Every
// sample of the take is the microphone of the CD frame it belongs to (the recorder leaves out
// three blocks and one sub-block: 12,544 frames at 4096, 1,024 at 256), and every note plays
// back at the CD frame where the file puts it.
TEST_P(GeometryTest, ATakeStaysAlignedWithTheCdThroughAnOverrun) {
  const int blockFrames = GetParam().blockFrames;
  UseBlockFrames(blockFrames);
  settings.monitoring = Monitoring::kSoftware;  // the speakers hear the microphone too
  const int64_t skip = (3 * blockFrames / 256 + 1) * 256;
  constexpr int64_t kStallAt = 28672, kLost = 4096, kMicFrames = 60000;
  constexpr int16_t kNote = 20000;
  // Microphone frames; the first note plays back after the playback's first block, which may
  // be silent until the I/O thread has read the take.
  const std::vector<int64_t> sung = {26000, 40000, 50000};
  voiceDisc = VoiceDisc{nullptr, 0x51a11ed0u, 0};
  auto setUpBlock = [] {
    DefaultSoundBlock();
    SetMicFilterSwitch(kMicHighPass, 0);
    SetMicFilterSwitch(kMicNotch60, 0);
    SetMusicBalance(1.0f);  // the music on the right only, at gain 1
    soundBlock.musicSource = FrameNumberedMusic;
    cdFrame = 0;
    soundBlock.voiceFX.bypass = 1;
    soundBlock.voiceFX.presetNumber = 1;  // the file voice is heard dry at a quarter
  };

  // Recording: the microphone's left channel names its frame pairs, with the notes over it.
  // The speakers get it dry on both sides, the music over it on the right: the first block with
  // music tells which microphone frame CD frame 0 met.
  int64_t firstCd = -1;
  {
    std::vector<int16_t> mic(2 * kMicFrames);
    for (int64_t f = 0; f < kMicFrames; ++f) mic[size_t(2 * f)] = FramePairValue(f);
    for (int64_t f : sung) mic[size_t(2 * f)] = mic[size_t(2 * f + 2)] = kNote;
    ASSERT_TRUE(WriteWav(dir_.File("mic.wav"), 44100, 2, 16, mic.data(), int32_t(mic.size())));
    auto gate = std::make_shared<PassGate>();
    SimAudioOptions options = GatedCard(dir_.File("mic.wav"), dir_.File("record-out.wav"), gate);
    options.inputStall = {kStallAt, kLost};
    setUpBlock();
    ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
    TraceCapture trace;
    ASSERT_EQ(StartGated(options, gate.get()), kInitSound_Ok);
    ASSERT_TRUE(WaitUntil([] { return cdFrame > kMicFrames; }, 20000));
    ASSERT_EQ(StopVoiceFileRecording(), 1);
    CloseSound();
    EXPECT_THAT(trace.Text(), HasSubstr("SimWaveDevice: capture overrun recovered (1 so far)\n"));
    const std::vector<int16_t> out = ReadAll(dir_.File("record-out.wav"));
    for (size_t i = 0; i + 1 < out.size() && firstCd < 0; i += 2)
      if (out[i + 1] != out[i] && out[i] != kNote)
        firstCd = (2 * (2 * int64_t(out[i]) - out[i + 1]) + 30000) % 30000;
  }
  const Bytes file = ReadBytes(VoiceRecordFileName());
  ASSERT_GT(file.size(), 44u);
  const std::vector<int16_t> take = Samples16(file.data() + 44, file.size() - 44);
  ASSERT_GT(take.size(), size_t(kMicFrames / 2 - skip));
  // Sample j holds CD frames skip + 2j and + 1: the microphone frames firstCd on, and kLost
  // more past the overrun.
  ASSERT_GE(firstCd, 0);
  EXPECT_EQ(firstCd % blockFrames, 0);
  std::vector<int64_t> notes;
  for (size_t j = 0; j < take.size(); ++j) {
    int64_t micFrame = skip + 2 * int64_t(j) + firstCd;
    if (micFrame >= kStallAt) micFrame += kLost;
    if (micFrame >= kMicFrames) break;
    if (take[j] == kNote) {
      notes.push_back(micFrame);
      continue;
    }
    ASSERT_EQ(take[j], FramePairValue(micFrame)) << "take sample " << j;
  }
  EXPECT_EQ(notes, sung);

  // Playback from the track's start: file sample j plays at CD frame 2j + 1, which the right
  // channel names beside the note on the left (both carry the quarter of the dry voice).
  {
    auto gate = std::make_shared<PassGate>();
    const std::string out = dir_.File("playback-out.wav");
    setUpBlock();
    ASSERT_EQ(StartVoiceFilePlayback(nullptr), 1);
    ASSERT_EQ(StartGated(GatedCard("", out, gate), gate.get()), kInitSound_Ok);
    ASSERT_TRUE(WaitUntil([&] { return cdFrame > int64_t(2 * take.size()); }, 20000));
    ASSERT_EQ(StopVoiceFilePlayback(), 1);
    CloseSound();
    const std::vector<int16_t> played = ReadAll(out);
    std::vector<int64_t> heard;  // CD frame pairs of the notes
    for (size_t i = 0; i + 1 < played.size(); i += 2)
      if (played[i] == kNote / 4) heard.push_back(played[i + 1] - kNote / 4 - 1);
    std::vector<int64_t> expected;
    for (int64_t f : sung) {
      const int64_t j = (f - (f >= kStallAt ? kLost : 0) - firstCd - skip) / 2;
      expected.push_back(((2 * j + 1) / 2) % 15000);
    }
    EXPECT_EQ(heard, expected);
  }
}

namespace {

struct MonitoringCase {
  bool playbackMicrophone;  // the card has a microphone line in its playback mix
  Monitoring setting;
  bool software;     // the engine mixes the dry voice
  uint32_t micMute;  // the card's playback microphone line after start-up and after the
                     // panel's unmute (no line: not looked at)
  const char* name;
};

class MonitoringTest : public LiveVoiceTest,
                       public ::testing::WithParamInterface<MonitoringCase> {};
INSTANTIATE_TEST_SUITE_P(
    LiveVoice, MonitoringTest,
    ::testing::Values(MonitoringCase{true, Monitoring::kAuto, false, 0, "AutoWithPath"},
                      MonitoringCase{false, Monitoring::kAuto, true, 0, "AutoWithoutPath"},
                      MonitoringCase{true, Monitoring::kHardware, false, 0, "Hardware"},
                      MonitoringCase{true, Monitoring::kSoftware, true, 1, "Software"},
                      MonitoringCase{true, Monitoring::kOff, false, 1, "Off"},
                      MonitoringCase{false, Monitoring::kHardware, false, 0, "NoPath"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// auto monitors in software when the playback mix has no microphone line (the card's line
// input there does not carry the microphone). Unless the card's
// path monitors, its line is muted at start-up and stays muted when the microphone panel
// unmutes it for a reverb preset; shutdown puts it back.
TEST_P(MonitoringTest, StartUpChoosesWhoMonitorsTheDryVoice) {
  const MonitoringCase& c = GetParam();
  settings.monitoring = c.setting;
  SimAudioOptions options;
  options.mixer.playbackMicrophone = c.playbackMicrophone;
  ASSERT_EQ(Start(options), kInitSound_Ok);
  EXPECT_EQ(soundBlock.softwareMonitoring.load(), c.software ? 1 : 0);
  if (!c.playbackMicrophone) return;
  EXPECT_EQ(CardValue(kMixerPlayback, kSimMicName, kControlMute), c.micMute);
  SetMute_Microphone(mixerState.mixer, &mixerState.table, kMixerPlayback, 0);
  EXPECT_EQ(CardValue(kMixerPlayback, kSimMicName, kControlMute), c.micMute);
  SetMute_Microphone(mixerState.mixer, &mixerState.table, kMixerPlayback, 1);
  EXPECT_EQ(CardValue(kMixerPlayback, kSimMicName, kControlMute), 1u);
  CloseSound();  // the mixer as found
  EXPECT_EQ(CardValue(kMixerPlayback, kSimMicName, kControlMute), 1u);
}
