#pragma once
// Work queued for a dialog by other threads (the acquisition thread telling
// it about new gains and white balance). Posting never blocks and never
// waits for the dialog's thread, so it is safe under the frame lock; the
// dialog's thread runs the queued work when it drains the inbox. Once the
// inbox is closed, pending and later posts are dropped.
#include <deque>
#include <functional>
#include <mutex>

namespace pelnik::platform {

class DialogInbox {
 public:
  DialogInbox();
  ~DialogInbox();
  DialogInbox(const DialogInbox &) = delete;
  DialogInbox &operator=(const DialogInbox &) = delete;

  // Queues `work`; false (and dropped) once the inbox is closed.
  bool post(std::function<void()> work);
  // Runs what is queued, in order, on the calling thread; the number run.
  int drain();
  // Drops what is queued and refuses further posts.
  void close();
  bool closed() const;
  // Readable while work is queued, for the view's event loop; -1 if none
  // could be made (the view then drains on a timer).
  int wakeFd() const { return wakeRead_; }

 private:
  void clearWake();

  mutable std::mutex queueLock_;  // guards queue_ and closed_
  std::deque<std::function<void()>> queue_;
  bool closed_ = false;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
};

}  // namespace pelnik::platform
