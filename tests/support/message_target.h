#pragma once
// A message target destroyed with the test, and what arrived at it.
#include <optional>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"

namespace pelnik::test {

class MessageTarget {
 public:
  MessageTarget() : window_(PelnikMsg_CreateWindow()) {}
  ~MessageTarget() { PelnikMsg_DestroyWindow(window_); }
  MessageTarget(const MessageTarget &) = delete;
  MessageTarget &operator=(const MessageTarget &) = delete;
  int window() const { return window_; }

  // The messages waiting now, in order.
  std::vector<PelnikMsg> drain() {
    std::vector<PelnikMsg> messages;
    PelnikMsg m{};
    while (PelnikMsg_Get(window_, &m, 0) == 1) messages.push_back(m);
    return messages;
  }
  // The next message within the time limit.
  std::optional<PelnikMsg> next(int timeoutMs) {
    PelnikMsg m{};
    if (PelnikMsg_Get(window_, &m, timeoutMs) == 1) return m;
    return std::nullopt;
  }
  // Error codes of the error messages waiting now; other messages are
  // dropped with them.
  std::vector<long> errorCodes() {
    std::vector<long> codes;
    for (const PelnikMsg &m : drain())
      if (m.message == PELNIK_WM_ERROR) codes.push_back(static_cast<long>(m.lParam));
    return codes;
  }

 private:
  int window_;
};

}  // namespace pelnik::test
