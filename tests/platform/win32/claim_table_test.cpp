// The claim table as the named paging-file mapping, shared by processes.
#include "device/claim_table.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace {

using pelnik::device::ClaimRecord;
using pelnik::device::ClaimTable;

// The helper program lies beside the test program.
std::string helperPath() {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self);
  return path.substr(0, path.find_last_of("\\/") + 1) + "claim_keeper.exe";
}

TEST(ClaimTable, RecordsLieWhereEveryProcessLooksForThem) {
  auto table = ClaimTable::open();
  ASSERT_TRUE(table);
  const auto claimant = ClaimTable::newClaimantIdentity();
  ASSERT_EQ(table->claim(21, claimant), 1);
  // Another view of the named mapping, as a 32-bit process would make it.
  HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, "TESMOR_USBCAMERA");
  ASSERT_TRUE(mapping);
  const auto *view =
      static_cast<const unsigned char *>(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0x460000));
  ASSERT_TRUE(view);
  const unsigned char *record = view + 0x1D6500 + 140 * 21;
  std::int32_t owner = 0;
  std::memcpy(&owner, record, 4);
  EXPECT_EQ(owner, claimant);
  EXPECT_STREQ(reinterpret_cast<const char *>(record + 12), "PelnikSdk_R5M_LX.dll");
  ASSERT_EQ(table->release(21, claimant), 1);
  EXPECT_EQ(record[12], 0);
  std::memcpy(&owner, record, 4);
  EXPECT_EQ(owner, 0);
  ::UnmapViewOfFile(view);
  ::CloseHandle(mapping);
  static_assert(sizeof(ClaimRecord) == 140);
}

TEST(ClaimTable, AnotherProcessesClaimHoldsUntilThatProcessEnds) {
  const int camera = 17;
  HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, "PelnikClaimHeld-17");
  HANDLE leave = ::CreateEventA(nullptr, TRUE, FALSE, "PelnikClaimExit-17");
  ASSERT_TRUE(held && leave);
  // Appended piece by piece: GCC 12's -Wrestrict misfires on "x" + string + "y" at -O3.
  std::string command = "\"";
  command += helperPath();
  command += "\" 17";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child))
      << command;
  ASSERT_EQ(::WaitForSingleObject(held, 30000), WAIT_OBJECT_0);

  auto table = ClaimTable::open();
  ASSERT_TRUE(table);
  const auto claimant = ClaimTable::newClaimantIdentity();
  EXPECT_TRUE(table->isClaimed(camera));
  EXPECT_TRUE(table->isClaimedByOther(camera, claimant));
  EXPECT_EQ(table->claim(camera, claimant), 0);
  EXPECT_EQ(table->release(camera, claimant), 1);  // not ours: left alone
  EXPECT_TRUE(table->isClaimed(camera));

  ::SetEvent(leave);
  ASSERT_EQ(::WaitForSingleObject(child.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 99;
  ::GetExitCodeProcess(child.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  // Its claim was never released, but its process is gone.
  EXPECT_FALSE(table->isClaimedByOther(camera, claimant));
  EXPECT_EQ(table->claim(camera, claimant), 1);
  EXPECT_EQ(table->release(camera, claimant), 1);
  ::CloseHandle(held);
  ::CloseHandle(leave);
}

}  // namespace
