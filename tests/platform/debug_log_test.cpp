// The diagnostic log: which areas a PELNIK_DEBUG value turns on, that the
// value is taken when the program loads, and that lines reach standard error
// whole, only for the areas that are on.
#include "platform/debug_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/stderr_capture.h"
#include "support/test_environment.h"

namespace pelnik::platform {
namespace {

using ::testing::HasSubstr;

constexpr std::uint32_t bits(DebugArea area) { return static_cast<std::uint32_t>(area); }

TEST(DebugAreas, NamesListsCaseAndSpacesAndAll) {
  EXPECT_EQ(parseDebugAreas(""), 0u);
  EXPECT_EQ(parseDebugAreas("device"), bits(DebugArea::Device));
  EXPECT_EQ(parseDebugAreas("device,acquisition,chain"),
            bits(DebugArea::Device) | bits(DebugArea::Acquisition) | bits(DebugArea::Chain));
  EXPECT_EQ(parseDebugAreas(" Errors , OUTPUT "),
            bits(DebugArea::Errors) | bits(DebugArea::Output));
  // Unknown words and empty items are passed over, the rest still counts.
  EXPECT_EQ(parseDebugAreas("frobnicate,,device,"), bits(DebugArea::Device));
  EXPECT_EQ(parseDebugAreas("devices"), 0u);
  const std::uint32_t all = parseDebugAreas("all");
  for (DebugArea area : {DebugArea::Device, DebugArea::Acquisition, DebugArea::Chain,
                         DebugArea::Errors, DebugArea::Output})
    EXPECT_NE(all & bits(area), 0u);
  EXPECT_EQ(parseDebugAreas("1"), all);
}

class DebugLog : public ::testing::Test {
 protected:
  void TearDown() override { setDebugAreas(0); }
};

TEST_F(DebugLog, WritesOnlyTheAreasThatAreOn) {
  test::StderrCapture capture;
  setDebugAreas(bits(DebugArea::Device) | bits(DebugArea::Errors));
  int formatted = 0;
  auto counted = [&formatted] { return ++formatted; };
  PELNIK_DEBUG_LOG(DebugArea::Device, "command %02x sent (%d)", 0x26, counted());
  PELNIK_DEBUG_LOG(DebugArea::Acquisition, "never seen %d", counted());
  PELNIK_DEBUG_LOG(DebugArea::Errors, "error %d", 12);
  setDebugAreas(0);
  PELNIK_DEBUG_LOG(DebugArea::Device, "off again %d", counted());
  const auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"(pelnik\[device t\d+\] command 26 sent \(1\))")))
      << lines[0];
  EXPECT_THAT(lines[1], HasSubstr("[errors t"));
  EXPECT_THAT(lines[1], HasSubstr("] error 12"));
  // An area that is off does not even evaluate the line's arguments.
  EXPECT_EQ(formatted, 1);
}

TEST_F(DebugLog, LongLinesAreCutAndLinesOfManyThreadsNeverMix) {
  test::StderrCapture capture;
  setDebugAreas(bits(DebugArea::Chain));
  const std::string longText(2000, 'x');
  PELNIK_DEBUG_LOG(DebugArea::Chain, "%s", longText.c_str());
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i)
        PELNIK_DEBUG_LOG(DebugArea::Chain, "writer %d line %d %s", t, i,
                         "abcdefghijklmnopqrstuvwxyz0123456789");
    });
  for (auto &w : writers) w.join();
  const auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 1u + kThreads * kLines);
  EXPECT_LT(lines[0].size(), 600u);
  EXPECT_THAT(lines[0], ::testing::EndsWith("xxx..."));
  const std::regex whole(
      R"(pelnik\[chain t\d+\] writer \d line \d+ abcdefghijklmnopqrstuvwxyz0123456789)");
  std::vector<int> perWriter(kThreads, 0);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_TRUE(std::regex_match(lines[i], whole)) << lines[i];
    ++perWriter[std::size_t(lines[i][lines[i].find("writer ") + 7] - '0')];
  }
  EXPECT_EQ(perWriter, std::vector<int>(kThreads, kLines));
}

// Runs the probe program with the variable set (or unset) and returns what
// it printed on standard output and standard error.
std::string runProbe(const char *value) {
  const std::string program = test::helperCommandLine("tests/debug_areas_probe");
  const std::string command =
      std::string(value ? "PELNIK_DEBUG='" + std::string(value) + "' " : "env -u PELNIK_DEBUG ") +
      program + " 2>&1";
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  EXPECT_EQ(::pclose(pipe), 0) << command;
  return out;
}

TEST(DebugLogAtLoad, TheVariableIsReadWhenTheProgramLoads) {
  const std::string on = runProbe("acquisition, Errors");
  EXPECT_THAT(on, HasSubstr("device 0\nacquisition 1\nchain 0\nerrors 1\noutput 0\n"));
  EXPECT_THAT(on, HasSubstr("] probe line for acquisition\n"));
  EXPECT_THAT(on, HasSubstr("] probe line for errors\n"));
  EXPECT_THAT(on, ::testing::Not(HasSubstr("probe line for device")));

  const std::string off = runProbe(nullptr);
  EXPECT_EQ(off, "device 0\nacquisition 0\nchain 0\nerrors 0\noutput 0\n");
}

}  // namespace
}  // namespace pelnik::platform
