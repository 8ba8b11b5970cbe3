#pragma once
// Worker threads owned by the object that starts them: the owner stops the
// work and joins; a thread still running at destruction is joined there.
#include <functional>
#include <thread>

namespace pelnik::platform {

class Thread {
 public:
  Thread() = default;
  ~Thread() { join(); }
  Thread(const Thread &) = delete;
  Thread &operator=(const Thread &) = delete;

  // Starts `body` on a new thread; false when the thread cannot be created
  // or one is already running.
  bool start(std::function<void()> body);
  // Waits for the thread to end; nothing when none runs. A thread may not
  // join itself (that returns at once and leaves the thread detached-free).
  void join();
  bool joinable() const { return thread_.joinable(); }
  bool isCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

 private:
  std::thread thread_;
};

// Raises the calling thread's scheduling priority as far as the process is
// allowed to; never fails the caller (unprivileged processes keep theirs).
void raiseCurrentThreadPriority();

}  // namespace pelnik::platform
