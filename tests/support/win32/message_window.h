#pragma once
// A window with a message loop on a thread of its own, as an application's:
// it keeps every application message (WM_APP and above) it receives.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace pelnik::test {

class MessageWindow {
 public:
  MessageWindow() {
    thread_ = std::thread([this] { run(); });
    while (!ready_) ::Sleep(1);
  }
  ~MessageWindow() {
    ::PostMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND window() const { return window_; }
  // Waits for `count` messages numbered `message`; those that arrived.
  std::vector<MSG> waitFor(UINT message, std::size_t count) {
    for (int i = 0; i < 5000 && only(message).size() < count; ++i) ::Sleep(1);
    return only(message);
  }
  // Forgets the messages received so far.
  void clear() {
    std::lock_guard lock(lock_);
    messages_.clear();
  }
  // Waits for `count` application messages; what arrived, in order.
  std::vector<MSG> waitFor(std::size_t count) {
    for (int i = 0; i < 5000 && received() < count; ++i) ::Sleep(1);
    std::lock_guard lock(lock_);
    return messages_;
  }

 private:
  std::vector<MSG> only(UINT message) {
    std::lock_guard lock(lock_);
    std::vector<MSG> kept;
    for (const MSG &m : messages_)
      if (m.message == message) kept.push_back(m);
    return kept;
  }
  std::size_t received() {
    std::lock_guard lock(lock_);
    return messages_.size();
  }
  void run() {
    window_ = ::CreateWindowExA(0, "STATIC", "pelnik messages", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, nullptr, nullptr);
    ready_ = true;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_CLOSE) break;
      if (msg.message >= WM_APP) {
        std::lock_guard lock(lock_);
        messages_.push_back(msg);
      }
      ::DispatchMessageA(&msg);
    }
    ::DestroyWindow(window_);
  }

  std::thread thread_;
  std::atomic<bool> ready_{false};
  HWND window_ = nullptr;
  std::mutex lock_;
  std::vector<MSG> messages_;
};

}  // namespace pelnik::test
