// The diagnostic log's sink on Windows: the debugger's output channel, one
// call per line with its newline so lines of several threads never mix.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/debug_log.h"

namespace pelnik::platform {

void writeDebugSink(std::string_view line) {
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line);
  whole.push_back('\n');
  ::OutputDebugStringA(whole.c_str());
}

// The C runtime's copy of the environment, read once at load.
const char *debugEnvironment() { return std::getenv("PELNIK_DEBUG"); }

}  // namespace pelnik::platform
