#pragma once
// pelnik-viewer started as a user starts it, on the embedded virtual camera,
// with its pictures and movies going to a directory of the test's; killed
// when the test ends unless the test saw it exit.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/test_environment.h"

namespace pelnik::test {

class ViewerProcess {
 public:
  explicit ViewerProcess(const std::string &outputDir) {
    pid_ = fork();
    if (pid_ == 0) {
      const std::string program = buildPath("tools/pelnik-viewer");
      execl(program.c_str(), program.c_str(), "--virtual", "--output-dir", outputDir.c_str(),
            static_cast<char *>(nullptr));
      _exit(127);
    }
  }
  ~ViewerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ViewerProcess(const ViewerProcess &) = delete;
  ViewerProcess &operator=(const ViewerProcess &) = delete;

  bool started() const { return pid_ > 0; }
  bool running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  // Reaps the viewer if it has exited: true with its wait status then.
  bool exited(int &status) {
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    return true;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace pelnik::test
