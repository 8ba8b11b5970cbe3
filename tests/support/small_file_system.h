#pragma once
// A small tmpfs of its own for tests of full disks. As root it is mounted
// directly; otherwise the test process first enters new user and mount
// namespaces (it must not have started any thread yet). Unmounted on
// destruction. `error()` says why it could not be made; tests then fail.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "support/test_environment.h"

namespace pelnik::test {

class SmallFileSystem {
 public:
  explicit SmallFileSystem(std::size_t bytes) {
    std::string pattern = isolationRoot() + "/tmpfs-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      error_ = "no mount point";
      return;
    }
    path_ = pattern;
    if (geteuid() != 0 && !enterOwnNamespaces()) return;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      error_ = std::string("mount tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallFileSystem() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty()) rmdir(path_.c_str());
  }
  SmallFileSystem(const SmallFileSystem &) = delete;
  SmallFileSystem &operator=(const SmallFileSystem &) = delete;

  bool ok() const { return mounted_; }
  const std::string &error() const { return error_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  bool enterOwnNamespaces() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      error_ = std::string("unshare: ") + std::strerror(errno);
      return false;
    }
    // Files the test creates must belong to someone the namespace knows.
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << uid << ' ' << uid << " 1";
    std::ofstream("/proc/self/gid_map") << gid << ' ' << gid << " 1";
    return true;
  }

  std::string path_;
  std::string error_;
  bool mounted_ = false;
};

}  // namespace pelnik::test
