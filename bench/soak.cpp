// The soak run: four cameras streaming in different colour modes while
// eight application threads change settings, save still images, record,
// copy pictures out, and open and release handles. Every sampling interval
// it prints the process's threads, descriptors, mappings and resident
// memory; at the end frames delivered against frames the cameras made and
// torn pictures (first and last row from different camera frames).
//
//   soak [--seconds N (600)] [--sample N (10)] [--fps N (15)]
//
// Not a Google Benchmark: one long run whose figures are read by a person.
#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "private_directories.h"
#include "virtcam/frame_stamp.h"
#include "virtcam/virtual_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kCameras = 4;
// One colour mode per camera: mono 8 and 16 bits, colour 24 and 32 bits.
constexpr int kColourBits[kCameras] = {8, 16, 24, 32};

struct ProcessSample {
  long threads = 0;
  long descriptors = 0;
  long mappings = 0;
  long residentKb = 0;
};

long statusField(const char *name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t length = std::strlen(name);
  while (std::getline(status, line))
    if (line.compare(0, length, name) == 0) return std::atol(line.c_str() + length);
  return -1;
}

ProcessSample sampleProcess() {
  ProcessSample sample;
  sample.threads = statusField("Threads:");
  sample.residentKb = statusField("VmRSS:");
  if (DIR *fds = ::opendir("/proc/self/fd")) {
    while (const dirent *entry = ::readdir(fds))
      if (entry->d_name[0] != '.') ++sample.descriptors;
    ::closedir(fds);
  }
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) ++sample.mappings;
  return sample;
}

struct Counters {
  std::atomic<long> frameMessages{0};
  std::atomic<long> pictures{0};
  std::atomic<long> torn{0};
  std::atomic<long> stills{0};
  std::atomic<long> recordings{0};
  std::atomic<long> handlesCycled{0};
  std::atomic<long> settingsCalls{0};
  std::atomic<long> failedCalls{0};
};

int argument(int argc, char **argv, const char *name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char **argv) {
  const int seconds = argument(argc, argv, "--seconds", 600);
  const int sampleSeconds = std::max(1, argument(argc, argv, "--sample", 10));
  const int fps = argument(argc, argv, "--fps", 15);
  const std::string root = pelnik::bench::makePrivateDirectories();
  if (root.empty()) {
    std::fprintf(stderr, "soak: no private directory\n");
    return 1;
  }
  int exitCode = 0;
  {
    pelnik::virtcam::VirtualCameraOptions options;
    options.cameras = {0, 1, 2, 3};
    options.controlSocket = false;
    options.camera.maxFrameRate = fps;
    options.camera.logCapacity = 1024;
    pelnik::virtcam::VirtualCamera camera(options);
    if (!camera.ok()) {
      std::fprintf(stderr, "soak: virtual camera: %s\n", camera.error().c_str());
      return 1;
    }

    Counters counters;
    std::atomic<bool> stopping{false};
    int handles[kCameras] = {};
    int windows[kCameras] = {};
    for (int n = 0; n < kCameras; ++n) {
      windows[n] = PelnikMsg_CreateWindow();
      handles[n] = Pelnik_Initialize(0);
      if (!handles[n] || Pelnik_SetDeviceNumber(handles[n], n) != 1 ||
          Pelnik_SetColorMode(handles[n], kColourBits[n]) != 1 ||
          Pelnik_CallBackPreview(handles[n], windows[n], nullptr, 0, 1) != 1) {
        std::fprintf(stderr, "soak: camera %d did not start\n", n);
        return 1;
      }
    }
    std::vector<std::thread> threads;
    // One message reader per camera: frame messages counted.
    for (int n = 0; n < kCameras; ++n)
      threads.emplace_back([&, n] {
        PelnikMsg m{};
        while (!stopping)
          if (PelnikMsg_Get(windows[n], &m, 200) == 1 && m.message == PELNIK_WM_FRAME &&
              m.wParam != 0)
            ++counters.frameMessages;
      });
    auto worker = [&](auto body) {
      threads.emplace_back([&, body]() mutable {
        std::mt19937 random(std::random_device{}());
        while (!stopping) body(random);
      });
    };
    auto pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    // 1-2: settings. The colour cameras get filters and mirroring; the mono
    // cameras, whose pictures are checked for tearing, only settings that
    // leave the frame stamps in place (exposure, wait time).
    for (int t = 0; t < 2; ++t)
      worker([&](std::mt19937 &random) {
        const int n = int(random() % kCameras);
        const int h = handles[n];
        const bool ok = n < 2 ? Pelnik_SetExposureTime(h, 50 + int(random() % 400)) == 1 &&
                                    Pelnik_SetWaitTime(h, int(random() % 5)) == 1
                              : Pelnik_SetBrightness(h, int(random() % 100)) == 1 &&
                                    Pelnik_SetContrast(h, int(random() % 100)) == 1 &&
                                    Pelnik_SetMirrorH(h, int(random() % 2)) == 1;
        ++counters.settingsCalls;
        if (!ok) ++counters.failedCalls;
        pause(20);
      });
    // 3-4: pictures copied out of the mono cameras, checked for tearing.
    for (int t = 0; t < 2; ++t)
      worker([&, t](std::mt19937 &) {
        const int bytes = t == 0 ? 1 : 2;
        std::vector<std::uint8_t> picture(std::size_t(kWidth) * kHeight * bytes);
        if (Pelnik_GetImage(handles[t], picture.data(), int(picture.size()), 1) == 1) {
          ++counters.pictures;
          const auto first = pelnik::virtcam::readFrameStamp(picture.data(), kWidth, bytes);
          const auto last = pelnik::virtcam::readFrameStamp(
              picture.data() + (picture.size() - std::size_t(kWidth) * bytes), kWidth, bytes);
          if (!first || !last || !(*first == *last)) ++counters.torn;
        }
        pause(30);
      });
    // 5: still images of every camera.
    worker([&](std::mt19937 &random) {
      const int n = int(random() % kCameras);
      const std::string file = root + "/still-" + std::to_string(n) + ".png";
      if (Pelnik_SaveImage(handles[n], file.c_str(), 5) == 1)
        ++counters.stills;
      else
        ++counters.failedCalls;
      std::filesystem::remove(file);
      pause(200);
    });
    // 6: one-second recordings of camera 2.
    worker([&](std::mt19937 &) {
      const std::string file = root + "/movie.avi";
      if (Pelnik_Record(handles[2], file.c_str(), 1000, 0) == 1)
        ++counters.recordings;
      else
        ++counters.failedCalls;
      pause(1500);
      std::filesystem::remove(file);
    });
    // 7: handles opened and released.
    worker([&](std::mt19937 &) {
      const int h = Pelnik_Initialize(0);
      if (h) {
        Pelnik_GetColorMode(h);
        Pelnik_Release(h);
        ++counters.handlesCycled;
      }
      pause(100);
    });
    // 8: the error histories drained, status and wait time read.
    worker([&](std::mt19937 &random) {
      const int h = handles[random() % kCameras];
      while (Pelnik_GetLastError(h) != 0) {
      }
      Pelnik_GetStatus(h, 0);
      Pelnik_GetWaitTime(h);
      pause(50);
    });

    std::printf("soak: %d s, sampled every %d s, cameras at %d fps in %d/%d/%d/%d bits\n", seconds,
                sampleSeconds, fps, kColourBits[0], kColourBits[1], kColourBits[2], kColourBits[3]);
    std::printf("%6s %8s %6s %9s %10s %10s %10s %6s\n", "time_s", "threads", "fds", "mappings",
                "rss_kb", "frames", "pictures", "torn");
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    for (auto next = start; next <= end; next += std::chrono::seconds(sampleSeconds)) {
      std::this_thread::sleep_until(next);
      const ProcessSample s = sampleProcess();
      std::printf(
          "%6lld %8ld %6ld %9ld %10ld %10ld %10ld %6ld\n",
          static_cast<long long>(
              std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()),
          s.threads, s.descriptors, s.mappings, s.residentKb, counters.frameMessages.load(),
          counters.pictures.load(), counters.torn.load());
      std::fflush(stdout);
    }
    stopping = true;
    for (auto &t : threads) t.join();
    long generated = 0;
    for (int n = 0; n < kCameras; ++n) {
      Pelnik_StopPreview(handles[n]);
      Pelnik_Release(handles[n]);
      PelnikMsg_DestroyWindow(windows[n]);
      generated += long(camera.camera(n)->framesDelivered());
    }
    std::printf(
        "soak: frames generated %ld, frame messages %ld; pictures copied %ld, torn %ld; stills "
        "%ld, recordings %ld, handles cycled %ld, settings rounds %ld, failed calls %ld\n",
        generated, counters.frameMessages.load(), counters.pictures.load(), counters.torn.load(),
        counters.stills.load(), counters.recordings.load(), counters.handlesCycled.load(),
        counters.settingsCalls.load(), counters.failedCalls.load());
    if (counters.torn.load() != 0) exitCode = 2;
  }
  pelnik::bench::removePrivateDirectories(root);
  return exitCode;
}
