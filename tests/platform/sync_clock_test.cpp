// Events, sleeps and the millisecond clocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
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

TEST(Locks, RecursiveLockIsReenteredByItsOwnerAndExcludesOthers) {
  pelnik::platform::RecursiveLock lock;
  lock.lock();
  ASSERT_TRUE(lock.try_lock()) << "the owner could not enter again";
  std::atomic<int> otherGot{-1};
  pelnik::platform::Thread other;
  ASSERT_TRUE(other.start([&] {
    const bool got = lock.try_lock();
    if (got) lock.unlock();
    otherGot = got ? 1 : 0;
  }));
  other.join();
  EXPECT_EQ(otherGot, 0) << "another thread entered a held lock";
  lock.unlock();
  lock.unlock();
  // Released as often as entered: free for another thread.
  Event entered(Event::Reset::Manual);
  ASSERT_TRUE(other.start([&] {
    pelnik::platform::RecursiveGuard guard(lock);
    entered.set();
  }));
  EXPECT_TRUE(entered.waitFor(5000));
  other.join();
}

TEST(Threads, AThreadThatJoinsItselfRunsOnAndItsOwnerIsFreeAgain) {
  pelnik::platform::Thread worker;
  Event done(Event::Reset::Manual);
  ASSERT_TRUE(worker.start([&] {
    worker.join();  // returns at once: no thread waits for its own end
    done.set();
  }));
  ASSERT_TRUE(done.waitFor(5000));
  EXPECT_FALSE(worker.joinable());
  ASSERT_TRUE(worker.start([] {}));
  worker.join();
}

TEST(Events, IsSetLeavesAnAutoResetEventSet) {
  Event event(Event::Reset::Auto, true);
  EXPECT_TRUE(event.isSet());
  EXPECT_TRUE(event.isSet());
  EXPECT_TRUE(event.waitFor(0));
  EXPECT_FALSE(event.isSet());
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
  pelnik::platform::sleepMs(100);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const std::uint32_t ticks = pelnik::platform::tickCount() - before;  // wraps like the tick
  EXPECT_GE(elapsed, std::chrono::milliseconds(100));
  // Milliseconds, not timer periods or seconds: each of the two readings may
  // lag the true time by a period or two of a busy system's timer.
  EXPECT_GE(ticks, 60u);
  EXPECT_LT(ticks, 5000u);
  const std::uint32_t mm = pelnik::platform::multimediaTime();
  EXPECT_LT(mm - pelnik::platform::tickCount() + 1000u, 2000u) << "same origin as the tick";
}

}  // namespace
