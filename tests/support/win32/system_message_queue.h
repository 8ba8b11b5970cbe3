#pragma once
// The message queue behind a test's MessageTarget on Windows: a hidden window
// whose message loop runs on a thread of its own, as an application's would,
// and keeps the SDK's messages (0x8002, 0x8003) for the test.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "PelnikSdk_R5M_LX.h"

namespace pelnik::test {

struct TargetMessage {
  unsigned int message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

class SystemMessageQueue {
 public:
  SystemMessageQueue() {
    loop_ = std::thread([this] { run(); });
    std::unique_lock lock(queueLock_);
    arrived_.wait(lock, [this] { return started_; });
  }
  ~SystemMessageQueue() {
    ::PostThreadMessageA(loopId_, WM_QUIT, 0, 0);
    loop_.join();
  }
  SystemMessageQueue(const SystemMessageQueue &) = delete;
  SystemMessageQueue &operator=(const SystemMessageQueue &) = delete;
  PelnikWindow window() const { return window_; }

  // Waits until the loop has taken every message posted before this call: a
  // marker posted now comes out of the window's queue after them.
  void catchUp() {
    std::unique_lock lock(queueLock_);
    const std::uintptr_t marker = ++markersPosted_;
    if (!::PostMessageA(window_, kMarker, marker, 0)) return;
    arrived_.wait_for(lock, std::chrono::seconds(10), [&] { return markersSeen_ >= marker; });
  }
  bool take(TargetMessage &m, int timeoutMs) {
    std::unique_lock lock(queueLock_);
    const auto waiting = [this] { return !messages_.empty(); };
    if (timeoutMs < 0)
      arrived_.wait(lock, waiting);
    else if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), waiting))
      return false;
    m = messages_.front();
    messages_.pop_front();
    return true;
  }

 private:
  static constexpr UINT kMarker = WM_USER + 1;

  void run() {
    HWND window = ::CreateWindowExA(0, "STATIC", "pelnik test messages", 0, 0, 0, 0, 0,
                                    HWND_MESSAGE, nullptr, nullptr, nullptr);
    {
      std::lock_guard lock(queueLock_);
      window_ = window;
      loopId_ = ::GetCurrentThreadId();
      started_ = true;
    }
    arrived_.notify_all();
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == kMarker || msg.message >= WM_APP) {
        {
          std::lock_guard lock(queueLock_);
          if (msg.message == kMarker)
            markersSeen_ = msg.wParam;
          else
            messages_.push_back({msg.message, msg.wParam, msg.lParam});
        }
        arrived_.notify_all();
        continue;
      }
      ::DispatchMessageA(&msg);
    }
    if (window) ::DestroyWindow(window);
  }

  std::thread loop_;  // owned: joined by the destructor
  DWORD loopId_ = 0;
  HWND window_ = nullptr;
  std::mutex queueLock_;  // guards the fields below and the start-up ones above
  std::condition_variable arrived_;
  bool started_ = false;
  std::uintptr_t markersPosted_ = 0;
  std::uintptr_t markersSeen_ = 0;
  std::deque<TargetMessage> messages_;
};

}  // namespace pelnik::test
