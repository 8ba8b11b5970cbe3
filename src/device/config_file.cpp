#include "device/config_file.h"

#include <filesystem>
#include <fstream>
#include <new>
#include <optional>

#include "platform/text_convert.h"

namespace pelnik::device {
namespace {

std::uint32_t littleEndian32(const unsigned char *bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The file's records, or nothing when the file cannot be read whole.
std::optional<std::vector<ConfigRecord>> readRecords(const char *path) {
  // Directories, devices and pipes have no size to read whole.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > ConfigurationList::kMaxFileBytes) {
    return std::nullopt;
  }
  file.seekg(0, std::ios::beg);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  file.read(reinterpret_cast<char *>(bytes.data()), size);
  // A file that shrank or failed while being read is not half taken.
  if (file.gcount() != size) return std::nullopt;
  std::vector<ConfigRecord> records;
  records.reserve(bytes.size() / 8);
  for (std::size_t offset = 0; offset + 8 <= bytes.size(); offset += 8) {
    records.push_back({littleEndian32(&bytes[offset]), littleEndian32(&bytes[offset + 4])});
  }
  return records;
}

}  // namespace

ConfigLoadResult ConfigurationList::load(const char *path) {
  if (!path) return ConfigLoadResult::FileFailed;
  std::optional<std::vector<ConfigRecord>> records;
  try {
    records = readRecords(path);
  } catch (const std::bad_alloc &) {
    return ConfigLoadResult::FileFailed;
  } catch (const std::ios_base::failure &) {
    return ConfigLoadResult::FileFailed;
  }
  if (!records) return ConfigLoadResult::FileFailed;
  std::lock_guard<std::mutex> guard(configurationLock_);
  entries_.swap(*records);
  return ConfigLoadResult::Loaded;
}

ConfigLoadResult ConfigurationList::loadWide(const char16_t *path) {
  const auto narrow = platform::wideToSystemNarrow(path);
  if (!narrow || narrow->size() + 1 >= kWidePathLimit) return ConfigLoadResult::PathFailed;
  return load(narrow->c_str());
}

std::vector<ConfigRecord> ConfigurationList::records() const {
  std::lock_guard<std::mutex> guard(configurationLock_);
  return entries_;
}

std::size_t ConfigurationList::size() const {
  std::lock_guard<std::mutex> guard(configurationLock_);
  return entries_.size();
}

}  // namespace pelnik::device
