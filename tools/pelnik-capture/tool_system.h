#pragma once
// What the capture tool needs of the system beyond the SDK, one
// implementation per system (posix/, win32/): windows that receive the SDK's
// messages, and the few file checks that put a failure into words.
#include <cstdint>
#include <memory>
#include <string>

#include "PelnikSdk_R5M_LX.h"

namespace capture {

struct WindowMessage {
  unsigned int message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// A window the SDK posts its messages to: a message target on Linux, a
// hidden window of this thread on Windows (its queue is read by next()).
class MessageWindow {
 public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow &) = delete;
  MessageWindow &operator=(const MessageWindow &) = delete;
  PelnikWindow handle() const;
  // 1 with a message, 0 when none came within the time limit (0 only looks),
  // -1 when the window is gone.
  int next(WindowMessage &m, int timeoutMs);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// Creates `dir` unless it is a directory already; false with the system's
// reason.
bool makeDirectory(const std::string &dir, std::string &reason);
// Why a file cannot be written, in the system's words; empty when it can.
// The library only says that a save failed, so the tool looks itself.
std::string unwritableReason(const std::string &path);
// The file's size, 0 when it cannot be read.
std::uint64_t fileBytes(const std::string &path);
// Whether standard output is a terminal (live status lines) or a file/pipe.
bool stdoutIsTerminal();

// The settings commands: print or reset camera `number`'s stored settings;
// the exit status.
int showStoredSettings(int number);
int resetStoredSettings(int number);

}  // namespace capture
