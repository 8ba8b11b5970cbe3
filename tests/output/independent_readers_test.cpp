// Every format and source bit count, saved by the dispatcher and opened by
// independent readers (OpenCV, Pillow, tiffinfo, pngcheck) through
// read_back.py: size, channels and pixels must be what the format's rules
// give for the source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>

#include "output/still_image.h"
#include "sample_pictures.h"
#include "support/test_environment.h"

namespace {

using namespace pelnik;
using pelnik::test::Pattern;
using pelnik::test::SamplePicture;

struct ReaderCase {
  int format;
  int bitCount;
  const char *pillowMode;  // what Pillow opens the file as; "none": Pillow has no reader for it
  int opencvChannels;      // 0: all the file's channels
};

// gtest names the case in its listing; the default print is a byte dump.
void PrintTo(const ReaderCase &c, std::ostream *out) {
  *out << "format " << c.format << " from " << c.bitCount << " bits";
}

// Found beside this source file, so the test does not depend on the
// environment ctest passes.
const std::string &readBackScript() {
  // From the source tree, not __FILE__: a compiler cache may have made that
  // relative to another working directory.
  static const std::string path = pelnik::test::sourcePath("tests/output/read_back.py");
  return path;
}

std::string formatName(int format) {
  switch (format) {
    case output::kStillBmp:
      return "Bmp";
    case output::kStillJpegQuality100:
      return "Jpeg100";
    case output::kStillJpegQuality70:
      return "Jpeg70";
    case output::kStillJpegQuality20:
      return "Jpeg20";
    case output::kStillPng:
      return "Png";
    default:
      return "Tiff";
  }
}

bool isJpeg(int format) {
  return format >= output::kStillJpegQuality100 && format <= output::kStillJpegQuality20;
}

// Mean error a JPEG of a smooth picture may show at each quality.
double jpegMeanError(int format) {
  switch (format) {
    case output::kStillJpegQuality100:
      return 1.0;
    case output::kStillJpegQuality70:
      return 2.5;
    default:
      return 5.0;
  }
}

std::string readerCommand(const ReaderCase &c, const std::string &image, const std::string &samples,
                          const test::DecodedPicture &expected) {
  const bool wide = expected.depth == 16;
  std::ostringstream command;
  command << "/usr/bin/python3 " << readBackScript() << " --image " << image << " --samples "
          << samples << " --width " << expected.width << " --height " << expected.height
          << " --channels " << expected.channels << " --depth " << expected.depth
          << " --pillow-mode '" << c.pillowMode << "'";
  if (c.opencvChannels) command << " --opencv-channels " << c.opencvChannels;
  // Pillow keeps only the high byte of 16-bit colour samples.
  if (wide && expected.channels >= 3) command << " --pillow-shift 8";
  if (isJpeg(c.format)) command << " --progressive --max-error " << jpegMeanError(c.format);
  if (c.format == output::kStillTiff) command << " --tiffinfo";
  if (c.format == output::kStillPng) command << " --pngcheck";
  return command.str();
}

class IndependentReaders : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(IndependentReaders, DecodeTheExpectedPixels) {
  const ReaderCase c = GetParam();
  ASSERT_TRUE(std::filesystem::exists(readBackScript())) << readBackScript();
  // An odd width gives every row padding; JPEG gets a picture it can keep close.
  SamplePicture source(37, 23, c.bitCount, isJpeg(c.format) ? Pattern::Smooth : Pattern::Busy);
  const std::string directory = test::scratchDirectory();
  const std::string image = directory + "/picture";
  const std::string samples = directory + "/expected.samples";
  ASSERT_EQ(output::SaveStillImage(image.c_str(), source.buffer(), c.format, 10), 1);
  const test::DecodedPicture expected = test::expectedDecode(source, c.format, 10);
  test::writeSamples(expected, samples);

  const std::string report = directory + "/report.txt";
  const std::string command = readerCommand(c, image, samples, expected);
  const int status = std::system((command + " > " + report + " 2>&1").c_str());
  const std::vector<std::uint8_t> said = test::fileBytes(report);
  EXPECT_EQ(status, 0) << command << "\n" << std::string(said.begin(), said.end());
}

std::string caseName(const ::testing::TestParamInfo<ReaderCase> &info) {
  return formatName(info.param.format) + "From" + std::to_string(info.param.bitCount) + "Bit";
}

// BMP files of 16, 48 and 64 bits have no common reader; they are checked
// byte for byte elsewhere.
INSTANTIATE_TEST_SUITE_P(Bmp, IndependentReaders,
                         ::testing::Values(ReaderCase{output::kStillBmp, 8, "L", 0},
                                           ReaderCase{output::kStillBmp, 24, "RGB", 0},
                                           ReaderCase{output::kStillBmp, 32, "RGB", 3}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(Png, IndependentReaders,
                         ::testing::Values(ReaderCase{output::kStillPng, 8, "L", 0},
                                           ReaderCase{output::kStillPng, 16, "I", 0},
                                           ReaderCase{output::kStillPng, 24, "RGB", 0},
                                           ReaderCase{output::kStillPng, 32, "RGBA", 0},
                                           ReaderCase{output::kStillPng, 48, "RGB", 0},
                                           ReaderCase{output::kStillPng, 64, "RGBA", 0}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(Tiff, IndependentReaders,
                         ::testing::Values(ReaderCase{output::kStillTiff, 8, "L", 0},
                                           ReaderCase{output::kStillTiff, 16, "I;16", 0},
                                           ReaderCase{output::kStillTiff, 24, "RGB", 0},
                                           ReaderCase{output::kStillTiff, 32, "RGBA", 0},
                                           ReaderCase{output::kStillTiff, 48, "RGB", 0},
                                           ReaderCase{output::kStillTiff, 64, "RGBA", 0}),
                         caseName);

ReaderCase jpegCase(int format, int bitCount) {
  return {format, bitCount, bitCount <= 16 ? "L" : "RGB", 0};
}

INSTANTIATE_TEST_SUITE_P(Jpeg, IndependentReaders, ::testing::ValuesIn([] {
                           std::vector<ReaderCase> cases;
                           for (const int format :
                                {output::kStillJpegQuality100, output::kStillJpegQuality70,
                                 output::kStillJpegQuality20}) {
                             for (const int bits : {8, 16, 24, 32, 48, 64})
                               cases.push_back(jpegCase(format, bits));
                           }
                           return cases;
                         }()),
                         caseName);

}  // namespace
