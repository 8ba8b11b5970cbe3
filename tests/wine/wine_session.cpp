#include "wine_session.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace pelnik::test {

namespace {

using Clock = std::chrono::steady_clock;

bool exists(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Wine sees the Linux file system as drive Z:.
std::string windowsPath(const std::string &path) {
  std::string out = "Z:" + path;
  for (char &c : out)
    if (c == '/') c = '\\';
  return out;
}

std::string onPath(const char *program) {
  const CommandResult r = runCommand({"sh", "-c", std::string("command -v ") + program});
  return r.status == 0 ? r.output : std::string();
}

}  // namespace

std::string windowsTree() { return PELNIK_WINDOWS_TREE; }

std::string missingWineTools() {
  std::string missing;
  for (const char *tool : {"Xvfb", "xdotool", "wine"})
    if (onPath(tool).empty()) missing += std::string(missing.empty() ? "" : ", ") + tool;
  if (!exists(windowsTree() + "/wine/lane-1"))
    missing += std::string(missing.empty() ? "" : ", ") + "the Wine prefix lanes of " +
               windowsTree() + " (make test-windows prepares them)";
  return missing;
}

WineProgram::WineProgram(const std::string &name, const std::vector<std::string> &arguments) {
  const bool ownProgram = name.find('/') == std::string::npos;
  const std::string program =
      windowsTree() + (ownProgram ? "/tests/wine/programs/" + name + ".exe" : "/" + name);
  if (!exists(program)) {
    error_ = "no " + program;
    return;
  }
  char pattern[] = "/tmp/pelnik-wine-XXXXXX";
  if (!mkdtemp(pattern)) {
    error_ = "no work directory";
    return;
  }
  dir_ = pattern;
  std::vector<std::string> args{
      "sh", std::string(PELNIK_TEST_SOURCE_ROOT) + "/scripts/windows/wine-run.sh", program};
  if (ownProgram) args.push_back(windowsPath(dir_));
  for (std::string a : arguments) {
    if (a == "{dir}") a = windowsPath(dir_);
    args.push_back(a);
  }
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string wineDir = windowsTree() + "/wine";
  const std::string log = dir_ + "/wine.log";
  pid_ = fork();
  if (pid_ == 0) {
    setenv("PELNIK_WINE_DIR", wineDir.c_str(), 1);
    // Its own process group, so a test that gives up ends Wine's children too.
    setpgid(0, 0);
    if (std::FILE *out = std::freopen(log.c_str(), "w", stdout)) dup2(fileno(out), 2);
    execvp("sh", argv.data());
    _exit(127);
  }
  if (pid_ < 0) error_ = "fork failed";
}

WineProgram::~WineProgram() {
  if (pid_ > 0 && !reap(0)) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    reap(5000);
  }
  if (!dir_.empty() && !std::getenv("PELNIK_KEEP_WINE_DIR")) runCommand({"rm", "-rf", dir_});
}

bool WineProgram::reap(int timeoutMs) {
  if (ended_) return true;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      ended_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    if (r < 0) return ended_ = true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::optional<Report> WineProgram::waitForReport(const std::string &name, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::string path = dir_ + "/" + name;
  for (;;) {
    if (exists(path)) {
      Report report;
      std::ifstream in(path);
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq != std::string::npos) report[line.substr(0, eq)] = line.substr(eq + 1);
      }
      return report;
    }
    if (reap(0) || Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::vector<unsigned char> WineProgram::readFile(const std::string &name) const {
  std::ifstream in(dir_ + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WineProgram::signal(const std::string &name) {
  const std::string path = dir_ + "/" + name;
  std::ofstream(path + ".tmp") << "go\n";
  std::rename((path + ".tmp").c_str(), path.c_str());
}

std::optional<int> WineProgram::waitForExit(int timeoutMs) {
  if (pid_ <= 0 || !reap(timeoutMs)) return std::nullopt;
  return status_;
}

int reportInt(const Report &report, const std::string &key, int fallback) {
  const auto it = report.find(key);
  if (it == report.end()) return fallback;
  char *end = nullptr;
  const long value = std::strtol(it->second.c_str(), &end, 0);
  return end && *end == '\0' && end != it->second.c_str() ? static_cast<int>(value) : fallback;
}

}  // namespace pelnik::test
