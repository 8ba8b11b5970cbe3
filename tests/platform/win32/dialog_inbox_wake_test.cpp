// How another thread's update reaches an open Windows dialog: a post to its
// inbox also posts the wake message to the dialog's window, while the window
// is named for the inbox, and never after.
#include "ui/win32/dialog_inbox_wake.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "ui/dialog_inbox.h"

namespace pelnik::platform {
namespace {

constexpr UINT kWake = WM_APP + 7;

class InboxWake : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = ::CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override { ::DestroyWindow(window_); }

  // Posts from another thread, as the acquisition thread does; PostMessage
  // has queued the wake message by the time the thread is joined.
  bool postFromAnotherThread(int &ran) {
    bool accepted = false;
    std::thread poster([&] { accepted = inbox_.post([&ran] { ++ran; }); });
    poster.join();
    return accepted;
  }
  int wakesQueued() {
    int count = 0;
    MSG msg;
    while (::PeekMessageA(&msg, window_, kWake, kWake, PM_REMOVE)) ++count;
    return count;
  }

  HWND window_ = nullptr;
  DialogInbox inbox_;
};

TEST_F(InboxWake, APostWakesTheNamedWindowAndDrainRunsTheWorkOnItsThread) {
  int ran = 0;
  {
    InboxWakeTarget target(inbox_, window_, kWake);
    ASSERT_TRUE(postFromAnotherThread(ran));
    ASSERT_TRUE(postFromAnotherThread(ran));
    EXPECT_EQ(wakesQueued(), 2);
    EXPECT_EQ(ran, 0);  // nothing runs before the dialog drains
    EXPECT_EQ(inbox_.drain(), 2);
    EXPECT_EQ(ran, 2);
  }
  // Once the dialog has gone, posts still queue but wake nobody.
  ASSERT_TRUE(postFromAnotherThread(ran));
  EXPECT_EQ(wakesQueued(), 0);
  EXPECT_EQ(inbox_.drain(), 1);
}

TEST_F(InboxWake, AClosedInboxRefusesPostsAndWakesNobody) {
  InboxWakeTarget target(inbox_, window_, kWake);
  int ran = 0;
  ASSERT_TRUE(postFromAnotherThread(ran));
  inbox_.close();
  EXPECT_EQ(inbox_.drain(), 0);  // what was queued is dropped
  wakesQueued();
  EXPECT_FALSE(postFromAnotherThread(ran));
  EXPECT_EQ(wakesQueued(), 0);
  EXPECT_EQ(ran, 0);
}

}  // namespace
}  // namespace pelnik::platform
