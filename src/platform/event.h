#pragma once
// Manual-reset and auto-reset events with waits with and without limit: a
// mutex and condition on Linux, the system's event object on Windows.
#include <memory>

namespace pelnik::platform {

class Event {
 public:
  enum class Reset { Manual, Auto };

  explicit Event(Reset reset, bool initiallySet = false);
  ~Event();
  Event(const Event &) = delete;
  Event &operator=(const Event &) = delete;

  void set();
  void reset();
  // Whether the event is set, without clearing an auto-reset one.
  bool isSet() const;

  // Waits without limit.
  void wait();
  // Waits at most `milliseconds` (negative: without limit); true when the
  // event was set. An auto-reset event is cleared by the wait that sees it.
  bool waitFor(int milliseconds);

 private:
  struct State;  // the system's event
  std::unique_ptr<State> state_;
};

}  // namespace pelnik::platform
