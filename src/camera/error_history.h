#pragma once
// A camera's error reporting: the 20-entry history popped newest first, and
// the notification posted to the owner window at the moment of failure.
// The camera raises through CPelnik::raiseError and PostNotice, which take an
// ErrorCode; the history itself keeps the plain values.
#include <array>
#include <mutex>

#include "camera/error_codes.h"

namespace pelnik {

class ErrorHistory {
 public:
  static constexpr int kDepth = 20;

  explicit ErrorHistory(int ownerWindow = 0) : ownerWindow_(ownerWindow) {}

  void setOwnerWindow(int window) { ownerWindow_ = window; }
  int ownerWindow() const { return ownerWindow_; }

  // Records the code as the newest entry (the oldest falls off) and posts
  // the notification when there is an owner window. Returns 1.
  int raise(int code);
  // Posts the notification without recording it, whatever the owner window.
  void notice(int code) const;
  // Pops the newest code; 0 when the history is empty.
  int pop();

 private:
  int ownerWindow_;
  // Raises come from worker threads too; a pop and a raise never interleave.
  std::mutex historyLock_;  // guards codes_
  std::array<int, kDepth> codes_{};
};

}  // namespace pelnik
