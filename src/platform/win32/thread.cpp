#include "platform/thread.h"

#include <windows.h>

namespace pelnik::platform {

struct Thread::Native {
  HANDLE handle = nullptr;
  DWORD id = 0;
};

namespace {

// The body travels to the new thread on the heap; the thread owns it.
DWORD WINAPI runBody(LPVOID parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()> *>(parameter));
  (*body)();
  return 0;
}

}  // namespace

Thread::Thread() = default;

Thread::~Thread() { join(); }

bool Thread::start(std::function<void()> body) {
  if (native_) return false;
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  // Created suspended and resumed once the handle and id are in place, so
  // that the thread may ask at once whether it is current (or join itself).
  native_ = std::make_unique<Native>();
  native_->handle =
      ::CreateThread(nullptr, 0, runBody, owned.get(), CREATE_SUSPENDED, &native_->id);
  if (!native_->handle) {
    native_.reset();
    return false;
  }
  owned.release();  // the thread has it now
  ::ResumeThread(native_->handle);
  return true;
}

bool Thread::isCurrent() const { return native_ && native_->id == ::GetCurrentThreadId(); }

void Thread::join() {
  if (!native_) return;
  // A thread cannot wait for its own end: it runs on, its handle closed.
  if (!isCurrent()) ::WaitForSingleObject(native_->handle, INFINITE);
  ::CloseHandle(native_->handle);
  native_.reset();
}

}  // namespace pelnik::platform
