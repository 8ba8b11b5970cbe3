// The companion API: message targets standing in for application windows.
#include "PelnikMessages.h"
#include "platform/window_messages.h"

extern "C" {

int PelnikMsg_CreateWindow(void) { return pelnik::platform::createMessageTarget(); }

int PelnikMsg_DestroyWindow(int window) {
  return pelnik::platform::destroyMessageTarget(window) ? 1 : 0;
}

int PelnikMsg_Get(int window, PelnikMsg *msg, int timeoutMs) {
  if (!msg) return -1;  // nowhere to put it: leave the message queued
  pelnik::platform::WindowMessage taken{};
  const int result = pelnik::platform::takeMessage(window, taken, timeoutMs);
  if (result == 1) {
    msg->message = taken.message;
    msg->wParam = taken.wParam;
    msg->lParam = taken.lParam;
  }
  return result;
}

int PelnikMsg_Fd(int window) { return pelnik::platform::messageTargetFd(window); }

}  // extern "C"
