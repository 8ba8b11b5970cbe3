#pragma once
// Worker threads owned by the object that starts them: the owner stops the
// work and joins; a thread still running at destruction is joined there.
// The thread is the system's own: a C++ thread on Linux, CreateThread on
// Windows.
#include <functional>
#include <memory>

namespace pelnik::platform {

class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread &) = delete;
  Thread &operator=(const Thread &) = delete;

  // Starts `body` on a new thread; false when the thread cannot be created
  // or one is already running.
  bool start(std::function<void()> body);
  // Waits for the thread to end; nothing when none runs. A thread may not
  // join itself: that returns at once and lets the thread run on, detached.
  void join();
  bool joinable() const { return native_ != nullptr; }
  bool isCurrent() const;

 private:
  struct Native;  // the system's thread object
  std::unique_ptr<Native> native_;
};

// Raises the calling thread's scheduling priority as far as the process is
// allowed to; never fails the caller (unprivileged processes keep theirs).
void raiseCurrentThreadPriority();

}  // namespace pelnik::platform
