// Message targets: the companion API that stands in for application windows.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <climits>
#include <thread>
#include <vector>

#include "PelnikMessages.h"
#include "platform/window_messages.h"

namespace {

using pelnik::platform::postWindowMessage;

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(MessageTargets, KeepOrderAndCarryWordSizedValues) {
  const int w = PelnikMsg_CreateWindow();
  ASSERT_GT(w, 0);
  const std::uintptr_t address = UINTPTR_MAX - 5;
  postWindowMessage(w, 0x8002, address, 0);
  postWindowMessage(w, 0x8003, 0, -13);
  PelnikMsg m{};
  ASSERT_EQ(PelnikMsg_Get(w, &m, 0), 1);
  EXPECT_EQ(m.message, 0x8002u);
  EXPECT_EQ(m.wParam, address);
  ASSERT_EQ(PelnikMsg_Get(w, &m, 0), 1);
  EXPECT_EQ(m.message, 0x8003u);
  EXPECT_EQ(m.lParam, -13);
  EXPECT_EQ(PelnikMsg_Get(w, &m, 0), 0);
  EXPECT_EQ(PelnikMsg_DestroyWindow(w), 1);
}

TEST(MessageTargets, TimeOutIsHonoured) {
  const int w = PelnikMsg_CreateWindow();
  PelnikMsg m{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PelnikMsg_Get(w, &m, 50), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  std::thread poster([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    postWindowMessage(w, 0x8003, 0, 4);
  });
  EXPECT_EQ(PelnikMsg_Get(w, &m, -1), 1);
  EXPECT_EQ(m.lParam, 4);
  poster.join();
  PelnikMsg_DestroyWindow(w);
}

TEST(MessageTargets, EveryNegativeTimeOutWaitsWithoutLimit) {
  const int w = PelnikMsg_CreateWindow();
  for (const int timeout : {-2, INT_MIN}) {
    std::thread poster([w, timeout] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      postWindowMessage(w, 0x8003, 0, timeout);
    });
    PelnikMsg m{};
    EXPECT_EQ(PelnikMsg_Get(w, &m, timeout), 1);
    EXPECT_EQ(m.lParam, timeout);
    poster.join();
  }
  PelnikMsg_DestroyWindow(w);
}

TEST(MessageTargets, DescriptorIsReadableExactlyWhileMessagesWait) {
  const int w = PelnikMsg_CreateWindow();
  const int fd = PelnikMsg_Fd(w);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(readable(fd));
  postWindowMessage(w, 1, 0, 0);
  postWindowMessage(w, 2, 0, 0);
  EXPECT_TRUE(readable(fd));
  PelnikMsg m{};
  ASSERT_EQ(PelnikMsg_Get(w, &m, 0), 1);
  EXPECT_TRUE(readable(fd)) << "one message still waits";
  ASSERT_EQ(PelnikMsg_Get(w, &m, 0), 1);
  EXPECT_FALSE(readable(fd));
  PelnikMsg_DestroyWindow(w);
}

TEST(MessageTargets, PostsFromEightThreadsAllArrive) {
  const int w = PelnikMsg_CreateWindow();
  constexpr int kThreads = 8, kEach = 500;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([w, t] {
      for (int i = 0; i < kEach; ++i) postWindowMessage(w, 0x8002, t, i);
    });
  std::vector<int> next(kThreads, 0);
  PelnikMsg m{};
  for (int n = 0; n < kThreads * kEach; ++n) {
    ASSERT_EQ(PelnikMsg_Get(w, &m, 5000), 1);
    // Each poster's messages arrive in its own order.
    EXPECT_EQ(m.lParam, next[m.wParam]++);
  }
  for (auto &p : posters) p.join();
  EXPECT_EQ(PelnikMsg_Get(w, &m, 0), 0);
  PelnikMsg_DestroyWindow(w);
}

TEST(MessageTargets, DestroyedAndUnknownTargetsSwallowPosts) {
  const int w = PelnikMsg_CreateWindow();
  EXPECT_EQ(PelnikMsg_DestroyWindow(w), 1);
  EXPECT_EQ(PelnikMsg_DestroyWindow(w), 0);
  postWindowMessage(w, 1, 0, 0);
  postWindowMessage(0, 1, 0, 0);
  PelnikMsg m{};
  EXPECT_EQ(PelnikMsg_Get(w, &m, 0), -1);
  EXPECT_EQ(PelnikMsg_Fd(w), -1);
  EXPECT_EQ(PelnikMsg_Get(0, &m, 0), -1);
  // A new target never reuses the old handle.
  const int fresh = PelnikMsg_CreateWindow();
  EXPECT_NE(fresh, w);
  EXPECT_EQ(PelnikMsg_Get(fresh, &m, 0), 0);
  PelnikMsg_DestroyWindow(fresh);
}

TEST(MessageTargets, DestroyWakesAWaitingReader) {
  const int w = PelnikMsg_CreateWindow();
  std::thread destroyer([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    PelnikMsg_DestroyWindow(w);
  });
  PelnikMsg m{};
  EXPECT_EQ(PelnikMsg_Get(w, &m, -1), -1);
  destroyer.join();
}

TEST(MessageTargets, QueueHoldsTenThousandAndDropsLaterPosts) {
  const int w = PelnikMsg_CreateWindow();
  for (int i = 0; i < PELNIKMSG_QUEUE_LIMIT + 50; ++i) postWindowMessage(w, 0x8002, 0, i);
  PelnikMsg m{};
  int taken = 0;
  while (PelnikMsg_Get(w, &m, 0) == 1) {
    EXPECT_EQ(m.lParam, taken);
    ++taken;
  }
  EXPECT_EQ(taken, PELNIKMSG_QUEUE_LIMIT);
  // Room again once the application has taken messages.
  postWindowMessage(w, 0x8003, 0, 1);
  EXPECT_EQ(PelnikMsg_Get(w, &m, 0), 1);
  PelnikMsg_DestroyWindow(w);
}

TEST(MessageTargets, NullMessagePointerLeavesTheMessageQueued) {
  const int w = PelnikMsg_CreateWindow();
  postWindowMessage(w, 9, 0, 0);
  EXPECT_EQ(PelnikMsg_Get(w, nullptr, 0), -1);
  PelnikMsg m{};
  EXPECT_EQ(PelnikMsg_Get(w, &m, 0), 1);
  EXPECT_EQ(m.message, 9u);
  PelnikMsg_DestroyWindow(w);
}

}  // namespace
