#include "preview/preview_surface.h"

namespace pelnik {

namespace {

class NullPreview final : public PreviewSurface {
 public:
  OpenResult open(const PreviewPlacement &placement, PreviewImageSize) override {
    // Nothing can show a window here; only an explicit parent is an error.
    return placement.parentWindow != 0 ? OpenResult::Failed : OpenResult::Skipped;
  }
  bool isOpen() const override { return false; }
  void paint(const PreviewPicture &) override {}
  void present() override {}
  void close() override {}
};

}  // namespace

std::unique_ptr<PreviewSurface> makeNullPreview() { return std::make_unique<NullPreview>(); }

}  // namespace pelnik
