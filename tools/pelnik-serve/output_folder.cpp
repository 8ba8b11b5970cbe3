#include "output_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace serve {

OutputFolder::~OutputFolder() {
  if (directory_ >= 0) close(directory_);
}

bool OutputFolder::open(const std::string &path, std::string &error) {
  if (g_mkdir_with_parents(path.c_str(), 0750) != 0) {
    error = "cannot create the output folder " + path + ": " + std::strerror(errno);
    return false;
  }
  directory_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory_ < 0) {
    error = "cannot open the output folder " + path + ": " + std::strerror(errno);
    return false;
  }
  char *absolute = realpath(path.c_str(), nullptr);
  path_ = absolute ? absolute : path;
  free(absolute);
  return true;
}

bool OutputFolder::plainName(const std::string &name) {
  if (name.empty() || name.size() > 128 || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
}

namespace {
void unmapBytes(gpointer data) {
  auto *mapping = static_cast<std::pair<void *, size_t> *>(data);
  munmap(mapping->first, mapping->second);
  delete mapping;
}
}  // namespace

GBytes *OutputFolder::read(const std::string &name) const {
  if (!plainName(name) || directory_ < 0) return nullptr;
  const int fd = openat(directory_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  GBytes *bytes = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (info.st_size == 0) {
      bytes = g_bytes_new(nullptr, 0);
    } else {
      void *data = mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (data != MAP_FAILED) {
        auto *mapping = new std::pair<void *, size_t>(data, size_t(info.st_size));
        bytes = g_bytes_new_with_free_func(data, size_t(info.st_size), unmapBytes, mapping);
      }
    }
  }
  close(fd);
  return bytes;
}

std::vector<std::pair<std::string, long long>> OutputFolder::recordings() const {
  std::vector<std::pair<std::string, long long>> found;
  DIR *dir = opendir(path_.c_str());
  if (!dir) return found;
  while (dirent *entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!plainName(name) || name.size() < 5 || name.compare(name.size() - 4, 4, ".avi") != 0)
      continue;
    struct stat info;
    if (fstatat(directory_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode))
      continue;
    found.emplace_back(name, info.st_size);
  }
  closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const auto &a, const auto &b) { return a.first > b.first; });
  return found;
}

std::string OutputFolder::freshName(const std::string &prefix, const std::string &suffix) const {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string name = prefix + "-" + stamp + suffix;
  for (int n = 2; faccessat(directory_, name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0; ++n)
    name = prefix + "-" + stamp + "-" + std::to_string(n) + suffix;
  return name;
}

}  // namespace serve
