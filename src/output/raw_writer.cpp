#include "output/raw_writer.h"

#include "platform/exclusive_file.h"

namespace pelnik::output {

bool writeRawFile(const char *path, const PictureView &picture) {
  if (!picture.valid()) return false;
  // Written by this save alone, as the BMP is: another writer is refused and
  // a path that is no regular file fails instead of blocking.
  platform::ExclusiveFile file;
  if (!path || file.open(path) != platform::ExclusiveFile::OpenResult::Opened) return false;
  const bool written = file.append(picture.pixels, picture.byteSize());
  return file.close() && written;
}

}  // namespace pelnik::output
