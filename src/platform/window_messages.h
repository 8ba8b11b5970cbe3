#pragma once
// Posted window messages. Off the desktop platform a "window" is a message
// target made by the companion API; the library only ever posts.
#include <cstdint>

namespace pelnik::platform {

struct WindowMessage {
  unsigned int message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

inline constexpr int kMessageQueueLimit = 10000;

// Queues a message for a target and returns at once. Window 0, unknown and
// destroyed targets and full queues drop it (the desktop platform would put
// window-0 posts in the posting thread's own queue, which nothing reads here).
void postWindowMessage(int window, unsigned int message, std::uintptr_t wParam,
                       std::intptr_t lParam);

// The companion API's operations (see PelnikMessages.h).
int createMessageTarget();
bool destroyMessageTarget(int window);
// 1 with a message, 0 on time-out, -1 for a window that is not a live target.
int takeMessage(int window, WindowMessage &out, int timeoutMs);
int messageTargetFd(int window);

}  // namespace pelnik::platform
