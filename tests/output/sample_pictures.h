#pragma once
// Synthetic source pictures for the still-image tests, and what a reader of
// each file format must decode from them, worked out from the pattern
// formulas rather than from the writers' conversions.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image_buffer.h"

namespace pelnik::test {

enum class Pattern {
  Busy,    // every sample different from its neighbours: catches flips, swaps and shifts
  Smooth,  // gentle gradients that JPEG reproduces closely
};

// An image buffer filled with a pattern: rows padded to a multiple of 4 (the
// padding holds 0xA5), row 0 the top line, colour stored blue first, 16-bit
// samples little-endian.
class SamplePicture {
 public:
  SamplePicture(int width, int height, int bitCount, Pattern pattern = Pattern::Busy,
                int significantBits = 10);

  CImageBuffer *buffer() { return &buffer_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return stride_; }
  int bitCount() const { return bitCount_; }
  // The pixel memory, row padding included.
  std::vector<std::uint8_t> bytes() const;

  // Stored sample `channel` (0 = blue or grey, 1 green, 2 red, 3 spare) of
  // the pixel at column x of the picture line y (0 = top).
  unsigned sample(int x, int y, int channel) const;
  int channels() const;

 private:
  std::uint8_t *at(int x, int y, int channel) const;

  CImageBuffer buffer_;
  int width_, height_, bitCount_, stride_;
};

// What a reader decodes from the file the dispatcher writes for `format`:
// top line first, channels grey or red, green, blue (, alpha), samples of
// `depth` bits. The file's sample layout follows the format's rules for the
// source bit count.
struct DecodedPicture {
  int width = 0;
  int height = 0;
  int channels = 0;
  int depth = 8;
  std::vector<unsigned> samples;
};
DecodedPicture expectedDecode(const SamplePicture &source, int format, int significantBits);

// Writes `decoded` as raw samples (bytes, or little-endian words for depth 16).
void writeSamples(const DecodedPicture &decoded, const std::string &path);

// A fresh directory for one test's files, removed with the test process's
// private tree.
std::string scratchDirectory();

std::vector<std::uint8_t> fileBytes(const std::string &path);
bool fileExists(const std::string &path);
void writeJunk(const std::string &path, std::size_t size);

unsigned readU16(const std::vector<std::uint8_t> &bytes, std::size_t at);
unsigned readU32(const std::vector<std::uint8_t> &bytes, std::size_t at);

}  // namespace pelnik::test
