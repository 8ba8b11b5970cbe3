#include "camera/error_history.h"

#include <algorithm>

#include "platform/window_messages.h"

namespace pelnik {

int ErrorHistory::raise(int code) {
  {
    std::lock_guard<std::mutex> guard(historyLock_);
    std::copy_backward(codes_.begin(), codes_.end() - 1, codes_.end());
    codes_[0] = code;
  }
  if (ownerWindow_ != 0) platform::postWindowMessage(ownerWindow_, kErrorMessage, 0, code);
  return 1;
}

void ErrorHistory::notice(int code) const {
  platform::postWindowMessage(ownerWindow_, kErrorMessage, 0, code);
}

int ErrorHistory::pop() {
  std::lock_guard<std::mutex> guard(historyLock_);
  const int newest = codes_[0];
  std::copy(codes_.begin() + 1, codes_.end(), codes_.begin());
  codes_[kDepth - 1] = 0;
  return newest;
}

}  // namespace pelnik
