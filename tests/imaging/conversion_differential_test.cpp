// Production kernels against their reference forms, byte for byte over the
// whole destination memory (padding included), on random pictures of many
// sizes, sub-rectangles and destination offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "support/picture_generator.h"
#include "vector_paths.h"

namespace pelnik {
namespace {

class ConversionDifferential : public test::EveryVectorPath {};
PELNIK_ON_EVERY_VECTOR_PATH(ConversionDifferential);

struct Size {
  int width, height;
};

// Tiny, odd, padded and wide pictures.
const std::vector<Size> kSizes = {{1, 1},   {2, 3},    {3, 2},    {4, 4},  {5, 4},
                                  {4, 5},   {6, 6},    {7, 9},    {13, 8}, {33, 17},
                                  {64, 31}, {130, 66}, {1278, 5}, {41, 1}, {1, 12}};

struct KernelPair {
  const char *name;
  Kernel production;
  Kernel reference;
  int srcBits;
  int dstBits;
};

#define PAIR(name) #name, kernels::name, reference::name

const std::vector<KernelPair> kPlainKernels = {
    {PAIR(luminance), 24, 8},
    {PAIR(reduce16To8), 16, 8},
    {PAIR(reduce48To24), 48, 24},
    {PAIR(reduce48To24), 64, 24},
    {PAIR(reduce32To24), 32, 24},
    {PAIR(tenBitTo8Flipped), 16, 8},
    {PAIR(twelveBitTo8Flipped), 16, 8},
    {PAIR(twelveBitTo16), 16, 16},
    {PAIR(tenBitTo16), 16, 16},
    {PAIR(reduce48To24Flipped), 48, 24},
    {PAIR(copy24Flipped), 24, 24},
    {PAIR(rowCopyFlipped), 8, 8},
    {PAIR(rowCopyFlipped), 24, 24},
    {PAIR(rowCopyFlipped), 48, 48},
    {PAIR(swap24), 24, 24},
    {PAIR(copy32WithAlpha), 32, 32},
    {PAIR(shift48By4), 48, 48},
    {PAIR(shift48By6), 48, 48},
    {PAIR(shift48By4Swapped), 48, 48},
    {PAIR(shift48By6Swapped), 48, 48},
    {PAIR(to64Shift4), 48, 64},
    {PAIR(to64Shift6), 64, 64},
    {PAIR(to64Shift4Swapped), 64, 64},
    {PAIR(to64Shift6Swapped), 48, 64},
    {PAIR(blitSameDepth), 8, 8},
    {PAIR(blitSameDepth), 16, 16},
    {PAIR(blitSameDepth), 24, 24},
    {PAIR(blitSameDepth), 32, 32},
    {PAIR(blitSameDepth), 48, 48},
    {PAIR(blitSameDepth), 64, 64},
    {PAIR(blit8To24), 8, 24},
    {PAIR(blit32To24), 32, 24},
};

std::string firstDifference(const CImageBuffer &a, const CImageBuffer &b) {
  if (a.ByteSize() != b.ByteSize()) return "sizes differ";
  for (std::size_t i = 0; i < a.ByteSize(); ++i) {
    if (a.Pixels()[i] != b.Pixels()[i]) {
      return "byte " + std::to_string(i) + " (row " + std::to_string(i / a.Stride()) +
             "): production " + std::to_string(a.Pixels()[i]) + ", reference " +
             std::to_string(b.Pixels()[i]);
    }
  }
  return "";
}

// Two destinations with identical random content.
void makeTwins(CImageBuffer &a, CImageBuffer &b, int width, int height, int bits,
               std::uint32_t seed) {
  ASSERT_EQ(a.Create(width, height, bits), 1);
  ASSERT_EQ(b.Create(width, height, bits), 1);
  test::fillRandomBytes(a, seed);
  test::fillRandomBytes(b, seed);
}

// Where a kernel is applied: the whole picture at (0, 0), or a random
// rectangle at a random position that may stick out of either buffer.
struct Placement {
  bool whole;
  KernelRect rect;
  int x, y;
};

std::vector<Placement> placementsFor(Size size, std::uint32_t seed) {
  std::vector<Placement> placements = {{true, {}, 0, 0}};
  std::mt19937 random(seed);
  const auto between = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int n = 0; n < 3; ++n) {
    const int left = between(-2, size.width - 1), top = between(-2, size.height - 1);
    placements.push_back(
        {false,
         {left, top, left + between(1, size.width + 2), top + between(1, size.height + 2)},
         between(-3, size.width),
         between(-3, size.height)});
  }
  return placements;
}

int applyAt(CImageBuffer &dst, Kernel kernel, CImageBuffer &src, const Placement &place,
            void *params) {
  KernelRect rect = place.rect;
  return dst.ApplyKernel(kernel, src, place.whole ? nullptr : &rect, place.x, place.y, params);
}

TEST_P(ConversionDifferential, PlainKernelsMatchTheirReferences) {
  std::uint32_t seed = 1;
  for (const KernelPair &pair : kPlainKernels) {
    for (const Size size : kSizes) {
      for (bool flip : {false, true}) {
        SCOPED_TRACE(std::string(pair.name) + " " + std::to_string(pair.srcBits) + "->" +
                     std::to_string(pair.dstBits) + " " + std::to_string(size.width) + "x" +
                     std::to_string(size.height) + (flip ? " flip" : ""));
        CImageBuffer src;
        ASSERT_EQ(src.Create(size.width, size.height, pair.srcBits), 1);
        test::fillRandomBytes(src, ++seed);
        // A random colour table for the 8 -> 24 blit.
        std::vector<ColourEntry> table(256);
        std::mt19937 random(seed);
        for (ColourEntry &e : table) {
          e = ColourEntry{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                          static_cast<std::uint8_t>(random()), 0};
        }
        src.SetColorTable(CImageBuffer::kGivenEntries, table.data(), 0, 256);
        BlitBlock block{flip ? 1 : 0, reinterpret_cast<const std::uint8_t *>(src.ColorTable())};
        BlitBlock *params = &block;

        for (const Placement &place : placementsFor(size, seed)) {
          CImageBuffer production, reference;
          makeTwins(production, reference, size.width, size.height, pair.dstBits, seed + 7);
          const int a = applyAt(production, pair.production, src, place, &params);
          const int b = applyAt(reference, pair.reference, src, place, &params);
          EXPECT_EQ(a, b);
          EXPECT_EQ(firstDifference(production, reference), "");
        }
      }
    }
  }
}

TEST_P(ConversionDifferential, InPlaceKernelsMatchTheirReferences) {
  struct InPlace {
    const char *name;
    Kernel production, reference;
    int bits;
  };
  const InPlace cases[] = {{PAIR(restride8), 8}, {PAIR(restride16), 16}, {PAIR(swap24), 24}};
  std::uint32_t seed = 100;
  for (const InPlace &c : cases) {
    for (const Size size : kSizes) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(size.width) + "x" +
                   std::to_string(size.height));
      CImageBuffer production, reference;
      makeTwins(production, reference, size.width, size.height, c.bits, ++seed);
      EXPECT_EQ(production.ApplyKernel(c.production, production, nullptr, 0, 0), 1);
      EXPECT_EQ(reference.ApplyKernel(c.reference, reference, nullptr, 0, 0), 1);
      EXPECT_EQ(firstDifference(production, reference), "");
    }
  }
}

TEST_P(ConversionDifferential, DemosaicMatchesReferenceInEveryModeGainAndDepth) {
  struct Depth {
    int srcBits, dstBits, maximum;
    Kernel interior, border, interiorReference, borderReference;
  };
  const Depth depths[] = {
      {8, 24, 255, kernels::demosaic8Interior, kernels::demosaic8Border,
       reference::demosaic8Interior, reference::demosaic8Border},
      {8, 32, 255, kernels::demosaic8Interior, kernels::demosaic8Border,
       reference::demosaic8Interior, reference::demosaic8Border},
      {16, 48, 1023, kernels::demosaic16Interior, kernels::demosaic16Border,
       reference::demosaic16Interior, reference::demosaic16Border},
      // Samples from outside may exceed 10 bits.
      {16, 64, 65535, kernels::demosaic16Interior, kernels::demosaic16Border,
       reference::demosaic16Interior, reference::demosaic16Border},
  };
  const int gains[][2] = {{100, 100}, {0, 400}, {37, 257}, {400, 1}, {2000000000, -5}};
  std::uint32_t seed = 500;
  for (const Depth &depth : depths) {
    for (const Size size : kSizes) {
      for (int mode = 0; mode < 4; ++mode) {
        for (const auto &gain : gains) {
          SCOPED_TRACE(std::to_string(depth.srcBits) + "->" + std::to_string(depth.dstBits) + " " +
                       std::to_string(size.width) + "x" + std::to_string(size.height) + " mode " +
                       std::to_string(mode) + " gains " + std::to_string(gain[0]) + "/" +
                       std::to_string(gain[1]));
          CImageBuffer raw;
          ASSERT_EQ(raw.Create(size.width, size.height, depth.srcBits), 1);
          test::fillRandomSamples(raw, ++seed, depth.maximum);
          DemosaicBlock block{mode, gain[0], 100, gain[1]};
          DemosaicBlock *params = &block;
          for (const Placement &place : placementsFor(size, seed)) {
            CImageBuffer production, reference;
            makeTwins(production, reference, size.width, size.height, depth.dstBits, seed);
            applyAt(production, depth.interior, raw, place, &params);
            applyAt(reference, depth.interiorReference, raw, place, &params);
            EXPECT_EQ(firstDifference(production, reference), "") << "interior";
            applyAt(production, depth.border, raw, place, &params);
            applyAt(reference, depth.borderReference, raw, place, &params);
            EXPECT_EQ(firstDifference(production, reference), "") << "border";
          }
        }
      }
    }
  }
}

// Ten-bit frames with a few larger samples, as the device can deliver:
// the vector rows of the 16-bit demosaic hand such stretches to the scalar
// rows mid-row, and every pixel must still match.
TEST_P(ConversionDifferential, DemosaicOfTenBitFramesWithStraySamplesMatchesReference) {
  const Size sizes[] = {{37, 9}, {64, 7}, {1278, 6}, {21, 21}};
  std::uint32_t seed = 700;
  for (const Size size : sizes) {
    for (int dstBits : {48, 64}) {
      for (int mode = 0; mode < 4; ++mode) {
        for (int strays : {0, 1, 5, 40}) {
          SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " -> " +
                       std::to_string(dstBits) + " mode " + std::to_string(mode) + " strays " +
                       std::to_string(strays));
          CImageBuffer raw;
          ASSERT_EQ(raw.Create(size.width, size.height, 16), 1);
          std::mt19937 random(++seed);
          std::uniform_int_distribution<int> tenBits(0, 1023), large(1024, 65535);
          test::fillSamples(raw, [&](int, int, int) { return tenBits(random); });
          for (int n = 0; n < strays; ++n) {
            const int x = std::uniform_int_distribution<int>(0, size.width - 1)(random);
            const int y = std::uniform_int_distribution<int>(0, size.height - 1)(random);
            const auto v = static_cast<std::uint16_t>(large(random));
            std::memcpy(raw.Pixels() + y * raw.Stride() + x * 2, &v, 2);
          }
          DemosaicBlock block{mode, 400, 100, 37};
          DemosaicBlock *params = &block;
          CImageBuffer production, reference;
          makeTwins(production, reference, size.width, size.height, dstBits, seed);
          production.ApplyKernel(kernels::demosaic16Interior, raw, nullptr, 0, 0, &params);
          reference.ApplyKernel(reference::demosaic16Interior, raw, nullptr, 0, 0, &params);
          EXPECT_EQ(firstDifference(production, reference), "") << "interior";
          production.ApplyKernel(kernels::demosaic16Border, raw, nullptr, 0, 0, &params);
          reference.ApplyKernel(reference::demosaic16Border, raw, nullptr, 0, 0, &params);
          EXPECT_EQ(firstDifference(production, reference), "") << "border";
        }
      }
    }
  }
}

TEST_P(ConversionDifferential, ScalingMatchesReference) {
  const Size sources[] = {{640, 480}, {37, 23}, {5, 3}, {1, 1}};
  const Size displays[] = {{320, 240}, {100, 77}, {1, 1}, {700, 500}, {2100, 3}};
  std::uint32_t seed = 900;
  for (int bits : {8, 24}) {
    const ScaledKernel production = bits == 8 ? kernels::scale8 : kernels::scale24;
    const ScaledKernel reference = bits == 8 ? reference::scale8 : reference::scale24;
    for (const Size source : sources) {
      for (const Size display : displays) {
        SCOPED_TRACE(std::to_string(bits) + " " + std::to_string(source.width) + "x" +
                     std::to_string(source.height) + " -> " + std::to_string(display.width) + "x" +
                     std::to_string(display.height));
        CImageBuffer picture;
        ASSERT_EQ(picture.Create(source.width, source.height, bits), 1);
        test::fillRandomBytes(picture, ++seed);
        // Whole buffers, and rectangles reaching past both buffers.
        const KernelRect sourceRect{1, -2, source.width + 3, source.height + 4};
        const KernelRect displayRect{-5, 2, display.width / 2 + 9, display.height + 6};
        for (bool whole : {true, false}) {
          CImageBuffer a, b;
          makeTwins(a, b, display.width, display.height, bits, seed);
          a.ApplyScaledKernel(production, picture, whole ? nullptr : &sourceRect,
                              whole ? nullptr : &displayRect);
          b.ApplyScaledKernel(reference, picture, whole ? nullptr : &sourceRect,
                              whole ? nullptr : &displayRect);
          EXPECT_EQ(firstDifference(a, b), "") << (whole ? "whole" : "rectangles");
        }
      }
    }
  }
}

}  // namespace
}  // namespace pelnik
