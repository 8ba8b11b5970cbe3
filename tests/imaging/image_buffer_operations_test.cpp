// Image buffers: strides, the empty and created states, failed creates,
// colour tables, blits and the BMP file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "support/picture_generator.h"
#include "support/test_environment.h"

namespace pelnik {
namespace {

void expectEmpty(const CImageBuffer &b) {
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_EQ(b.Stride(), 0);
  EXPECT_EQ(b.BitCount(), 0);
  EXPECT_EQ(b.InfoHeader().size, 40u);
  EXPECT_EQ(b.InfoHeader().bitCount, 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(b.ColorTable()[i].red, 0);
}

bool allZero(const CImageBuffer &b) {
  for (std::size_t i = 0; i < b.ByteSize(); ++i) {
    if (b.Pixels()[i]) return false;
  }
  return true;
}

TEST(ImageBuffer, StridesArePaddedToFourBytesAndMemoryStartsZero) {
  const int cases[][3] = {{1278, 8, 1280}, {1278, 24, 3836}, {1278, 48, 7668}, {1280, 8, 1280},
                          {3, 16, 8},      {5, 32, 20},      {1, 64, 8}};
  for (const auto &c : cases) {
    CImageBuffer b;
    ASSERT_EQ(b.Create(c[0], 10, c[1]), 1);
    EXPECT_EQ(b.Stride(), c[2]) << c[0] << " at " << c[1];
    EXPECT_EQ(b.ByteSize(), static_cast<std::size_t>(10 * c[2]));
    EXPECT_TRUE(allZero(b));
    EXPECT_FALSE(b.HasDrawingContext());
    EXPECT_EQ(b.InfoHeader().width, c[0]);
    EXPECT_EQ(b.InfoHeader().height, 10);
    EXPECT_EQ(b.InfoHeader().planes, 1);
    EXPECT_EQ(b.InfoHeader().bitCount, c[1]);
  }
}

TEST(ImageBuffer, FailedCreatesLeaveTheBufferAsItWas) {
  CImageBuffer b;
  ASSERT_EQ(b.Create(7, 3, 24), 1);
  test::fillRandomBytes(b, 5);
  const std::vector<std::uint8_t> before(b.Pixels(), b.Pixels() + b.ByteSize());
  const int bad[][3] = {{0, 3, 8}, {7, 0, 8}, {-1, 3, 8}, {7, 3, 0}, {7, 3, 0x10000}, {7, 3, 12}};
  for (const auto &c : bad) {
    EXPECT_EQ(b.Create(c[0], c[1], c[2]), 0);
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.BitCount(), 24);
    EXPECT_EQ(std::vector<std::uint8_t>(b.Pixels(), b.Pixels() + b.ByteSize()), before);
  }
  // Only the low 16 bits of the bit count count.
  EXPECT_EQ(b.Create(2, 2, 0x10008), 1);
  EXPECT_EQ(b.BitCount(), 8);
  CImageBuffer never;
  EXPECT_EQ(never.Create(0, 5, 8), 0);
  expectEmpty(never);
}

TEST(ImageBuffer, ReleaseEmptiesAndIsHarmlessTwice) {
  CImageBuffer b;
  ASSERT_EQ(b.Create(4, 4, 8), 1);
  b.Release();
  expectEmpty(b);
  b.Release();
  expectEmpty(b);
}

TEST(ImageBuffer, EightBitBuffersCarryTheGreyRampAndTakeGivenEntries) {
  CImageBuffer b;
  ASSERT_EQ(b.Create(4, 4, 8), 1);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(b.ColorTable()[i].blue, i);
    EXPECT_EQ(b.ColorTable()[i].green, i);
    EXPECT_EQ(b.ColorTable()[i].red, i);
    EXPECT_EQ(b.ColorTable()[i].reserved, 0);
  }
  const ColourEntry entries[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  EXPECT_EQ(b.SetColorTable(CImageBuffer::kGivenEntries, entries, 254, 3), 1);  // kept inside
  EXPECT_EQ(b.ColorTable()[253].red, 253);
  EXPECT_EQ(b.ColorTable()[254].red, 3);
  EXPECT_EQ(b.ColorTable()[255].blue, 4);
  EXPECT_EQ(b.SetColorTable(1, entries, 0, 3), 1);  // other modes do nothing
  EXPECT_EQ(b.ColorTable()[0].red, 0);
}

TEST(ImageBuffer, CreateLikeCopiesGeometryWithFreshMemory) {
  CImageBuffer a, b;
  EXPECT_EQ(b.CreateLike(nullptr), 0);
  EXPECT_EQ(b.CreateLike(&a), 0);
  ASSERT_EQ(a.Create(9, 4, 48), 1);
  test::fillRandomBytes(a, 1);
  ASSERT_EQ(b.CreateLike(&a), 1);
  EXPECT_EQ(b.Width(), 9);
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(b.Stride(), a.Stride());
  EXPECT_EQ(b.BitCount(), 48);
  EXPECT_EQ(std::memcmp(&b.InfoHeader(), &a.InfoHeader(), sizeof(BitmapInfoHeader)), 0);
  EXPECT_TRUE(allZero(b));
}

TEST(ImageBuffer, CopyFromTakesPixelsAndColourTableAndEmptiesOnAnEmptySource) {
  CImageBuffer grey, copy, empty;
  ASSERT_EQ(grey.Create(7, 5, 8), 1);
  test::fillRandomBytes(grey, 3);
  std::vector<ColourEntry> table(256, ColourEntry{1, 2, 3, 0});
  grey.SetColorTable(CImageBuffer::kGivenEntries, table.data(), 0, 256);
  ASSERT_EQ(copy.Create(40, 40, 64), 1);  // replaced, not reused
  ASSERT_EQ(copy.CopyFrom(grey), 1);
  EXPECT_EQ(copy.Width(), 7);
  EXPECT_EQ(copy.BitCount(), 8);
  ASSERT_EQ(copy.ByteSize(), grey.ByteSize());
  EXPECT_EQ(std::memcmp(copy.Pixels(), grey.Pixels(), grey.ByteSize()), 0);
  EXPECT_EQ(std::memcmp(copy.ColorTable(), grey.ColorTable(), 256 * sizeof(ColourEntry)), 0);
  EXPECT_NE(copy.Pixels(), grey.Pixels());
  EXPECT_EQ(copy.CopyFrom(copy), 1);
  EXPECT_EQ(copy.CopyFrom(empty), 0);
  EXPECT_TRUE(copy.IsEmpty());
}

TEST(ImageBuffer, BlitsCopyExpandAndDropTheFourthByteWithOptionalFlip) {
  CImageBuffer grey, colour, rgba, copy;
  ASSERT_EQ(grey.Create(5, 3, 8), 1);
  ASSERT_EQ(rgba.Create(5, 3, 32), 1);
  ASSERT_EQ(colour.Create(5, 3, 24), 1);
  test::fillSamples(grey, [](int x, int y, int) { return x + 10 * y; });
  test::fillRandomBytes(rgba, 9);
  std::vector<ColourEntry> table(256);
  for (int i = 0; i < 256; ++i) {
    table[i] = ColourEntry{static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i / 2),
                           static_cast<std::uint8_t>(i), 0};
  }
  grey.SetColorTable(CImageBuffer::kGivenEntries, table.data(), 0, 256);

  for (bool flip : {false, true}) {
    ASSERT_TRUE(colour.BlitFrom(grey, nullptr, 0, 0, flip));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        const int index = test::sampleAt(grey, x, flip ? 2 - y : y, 0);
        EXPECT_EQ(test::sampleAt(colour, x, y, 0), table[index].blue);
        EXPECT_EQ(test::sampleAt(colour, x, y, 1), table[index].green);
        EXPECT_EQ(test::sampleAt(colour, x, y, 2), table[index].red);
      }
    }
    ASSERT_TRUE(colour.BlitFrom(rgba, nullptr, 0, 0, flip));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        for (int c = 0; c < 3; ++c) {
          EXPECT_EQ(test::sampleAt(colour, x, y, c), test::sampleAt(rgba, x, flip ? 2 - y : y, c));
        }
      }
    }
  }
  ASSERT_EQ(copy.Create(5, 3, 32), 1);
  ASSERT_TRUE(copy.BlitFrom(rgba, nullptr, 0, 0));
  EXPECT_EQ(std::memcmp(copy.Pixels(), rgba.Pixels(), rgba.ByteSize()), 0);
  EXPECT_FALSE(grey.BlitFrom(colour, nullptr, 0, 0));  // 24 -> 8 is no blit
}

std::vector<std::uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t u32At(const std::vector<std::uint8_t> &bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

TEST(ImageBuffer, BmpFilesHoldBothHeadersTheTableAndThePixelsUnchanged) {
  test::isolateProcess();
  for (int bits : {8, 24, 48}) {
    CImageBuffer b;
    ASSERT_EQ(b.Create(3, 2, bits), 1);
    test::fillRandomBytes(b, static_cast<std::uint32_t>(bits));
    const std::string path = test::isolationRoot() + "/picture" + std::to_string(bits) + ".bmp";
    // An existing longer file is truncated.
    std::ofstream(path) << std::string(5000, 'x');
    ASSERT_TRUE(b.WriteAsBmp(path.c_str()));
    const std::vector<std::uint8_t> file = readFile(path);
    const std::size_t table = bits == 8 ? 1024 : 0;
    ASSERT_EQ(file.size(), 54 + table + b.ByteSize());
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(u32At(file, 2), file.size());
    EXPECT_EQ(u32At(file, 6), 0u);
    EXPECT_EQ(u32At(file, 10), 54 + table);
    EXPECT_EQ(std::memcmp(file.data() + 14, &b.InfoHeader(), 40), 0);
    if (table) {
      EXPECT_EQ(std::memcmp(file.data() + 54, b.ColorTable(), 1024), 0);
    }
    EXPECT_EQ(std::memcmp(file.data() + 54 + table, b.Pixels(), b.ByteSize()), 0);
  }
  CImageBuffer b;
  ASSERT_EQ(b.Create(2, 2, 8), 1);
  EXPECT_FALSE(b.WriteAsBmp((test::isolationRoot() + "/no/such/dir/x.bmp").c_str()));
}

TEST(ImageBuffer, BmpWriteFailureIsReported) {
  // A full device: the data cannot reach it, and the write must say so.
  std::FILE *probe = std::fopen("/dev/full", "wb");
  if (!probe) GTEST_SKIP() << "no /dev/full";
  std::fclose(probe);
  CImageBuffer b;
  ASSERT_EQ(b.Create(64, 64, 24), 1);
  EXPECT_FALSE(b.WriteAsBmp("/dev/full"));
}

}  // namespace
}  // namespace pelnik
