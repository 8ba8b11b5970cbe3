#pragma once
// The per-user settings store as the library sees it: a tree of keys under
// the current user's hive holding 32-bit values, reached through open,
// create-or-open, read, write and close. Work is done in sessions: a read
// session sees one snapshot of the store; a write session is one atomic
// commit that either lands whole or not at all.
//
// The store itself is one text file per user; this header also gives the
// file operations (read it whole, and replace it under an advisory lock)
// that the text-format store in src/settings is built on.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelnik::platform {

// An open key: the path below the current user's hive, components joined by
// '\'. A key is a plain value, so closing one is letting it go.
struct SettingsKey {
  std::string path;  // empty for the hive itself
};

class SettingsSession {
 public:
  virtual ~SettingsSession() = default;

  // The hive every path starts from.
  static SettingsKey currentUser() { return {}; }

  // Opens an existing key; `subKey` may name several levels ("A\B\C").
  virtual std::optional<SettingsKey> openKey(const SettingsKey &parent,
                                             std::string_view subKey) = 0;
  // Opens a key, creating it and any missing parents (write sessions only).
  virtual std::optional<SettingsKey> createKey(const SettingsKey &parent,
                                               std::string_view subKey) = 0;
  // Reads a value into a 4-byte place without looking at its type: data of up
  // to 4 bytes is copied over the place's low bytes; a missing value, or one
  // longer than 4 bytes, leaves the place as it was and reads false.
  virtual bool readValue(const SettingsKey &key, std::string_view name, std::uint32_t &place) = 0;
  // Writes a 32-bit value (write sessions only).
  virtual bool writeValue(const SettingsKey &key, std::string_view name, std::uint32_t value) = 0;
  // Makes a write session's changes durable; false when nothing was stored.
  // A read session, and a write session ended without commit, store nothing.
  virtual bool commit() = 0;
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // A snapshot to read from; never null.
  virtual std::unique_ptr<SettingsSession> beginRead() = 0;
  // An exclusive write session; null when the store cannot be written.
  virtual std::unique_ptr<SettingsSession> beginWrite() = 0;
};

// ---- the file that holds the store ----

struct SettingsFileSnapshot {
  enum class State { Missing, Present, TooLarge, Unreadable };
  State state = State::Missing;
  std::string bytes;  // the whole file when Present
};

// Files beyond this are no settings file of ours; they are treated as
// malformed and never read into memory.
inline constexpr std::size_t kSettingsFileLimit = 16u * 1024u * 1024u;

// One commit in progress: holds the advisory lock from construction to
// destruction, so what it read stays current until it replaces the file.
class SettingsFileCommit {
 public:
  virtual ~SettingsFileCommit() = default;
  // The file as it was when the lock was taken.
  virtual const SettingsFileSnapshot &current() const = 0;
  // Keeps the current file beside itself as NAME.bad-TIMESTAMP; false when it
  // could not be kept (then it must not be replaced).
  virtual bool setAsideCurrent() = 0;
  // Writes `bytes` to a temporary file in the same directory, flushes it to
  // disk and renames it over the file.
  virtual bool replace(std::string_view bytes) = 0;
};

class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}

  // $XDG_CONFIG_HOME/Tesmor/PelnikR5MLXSdk.reg, with ~/.config when the
  // variable is unset or empty.
  static std::string userStorePath();

  const std::string &path() const { return path_; }

  // Reads the file whole (no lock: the file is only ever replaced by rename,
  // so a reader sees either the old or the new file).
  SettingsFileSnapshot read() const;

  // Creates the directory when missing, takes the lock on NAME.lock beside
  // the file, removes temporaries left by writers that died, and reads the
  // file. Null when the directory or the lock cannot be had.
  std::unique_ptr<SettingsFileCommit> beginCommit() const;

  // Malformed files set aside beside this one, oldest name first.
  std::vector<std::string> setAsideFiles() const;

 private:
  std::string path_;
};

}  // namespace pelnik::platform
