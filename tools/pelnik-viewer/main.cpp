// pelnik-viewer: look through the camera. Shows the SDK's preview inside the
// viewer's own window, with the camera, colour mode and subsample to choose,
// the live frame rate, snapshots and recordings.
#include <FL/Fl.H>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "camera_control.h"
#include "settings_menu.h"
#include "viewer_window.h"
#include "virtual_camera.h"

namespace {

void usage() {
  std::printf(
      "usage: pelnik-viewer [--virtual] [--output-dir DIR]\n"
      "  --virtual          start an embedded virtual camera (private runtime directory)\n"
      "  --output-dir DIR   where snapshots and recordings go (default: the current directory)\n"
      "Keys: s snapshot, r start or stop recording, Ctrl+Q or Escape quit.\n");
}

}  // namespace

int main(int argc, char **argv) {
  bool virtualCamera = false;
  std::string outputDir = ".";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--virtual") == 0) {
      virtualCamera = true;
    } else if (std::strcmp(argv[i], "--output-dir") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "pelnik-viewer: --output-dir needs a directory\n");
        return 2;
      }
      outputDir = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage();
      return 0;
    } else {
      std::fprintf(stderr, "pelnik-viewer: unknown option: %s\n", argv[i]);
      usage();
      return 2;
    }
  }
  // Refused now rather than at the first snapshot.
  struct stat st {};
  const char *unusable = nullptr;
  if (stat(outputDir.c_str(), &st) != 0 || access(outputDir.c_str(), W_OK) != 0)
    unusable = std::strerror(errno);
  else if (!S_ISDIR(st.st_mode))
    unusable = "not a directory";
  if (unusable) {
    std::fprintf(stderr, "pelnik-viewer: --output-dir %s: %s\n", outputDir.c_str(), unusable);
    return 2;
  }
  std::unique_ptr<capture::VirtualCameraHost> host;
  if (virtualCamera) {
    std::string error;
    host = capture::startVirtualCamera(0, error);
    if (!host) {
      std::fprintf(stderr, "pelnik-viewer: cannot start the virtual camera: %s\n", error.c_str());
      return 1;
    }
  }
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "pelnik-viewer: no X display (DISPLAY is not set)\n");
    return 1;
  }
  {
    viewer::CameraControl camera;
    if (!camera.valid()) {
      std::fprintf(stderr, "pelnik-viewer: cannot open the library\n");
      return 1;
    }
    viewer::ViewerWindow window(camera, outputDir);
    viewer::addSettingsMenu(window);
    // A preview that cannot start leaves the window up to pick another camera.
    window.start();
    while (window.shown()) Fl::wait();
    camera.stop();
  }
  return 0;
}
