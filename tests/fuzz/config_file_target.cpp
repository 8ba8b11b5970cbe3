// Fuzz target for the configuration file loader: any file loads into exactly
// its whole 8-byte records (a trailing part record ignored), and the byte
// string read as a UTF-16 path either converts and loads or is refused with
// the path failure, leaving the list as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/config_file.h"

using pelnik::device::ConfigLoadResult;
using pelnik::device::ConfigRecord;
using pelnik::device::ConfigurationList;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

const std::string &scratchFile() {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("pelnik-fuzz-config-" + std::to_string(::getpid()) + ".bin"))
                                      .string();
  return path;
}

std::uint32_t le32(const std::uint8_t *b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  ConfigurationList list;
  {
    std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
  }
  require(list.load(scratchFile().c_str()) == ConfigLoadResult::Loaded);
  const std::vector<ConfigRecord> records = list.records();
  require(records.size() == size / 8 && list.size() == records.size());
  for (std::size_t i = 0; i < records.size(); ++i)
    require(records[i] == ConfigRecord{le32(data + 8 * i), le32(data + 8 * i + 4)});

  // The same bytes as a wide path: nothing is taken from a path that failed.
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    wide.push_back(char16_t(data[i] | (data[i + 1] << 8)));
  const ConfigLoadResult byPath = list.loadWide(wide.c_str());
  if (byPath != ConfigLoadResult::Loaded) require(list.records() == records);
  require(list.load(nullptr) == ConfigLoadResult::FileFailed &&
          list.records().size() == list.size());
  return 0;
}
