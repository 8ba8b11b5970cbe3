// The X error registry: errors of a registered connection are recorded on
// the registration made last for its display, a removal takes away only the
// (display, record) pair it names, and a toolkit's handler installation run
// through it leaves the process-wide handlers as they were.
#include "ui/x11/x11_error_trap.h"

#include <X11/Xlib.h>
#include <gtest/gtest.h>

#include <atomic>

#include "support/display/x_session.h"

namespace pelnik::test {
namespace {

namespace x11 = platform::x11;

std::atomic<int> gApplicationErrors{0};

int applicationHandler(Display *, XErrorEvent *) {
  gApplicationErrors.fetch_add(1);
  return 0;
}

int otherHandler(Display *, XErrorEvent *) { return 0; }

class X11ErrorTrap : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok()) << server_.error();
    display_ = XOpenDisplay(server_.display().c_str());
    ASSERT_NE(display_, nullptr);
    gApplicationErrors = 0;
    previous_ = XSetErrorHandler(applicationHandler);
  }
  void TearDown() override {
    XSetErrorHandler(previous_);
    if (display_) XCloseDisplay(display_);
  }
  // A request the server refuses: a window that does not exist.
  void provokeError() {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, 0x7FFFFF0, &attributes);
    XSync(display_, False);
  }

  XvfbServer server_;
  Display *display_ = nullptr;
  XErrorHandler previous_ = nullptr;
};

TEST_F(X11ErrorTrap, RemovalByPairKeepsANewerRegistrationOfTheSameAddress) {
  // `older` stands for a closed connection whose address a newer one got.
  x11::ConnectionErrors older;
  x11::ConnectionErrors newer;
  x11::registerConnection(display_, &older);
  x11::registerConnection(display_, &newer);
  provokeError();
  EXPECT_EQ(newer.count.load(), 1) << "not recorded on the latest registration";
  EXPECT_EQ(older.count.load(), 0);

  x11::unregisterConnection(display_, &older);
  provokeError();
  EXPECT_EQ(newer.count.load(), 2) << "removing the old pair took the newer one too";
  EXPECT_EQ(gApplicationErrors.load(), 0);

  x11::unregisterConnection(display_, &newer);
  provokeError();
  EXPECT_EQ(newer.count.load(), 2);
  EXPECT_EQ(gApplicationErrors.load(), 1) << "the application's handler was not put back";
}

TEST_F(X11ErrorTrap, ACheckRegistrationRecordsOnlyWhileItLasts) {
  x11::ConnectionErrors owner;
  x11::registerConnection(display_, &owner);
  x11::ConnectionErrors check;
  x11::registerForCheck(display_, &check);
  provokeError();
  x11::unregisterConnection(display_, &check);
  provokeError();
  EXPECT_EQ(check.count.load(), 1);
  EXPECT_EQ(owner.count.load(), 1);
  x11::unregisterConnection(display_, &owner);
  EXPECT_EQ(gApplicationErrors.load(), 0);
}

TEST_F(X11ErrorTrap, KeepingHandlersPutsBackWhatABodyInstalled) {
  x11::ConnectionErrors ours;
  x11::registerConnection(display_, &ours);
  x11::keepingHandlers([](void *) { XSetErrorHandler(otherHandler); }, nullptr);
  // Still the registry's handler: our connection's errors are recorded.
  provokeError();
  EXPECT_EQ(ours.count.load(), 1);
  x11::unregisterConnection(display_, &ours);
  // And with the last registration gone, the application's handler is back.
  const XErrorHandler current = XSetErrorHandler(applicationHandler);
  EXPECT_EQ(current, &applicationHandler);
}

}  // namespace
}  // namespace pelnik::test
