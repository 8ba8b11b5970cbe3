#pragma once
// The per-user runtime directory that holds the camera sockets and the claim
// table: $XDG_RUNTIME_DIR/pelnik, or /tmp/pelnik-UID when the variable is
// unset. Header-only so that the virtual camera resolves the same place.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace pelnik::platform {

// The directory's path (not created).
inline std::string runtimeDirectoryPath() {
  const char *xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && *xdg) return std::string(xdg) + "/pelnik";
  return "/tmp/pelnik-" + std::to_string(static_cast<unsigned long>(getuid()));
}

// Creates the directory when missing (0700) and checks that it is a real
// directory owned by this user and closed to others; the path on success,
// an empty string when it cannot be used safely.
inline std::string ensureRuntimeDirectory() {
  const std::string path = runtimeDirectoryPath();
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return {};
  if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) return {};
  if ((info.st_mode & 0077) != 0) return {};
  return path;
}

}  // namespace pelnik::platform
