// Events, sleeps and the millisecond clocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace {

using pelnik::platform::Event;

TEST(Events, ManualResetStaysSetForEveryWaiter) {
  Event event(Event::Reset::Manual);
  EXPECT_FALSE(event.waitFor(0));
  event.set();
  EXPECT_TRUE(event.waitFor(0));
  EXPECT_TRUE(event.waitFor(0));
  event.reset();
  EXPECT_FALSE(event.waitFor(10));
}

TEST(Events, AutoResetReleasesOneWait) {
  Event event(Event::Reset::Auto);
  event.set();
  EXPECT_TRUE(event.waitFor(0));
  EXPECT_FALSE(event.waitFor(0));
}

TEST(Events, WaitWithoutLimitReturnsWhenSetFromAnotherThread) {
  Event event(Event::Reset::Manual);
  pelnik::platform::Thread setter;
  ASSERT_TRUE(setter.start([&event] {
    pelnik::platform::sleepMs(20);
    event.set();
  }));
  event.wait();
  EXPECT_TRUE(event.isSet());
  setter.join();
  EXPECT_FALSE(setter.joinable());
}

TEST(Threads, StartTwiceIsRefusedAndPriorityRaiseNeverFails) {
  pelnik::platform::Thread worker;
  std::atomic<bool> ran{false};
  Event release(Event::Reset::Manual);
  ASSERT_TRUE(worker.start([&] {
    pelnik::platform::raiseCurrentThreadPriority();
    ran = true;
    release.wait();
  }));
  EXPECT_FALSE(worker.start([] {}));
  release.set();
  worker.join();
  EXPECT_TRUE(ran);
}

// The tick's step: 1 ms on Linux, the system timer's period (10-16 ms) on
// Windows. Read as the smallest change seen.
std::uint32_t tickStep() {
  std::uint32_t step = 1000;
  std::uint32_t last = pelnik::platform::tickCount();
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (int changes = 0; changes < 3 && std::chrono::steady_clock::now() < limit;) {
    const std::uint32_t now = pelnik::platform::tickCount();
    if (now != last) {
      step = std::min(step, now - last);
      last = now;
      ++changes;
    }
  }
  return step;
}

TEST(Clocks, TickAdvancesInMillisecondsAndSleepWaits) {
  const std::uint32_t step = tickStep();
  // A loaded machine can let a reading miss one step of the system timer.
  EXPECT_LE(step, 32u) << "a tick coarser than the system timer";
  const std::uint32_t before = pelnik::platform::tickCount();
  const auto start = std::chrono::steady_clock::now();
  pelnik::platform::sleepMs(30);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const std::uint32_t ticks = pelnik::platform::tickCount() - before;  // wraps like the tick
  EXPECT_GE(elapsed, std::chrono::milliseconds(30));
  // Each of the two readings may lag the true time by up to one step.
  EXPECT_GE(ticks + 2 * step, 30u);
  EXPECT_LT(ticks, 5000u);
  const std::uint32_t mm = pelnik::platform::multimediaTime();
  EXPECT_LT(mm - pelnik::platform::tickCount() + 1000u, 2000u) << "same origin as the tick";
}

}  // namespace
