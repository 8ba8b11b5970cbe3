// The diagnostic log's sink on Linux: standard error, one write per line so
// that the lines of several threads (and of the application) never mix.
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/debug_log.h"

namespace pelnik::platform {

void writeDebugSink(std::string_view line) {
  char newline = '\n';
  iovec pieces[2] = {{const_cast<char *>(line.data()), line.size()}, {&newline, 1}};
  ssize_t written;
  do {
    written = ::writev(STDERR_FILENO, pieces, 2);
  } while (written < 0 && errno == EINTR);
}

const char *debugEnvironment() { return std::getenv("PELNIK_DEBUG"); }

}  // namespace pelnik::platform
