// A second process for the diagnostic log's tests: prints which areas the
// log took from the environment when the program loaded, one "name 0|1" a
// line, then writes one line in every area that is on.
#include <cstdio>

#include "platform/debug_log.h"

int main() {
  using pelnik::platform::DebugArea;
  const struct {
    const char *name;
    DebugArea area;
  } areas[] = {{"device", DebugArea::Device},
               {"acquisition", DebugArea::Acquisition},
               {"chain", DebugArea::Chain},
               {"errors", DebugArea::Errors},
               {"output", DebugArea::Output}};
  for (const auto &entry : areas)
    std::printf("%s %d\n", entry.name, pelnik::platform::debugEnabled(entry.area) ? 1 : 0);
  std::fflush(stdout);
  for (const auto &entry : areas) PELNIK_DEBUG_LOG(entry.area, "probe line for %s", entry.name);
  return 0;
}
