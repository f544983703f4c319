#include "platform/sync/periodic_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sync/event.h"
#include "tests/support/thread_state.h"

using namespace std::chrono_literals;

TEST(PeriodicTimer, CallsBackRepeatedlyOnItsOwnThreadWithItsId) {
  PeriodicTimer timer;
  std::atomic<int> calls{0};
  std::atomic<uint32_t> seenId{0};
  std::atomic<bool> onCallerThread{false};
  const auto caller = std::this_thread::get_id();
  Event third;
  uint32_t id = timer.Start(5, [&](uint32_t timerId) {
    seenId = timerId;
    if (std::this_thread::get_id() == caller) onCallerThread = true;
    if (++calls == 3) third.Set();
  });
  ASSERT_NE(id, 0u);
  EXPECT_EQ(third.Wait(5000), kWaitObject0);
  timer.Kill();
  EXPECT_EQ(seenId.load(), id);
  EXPECT_FALSE(onCallerThread.load());
}

TEST(PeriodicTimer, KillWaitsForARunningCallbackAndEndsTheThread) {
  PeriodicTimer timer;
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  Event entered, release(Event::Reset::kManual);
  timer.Start(2, [&](uint32_t) {
    inside = true;
    entered.Set();
    release.Wait(kInfinite);
    ++calls;
    inside = false;
  });
  ASSERT_EQ(entered.Wait(5000), kWaitObject0);
  std::atomic<bool> killed{false};
  bool asleep = false;
  std::thread kill = StartAndWaitUntilAsleep(
      [&] {
        timer.Kill();
        killed = true;
      },
      &asleep);
  EXPECT_TRUE(asleep) << "Kill is asleep until the running callback returns";
  EXPECT_FALSE(killed.load());
  release.Set();
  kill.join();
  EXPECT_FALSE(inside.load());
  EXPECT_EQ(calls.load(), 1) << "the timer thread was joined: no tick after the one running";
  EXPECT_FALSE(timer.Running());
}

TEST(PeriodicTimer, SlowCallbackNeverOverlapsItself) {
  PeriodicTimer timer;
  std::atomic<int> concurrent{0}, worst{0}, calls{0};
  Event done;
  timer.Start(1, [&](uint32_t) {
    int now = ++concurrent;
    if (now > worst) worst = now;
    std::this_thread::sleep_for(5ms);
    --concurrent;
    if (++calls == 5) done.Set();
  });
  ASSERT_EQ(done.Wait(5000), kWaitObject0);
  timer.Kill();
  EXPECT_EQ(worst.load(), 1);
}

TEST(PeriodicTimer, KillFromInsideTheCallbackEndsTheTimer) {
  Event killed;  // outlives the timer thread
  std::atomic<int> calls{0};
  PeriodicTimer timer;
  timer.Start(2, [&](uint32_t) {
    ++calls;
    timer.Kill();
    killed.Set();
  });
  ASSERT_EQ(killed.Wait(5000), kWaitObject0);
  EXPECT_FALSE(timer.Running());
  timer.Kill();  // joins the thread, which ended after its one tick
  EXPECT_EQ(calls.load(), 1);
}

TEST(PeriodicTimer, RefusesZeroPeriodOrNoCallback) {
  PeriodicTimer timer;
  EXPECT_EQ(timer.Start(0, [](uint32_t) {}), 0u);
  EXPECT_EQ(timer.Start(10, nullptr), 0u);
  EXPECT_FALSE(timer.Running());
}
