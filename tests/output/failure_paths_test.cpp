// Saves that cannot succeed: a directory that cannot take the file, a path
// that is no regular file, a file-size limit. Each returns 0 and the process goes on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/still_image.h"
#include "sample_pictures.h"
#include "support/file_bytes.h"

namespace {

using namespace pelnik;
using pelnik::test::SamplePicture;

constexpr int kAllFormats[] = {0, 1, 2, 3, 4, 5, 6};

TEST(StillImageFailures, AnUnusableDirectoryFailsEveryFormatWithoutAFile) {
  SamplePicture source(32, 16, 24);
  const std::string directory = test::scratchDirectory();
  const std::string regularFile = directory + "/plain";
  test::writeJunk(regularFile, 10);
  for (const std::string &parent : {directory + "/missing", regularFile}) {
    for (const int format : kAllFormats) {
      const std::string path = parent + "/picture";
      EXPECT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 0)
          << path << ", format " << format;
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
}

// A write that fails part way (here past a file size limit, in a child so
// the limit stays there) is a libpng error: printed, and the save fails.
TEST(StillImageFailures, LibpngErrorsArePrintedAndReturned) {
  SamplePicture source(200, 150, 48);
  const std::string directory = test::scratchDirectory();
  const std::string printedPath = directory + "/stderr";
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    const int printed = ::open(printedPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (printed < 0 || ::dup2(printed, 2) < 0 || setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(255);
    const std::string path = directory + "/limited.png";
    _exit(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillPng, 10));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
  const std::vector<std::uint8_t> bytes = test::readFileBytes(printedPath);
  const std::string printed(bytes.begin(), bytes.end());
  EXPECT_EQ(printed.rfind("libpng error: ", 0), 0u) << printed;
  ASSERT_FALSE(printed.empty());
  EXPECT_EQ(printed.back(), '\n');
}

// With SIGXFSZ ignored, a write past the limit fails with EFBIG. Run in a
// child so the limit stays there; its exit status carries one bit per format
// that claimed success.
TEST(StillImageFailures, AFileSizeLimitFailsEveryFormat) {
  constexpr rlim_t kLimit = 16 * 1024;
  SamplePicture source(640, 480, 24);
  const std::string directory = test::scratchDirectory();
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(255);
    int claimed = 0;
    for (const int format : kAllFormats) {
      const std::string path = directory + "/limited" + std::to_string(format);
      if (output::SaveStillImage(path.c_str(), source.buffer(), format, 10) != 0) {
        claimed |= 1 << format;
      }
    }
    _exit(claimed);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "formats reported as saved, one bit each";
  for (const int format : kAllFormats) {
    const std::string path = directory + "/limited" + std::to_string(format);
    ASSERT_TRUE(std::filesystem::exists(path)) << format;
    EXPECT_LE(std::filesystem::file_size(path), kLimit) << format;
  }
}

// A FIFO without a reader would hold an open for writing until one comes,
// and a device takes no file: every still format refuses anything but a
// regular file at once, and the next save works.
TEST(StillImageFailures, APathThatIsNoRegularFileFailsEveryFormatWithoutBlocking) {
  SamplePicture source(32, 16, 24);
  const std::string fifo = test::scratchDirectory() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const char *path : {fifo.c_str(), "/dev/full"})
    for (const int format : kAllFormats)
      EXPECT_EQ(output::SaveStillImage(path, source.buffer(), format, 10), 0) << path << format;
  const std::string after = test::scratchDirectory() + "/after.jpg";
  EXPECT_EQ(output::SaveStillImage(after.c_str(), source.buffer(), output::kStillJpegQuality70, 10),
            1);
}

}  // namespace
