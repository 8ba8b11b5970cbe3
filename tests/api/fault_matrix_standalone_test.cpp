// The fault matrix row that needs a second process: the standalone virtual
// camera killed with SIGKILL (no clean-up, its sockets left behind) while a
// callback stream runs, then started again. The calls return within the
// documented waits with documented codes, and the same camera object streams
// again in the same process.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "api/exports_camera_support.h"
#include "support/posix/spawn_helper.h"
#include "support/test_environment.h"

namespace pelnik::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kCallLimit = std::chrono::seconds(10);

// One pelnik-virtcam serving camera 0 in this test's runtime directory.
class VirtcamProcess {
 public:
  VirtcamProcess() { pid_ = spawnHelper(helperArgv("pelnik-virtcam", {"--cameras", "0"})); }
  ~VirtcamProcess() { kill(SIGTERM); }
  bool started() const { return pid_ > 0; }
  void kill(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

class StandaloneFaultMatrix : public ::testing::Test {
 protected:
  template <class Call>
  int timed(Call &&call) {
    const auto start = Clock::now();
    const int result = call();
    longest_ = std::max(longest_, Clock::now() - start);
    return result;
  }
  bool start() {
    return timed([&] {
             return Pelnik_CallBackPreview(handle_, callback_.window(), buffer_.data(),
                                           static_cast<int>(buffer_.size()), 1);
           }) == 1;
  }
  void stop() {
    timed([&] { return Pelnik_StopPreview(handle_); });
  }
  bool picture(int waitMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
    while (Clock::now() < until) {
      const auto m = callback_.next(100);
      if (!m || m->message != kFrameMessage) continue;
      if (m->wParam != 0) return true;
      frameErrors_.insert(long(m->lParam));
    }
    return false;
  }
  // The camera's socket, which a killed server leaves behind.
  static std::string cameraSocket() { return runtimeDir() + "/pelnik/PNikR5MLX-0"; }
  static bool waitForSocket() {
    for (int i = 0; i < 200; ++i) {
      if (std::filesystem::exists(cameraSocket())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  MessageTarget owner_;
  MessageTarget callback_;
  std::vector<unsigned char> buffer_ = std::vector<unsigned char>(1280 * 1024);
  int handle_ = 0;
  Clock::duration longest_{};
  std::set<long> frameErrors_;
};

TEST_F(StandaloneFaultMatrix, KilledAndRestartedVirtualCameraStreamsAgainInTheSameProcess) {
  auto server = std::make_unique<VirtcamProcess>();
  ASSERT_TRUE(server->started()) << "pelnik-virtcam could not be started";
  ASSERT_TRUE(waitForSocket()) << "pelnik-virtcam serves no camera";
  handle_ = Pelnik_Initialize(owner_.window());
  ASSERT_NE(handle_, 0);
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_TRUE(start());
  ASSERT_TRUE(picture(5000)) << "no picture before the kill";
  popErrors(handle_);

  server->kill(SIGKILL);
  int delivered = 0;
  const auto faultEnds = Clock::now() + std::chrono::milliseconds(2500);
  while (Clock::now() < faultEnds)
    if (picture(300)) ++delivered;
  const std::vector<int> faultCodes = popErrors(handle_);

  server = std::make_unique<VirtcamProcess>();
  ASSERT_TRUE(server->started());
  stop();
  bool recovered = false;
  const auto healDeadline = Clock::now() + std::chrono::seconds(15);
  while (!recovered && Clock::now() < healDeadline) {
    if (!start()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    recovered = picture(3000);
    if (!recovered) stop();
  }
  stop();
  owner_.drain();

  std::string codes;
  for (int c : std::set<int>(faultCodes.begin(), faultCodes.end()))
    codes += (codes.empty() ? "" : ",") + std::to_string(c);
  for (long c : frameErrors_) codes += " msg" + std::to_string(c);
  std::printf(
      "fault-matrix | %-15s | %-16s | %3d pictures | codes %-12s | longest call %5lld ms | %s\n",
      "callback", "SIGKILL+restart", delivered, codes.empty() ? "-" : codes.c_str(),
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(longest_).count()),
      recovered ? "recovered" : "NOT recovered");

  EXPECT_TRUE(recovered) << "the camera object did not stream again after the restart";
  EXPECT_LE(longest_, kCallLimit);
  EXPECT_EQ(delivered, 0) << "pictures from a killed camera";
  const std::set<int> documented{PELNIK_ERR_NO_DEVICE, PELNIK_ERR_IO, PELNIK_ERR_ACQUISITION,
                                 PELNIK_ERR_STOPPED};
  for (int code : faultCodes) EXPECT_TRUE(documented.count(code)) << "undocumented code " << code;
  for (long code : frameErrors_)
    EXPECT_TRUE(documented.count(int(code))) << "frame message " << code;
  EXPECT_EQ(Pelnik_Release(handle_), 1);
}

}  // namespace
}  // namespace pelnik::test
