#pragma once
// The preview window on X11: a child of the application's X window or a
// top-level window centred on the screen, painted from the acquisition
// thread through the preview's own image.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "preview/preview_painter.h"
#include "preview/preview_surface.h"
#include "ui/x11/x11_preview_window.h"

namespace pelnik {

class X11Preview final : public PreviewSurface {
 public:
  // `sharedMemory` false keeps to plain image requests (for comparisons).
  explicit X11Preview(const void *owner, bool sharedMemory = true);
  ~X11Preview() override;

  OpenResult open(const PreviewPlacement &placement, PreviewImageSize image) override;
  bool isOpen() const override;
  void paint(const PreviewPicture &picture) override;
  void present() override;
  void close() override;

  // The window's X id and class name (0 and empty without a window).
  unsigned long windowId() const;
  std::string className() const;
  // Whether the window's image is a shared-memory segment.
  bool sharedMemory() const;
  // Frames handed to the server so far.
  std::uint64_t framesPut() const;
  // The path the last painted frame took.
  PreviewPainter::Path lastPath() const;

 private:
  std::string newClassName() const;

  const std::uintptr_t owner_;
  const bool sharedMemory_;
  mutable std::mutex windowLock_;  // guards window_, placement_, image_, className_, painter_
  std::unique_ptr<platform::x11::PreviewWindow> window_;
  PreviewPlacement placement_;
  PreviewImageSize image_;
  std::string className_;
  PreviewPainter painter_;
  PreviewPainter::Path lastPath_ = PreviewPainter::Path::Scaled;
};

}  // namespace pelnik
