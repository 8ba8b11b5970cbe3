#include "output/raw_writer.h"

#include "output/output_file.h"

namespace pelnik::output {

bool writeRawFile(const char *path, const PictureView &picture) {
  if (!picture.valid()) return false;
  OutputFile file;
  if (!file.open(path)) return false;
  const bool written = file.write(picture.pixels, picture.byteSize());
  return file.close() && written;
}

}  // namespace pelnik::output
