#include "platform/event.h"

#include <windows.h>

namespace pelnik::platform {

struct Event::State {
  HANDLE handle;
  bool autoReset;
};

Event::Event(Reset reset, bool initiallySet)
    : state_(new State{::CreateEventA(nullptr, reset == Reset::Manual, initiallySet, nullptr),
                       reset == Reset::Auto}) {}

Event::~Event() {
  if (state_->handle) ::CloseHandle(state_->handle);
}

void Event::set() { ::SetEvent(state_->handle); }

void Event::reset() { ::ResetEvent(state_->handle); }

bool Event::isSet() const {
  if (::WaitForSingleObject(state_->handle, 0) != WAIT_OBJECT_0) return false;
  // Looking cleared an auto-reset event: it is set again.
  if (state_->autoReset) ::SetEvent(state_->handle);
  return true;
}

void Event::wait() { ::WaitForSingleObject(state_->handle, INFINITE); }

bool Event::waitFor(int milliseconds) {
  const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
  return ::WaitForSingleObject(state_->handle, limit) == WAIT_OBJECT_0;
}

}  // namespace pelnik::platform
