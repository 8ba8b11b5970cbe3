#pragma once
// Says in the log when a camera stops delivering pictures and when it comes
// back: a feed that waits without end for its camera is otherwise silent,
// and every client of that camera just sees a still stream.
#include <glib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "camera_feed.h"

namespace serve {

class FeedWatch {
 public:
  // Looks at every feed once a second on the default main context.
  FeedWatch(const std::vector<std::unique_ptr<CameraFeed>> &feeds, int quietSeconds);
  ~FeedWatch();
  FeedWatch(const FeedWatch &) = delete;
  FeedWatch &operator=(const FeedWatch &) = delete;

 private:
  struct Seen {
    std::uint64_t frames = 0;
    int quietSeconds = 0;
    bool reported = false;
  };
  static gboolean onTick(gpointer self);
  void tick();

  const std::vector<std::unique_ptr<CameraFeed>> &feeds_;
  const int quietSeconds_;
  std::vector<Seen> seen_;  // one per feed, touched on the main context only
  guint source_ = 0;
};

}  // namespace serve
