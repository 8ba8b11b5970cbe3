#pragma once
// Windows programs of the 64-bit tree run under Wine on a test's own Xvfb:
// Wine's windows are X windows, so the display helpers drive and read them.
// A program and its test talk through files in a work directory of their
// own: the program writes reports (key=value lines, and pictures), the test
// answers with "go" files. No Xvfb, xdotool or Wine is a failure.
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/display/x_session.h"

namespace pelnik::test {

// The 64-bit Windows build tree the programs come from.
std::string windowsTree();

using Report = std::map<std::string, std::string>;

class WineProgram {
 public:
  // Starts tests/wine/programs/NAME.exe of the Windows tree through
  // scripts/windows/wine-run.sh (a free Wine prefix lane) on the current
  // DISPLAY. Its first argument is its work directory (a Windows path); the
  // arguments given follow. A NAME with a slash is a program of the tree
  // given by its path (tools/pelnik-viewer.exe): it gets the arguments
  // alone, "{dir}" among them standing for the work directory.
  explicit WineProgram(const std::string &name, const std::vector<std::string> &arguments = {});
  ~WineProgram();
  WineProgram(const WineProgram &) = delete;
  WineProgram &operator=(const WineProgram &) = delete;

  bool started() const { return pid_ > 0; }
  const std::string &error() const { return error_; }
  // The work directory (a Linux path).
  const std::string &dir() const { return dir_; }

  // Waits for the program's report NAME (written whole); nullopt when it
  // does not come in time or the program ended first.
  std::optional<Report> waitForReport(const std::string &name, int timeoutMs);
  // The bytes of a file the program wrote into its work directory.
  std::vector<unsigned char> readFile(const std::string &name) const;
  // Lets the program go on past its wait for NAME.
  void signal(const std::string &name);
  // The program's exit status once it ended within the time.
  std::optional<int> waitForExit(int timeoutMs);

 private:
  bool reap(int timeoutMs);

  pid_t pid_ = -1;
  int status_ = -1;
  bool ended_ = false;
  std::string dir_;
  std::string error_;
};

// An integer of a report; `fallback` when missing or not a number.
int reportInt(const Report &report, const std::string &key, int fallback = -1);

// What the test machine must have for Windows window tests: Xvfb, xdotool,
// Wine and the prepared prefix lanes. Empty when all are there.
std::string missingWineTools();

}  // namespace pelnik::test
