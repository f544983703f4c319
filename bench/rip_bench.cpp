// Rip speed on an image: track 1 of the demo disc (24 s) ripped to a WAV file by the CD reader
// in rip mode through the image drive, and by cd-paranoia (Debian package cd-paranoia) reading
// the same CUE/BIN image. Each iteration is timed with a wall clock (the reader, the writer
// threads and cd-paranoia's process all count). x_realtime is seconds of audio ripped per
// second; Rip/OursVersusCdParanoia rips with both in every iteration and reports the ratio of
// the two speeds measured in that one run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cd/aspi_drives.h"
#include "cd/cd_reader.h"
#include "cd/player.h"
#include "cd/ripper.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/host_layer.h"
#include "settings/settings.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct RipBench {
  std::string disc;    // the demo disc's image
  std::string folder;  // scratch folder for the ripped files
  double trackSeconds = 0.0;
  bool ready = false;
};

RipBench& Bench() {
  static RipBench bench;
  if (bench.ready || !bench.folder.empty()) return bench;
  char pattern[] = "/tmp/sorn-rip-bench-XXXXXX";
  bench.folder = mkdtemp(pattern) ? pattern : "/tmp";
  bench.disc = DemoDiscPath();
  SetTraceSink([](const std::string&) {});  // the rip's progress lines
  settings = Settings{};
  settings.databasePath = bench.folder + "/";
  SetLogFolderSource([] { return Bench().folder + "/"; });
  if (bench.disc.empty() || !fs::exists(bench.disc)) return bench;
  if (InitCdDrivesWithLayer(nullptr, CdHostLayer::FromDriveStrings({bench.disc})) != 0)
    return bench;
  ResetCdPlayer();
  SetMSFformat();
  CdTimerHandler(nullptr);
  if (player.cdState.load() != CD_STOP) return bench;
  const CdTrack& t = player.cdTrack[0];
  bench.trackSeconds = t.lengthMinutes * 60 + t.lengthSeconds + t.lengthFrames / 75.0;
  bench.ready = true;
  return bench;
}

// Rips track 1 with our reader; wall seconds, or -1 on failure.
double RipOurs(int jitterBuffer) {
  RipBench& b = Bench();
  settings.jitterBuffer = jitterBuffer;
  player.currentTrack = 0;
  SetRipOutputPath(b.folder + "/ours.wav");
  const auto start = Clock::now();
  CdReadDriver(nullptr, kReaderRip);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return LastRipResult().path.empty() ? -1.0 : seconds;
}

// Rips track 1 with cd-paranoia; wall seconds, or -1 when it cannot run or fails.
double RipCdParanoia() {
  RipBench& b = Bench();
  std::vector<std::string> args = {"cd-paranoia", "-q", "-d",
                                   b.disc,        "1",  b.folder + "/theirs.wav"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1.0;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1.0;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_Rip_Ours(benchmark::State& state) {
  if (!Bench().ready) {
    state.SkipWithError("no demo disc (build the demo_disc target)");
    return;
  }
  for (auto _ : state) {
    const double seconds = RipOurs(static_cast<int>(state.range(0)));
    if (seconds < 0) {
      state.SkipWithError("the rip failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * Bench().trackSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Rip_Ours)
    ->Name("Rip/Ours/jitter_buffer")
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Rip_CdParanoia(benchmark::State& state) {
  if (!Bench().ready) {
    state.SkipWithError("no demo disc (build the demo_disc target)");
    return;
  }
  for (auto _ : state) {
    const double seconds = RipCdParanoia();
    if (seconds < 0) {
      state.SkipWithError("cd-paranoia cannot rip the image (scripts/setup installs it)");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * Bench().trackSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Rip_CdParanoia)
    ->Name("Rip/CdParanoia")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Rip_OursVersusCdParanoia(benchmark::State& state) {
  if (!Bench().ready) {
    state.SkipWithError("no demo disc (build the demo_disc target)");
    return;
  }
  double ours = 0.0, theirs = 0.0;
  for (auto _ : state) {
    const double a = RipOurs(0);
    const double b = RipCdParanoia();
    if (a < 0 || b < 0) {
      state.SkipWithError("a rip failed (is cd-paranoia installed?)");
      return;
    }
    ours += a;
    theirs += b;
    state.SetIterationTime(a + b);
  }
  const double audio = static_cast<double>(state.iterations()) * Bench().trackSeconds;
  state.counters["ours_x_realtime"] = audio / ours;
  state.counters["paranoia_x_realtime"] = audio / theirs;
  state.counters["speed_ratio"] = theirs / ours;
}
BENCHMARK(BM_Rip_OursVersusCdParanoia)
    ->Name("Rip/OursVersusCdParanoia")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace
