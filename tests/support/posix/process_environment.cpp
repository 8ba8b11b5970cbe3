#include "support/process_environment.h"

#include <unistd.h>

#include <cstdlib>

namespace pelnik::test {

void setEnvironment(const char *name, const char *value) {
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
}

long currentProcessId() { return static_cast<long>(::getpid()); }

void forgetStoredSettings() {}

}  // namespace pelnik::test
