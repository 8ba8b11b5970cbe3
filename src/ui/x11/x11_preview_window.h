#pragma once
// A preview window on an X display connection of its own. After open() only
// the window's own thread talks to the server: it reads the events (also
// while no frame arrives), puts finished frames and answers the window
// manager. Other threads exchange state with it through atomics and a small
// image slot, so nothing outside that thread ever waits for the server.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/event.h"
#include "platform/thread.h"
#include "ui/pixel_format.h"
#include "ui/x11/x11_error_trap.h"

struct _XDisplay;
struct _XImage;
struct _XGC;

namespace pelnik::platform::x11 {

struct WindowRequest {
  unsigned long parent = 0;  // 0: a top-level window
  int x = 0;                 // child: position in the parent
  int y = 0;
  int width = 0;  // child: size; top-level: client size, centred on the screen
  int height = 0;
  std::string className;  // WM_CLASS name and class
  std::string title;
  bool sharedMemory = true;  // false: plain image requests even where MIT-SHM works
};

using PixelFormat = ui::PixelFormat;

struct Canvas {
  std::uint8_t *pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  PixelFormat format;
};

enum class OpenStatus { Open, NoDisplay, BadParent, Failed };

class PreviewWindow {
 public:
  // Creates and maps the window and waits once for the server to confirm
  // it; a parent that does not exist is BadParent.
  static std::unique_ptr<PreviewWindow> open(const WindowRequest &request, OpenStatus &status);
  // Destroys the window and closes the connection. A server that does not
  // answer within a short grace time has its connection cut instead.
  ~PreviewWindow();
  PreviewWindow(const PreviewWindow &) = delete;
  PreviewWindow &operator=(const PreviewWindow &) = delete;

  // The connection lives and no request on the window has failed.
  bool usable() const;
  // Mapped; a window the user closed is unmapped.
  bool visible() const { return mapped_.load(); }
  int clientWidth() const { return width_.load(); }
  int clientHeight() const { return height_.load(); }
  unsigned long id() const { return window_; }
  bool sharedMemory() const { return sharedImage_.load(); }
  bool connectionLost() const { return errors_.dead.load(); }
  // Maps the window again (after the user closed it).
  void show();

  // The image to draw the next frame into: null, and the frame dropped,
  // while the previous frame is still with the server, while the window is
  // unusable, or while the image has another size (a new size is then asked
  // of the window's thread).
  Canvas *beginFrame(int width, int height);
  // Ends the drawing: a complete image is queued for the next submit.
  void endFrame(bool complete);
  // Wakes the window's thread to put a queued image. Never waits.
  void submitFrame();

  std::uint64_t framesPut() const { return framesPut_.load(); }
  std::uint64_t framesDropped() const { return framesDropped_.load(); }

 private:
  enum class Slot { Free, Drawing, Queued, InFlight, Resizing };
  explicit PreviewWindow(_XDisplay *display);

  void run();
  void wake();
  void handleEvents();
  void serviceImage();
  bool createImage(int width, int height);
  bool createSharedImage(int width, int height);
  void destroyImage();
  void teardownOnThread();

  _XDisplay *display_;
  ConnectionErrors errors_;
  std::atomic<int> errorsSeen_{0};  // errors expected so far (failed shared-memory attaches)
  unsigned long window_ = 0;
  _XGC *gc_ = nullptr;
  void *visual_ = nullptr;  // the Visual of the window
  int depth_ = 0;
  bool topLevel_ = false;
  unsigned long deleteAtom_ = 0;
  unsigned long protocolsAtom_ = 0;
  int shmCompletionEvent_ = -1;  // -1: no shared memory on this server
  int wakeRead_ = -1;
  int wakeWrite_ = -1;

  std::atomic<bool> mapped_{false};
  std::atomic<bool> destroyed_{false};
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  std::atomic<bool> showRequested_{false};
  std::atomic<bool> quit_{false};
  std::atomic<bool> sharedImage_{false};
  std::atomic<std::uint64_t> framesPut_{0};
  std::atomic<std::uint64_t> framesDropped_{0};

  // Owned by the window's thread, except the canvas while the slot is Drawing.
  _XImage *image_ = nullptr;
  // The image holds a picture the window has shown, and the server asked for
  // the window to be drawn again (a menu or window above it went away): the
  // picture is put again, so a stopped preview keeps its last picture.
  bool pictureShown_ = false;
  bool repaintWanted_ = false;
  struct SharedSegment;
  std::unique_ptr<SharedSegment> segment_;

  std::mutex slotLock_;  // guards slot_, canvas_, wantedWidth_, wantedHeight_
  Slot slot_ = Slot::Free;
  Canvas canvas_;
  int wantedWidth_ = 0;
  int wantedHeight_ = 0;

  Event finished_{Event::Reset::Manual};
  Thread thread_;
};

}  // namespace pelnik::platform::x11
