#pragma once
// Shared by the settings tests: files of the isolated configuration
// directory, registry-export texts, and helper processes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "platform/settings_store.h"
#include "platform/text_convert.h"
#include "settings/reg_document.h"
#include "support/posix/spawn_helper.h"
#include "support/test_environment.h"

namespace pelnik::test {

inline std::string storePath() { return platform::SettingsFile::userStorePath(); }

inline std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string &path, const std::string &bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// UTF-16LE with a byte-order mark, as the desktop registry editor exports.
inline std::string utf16leWithBom(const std::string &utf8) {
  const auto wide = platform::utf8ToUtf16(utf8);
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : wide.value()) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// The store file parsed; a failed parse fails the calling test.
inline settings::RegDocument parseStore() {
  auto parsed = settings::RegDocument::parse(readFile(storePath()));
  if (auto *error = std::get_if<settings::RegParseError>(&parsed)) {
    ADD_FAILURE() << "store does not parse: line " << error->line << ": " << error->reason;
    return {};
  }
  return std::get<settings::RegDocument>(std::move(parsed));
}

inline std::string fullKey(const std::string &belowRoot) {
  std::string path = "HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk";
  if (!belowRoot.empty()) path += "\\" + belowRoot;
  return path;
}

// A DWORD value of the parsed store, or -1 when absent or not 4 bytes.
inline long long storedDword(const settings::RegDocument &document, const std::string &key,
                             const std::string &name) {
  const auto *entry = document.findValue(fullKey(key), name);
  if (!entry || entry->data.size() != 4) return -1;
  return static_cast<long long>(entry->data[0] | (entry->data[1] << 8) | (entry->data[2] << 16) |
                                (static_cast<std::uint32_t>(entry->data[3]) << 24));
}

// A helper program next to the tests, started with the test's environment.
class HelperProcess {
 public:
  explicit HelperProcess(const std::vector<std::string> &args) {
    pid_ = spawnHelper(helperArgv("tests/" + args.front(), {args.begin() + 1, args.end()}));
  }
  ~HelperProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      wait();
    }
  }
  bool started() const { return pid_ > 0; }
  void killHard() {
    if (pid_ > 0) kill(pid_, SIGKILL);
  }
  // The exit status; -1 when the process was killed or never started.
  int wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace pelnik::test
