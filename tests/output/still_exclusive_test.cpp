// Stills of every format are written by their save alone: a file another writer
// holds is refused and left as it was, and the save that follows it works.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "output/still_image.h"
#include "platform/exclusive_file.h"
#include "sample_pictures.h"
#include "support/file_bytes.h"

namespace {

using namespace pelnik;
using pelnik::test::SamplePicture;

TEST(StillImageExclusive, AFileAnotherWriterHoldsIsRefusedAndLeftIntact) {
  SamplePicture source(64, 32, 24);
  const std::string directory = test::scratchDirectory();
  for (const int format : {output::kStillBmp, output::kStillRaw, output::kStillJpegQuality70,
                           output::kStillPng, output::kStillTiff}) {
    const std::string path = directory + "/held" + std::to_string(format);
    platform::ExclusiveFile other;
    ASSERT_EQ(other.open(path.c_str()), platform::ExclusiveFile::OpenResult::Opened);
    const char mark[] = "another writer's bytes";
    ASSERT_TRUE(other.append(mark, sizeof mark));
    EXPECT_EQ(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 0) << format;
    ASSERT_TRUE(other.close());
    EXPECT_EQ(test::readFileBytes(path).size(), sizeof mark) << "the refused save changed the file";
    // Once the other writer has closed, the save replaces the file.
    EXPECT_NE(output::SaveStillImage(path.c_str(), source.buffer(), format, 10), 0) << format;
    EXPECT_GT(std::filesystem::file_size(path), sizeof mark) << format;
  }
}

}  // namespace
