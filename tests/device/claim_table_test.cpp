// The claim table: its file and record layout, claims by identity, stale
// claims of ended processes, and two real processes sharing it.
#include "device/claim_table.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/runtime_dir.h"
#include "support/posix/spawn_helper.h"
#include "support/test_environment.h"

namespace {

using pelnik::device::ClaimRecord;
using pelnik::device::ClaimTable;

std::string tablePath() { return pelnik::platform::ensureRuntimeDirectory() + "/TESMOR_USBCAMERA"; }

std::vector<std::uint8_t> fileBytes(std::size_t offset, std::size_t count) {
  std::ifstream file(tablePath(), std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  std::vector<std::uint8_t> bytes(count);
  file.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(count));
  return bytes;
}

std::size_t recordOffset(int n) { return 0x1D6500 + 140 * static_cast<std::size_t>(n); }

std::int32_t le32(const std::vector<std::uint8_t> &b, std::size_t at) {
  return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                   std::uint32_t(b[at + 3]) << 24);
}

// The id of a process that has ended and been collected.
pid_t endedProcessId() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST(ClaimTable, FileHasTheSharedLayout) {
  auto table = ClaimTable::open();
  ASSERT_NE(table, nullptr);
  struct stat info {};
  ASSERT_EQ(stat(tablePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 0x460000);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const std::int32_t me = ClaimTable::newClaimantIdentity();
  ASSERT_EQ(table->claim(3, me), 1);
  auto record = fileBytes(recordOffset(3), 140);
  EXPECT_EQ(le32(record, 0), me);
  EXPECT_EQ(le32(record, 4), getpid());
  EXPECT_EQ(le32(record, 8), 0);
  EXPECT_STREQ(reinterpret_cast<const char *>(record.data() + 12), "PelnikSdk_R5M_LX.dll");
  // Its neighbours are untouched.
  for (std::uint8_t b : fileBytes(recordOffset(2), 140)) ASSERT_EQ(b, 0);
  for (std::uint8_t b : fileBytes(recordOffset(4), 140)) ASSERT_EQ(b, 0);

  ASSERT_EQ(table->release(3, me), 1);
  for (std::uint8_t b : fileBytes(recordOffset(3), 140)) ASSERT_EQ(b, 0);
}

TEST(ClaimTable, ShortFileIsGrownAndItsHeadCleared) {
  {
    std::ofstream file(tablePath(), std::ios::binary);
    const std::vector<char> ones(40000, char(0xFF));
    file.write(ones.data(), static_cast<std::streamsize>(ones.size()));
  }
  auto table = ClaimTable::open();
  ASSERT_NE(table, nullptr);
  struct stat info {};
  ASSERT_EQ(stat(tablePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 0x460000);
  const auto head = fileBytes(0, 40000);
  for (std::size_t i = 0; i < 32768; ++i) ASSERT_EQ(head[i], 0) << i;
  EXPECT_EQ(head[32768], 0xFF);
  // A record far past the old end is usable.
  EXPECT_EQ(table->claim(31, ClaimTable::newClaimantIdentity()), 1);
  EXPECT_TRUE(table->isClaimed(31));
}

TEST(ClaimTable, OnlyTheClaimantReleases) {
  auto table = ClaimTable::open();
  ASSERT_NE(table, nullptr);
  const std::int32_t first = ClaimTable::newClaimantIdentity();
  const std::int32_t second = ClaimTable::newClaimantIdentity();
  EXPECT_NE(first, 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(table->claim(0, 0), 0) << "identity 0 would read as free";

  ASSERT_EQ(table->claim(0, first), 1);
  EXPECT_EQ(table->claim(0, second), 0);
  EXPECT_TRUE(table->isClaimedByOther(0, second));
  EXPECT_FALSE(table->isClaimedByOther(0, first));
  EXPECT_EQ(table->release(0, second), 1);
  EXPECT_TRUE(table->isClaimed(0));
  EXPECT_EQ(table->release(0, first), 1);
  EXPECT_FALSE(table->isClaimed(0));
  EXPECT_EQ(table->claim(0, second), 1);

  EXPECT_EQ(table->claim(-1, first), 0);
  EXPECT_FALSE(table->isClaimed(100000));
}

TEST(ClaimTable, ClaimsOfEndedProcessesCountAsFree) {
  auto table = ClaimTable::open();
  ASSERT_NE(table, nullptr);
  // A record of a process that has ended, as any writer of the layout makes it.
  const auto writeRecord = [](int n, std::int32_t owner, std::int32_t pid,
                              std::uint64_t startTime) {
    int fd = ::open(tablePath().c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ClaimRecord record{};
    record.owner = owner;
    record.module = pid;
    std::strcpy(record.text, "PelnikSdk_R5M_LX.dll");
    std::memcpy(record.text + 24, &startTime, sizeof startTime);
    ASSERT_EQ(pwrite(fd, &record, sizeof record, static_cast<off_t>(recordOffset(n))),
              static_cast<ssize_t>(sizeof record));
    ::close(fd);
  };
  writeRecord(7, 0x1234, endedProcessId(), 0);
  EXPECT_FALSE(table->isClaimed(7));
  const std::int32_t me = ClaimTable::newClaimantIdentity();
  EXPECT_EQ(table->claim(7, me), 1);
  EXPECT_TRUE(table->isClaimed(7));

  // A live process that was given a dead claimant's id is not the claimant.
  writeRecord(8, 0x1234, getppid(), 1);
  EXPECT_FALSE(table->isClaimed(8));
  // Without a start time the process id alone decides.
  writeRecord(9, 0x1234, getppid(), 0);
  EXPECT_TRUE(table->isClaimed(9));
}

// The helper program as a second process, spoken to over pipes.
class ClaimHolder {
 public:
  ClaimHolder() {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      close(toChild[1]);
      close(fromChild[0]);
      pelnik::test::execHelper(pelnik::test::helperArgv("tests/claim_holder"));
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fdopen(fromChild[0], "r");
  }
  ~ClaimHolder() {
    if (in_ >= 0) close(in_);
    if (out_) fclose(out_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  std::string ask(const std::string &command) {
    const std::string line = command + "\n";
    if (write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return {};
    char answer[64] = {};
    if (!out_ || !fgets(answer, sizeof answer, out_)) return {};
    std::string text(answer);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  void kill() {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  FILE *out_ = nullptr;
};

TEST(ClaimTableAcrossProcesses, ClaimsAreSeenAndRespectedByTheOther) {
  auto table = ClaimTable::open();
  ASSERT_NE(table, nullptr);
  const std::int32_t me = ClaimTable::newClaimantIdentity();
  ClaimHolder other;
  ASSERT_EQ(other.ask("claim 4"), "ok");
  EXPECT_TRUE(table->isClaimed(4));
  EXPECT_EQ(table->claim(4, me), 0);
  // A release by another process leaves the record claimed.
  table->release(4, me);
  EXPECT_EQ(other.ask("claimed 4"), "yes");

  ASSERT_EQ(table->claim(6, me), 1);
  EXPECT_EQ(other.ask("claimed 6"), "yes");
  EXPECT_EQ(other.ask("claim 6"), "refused");
  EXPECT_EQ(other.ask("release 6"), "done");
  EXPECT_TRUE(table->isClaimed(6));

  EXPECT_EQ(other.ask("release 4"), "done");
  EXPECT_FALSE(table->isClaimed(4));
  EXPECT_EQ(table->claim(4, me), 1);
}

TEST(ClaimTableAcrossProcesses, KilledClaimantLeavesAFreeCamera) {
  auto table = ClaimTable::open();
  ASSERT_NE(table, nullptr);
  ClaimHolder other;
  ASSERT_EQ(other.ask("claim 5"), "ok");
  ASSERT_TRUE(table->isClaimed(5));
  other.kill();
  EXPECT_FALSE(table->isClaimed(5));
  ClaimRecord left{};
  ASSERT_TRUE(table->readRecord(5, left));
  EXPECT_NE(left.owner, 0) << "the dead claim is still written, only no longer counted";
  const std::int32_t me = ClaimTable::newClaimantIdentity();
  EXPECT_EQ(table->claim(5, me), 1);
  ASSERT_TRUE(table->readRecord(5, left));
  EXPECT_EQ(left.owner, me);
  EXPECT_EQ(left.module, getpid());
}

}  // namespace
