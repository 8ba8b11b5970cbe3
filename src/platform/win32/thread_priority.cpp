#include <windows.h>

#include "platform/thread.h"

namespace pelnik::platform {

void raiseCurrentThreadPriority() {
  // The streaming thread runs at the highest normal priority, as the camera's
  // frame timing expects; a refusal leaves the thread as it was.
  (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace pelnik::platform
