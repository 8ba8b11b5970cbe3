#include "support/test_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace pelnik::test {
namespace {

std::string g_root;
pid_t g_owner = 0;

}  // namespace

void isolateProcess() {
  if (!g_root.empty()) return;
  char pattern[] = "/tmp/pelnik-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  g_root = pattern;
  g_owner = getpid();
  std::filesystem::create_directories(g_root + "/run");
  std::filesystem::create_directories(g_root + "/config");
  std::filesystem::permissions(g_root + "/run", std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", (g_root + "/run").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_root + "/config").c_str(), 1);
  setenv("HOME", g_root.c_str(), 1);
  // No test paints on the developer's desktop: display tests start their own.
  unsetenv("DISPLAY");
}

const std::string &isolationRoot() { return g_root; }
std::string runtimeDir() { return g_root + "/run"; }
std::string configDir() { return g_root + "/config"; }

void removeIsolationRoot() {
  if (g_root.empty() || g_owner != getpid()) return;
  std::error_code ec;
  std::filesystem::remove_all(g_root, ec);
}

std::string buildPath(const std::string &relative) {
  return std::string(PELNIK_TEST_BUILD_DIR) + "/" + relative;
}

std::string sourcePath(const std::string &relative) {
  return std::string(PELNIK_TEST_SOURCE_DIR) + "/" + relative;
}

std::string emulatorCommand() {
  const char *emulator = std::getenv("PELNIK_TEST_EMULATOR");
  return emulator ? emulator : "";
}

std::string helperCommandLine(const std::string &relative) {
  const std::string emulator = emulatorCommand();
  const std::string program = "'" + buildPath(relative) + "'";
  return emulator.empty() ? program : emulator + " " + program;
}

bool reducedWorkload() {
  const char *reduced = std::getenv("PELNIK_TEST_REDUCED");
  return reduced && *reduced && std::string(reduced) != "0";
}

int workload(int full, int reduced) { return reducedWorkload() ? reduced : full; }

}  // namespace pelnik::test
