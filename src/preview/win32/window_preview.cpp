#include "preview/preview_surface.h"

namespace pelnik {

namespace {

// Until the GDI preview window exists, a preview that asks for a window
// fails the way a window that cannot be made does; acquisition without a
// window is unaffected.
class WindowlessPreview final : public PreviewSurface {
 public:
  OpenResult open(const PreviewPlacement &, PreviewImageSize) override {
    return OpenResult::Failed;
  }
  bool isOpen() const override { return false; }
  void paint(const PreviewPicture &) override {}
  void present() override {}
  void close() override {}
};

}  // namespace

std::unique_ptr<PreviewSurface> makeWindowPreview(const void *) {
  return std::make_unique<WindowlessPreview>();
}

}  // namespace pelnik
