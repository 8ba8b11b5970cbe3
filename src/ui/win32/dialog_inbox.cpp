#include "ui/dialog_inbox.h"

namespace pelnik::platform {

// A Windows dialog drains its inbox from its own message loop on a timer, so
// there is no descriptor to wake it (wakeFd() stays -1).
DialogInbox::DialogInbox() = default;

DialogInbox::~DialogInbox() = default;

bool DialogInbox::post(std::function<void()> work) {
  std::lock_guard<std::mutex> guard(queueLock_);
  if (closed_) return false;
  queue_.push_back(std::move(work));
  return true;
}

void DialogInbox::clearWake() {}

int DialogInbox::drain() {
  std::deque<std::function<void()>> taken;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    taken.swap(queue_);
  }
  int ran = 0;
  for (auto &work : taken) {
    if (closed()) break;
    work();
    ++ran;
  }
  return ran;
}

void DialogInbox::close() {
  std::lock_guard<std::mutex> guard(queueLock_);
  closed_ = true;
  queue_.clear();
}

bool DialogInbox::closed() const {
  std::lock_guard<std::mutex> guard(queueLock_);
  return closed_;
}

}  // namespace pelnik::platform
