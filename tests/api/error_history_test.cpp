// The per-camera error history and its notifications.
#include "camera/error_history.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "PelnikMessages.h"
#include "support/message_target.h"

namespace {

using pelnik::ErrorHistory;

TEST(ErrorHistory, PopsNewestFirstThenZeroForever) {
  ErrorHistory history;
  EXPECT_EQ(history.pop(), 0);
  history.raise(9);
  history.raise(5);
  EXPECT_EQ(history.pop(), 5);
  EXPECT_EQ(history.pop(), 9);
  EXPECT_EQ(history.pop(), 0);
  EXPECT_EQ(history.pop(), 0);
}

TEST(ErrorHistory, KeepsTheNewestTwenty) {
  ErrorHistory history;
  for (int code = 1; code <= 25; ++code) history.raise(code);
  for (int expected = 25; expected > 5; --expected) EXPECT_EQ(history.pop(), expected);
  EXPECT_EQ(history.pop(), 0);
}

TEST(ErrorHistory, RaisePostsToTheOwnerAndNoticeDoesNotRecord) {
  const pelnik::test::MessageTarget target;
  const int owner = target.window();
  ErrorHistory history(owner);
  EXPECT_EQ(history.raise(7), 1);
  history.notice(11);
  PelnikMsg m{};
  ASSERT_EQ(PelnikMsg_Get(owner, &m, 0), 1);
  EXPECT_EQ(m.message, 0x8003u);
  EXPECT_EQ(m.wParam, 0u);
  EXPECT_EQ(m.lParam, 7);
  ASSERT_EQ(PelnikMsg_Get(owner, &m, 0), 1);
  EXPECT_EQ(m.lParam, 11);
  EXPECT_EQ(PelnikMsg_Get(owner, &m, 0), 0);
  EXPECT_EQ(history.pop(), 7);
  EXPECT_EQ(history.pop(), 0);
}

TEST(ErrorHistory, RaisesOnAWorkerRacingPopsLoseNothing) {
  ErrorHistory history;
  constexpr int kRaises = 5000;
  std::atomic<bool> done{false};
  int popped = 0;
  std::thread worker([&] {
    for (int i = 0; i < kRaises; ++i) history.raise(13);
    done = true;
  });
  // Pops while raising never see a torn or foreign value.
  while (!done) {
    const int code = history.pop();
    ASSERT_TRUE(code == 0 || code == 13) << code;
    if (code == 13) ++popped;
  }
  worker.join();
  while (history.pop() == 13) ++popped;
  EXPECT_GE(popped, 1);
  EXPECT_LE(popped, kRaises);
}

}  // namespace
