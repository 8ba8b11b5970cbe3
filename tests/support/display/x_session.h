#pragma once
// Window tests on a private X server: an Xvfb the test starts itself on a
// free display number, xdotool to drive it, and Xlib to read back what is
// shown (pixels, the primary selection, window properties).
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelnik::test {

// Starts Xvfb with one 24-bit screen (it picks a free display number and
// reports it, so parallel tests never collide) and points DISPLAY at it; the
// destructor stops it and unsets DISPLAY. ok() is false, with error()
// filled, when no server could be started.
class XvfbServer {
 public:
  explicit XvfbServer(int width = 1280, int height = 1024);
  ~XvfbServer();
  XvfbServer(const XvfbServer &) = delete;
  XvfbServer &operator=(const XvfbServer &) = delete;

  bool ok() const { return pid_ > 0 && !display_.empty(); }
  const std::string &error() const { return error_; }
  const std::string &display() const { return display_; }
  pid_t pid() const { return pid_; }

  void pause();   // SIGSTOP: a server that no longer answers
  void resume();  // SIGCONT
  void kill();    // SIGKILL and reap: a server that crashed or was closed

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

// The language the library's dialogs take their texts from: LANG alone,
// with the variables that would override it removed ("C", "ja_JP.UTF-8").
void useLanguage(const char *lang);

struct CommandResult {
  int status = -1;  // exit status; -1 when the program could not run
  std::string output;
};

// Runs a program (found on PATH) and collects its standard output.
CommandResult runCommand(const std::vector<std::string> &argv);
// xdotool with the arguments; true when it exited with 0.
bool xdotool(const std::vector<std::string> &arguments);

// The first visible window whose name matches the pattern, within the time.
std::optional<unsigned long> waitForWindow(const std::string &namePattern, int timeoutMs);
// Whether the window is still mapped (false once it is gone).
bool windowMapped(unsigned long window);
// Waits until no visible window has the name.
bool waitForWindowGone(const std::string &namePattern, int timeoutMs);

// Clicks button 1 at a point of the window (window coordinates).
bool clickAt(unsigned long window, int x, int y, int clicks = 1);
// Clicks where a click opens a popup (a menu, a drop-down list) and waits
// until a new popup window is mapped, so keys pressed next reach it even on
// a slow (sanitized) build. False when none appeared within the time.
bool clickOpeningPopup(unsigned long window, int x, int y, int timeoutMs = 15000);
// Waits until no popup window is mapped any more.
bool waitForNoPopup(int timeoutMs = 15000);
// Replaces an edit box's text: clicks it, selects everything, types.
bool typeInto(unsigned long window, int x, int y, const std::string &text);
// Presses keys ("Tab", "Escape", "alt+d").
bool pressKey(const std::string &keys);

// The text of the primary selection (what a double click selected).
std::optional<std::string> primarySelection(int timeoutMs);

struct WindowGeometry {
  int x = 0;  // root coordinates of the top-left corner
  int y = 0;
  int width = 0;
  int height = 0;
};
std::optional<WindowGeometry> windowGeometry(unsigned long window);
// The window a window is transient for; 0 when none.
unsigned long transientFor(unsigned long window);

// A plain mapped top-level window, the "application window" of a test.
class OwnerWindow {
 public:
  OwnerWindow(int x, int y, int width, int height);
  ~OwnerWindow();
  OwnerWindow(const OwnerWindow &) = delete;
  OwnerWindow &operator=(const OwnerWindow &) = delete;
  unsigned long id() const { return window_; }

 private:
  void *display_ = nullptr;
  unsigned long window_ = 0;
};

// The window's pixels as 0xRRGGBB, row by row.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<unsigned> pixels;
  unsigned at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  // Pixels of a rectangle that differ from the colour at its top-left corner.
  int inkIn(int x, int y, int w, int h) const;
};
std::optional<Screenshot> captureWindow(unsigned long window);
// A window's top-left width x height pixels as 0xRRGGBB, row 0 the top
// line; empty when the window cannot be read.
std::vector<std::uint32_t> readWindowPixels(unsigned long window, int width, int height);
// A rectangle of the screen (root coordinates), whatever windows show there:
// how a Windows program's client area is read under Wine, whose windows
// and frames are not always X windows of their own.
std::optional<Screenshot> captureScreen(int x, int y, int width, int height);
// Writes a capture as PNG (for the documentation).
bool savePng(const Screenshot &shot, const std::string &path);

}  // namespace pelnik::test
