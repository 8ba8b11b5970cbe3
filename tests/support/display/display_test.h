#pragma once
// Shared by the preview tests: a test's own Xvfb and X connection, window
// queries, and waits.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "support/display/x_session.h"

namespace pelnik::test {

// Polls `done` every 5 ms for at most `limitMs`.
inline bool waitUntil(const std::function<bool()> &done, int limitMs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

struct WindowFacts {
  Window parent = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool mapped = false;
  std::string name;
  std::string resName;
  std::string resClass;
};

// An Xvfb of the test's own and a connection to it. A display test that
// cannot start a server fails.
class DisplayTest : public ::testing::Test {
 protected:
  void startServer(int width = 1280, int height = 1024) {
    server_ = std::make_unique<XvfbServer>(width, height);
    ASSERT_TRUE(server_->ok()) << server_->error();
    display_ = XOpenDisplay(server_->display().c_str());
    ASSERT_NE(display_, nullptr) << "cannot connect to " << server_->display();
  }
  void SetUp() override { startServer(); }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    server_.reset();
  }

  // A mapped top-level window of the test, as an application's window.
  Window makeParent(int width, int height) {
    Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0,
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                   0, 0x303030);
    XMapWindow(display_, w);
    XSync(display_, False);
    return w;
  }

  WindowFacts facts(Window w) {
    WindowFacts f;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display_, w, &root, &parent, &children, &count) && children) XFree(children);
    f.parent = parent;
    XWindowAttributes a;
    if (XGetWindowAttributes(display_, w, &a)) {
      f.x = a.x;
      f.y = a.y;
      f.width = a.width;
      f.height = a.height;
      f.mapped = a.map_state != IsUnmapped;
    }
    char *name = nullptr;
    if (XFetchName(display_, w, &name) && name) {
      f.name = name;
      XFree(name);
    }
    XClassHint hint{};
    if (XGetClassHint(display_, w, &hint)) {
      f.resName = hint.res_name ? hint.res_name : "";
      f.resClass = hint.res_class ? hint.res_class : "";
      if (hint.res_name) XFree(hint.res_name);
      if (hint.res_class) XFree(hint.res_class);
    }
    return f;
  }

  // Top-level windows whose name is `name`.
  std::vector<Window> topLevelsNamed(const std::string &name) {
    std::vector<Window> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XSync(display_, False);
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
      return found;
    for (unsigned i = 0; i < count; ++i) {
      char *n = nullptr;
      if (XFetchName(display_, children[i], &n) && n) {
        if (name == n) found.push_back(children[i]);
        XFree(n);
      }
    }
    if (children) XFree(children);
    return found;
  }

  // What a window manager sends when the user closes a window.
  void closeLikeWindowManager(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, w, False, NoEventMask, &e);
    XSync(display_, False);
  }

  std::unique_ptr<XvfbServer> server_;
  Display *display_ = nullptr;
};

}  // namespace pelnik::test
