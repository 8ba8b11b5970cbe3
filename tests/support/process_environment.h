#pragma once
// The few process services the test isolation needs, per system.
#include <string>

namespace pelnik::test {

// Sets (or, with null, removes) an environment variable of this process.
void setEnvironment(const char *name, const char *value);
// This process's id, so that only the process that made a directory removes it.
long currentProcessId();

// Empties the user's settings store where it outlives a test case: the
// registry of a Windows test program, whose cases share one process and one
// registry. A Linux test case is a process with a configuration directory of
// its own, so there it has nothing to do.
void forgetStoredSettings();

}  // namespace pelnik::test
