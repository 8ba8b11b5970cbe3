#include "feed_watch.h"

namespace serve {

FeedWatch::FeedWatch(const std::vector<std::unique_ptr<CameraFeed>> &feeds, int quietSeconds)
    : feeds_(feeds), quietSeconds_(quietSeconds), seen_(feeds.size()) {
  for (std::size_t i = 0; i < feeds_.size(); ++i) seen_[i].frames = feeds_[i]->framesSeen();
  source_ = g_timeout_add_seconds(1, &FeedWatch::onTick, this);
}

FeedWatch::~FeedWatch() {
  if (source_) g_source_remove(source_);
}

gboolean FeedWatch::onTick(gpointer self) {
  static_cast<FeedWatch *>(self)->tick();
  return G_SOURCE_CONTINUE;
}

void FeedWatch::tick() {
  for (std::size_t i = 0; i < feeds_.size(); ++i) {
    Seen &seen = seen_[i];
    const std::uint64_t frames = feeds_[i]->framesSeen();
    if (frames != seen.frames) {
      if (seen.reported)
        g_print("pelnik-serve: camera %d delivers pictures again\n", feeds_[i]->camera());
      seen = Seen{frames, 0, false};
      continue;
    }
    if (++seen.quietSeconds >= quietSeconds_ && !seen.reported) {
      g_print("pelnik-serve: camera %d: no picture for %d s\n", feeds_[i]->camera(),
              seen.quietSeconds);
      seen.reported = true;
    }
  }
}

}  // namespace serve
