#pragma once
// The diagnostic log a user turns on to chase a fault: PELNIK_DEBUG names
// the areas (comma-separated, or "all"), read once when the library loads.
// Each significant event becomes one line through the platform's sink
// (standard error on Linux). With the log off a call site costs one load of
// a constant and a branch: use PELNIK_DEBUG_LOG, which formats nothing
// unless the area is on.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string_view>

namespace pelnik::platform {

enum class DebugArea : std::uint32_t {
  Device = 1u << 0,       // driver requests and their results
  Acquisition = 1u << 1,  // starts, stops, frames dropped and why
  Chain = 1u << 2,        // processing chain and filter changes
  Errors = 1u << 3,       // error codes raised, with the call that raised them
  Output = 1u << 4,       // still files and recordings
};

// The areas named in `text` ("device,acquisition", "all"); unknown names are
// ignored.
std::uint32_t parseDebugAreas(std::string_view text);

namespace debug_detail {
// Set once at load, before any export can run (and by setDebugAreas in
// tests); a relaxed load is a plain load.
extern std::atomic<std::uint32_t> enabledAreas;
}  // namespace debug_detail

inline bool debugEnabled(DebugArea area) {
  return (debug_detail::enabledAreas.load(std::memory_order_relaxed) &
          static_cast<std::uint32_t>(area)) != 0;
}

// Formats one line (printf rules) with the area's name and the thread's
// identity in front and hands it to the sink. Call through PELNIK_DEBUG_LOG.
void debugLine(DebugArea area, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Turns areas on or off at run time (tests; the library itself only reads
// the environment at load).
void setDebugAreas(std::uint32_t areas);

// The platform's sink: writes one finished line (no newline) whole, so lines
// of several threads never mix. Implemented per platform.
void writeDebugSink(std::string_view line);
// The variable's value, or null; read once at load. Implemented per platform.
const char *debugEnvironment();

// The export the calling thread is in, for the error lines; set by
// DebugCallScope only while the log is on.
const char *currentDebugCall();

class DebugCallScope {
 public:
  explicit DebugCallScope(const char *call) {
    if (debug_detail::enabledAreas.load(std::memory_order_relaxed) != 0) enter(call);
  }
  ~DebugCallScope() {
    if (entered_) leave();
  }
  DebugCallScope(const DebugCallScope &) = delete;
  DebugCallScope &operator=(const DebugCallScope &) = delete;

 private:
  void enter(const char *call);
  void leave();
  const char *previous_ = nullptr;
  bool entered_ = false;
};

}  // namespace pelnik::platform

#define PELNIK_DEBUG_LOG(area, ...)                          \
  do {                                                       \
    if (::pelnik::platform::debugEnabled(area)) [[unlikely]] \
      ::pelnik::platform::debugLine(area, __VA_ARGS__);      \
  } while (0)
