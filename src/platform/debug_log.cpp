#include "platform/debug_log.h"

#include <cstdio>
#include <string>

namespace pelnik::platform {

namespace {

struct AreaName {
  std::string_view name;
  DebugArea area;
};

constexpr AreaName kAreaNames[] = {
    {"device", DebugArea::Device}, {"acquisition", DebugArea::Acquisition},
    {"chain", DebugArea::Chain},   {"errors", DebugArea::Errors},
    {"output", DebugArea::Output},
};

std::string_view nameOf(DebugArea area) {
  for (const auto &entry : kAreaNames)
    if (entry.area == area) return entry.name;
  return "?";
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool sameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = (a[i] >= 'A' && a[i] <= 'Z') ? char(a[i] - 'A' + 'a') : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

thread_local const char *tCurrentCall = nullptr;

// Small numbers that tell a line's threads apart, in order of first line.
unsigned threadNumber() {
  static std::atomic<unsigned> next{0};
  thread_local const unsigned number = ++next;
  return number;
}

}  // namespace

std::uint32_t parseDebugAreas(std::string_view text) {
  std::uint32_t areas = 0;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view word = trimmed(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    if (sameLetters(word, "all") || word == "1") {
      for (const auto &entry : kAreaNames) areas |= static_cast<std::uint32_t>(entry.area);
      continue;
    }
    for (const auto &entry : kAreaNames)
      if (sameLetters(word, entry.name)) areas |= static_cast<std::uint32_t>(entry.area);
  }
  return areas;
}

namespace debug_detail {
std::atomic<std::uint32_t> enabledAreas{[] {
  const char *value = debugEnvironment();
  return value ? parseDebugAreas(value) : 0u;
}()};
}  // namespace debug_detail

void setDebugAreas(std::uint32_t areas) { debug_detail::enabledAreas.store(areas); }

void debugLine(DebugArea area, const char *format, ...) {
  char body[512];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(body, sizeof body, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  std::string line = "pelnik[";
  line += nameOf(area);
  line += " t";
  line += std::to_string(threadNumber());
  line += "] ";
  line += body;
  if (static_cast<std::size_t>(length) >= sizeof body) line += "...";
  writeDebugSink(line);
}

const char *currentDebugCall() { return tCurrentCall; }

void DebugCallScope::enter(const char *call) {
  previous_ = tCurrentCall;
  tCurrentCall = call;
  entered_ = true;
}

void DebugCallScope::leave() { tCurrentCall = previous_; }

}  // namespace pelnik::platform
