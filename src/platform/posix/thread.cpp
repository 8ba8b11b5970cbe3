#include "platform/thread.h"

#include <system_error>
#include <thread>

namespace pelnik::platform {

struct Thread::Native {
  std::thread thread;
};

Thread::Thread() = default;

Thread::~Thread() { join(); }

bool Thread::start(std::function<void()> body) {
  if (native_) return false;
  auto native = std::make_unique<Native>();
  try {
    native->thread = std::thread(std::move(body));
  } catch (const std::system_error &) {
    return false;
  }
  native_ = std::move(native);
  return true;
}

bool Thread::isCurrent() const {
  return native_ && native_->thread.get_id() == std::this_thread::get_id();
}

void Thread::join() {
  if (!native_) return;
  if (isCurrent())
    native_->thread.detach();  // a thread cannot wait for its own end
  else
    native_->thread.join();
  native_.reset();
}

}  // namespace pelnik::platform
