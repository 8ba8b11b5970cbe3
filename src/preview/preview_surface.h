#pragma once
// The seam the preview window plugs into. The acquisition paints every
// finished picture through it in two steps: under the frame lock the picture
// is converted into the preview's own image, and after the lock is released
// that image is handed to the window. A build or a session without a display
// uses the null surface, which shows nothing and never fails a default
// placement.
#include <memory>

#include "imaging/picture_rows.h"

namespace pelnik {

struct PreviewPlacement {
  int parentWindow = 0;
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  // No parent and an empty rectangle: the application wants no window.
  bool wantsWindow() const {
    return parentWindow != 0 || left != 0 || top != 0 || right != 0 || bottom != 0;
  }
  bool operator==(const PreviewPlacement &) const = default;
};

// The camera's picture size; a top-level window's client area has it.
struct PreviewImageSize {
  int width = 0;
  int height = 0;
  bool operator==(const PreviewImageSize &) const = default;
};

struct PreviewPicture {
  PictureRows rows;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;  // of the finished picture: 8, 16, 24, 32, 48 or 64
};

class PreviewSurface {
 public:
  virtual ~PreviewSurface() = default;

  enum class OpenResult { Shown, Skipped, Failed };
  // Creates the window for the placement, or shows the existing one again
  // when the placement is unchanged. Skipped: no display can be reached and
  // the placement names no parent, so acquisition runs on without a window.
  // Failed: an explicit parent that cannot be used.
  virtual OpenResult open(const PreviewPlacement &placement, PreviewImageSize image) = 0;
  virtual bool isOpen() const = 0;
  // Converts one finished picture into the preview's own image. Called on
  // the acquisition thread under the frame lock; never waits for the
  // display server.
  virtual void paint(const PreviewPicture &picture) = 0;
  // Hands the converted image to the window; called after the frame lock is
  // released. Never waits.
  virtual void present() = 0;
  // Destroys the window; only after the painting thread has stopped.
  virtual void close() = 0;
};

// The surface of a build without a preview window.
std::unique_ptr<PreviewSurface> makeNullPreview();

// The preview window of a camera object on this system's windowing (X11 or
// GDI); `owner` names the camera in the window's class name.
std::unique_ptr<PreviewSurface> makeWindowPreview(const void *owner);

}  // namespace pelnik
