#pragma once
// The settings store on Windows: the current user's registry. Keys are
// opened below HKEY_CURRENT_USER (or below a sub-key of it given as the
// store's root, so tests can keep to a tree of their own). A write session
// holds a named mutex across processes and makes its values land in the
// registry only at commit.
#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace pelnik::platform::win32 {

class RegistryStore final : public SettingsStore {
 public:
  // How long a write session waits for another process's session to end.
  static constexpr unsigned long kWriteWaitMs = 5000;

  explicit RegistryStore(std::string root = {}) : root_(std::move(root)) {}

  std::unique_ptr<SettingsSession> beginRead() override;
  std::unique_ptr<SettingsSession> beginWrite() override;

 private:
  std::string root_;
};

// The current user's store (the hive itself as the root).
RegistryStore &userRegistryStore();

}  // namespace pelnik::platform::win32
