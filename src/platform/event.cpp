#include "platform/event.h"

#include <chrono>

namespace pelnik::platform {

void Event::set() {
  {
    std::lock_guard<std::mutex> guard(stateLock_);
    signalled_ = true;
  }
  if (autoReset_)
    changed_.notify_one();
  else
    changed_.notify_all();
}

void Event::reset() {
  std::lock_guard<std::mutex> guard(stateLock_);
  signalled_ = false;
}

bool Event::isSet() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return signalled_;
}

void Event::wait() {
  std::unique_lock<std::mutex> guard(stateLock_);
  changed_.wait(guard, [this] { return signalled_; });
  if (autoReset_) signalled_ = false;
}

bool Event::waitFor(int milliseconds) {
  std::unique_lock<std::mutex> guard(stateLock_);
  if (milliseconds < 0) {
    changed_.wait(guard, [this] { return signalled_; });
  } else if (!changed_.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                [this] { return signalled_; })) {
    return false;
  }
  if (autoReset_) signalled_ = false;
  return true;
}

}  // namespace pelnik::platform
