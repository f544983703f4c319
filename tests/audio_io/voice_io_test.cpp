// The hand-over between the audio thread and the voice files' I/O thread: the lock-free FIFO,
// the doorbell, and what becomes of a take when the I/O thread falls behind.
#include "audio/voice_io.h"

#include <thread>

#include "audio/sound_block.h"
#include "audio/voicefile.h"
#include "settings/settings.h"
#include "tests/audio_io/engine_fixture.h"

using namespace testutil;

namespace {

struct Item {
  uint64_t serial = 0;
  uint64_t check = 0;
};

}  // namespace

// One producer and one consumer thread: every item arrives once, in order, complete; a full
// FIFO refuses the producer and an empty one the consumer.
TEST(SpscFifo, CarriesEveryItemInOrderBetweenTwoThreads) {
  static SpscFifo<Item, 256> fifo;
  EXPECT_EQ(fifo.Front(), nullptr);
  for (int i = 0; i < 256; ++i) {
    ASSERT_NE(fifo.Back(), nullptr);
    fifo.Push();
  }
  EXPECT_EQ(fifo.Back(), nullptr);
  while (fifo.Front()) fifo.Pop();

  constexpr uint64_t kItems = 50000;
  std::thread producer([] {
    for (uint64_t n = 1; n <= kItems;) {
      Item* item = fifo.Back();
      if (!item) {
        std::this_thread::yield();
        continue;
      }
      item->serial = n;
      item->check = n * 2654435761u;
      fifo.Push();
      ++n;
    }
  });
  uint64_t expected = 1;
  while (expected <= kItems) {
    Item* item = fifo.Front();
    if (!item) {
      std::this_thread::yield();
      continue;
    }
    ASSERT_EQ(item->serial, expected);
    ASSERT_EQ(item->check, expected * 2654435761u);
    fifo.Pop();
    ++expected;
  }
  producer.join();
  EXPECT_EQ(fifo.Size(), 0u);
}

// A ring while nobody waits is kept for the next wait; a wait without a ring times out; a ring
// from another thread wakes the sleeper.
TEST(Doorbell, KeepsARingAndWakesASleeper) {
  Doorbell bell;
  bell.Ring();
  EXPECT_TRUE(bell.Wait(5000));
  EXPECT_FALSE(bell.Wait(1));
  std::atomic<bool> woken{false};
  std::thread sleeper([&] { woken = bell.Wait(60000); });
  // Ring until the sleeper is through: a ring before it sleeps is kept, one after wakes it.
  while (!woken) {
    bell.Ring();
    std::this_thread::yield();
    if (woken) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  sleeper.join();
  EXPECT_TRUE(woken);
}

namespace {

class VoiceIoTest : public ::testing::Test {
 protected:
  VoiceIoTest() {
    settings.databasePath = dir_.Path() + "/";
    voiceDisc = VoiceDisc{nullptr, 0x12345678u, 0};
    ResetCddaRing();
    EXPECT_EQ(AllocateSoundBlockBuffers(), 1);
    DefaultSoundBlock();
    SetMicFilterSwitch(kMicHighPass, 0);
    SetMicFilterSwitch(kMicNotch60, 0);
    soundBlock.musicSource = [](float* const channels[2], int bytes) {
      std::fill_n(channels[0], bytes / 4, 0.0f);
      std::fill_n(channels[1], bytes / 4, 0.0f);
    };
    sndCompleteWaveFormatEx(&format_);
  }
  ~VoiceIoTest() override {
    voiceIo.threadRunning = 0;
    waveFileCloseIn(&soundBlock.voiceInFile);
    waveFileCloseOut(&soundBlock.voiceOutFile);
    FreeSoundBlockBuffers();
    DefaultSoundBlock();
    voiceDisc = VoiceDisc{};
  }
  void Run(const int16_t* in) {
    ProcessSoundBlock(in, out_.data(), 4096, &format_, 1, &stereoWasMono_);
  }

  TempDir dir_;
  WAVEFORMATEX format_;
  std::vector<int16_t> out_ = std::vector<int16_t>(2 * 4096);
  int stereoWasMono_ = 1;
};

}  // namespace

// The I/O thread stalls (a slow disk) while the FIFO fills: what it cannot take becomes silence
// in the take at its place, and everything after lands where it belongs.
TEST_F(VoiceIoTest, ATakeKeepsItsTimingWhenTheIoThreadFallsBehind) {
  // The microphone's value tells its frame: frame f holds f / 2 (mod 30000) + 1, so take
  // sample j (CD frames 12544 + 2j and + 1) holds 6272 + j (mod 30000) + 1.
  std::vector<int16_t> in(2 * 4096);
  ASSERT_EQ(StartVoiceFileRecording(nullptr), 1);
  constexpr int kStalled = 80, kBlocks = 85;
  for (int block = 0; block < kBlocks; ++block) {
    // The thread counts as running but takes nothing; then the disk is back, and the block
    // does the I/O itself again.
    voiceIo.threadRunning = block < kStalled;
    for (int i = 0; i < 4096; ++i) in[2 * i] = int16_t(((block * 4096 + i) / 2) % 30000 + 1);
    if (block == kStalled) {
      EXPECT_GT(voiceIo.recordGaps.load(), 0);
    }
    soundBlock.voiceRecordCloseRequest = block == kBlocks - 1;
    Run(in.data());
  }
  ASSERT_FALSE(WaveFileIsOpen(soundBlock.voiceOutFile));

  const Bytes file = ReadBytes(VoiceRecordFileName());
  const std::vector<int16_t> take = Samples16(file.data() + 44, file.size() - 44);
  ASSERT_EQ(int64_t(take.size()), (int64_t(kBlocks) * 4096 - 12544) / 2);
  int64_t silent = 0;
  for (size_t j = 0; j < take.size(); ++j) {
    if (take[j] == 0) {
      ++silent;
      continue;
    }
    ASSERT_EQ(take[j], int16_t((6272 + j) % 30000 + 1)) << "sample " << j;
  }
  EXPECT_EQ(silent, voiceIo.recordGaps.load());
  EXPECT_NE(take.back(), 0);  // the blocks after the stall are in the take where they belong
}

// Playback whose samples arrive late: the blocks before them are silent, and the first samples
// heard are those of the CD position then, not the file's start.
TEST_F(VoiceIoTest, PlaybackThatArrivesLateStaysInStepWithTheCd) {
  std::vector<int16_t> voice(40000);
  for (size_t k = 0; k < voice.size(); ++k) voice[k] = int16_t(k % 30000 + 1);
  const std::string path = VoiceFileName(voiceDisc, 0);
  ASSERT_TRUE(WriteWav(path, 22050, 1, 16, voice.data(), int32_t(voice.size())));
  ASSERT_EQ(StartVoiceFilePlayback(nullptr), 1);
  voiceIo.threadRunning = 1;  // nothing is read yet
  for (int block = 0; block < 3; ++block) {
    Run(nullptr);
    ASSERT_EQ(soundBlock.micChannels[0][255], 0.0f) << "block " << block;
  }
  ServiceVoiceIo();  // the I/O thread catches up
  Run(nullptr);
  // Block 3 ends with file sample 4 x 2048 - 1.
  EXPECT_EQ(soundBlock.micChannels[0][255], float(4 * 2048 - 1 + 1));
  voiceIo.threadRunning = 0;
  Run(nullptr);
  EXPECT_EQ(soundBlock.micChannels[0][255], float(5 * 2048 - 1 + 1));
}
