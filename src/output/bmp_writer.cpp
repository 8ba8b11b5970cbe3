#include "output/bmp_writer.h"

#include <array>
#include <limits>

#include "output/little_endian.h"
#include "output/output_file.h"

namespace pelnik::output {
namespace {

using BmpHeaders = std::array<std::uint8_t, kBmpFileHeaderBytes + kBmpInfoHeaderBytes>;

BmpHeaders bmpHeaders(const PictureView &picture, std::uint32_t fileSize) {
  BmpHeaders bytes{};
  std::uint8_t *out = bytes.data();
  *out++ = 'B';
  *out++ = 'M';
  out = putU32(out, fileSize);
  out = putU16(out, 0);
  out = putU16(out, 0);
  out = putU32(out, bmpPixelOffset(picture.bitCount));
  // The information header: size, width, height, planes, bit count, and
  // zero for compression and every field after it.
  out = putU32(out, static_cast<std::uint32_t>(kBmpInfoHeaderBytes));
  out = putU32(out, static_cast<std::uint32_t>(picture.width));
  out = putU32(out, static_cast<std::uint32_t>(picture.height));
  out = putU16(out, 1);
  putU16(out, static_cast<std::uint16_t>(picture.bitCount));
  return bytes;
}

std::array<std::uint8_t, kBmpColourTableBytes> greyRamp() {
  std::array<std::uint8_t, kBmpColourTableBytes> table{};
  for (std::size_t i = 0; i < 256; ++i) {
    table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = static_cast<std::uint8_t>(i);
  }
  return table;
}

}  // namespace

std::uint32_t bmpPixelOffset(int bitCount) {
  const std::size_t headers = kBmpFileHeaderBytes + kBmpInfoHeaderBytes;
  return static_cast<std::uint32_t>(bitCount <= 8 ? headers + kBmpColourTableBytes : headers);
}

bool writeBmpFile(const char *path, const PictureView &bottomUp) {
  if (!bottomUp.valid()) return false;
  const std::uint64_t fileSize = std::uint64_t{bmpPixelOffset(bottomUp.bitCount)} +
                                 std::uint64_t{bottomUp.byteSize()};
  if (fileSize > std::numeric_limits<std::uint32_t>::max()) return false;
  OutputFile file;
  if (!file.open(path)) return false;
  const BmpHeaders headers = bmpHeaders(bottomUp, static_cast<std::uint32_t>(fileSize));
  bool written = file.write(headers.data(), headers.size());
  if (bottomUp.bitCount <= 8) {
    const auto table = greyRamp();
    written = written && file.write(table.data(), table.size());
  }
  written = written && file.write(bottomUp.pixels, bottomUp.byteSize());
  return file.close() && written;
}

}  // namespace pelnik::output
