#pragma once
// Standard error redirected into a file for the life of the object, for
// tests of what the library writes there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace pelnik::test {

class StderrCapture {
 public:
  StderrCapture() : path_(::testing::TempDir() + "stderr-" + std::to_string(::getpid())) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    FILE *file = std::fopen(path_.c_str(), "w");
    ::dup2(::fileno(file), STDERR_FILENO);
    std::fclose(file);
  }
  ~StderrCapture() { restore(); }
  StderrCapture(const StderrCapture &) = delete;
  StderrCapture &operator=(const StderrCapture &) = delete;
  // Ends the capture and returns what was written, line by line.
  std::vector<std::string> lines() {
    restore();
    std::ifstream in(path_);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  std::string path_;
  int saved_ = -1;
};

}  // namespace pelnik::test
