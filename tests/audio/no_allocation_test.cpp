// The processing block runs on the audio thread with hard deadlines: no allocation, no lock,
// no system call. Allocations are counted by replacing the global operator new of this test
// program; system calls are refused by running the block in a child process under strict
// seccomp, where anything but read, write and exit kills the process.
#include <gtest/gtest.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"

// The sanitizer runtimes replace the allocator themselves; under them these checks are off.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SORN_UNDER_SANITIZER 1
#endif

namespace {
std::atomic<bool> countAllocations{false};
std::atomic<int> allocations{0};
}  // namespace

#ifndef SORN_UNDER_SANITIZER
void* operator new(std::size_t size) {
  if (countAllocations.load(std::memory_order_relaxed)) allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
#endif

namespace {

void MusicSource(float* const channels[2], int bytes) {
  for (int i = 0; i < bytes / 4; ++i) {
    channels[0][i] = static_cast<float>(i * 37 % 20000);
    channels[1][i] = -channels[0][i];
  }
}

// Voice reduction on and every voice-effect preset at both ends of its variation, with the
// parameter changes the window thread asks for applied on the way.
void RunEveryPreset(const int16_t* in, int16_t* out, const WAVEFORMATEX* format) {
  int stereoWasMono = 1;
  soundBlock.karaokeOn = 1;
  SetKaraokeParameter(kKaraokeCrossoverOrder, 16.0f);
  SetKaraokeParameter(kStereoGeneratorBands, 500.0f);
  for (int preset = 1; preset <= kVoiceFXPresets; ++preset) {
    if (preset == 9) continue;  // refused on the window thread's side
    SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXPreset, static_cast<float>(preset));
    for (float variation : {0.0f, 1.0f}) {
      SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXVariation, variation);
      ProcessSoundBlock(in, out, 4096, format, 1, &stereoWasMono);
    }
  }
  SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXMidiNote, 60.0f);
  SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXReverbDecay, 3.0f);
  SetKaraokeParameter(kKaraokeCrossoverOrder, 4.0f);
  ProcessSoundBlock(in, out, 4096, format, 1, &stereoWasMono);
  SetVoiceFXParameter(&soundBlock.voiceFX, kVoiceFXPreset, 1.0f);
  ProcessSoundBlock(in, out, 4096, format, 1, &stereoWasMono);
}

// Every configuration of the block the engine can meet today, twice over.
void RunEveryConfiguration() {
  static std::vector<int16_t> in16(2 * 9000, 1200);
  static std::vector<uint8_t> in8(2 * 4096, 100);
  static std::vector<int16_t> out(2 * 9000);
  WAVEFORMATEX format16, format8;
  format8.wBitsPerSample = 8;
  sndCompleteWaveFormatEx(&format16);
  sndCompleteWaveFormatEx(&format8);
  int stereoWasMono = 1;
  for (int round = 0; round < 2; ++round) {
    soundBlock.karaokeOn = round;
    soundBlock.notch120On = 1 - round;
    soundBlock.voicePlaybackOn = round;
    soundBlock.voiceRecordOn = round;
    soundBlock.cdLevel = 0.3f + round;
    for (int cdActive = 0; cdActive < 2; ++cdActive) {
      ProcessSoundBlock(in16.data(), out.data(), 4096, &format16, cdActive, &stereoWasMono);
      ProcessSoundBlock(in8.data(), out.data(), 4096, &format8, cdActive, &stereoWasMono);
      ProcessSoundBlock(nullptr, out.data(), 4096, &format16, cdActive, &stereoWasMono);
      ProcessSoundBlock(in16.data(), out.data(), 264, &format16, cdActive, &stereoWasMono);
      ProcessSoundBlock(in16.data(), out.data(), 9000, &format16, cdActive, &stereoWasMono);
    }
  }
  RunEveryPreset(in16.data(), out.data(), &format16);
}

// Runs body in a child process that may only read, write and exit; returns its wait status.
int RunUnderStrictSeccomp(void (*body)()) {
  const pid_t child = fork();
  if (child == 0) {
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) syscall(SYS_exit, 2);
    body();
    syscall(SYS_exit, 0);
  }
  int status = 0;
  EXPECT_GE(child, 0);
  EXPECT_EQ(waitpid(child, &status, 0), child);
  return status;
}

class BlockOnTheAudioThread : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AllocateSoundBlockBuffers(), 1);
    DefaultSoundBlock();
    InitMicrophoneFilters(44100.0);
    SetMicFilterSwitch(kMicNotch120, 1);
    soundBlock.musicSource = MusicSource;
    RunEveryConfiguration();  // warm up: kernels chosen, statics initialised
  }
  void TearDown() override {
    FreeSoundBlockBuffers();
    DefaultSoundBlock();
    DefaultKaraokeStage();
  }
};

TEST_F(BlockOnTheAudioThread, AllocatesNothing) {
#ifdef SORN_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer owns the allocator";
#endif
  // The counter itself works.
  countAllocations = true;
  void* volatile probe = ::operator new(16);
  ::operator delete(probe);
  countAllocations = false;
  ASSERT_EQ(allocations.exchange(0), 1);

  countAllocations = true;
  RunEveryConfiguration();
  countAllocations = false;
  EXPECT_EQ(allocations.load(), 0);
}

TEST_F(BlockOnTheAudioThread, MakesNoSystemCall) {
#ifdef SORN_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer runtime makes system calls of its own";
#endif
  int status = RunUnderStrictSeccomp(RunEveryConfiguration);
  ASSERT_FALSE(WIFSIGNALED(status))
      << "killed by signal " << WTERMSIG(status) << ": the block made a system call";
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // The check itself works: a system call in the child is fatal.
  status = RunUnderStrictSeccomp([] { syscall(SYS_getpid); });
  EXPECT_TRUE(WIFSIGNALED(status));
}

}  // namespace
