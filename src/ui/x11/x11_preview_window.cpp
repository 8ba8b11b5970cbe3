#include "ui/x11/x11_preview_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/x11/x11_server_probe.h"

namespace pelnik::platform::x11 {

namespace {

Visual *visualOf(void *visual) { return static_cast<Visual *>(visual); }

// A live server answers a destroy and a sync in far less; a stopped one
// never does, and its connection is cut after this.
constexpr int kTeardownGraceMs = 500;
// The thread also looks at its flags this often when nothing arrives.
constexpr int kIdlePollMs = 500;

}  // namespace

struct PreviewWindow::SharedSegment {
  XShmSegmentInfo info{};
  bool attached = false;
};

PreviewWindow::PreviewWindow(Display *display) : display_(display) {}

std::unique_ptr<PreviewWindow> PreviewWindow::open(const WindowRequest &request,
                                                   OpenStatus &status) {
  // Xlib's open would wait without limit for a stopped server, and the
  // caller holds the acquisition control lock.
  if (!serverAnswers(nullptr, kServerAnswerLimitMs)) {
    status = OpenStatus::NoDisplay;
    return nullptr;
  }
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    status = OpenStatus::NoDisplay;
    return nullptr;
  }
  std::unique_ptr<PreviewWindow> w(new PreviewWindow(display));
  registerConnection(display, &w->errors_);
  const int screen = DefaultScreen(display);
  const int width = std::max(1, request.width);
  const int height = std::max(1, request.height);

  Window parent = RootWindow(display, screen);
  int x = request.x;
  int y = request.y;
  if (request.parent != 0) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, request.parent, &attributes)) {
      status = OpenStatus::BadParent;
      return nullptr;
    }
    parent = request.parent;
    w->visual_ = attributes.visual;
    w->depth_ = attributes.depth;
  } else {
    w->topLevel_ = true;
    w->visual_ = DefaultVisual(display, screen);
    w->depth_ = DefaultDepth(display, screen);
    // No decorations are known before the window manager frames the window.
    x = std::max(0, (DisplayWidth(display, screen) - width) / 2);
    y = std::max(0, (DisplayHeight(display, screen) - height) / 2);
  }

  XSetWindowAttributes set{};
  set.background_pixel = BlackPixel(display, screen);
  set.event_mask = StructureNotifyMask | ExposureMask;
  const unsigned long mask = CWEventMask | CWBackPixel;
  w->window_ = XCreateWindow(display, parent, x, y, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                             CopyFromParent, mask, &set);

  XClassHint hint;
  std::string name = request.className;
  hint.res_name = name.data();
  hint.res_class = name.data();
  XSetClassHint(display, w->window_, &hint);
  XStoreName(display, w->window_, request.title.c_str());
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XChangeProperty(display, w->window_, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char *>(request.title.c_str()),
                  static_cast<int>(request.title.size()));
  if (w->topLevel_) {
    XSizeHints size{};
    size.flags = USPosition | USSize | PPosition | PSize;
    size.x = x;
    size.y = y;
    size.width = width;
    size.height = height;
    XSetWMNormalHints(display, w->window_, &size);
    Atom protocols[] = {XInternAtom(display, "WM_DELETE_WINDOW", False)};
    XSetWMProtocols(display, w->window_, protocols, 1);
    w->deleteAtom_ = protocols[0];
    w->protocolsAtom_ = XInternAtom(display, "WM_PROTOCOLS", False);
  }
  w->gc_ = XCreateGC(display, w->window_, 0, nullptr);
  XMapWindow(display, w->window_);
  XSync(display, False);
  if (w->errors_.count.load() != 0 || w->errors_.dead.load()) {
    status = request.parent != 0 ? OpenStatus::BadParent : OpenStatus::Failed;
    return nullptr;
  }
  XWindowAttributes own;
  if (XGetWindowAttributes(display, w->window_, &own)) {
    w->mapped_ = own.map_state != IsUnmapped;
    w->width_ = own.width;
    w->height_ = own.height;
  }
  if (request.sharedMemory && XShmQueryExtension(display))
    w->shmCompletionEvent_ = XShmGetEventBase(display) + ShmCompletion;

  int pipeEnds[2];
  if (pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0) {
    status = OpenStatus::Failed;
    return nullptr;
  }
  w->wakeRead_ = pipeEnds[0];
  w->wakeWrite_ = pipeEnds[1];
  PreviewWindow *self = w.get();
  if (!w->thread_.start([self] { self->run(); })) {
    status = OpenStatus::Failed;
    return nullptr;
  }
  status = OpenStatus::Open;
  return w;
}

PreviewWindow::~PreviewWindow() {
  if (thread_.joinable()) {
    quit_ = true;
    wake();
    if (!finished_.waitFor(kTeardownGraceMs)) {
      // The server does not answer: cut the connection, which ends every
      // wait of the thread with an I/O error instead of an exit.
      shutdown(ConnectionNumber(display_), SHUT_RDWR);
    }
    thread_.join();
  } else if (window_ != 0 && !errors_.dead.load()) {
    // A window that failed while opening: nothing else ever used it.
    if (gc_) XFreeGC(display_, gc_);
    XDestroyWindow(display_, window_);
    XSync(display_, False);
  }
  if (image_) {
    image_->data = segment_ ? nullptr : image_->data;
    XDestroyImage(image_);
  }
  if (segment_ && segment_->info.shmaddr) shmdt(segment_->info.shmaddr);
  releaseAfterLoss(display_, errors_);
  // After a lost connection the window and the GC went with the server, but
  // the GC's client-side record is still ours to free; Xlib sends nothing
  // on a connection that has failed.
  if (gc_ && errors_.dead.load()) XFreeGC(display_, gc_);
  // Forgotten first: once closed, the address may be another connection's.
  // Errors still on their way are collected while it is registered.
  if (!errors_.dead.load()) XSync(display_, False);
  unregisterConnection(display_, &errors_);
  XCloseDisplay(display_);
  if (wakeRead_ >= 0) close(wakeRead_);
  if (wakeWrite_ >= 0) close(wakeWrite_);
}

bool PreviewWindow::usable() const {
  return !errors_.dead.load() && !destroyed_.load() && errors_.count.load() == errorsSeen_.load();
}

void PreviewWindow::show() {
  showRequested_ = true;
  wake();
}

void PreviewWindow::wake() {
  const char byte = 1;
  // A full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
}

Canvas *PreviewWindow::beginFrame(int width, int height) {
  std::lock_guard<std::mutex> guard(slotLock_);
  if (slot_ != Slot::Free || !usable() || width <= 0 || height <= 0) {
    framesDropped_.fetch_add(1);
    return nullptr;
  }
  if (!canvas_.pixels || canvas_.width != width || canvas_.height != height) {
    const bool ask = wantedWidth_ != width || wantedHeight_ != height;
    wantedWidth_ = width;
    wantedHeight_ = height;
    framesDropped_.fetch_add(1);
    if (ask) wake();
    return nullptr;
  }
  slot_ = Slot::Drawing;
  return &canvas_;
}

void PreviewWindow::endFrame(bool complete) {
  std::lock_guard<std::mutex> guard(slotLock_);
  if (slot_ == Slot::Drawing) slot_ = complete ? Slot::Queued : Slot::Free;
}

void PreviewWindow::submitFrame() {
  bool queued;
  {
    std::lock_guard<std::mutex> guard(slotLock_);
    queued = slot_ == Slot::Queued;
  }
  if (queued) wake();
}

void PreviewWindow::run() {
  pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  while (!quit_.load() && !errors_.dead.load()) {
    handleEvents();
    if (errors_.dead.load() || quit_.load()) break;
    if (showRequested_.exchange(false) && !destroyed_.load()) XMapRaised(display_, window_);
    serviceImage();
    XFlush(display_);
    if (XQLength(display_) > 0) continue;
    fds[0].revents = fds[1].revents = 0;
    if (poll(fds, 2, kIdlePollMs) < 0) continue;
    if (fds[1].revents & POLLIN) {
      char drain[64];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    // A hang-up is read as an I/O error by the next XPending.
  }
  teardownOnThread();
  releaseAfterLoss(display_, errors_);
  finished_.set();
}

void PreviewWindow::handleEvents() {
  while (!errors_.dead.load() && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == shmCompletionEvent_ && shmCompletionEvent_ >= 0) {
      std::lock_guard<std::mutex> guard(slotLock_);
      if (slot_ == Slot::InFlight) slot_ = Slot::Free;
      continue;
    }
    if (event.xany.window != window_) continue;
    switch (event.type) {
      case ConfigureNotify:
        width_ = event.xconfigure.width;
        height_ = event.xconfigure.height;
        break;
      case MapNotify:
        mapped_ = true;
        break;
      case Expose:
        if (event.xexpose.count == 0) repaintWanted_ = true;
        break;
      case UnmapNotify:
        mapped_ = false;
        break;
      case DestroyNotify:
        destroyed_ = true;
        mapped_ = false;
        break;
      case ClientMessage:
        // Closing the window through the window manager only hides it.
        if (topLevel_ && event.xclient.message_type == protocolsAtom_ &&
            static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom_) {
          XWithdrawWindow(display_, window_, DefaultScreen(display_));
          mapped_ = false;
        }
        break;
      default:
        break;
    }
  }
}

void PreviewWindow::serviceImage() {
  int width = 0, height = 0;
  bool put = false;
  bool repaint = false;
  {
    std::lock_guard<std::mutex> guard(slotLock_);
    if (slot_ == Slot::Queued) {
      put = true;
      slot_ = Slot::InFlight;
    } else if (slot_ == Slot::Free && repaintWanted_ && pictureShown_) {
      put = repaint = true;
      slot_ = Slot::InFlight;
    } else if (slot_ == Slot::Free && wantedWidth_ > 0 &&
               (canvas_.width != wantedWidth_ || canvas_.height != wantedHeight_ ||
                !canvas_.pixels)) {
      width = wantedWidth_;
      height = wantedHeight_;
      slot_ = Slot::Resizing;
    }
  }
  if (width > 0) {
    pictureShown_ = false;
    destroyImage();
    const bool made = createImage(width, height);
    std::lock_guard<std::mutex> guard(slotLock_);
    canvas_ = {};
    if (made) {
      canvas_.pixels = reinterpret_cast<std::uint8_t *>(image_->data);
      canvas_.width = width;
      canvas_.height = height;
      canvas_.stride = image_->bytes_per_line;
      const Visual *visual = visualOf(visual_);
      if (visual->c_class == TrueColor &&
          (image_->bits_per_pixel == 32 || image_->bits_per_pixel == 16)) {
        canvas_.format.bitsPerPixel = image_->bits_per_pixel;
        canvas_.format.redMask = static_cast<std::uint32_t>(visual->red_mask);
        canvas_.format.greenMask = static_cast<std::uint32_t>(visual->green_mask);
        canvas_.format.blueMask = static_cast<std::uint32_t>(visual->blue_mask);
        canvas_.format.bigEndian = image_->byte_order == MSBFirst;
      }
    } else {
      wantedWidth_ = wantedHeight_ = 0;
    }
    slot_ = Slot::Free;
    return;
  }
  if (!put) return;
  const bool show = usable() && mapped_.load();
  bool inFlight = false;
  if (show) {
    const auto w = static_cast<unsigned>(canvas_.width);
    const auto h = static_cast<unsigned>(canvas_.height);
    if (segment_) {
      XShmPutImage(display_, window_, gc_, image_, 0, 0, 0, 0, w, h, True);
      inFlight = true;
    } else {
      // Xlib has copied the pixels once this returns.
      XPutImage(display_, window_, gc_, image_, 0, 0, 0, 0, w, h);
    }
    pictureShown_ = true;
    repaintWanted_ = false;
    if (!repaint) framesPut_.fetch_add(1);
  }
  std::lock_guard<std::mutex> guard(slotLock_);
  slot_ = inFlight ? Slot::InFlight : Slot::Free;
}

bool PreviewWindow::createImage(int width, int height) {
  if (shmCompletionEvent_ >= 0 && createSharedImage(width, height)) return true;
  image_ =
      XCreateImage(display_, visualOf(visual_), static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                   static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
  if (!image_) return false;
  image_->data = static_cast<char *>(
      std::calloc(static_cast<std::size_t>(image_->bytes_per_line) * height, 1));
  if (!image_->data) {
    XDestroyImage(image_);
    image_ = nullptr;
    return false;
  }
  sharedImage_ = false;
  return true;
}

bool PreviewWindow::createSharedImage(int width, int height) {
  auto segment = std::make_unique<SharedSegment>();
  XImage *image =
      XShmCreateImage(display_, visualOf(visual_), static_cast<unsigned>(depth_), ZPixmap, nullptr,
                      &segment->info, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!image) return false;
  const std::size_t bytes = static_cast<std::size_t>(image->bytes_per_line) * height;
  segment->info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (segment->info.shmid >= 0) {
    void *address = shmat(segment->info.shmid, nullptr, 0);
    segment->info.shmaddr =
        address == reinterpret_cast<void *>(-1) ? nullptr : static_cast<char *>(address);
  }
  bool attached = false;
  if (segment->info.shmaddr) {
    // The extension can be announced where attaching fails (a remote
    // server): only a confirmed attach is used.
    segment->info.readOnly = False;
    const int before = errors_.count.load();
    XShmAttach(display_, &segment->info);
    XSync(display_, False);
    attached = errors_.count.load() == before && !errors_.dead.load();
    errorsSeen_.fetch_add(errors_.count.load() - before);
  }
  if (segment->info.shmid >= 0) shmctl(segment->info.shmid, IPC_RMID, nullptr);
  if (!attached) {
    if (segment->info.shmaddr) shmdt(segment->info.shmaddr);
    image->data = nullptr;
    XDestroyImage(image);
    shmCompletionEvent_ = -1;  // not again on this server
    return false;
  }
  segment->attached = true;
  image->data = segment->info.shmaddr;
  image_ = image;
  segment_ = std::move(segment);
  sharedImage_ = true;
  return true;
}

void PreviewWindow::destroyImage() {
  if (!image_) return;
  if (segment_) {
    if (segment_->attached && !errors_.dead.load()) {
      XShmDetach(display_, &segment_->info);
      XSync(display_, False);
    }
    image_->data = nullptr;
    XDestroyImage(image_);
    shmdt(segment_->info.shmaddr);
    segment_.reset();
  } else {
    XDestroyImage(image_);
  }
  image_ = nullptr;
}

void PreviewWindow::teardownOnThread() {
  if (errors_.dead.load()) return;
  if (gc_) XFreeGC(display_, gc_);
  gc_ = nullptr;
  if (!destroyed_.load()) XDestroyWindow(display_, window_);
  destroyImage();
  XSync(display_, False);
}

}  // namespace pelnik::platform::x11
