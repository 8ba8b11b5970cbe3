#pragma once
// The few process services the test isolation needs, per system.
#include <string>

namespace pelnik::test {

// Sets (or, with null, removes) an environment variable of this process.
void setEnvironment(const char *name, const char *value);
// This process's id, so that only the process that made a directory removes it.
long currentProcessId();

}  // namespace pelnik::test
