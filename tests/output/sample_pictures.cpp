#include "sample_pictures.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "output/still_image.h"
#include "support/test_environment.h"

namespace pelnik::test {
namespace {

// Distinct slopes per channel so that a swapped channel or a mirrored row
// cannot decode to the same values.
unsigned busyValue(int x, int y, int channel, unsigned range) {
  const unsigned value = 7u * x + 31u * y + 3u * x * y + 101u * channel + 17u * (x ^ y);
  return value % range;
}

unsigned smoothValue(int x, int y, int channel, int width, int height, unsigned range) {
  const double along = channel % 2 ? double(x) / width : double(y) / height;
  const double across = channel % 2 ? double(y) / height : double(x) / width;
  const double level = 0.15 + 0.55 * along + 0.25 * across + 0.05 * channel / 3.0;
  return static_cast<unsigned>(level * (range - 1));
}

}  // namespace

SamplePicture::SamplePicture(int width, int height, int bitCount, Pattern pattern,
                             int significantBits)
    : width_(width), height_(height), bitCount_(bitCount) {
  if (!buffer_.Create(width, height, bitCount)) throw std::runtime_error("no image buffer");
  stride_ = buffer_.Stride();
  const bool wide = bitCount == 16 || bitCount >= 48;
  const unsigned range = wide ? 1u << significantBits : 256u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels(); ++c) {
        const unsigned value = pattern == Pattern::Busy
                                   ? busyValue(x, y, c, range)
                                   : smoothValue(x, y, c, width, height, range);
        std::uint8_t *p = at(x, y, c);
        p[0] = static_cast<std::uint8_t>(value);
        if (wide) p[1] = static_cast<std::uint8_t>(value >> 8);
      }
    }
    // Row padding carries a marker, so a dump that drops or rewrites it shows.
    for (int b = width * (bitCount / 8); b < stride_; ++b) {
      buffer_.Pixels()[static_cast<std::size_t>(y) * stride_ + b] = 0xA5;
    }
  }
}

int SamplePicture::channels() const {
  switch (bitCount_) {
    case 8:
    case 16:
      return 1;
    case 24:
    case 48:
      return 3;
    default:
      return 4;
  }
}

std::uint8_t *SamplePicture::at(int x, int y, int channel) const {
  const bool wide = bitCount_ == 16 || bitCount_ >= 48;
  return const_cast<std::uint8_t *>(buffer_.Pixels()) + static_cast<std::size_t>(y) * stride_ +
         static_cast<std::size_t>(x) * (bitCount_ / 8) + (wide ? 2 : 1) * channel;
}

std::vector<std::uint8_t> SamplePicture::bytes() const {
  return {buffer_.Pixels(), buffer_.Pixels() + buffer_.ByteSize()};
}

unsigned SamplePicture::sample(int x, int y, int channel) const {
  const bool wide = bitCount_ == 16 || bitCount_ >= 48;
  const std::uint8_t *p = at(x, y, channel);
  return wide ? p[0] | (unsigned{p[1]} << 8) : p[0];
}

DecodedPicture expectedDecode(const SamplePicture &source, int format, int significantBits) {
  const int bits = source.bitCount();
  const bool wide = bits == 16 || bits >= 48;
  const bool colour = bits >= 24;
  const bool jpeg = format >= output::kStillJpegQuality100 && format <= output::kStillJpegQuality20;
  DecodedPicture out;
  out.width = source.width();
  out.height = source.height();
  out.channels = jpeg ? (colour ? 3 : 1) : source.channels();
  out.depth = wide && !jpeg && format != output::kStillBmp ? 16 : 8;
  if (format == output::kStillBmp && wide) throw std::logic_error("no reader decodes that BMP");
  // 16-bit samples: JPEG keeps significant bits 2-9 (grey: the top eight of
  // the significant ones); PNG and TIFF move the significant bits to the top.
  const int widen = significantBits == 12 ? 4 : 6;
  const int greyNarrow = significantBits == 12 ? 4 : 2;
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      for (int c = 0; c < out.channels; ++c) {
        // Files hold red first; the source holds blue first.
        const int stored = colour && c < 3 ? 2 - c : c;
        unsigned value = source.sample(x, y, stored);
        if (jpeg && wide) {
          value = (value >> (colour ? 2 : greyNarrow)) & 0xFF;
        } else if (wide) {
          value = c == 3 ? 0xFFFF : (value << widen) & 0xFFFF;
        } else if (c == 3 && format == output::kStillPng) {
          value = 255 - value;
        } else if (c == 3 && format == output::kStillTiff) {
          value = 0;
        }
        out.samples.push_back(value);
      }
    }
  }
  return out;
}

void writeSamples(const DecodedPicture &decoded, const std::string &path) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (const unsigned value : decoded.samples) {
    file.put(static_cast<char>(value & 0xFF));
    if (decoded.depth == 16) file.put(static_cast<char>(value >> 8));
  }
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string scratchDirectory() {
  static int made = 0;
  const std::string path = isolationRoot() + "/pictures" + std::to_string(made++);
  std::filesystem::create_directories(path);
  return path;
}

std::vector<std::uint8_t> fileBytes(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool fileExists(const std::string &path) { return std::filesystem::exists(path); }

void writeJunk(const std::string &path, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  const std::string junk(size, 'x');
  file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

unsigned readU16(const std::vector<std::uint8_t> &bytes, std::size_t at) {
  return bytes.at(at) | (unsigned{bytes.at(at + 1)} << 8);
}

unsigned readU32(const std::vector<std::uint8_t> &bytes, std::size_t at) {
  return readU16(bytes, at) | (readU16(bytes, at + 2) << 16);
}

}  // namespace pelnik::test
