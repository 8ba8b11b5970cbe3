// Pelnik_Record on paths whose open would wait for another process (a FIFO
// nobody reads): the call is refused with the file error at once, and the
// other calls that need the acquisition control lock are never held up.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "api/exports_camera_support.h"
#include "support/test_environment.h"

namespace pelnik::test {
namespace {

using namespace std::chrono_literals;

class RecordBlockingPaths : public CameraTest {
 protected:
  std::string fifoPath(const std::string &name) {
    const std::string path = isolationRoot() + "/" + name;
    ::unlink(path.c_str());
    EXPECT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
    return path;
  }
};

TEST_F(RecordBlockingPaths, FifoWithoutReaderIsRefusedWithoutWaiting) {
  ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  const std::string path = fifoPath("movie-fifo.avi");
  // Run on a thread of its own: a fault here would otherwise hang the test.
  auto record =
      std::async(std::launch::async, [&] { return Pelnik_Record(handle_, path.c_str(), 1000, 0); });
  const auto status = record.wait_for(5s);
  if (status != std::future_status::ready) {
    // Let the open finish so the test can end, then report the wait.
    std::thread([path] {
      const int fd = ::open(path.c_str(), O_RDONLY);
      if (fd >= 0) ::close(fd);
    }).detach();
    ADD_FAILURE() << "Pelnik_Record waited for a reader of the FIFO";
    record.wait();
    return;
  }
  EXPECT_EQ(record.get(), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_FILE});
  // The camera was left idle: single pictures are prepared again.
  EXPECT_EQ(Pelnik_Capture(handle_), 1);
  EXPECT_EQ(Pelnik_Close(handle_), 1);
}

TEST_F(RecordBlockingPaths, FifoWithAReaderIsRefusedToo) {
  // An AVI is patched at its start when it ends: a pipe cannot hold one.
  ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  const std::string path = fifoPath("read-fifo.avi");
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(Pelnik_Record(handle_, path.c_str(), 1000, 0), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{PELNIK_ERR_FILE});
  ::close(reader);
  EXPECT_EQ(Pelnik_Capture(handle_), 1);
  EXPECT_EQ(Pelnik_Close(handle_), 1);
}

}  // namespace
}  // namespace pelnik::test
