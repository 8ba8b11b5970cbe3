#include "support/test_environment.h"

#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/process_environment.h"

namespace pelnik::test {
namespace {

std::string g_root;
long g_owner = 0;

// A directory of our own under the system's temporary directory; creating it
// is the claim, so two processes never share one.
std::string makePrivateDirectory() {
  std::random_device seed;
  std::mt19937_64 random(seed() ^ static_cast<unsigned long>(currentProcessId()));
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / ("pelnik-test-" + std::to_string(random() % 1000000000u));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, ec);
      return candidate.generic_string();
    }
  }
  throw std::runtime_error("no private temporary directory");
}

}  // namespace

void isolateProcess() {
  if (!g_root.empty()) return;
  g_root = makePrivateDirectory();
  g_owner = currentProcessId();
  std::filesystem::create_directories(g_root + "/run");
  std::filesystem::create_directories(g_root + "/config");
  std::filesystem::permissions(g_root + "/run", std::filesystem::perms::owner_all);
  setEnvironment("XDG_RUNTIME_DIR", (g_root + "/run").c_str());
  setEnvironment("XDG_CONFIG_HOME", (g_root + "/config").c_str());
  setEnvironment("HOME", g_root.c_str());
  // No test paints on the developer's desktop: display tests start their own.
  setEnvironment("DISPLAY", nullptr);
}

const std::string &isolationRoot() { return g_root; }
std::string runtimeDir() { return g_root + "/run"; }
std::string configDir() { return g_root + "/config"; }

void removeIsolationRoot() {
  if (g_root.empty() || g_owner != currentProcessId()) return;
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

std::vector<std::string> helperArgv(const std::string &relative,
                                    const std::vector<std::string> &arguments) {
  std::vector<std::string> argv;
  std::istringstream emulator(emulatorCommand());
  for (std::string word; emulator >> word;) argv.push_back(word);
  argv.push_back(buildPath(relative));
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return argv;
}

bool reducedWorkload() {
  const char *reduced = std::getenv("PELNIK_TEST_REDUCED");
  return reduced && *reduced && std::string(reduced) != "0";
}

int workload(int full, int reduced) { return reducedWorkload() ? reduced : full; }

}  // namespace pelnik::test
