// Cost of the hand-over primitives the audio and CD threads use.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "platform/sync/event.h"

static void BM_EventSetWaitSameThread(benchmark::State& state) {
  Event event;
  for (auto _ : state) {
    event.Set();
    benchmark::DoNotOptimize(event.Wait(0));
  }
}
BENCHMARK(BM_EventSetWaitSameThread);

// Ping-pong between two threads through two auto-reset events: one round trip per iteration.
static void BM_EventPingPong(benchmark::State& state) {
  Event ping, pong;
  std::atomic<bool> stop{false};
  std::thread partner([&] {
    while (ping.Wait(kInfinite) == kWaitObject0 && !stop.load()) pong.Set();
  });
  for (auto _ : state) {
    ping.Set();
    pong.Wait(kInfinite);
  }
  stop = true;
  ping.Set();
  partner.join();
}
BENCHMARK(BM_EventPingPong);
