#pragma once
// The camera object's configuration list: the records of the last binary
// configuration file loaded, a plain sequence of 8-byte records (two 32-bit
// little-endian values; trailing bytes that do not fill a record are
// ignored). Nothing in the library interprets the values.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pelnik::device {

struct ConfigRecord {
  std::uint32_t first;
  std::uint32_t second;
  bool operator==(const ConfigRecord &) const = default;
};

enum class ConfigLoadResult {
  Loaded,      // the list now holds the file's records
  FileFailed,  // missing, unreadable, short read, too large: list unchanged
  PathFailed,  // the wide path could not be converted or is too long: error 12
};

class ConfigurationList {
 public:
  // 64 MiB, eight million records: far beyond any configuration file, small
  // enough that a wrong path (a disk image, a device) fails instead of
  // filling memory.
  static constexpr std::uint64_t kMaxFileBytes = 64ull * 1024 * 1024;
  // A converted wide path, terminator included, must fit this many bytes.
  static constexpr std::size_t kWidePathLimit = 1024;

  // Reads the file whole and replaces the list with its records. The list
  // changes only after the whole file was read.
  ConfigLoadResult load(const char *path);
  // The UTF-16 form: the path becomes UTF-8 first.
  ConfigLoadResult loadWide(const char16_t *path);

  std::vector<ConfigRecord> records() const;
  std::size_t size() const;

 private:
  mutable std::mutex configurationLock_;  // guards entries_
  std::vector<ConfigRecord> entries_;
};

// The exports' result for a load: 1 when loaded, else 0.
inline int configLoadExportResult(ConfigLoadResult result) {
  return result == ConfigLoadResult::Loaded ? 1 : 0;
}

}  // namespace pelnik::device
