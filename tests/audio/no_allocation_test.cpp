// The processing block runs on the audio thread with hard deadlines: no allocation, no lock,
// no system call. Allocations are counted by replacing the global operator new of this test
// program; system calls are refused by running the block in a child process under a seccomp
// filter that lets through only exit and the one call that wakes the voice files' I/O thread
// (a futex wake): a file call, a lock that waits, anything else kills the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/futex.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <filesystem>
#include <string>

#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"
#include "audio/voice_io.h"

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

// Runs body in a child process whose only allowed system calls are exit and a futex wake;
// returns its wait status.
int RunUnderAudioThreadFilter(void (*body)()) {
  static sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 6),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit, 5, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 4, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_futex, 0, 2),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, FUTEX_WAKE_PRIVATE, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  static sock_fprog program = {sizeof filter / sizeof filter[0], filter};
  const pid_t child = fork();
  if (child == 0) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      syscall(SYS_exit, 2);
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

// The filter itself: a file call and any other call are fatal, the I/O thread's wake is not.
TEST(AudioThreadFilter, KillsOnAFileCallAndLetsTheWakeThrough) {
#ifdef SORN_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer runtime makes system calls of its own";
#endif
  EXPECT_TRUE(WIFSIGNALED(RunUnderAudioThreadFilter([] { syscall(SYS_getpid); })));
  static int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(WIFSIGNALED(RunUnderAudioThreadFilter([] { (void)!write(fd, "x", 1); })));
  EXPECT_TRUE(WIFSIGNALED(RunUnderAudioThreadFilter([] { lseek(fd, 0, SEEK_SET); })));
  const int status = RunUnderAudioThreadFilter([] {
    static uint32_t word = 0;
    syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  });
  EXPECT_FALSE(WIFSIGNALED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  close(fd);
}

TEST_F(BlockOnTheAudioThread, MakesNoSystemCall) {
#ifdef SORN_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer runtime makes system calls of its own";
#endif
  int status = RunUnderAudioThreadFilter(RunEveryConfiguration);
  ASSERT_FALSE(WIFSIGNALED(status))
      << "killed by signal " << WTERMSIG(status) << ": the block made a system call";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Recording and playing back a take with the I/O thread running: the block hands samples over
// and wakes the thread, and makes no file call itself. The same voice work done by the block
// without the thread (the I/O thread's own work) is caught by the filter.
TEST_F(BlockOnTheAudioThread, VoiceFilesMakeNoFileCallOnTheAudioThread) {
#ifdef SORN_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer runtime makes system calls of its own";
#endif
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("sorn-voice-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(folder);
  const std::string take = folder + "/take.wav", old = folder + "/old.wav";
  WaveFile& out = soundBlock.voiceOutFile;
  WaveFile& in = soundBlock.voiceInFile;
  waveFileInit(&out);
  waveFileSetFormat(&out, 22050, 1, 16);
  ASSERT_TRUE(waveFileOpenOut(&out, old.c_str()));
  std::vector<int16_t> voice(22050, 3000);
  ASSERT_EQ(wavWriteSamples(&out, voice.data(), int32_t(voice.size())), int32_t(voice.size()));
  ASSERT_TRUE(waveFileCloseOut(&out));
  waveFileInit(&out);
  waveFileSetFormat(&out, 22050, 1, 16);
  ASSERT_TRUE(waveFileOpenOut(&out, take.c_str()));
  waveFileInit(&in);
  ASSERT_TRUE(waveFileOpenIn(&in, old.c_str()));

  static std::vector<int16_t> in16(2 * 4096, 1200), outBlock(2 * 4096);
  static WAVEFORMATEX format16;
  sndCompleteWaveFormatEx(&format16);
  static auto recordAndPlay = [](bool close) {
    int stereoWasMono = 1;
    for (int block = 0; block < 40; ++block) {
      const int frames = block % 2 ? 256 : 4096;
      soundBlock.voicePlaybackSeekRequest = block % 10 == 0;
      ProcessSoundBlock(in16.data(), outBlock.data(), frames, &format16, 1, &stereoWasMono);
    }
    soundBlock.voiceRecordCloseRequest = close;
    soundBlock.voicePlaybackCloseRequest = close;
    ProcessSoundBlock(in16.data(), outBlock.data(), 4096, &format16, 1, &stereoWasMono);
  };
  static auto withThread = [] { recordAndPlay(true); };
  static auto withoutThread = [] { recordAndPlay(false); };

  StartVoiceIoThread();
  soundBlock.voiceRecordOn = 1;
  soundBlock.voicePlaybackOn = 1;
  recordAndPlay(false);  // the FIFOs hold what a running engine's hold
  int status = RunUnderAudioThreadFilter(withThread);
  EXPECT_FALSE(WIFSIGNALED(status))
      << "killed by signal " << WTERMSIG(status) << ": the block made a system call";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  StopVoiceIoThread();

  // The probe catches the file calls the block would make without the thread.
  status = RunUnderAudioThreadFilter(withoutThread);
  EXPECT_TRUE(WIFSIGNALED(status));

  waveFileCloseOut(&out);
  waveFileCloseIn(&in);
  std::filesystem::remove_all(folder);
}

}  // namespace
