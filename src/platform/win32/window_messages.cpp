#include "platform/window_messages.h"

#include <windows.h>

namespace pelnik::platform {

// Window handles travel through the library as the int the portable code
// keeps; window handles are 32-bit significant on 64-bit Windows too, so the
// conversion back is exact.
void postWindowMessage(int window, unsigned int message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  // Window 0 would land in the posting worker thread's own queue, which no
  // one reads; the application asked for no messages.
  if (window == 0) return;
  // A destroyed window or a full queue refuses the post; nothing is retried.
  (void)::PostMessageA(static_cast<HWND>(LongToHandle(window)), message,
                       static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

// The companion message targets exist only where there are no windows; on
// Windows the application's own windows receive the messages.
int createMessageTarget() { return 0; }
bool destroyMessageTarget(int) { return false; }
int takeMessage(int, WindowMessage &, int) { return -1; }
int messageTargetFd(int) { return -1; }

}  // namespace pelnik::platform
