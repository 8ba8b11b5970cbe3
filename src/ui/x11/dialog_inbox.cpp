#include "ui/dialog_inbox.h"

#include <fcntl.h>
#include <unistd.h>

namespace pelnik::platform {

DialogInbox::DialogInbox() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
  }
}

DialogInbox::~DialogInbox() {
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool DialogInbox::post(std::function<void()> work) {
  std::lock_guard<std::mutex> guard(queueLock_);
  if (closed_) return false;
  queue_.push_back(std::move(work));
  if (wakeWrite_ >= 0) {
    // A full pipe already wakes the reader, so a failed write loses nothing.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &byte, 1);
  }
  return true;
}

void DialogInbox::clearWake() {
  if (wakeRead_ < 0) return;
  char bytes[64];
  while (::read(wakeRead_, bytes, sizeof bytes) > 0) {
  }
}

int DialogInbox::drain() {
  std::deque<std::function<void()>> taken;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    clearWake();
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
  clearWake();
}

bool DialogInbox::closed() const {
  std::lock_guard<std::mutex> guard(queueLock_);
  return closed_;
}

}  // namespace pelnik::platform
