// The windowed program under Xvfb: the time from starting the process to the first frame its
// main window paints, and its resident memory once it runs on the demo disc with the sound
// engine going (2 s after start). One X server serves every run.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

namespace {

// Starts Xvfb on a free display; its number, or -1.
int StartXvfb(pid_t* server) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  *server = fork();
  if (*server == 0) {
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char text[16] = {};
  const ssize_t n = read(fds[0], text, sizeof text - 1);
  close(fds[0]);
  return n > 0 ? std::atoi(text) : -1;
}

void AppStartup(benchmark::State& state) {
  if (QStandardPaths::findExecutable("Xvfb").isEmpty()) {
    state.SkipWithError("Xvfb is not installed");
    return;
  }
  pid_t server = 0;
  const int display = StartXvfb(&server);
  if (display < 0) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  double firstFrameMs = 0, residentKb = 0;
  int runs = 0;
  for (auto _ : state) {
    QTemporaryDir folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":" + QString::number(display));
    env.remove("QT_QPA_PLATFORM");
    env.insert("SORN_AUDIO", "sim");
    env.insert("SORN_TRACE_STARTUP", "1");
    env.insert("SORN_QUIT_AFTER_MS", "2000");
    env.insert("SORN_CONFIG_DIR", folder.path() + "/config");
    env.insert("XDG_DATA_HOME", folder.path() + "/data");
    env.insert("SORN_DRIVES", "image:" SORN_BENCH_BUILD_DIR "/demo/demo.cue");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    program.start(SORN_BENCH_BUILD_DIR "/app/sorn-karaoke", {});
    std::string seen;
    double frameMs = -1;
    while (program.state() != QProcess::NotRunning || program.bytesAvailable() > 0) {
      program.waitForReadyRead(50);
      seen += program.readAll().toStdString();
      if (frameMs < 0 && seen.find("WinMain: first frame painted") != std::string::npos)
        frameMs = clock.nsecsElapsed() / 1e6;
      if (program.state() == QProcess::NotRunning && program.bytesAvailable() == 0) break;
    }
    program.waitForFinished(30000);
    const size_t at = seen.find("WinMain: resident memory");
    if (frameMs < 0 || at == std::string::npos) {
      state.SkipWithError(("the program did not report its start-up: " + seen).c_str());
      break;
    }
    firstFrameMs += frameMs;
    residentKb += std::atof(seen.c_str() + at + 24);
    ++runs;
  }
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  if (runs > 0) {
    state.counters["first_frame_ms"] = firstFrameMs / runs;
    state.counters["resident_MB"] = residentKb / runs / 1024.0;
  }
}
BENCHMARK(AppStartup)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
