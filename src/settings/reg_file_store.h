#pragma once
// The settings store kept in one registry-export text file. Reads parse a
// snapshot of the file; every write session is one commit under the file's
// lock: re-read, apply, write a temporary, flush, rename. A file that does
// not parse reads as an empty store, and is set aside beside itself before a
// commit replaces it.
#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace pelnik::settings {

class RegFileStore final : public platform::SettingsStore {
 public:
  // The store at a fixed path.
  explicit RegFileStore(std::string path) : path_(std::move(path)) {}
  // The current user's store, its path resolved anew for every session.
  RegFileStore() = default;

  std::unique_ptr<platform::SettingsSession> beginRead() override;
  std::unique_ptr<platform::SettingsSession> beginWrite() override;

  std::string path() const;

 private:
  std::string path_;  // empty: the current user's store
};

// The process's store for the current user.
RegFileStore &userSettingsStore();

}  // namespace pelnik::settings
