// The diagnostic log on Windows: each line reaches the debugger channel whole,
// in one OutputDebugStringA call, and the switch is read from PELNIK_DEBUG.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_log.h"

namespace {

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with (length, text); a
// vectored handler sees each call before the system's own handling.
std::mutex g_printedLock;  // guards g_printed
std::vector<std::string> g_printed;

LONG CALLBACK catchDebugPrint(EXCEPTION_POINTERS *info) {
  const EXCEPTION_RECORD *record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
    const auto *text = reinterpret_cast<const char *>(record->ExceptionInformation[1]);
    std::lock_guard<std::mutex> hold(g_printedLock);
    g_printed.emplace_back(text);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

class DebugPrints {
 public:
  DebugPrints() : handler_(::AddVectoredExceptionHandler(1, catchDebugPrint)) {
    std::lock_guard<std::mutex> hold(g_printedLock);
    g_printed.clear();
  }
  ~DebugPrints() { ::RemoveVectoredExceptionHandler(handler_); }
  std::vector<std::string> taken() {
    std::lock_guard<std::mutex> hold(g_printedLock);
    return g_printed;
  }

 private:
  void *handler_;
};

TEST(Win32DebugLog, EachLineIsOneDebuggerPrintWithItsNewline) {
  DebugPrints prints;
  pelnik::platform::writeDebugSink("pelnik[device t1] open camera 2");
  pelnik::platform::writeDebugSink("");
  const auto got = prints.taken();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "pelnik[device t1] open camera 2\n");
  EXPECT_EQ(got[1], "\n");
}

TEST(Win32DebugLog, LinesOfManyThreadsNeverMix) {
  DebugPrints prints;
  pelnik::platform::setDebugAreas(pelnik::platform::parseDebugAreas("all"));
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 50; ++i)
        pelnik::platform::debugLine(pelnik::platform::DebugArea::Chain, "writer %d line %d %s", t,
                                    i, std::string(200, char('a' + t)).c_str());
    });
  for (auto &w : writers) w.join();
  pelnik::platform::setDebugAreas(0);
  const auto got = prints.taken();
  ASSERT_EQ(got.size(), 200u);
  for (const auto &line : got) {
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    EXPECT_EQ(line.rfind("pelnik[chain t", 0), 0u) << line;
    // One writer's letters only: a torn line would mix two.
    const auto run = line.find_last_of(' ') + 1;
    EXPECT_EQ(line.find_first_not_of(line[run], run), line.size() - 1) << line;
  }
}

TEST(Win32DebugLog, SwitchComesFromTheProcessEnvironment) {
  ASSERT_EQ(::_putenv_s("PELNIK_DEBUG", "device,errors"), 0);
  const char *value = pelnik::platform::debugEnvironment();
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "device,errors");
  ASSERT_EQ(::_putenv_s("PELNIK_DEBUG", ""), 0);
  EXPECT_EQ(pelnik::platform::debugEnvironment(), nullptr);
}

}  // namespace
