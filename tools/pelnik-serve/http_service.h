#pragma once
// The page for people: http(s)://HOST:PORT/ with each camera's live
// picture (MJPEG), frame rate, controls, snapshot and recording. Requests
// name only cameras and the names of files the tool wrote in its output
// folder, so no request reaches any other file.
#include <libsoup/soup.h>

#include <memory>
#include <string>
#include <vector>

#include "camera_feed.h"
#include "output_folder.h"

namespace serve {

class HttpService {
 public:
  HttpService(const Options &options, const std::vector<std::unique_ptr<CameraFeed>> &feeds,
              OutputFolder &output);
  ~HttpService();
  HttpService(const HttpService &) = delete;
  HttpService &operator=(const HttpService &) = delete;

  bool start(std::string &error);

 private:
  struct LiveClient;
  static void onRequest(SoupServer *, SoupServerMessage *message, const char *path,
                        GHashTable *query, gpointer self);
  static void onEarlyRequest(SoupServer *, SoupServerMessage *message, const char *path,
                             GHashTable *query, gpointer self);
  static gboolean onTick(gpointer self);
  static void onLiveFinished(SoupServerMessage *message, gpointer client);
  static void onLiveChunkWritten(SoupServerMessage *message, gpointer client);

  bool authorised(SoupServerMessage *message, GHashTable *query) const;
  CameraFeed *feedOf(GHashTable *query) const;
  void route(SoupServerMessage *message, const std::string &path, GHashTable *query);
  void serveState(SoupServerMessage *message);
  void serveControl(SoupServerMessage *message, GHashTable *query);
  void serveSnapshot(SoupServerMessage *message, GHashTable *query);
  void serveRecord(SoupServerMessage *message, GHashTable *query);
  void serveRecordings(SoupServerMessage *message);
  void serveDownload(SoupServerMessage *message, const std::string &name);
  void serveLive(SoupServerMessage *message, GHashTable *query);

  const Options &options_;
  const std::vector<std::unique_ptr<CameraFeed>> &feeds_;
  OutputFolder &output_;
  SoupServer *server_ = nullptr;
  guint tick_ = 0;
  std::vector<LiveClient *> live_;  // main loop thread only
};

}  // namespace serve
