// Microphone to speaker: impulses sung into the simulated card's microphone, paced in real
// time, go through the real streaming thread with software monitoring and the effects off, and
// are found again in what the card plays. Reported per block size:
//   queue_ms     how far behind the microphone the impulses are in the played stream
//   measured_ms  mean wall-clock time from the end of the input block that held an impulse to
//                the end of the output block that played it (the card's own clock)
//   max_ms       the longest of those
//   lost_blocks  output blocks the engine lost to a card that took them back too late
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "audio/sound_block.h"
#include "audio/sound_init.h"
#include "audio/streaming.h"
#include "platform/audio/sim_audio.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kImpulseEvery = 8821;  // frames: about 0.2 s, never on a block boundary
constexpr int kImpulses = 10;

struct Measure {
  std::mutex lock;
  std::map<int, Clock::time_point> sung;   // impulse number -> end of its input block
  std::map<int, Clock::time_point> heard;  // impulse number -> end of its output block
  std::map<int, int64_t> sungAt, heardAt;  // frame positions in the streams
  int64_t inFrames = 0, outFrames = 0;
};

// Impulse k is 1000 x (k + 1) on the left channel at frame (k + 1) x kImpulseEvery.
SimAudioOptions Card(std::shared_ptr<Measure> m) {
  SimAudioOptions options;
  options.realTime = true;
  options.openSource = [m](const WaveDeviceFormat&) {
    SimPcmSource source;
    source.read = [m](uint8_t* data, size_t bytes) {
      std::memset(data, 0, bytes);
      auto* s = reinterpret_cast<int16_t*>(data);
      const auto now = Clock::now();
      std::lock_guard<std::mutex> guard(m->lock);
      for (size_t i = 0; i < bytes / 4; ++i, ++m->inFrames) {
        const int64_t k = m->inFrames / kImpulseEvery - 1;
        if (m->inFrames % kImpulseEvery == 0 && k >= 0 && k < kImpulses) {
          s[2 * i] = int16_t(1000 * (k + 1));
          m->sung[int(k)] = now;
          m->sungAt[int(k)] = m->inFrames;
        }
      }
      return bytes;
    };
    return source;
  };
  options.openSink = [m](const WaveDeviceFormat&) {
    SimPcmSink sink;
    sink.write = [m](const uint8_t* data, size_t bytes) {
      const auto* s = reinterpret_cast<const int16_t*>(data);
      const auto now = Clock::now();
      std::lock_guard<std::mutex> guard(m->lock);
      for (size_t i = 0; i < bytes / 4; ++i, ++m->outFrames) {
        const int k = s[2 * i] / 1000 - 1;
        if (s[2 * i] % 1000 == 0 && k >= 0 && k < kImpulses && !m->heard.count(k)) {
          m->heard[k] = now;
          m->heardAt[k] = m->outFrames;
        }
      }
    };
    return sink;
  };
  return options;
}

void BM_MicrophoneToSpeaker(benchmark::State& state) {
  const int blockFrames = int(state.range(0));
  char folder[] = "/tmp/sorn-latency-XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("no scratch folder");
    return;
  }
  setenv("SORN_CONFIG_DIR", folder, 1);
  settings.lowLatency = blockFrames != kBlockFrames;
  settings.blockFrames = blockFrames;
  settings.monitoring = Monitoring::kSoftware;

  double queueMs = 0, measuredMs = 0, maxMs = 0;
  int lost = 0, found = 0;
  for (auto _ : state) {
    auto m = std::make_shared<Measure>();
    DefaultSoundBlock();
    SetMicFilterSwitch(kMicHighPass, 0);
    SetMicFilterSwitch(kMicNotch60, 0);
    soundBlock.voiceFX.bypass = 1;
    SetAudioBackend(CreateSimAudioBackend(Card(m)));
    if (InitSound(nullptr, nullptr, kSubBlockDivisor) != kInitSound_Ok) {
      state.SkipWithError("the engine did not start");
      break;
    }
    const auto end = Clock::now() + std::chrono::seconds(4);
    while (Clock::now() < end) {
      {
        std::lock_guard<std::mutex> guard(m->lock);
        if (int(m->heard.size()) == kImpulses) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    lost += soundDevices.lostBlocks.load();
    CloseSound();
    SetAudioBackend(nullptr);
    std::lock_guard<std::mutex> guard(m->lock);
    for (const auto& [k, at] : m->heard) {
      if (!m->sung.count(k)) continue;
      const double ms = std::chrono::duration<double, std::milli>(at - m->sung[k]).count();
      queueMs += double(m->heardAt[k] - m->sungAt[k]) * 1000.0 / 44100.0;
      measuredMs += ms;
      maxMs = std::max(maxMs, ms);
      ++found;
    }
  }
  std::filesystem::remove_all(folder);
  settings = Settings{};
  if (found == 0) {
    state.SkipWithError("no impulse came through");
    return;
  }
  state.counters["queue_ms"] = queueMs / found;
  state.counters["measured_ms"] = measuredMs / found;
  state.counters["max_ms"] = maxMs;
  state.counters["lost_blocks"] = lost;
}

}  // namespace

BENCHMARK(BM_MicrophoneToSpeaker)
    ->Arg(4096)
    ->Arg(1024)
    ->Arg(512)
    ->Arg(256)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
