#include "platform/sync/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "tests/support/thread_state.h"

TEST(Event, AutoResetReleasesOneWaitThenClears) {
  Event event(Event::Reset::kAuto, true);
  EXPECT_EQ(event.Wait(0), kWaitObject0);
  EXPECT_EQ(event.Wait(0), kWaitTimeout);
  EXPECT_STREQ(WaitResultName(event.Wait(10)), "WAIT_TIMEOUT");
}

TEST(Event, ManualResetStaysSetUntilReset) {
  Event event(Event::Reset::kManual, false);
  EXPECT_EQ(event.Wait(0), kWaitTimeout);
  event.Set();
  EXPECT_EQ(event.Wait(0), kWaitObject0);
  EXPECT_EQ(event.Wait(0), kWaitObject0);
  event.ResetEvent();
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.Wait(0), kWaitTimeout);
}

TEST(Event, SetWakesAWaiterOnAnotherThread) {
  Event event;
  std::atomic<int> result{-99};
  std::atomic<pid_t> tid{0};
  std::thread waiter([&] {
    tid = CurrentThreadId();
    result = event.Wait(kInfinite);
  });
  while (tid.load() == 0) std::this_thread::yield();
  // The waiter is asleep inside Wait before the event is set.
  ASSERT_TRUE(WaitUntilAsleep(tid.load()));
  EXPECT_EQ(result.load(), -99);
  event.Set();
  waiter.join();
  EXPECT_EQ(result.load(), kWaitObject0);
  EXPECT_FALSE(event.IsSet());  // the auto-reset event was consumed by the waiter
}

TEST(Event, ManualResetReleasesEveryWaiter) {
  Event event(Event::Reset::kManual);
  std::atomic<int> woken{0};
  std::atomic<pid_t> tids[4] = {};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&, i] {
      tids[i] = CurrentThreadId();
      if (event.Wait(kInfinite) == kWaitObject0) ++woken;
    });
  for (auto& tid : tids) {
    while (tid.load() == 0) std::this_thread::yield();
    EXPECT_TRUE(WaitUntilAsleep(tid.load()));
  }
  EXPECT_EQ(woken.load(), 0) << "every waiter blocked before the set";
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 4);
}

TEST(Event, AutoResetSetTwiceBeforeWaitCountsOnce) {
  Event event;
  event.Set();
  event.Set();
  EXPECT_EQ(event.Wait(0), kWaitObject0);
  EXPECT_EQ(event.Wait(0), kWaitTimeout);
}
