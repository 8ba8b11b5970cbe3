// The camera's settings groups land in the current user's registry, where
// the system's own registry tool reads them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "settings/setting_groups.h"
#include "settings/user_store.h"

namespace {

using pelnik::settings::AnalogValues;

// Runs the system's reg.exe and returns what it printed.
std::string runReg(std::string arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  EXPECT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION child{};
  std::string command = "reg.exe " + arguments;
  const BOOL started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child);
  ::CloseHandle(writeEnd);
  EXPECT_TRUE(started) << command;
  std::string output;
  char buffer[512];
  DWORD got = 0;
  while (started && ::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
    output.append(buffer, got);
  ::CloseHandle(readEnd);
  if (started) {
    ::WaitForSingleObject(child.hProcess, 30000);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
  }
  return output;
}

TEST(SettingsInRegistry, AnalogGroupIsWrittenAsDwordsUnderTheSdksKeyAndReadBack) {
  auto &store = pelnik::settings::userStore();
  AnalogValues written;
  written.globalGain = 17;
  written.exposure = 1234;
  written.mirrorH = 1;
  written.gainB = -3;  // a negative gain is stored as its 32-bit pattern
  ASSERT_EQ(pelnik::settings::saveAnalog(store, 2, written), 1);

  AnalogValues read;
  ASSERT_EQ(pelnik::settings::loadAnalog(store, 2, read, {}), 1);
  EXPECT_EQ(read, written);

  const std::string key = "Software\\Tesmor\\PelnikR5MLXSdk\\Camera_02\\Gain";
  HKEY open = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &open), ERROR_SUCCESS);
  DWORD type = 0, value = 0, size = sizeof value;
  ASSERT_EQ(
      ::RegQueryValueExA(open, "Exposure", nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
      ERROR_SUCCESS);
  ::RegCloseKey(open);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 1234u);

  // The registry tool sees the same values.
  const std::string shown = runReg("query \"HKCU\\" + key + "\"");
  EXPECT_NE(shown.find("Exposure"), std::string::npos) << shown;
  EXPECT_NE(shown.find("REG_DWORD"), std::string::npos) << shown;
  EXPECT_NE(shown.find("0x4d2"), std::string::npos) << shown;
  EXPECT_NE(shown.find("0xfffffffd"), std::string::npos) << shown;
}

}  // namespace
