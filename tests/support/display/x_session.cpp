#include "support/display/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace pelnik::test {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char *> argvOf(const std::vector<std::string> &args) {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

struct DisplayCloser {
  void operator()(Display *d) const {
    if (d) XCloseDisplay(d);
  }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr openDisplay() { return DisplayPtr(XOpenDisplay(nullptr)); }

int ignoreErrors(Display *, XErrorEvent *) { return 0; }

// Mapped top-level windows that bypass the window manager: menus and
// drop-down lists.
int mappedPopups() {
  DisplayPtr d = openDisplay();
  if (!d) return -1;
  XSetErrorHandler(ignoreErrors);
  Window root = 0;
  Window parent = 0;
  Window *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d.get(), DefaultRootWindow(d.get()), &root, &parent, &children, &count))
    return -1;
  int popups = 0;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(d.get(), children[i], &a) && a.override_redirect &&
        a.map_state == IsViewable)
      ++popups;
  }
  if (children) XFree(children);
  return popups;
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  // The server writes its display number to descriptor 3.
  const std::vector<std::string> args = {
      "Xvfb",      "-displayfd", "3",
      "-screen",   "0",          std::to_string(width) + "x" + std::to_string(height) + "x24",
      "-nolisten", "tcp",        "-noreset"};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 3);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    auto argv = argvOf(args);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    error_ = "fork failed";
    return;
  }
  pid_ = pid;
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    if (poll(&p, 1, 200) <= 0) continue;
    char c = 0;
    if (read(fds[0], &c, 1) != 1) break;
    if (c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    error_ = "Xvfb did not start (is the xvfb package installed?)";
    kill();
    return;
  }
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
}

void XvfbServer::pause() {
  if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void XvfbServer::resume() {
  if (pid_ > 0) ::kill(pid_, SIGCONT);
}

void XvfbServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

XvfbServer::~XvfbServer() {
  if (pid_ > 0) {
    resume();
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!display_.empty()) unsetenv("DISPLAY");
}

void useLanguage(const char *lang) {
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", lang, 1);
}

CommandResult runCommand(const std::vector<std::string> &args) {
  CommandResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    auto argv = argvOf(args);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return result;
  }
  char buffer[512];
  ssize_t n = 0;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
    result.output.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool xdotool(const std::vector<std::string> &arguments) {
  std::vector<std::string> args{"xdotool"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  return runCommand(args).status == 0;
}

std::optional<unsigned long> waitForWindow(const std::string &namePattern, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    const CommandResult r =
        runCommand({"xdotool", "search", "--onlyvisible", "--name", namePattern});
    if (r.status == 0 && !r.output.empty()) return std::stoul(r.output);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

bool windowMapped(unsigned long window) {
  DisplayPtr d = openDisplay();
  if (!d) return false;
  XSetErrorHandler(ignoreErrors);
  XWindowAttributes a{};
  const bool ok = XGetWindowAttributes(d.get(), window, &a) != 0;
  return ok && a.map_state == IsViewable;
}

bool waitForWindowGone(const std::string &namePattern, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    const CommandResult r =
        runCommand({"xdotool", "search", "--onlyvisible", "--name", namePattern});
    if (r.status != 0 || r.output.empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool clickAt(unsigned long window, int x, int y, int clicks) {
  return xdotool({"mousemove", "--window", std::to_string(window), std::to_string(x),
                  std::to_string(y), "click", "--repeat", std::to_string(clicks), "1"});
}

bool clickOpeningPopup(unsigned long window, int x, int y, int timeoutMs) {
  const int before = mappedPopups();
  if (before < 0 || !clickAt(window, x, y)) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (mappedPopups() > before) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool waitForNoPopup(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (mappedPopups() == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool typeInto(unsigned long window, int x, int y, const std::string &text) {
  if (!clickAt(window, x, y)) return false;
  // FLTK's edit boxes select everything with ctrl+a; typing replaces it.
  return xdotool({"key", "--delay", "30", "ctrl+a"}) &&
         xdotool({"type", "--delay", "40", "--", text});
}

bool pressKey(const std::string &keys) { return xdotool({"key", "--delay", "30", keys}); }

std::optional<std::string> primarySelection(int timeoutMs) {
  DisplayPtr d = openDisplay();
  if (!d) return std::nullopt;
  Display *display = d.get();
  const Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom property = XInternAtom(display, "PELNIK_TEST_SELECTION", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XConvertSelection(display, XA_PRIMARY, utf8, property, w, CurrentTime);
  XFlush(display);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::optional<std::string> text;
  while (Clock::now() < deadline && !text) {
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      if (e.type != SelectionNotify) continue;
      if (e.xselection.property == None) return std::nullopt;
      Atom type = 0;
      int format = 0;
      unsigned long count = 0;
      unsigned long after = 0;
      unsigned char *data = nullptr;
      XGetWindowProperty(display, w, property, 0, 4096, True, AnyPropertyType, &type, &format,
                         &count, &after, &data);
      text = std::string(data ? reinterpret_cast<char *>(data) : "", count);
      if (data) XFree(data);
    }
    if (!text) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XDestroyWindow(display, w);
  return text;
}

std::optional<WindowGeometry> windowGeometry(unsigned long window) {
  DisplayPtr d = openDisplay();
  if (!d) return std::nullopt;
  XSetErrorHandler(ignoreErrors);
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d.get(), window, &a)) return std::nullopt;
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(d.get(), window, a.root, 0, 0, &x, &y, &child);
  return WindowGeometry{x, y, a.width, a.height};
}

unsigned long transientFor(unsigned long window) {
  DisplayPtr d = openDisplay();
  if (!d) return 0;
  Window owner = 0;
  if (!XGetTransientForHint(d.get(), window, &owner)) return 0;
  return owner;
}

OwnerWindow::OwnerWindow(int x, int y, int width, int height) {
  Display *display = XOpenDisplay(nullptr);
  display_ = display;
  if (!display) return;
  window_ =
      XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, 0, 0x808080);
  XStoreName(display, window_, "Owner");
  XMapWindow(display, window_);
  XSync(display, False);
}

OwnerWindow::~OwnerWindow() {
  auto *display = static_cast<Display *>(display_);
  if (!display) return;
  XDestroyWindow(display, window_);
  XCloseDisplay(display);
}

int Screenshot::inkIn(int x, int y, int w, int h) const {
  const unsigned background = at(x, y);
  int ink = 0;
  for (int j = y; j < y + h && j < height; ++j)
    for (int i = x; i < x + w && i < width; ++i)
      if (at(i, j) != background) ++ink;
  return ink;
}

namespace {

// Reads a rectangle of the window at (x, y) over a connection of its own;
// false when the window cannot be read.
bool readPixels(unsigned long window, int x0, int y0, int width, int height,
                std::vector<unsigned> &pixels) {
  // No error handler of its own: the library's trap must stay in place in
  // the tests that read its windows back.
  DisplayPtr d = openDisplay();
  if (!d) return false;
  XSync(d.get(), False);
  if (window == 0) window = DefaultRootWindow(d.get());
  XImage *image = XGetImage(d.get(), window, x0, y0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return false;
  pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      pixels[static_cast<std::size_t>(y * width + x)] =
          static_cast<unsigned>(XGetPixel(image, x, y) & 0xFFFFFF);
  XDestroyImage(image);
  return true;
}

}  // namespace

std::optional<Screenshot> captureWindow(unsigned long window) {
  const std::optional<WindowGeometry> geometry = windowGeometry(window);
  if (!geometry) return std::nullopt;
  Screenshot shot;
  shot.width = geometry->width;
  shot.height = geometry->height;
  if (!readPixels(window, 0, 0, shot.width, shot.height, shot.pixels)) return std::nullopt;
  return shot;
}

std::optional<Screenshot> captureScreen(int x, int y, int width, int height) {
  Screenshot shot;
  shot.width = width;
  shot.height = height;
  if (width <= 0 || height <= 0 || !readPixels(0, x, y, width, height, shot.pixels))
    return std::nullopt;
  return shot;
}

std::vector<std::uint32_t> readWindowPixels(unsigned long window, int width, int height) {
  std::vector<unsigned> pixels;
  if (!readPixels(window, 0, 0, width, height, pixels)) return {};
  return {pixels.begin(), pixels.end()};
}

bool savePng(const Screenshot &shot, const std::string &path) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(shot.width),
               static_cast<png_uint_32>(shot.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<std::size_t>(shot.width) * 3);
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const unsigned p = shot.at(x, y);
      row[static_cast<std::size_t>(x) * 3] = static_cast<png_byte>(p >> 16);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<png_byte>(p >> 8);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<png_byte>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return true;
}

}  // namespace pelnik::test
