#include "platform/sync/window_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

#include "tests/support/trace_capture.h"
#include "tests/support/window_loop.h"

TEST(WindowThread, CallsFromOtherThreadsArePostedAndCallsOnItRunAtOnce) {
  MarkWindowThread();
  std::deque<std::function<void()>> queue;  // the window loop's queue, filled by one thread
  SetWindowPoster([&queue](std::function<void()> call) { queue.push_back(std::move(call)); });

  int ran = 0;
  RunOnWindowThread([&ran] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(queue.empty());

  bool otherWasWindowThread = true;
  std::thread other([&] {
    otherWasWindowThread = OnWindowThread();
    RunOnWindowThread([&ran] { ++ran; });
  });
  other.join();
  EXPECT_FALSE(otherWasWindowThread);
  EXPECT_EQ(ran, 1);
  ASSERT_EQ(queue.size(), 1u);
  queue.front()();
  EXPECT_EQ(ran, 2);

  SetWindowPoster(nullptr);
  TraceCapture trace;
  std::thread([&ran] { RunOnWindowThread([&ran] { ++ran; }); }).join();
  EXPECT_EQ(ran, 2);
  EXPECT_EQ(trace.Text(), "RunOnWindowThread: no window loop to post to; call dropped\n");
}

TEST(WindowThreadDeathTest, ADisplayCallOffTheWindowThreadAbortsWhenChecked) {
  MarkWindowThread();
  SetWindowThreadCheck(true);
  CheckWindowThread("OnTheWindowThread");  // no abort here
  EXPECT_DEATH(std::thread([] { CheckWindowThread("ShowPlayButtonReleased"); }).join(),
               "ShowPlayButtonReleased: display call off the window thread");
  SetWindowThreadCheck(false);
  std::thread([] { CheckWindowThread("Unchecked"); }).join();  // no abort when off
}

TEST(WindowThread, ACallThatWaitsRunsOnTheWindowThreadOrReportsThatItWasDropped) {
  TestWindowLoop loop;
  std::atomic<bool> done{false};
  bool ran = false;
  bool onWindowThread = false;
  std::thread worker([&] {
    ran = CallOnWindowThread([&] { onWindowThread = OnWindowThread(); });
    done = true;
  });
  ASSERT_TRUE(loop.PumpUntil([&] { return done.load(); })) << "the worker waits for the loop";
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(onWindowThread);

  SetWindowPoster([](std::function<void()>) {});  // a loop that discards what it is handed
  std::thread([&] { ran = CallOnWindowThread([] {}); }).join();
  EXPECT_FALSE(ran);
}
