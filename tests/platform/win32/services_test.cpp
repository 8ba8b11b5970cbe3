// The Windows platform services: registry store, ANSI-code-page names,
// exclusive files, global frame blocks, posted window messages, processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/exclusive_file.h"
#include "platform/frame_memory.h"
#include "platform/process_info.h"
#include "platform/text_convert.h"
#include "platform/win32/registry_store.h"
#include "platform/window_messages.h"
#include "support/win32/message_window.h"

namespace {

using pelnik::platform::SettingsKey;
using pelnik::platform::SettingsSession;
using pelnik::platform::win32::RegistryStore;

std::string testRoot() {
  return "Software\\PelnikTests\\" + std::to_string(::GetCurrentProcessId());
}

DWORD rawRegistryValue(const std::string &key, const char *name, DWORD &type) {
  HKEY open = nullptr;
  EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &open), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(::RegQueryValueExA(open, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  ::RegCloseKey(open);
  return value;
}

TEST(RegistryStore, CommittedValuesAreDwordsInTheRegistryAndReadBack) {
  RegistryStore store(testRoot());
  {
    auto session = store.beginWrite();
    ASSERT_TRUE(session);
    const auto key = session->createKey(SettingsSession::currentUser(), "Camera_03\\Size_01");
    ASSERT_TRUE(key);
    ASSERT_TRUE(session->writeValue(*key, "Gain", 0xFFFFFFFEu));
    ASSERT_TRUE(session->writeValue(*key, "Width", 1280));
    // The session sees its own writes before the commit.
    std::uint32_t seen = 0;
    ASSERT_TRUE(session->readValue(*key, "Width", seen));
    EXPECT_EQ(seen, 1280u);
    ASSERT_TRUE(session->commit());
  }
  DWORD type = 0;
  EXPECT_EQ(rawRegistryValue(testRoot() + "\\Camera_03\\Size_01", "Gain", type), 0xFFFFFFFEu);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

  auto reader = store.beginRead();
  const auto key = reader->openKey(SettingsSession::currentUser(), "Camera_03\\Size_01");
  ASSERT_TRUE(key);
  std::uint32_t width = 0;
  ASSERT_TRUE(reader->readValue(*key, "Width", width));
  EXPECT_EQ(width, 1280u);
  std::uint32_t missing = 77;
  EXPECT_FALSE(reader->readValue(*key, "NoSuchValue", missing));
  EXPECT_EQ(missing, 77u);
  EXPECT_FALSE(reader->openKey(SettingsSession::currentUser(), "Camera_04"));
  // A read session cannot write.
  EXPECT_FALSE(reader->createKey(SettingsSession::currentUser(), "Camera_05"));
  EXPECT_FALSE(reader->writeValue(*key, "Width", 1));
  ::RegDeleteTreeA(HKEY_CURRENT_USER, testRoot().c_str());
}

TEST(RegistryStore, UncommittedWritesStoreNothingAndLongValuesLeaveThePlace) {
  RegistryStore store(testRoot());
  {
    auto session = store.beginWrite();
    ASSERT_TRUE(session);
    const auto key = session->createKey(SettingsSession::currentUser(), "Camera_00");
    ASSERT_TRUE(key);
    ASSERT_TRUE(session->writeValue(*key, "Exposure", 5));
  }  // no commit
  HKEY open = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, (testRoot() + "\\Camera_00").c_str(), 0,
                            KEY_ALL_ACCESS, &open),
            ERROR_SUCCESS);
  EXPECT_EQ(::RegQueryValueExA(open, "Exposure", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  // Short and long data: up to 4 bytes land in the low bytes, more is refused.
  const BYTE two[2] = {0x34, 0x12};
  const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(::RegSetValueExA(open, "Short", 0, REG_BINARY, two, 2), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(open, "Long", 0, REG_BINARY, eight, 8), ERROR_SUCCESS);
  ::RegCloseKey(open);
  auto reader = store.beginRead();
  const auto key = reader->openKey(SettingsSession::currentUser(), "Camera_00");
  ASSERT_TRUE(key);
  std::uint32_t place = 0xAABBCCDD;
  ASSERT_TRUE(reader->readValue(*key, "Short", place));
  EXPECT_EQ(place, 0xAABB1234u);
  place = 0x55;
  EXPECT_FALSE(reader->readValue(*key, "Long", place));
  EXPECT_EQ(place, 0x55u);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, testRoot().c_str());
}

TEST(RegistryStore, WriteSessionsOfTwoThreadsFollowOneAnother) {
  RegistryStore store(testRoot());
  std::atomic<bool> secondGot{false};
  auto first = store.beginWrite();
  ASSERT_TRUE(first);
  std::thread other([&] {
    auto second = store.beginWrite();
    secondGot = second != nullptr;
  });
  ::Sleep(300);
  EXPECT_FALSE(secondGot.load());  // still waiting for the first session
  first.reset();
  other.join();
  EXPECT_TRUE(secondGot.load());
}

// Code page 1252 for this thread, whatever the prefix's locale.
class WesternThread : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = ::GetThreadLocale();
    ASSERT_TRUE(
        ::SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
    char codePage[8] = {};
    ::GetLocaleInfoA(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, codePage, sizeof codePage);
    ASSERT_STREQ(codePage, "1252");
  }
  void TearDown() override { ::SetThreadLocale(previous_); }
  LCID previous_ = 0;
};

TEST_F(WesternThread, NamesInsideTheCodePageConvertAndOthersFailWhole) {
  const auto inside = pelnik::platform::wideToSystemNarrow(u"caf\u00E9 \u00C4.bmp");
  ASSERT_TRUE(inside);
  EXPECT_EQ(*inside, "caf\xE9 \xC4.bmp");
  // Outside 1252: Greek omega (best fit would give 'O'), Japanese, an
  // unpaired surrogate. None may turn into a name with '?' or a look-alike.
  EXPECT_FALSE(pelnik::platform::wideToSystemNarrow(u"\u03A9.bmp"));
  EXPECT_FALSE(pelnik::platform::wideToSystemNarrow(u"\u65E5\u672C.raw"));
  EXPECT_FALSE(
      pelnik::platform::wideToSystemNarrow(u"a\xD800"
                                           "b"));
  EXPECT_FALSE(pelnik::platform::wideToSystemNarrow(nullptr));
  EXPECT_EQ(pelnik::platform::wideToSystemNarrow(u""), std::string());
}

TEST_F(WesternThread, AConvertedNameNamesTheFileExactly) {
  const auto name = pelnik::platform::wideToSystemNarrow(u"pelnik-\u00E9t\u00E9.raw");
  ASSERT_TRUE(name);
  pelnik::platform::ExclusiveFile file;
  ASSERT_EQ(file.open(name->c_str()), pelnik::platform::ExclusiveFile::OpenResult::Opened);
  ASSERT_TRUE(file.append("abc", 3));
  ASSERT_TRUE(file.close());
  // Found again under its wide name: the bytes on disk are the same name.
  const HANDLE found = ::CreateFileW(L"pelnik-\u00E9t\u00E9.raw", GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(found, INVALID_HANDLE_VALUE);
  ::CloseHandle(found);
  ::DeleteFileW(L"pelnik-\u00E9t\u00E9.raw");
}

TEST(ExclusiveFile, ASecondWriterIsRefusedAndLeavesTheFirstWritersFileIntact) {
  const char *path = "pelnik-exclusive.raw";
  pelnik::platform::ExclusiveFile first, second;
  ASSERT_EQ(first.open(path), pelnik::platform::ExclusiveFile::OpenResult::Opened);
  ASSERT_TRUE(first.append("header", 6, "body", 4));
  EXPECT_EQ(second.open(path), pelnik::platform::ExclusiveFile::OpenResult::Locked);
  ASSERT_TRUE(first.writeAt(0, "H", 1));
  EXPECT_FALSE(first.writeAt(9, "xy", 2));  // past the end
  ASSERT_TRUE(first.truncate(8));
  EXPECT_EQ(first.size(), 8u);
  ASSERT_TRUE(first.close());
  FILE *read = std::fopen(path, "rb");
  ASSERT_TRUE(read);
  char bytes[16] = {};
  EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, read), 8u);
  std::fclose(read);
  EXPECT_EQ(std::string(bytes, 8), "Headerbo");
  EXPECT_EQ(second.open(""), pelnik::platform::ExclusiveFile::OpenResult::Failed);
  ::DeleteFileA(path);
}

// A pipe with a server waiting and the NUL device would take the bytes but
// can be neither written at offsets nor truncated: refused.
TEST(ExclusiveFile, APipeOrADeviceIsRefused) {
  const char *pipeName = "\\\\.\\pipe\\pelnik-exclusive-test";
  const HANDLE server =
      ::CreateNamedPipeA(pipeName, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  pelnik::platform::ExclusiveFile file;
  EXPECT_EQ(file.open(pipeName), pelnik::platform::ExclusiveFile::OpenResult::Failed);
  ::CloseHandle(server);
  EXPECT_EQ(file.open("NUL"), pelnik::platform::ExclusiveFile::OpenResult::Failed);
}

TEST(FrameBlock, BlocksAreZeroFilledLockedGlobalMemory) {
  auto block = pelnik::platform::FrameBlock::allocate(1 << 20);
  ASSERT_TRUE(block);
  const auto *data = block->data();
  bool zero = true;
  for (std::size_t i = 0; i < (1u << 20); ++i) zero = zero && data[i] == 0;
  EXPECT_TRUE(zero);
  block->data()[(1 << 20) - 1] = 0x5A;  // the whole block is writable
  const HGLOBAL handle = static_cast<HGLOBAL>(block->handle());
  EXPECT_EQ(::GlobalHandle(block->data()), handle);
  EXPECT_EQ(::GlobalFlags(handle) & GMEM_LOCKCOUNT, 1u);
  EXPECT_GE(::GlobalSize(handle), static_cast<SIZE_T>(1 << 20));
}

TEST(WindowMessages, PostsReachTheApplicationsWindowInOrder) {
  pelnik::test::MessageWindow target;
  ASSERT_TRUE(target.window());
  const int window = static_cast<int>(HandleToLong(target.window()));
  pelnik::platform::postWindowMessage(window, 0x8002, 0, 1);
  std::thread worker([window] { pelnik::platform::postWindowMessage(window, 0x8003, 7, -19); });
  worker.join();
  pelnik::platform::postWindowMessage(0, 0x8002, 0, 2);  // no window: dropped
  const auto got = target.waitFor(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].hwnd, target.window());
  EXPECT_EQ(got[0].message, 0x8002u);
  EXPECT_EQ(got[0].lParam, 1);
  EXPECT_EQ(got[1].message, 0x8003u);
  EXPECT_EQ(got[1].wParam, 7u);
  EXPECT_EQ(got[1].lParam, -19);
  // The companion message targets are not there on Windows.
  EXPECT_EQ(pelnik::platform::createMessageTarget(), 0);
}

TEST(Processes, OwnProcessIsLiveWithAStableStartAndAFinishedOneIsNot) {
  const auto self = pelnik::platform::currentProcessId();
  EXPECT_EQ(self, static_cast<std::int32_t>(::GetCurrentProcessId()));
  EXPECT_TRUE(pelnik::platform::processExists(self));
  const auto start = pelnik::platform::processStartTime(self);
  EXPECT_NE(start, 0u);
  EXPECT_EQ(pelnik::platform::processStartTime(self), start);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  char command[] = "cmd.exe /c exit 0";
  ASSERT_TRUE(::CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &child));
  ::WaitForSingleObject(child.hProcess, 30000);
  // Even while its handle is still open here, a finished process is gone.
  EXPECT_FALSE(pelnik::platform::processExists(static_cast<std::int32_t>(child.dwProcessId)));
  EXPECT_EQ(pelnik::platform::processStartTime(static_cast<std::int32_t>(child.dwProcessId)), 0u);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  EXPECT_FALSE(pelnik::platform::processExists(0));
}

TEST(Clocks, TickAndMultimediaClocksAdvanceTogether) {
  const auto tick = pelnik::platform::tickCount();
  const auto media = pelnik::platform::multimediaTime();
  pelnik::platform::sleepMs(100);
  // The tick count moves in steps of the system timer (about 16 ms).
  EXPECT_GE(pelnik::platform::tickCount() - tick, 80u);
  EXPECT_GE(pelnik::platform::multimediaTime() - media, 80u);
}

}  // namespace
