#include "settings/user_store.h"

#include "platform/win32/registry_store.h"

namespace pelnik::settings {

platform::SettingsStore &userStore() { return platform::win32::userRegistryStore(); }

}  // namespace pelnik::settings
