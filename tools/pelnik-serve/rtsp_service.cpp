#include "rtsp_service.h"

namespace serve {
namespace {

void onMediaUnprepared(GstRTSPMedia *, gpointer data);

struct MediaLink {
  CameraFeed *feed;
  GstAppSrc *source;
};

void freeLink(gpointer data, GClosure *) {
  auto *link = static_cast<MediaLink *>(data);
  gst_object_unref(link->source);
  delete link;
}

// A new media of a camera: its appsrc joins the camera's feed until the
// media is unprepared (its last client gone).
void onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media, gpointer data) {
  auto *feed = static_cast<CameraFeed *>(data);
  g_print("pelnik-serve: camera %d: RTSP stream starts\n", feed->camera());
  GstElement *bin = gst_rtsp_media_get_element(media);
  GstElement *element = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src");
  gst_object_unref(bin);
  if (!element) return;
  auto *link = new MediaLink{feed, GST_APP_SRC(element)};
  feed->addRtspSource(link->source);
  g_signal_connect_data(media, "unprepared", G_CALLBACK(onMediaUnprepared), link, freeLink,
                        GConnectFlags(0));
}

void onMediaUnprepared(GstRTSPMedia *, gpointer data) {
  auto *link = static_cast<MediaLink *>(data);
  link->feed->removeRtspSource(link->source);
  g_print("pelnik-serve: camera %d: RTSP stream ends, no client left\n", link->feed->camera());
}

// Clients in the log, so that a service's journal says who watched when.
void onClientClosed(GstRTSPClient *, gpointer data) {
  g_print("pelnik-serve: RTSP client %s left\n", static_cast<const char *>(data));
}

void onClientConnected(GstRTSPServer *, GstRTSPClient *client, gpointer) {
  GstRTSPConnection *connection = gst_rtsp_client_get_connection(client);
  char *address = g_strdup(connection ? gst_rtsp_connection_get_ip(connection) : "?");
  g_print("pelnik-serve: RTSP client %s connected\n", address);
  g_signal_connect_data(
      client, "closed", G_CALLBACK(onClientClosed), address,
      [](gpointer text, GClosure *) { g_free(text); }, GConnectFlags(0));
}

}  // namespace

RtspService::~RtspService() {
  if (source_) g_source_remove(source_);
  if (server_) g_object_unref(server_);
}

bool RtspService::start(const Options &options,
                        const std::vector<std::unique_ptr<CameraFeed>> &feeds, std::string &error) {
  server_ = gst_rtsp_server_new();
  gst_rtsp_server_set_address(server_, options.bindAddress.c_str());
  gst_rtsp_server_set_service(server_, std::to_string(options.rtspPort).c_str());
  GstRTSPMountPoints *mounts = gst_rtsp_server_get_mount_points(server_);
  // 4:2:0, zero latency and a key frame every second or so, so any player
  // joins quickly and decodes it.
  const std::string launch =
      "( appsrc name=src is-live=true format=time do-timestamp=true max-buffers=4 "
      "leaky-type=downstream ! queue max-size-buffers=4 leaky=downstream ! "
      "x264enc tune=zerolatency speed-preset=ultrafast key-int-max=30 bitrate=" +
      std::to_string(options.bitrateKbps) +
      " ! video/x-h264,profile=constrained-baseline ! rtph264pay name=pay0 pt=96 "
      "config-interval=-1 )";
  for (const auto &feed : feeds) {
    GstRTSPMediaFactory *factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launch.c_str());
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    g_signal_connect(factory, "media-configure", G_CALLBACK(onMediaConfigure), feed.get());
    const std::string path = "/cam" + std::to_string(feed->camera());
    gst_rtsp_mount_points_add_factory(mounts, path.c_str(), factory);
  }
  g_object_unref(mounts);
  g_signal_connect(server_, "client-connected", G_CALLBACK(onClientConnected), nullptr);
  source_ = gst_rtsp_server_attach(server_, nullptr);
  if (!source_) {
    error =
        "cannot listen for RTSP on " + options.bindAddress + ":" + std::to_string(options.rtspPort);
    return false;
  }
  return true;
}

}  // namespace serve
