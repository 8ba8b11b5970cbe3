#pragma once
// A window for the SDK's messages, destroyed with the test, and what arrived
// at it. Each system provides the queue behind it (support/posix or
// support/win32, found through the include path): a message target on Linux,
// a hidden window with a message loop of its own on Windows.
#include <optional>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "system_message_queue.h"

namespace pelnik::test {

class MessageTarget {
 public:
  MessageTarget() = default;
  MessageTarget(const MessageTarget &) = delete;
  MessageTarget &operator=(const MessageTarget &) = delete;
  PelnikWindow window() const { return queue_.window(); }

  // The messages posted before this call, in order.
  std::vector<TargetMessage> drain() {
    queue_.catchUp();
    std::vector<TargetMessage> messages;
    TargetMessage m{};
    while (queue_.take(m, 0)) messages.push_back(m);
    return messages;
  }
  // The next message within the time limit.
  std::optional<TargetMessage> next(int timeoutMs) {
    if (timeoutMs == 0) queue_.catchUp();
    TargetMessage m{};
    if (queue_.take(m, timeoutMs)) return m;
    return std::nullopt;
  }
  // Error codes of the error messages waiting now; other messages are
  // dropped with them.
  std::vector<long> errorCodes() {
    std::vector<long> codes;
    for (const TargetMessage &m : drain())
      if (m.message == PELNIK_WM_ERROR) codes.push_back(static_cast<long>(m.lParam));
    return codes;
  }

 private:
  SystemMessageQueue queue_;
};

}  // namespace pelnik::test
