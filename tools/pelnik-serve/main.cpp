// pelnik-serve: the cameras on the network. RTSP (H.264) for programs at
// rtsp://HOST:8554/camN and a page for people at http://HOST:8080/.
#include <glib-unix.h>
#include <gst/gst.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_feed.h"
#include "feed_watch.h"
#include "http_service.h"
#include "options.h"
#include "output_folder.h"
#include "rtsp_service.h"
#include "virtual_cameras.h"

namespace {

// A camera delivers several pictures a second; this long without one is a
// stall worth a line in the log.
constexpr int kQuietSeconds = 5;

gboolean onStopSignal(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop *>(loop));
  return G_SOURCE_REMOVE;
}

int run(const serve::Options &options) {
  if (!gst_element_factory_find("pelniksrc")) {
    g_printerr("pelnik-serve: the pelniksrc element is not installed (see GST_PLUGIN_PATH)\n");
    return 1;
  }
  std::string error;
  std::unique_ptr<serve::VirtualCameras> virtualCameras;
  if (options.virtualCamera) {
    virtualCameras = serve::startVirtualCameras(options.cameras, error);
    if (!virtualCameras) {
      g_printerr("pelnik-serve: virtual camera: %s\n", error.c_str());
      return 1;
    }
    const std::string directory = virtualCameras->runtimeDirectory();
    g_print(
        "pelnik-serve: virtual cameras in %s (XDG_RUNTIME_DIR=%s pelnik-virtcam ctl ACTION N)\n",
        directory.c_str(), directory.c_str());
  }
  serve::OutputFolder output;
  if (!output.open(options.outputDirectory, error)) {
    g_printerr("pelnik-serve: %s\n", error.c_str());
    return 1;
  }
  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  int status = 1;
  {
    std::vector<std::unique_ptr<serve::CameraFeed>> feeds;
    bool started = true;
    for (int camera : options.cameras) {
      feeds.push_back(std::make_unique<serve::CameraFeed>(camera, options));
      if (!feeds.back()->start(error)) {
        g_printerr("pelnik-serve: %s\n", error.c_str());
        started = false;
        break;
      }
    }
    serve::RtspService rtsp;
    serve::HttpService http(options, feeds, output);
    if (started && !rtsp.start(options, feeds, error)) {
      g_printerr("pelnik-serve: %s\n", error.c_str());
      started = false;
    }
    if (started && !http.start(error)) {
      g_printerr("pelnik-serve: %s\n", error.c_str());
      started = false;
    }
    if (started) {
      serve::FeedWatch feedWatch(feeds, kQuietSeconds);
      const char *scheme = options.tlsCert.empty() ? "http" : "https";
      for (int camera : options.cameras)
        g_print("pelnik-serve: camera %d at rtsp://%s:%d/cam%d\n", camera,
                options.bindAddress.c_str(), options.rtspPort, camera);
      g_print("pelnik-serve: page at %s://%s:%d/\n", scheme, options.bindAddress.c_str(),
              options.httpPort);
      g_unix_signal_add(SIGINT, onStopSignal, loop);
      g_unix_signal_add(SIGTERM, onStopSignal, loop);
      g_main_loop_run(loop);
      status = 0;
    }
  }
  g_main_loop_unref(loop);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  gst_init(&argc, &argv);
  serve::Options options;
  std::string error;
  bool help = false;
  if (!serve::parseOptions(argc, argv, options, error, help)) {
    if (help) {
      std::fputs(serve::usage(), stdout);
      return 0;
    }
    std::fprintf(stderr, "pelnik-serve: %s\n%s", error.c_str(), serve::usage());
    return 2;
  }
  // Lines reach the journal at once when run as a service.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  return run(options);
}
