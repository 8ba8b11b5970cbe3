#include "support/process_environment.h"

#include <windows.h>

#include <cstdlib>

#include "settings/setting_groups.h"

namespace pelnik::test {

// Through the C runtime, so getenv in the same process sees the change; an
// empty value removes the variable.
void setEnvironment(const char *name, const char *value) { ::_putenv_s(name, value ? value : ""); }

long currentProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

void forgetStoredSettings() { ::RegDeleteTreeA(HKEY_CURRENT_USER, settings::kRootKey); }

}  // namespace pelnik::test
