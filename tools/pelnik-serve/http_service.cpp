#include "http_service.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "page.h"

namespace serve {
namespace {

constexpr const char *kBoundary = "pelnikframe";
// A page client with more than two pictures (three chunks each) unwritten
// skips pictures.
constexpr int kMaxPendingChunks = 6;
// No request of the page carries a body larger than this.
constexpr goffset kMaxRequestBody = 4096;

void reply(SoupServerMessage *message, guint status, const std::string &type,
           const std::string &text) {
  soup_server_message_set_status(message, status, nullptr);
  soup_server_message_set_response(message, type.c_str(), SOUP_MEMORY_COPY, text.data(),
                                   text.size());
  soup_message_headers_replace(soup_server_message_get_response_headers(message), "Cache-Control",
                               "no-store");
}

void replyError(SoupServerMessage *message, guint status, const std::string &why) {
  std::string escaped;
  for (char c : why) {
    if (c == '"' || c == '\\') escaped += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) escaped += c;
  }
  reply(message, status, "application/json", "{\"error\":\"" + escaped + "\"}");
}

const char *queryValue(GHashTable *query, const char *key) {
  return query ? static_cast<const char *>(g_hash_table_lookup(query, key)) : nullptr;
}

bool parseInt(const char *text, int &out) {
  if (!text || !*text) return false;
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || *end || v < INT32_MIN || v > INT32_MAX) return false;
  out = int(v);
  return true;
}

// Compares without stopping at the first difference, so the time taken
// does not tell how much of a guess was right.
bool sameSecret(const std::string &a, const std::string &b) {
  if (a.size() != b.size() || b.empty()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}

bool isPost(SoupServerMessage *message) {
  return std::string(soup_server_message_get_method(message)) == "POST";
}

}  // namespace

struct HttpService::LiveClient {
  HttpService *service;
  SoupServerMessage *message;
  CameraFeed *feed;
  std::uint64_t sequence = 0;
  int pending = 0;
  bool paused = true;
};

HttpService::HttpService(const Options &options,
                         const std::vector<std::unique_ptr<CameraFeed>> &feeds,
                         OutputFolder &output)
    : options_(options), feeds_(feeds), output_(output) {}

HttpService::~HttpService() {
  if (tick_) g_source_remove(tick_);
  if (server_) {
    soup_server_disconnect(server_);
    g_object_unref(server_);
  }
  for (LiveClient *client : live_) delete client;
}

bool HttpService::start(std::string &error) {
  GTlsCertificate *certificate = nullptr;
  if (!options_.tlsCert.empty()) {
    GError *failure = nullptr;
    certificate = g_tls_certificate_new_from_files(options_.tlsCert.c_str(),
                                                   options_.tlsKey.c_str(), &failure);
    if (!certificate) {
      error = std::string("TLS certificate: ") + (failure ? failure->message : "unreadable");
      g_clear_error(&failure);
      return false;
    }
  }
  server_ =
      soup_server_new("server-header", "pelnik-serve", "tls-certificate", certificate, nullptr);
  if (certificate) g_object_unref(certificate);
  soup_server_add_early_handler(server_, nullptr, &HttpService::onEarlyRequest, this, nullptr);
  soup_server_add_handler(server_, nullptr, &HttpService::onRequest, this, nullptr);

  GError *failure = nullptr;
  GInetAddress *inet = g_inet_address_new_from_string(
      options_.bindAddress == "localhost" ? "127.0.0.1" : options_.bindAddress.c_str());
  if (!inet) {
    error = "not an address to bind to: " + options_.bindAddress;
    return false;
  }
  GSocketAddress *address = g_inet_socket_address_new(inet, guint16(options_.httpPort));
  g_object_unref(inet);
  const SoupServerListenOptions listen = certificate || !options_.tlsCert.empty()
                                             ? SOUP_SERVER_LISTEN_HTTPS
                                             : SoupServerListenOptions(0);
  const gboolean listening = soup_server_listen(server_, address, listen, &failure);
  g_object_unref(address);
  if (!listening) {
    error = std::string("cannot listen for HTTP: ") + (failure ? failure->message : "");
    g_clear_error(&failure);
    return false;
  }
  tick_ = g_timeout_add(15, &HttpService::onTick, this);
  return true;
}

void HttpService::onEarlyRequest(SoupServer *, SoupServerMessage *message, const char *,
                                 GHashTable *, gpointer) {
  SoupMessageHeaders *headers = soup_server_message_get_request_headers(message);
  if (soup_message_headers_get_content_length(headers) <= kMaxRequestBody &&
      soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CHUNKED)
    return;
  // The server would read the whole body before answering: the connection is
  // taken over, answered and closed, so a flood of bytes costs only its sender.
  GIOStream *connection = soup_server_message_steal_connection(message);
  if (!connection) return;
  static const char kRefusal[] =
      "HTTP/1.1 413 Request Entity Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
  g_output_stream_write_all(g_io_stream_get_output_stream(connection), kRefusal,
                            sizeof kRefusal - 1, nullptr, nullptr, nullptr);
  g_io_stream_close(connection, nullptr, nullptr);
  g_object_unref(connection);
}

void HttpService::onRequest(SoupServer *, SoupServerMessage *message, const char *path,
                            GHashTable *query, gpointer self) {
  static_cast<HttpService *>(self)->route(message, path ? path : "", query);
}

bool HttpService::authorised(SoupServerMessage *message, GHashTable *query) const {
  if (options_.token.empty()) return true;
  const char *header = soup_message_headers_get_one(
      soup_server_message_get_request_headers(message), "Authorization");
  if (header && g_str_has_prefix(header, "Bearer ") && sameSecret(header + 7, options_.token))
    return true;
  // Images and links of the page cannot carry a header.
  const char *inQuery = queryValue(query, "token");
  return inQuery && sameSecret(inQuery, options_.token);
}

CameraFeed *HttpService::feedOf(GHashTable *query) const {
  int number = -1;
  if (!parseInt(queryValue(query, "camera"), number)) return nullptr;
  for (const auto &feed : feeds_)
    if (feed->camera() == number) return feed.get();
  return nullptr;
}

void HttpService::route(SoupServerMessage *message, const std::string &path, GHashTable *query) {
  const std::string method = soup_server_message_get_method(message);
  if (method != "GET" && method != "HEAD" && method != "POST") {
    replyError(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "method not allowed");
    return;
  }
  if (path == "/" || path == "/index.html") {
    // The page holds no secret; it asks for the token itself.
    reply(message, SOUP_STATUS_OK, "text/html; charset=utf-8", kPage);
    return;
  }
  if (!authorised(message, query)) {
    replyError(message, SOUP_STATUS_UNAUTHORIZED, "token required");
    return;
  }
  const std::string recordingsPrefix = "/recordings/";
  if (path == "/api/state") {
    serveState(message);
  } else if (path == "/api/control") {
    serveControl(message, query);
  } else if (path == "/api/snapshot") {
    serveSnapshot(message, query);
  } else if (path == "/api/record") {
    serveRecord(message, query);
  } else if (path == "/api/recordings") {
    serveRecordings(message);
  } else if (path == "/live.mjpg") {
    serveLive(message, query);
  } else if (path.rfind(recordingsPrefix, 0) == 0) {
    char *name = g_uri_unescape_string(path.c_str() + recordingsPrefix.size(), nullptr);
    serveDownload(message, name ? name : "");
    g_free(name);
  } else {
    replyError(message, SOUP_STATUS_NOT_FOUND, "no such page");
  }
}

void HttpService::serveState(SoupServerMessage *message) {
  std::ostringstream json;
  json << "{\"cameras\":[";
  bool first = true;
  for (const auto &feed : feeds_) {
    json << (first ? "" : ",") << "{\"camera\":" << feed->camera()
         << ",\"fps\":" << feed->framesPerSecond() << ",\"frames\":" << feed->framesSeen()
         << ",\"recording\":" << (feed->recording() ? "true" : "false") << ",\"rtsp\":\"/cam"
         << feed->camera() << "\",\"controls\":" << feed->controlsJson() << "}";
    first = false;
  }
  json << "],\"rtspPort\":" << options_.rtspPort << "}";
  reply(message, SOUP_STATUS_OK, "application/json", json.str());
}

void HttpService::serveControl(SoupServerMessage *message, GHashTable *query) {
  if (!isPost(message)) {
    replyError(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "controls change by POST");
    return;
  }
  CameraFeed *feed = feedOf(query);
  const char *name = queryValue(query, "name");
  int value = 0;
  if (!feed || !name || !parseInt(queryValue(query, "value"), value)) {
    replyError(message, SOUP_STATUS_BAD_REQUEST, "camera, name and an integer value expected");
    return;
  }
  std::string error;
  if (!feed->setControl(name, value, error)) {
    replyError(message, SOUP_STATUS_UNPROCESSABLE_ENTITY, error);
    return;
  }
  g_message("camera %d: %s set to %d", feed->camera(), name, value);
  reply(message, SOUP_STATUS_OK, "application/json", feed->controlsJson());
}

void HttpService::serveSnapshot(SoupServerMessage *message, GHashTable *query) {
  CameraFeed *feed = feedOf(query);
  if (!feed) {
    replyError(message, SOUP_STATUS_BAD_REQUEST, "no such camera");
    return;
  }
  const std::string name =
      output_.freshName(".snapshot-cam" + std::to_string(feed->camera()), ".png");
  const std::string file = output_.pathOf(name);
  GBytes *png = nullptr;
  if (feed->snapshot(file)) {
    // Read back by path: the name starts with a dot, which requests can never name.
    gchar *data = nullptr;
    gsize size = 0;
    if (g_file_get_contents(file.c_str(), &data, &size, nullptr))
      png = g_bytes_new_take(data, size);
  }
  unlink(file.c_str());
  if (!png) {
    replyError(message, SOUP_STATUS_SERVICE_UNAVAILABLE, "no picture to save yet");
    return;
  }
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  SoupMessageHeaders *headers = soup_server_message_get_response_headers(message);
  soup_message_headers_set_content_type(headers, "image/png", nullptr);
  const std::string disposition =
      "attachment; filename=\"" +
      output_.freshName("cam" + std::to_string(feed->camera()), ".png") + "\"";
  soup_message_headers_replace(headers, "Content-Disposition", disposition.c_str());
  soup_message_body_append_bytes(soup_server_message_get_response_body(message), png);
  g_bytes_unref(png);
}

void HttpService::serveRecord(SoupServerMessage *message, GHashTable *query) {
  CameraFeed *feed = feedOf(query);
  const char *action = queryValue(query, "action");
  if (!isPost(message) || !feed || !action) {
    replyError(message, SOUP_STATUS_BAD_REQUEST, "POST camera and action=start|stop expected");
    return;
  }
  const std::string what = action;
  if (what == "start") {
    const std::string name = output_.freshName("cam" + std::to_string(feed->camera()), ".avi");
    std::string error;
    if (!feed->startRecording(output_.pathOf(name), error)) {
      replyError(message, SOUP_STATUS_CONFLICT, error);
      return;
    }
    g_message("camera %d: recording %s", feed->camera(), name.c_str());
    reply(message, SOUP_STATUS_OK, "application/json", "{\"recording\":\"" + name + "\"}");
  } else if (what == "stop") {
    const std::string file = feed->stopRecording();
    if (file.empty()) {
      replyError(message, SOUP_STATUS_CONFLICT, "not recording");
      return;
    }
    const std::string name = file.substr(file.rfind('/') + 1);
    g_message("camera %d: recorded %s", feed->camera(), name.c_str());
    reply(message, SOUP_STATUS_OK, "application/json", "{\"recorded\":\"" + name + "\"}");
  } else {
    replyError(message, SOUP_STATUS_BAD_REQUEST, "action is start or stop");
  }
}

void HttpService::serveRecordings(SoupServerMessage *message) {
  std::ostringstream json;
  json << "{\"recordings\":[";
  bool first = true;
  for (const auto &[name, size] : output_.recordings()) {
    json << (first ? "" : ",") << "{\"name\":\"" << name << "\",\"size\":" << size << "}";
    first = false;
  }
  json << "]}";
  reply(message, SOUP_STATUS_OK, "application/json", json.str());
}

void HttpService::serveDownload(SoupServerMessage *message, const std::string &name) {
  if (!OutputFolder::plainName(name)) {
    replyError(message, SOUP_STATUS_BAD_REQUEST, "not a file name of this server");
    return;
  }
  GBytes *bytes = output_.read(name);
  if (!bytes) {
    replyError(message, SOUP_STATUS_NOT_FOUND, "no such recording");
    return;
  }
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  SoupMessageHeaders *headers = soup_server_message_get_response_headers(message);
  soup_message_headers_set_content_type(headers, "video/x-msvideo", nullptr);
  const std::string disposition = "attachment; filename=\"" + name + "\"";
  soup_message_headers_replace(headers, "Content-Disposition", disposition.c_str());
  soup_message_body_append_bytes(soup_server_message_get_response_body(message), bytes);
  g_bytes_unref(bytes);
}

void HttpService::serveLive(SoupServerMessage *message, GHashTable *query) {
  CameraFeed *feed = feedOf(query);
  if (!feed) {
    replyError(message, SOUP_STATUS_BAD_REQUEST, "no such camera");
    return;
  }
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
  SoupMessageHeaders *headers = soup_server_message_get_response_headers(message);
  const std::string type = std::string("multipart/x-mixed-replace; boundary=") + kBoundary;
  soup_message_headers_replace(headers, "Content-Type", type.c_str());
  soup_message_headers_replace(headers, "Cache-Control", "no-store");
  soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
  // Parts are dropped once written, so a long-watched stream holds nothing.
  soup_message_body_set_accumulate(soup_server_message_get_response_body(message), FALSE);
  auto *client = new LiveClient{this, message, feed};
  live_.push_back(client);
  g_signal_connect(message, "finished", G_CALLBACK(&HttpService::onLiveFinished), client);
  g_signal_connect(message, "wrote-chunk", G_CALLBACK(&HttpService::onLiveChunkWritten), client);
  soup_server_message_pause(message);
}

void HttpService::onLiveChunkWritten(SoupServerMessage *, gpointer data) {
  auto *client = static_cast<LiveClient *>(data);
  if (client->pending > 0) client->pending--;
}

void HttpService::onLiveFinished(SoupServerMessage *message, gpointer data) {
  auto *client = static_cast<LiveClient *>(data);
  g_signal_handlers_disconnect_by_data(message, client);
  auto &live = client->service->live_;
  for (auto it = live.begin(); it != live.end(); ++it)
    if (*it == client) {
      live.erase(it);
      break;
    }
  delete client;
}

gboolean HttpService::onTick(gpointer data) {
  auto *self = static_cast<HttpService *>(data);
  // A copy: unpausing may finish a client and remove it from the list.
  const std::vector<LiveClient *> clients = self->live_;
  for (LiveClient *client : clients) {
    if (client->pending > kMaxPendingChunks) continue;  // a slow reader skips pictures
    std::uint64_t sequence = 0;
    GBytes *jpeg = client->feed->latestJpeg(sequence);
    if (!jpeg) continue;
    if (sequence == client->sequence) {
      g_bytes_unref(jpeg);
      continue;
    }
    client->sequence = sequence;
    SoupMessageBody *body = soup_server_message_get_response_body(client->message);
    const std::string head = std::string("--") + kBoundary +
                             "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                             std::to_string(g_bytes_get_size(jpeg)) + "\r\n\r\n";
    soup_message_body_append(body, SOUP_MEMORY_COPY, head.data(), head.size());
    soup_message_body_append_bytes(body, jpeg);
    soup_message_body_append(body, SOUP_MEMORY_STATIC, "\r\n", 2);
    g_bytes_unref(jpeg);
    client->pending += 3;
    soup_server_message_unpause(client->message);
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace serve
