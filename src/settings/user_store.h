#pragma once
// The current user's settings store on this system: the registry-export text
// file on Linux, the registry itself on Windows.
#include "platform/settings_store.h"

namespace pelnik::settings {

platform::SettingsStore &userStore();

}  // namespace pelnik::settings
