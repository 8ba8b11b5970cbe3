#include "settings/user_store.h"

#include "settings/reg_file_store.h"

namespace pelnik::settings {

platform::SettingsStore &userStore() { return userSettingsStore(); }

}  // namespace pelnik::settings
