#include "platform/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace pelnik::platform {
namespace {

constexpr const char *kStoreDirectory = "Tesmor";
constexpr const char *kStoreFileName = "PelnikR5MLXSdk.reg";
constexpr const char *kTemporaryTag = ".tmp-";
constexpr const char *kSetAsideTag = ".bad-";

// A descriptor closed when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  FileDescriptor(FileDescriptor &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

std::string directoryOf(const std::string &path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string &path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

SettingsFileSnapshot readWhole(const std::string &path) {
  SettingsFileSnapshot snapshot;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    snapshot.state = errno == ENOENT ? SettingsFileSnapshot::State::Missing
                                     : SettingsFileSnapshot::State::Unreadable;
    return snapshot;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    snapshot.state = SettingsFileSnapshot::State::Unreadable;
    return snapshot;
  }
  if (static_cast<std::uint64_t>(info.st_size) > kSettingsFileLimit) {
    snapshot.state = SettingsFileSnapshot::State::TooLarge;
    return snapshot;
  }
  // Read to the end rather than trusting the size: the limit still holds.
  std::string bytes;
  char chunk[16384];
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      snapshot.state = SettingsFileSnapshot::State::Unreadable;
      return snapshot;
    }
    if (got == 0) break;
    if (bytes.size() + static_cast<std::size_t>(got) > kSettingsFileLimit) {
      snapshot.state = SettingsFileSnapshot::State::TooLarge;
      return snapshot;
    }
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  snapshot.state = SettingsFileSnapshot::State::Present;
  snapshot.bytes = std::move(bytes);
  return snapshot;
}

// Missing directories are made 0700 whatever the umask, like the runtime
// directory: the files in them are the user's alone.
bool makeDirectories(const std::string &directory) {
  std::error_code error;
  if (directory.empty() || std::filesystem::is_directory(directory, error)) return true;
  const std::filesystem::path parent = std::filesystem::path(directory).parent_path();
  if (!parent.empty() && parent.string() != directory && !makeDirectories(parent.string()))
    return false;
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return std::filesystem::is_directory(directory, error);
}

void syncDirectory(const std::string &directory) {
  FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

std::string localTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

class LockedCommit final : public SettingsFileCommit {
 public:
  LockedCommit(std::string path, FileDescriptor &&lock)
      : path_(std::move(path)), directory_(directoryOf(path_)), lock_(std::move(lock)) {
    current_ = readWhole(path_);
  }

  // Closing the lock file's descriptor (lock_'s destructor) releases the lock.
  ~LockedCommit() override = default;

  const SettingsFileSnapshot &current() const override { return current_; }

  bool setAsideCurrent() override {
    if (current_.state == SettingsFileSnapshot::State::Missing) return true;
    const std::string stem = path_ + kSetAsideTag + localTimestamp();
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::string name = attempt == 0 ? stem : stem + "-" + std::to_string(attempt);
      // A second name for the same file: no copy, and the file never vanishes.
      if (::link(path_.c_str(), name.c_str()) == 0) {
        syncDirectory(directory_);
        return true;
      }
      if (errno != EEXIST) return copyAside(name);
    }
    return false;
  }

  bool replace(std::string_view bytes) override {
    std::string temporary = path_ + kTemporaryTag + std::to_string(::getpid()) + "-XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) return false;
    struct stat old {};
    if (::stat(path_.c_str(), &old) == 0) ::fchmod(fd.get(), old.st_mode & 07777);
    const bool written = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    fd.reset();
    if (!written || ::rename(temporary.c_str(), path_.c_str()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
    syncDirectory(directory_);
    current_.state = SettingsFileSnapshot::State::Present;
    current_.bytes.assign(bytes);
    return true;
  }

 private:
  // Where hard links are not offered, the bytes are copied instead.
  bool copyAside(const std::string &name) {
    std::error_code error;
    return std::filesystem::copy_file(path_, name, std::filesystem::copy_options::none, error);
  }

  std::string path_;
  std::string directory_;
  FileDescriptor lock_;  // holds the advisory lock on NAME.lock
  SettingsFileSnapshot current_;
};

// Under the lock no other writer is busy, so every temporary left in the
// directory belongs to a writer that died before its rename.
void removeAbandonedTemporaries(const std::string &path) {
  const std::string prefix = baseNameOf(path) + kTemporaryTag;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(directoryOf(path), error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) std::filesystem::remove(entry.path(), error);
  }
}

}  // namespace

std::string SettingsFile::userStorePath() {
  std::string base;
  const char *config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) {
    base = config;
  } else {
    const char *home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/" + kStoreDirectory + "/" + kStoreFileName;
}

SettingsFileSnapshot SettingsFile::read() const { return readWhole(path_); }

std::unique_ptr<SettingsFileCommit> SettingsFile::beginCommit() const {
  if (!makeDirectories(directoryOf(path_))) return nullptr;
  const std::string lockPath = path_ + ".lock";
  FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.valid()) return nullptr;
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return nullptr;
  }
  removeAbandonedTemporaries(path_);
  return std::make_unique<LockedCommit>(path_, std::move(lock));
}

std::vector<std::string> SettingsFile::setAsideFiles() const {
  const std::string prefix = baseNameOf(path_) + kSetAsideTag;
  std::vector<std::string> found;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(directoryOf(path_), error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace pelnik::platform
