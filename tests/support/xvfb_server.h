#pragma once
// An Xvfb server of the test's own on a display number the server picks
// itself (so parallel tests never collide), and read-back of windows.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pelnik::test {

class XvfbServer {
 public:
  // Starts the server with one 24-bit screen and points DISPLAY at it.
  // ok() is false, with error() filled, when no server could be started.
  explicit XvfbServer(int width = 1280, int height = 1024);
  ~XvfbServer();
  XvfbServer(const XvfbServer &) = delete;
  XvfbServer &operator=(const XvfbServer &) = delete;

  bool ok() const { return pid_ > 0 && !display_.empty(); }
  const std::string &error() const { return error_; }
  const std::string &display() const { return display_; }
  pid_t pid() const { return pid_; }

  void pause();   // SIGSTOP
  void resume();  // SIGCONT
  void kill();    // SIGKILL and reap

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

// A window's pixels as 0xRRGGBB, row 0 the top line, read with XGetImage
// over a connection of its own; empty when the window cannot be read.
std::vector<std::uint32_t> readWindowPixels(unsigned long window, int width, int height);

}  // namespace pelnik::test
