#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/thread.h"

namespace pelnik::platform {

void raiseCurrentThreadPriority() {
  // The desktop's "highest" normal priority; on Linux a lower nice value of
  // this thread only. Without CAP_SYS_NICE the call fails and nothing changes.
  const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - 2);
}

}  // namespace pelnik::platform
