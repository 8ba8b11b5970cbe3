#include "display/preview_surface.h"

namespace pelnik {

std::unique_ptr<PreviewSurface> makeSystemPreview(const void *owner) {
  return makeX11Preview(owner);
}

}  // namespace pelnik
