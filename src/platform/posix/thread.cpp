#include "platform/thread.h"

#include <atomic>
#include <memory>
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
  native_ = std::make_unique<Native>();
  // The body waits until the thread object is in place, so that it may ask
  // at once whether it is the current thread (or join itself, which frees
  // the Native: the gate lives apart from it).
  auto published = std::make_shared<std::atomic<bool>>(false);
  try {
    native_->thread = std::thread([published, work = std::move(body)] {
      published->wait(false);
      work();
    });
  } catch (const std::system_error &) {
    native_.reset();
    return false;
  }
  published->store(true);
  published->notify_one();
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
