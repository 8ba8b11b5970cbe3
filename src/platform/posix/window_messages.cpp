#include "platform/window_messages.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace pelnik::platform {
namespace {

// One queue; its eventfd holds a non-zero count exactly while the queue is
// non-empty, so poll() on it reports "messages waiting".
class MessageTarget {
 public:
  MessageTarget() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~MessageTarget() {
    if (fd_ >= 0) close(fd_);
  }
  MessageTarget(const MessageTarget &) = delete;
  MessageTarget &operator=(const MessageTarget &) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  void post(const WindowMessage &message) {
    {
      std::lock_guard<std::mutex> guard(queueLock_);
      if (closed_ || queue_.size() >= static_cast<std::size_t>(kMessageQueueLimit)) return;
      queue_.push_back(message);
      if (queue_.size() == 1) signalFd();
    }
    arrived_.notify_one();
  }

  int take(WindowMessage &out, int timeoutMs) {
    std::unique_lock<std::mutex> guard(queueLock_);
    auto ready = [this] { return closed_ || !queue_.empty(); };
    if (timeoutMs < 0) {
      arrived_.wait(guard, ready);
    } else if (!arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready)) {
      return 0;
    }
    if (closed_) return -1;
    out = queue_.front();
    queue_.pop_front();
    if (queue_.empty()) drainFd();
    return 1;
  }

  void close_() {
    {
      std::lock_guard<std::mutex> guard(queueLock_);
      closed_ = true;
      queue_.clear();
      drainFd();
    }
    arrived_.notify_all();
  }

 private:
  void signalFd() {
    const std::uint64_t one = 1;
    (void)!write(fd_, &one, sizeof one);
  }
  void drainFd() {
    std::uint64_t count = 0;
    (void)!read(fd_, &count, sizeof count);
  }

  const int fd_;
  std::mutex queueLock_;  // guards queue_, closed_ and the eventfd count
  std::condition_variable arrived_;
  std::deque<WindowMessage> queue_;
  bool closed_ = false;
};

class MessageTargetTable {
 public:
  static MessageTargetTable &instance() {
    // Never destroyed: worker threads may still post during static teardown.
    static MessageTargetTable *table = new MessageTargetTable;
    return *table;
  }

  int create() {
    auto target = std::make_shared<MessageTarget>();
    if (!target->valid()) return 0;
    std::lock_guard<std::mutex> guard(tableLock_);
    if (nextHandle_ == INT_MAX) return 0;  // exhausted: handles are never reused
    const int handle = nextHandle_++;
    targets_.emplace(handle, std::move(target));
    return handle;
  }

  bool destroy(int window) {
    std::shared_ptr<MessageTarget> target;
    {
      std::lock_guard<std::mutex> guard(tableLock_);
      auto it = targets_.find(window);
      if (it == targets_.end()) return false;
      target = std::move(it->second);
      targets_.erase(it);
    }
    target->close_();
    return true;
  }

  std::shared_ptr<MessageTarget> find(int window) {
    std::lock_guard<std::mutex> guard(tableLock_);
    auto it = targets_.find(window);
    return it == targets_.end() ? nullptr : it->second;
  }

 private:
  std::mutex tableLock_;  // guards targets_ and nextHandle_
  std::unordered_map<int, std::shared_ptr<MessageTarget>> targets_;
  int nextHandle_ = 1;
};

}  // namespace

void postWindowMessage(int window, unsigned int message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (window == 0) return;
  if (auto target = MessageTargetTable::instance().find(window))
    target->post(WindowMessage{message, wParam, lParam});
}

int createMessageTarget() { return MessageTargetTable::instance().create(); }

bool destroyMessageTarget(int window) { return MessageTargetTable::instance().destroy(window); }

int takeMessage(int window, WindowMessage &out, int timeoutMs) {
  auto target = MessageTargetTable::instance().find(window);
  if (!target) return -1;
  return target->take(out, timeoutMs);
}

int messageTargetFd(int window) {
  auto target = MessageTargetTable::instance().find(window);
  return target ? target->fd() : -1;
}

}  // namespace pelnik::platform
