#include "platform/event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pelnik::platform {

struct Event::State {
  bool autoReset;
  std::mutex stateLock;  // guards signalled
  std::condition_variable changed;
  bool signalled;
};

Event::Event(Reset reset, bool initiallySet)
    : state_(new State{reset == Reset::Auto, {}, {}, initiallySet}) {}

Event::~Event() = default;

void Event::set() {
  // Notified under the lock: a waiter that wakes may destroy the event at
  // once, so set() must not touch it after the lock is released.
  std::lock_guard<std::mutex> guard(state_->stateLock);
  state_->signalled = true;
  if (state_->autoReset)
    state_->changed.notify_one();
  else
    state_->changed.notify_all();
}

void Event::reset() {
  std::lock_guard<std::mutex> guard(state_->stateLock);
  state_->signalled = false;
}

bool Event::isSet() const {
  std::lock_guard<std::mutex> guard(state_->stateLock);
  return state_->signalled;
}

void Event::wait() { waitFor(-1); }

bool Event::waitFor(int milliseconds) {
  State &s = *state_;
  std::unique_lock<std::mutex> guard(s.stateLock);
  if (milliseconds < 0) {
    s.changed.wait(guard, [&s] { return s.signalled; });
  } else if (!s.changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                 [&s] { return s.signalled; })) {
    return false;
  }
  if (s.autoReset) s.signalled = false;
  return true;
}

}  // namespace pelnik::platform
