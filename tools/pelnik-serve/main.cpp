// pelnik-serve: the cameras on the network. RTSP (H.264) for programs at
// rtsp://HOST:8554/camN and a page for people at http://HOST:8080/.
#include <glib-unix.h>
#include <gst/gst.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_feed.h"
#include "http_service.h"
#include "options.h"
#include "output_folder.h"
#include "rtsp_service.h"
#include "virtual_cameras.h"

namespace {

gboolean onStopSignal(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop *>(loop));
  return G_SOURCE_REMOVE;
}

// Errors of a camera's pipeline end the server: a service manager restarts it.
gboolean onBusMessage(GstBus *, GstMessage *message, gpointer loop) {
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError *error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    g_printerr("pelnik-serve: %s: %s\n", GST_OBJECT_NAME(message->src), error->message);
    g_clear_error(&error);
    g_main_loop_quit(static_cast<GMainLoop *>(loop));
  } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
    GError *warning = nullptr;
    gst_message_parse_warning(message, &warning, nullptr);
    g_printerr("pelnik-serve: warning: %s\n", warning->message);
    g_clear_error(&warning);
  }
  return G_SOURCE_CONTINUE;
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
    std::vector<guint> watches;
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
      for (const auto &feed : feeds) {
        GstBus *bus = gst_element_get_bus(feed->pipeline());
        watches.push_back(gst_bus_add_watch(bus, onBusMessage, loop));
        gst_object_unref(bus);
      }
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
    for (guint watch : watches) g_source_remove(watch);
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
