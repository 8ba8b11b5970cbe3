#pragma once
// The Windows side of a Wine window test: reports written whole into the
// work directory the test named (key=value lines, or raw bytes), and waits
// for the test's "go" files that keep the thread's messages flowing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace pelnik::test {

class ProbeChannel {
 public:
  explicit ProbeChannel(std::string dir) : dir_(std::move(dir)) {}

  std::string path(const std::string &name) const { return dir_ + "\\" + name; }

  // Written under a temporary name and renamed, so the test never reads half.
  bool writeFile(const std::string &name, const void *bytes, std::size_t size) const {
    const std::string tmp = path(name + ".tmp");
    std::FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) return false;
    return MoveFileExA(tmp.c_str(), path(name).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }

  bool report(const std::string &name,
              const std::vector<std::pair<std::string, std::string>> &facts) const {
    std::string text;
    for (const auto &[key, value] : facts) text += key + "=" + value + "\n";
    return writeFile(name, text.data(), text.size());
  }

  // Pumps this thread's messages until the test creates NAME; false after
  // the time.
  bool waitFor(const std::string &name, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
      pump();
      if (GetFileAttributesA(path(name).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
      if (GetTickCount() - start >= timeoutMs) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }

  static void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // Pumps messages for the time.
  static void pumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      pump();
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    pump();
  }

 private:
  std::string dir_;
};

inline std::string str(long long v) { return std::to_string(v); }

}  // namespace pelnik::test
