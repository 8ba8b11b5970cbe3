// The dispatcher's file layouts: format codes, replacement of existing
// files, the BMP and raw layouts byte for byte, JPEG frame markers, PNG
// alpha, and the UTF-16 file names of the W export.
#include "output/still_image.h"

#include <gtest/gtest.h>
#include <png.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "sample_pictures.h"

namespace {

using namespace pelnik;
using pelnik::test::fileBytes;
using pelnik::test::fileExists;
using pelnik::test::Pattern;
using pelnik::test::readU16;
using pelnik::test::readU32;
using pelnik::test::SamplePicture;

constexpr int kAllFormats[] = {0, 1, 2, 3, 4, 5, 6};
constexpr int kAllBitCounts[] = {8, 16, 24, 32, 48, 64};

std::vector<std::uint8_t> rowOf(const std::vector<std::uint8_t> &bytes, std::size_t offset,
                                int stride) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
          bytes.begin() + static_cast<std::ptrdiff_t>(offset + stride)};
}

// BMP: the stated header fields, and file row r holding picture line
// height - 1 - r with its padding, byte for byte.
void expectBmpOf(SamplePicture &source, const std::vector<std::uint8_t> &file) {
  const std::size_t offset = source.bitCount() == 8 ? 1078 : 54;
  const std::size_t pixelBytes = std::size_t(source.height()) * source.stride();
  ASSERT_EQ(file.size(), offset + pixelBytes);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(readU32(file, 2), offset + pixelBytes);
  EXPECT_EQ(readU32(file, 6), 0u);
  EXPECT_EQ(readU32(file, 10), offset);
  EXPECT_EQ(readU32(file, 14), 40u);
  EXPECT_EQ(readU32(file, 18), unsigned(source.width()));
  EXPECT_EQ(readU32(file, 22), unsigned(source.height()));
  EXPECT_EQ(readU16(file, 26), 1u);
  EXPECT_EQ(readU16(file, 28), unsigned(source.bitCount()));
  for (std::size_t field = 30; field < 54; field += 4) EXPECT_EQ(readU32(file, field), 0u);
  const std::vector<std::uint8_t> memory = source.bytes();
  for (int r = 0; r < source.height(); ++r) {
    EXPECT_EQ(
        rowOf(file, offset + std::size_t(r) * source.stride(), source.stride()),
        rowOf(memory, std::size_t(source.height() - 1 - r) * source.stride(), source.stride()))
        << "file row " << r;
  }
}

TEST(StillImageFormats, CodesOutsideZeroToSixWriteNothing) {
  SamplePicture source(16, 8, 24);
  const std::string directory = test::scratchDirectory();
  for (const int format : {7, -1, 100, INT_MAX, INT_MIN}) {
    const std::string path = directory + "/code" + std::to_string(format);
    EXPECT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 0) << format;
    EXPECT_FALSE(fileExists(path)) << format;
  }
  // Without a picture there is nothing to write either.
  CImageBuffer empty;
  for (const int format : kAllFormats) {
    const std::string path = directory + "/empty" + std::to_string(format);
    EXPECT_EQ(output::SaveStillImage(path.c_str(), &empty, format, 10), 0);
    EXPECT_EQ(output::SaveStillImage(path.c_str(), nullptr, format, 10), 0);
    EXPECT_FALSE(fileExists(path));
  }
}

TEST(StillImageFormats, ALongerExistingFileIsReplacedInEveryFormat) {
  const std::string directory = test::scratchDirectory();
  for (const int bits : kAllBitCounts) {
    SamplePicture source(21, 9, bits);
    for (const int format : kAllFormats) {
      const std::string fresh = directory + "/fresh";
      const std::string reused = directory + "/reused";
      std::filesystem::remove(fresh);
      ASSERT_EQ(output::SaveStillImage(fresh.c_str(), source.buffer(), format, 10), 1);
      test::writeJunk(reused, std::filesystem::file_size(fresh) * 3 + 4096);
      ASSERT_EQ(output::SaveStillImage(reused.c_str(), source.buffer(), format, 10), 1);
      EXPECT_EQ(fileBytes(reused), fileBytes(fresh)) << "format " << format << ", " << bits;
    }
  }
}

TEST(StillImageBmp, EightBitsCarryTheGreyRampAndStartAtTheBottomLine) {
  SamplePicture source(13, 5, 8);  // stride 16: three bytes of padding per row
  const std::string path = test::scratchDirectory() + "/grey.bmp";
  ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillBmp, 10), 1);
  const std::vector<std::uint8_t> file = fileBytes(path);
  ASSERT_EQ(file.size(), 1078u + 5 * 16);
  for (unsigned i = 0; i < 256; ++i) {
    EXPECT_EQ(readU32(file, 54 + 4 * i), i | i << 8 | i << 16) << "entry " << i;
  }
  expectBmpOf(source, file);
}

TEST(StillImageBmp, FullSensorColourPictureHasTheDocumentedSize) {
  SamplePicture source(1280, 1024, 24);
  const std::string path = test::scratchDirectory() + "/full.bmp";
  ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillBmp, 10), 1);
  EXPECT_EQ(std::filesystem::file_size(path), 3932214u);
  expectBmpOf(source, fileBytes(path));
}

// 16-, 48- and 64-bit BMP files state their bit count with compression 0; no
// common reader opens them, so their bytes are compared with the source.
TEST(StillImageBmp, EveryBitCountKeepsTheStoredSamples) {
  const std::string directory = test::scratchDirectory();
  for (const int bits : kAllBitCounts) {
    SCOPED_TRACE(bits);
    SamplePicture source(11, 6, bits);
    const std::string path = directory + "/" + std::to_string(bits) + ".bmp";
    ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillBmp, 10), 1);
    expectBmpOf(source, fileBytes(path));
  }
}

TEST(StillImageRaw, DumpIsThePixelMemoryWithItsRowPadding) {
  const std::string directory = test::scratchDirectory();
  for (const int bits : kAllBitCounts) {
    SamplePicture source(13, 7, bits);  // 13 is no multiple of 4
    const std::string path = directory + "/" + std::to_string(bits) + ".raw";
    ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillRaw, 10), 1);
    EXPECT_EQ(fileBytes(path), source.bytes()) << bits;
  }
}

struct JpegFrame {
  bool progressive = false;
  bool baseline = false;
  int components = 0;
};

// Walks the marker segments up to the first scan.
JpegFrame jpegFrameOf(const std::vector<std::uint8_t> &file) {
  JpegFrame frame;
  std::size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    const std::uint8_t marker = file[at + 1];
    const std::size_t length = std::size_t(file[at + 2]) << 8 | file[at + 3];
    if (marker == 0xC0 || marker == 0xC2) {
      frame.baseline = marker == 0xC0;
      frame.progressive = marker == 0xC2;
      frame.components = file.at(at + 9);
    }
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return frame;
}

TEST(StillImageJpeg, EveryFileIsProgressiveAndGreySourcesStayGrey) {
  const std::string directory = test::scratchDirectory();
  for (const int bits : kAllBitCounts) {
    SamplePicture source(40, 24, bits, Pattern::Smooth);
    for (const int format : {2, 3, 4}) {
      const std::string path = directory + "/picture.jpg";
      ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 1);
      const std::vector<std::uint8_t> file = fileBytes(path);
      ASSERT_GE(file.size(), 4u);
      EXPECT_EQ(file[0], 0xFF);
      EXPECT_EQ(file[1], 0xD8);
      const JpegFrame frame = jpegFrameOf(file);
      EXPECT_TRUE(frame.progressive) << bits << " bits, format " << format;
      EXPECT_FALSE(frame.baseline);
      EXPECT_EQ(frame.components, bits <= 16 ? 1 : 3) << bits << " bits";
    }
  }
}

TEST(StillImageJpeg, QualityCodesGiveDecreasingSizes) {
  SamplePicture source(64, 48, 24);
  const std::string directory = test::scratchDirectory();
  std::vector<std::uintmax_t> sizes;
  for (const int format : {2, 3, 4}) {
    const std::string path = directory + "/q" + std::to_string(format) + ".jpg";
    ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 1);
    sizes.push_back(std::filesystem::file_size(path));
  }
  EXPECT_GT(sizes[0], sizes[1]);
  EXPECT_GT(sizes[1], sizes[2]);
}

// Colour reductions keep bits 2-9 whatever the significant-bit count; only
// grey sources follow it.
TEST(StillImageJpeg, SignificantBitsMatterForGreyOnly) {
  const std::string directory = test::scratchDirectory();
  auto savedWith = [&](SamplePicture &source, int significantBits) {
    const std::string path = directory + "/s" + std::to_string(significantBits) + ".jpg";
    EXPECT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), 2, significantBits), 1);
    return fileBytes(path);
  };
  for (const int bits : {48, 64}) {
    SamplePicture colour(30, 20, bits, Pattern::Busy, 12);
    EXPECT_EQ(savedWith(colour, 10), savedWith(colour, 12)) << bits;
  }
  SamplePicture grey(30, 20, 16, Pattern::Busy, 12);
  EXPECT_NE(savedWith(grey, 10), savedWith(grey, 12));
}

// Decodes a PNG to 8-bit RGBA with libpng's reading side.
std::vector<std::uint8_t> pngAsRgba(const std::string &path, png_image &image) {
  image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

TEST(StillImagePng, ZeroSpareBytesBecomeOpaqueAlpha) {
  SamplePicture source(17, 9, 32);
  std::uint8_t *pixels = source.buffer()->Pixels();
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 17; ++x) pixels[y * source.stride() + x * 4 + 3] = 0;
  }
  const std::string path = test::scratchDirectory() + "/alpha.png";
  ASSERT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), output::kStillPng, 10), 1);
  png_image image;
  const std::vector<std::uint8_t> rgba = pngAsRgba(path, image);
  ASSERT_EQ(rgba.size(), 17u * 9 * 4) << image.message;
  EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, unsigned{PNG_FORMAT_FLAG_ALPHA});
  for (std::size_t i = 0; i < rgba.size(); i += 4) ASSERT_EQ(rgba[i + 3], 255) << i / 4;
  // The stored blue-first pixel arrives red first.
  EXPECT_EQ(rgba[0], source.sample(0, 0, 2));
  EXPECT_EQ(rgba[2], source.sample(0, 0, 0));
}

}  // namespace
