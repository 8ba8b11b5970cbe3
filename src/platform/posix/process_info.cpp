#include "platform/process_info.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

namespace pelnik::platform {

std::int32_t currentProcessId() { return static_cast<std::int32_t>(::getpid()); }

std::uint64_t processStartTime(std::int32_t pid) {
  if (pid <= 0) return 0;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!stat || !std::getline(stat, line)) return 0;
  // The command name (field 2) may hold spaces and parentheses: the fields
  // after it start behind its last ')'. The start time is field 22.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return 0;
    // A zombie has ended; only its parent has yet to collect it.
    if (index == 3 && (field == "Z" || field == "X")) return 0;
  }
  try {
    return std::stoull(field);
  } catch (...) {
    return 0;
  }
}

bool processExists(std::int32_t pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace pelnik::platform
