#pragma once
// The seam the preview window plugs into. The acquisition paints every
// finished picture through it; a build or a session without a display uses
// the null surface, which shows nothing and never fails a default placement.
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
};

struct PreviewPicture {
  PictureRows rows;
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
};

class PreviewSurface {
 public:
  virtual ~PreviewSurface() = default;

  enum class OpenResult { Shown, Skipped, Failed };
  // Creates the window for the placement. Skipped: no display can be
  // reached and the placement names no parent, so acquisition runs on
  // without a window. Failed: an explicit parent that cannot be used.
  virtual OpenResult open(const PreviewPlacement &placement) = 0;
  virtual bool isOpen() const = 0;
  // Paints one finished picture (called on the acquisition thread under the
  // frame lock; must not wait for another thread that takes that lock).
  virtual void paint(const PreviewPicture &picture) = 0;
  virtual void close() = 0;
};

// The surface of a build without a preview window.
std::unique_ptr<PreviewSurface> makeNullPreview();

}  // namespace pelnik
