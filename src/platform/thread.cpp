#include "platform/thread.h"

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

}  // namespace pelnik::platform
