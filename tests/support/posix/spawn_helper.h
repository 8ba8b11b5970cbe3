#pragma once
// Starting a helper program from an argument vector (helperArgv): the first
// word is looked up on PATH, so an emulator named by its command works too.
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace pelnik::test {

inline std::vector<char *> argvPointers(const std::vector<std::string> &argv) {
  std::vector<char *> pointers;
  for (const std::string &word : argv) pointers.push_back(const_cast<char *>(word.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// The helper's process id, or -1 when it could not be started.
inline pid_t spawnHelper(const std::vector<std::string> &argv) {
  pid_t pid = -1;
  std::vector<char *> pointers = argvPointers(argv);
  if (posix_spawnp(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) return -1;
  return pid;
}

// In a forked child: becomes the helper, or exits with 127.
[[noreturn]] inline void execHelper(const std::vector<std::string> &argv) {
  std::vector<char *> pointers = argvPointers(argv);
  execvp(pointers[0], pointers.data());
  _exit(127);
}

}  // namespace pelnik::test
