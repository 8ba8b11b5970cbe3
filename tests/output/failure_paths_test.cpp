// Saves that cannot succeed: a directory that cannot take the file, a full
// device, a file-size limit. Each returns 0 and the process goes on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "output/still_image.h"
#include "sample_pictures.h"

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

// The device accepts the file but no byte of it: every writer must notice,
// libjpeg and libpng included, and hand control back instead of ending the
// process.
TEST(StillImageFailures, AFullDeviceFailsEveryFormatAndTheProcessGoesOn) {
  for (const int bits : {8, 24, 64}) {
    SamplePicture source(200, 150, bits);
    for (const int format : kAllFormats) {
      EXPECT_EQ(output::SaveStillImage("/dev/full", source.buffer(), format, 10), 0)
          << "format " << format << ", " << bits << " bits";
    }
  }
  SamplePicture source(200, 150, 24);
  const std::string path = test::scratchDirectory() + "/after.jpg";
  EXPECT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillJpegQuality70, 10),
            1);
}

TEST(StillImageFailures, LibpngErrorsArePrintedAndReturned) {
  SamplePicture source(200, 150, 48);
  ::testing::internal::CaptureStderr();
  const int result = output::SaveStillImage("/dev/full", source.buffer(), output::kStillPng, 10);
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.rfind("libpng error: ", 0), 0u) << printed;
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

// A FIFO without a reader would hold an open for writing until one comes:
// BMP and raw saves refuse anything but a regular file instead of blocking.
TEST(StillImageFailures, AFifoFailsBmpAndRawWithoutBlocking) {
  SamplePicture source(32, 16, 24);
  const std::string path = test::scratchDirectory() + "/fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  for (const int format : {output::kStillBmp, output::kStillRaw})
    EXPECT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 0) << format;
}

}  // namespace
