#include "platform/clock.h"

#include <windows.h>
// After <windows.h>, which it builds on.
#include <mmsystem.h>

namespace pelnik::platform {

std::uint32_t tickCount() { return ::GetTickCount(); }

std::uint32_t multimediaTime() { return ::timeGetTime(); }

void sleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  ::Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace pelnik::platform
