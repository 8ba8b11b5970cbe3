#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace pelnik::test {

XvfbServer::XvfbServer(int width, int height) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  pid_ = fork();
  if (pid_ == 0) {
    // The descriptor the server writes its display number to.
    dup2(pipeEnds[1], 3);
    const int null = ::open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
           "-noreset", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(pipeEnds[1]);
  if (pid_ < 0) {
    close(pipeEnds[0]);
    error_ = "fork failed";
    return;
  }
  std::string number;
  pollfd fd{pipeEnds[0], POLLIN, 0};
  while (poll(&fd, 1, 10000) > 0) {
    char c;
    if (read(pipeEnds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(pipeEnds[0]);
  if (number.empty()) {
    error_ = "Xvfb did not start (is the xvfb package installed?)";
    kill();
    return;
  }
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
}

XvfbServer::~XvfbServer() {
  if (pid_ > 0) {
    resume();
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

void XvfbServer::pause() { ::kill(pid_, SIGSTOP); }
void XvfbServer::resume() { ::kill(pid_, SIGCONT); }

void XvfbServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::vector<std::uint32_t> readWindowPixels(unsigned long window, int width, int height) {
  std::vector<std::uint32_t> pixels;
  Display *display = XOpenDisplay(nullptr);
  if (!display) return pixels;
  XSync(display, False);
  XImage *image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image) {
    pixels.reserve(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
  }
  XCloseDisplay(display);
  return pixels;
}

}  // namespace pelnik::test
