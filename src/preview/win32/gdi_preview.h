#pragma once
// The preview window on Windows: a GDI window of a class registered per
// window (the default window procedure, so nothing answers paint requests),
// a child of the application's window or a centred top-level window, painted
// from the acquisition thread through bitmap sections.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "preview/preview_painter.h"
#include "preview/preview_surface.h"
#include "preview/win32/dib_section.h"

namespace pelnik {

class GdiPreview final : public PreviewSurface {
 public:
  explicit GdiPreview(const void *owner);
  ~GdiPreview() override;

  OpenResult open(const PreviewPlacement &placement, PreviewImageSize image) override;
  bool isOpen() const override;
  void paint(const PreviewPicture &picture) override;
  void present() override;
  void close() override;

  HWND window() const;
  std::string className() const;
  // The path the last painted frame took, and frames drawn so far.
  PreviewPainter::Path lastPath() const;
  std::uint64_t framesDrawn() const;

 private:
  // The window of this preview still exists: not destroyed with a vanished
  // parent or by the user, and its handle not yet another window's.
  bool windowAlive() const;
  void destroyWindow();
  bool drawOneToOne(HDC target, int width, int height);
  bool drawScaled(HDC target, int width, int height);

  const std::uintptr_t owner_;
  mutable std::mutex windowLock_;  // guards every member below
  HWND window_ = nullptr;
  bool windowGone_ = false;
  std::string className_;
  // A class whose window could not be destroyed from here; unregistered later.
  std::string pendingClass_;
  PreviewPlacement placement_;
  PreviewImageSize image_;
  PreviewPainter painter_;
  DibSection picture_;  // the 1:1 path's copy of the chosen picture
  DibSection display_;  // the scaled path's picture at the client size
  PreviewPainter::Path lastPath_ = PreviewPainter::Path::Scaled;
  std::uint64_t framesDrawn_ = 0;
};

}  // namespace pelnik
