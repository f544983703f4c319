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
  bool asleep = false;
  std::thread waiter = StartAndWaitUntilAsleep([&] { result = event.Wait(kInfinite); }, &asleep);
  EXPECT_TRUE(asleep) << "the waiter is asleep inside Wait before the event is set";
  EXPECT_EQ(result.load(), -99);
  event.Set();
  waiter.join();
  EXPECT_EQ(result.load(), kWaitObject0);
  EXPECT_FALSE(event.IsSet());  // the auto-reset event was consumed by the waiter
}

TEST(Event, ManualResetReleasesEveryWaiter) {
  Event event(Event::Reset::kManual);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    bool asleep = false;
    waiters.push_back(StartAndWaitUntilAsleep(
        [&] {
          if (event.Wait(kInfinite) == kWaitObject0) ++woken;
        },
        &asleep));
    EXPECT_TRUE(asleep);
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
