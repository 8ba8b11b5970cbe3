// pelnik-virtcam.exe: the virtual camera on Windows, serving each camera
// number as a named pipe until Ctrl+C or the console closes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "virtcam/win32/pipe_server.h"

namespace {

HANDLE quitEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD) {
  ::SetEvent(quitEvent);
  return TRUE;
}

bool parseCameras(const char *text, std::vector<int> &cameras) {
  cameras.clear();
  std::string list(text);
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = list.find(',', start);
    const std::string item = list.substr(start, comma - start);
    char *end = nullptr;
    const long n = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end || n < 0 || n > 31) return false;
    cameras.push_back(static_cast<int>(n));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return !cameras.empty();
}

}  // namespace

int main(int argc, char **argv) {
  using namespace pelnik::virtcam;
  std::vector<int> cameras{0};
  CameraOptions options;
  std::string pipeBase(pelnik::platform::wire::kDeviceBaseName);
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--cameras") && hasValue) {
      if (!parseCameras(argv[++i], cameras)) {
        std::fprintf(stderr, "pelnik-virtcam: bad camera list %s\n", argv[i]);
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--no-timing")) {
      options.sensorTiming = false;
    } else if (!std::strcmp(argv[i], "--max-fps") && hasValue) {
      options.maxFrameRate = std::atof(argv[++i]);
    } else if (!std::strcmp(argv[i], "--read-timeout") && hasValue) {
      options.defaultReadTimeoutMs = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--pipe-name") && hasValue) {
      pipeBase = argv[++i];
      if (!win32::PipeServer::validBaseName(pipeBase)) {
        std::fprintf(stderr, "pelnik-virtcam: bad pipe name %s\n", pipeBase.c_str());
        return 2;
      }
    } else if (!std::strcmp(argv[i], "--help")) {
      std::printf(
          "Usage: pelnik-virtcam [--cameras LIST] [--no-timing] [--max-fps F] "
          "[--read-timeout MS] [--pipe-name BASE]\n"
          "Serves virtual PelnikR5M-LX cameras as \\\\.\\pipe\\PNikR5MLX-N until Ctrl+C.\n"
          "--pipe-name serves \\\\.\\pipe\\BASE-N instead, which the SDK never opens\n"
          "itself: for a driver that forwards the camera device to the virtual camera.\n");
      return 0;
    } else {
      std::fprintf(stderr, "pelnik-virtcam: unknown option %s (try --help)\n", argv[i]);
      return 2;
    }
  }
  options.reportProtocolError = [](const std::string &line) {
    std::fprintf(stderr, "pelnik-virtcam: %s\n", line.c_str());
  };
  quitEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!quitEvent) return 1;
  ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  win32::PipeServer server(cameras, options, pipeBase);
  if (!server.ok()) {
    std::fprintf(stderr, "pelnik-virtcam: %s\n", server.error().c_str());
    return 1;
  }
  for (const int n : cameras)
    std::printf("serving %s\n", win32::PipeServer::pipePath(n, pipeBase).c_str());
  std::fflush(stdout);
  ::WaitForSingleObject(quitEvent, INFINITE);
  return 0;
}
