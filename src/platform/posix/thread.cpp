#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace pelnik::platform {

bool Thread::start(std::function<void()> body) {
  if (thread_.joinable()) return false;
  try {
    thread_ = std::thread(std::move(body));
  } catch (const std::system_error &) {
    return false;
  }
  return true;
}

void Thread::join() {
  if (!thread_.joinable() || isCurrent()) return;
  thread_.join();
}

void raiseCurrentThreadPriority() {
  // The desktop's "highest" normal priority; on Linux a lower nice value of
  // this thread only. Without CAP_SYS_NICE the call fails and nothing changes.
  const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - 2);
}

}  // namespace pelnik::platform
