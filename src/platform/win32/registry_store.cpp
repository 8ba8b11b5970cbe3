#include "platform/win32/registry_store.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <utility>

namespace pelnik::platform::win32 {

namespace {

constexpr char kWriteMutexName[] = "PelnikR5MLXSdk_SettingsWrite";

std::string joined(const std::string &parent, std::string_view child) {
  if (parent.empty()) return std::string(child);
  if (child.empty()) return parent;
  return parent + "\\" + std::string(child);
}

// A registry key handle closed at scope end.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_) ::RegCloseKey(key_);
  }
  OpenKey(const OpenKey &) = delete;
  OpenKey &operator=(const OpenKey &) = delete;
  HKEY *place() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

class RegistrySession final : public SettingsSession {
 public:
  RegistrySession(std::string root, HANDLE writeLock)
      : root_(std::move(root)), writeLock_(writeLock) {}
  ~RegistrySession() override {
    if (writeLock_) {
      ::ReleaseMutex(writeLock_);
      ::CloseHandle(writeLock_);
    }
  }

  std::optional<SettingsKey> openKey(const SettingsKey &parent, std::string_view subKey) override {
    const std::string path = joined(parent.path, subKey);
    OpenKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, full(path).c_str(), 0, KEY_READ, key.place()) !=
        ERROR_SUCCESS)
      return std::nullopt;
    return SettingsKey{path};
  }

  std::optional<SettingsKey> createKey(const SettingsKey &parent,
                                       std::string_view subKey) override {
    if (!writeLock_) return std::nullopt;
    const std::string path = joined(parent.path, subKey);
    OpenKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, full(path).c_str(), 0, const_cast<char *>(""), 0,
                          KEY_ALL_ACCESS, nullptr, key.place(), nullptr) != ERROR_SUCCESS)
      return std::nullopt;
    return SettingsKey{path};
  }

  bool readValue(const SettingsKey &key, std::string_view name, std::uint32_t &place) override {
    const auto pending = pending_.find({key.path, std::string(name)});
    if (pending != pending_.end()) {
      place = pending->second;
      return true;
    }
    OpenKey open;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, full(key.path).c_str(), 0, KEY_READ, open.place()) !=
        ERROR_SUCCESS)
      return false;
    // Read into a scratch place: a value longer than 4 bytes must leave the
    // caller's place untouched.
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const std::string valueName(name);
    if (::RegQueryValueExA(open.get(), valueName.c_str(), nullptr, nullptr, data, &size) !=
            ERROR_SUCCESS ||
        size > sizeof data)
      return false;
    std::memcpy(&place, data, size);
    return true;
  }

  bool writeValue(const SettingsKey &key, std::string_view name, std::uint32_t value) override {
    if (!writeLock_) return false;
    pending_[{key.path, std::string(name)}] = value;
    return true;
  }

  bool commit() override {
    if (!writeLock_) return false;
    bool stored = true;
    for (const auto &[where, value] : pending_) {
      OpenKey key;
      if (::RegCreateKeyExA(HKEY_CURRENT_USER, full(where.first).c_str(), 0, const_cast<char *>(""),
                            0, KEY_ALL_ACCESS, nullptr, key.place(), nullptr) != ERROR_SUCCESS) {
        stored = false;
        continue;
      }
      const DWORD data = value;
      stored =
          ::RegSetValueExA(key.get(), where.second.c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE *>(&data), sizeof data) == ERROR_SUCCESS &&
          stored;
    }
    pending_.clear();
    return stored;
  }

 private:
  std::string full(const std::string &path) const { return joined(root_, path); }

  const std::string root_;
  HANDLE writeLock_;  // held while this write session lives; null when reading
  std::map<std::pair<std::string, std::string>, std::uint32_t> pending_;
};

}  // namespace

std::unique_ptr<SettingsSession> RegistryStore::beginRead() {
  return std::make_unique<RegistrySession>(root_, nullptr);
}

std::unique_ptr<SettingsSession> RegistryStore::beginWrite() {
  HANDLE lock = ::CreateMutexA(nullptr, FALSE, kWriteMutexName);
  if (!lock) return nullptr;
  const DWORD waited = ::WaitForSingleObject(lock, kWriteWaitMs);
  // An abandoned mutex is ours: its holder died before its commit, which
  // therefore never happened.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    ::CloseHandle(lock);
    return nullptr;
  }
  return std::make_unique<RegistrySession>(root_, lock);
}

RegistryStore &userRegistryStore() {
  static RegistryStore store;
  return store;
}

}  // namespace pelnik::platform::win32
