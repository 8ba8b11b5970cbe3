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

}  // namespace

int main(int argc, char **argv) {
  pelnik::test::isolateProcess();
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new IsolatedDirectories);
  return RUN_ALL_TESTS();
}
