#include "output/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/exclusive_file.h"

namespace pelnik::output {
namespace {

struct TiffFormat {
  int bitsPerSample;
  int photometric;
  int samplesPerPixel;
};

bool tiffFormatOf(int bitCount, TiffFormat &format) {
  switch (bitCount) {
    case 8:
      format = {8, PHOTOMETRIC_MINISBLACK, 1};
      return true;
    case 16:
      format = {16, PHOTOMETRIC_MINISBLACK, 1};
      return true;
    case 24:
      format = {8, PHOTOMETRIC_RGB, 3};
      return true;
    case 32:
      format = {8, PHOTOMETRIC_RGB, 4};
      return true;
    case 48:
      format = {16, PHOTOMETRIC_RGB, 3};
      return true;
    case 64:
      format = {16, PHOTOMETRIC_RGB, 4};
      return true;
    default:
      return false;
  }
}

struct TiffCloser {
  void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};

// The file libtiff writes, at the positions it seeks to (the header's
// directory offset last, over bytes already written). Written by the save
// alone, and never a FIFO, as the other still formats.
class TiffTarget {
 public:
  bool open(const char *path) {
    return file_.open(path) == platform::ExclusiveFile::OpenResult::Opened;
  }
  tmsize_t write(const void *data, tmsize_t size);
  toff_t seek(toff_t offset, int whence);
  toff_t size() const { return file_.size(); }
  // False when a write or the close failed.
  bool close() { return file_.close() && !failed_; }

 private:
  platform::ExclusiveFile file_;
  std::uint64_t position_ = 0;
  bool failed_ = false;
};

tmsize_t TiffTarget::write(const void *data, tmsize_t size) {
  if (size < 0) return -1;
  const auto *bytes = static_cast<const std::uint8_t *>(data);
  auto left = static_cast<std::uint64_t>(size);
  bool ok = true;
  if (position_ < file_.size()) {
    const std::uint64_t inside = std::min(left, file_.size() - position_);
    ok = file_.writeAt(position_, bytes, static_cast<std::size_t>(inside));
    bytes += inside;
    left -= inside;
    position_ += inside;
  }
  // A seek beyond the end leaves zeros up to where the bytes go.
  static const std::uint8_t zeros[4096] = {};
  while (ok && left > 0 && position_ > file_.size()) {
    ok = file_.append(zeros, static_cast<std::size_t>(
                                 std::min<std::uint64_t>(position_ - file_.size(), sizeof zeros)));
  }
  if (ok && left > 0) {
    ok = file_.append(bytes, static_cast<std::size_t>(left));
    position_ += left;
  }
  if (!ok) {
    failed_ = true;
    return -1;
  }
  return size;
}

toff_t TiffTarget::seek(toff_t offset, int whence) {
  if (whence == SEEK_CUR) {
    position_ += offset;
  } else if (whence == SEEK_END) {
    position_ = file_.size() + offset;
  } else {
    position_ = offset;
  }
  return position_;
}

// libtiff's client procedures over a TiffTarget; the file is write-only and
// never mapped, and the target, not libtiff, closes it.
TiffTarget &targetOf(thandle_t handle) { return *reinterpret_cast<TiffTarget *>(handle); }
tmsize_t readNothing(thandle_t, void *, tmsize_t) { return 0; }
tmsize_t writeTarget(thandle_t handle, void *data, tmsize_t size) {
  return targetOf(handle).write(data, size);
}
toff_t seekTarget(thandle_t handle, toff_t offset, int whence) {
  return targetOf(handle).seek(offset, whence);
}
int closeNothing(thandle_t) { return 0; }
toff_t sizeOfTarget(thandle_t handle) { return targetOf(handle).size(); }
int mapNothing(thandle_t, void **, toff_t *) { return 0; }
void unmapNothing(thandle_t, void *, toff_t) {}

}  // namespace

bool writeTiffFile(const char *path, const PictureView &picture) {
  TiffFormat format{};
  if (!path || !picture.valid() || !tiffFormatOf(picture.bitCount, format)) return false;
  // The strip is one block of unpadded rows.
  const std::size_t rowBytes = picture.rowBytes();
  const std::size_t stripBytes = rowBytes * static_cast<std::size_t>(picture.height);
  std::unique_ptr<std::uint8_t[]> strip(new (std::nothrow) std::uint8_t[stripBytes]);
  if (!strip) return false;
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(strip.get() + rowBytes * static_cast<std::size_t>(y), picture.row(y), rowBytes);
  }

  TiffTarget target;
  if (!target.open(path)) return false;
  // "m": never mapped, the target has no memory image of the file.
  std::unique_ptr<TIFF, TiffCloser> tiff(
      TIFFClientOpen(path, "wm", reinterpret_cast<thandle_t>(&target), readNothing, writeTarget,
                     seekTarget, closeNothing, sizeOfTarget, mapNothing, unmapNothing));
  if (!tiff) return false;
  TIFFSetField(tiff.get(), TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
  TIFFSetField(tiff.get(), TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
  TIFFSetField(tiff.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, format.bitsPerSample);
  TIFFSetField(tiff.get(), TIFFTAG_PHOTOMETRIC, format.photometric);
  TIFFSetField(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, format.samplesPerPixel);
  const bool stripWritten =
      TIFFWriteEncodedStrip(tiff.get(), 0, strip.get(), static_cast<tmsize_t>(stripBytes)) ==
      static_cast<tmsize_t>(stripBytes);
  // The directory is written when the file is flushed; closing alone would
  // hide a failure to write it.
  const bool flushed = stripWritten && TIFFFlush(tiff.get()) == 1;
  tiff.reset();
  return target.close() && flushed;
}

}  // namespace pelnik::output
