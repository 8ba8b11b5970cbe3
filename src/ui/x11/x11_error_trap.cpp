#include "ui/x11/x11_error_trap.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

namespace pelnik::platform::x11 {

namespace {

// The handlers take `lock` while Xlib may hold its own global lock, so no
// Xlib call is ever made under `lock`; installing is serialised apart.
struct Registry {
  std::mutex installLock;  // guards installed and the XSet*Handler calls
  bool installed = false;
  std::mutex lock;  // guards connections and the previous handlers
  std::vector<std::pair<Display *, ConnectionErrors *>> connections;
  XErrorHandler previousError = nullptr;
  XIOErrorHandler previousIoError = nullptr;
};

Registry &registry() {
  static Registry instance;
  return instance;
}

ConnectionErrors *find(Registry &r, Display *display) {
  for (auto entry = r.connections.rbegin(); entry != r.connections.rend(); ++entry)
    if (entry->first == display) return entry->second;
  return nullptr;
}

int onError(Display *display, XErrorEvent *event) {
  Registry &r = registry();
  XErrorHandler previous = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (ConnectionErrors *errors = find(r, display)) {
      errors->lastCode = event->error_code;
      errors->lastResource = event->resourceid;
      errors->count.fetch_add(1);
      return 0;
    }
    previous = r.previousError;
  }
  return previous ? previous(display, event) : 0;
}

int onIoError(Display *display) {
  Registry &r = registry();
  XIOErrorHandler previous = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    if (ConnectionErrors *errors = find(r, display)) {
      errors->dead = true;
      // Returning hands over to the connection's exit handler below.
      return 0;
    }
    previous = r.previousIoError;
  }
  return previous ? previous(display) : 0;
}

// Called instead of exit() once the connection is lost: the connection is
// unusable from now on, and its owner closes it.
void onIoErrorExit(Display *, void *data) {
  if (!data) return;
  auto *errors = static_cast<ConnectionErrors *>(data);
  errors->dead = true;
  errors->lostOn = std::this_thread::get_id();
}

}  // namespace

void releaseAfterLoss(Display *display, ConnectionErrors &errors) {
  if (!errors.dead.load() || errors.lostOn.load() != std::this_thread::get_id()) return;
  errors.lostOn = std::thread::id{};
  XUnlockDisplay(display);
}

void registerConnection(Display *display, ConnectionErrors *errors) {
  XSetIOErrorExitHandler(display, onIoErrorExit, errors);
  registerForCheck(display, errors);
}

void registerForCheck(Display *display, ConnectionErrors *errors) {
  Registry &r = registry();
  std::lock_guard<std::mutex> install(r.installLock);
  {
    std::lock_guard<std::mutex> guard(r.lock);
    r.connections.emplace_back(display, errors);
  }
  if (r.installed) return;
  XErrorHandler previous = XSetErrorHandler(onError);
  XIOErrorHandler previousIo = XSetIOErrorHandler(onIoError);
  {
    std::lock_guard<std::mutex> guard(r.lock);
    r.previousError = previous;
    r.previousIoError = previousIo;
  }
  r.installed = true;
}

void unregisterConnection(Display *display, ConnectionErrors *errors) {
  Registry &r = registry();
  std::lock_guard<std::mutex> install(r.installLock);
  XErrorHandler previous = nullptr;
  XIOErrorHandler previousIo = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    const std::pair<Display *, ConnectionErrors *> wanted{display, errors};
    const auto entry = std::find(r.connections.rbegin(), r.connections.rend(), wanted);
    if (entry != r.connections.rend()) r.connections.erase(std::next(entry).base());
    if (!r.connections.empty() || !r.installed) return;
    previous = r.previousError;
    previousIo = r.previousIoError;
  }
  // Put the earlier handlers back, but never over handlers installed later.
  XErrorHandler current = XSetErrorHandler(previous);
  if (current != onError) XSetErrorHandler(current);
  XIOErrorHandler currentIo = XSetIOErrorHandler(previousIo);
  if (currentIo != onIoError) XSetIOErrorHandler(currentIo);
  r.installed = false;
}

void keepingHandlers(void (*body)(void *), void *context) {
  Registry &r = registry();
  std::lock_guard<std::mutex> install(r.installLock);
  const XErrorHandler error = XSetErrorHandler(nullptr);
  XSetErrorHandler(error);
  const XIOErrorHandler io = XSetIOErrorHandler(nullptr);
  XSetIOErrorHandler(io);
  body(context);
  XSetErrorHandler(error);
  XSetIOErrorHandler(io);
}

}  // namespace pelnik::platform::x11
