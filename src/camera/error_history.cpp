#include "camera/error_history.h"

#include <algorithm>
#include <string_view>

#include "platform/debug_log.h"
#include "platform/window_messages.h"

namespace pelnik {

int ErrorHistory::raise(int code) {
  if (platform::debugEnabled(platform::DebugArea::Errors)) [[unlikely]] {
    const char *call = platform::currentDebugCall();
    std::string_view shortName = "a worker thread";
    if (call) {
      shortName = std::string_view(call);
      shortName = shortName.substr(0, shortName.find('('));
      if (const auto space = shortName.rfind(' '); space != std::string_view::npos)
        shortName.remove_prefix(space + 1);  // the return type
    }
    platform::debugLine(platform::DebugArea::Errors, "error %d raised in %.*s", code,
                        static_cast<int>(shortName.size()), shortName.data());
  }
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
