#include "ui/dialog_inbox.h"

#include <map>

#include "ui/win32/dialog_inbox_wake.h"

namespace pelnik::platform {

namespace {

struct WakeTarget {
  HWND window;
  UINT message;
};

// The dialog windows to wake, by inbox. Posting only reads it under the lock
// and PostMessage does not wait, so the lock is never held for long.
std::mutex &wakeTargetsLock() {  // guards wakeTargets()
  static std::mutex lock;
  return lock;
}

std::map<const DialogInbox *, WakeTarget> &wakeTargets() {
  static std::map<const DialogInbox *, WakeTarget> targets;
  return targets;
}

void wake(const DialogInbox *inbox) {
  std::lock_guard<std::mutex> guard(wakeTargetsLock());
  const auto found = wakeTargets().find(inbox);
  if (found != wakeTargets().end())
    ::PostMessageA(found->second.window, found->second.message, 0, 0);
}

}  // namespace

InboxWakeTarget::InboxWakeTarget(DialogInbox &inbox, HWND window, UINT message) : inbox_(inbox) {
  std::lock_guard<std::mutex> guard(wakeTargetsLock());
  wakeTargets()[&inbox_] = {window, message};
}

InboxWakeTarget::~InboxWakeTarget() {
  std::lock_guard<std::mutex> guard(wakeTargetsLock());
  wakeTargets().erase(&inbox_);
}

// A Windows dialog is woken by a window message, so there is no descriptor
// (wakeFd() stays -1).
DialogInbox::DialogInbox() = default;

DialogInbox::~DialogInbox() = default;

bool DialogInbox::post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    if (closed_) return false;
    queue_.push_back(std::move(work));
  }
  wake(this);
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
