#include "preview/x11/x11_preview.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/random.h"

namespace pelnik {

namespace {

constexpr const char *kChildTitle = "ActiveMovie Window";
constexpr const char *kTopLevelTitle = "Active Window";

}  // namespace

X11Preview::X11Preview(const void *owner, bool sharedMemory)
    : owner_(reinterpret_cast<std::uintptr_t>(owner)), sharedMemory_(sharedMemory) {}

X11Preview::~X11Preview() { close(); }

std::string X11Preview::newClassName() const {
  char name[64];
  std::snprintf(name, sizeof name, "VideoRenderer_%08x_%08x", static_cast<unsigned>(owner_),
                static_cast<unsigned>(platform::tickCount() +
                                      static_cast<unsigned>(platform::runtimeRand())));
  return name;
}

PreviewSurface::OpenResult X11Preview::open(const PreviewPlacement &placement,
                                            PreviewImageSize image) {
  std::unique_ptr<platform::x11::PreviewWindow> old;
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    const bool sameWindow =
        placement == placement_ && (placement.parentWindow != 0 || image == image_);
    if (window_ && window_->usable() && sameWindow) {
      // A later start shows the window the user closed again.
      window_->show();
      return OpenResult::Shown;
    }
    old = std::move(window_);
  }
  old.reset();

  const bool explicitParent = placement.parentWindow != 0;
  if (!explicitParent && placement.left == 0 && placement.top == 0 && placement.right == 0 &&
      placement.bottom == 0)
    return OpenResult::Failed;
  platform::x11::WindowRequest request;
  request.className = newClassName();
  request.sharedMemory = sharedMemory_;
  if (explicitParent) {
    request.parent = static_cast<unsigned long>(static_cast<unsigned>(placement.parentWindow));
    request.x = placement.left;
    request.y = placement.top;
    // The rectangle's last two values are the size.
    request.width = placement.right;
    request.height = placement.bottom;
    request.title = kChildTitle;
  } else {
    request.width = image.width;
    request.height = image.height;
    request.title = kTopLevelTitle;
  }
  platform::x11::OpenStatus status;
  auto window = platform::x11::PreviewWindow::open(request, status);
  if (!window) {
    if (status == platform::x11::OpenStatus::NoDisplay && !explicitParent)
      return OpenResult::Skipped;
    return OpenResult::Failed;
  }
  std::lock_guard<std::mutex> guard(windowLock_);
  window_ = std::move(window);
  placement_ = placement;
  image_ = image;
  className_ = request.className;
  return OpenResult::Shown;
}

bool X11Preview::isOpen() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return window_ != nullptr;
}

void X11Preview::paint(const PreviewPicture &picture) {
  std::lock_guard<std::mutex> guard(windowLock_);
  // A window that failed (its parent went away, the server was lost) or
  // that the user closed is skipped; acquisition runs on.
  if (!window_ || !window_->usable() || !window_->visible()) return;
  const int width = window_->clientWidth();
  const int height = window_->clientHeight();
  if (width <= 0 || height <= 0) return;
  platform::x11::Canvas *canvas = window_->beginFrame(width, height);
  if (!canvas) return;
  bool drawn = false;
  if (painter_.choosePicture(picture)) {
    lastPath_ = painter_.pathFor(width, height);
    drawn = painter_.draw(lastPath_, canvas->pixels, canvas->width, canvas->height, canvas->stride,
                          canvas->format);
  }
  window_->endFrame(drawn);
}

void X11Preview::present() {
  std::lock_guard<std::mutex> guard(windowLock_);
  if (window_) window_->submitFrame();
}

void X11Preview::close() {
  std::unique_ptr<platform::x11::PreviewWindow> old;
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    old = std::move(window_);
    placement_ = {};
    image_ = {};
    className_.clear();
  }
  // Destroyed outside the lock: a stalled server delays only this caller.
  old.reset();
}

unsigned long X11Preview::windowId() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return window_ ? window_->id() : 0;
}

std::string X11Preview::className() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return className_;
}

bool X11Preview::sharedMemory() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return window_ && window_->sharedMemory();
}

std::uint64_t X11Preview::framesPut() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return window_ ? window_->framesPut() : 0;
}

PreviewPainter::Path X11Preview::lastPath() const {
  std::lock_guard<std::mutex> guard(windowLock_);
  return lastPath_;
}

std::unique_ptr<PreviewSurface> makeWindowPreview(const void *owner) {
  return std::make_unique<X11Preview>(owner);
}

}  // namespace pelnik
