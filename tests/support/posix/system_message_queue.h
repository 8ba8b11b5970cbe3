#pragma once
// The message queue behind a test's MessageTarget on Linux: one of the
// library's message targets (PelnikMessages.h).
#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"

namespace pelnik::test {

using TargetMessage = PelnikMsg;

class SystemMessageQueue {
 public:
  SystemMessageQueue() : window_(PelnikMsg_CreateWindow()) {}
  ~SystemMessageQueue() { PelnikMsg_DestroyWindow(window_); }
  SystemMessageQueue(const SystemMessageQueue &) = delete;
  SystemMessageQueue &operator=(const SystemMessageQueue &) = delete;
  PelnikWindow window() const { return window_; }
  // A post is in the queue when PostMessage returns: nothing to wait for.
  void catchUp() {}
  bool take(TargetMessage &m, int timeoutMs) { return PelnikMsg_Get(window_, &m, timeoutMs) == 1; }

 private:
  int window_;
};

}  // namespace pelnik::test
