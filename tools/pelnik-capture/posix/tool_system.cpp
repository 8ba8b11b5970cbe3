#include "../tool_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "PelnikMessages.h"
#include "settings/stored_settings_admin.h"

namespace capture {

struct MessageWindow::Parts {
  int target = 0;
};

MessageWindow::MessageWindow() : parts_(std::make_unique<Parts>()) {
  parts_->target = PelnikMsg_CreateWindow();
}

MessageWindow::~MessageWindow() { PelnikMsg_DestroyWindow(parts_->target); }

PelnikWindow MessageWindow::handle() const { return parts_->target; }

int MessageWindow::next(WindowMessage &m, int timeoutMs) {
  PelnikMsg got{};
  const int result = PelnikMsg_Get(parts_->target, &got, timeoutMs);
  if (result == 1) m = {got.message, got.wParam, got.lParam};
  return result;
}

bool makeDirectory(const std::string &dir, std::string &reason) {
  if (mkdir(dir.c_str(), 0755) == 0) return true;
  const int error = errno;
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  reason = std::strerror(error);
  return false;
}

std::string unwritableReason(const std::string &path) {
  const bool existed = access(path.c_str(), F_OK) == 0;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  if (!existed) unlink(path.c_str());
  return "";
}

std::uint64_t fileBytes(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool stdoutIsTerminal() { return isatty(STDOUT_FILENO); }

// The store is a file the tool reads and edits itself, with the library's
// own parser (the C interface has no such function).
int showStoredSettings(int number) {
  const auto report = pelnik::settings::describeStoredSettings(number);
  std::printf("settings store: %s\n", report.storePath.c_str());
  for (const auto &bad : report.setAside)
    std::printf("malformed store kept aside: %s\n", bad.c_str());
  if (!report.fileExists) {
    std::printf("nothing stored: camera %d opens with the defaults\n", number);
    return 0;
  }
  if (report.malformed) {
    std::printf(
        "the store is malformed (%s): cameras open with the defaults, and the next "
        "save keeps it aside as .bad-TIMESTAMP\n",
        report.problem.c_str());
    return 1;
  }
  if (report.lines.empty())
    std::printf("nothing stored for camera %d: it opens with the defaults\n", number);
  for (const auto &line : report.lines) std::printf("  %s\n", line.c_str());
  return 0;
}

int resetStoredSettings(int number) {
  std::string error;
  if (!pelnik::settings::resetStoredSettings(number, error)) {
    std::fprintf(stderr, "pelnik-capture: %s\n", error.c_str());
    return 1;
  }
  std::printf("settings of camera %d reset: the next open loads the defaults\n", number);
  return 0;
}

}  // namespace capture
