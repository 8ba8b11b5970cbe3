#pragma once
// Private runtime and configuration directories for a benchmark process, so
// it neither sees nor disturbs the user's cameras and settings.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace pelnik::bench {

// The new root directory, or empty when none can be made.
inline std::string makePrivateDirectories() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pelnik-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return {};
  const std::string runtime = pattern + "/runtime";
  const std::string config = pattern + "/config";
  std::filesystem::create_directories(runtime);
  std::filesystem::create_directories(config);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("HOME", pattern.c_str(), 1);
  return pattern;
}

inline void removePrivateDirectories(const std::string &root) {
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace pelnik::bench
