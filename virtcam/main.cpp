// pelnik-virtcam: the virtual camera as a program of its own, and its
// control client ("pelnik-virtcam ctl ACTION N").
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/runtime_dir.h"
#include "virtcam/virtual_camera.h"

namespace {

using namespace pelnik::virtcam;

void printHelp() {
  std::printf(
      "Usage: pelnik-virtcam [options]\n"
      "       pelnik-virtcam ctl ACTION N\n"
      "\n"
      "Serves virtual PelnikR5M-LX cameras in %s until SIGINT or SIGTERM.\n"
      "\n"
      "Options:\n"
      "  --cameras LIST        camera numbers to serve, 0..31, comma-separated (default 0)\n"
      "  --scene PATH          a PNG, TIFF or BMP picture, or a directory of them shown\n"
      "                        one per frame in name order (default: the test chart)\n"
      "  --noise SIGMA         add noise of this standard deviation, in 10-bit steps\n"
      "  --noise-seed N        seed of the noise (default 1)\n"
      "  --trigger-period MS   in trigger mode, trigger every MS milliseconds\n"
      "                        (default: software triggers only, see ctl trigger)\n"
      "  --max-fps F           cap the frame rate at F frames per second\n"
      "  --no-timing           deliver frames as fast as they can be made, not at the\n"
      "                        sensor's pace (line period 0.0314386 ms)\n"
      "  --read-timeout MS     image reads without a frame fail after MS milliseconds\n"
      "                        unless the SDK sets its own time-out (default %d)\n"
      "  --quiet               do not report protocol errors on stderr\n"
      "  --help                this text\n"
      "\n"
      "Control actions (for a running instance): unplug, plug, stall, resume, trigger,\n"
      "short-read (next image read), short-reads (every image read), fail-commands,\n"
      "heal (clears every fault of camera N).\n",
      pelnik::platform::runtimeDirectoryPath().c_str(), kDefaultReadTimeoutMs);
}

bool parseNumber(const char *text, double &value) {
  char *end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

bool parseCameras(const std::string &list, std::vector<int> &cameras) {
  cameras.clear();
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t comma = list.find(',', at);
    const std::string item = list.substr(at, comma == std::string::npos ? comma : comma - at);
    double n;
    if (!parseNumber(item.c_str(), n) || n < 0 || n > 31 || n != int(n)) return false;
    cameras.push_back(int(n));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return !cameras.empty();
}

int runControl(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: pelnik-virtcam ctl ACTION N\n");
    return 2;
  }
  const auto action = parseControlAction(argv[2]);
  double camera;
  if (!action) {
    std::fprintf(stderr, "pelnik-virtcam: unknown action '%s'\n", argv[2]);
    return 2;
  }
  if (!parseNumber(argv[3], camera) || camera < 0 || camera > 31 || camera != int(camera)) {
    std::fprintf(stderr, "pelnik-virtcam: '%s' is not a camera number 0..31\n", argv[3]);
    return 2;
  }
  const std::string directory = pelnik::platform::runtimeDirectoryPath();
  std::string message;
  if (!sendControlCommand(directory, *action, int(camera), message)) {
    std::fprintf(stderr, "pelnik-virtcam: %s\n", message.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) return runControl(argc, argv);

  VirtualCameraOptions options;
  options.camera.reportProtocolError = [](const std::string &line) {
    std::fprintf(stderr, "pelnik-virtcam: %s\n", line.c_str());
  };
  std::string scenePath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char *&out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    const char *text = nullptr;
    double number = 0;
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    } else if (arg == "--cameras" && value(text)) {
      if (!parseCameras(text, options.cameras)) {
        std::fprintf(stderr, "pelnik-virtcam: bad camera list '%s'\n", text);
        return 2;
      }
    } else if (arg == "--scene" && value(text)) {
      scenePath = text;
    } else if (arg == "--noise" && value(text) && parseNumber(text, number) && number >= 0) {
      options.camera.noise.sigma = number;
    } else if (arg == "--noise-seed" && value(text) && parseNumber(text, number)) {
      options.camera.noise.seed = std::uint32_t(number);
    } else if (arg == "--trigger-period" && value(text) && parseNumber(text, number) &&
               number >= 0) {
      options.camera.triggerPeriodMs = int(number);
    } else if (arg == "--max-fps" && value(text) && parseNumber(text, number) && number >= 0) {
      options.camera.maxFrameRate = number;
    } else if (arg == "--read-timeout" && value(text) && parseNumber(text, number) && number > 0) {
      options.camera.defaultReadTimeoutMs = int(number);
    } else if (arg == "--no-timing") {
      options.camera.sensorTiming = false;
    } else if (arg == "--quiet") {
      options.camera.reportProtocolError = nullptr;
    } else {
      std::fprintf(stderr, "pelnik-virtcam: bad option '%s' (see --help)\n", arg.c_str());
      return 2;
    }
  }
  if (!scenePath.empty()) {
    std::string error;
    options.camera.scene = loadSceneFrom(scenePath, error);
    if (!options.camera.scene) {
      std::fprintf(stderr, "pelnik-virtcam: %s\n", error.c_str());
      return 1;
    }
  }

  // Signals are taken by sigwait on this thread only; the serving threads
  // inherit the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  VirtualCamera camera(options);
  if (!camera.ok()) {
    std::fprintf(stderr, "pelnik-virtcam: %s\n", camera.error().c_str());
    return 1;
  }
  std::string served;
  for (const int n : camera.cameras()) served += (served.empty() ? "" : ",") + std::to_string(n);
  std::printf("pelnik-virtcam: serving cameras %s in %s\n", served.c_str(),
              camera.directory().c_str());
  std::fflush(stdout);
  int received = 0;
  sigwait(&stopSignals, &received);
  return 0;
}
