// Test entry point: every test process gets private runtime and configuration
// directories before anything reads the environment, and removes them at exit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_environment.h"

namespace {

class IsolatedDirectories : public ::testing::Environment {
 public:
  void TearDown() override { pelnik::test::removeIsolationRoot(); }
};

// Where every test case is not its own process (cross-built trees run a
// whole program, or a shard of it, under one emulator), each case still
// starts with an empty settings store: one case's stored values must not
// decide another's.
class FreshConfigPerTest : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo &) override {
    std::error_code ec;
    std::filesystem::remove_all(pelnik::test::configDir(), ec);
    std::filesystem::create_directories(pelnik::test::configDir(), ec);
  }
};

}  // namespace

int main(int argc, char **argv) {
  pelnik::test::isolateProcess();
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new IsolatedDirectories);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshConfigPerTest);
  return RUN_ALL_TESTS();
}
