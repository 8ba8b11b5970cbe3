// The AVI writer's file layout, read back byte by byte; its endings on a
// full disk, at the file size limit and with no frame; the lock that keeps a
// second writer off a file; and the recording's 24-bit frame from pictures
// of every bit count.
#include "output/avi_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "output/avi_frame.h"
#include "sample_pictures.h"
#include "support/file_bytes.h"
#include "support/small_file_system.h"
#include "support/test_environment.h"

namespace {

using pelnik::test::littleU32;
using pelnik::test::readFileBytes;

using pelnik::output::AviWriter;
using pelnik::test::SamplePicture;

std::uint16_t u16(const std::vector<std::uint8_t> &f, std::size_t at) {
  return std::uint16_t(f.at(at) | f.at(at + 1) << 8);
}

std::string tag(const std::vector<std::uint8_t> &f, std::size_t at) {
  return std::string(reinterpret_cast<const char *>(f.data() + at), 4);
}

bool allZero(const std::vector<std::uint8_t> &f, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (f.at(i) != 0) return false;
  return true;
}

std::string tempFile(const std::string &name) { return pelnik::test::isolationRoot() + "/" + name; }

// A frame whose every byte says which frame and where it is.
std::vector<std::uint8_t> frameData(std::uint32_t bytes, int number) {
  std::vector<std::uint8_t> data(bytes);
  for (std::uint32_t i = 0; i < bytes; ++i) data[i] = std::uint8_t(i * 7 + number * 31);
  return data;
}

// Whatever ended the movie: RIFF size, movi size, counts and index agree
// with the file's frames.
void expectConsistent(const std::vector<std::uint8_t> &f, std::uint32_t frames,
                      std::uint32_t frameBytes, bool indexed) {
  const std::uint64_t moviEnd = 232 + std::uint64_t(frames) * (frameBytes + 8);
  ASSERT_EQ(f.size(), moviEnd + (indexed ? 8 + 16 * frames : 0));
  EXPECT_EQ(littleU32(f, 4), f.size() - 8);
  EXPECT_EQ(littleU32(f, 224), moviEnd - 228);
  EXPECT_EQ(littleU32(f, 48), frames);
  EXPECT_EQ(littleU32(f, 140), frames);
  EXPECT_EQ(littleU32(f, 44), indexed ? 0x10010u : 0x10000u);
  for (std::uint32_t k = 0; k < frames; ++k) {
    const std::size_t chunk = 232 + std::size_t(k) * (frameBytes + 8);
    EXPECT_EQ(tag(f, chunk), "00db");
    EXPECT_EQ(littleU32(f, chunk + 4), frameBytes);
  }
  if (!indexed) return;
  EXPECT_EQ(tag(f, moviEnd), "idx1");
  EXPECT_EQ(littleU32(f, moviEnd + 4), 16 * frames);
  for (std::uint32_t k = 0; k < frames; ++k) {
    const std::size_t entry = moviEnd + 8 + 16 * std::size_t(k);
    EXPECT_EQ(tag(f, entry), "00db");
    EXPECT_EQ(littleU32(f, entry + 4), 0x10u);
    EXPECT_EQ(littleU32(f, entry + 8), 4 + k * (frameBytes + 8));
    EXPECT_EQ(littleU32(f, entry + 12), frameBytes);
  }
}

TEST(AviLayout, FullFrameRecordingAtThirtyFramesPerSecond) {
  const std::string path = tempFile("full.avi");
  AviWriter writer;
  ASSERT_EQ(writer.open(path.c_str(), 1280, 1024, 24), AviWriter::OpenResult::Opened);
  constexpr std::uint32_t L = 3932160;
  ASSERT_EQ(writer.frameBytes(), L);
  std::vector<std::vector<std::uint8_t>> frames;
  for (int k = 0; k < 3; ++k) {
    frames.push_back(frameData(L, k));
    ASSERT_EQ(writer.writeFrame(frames.back().data()), AviWriter::FrameResult::Written);
  }
  ASSERT_TRUE(writer.finish(3000));
  const auto f = readFileBytes(path);

  EXPECT_EQ(tag(f, 0), "RIFF");
  EXPECT_EQ(tag(f, 8), "AVI ");
  EXPECT_EQ(tag(f, 12), "LIST");
  EXPECT_EQ(littleU32(f, 16), 200u);
  EXPECT_EQ(tag(f, 20), "hdrl");
  EXPECT_EQ(tag(f, 24), "avih");
  EXPECT_EQ(littleU32(f, 28), 56u);
  EXPECT_EQ(littleU32(f, 32), 33333u);  // microseconds per frame at 30.00
  EXPECT_EQ(littleU32(f, 36), 117965040u);
  EXPECT_EQ(littleU32(f, 40), 0u);
  EXPECT_EQ(littleU32(f, 52), 0u);
  EXPECT_EQ(littleU32(f, 56), 1u);
  EXPECT_EQ(littleU32(f, 60), 3932168u);
  EXPECT_EQ(littleU32(f, 64), 1280u);
  EXPECT_EQ(littleU32(f, 68), 1024u);
  EXPECT_TRUE(allZero(f, 72, 88));
  EXPECT_EQ(tag(f, 88), "LIST");
  EXPECT_EQ(littleU32(f, 92), 124u);
  EXPECT_EQ(tag(f, 96), "strl");
  EXPECT_EQ(tag(f, 100), "strh");
  EXPECT_EQ(littleU32(f, 104), 64u);
  EXPECT_EQ(tag(f, 108), "vids");
  EXPECT_EQ(tag(f, 112), "DIB ");
  EXPECT_TRUE(allZero(f, 116, 128));
  EXPECT_EQ(littleU32(f, 128), 333333u);  // scale at 30.00
  EXPECT_EQ(littleU32(f, 132), 10000000u);
  EXPECT_EQ(littleU32(f, 136), 0u);
  EXPECT_EQ(littleU32(f, 144), 3932168u);
  EXPECT_TRUE(allZero(f, 148, 172));
  EXPECT_EQ(tag(f, 172), "strf");
  EXPECT_EQ(littleU32(f, 176), 40u);
  EXPECT_EQ(littleU32(f, 180), 40u);
  EXPECT_EQ(littleU32(f, 184), 1280u);
  EXPECT_EQ(littleU32(f, 188), 1024u);
  EXPECT_EQ(u16(f, 192), 1u);
  EXPECT_EQ(u16(f, 194), 24u);
  EXPECT_TRUE(allZero(f, 196, 220));
  EXPECT_EQ(tag(f, 220), "LIST");
  EXPECT_EQ(tag(f, 228), "movi");
  expectConsistent(f, 3, L, true);
  for (int k = 0; k < 3; ++k) {
    const std::size_t data = 232 + std::size_t(k) * 3932168 + 8;
    EXPECT_TRUE(std::equal(frames[k].begin(), frames[k].end(), f.begin() + long(data)))
        << "frame " << k;
  }
}

TEST(AviLayout, StartHeadersBeforeTheFinishAndMeasuredRates) {
  const auto h = pelnik::output::aviStartHeaders(1280, 1024);
  const std::vector<std::uint8_t> f(h.begin(), h.end());
  EXPECT_EQ(littleU32(f, 4), 0u);    // RIFF size until the finish
  EXPECT_EQ(littleU32(f, 224), 0u);  // movi size until the finish
  EXPECT_EQ(littleU32(f, 48), 0u);
  EXPECT_EQ(littleU32(f, 140), 0u);
  EXPECT_EQ(littleU32(f, 32), 33333u);
  EXPECT_EQ(littleU32(f, 128), 333333u);

  // 12.50 frames per second measured: the header claims that rate.
  const std::string path = tempFile("rate.avi");
  AviWriter writer;
  ASSERT_EQ(writer.open(path.c_str(), 4, 2, 8), AviWriter::OpenResult::Opened);
  const auto frame = frameData(writer.frameBytes(), 0);
  ASSERT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  ASSERT_TRUE(writer.finish(1250));
  const auto g = readFileBytes(path);
  EXPECT_EQ(littleU32(g, 32), 80000u);
  EXPECT_EQ(littleU32(g, 128), 800000u);
  EXPECT_EQ(littleU32(g, 132), 10000000u);
}

TEST(AviLayout, PaddedRowsAndAMovieWithoutFrames) {
  // 5 pixels of 3 bytes make 15, padded to 16: frames of 16 x 3 bytes.
  const std::string path = tempFile("padded.avi");
  AviWriter writer;
  ASSERT_EQ(writer.open(path.c_str(), 5, 3, 24), AviWriter::OpenResult::Opened);
  EXPECT_EQ(writer.frameBytes(), 48u);
  for (int k = 0; k < 4; ++k) {
    const auto frame = frameData(48, k);
    ASSERT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  }
  ASSERT_TRUE(writer.finish(3000));
  const auto f = readFileBytes(path);
  EXPECT_EQ(littleU32(f, 60), 56u);
  EXPECT_EQ(littleU32(f, 36), 56u * 30);
  expectConsistent(f, 4, 48, true);

  const std::string empty = tempFile("empty.avi");
  ASSERT_EQ(writer.open(empty.c_str(), 5, 3, 24), AviWriter::OpenResult::Opened);
  ASSERT_TRUE(writer.finish(0));  // a rate of 0 must not divide by zero
  const auto e = readFileBytes(empty);
  expectConsistent(e, 0, 48, true);
  EXPECT_EQ(littleU32(e, 128), 1000000000u);
}

TEST(AviEndings, SizeLimitFinishesTheFramesBeforeIt) {
  const std::string path = tempFile("limit.avi");
  AviWriter writer;
  ASSERT_EQ(writer.open(path.c_str(), 5, 3, 24), AviWriter::OpenResult::Opened);
  // Room for exactly two frames with their index entries.
  writer.setLargestFile(232 + 2 * (48 + 8) + 8 + 2 * 16);
  const auto frame = frameData(48, 1);
  EXPECT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  EXPECT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  EXPECT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::SizeLimit);
  ASSERT_TRUE(writer.finish(3000));
  const auto f = readFileBytes(path);
  EXPECT_EQ(f.size(), 232u + 2 * 56 + 8 + 32);
  expectConsistent(f, 2, 48, true);
}

TEST(AviEndings, FullFileSystemKeepsTheWholeFramesWithTheirIndex) {
  pelnik::test::SmallFileSystem disk(64 * 1024);
  ASSERT_TRUE(disk.ok()) << disk.error();
  const std::string path = disk.file("full.avi");
  AviWriter writer;
  // 100 x 100 frames of 30000 bytes: two fit in 64 KiB, the third does not.
  ASSERT_EQ(writer.open(path.c_str(), 100, 100, 24), AviWriter::OpenResult::Opened);
  const auto frame = frameData(30000, 2);
  EXPECT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  EXPECT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  EXPECT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::WriteFailed);
  EXPECT_EQ(writer.frameCount(), 2u);
  EXPECT_TRUE(writer.finish(2500));
  expectConsistent(readFileBytes(path), 2, 30000, true);
}

// The process's file size limit stands in for a disk with no room left for
// the index: the movie keeps its frames and says it has no index.
TEST(AviEndings, NoRoomForTheIndexLeavesAMovieWithoutOne) {
  const std::string path = tempFile("noindex.avi");
  AviWriter writer;
  ASSERT_EQ(writer.open(path.c_str(), 5, 3, 24), AviWriter::OpenResult::Opened);
  const auto frame = frameData(48, 3);
  ASSERT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  ASSERT_EQ(writer.writeFrame(frame.data()), AviWriter::FrameResult::Written);

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old;
  tight.rlim_cur = 232 + 2 * 56 + 20;  // the third frame and the index do not fit
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const auto third = writer.writeFrame(frame.data());
  const bool finished = writer.finish(3000);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(third, AviWriter::FrameResult::WriteFailed);
  EXPECT_TRUE(finished);
  expectConsistent(readFileBytes(path), 2, 48, false);
}

TEST(AviEndings, SecondWriterOnALockedFileIsRefusedAndChangesNothing) {
  const std::string path = tempFile("locked.avi");
  AviWriter first, second;
  ASSERT_EQ(first.open(path.c_str(), 5, 3, 24), AviWriter::OpenResult::Opened);
  const auto frame = frameData(48, 4);
  ASSERT_EQ(first.writeFrame(frame.data()), AviWriter::FrameResult::Written);
  EXPECT_EQ(second.open(path.c_str(), 5, 3, 24), AviWriter::OpenResult::Locked);
  EXPECT_EQ(std::filesystem::file_size(path), 232u + 56);  // not truncated
  ASSERT_TRUE(first.finish(3000));
  expectConsistent(readFileBytes(path), 1, 48, true);
  // Once the first has closed, the file is free again.
  EXPECT_EQ(second.open(path.c_str(), 5, 3, 24), AviWriter::OpenResult::Opened);
  EXPECT_EQ(first.open("/nonexistent-dir/x.avi", 5, 3, 24), AviWriter::OpenResult::Failed);
}

// The frame from the conversion table, worked out here: the picture's top
// line is the frame's last row; 8 bits through the colour table, 16 bits and
// 48/64-bit samples by bits 2-9, colour bytes blue, green, red.
std::vector<std::uint8_t> expectedFrame(SamplePicture &picture) {
  const int w = picture.width(), h = picture.height();
  const int stride = (w * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> frame(std::size_t(stride) * h, 0);
  const auto *table = picture.buffer()->ColorTable();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t *out = &frame[std::size_t(h - 1 - y) * stride + std::size_t(x) * 3];
      switch (picture.bitCount()) {
        case 8: {
          const auto &entry = table[picture.sample(x, y, 0)];
          out[0] = entry.blue, out[1] = entry.green, out[2] = entry.red;
          break;
        }
        case 16:
          out[0] = out[1] = out[2] = std::uint8_t(picture.sample(x, y, 0) >> 2);
          break;
        case 24:
        case 32:
          for (int c = 0; c < 3; ++c) out[c] = std::uint8_t(picture.sample(x, y, c));
          break;
        default:
          for (int c = 0; c < 3; ++c) out[c] = std::uint8_t(picture.sample(x, y, c) >> 2);
          break;
      }
    }
  return frame;
}

TEST(AviFrame, EveryBitCountBecomesTheBottomUpColourFrame) {
  for (int bits : {8, 16, 24, 32, 48, 64}) {
    SCOPED_TRACE(bits);
    SamplePicture picture(7, 5, bits);
    if (bits == 8) {
      // Not the grey ramp, so the table is seen to be used.
      pelnik::ColourEntry entries[256];
      for (int i = 0; i < 256; ++i)
        entries[i] = {std::uint8_t(255 - i), std::uint8_t(i / 2), std::uint8_t(i ^ 0x5A), 0};
      picture.buffer()->SetColorTable(pelnik::CImageBuffer::kGivenEntries, entries, 0, 256);
    }
    pelnik::output::AviFrameMaker maker;
    ASSERT_TRUE(maker.prepare(7, 5));
    const pelnik::CImageBuffer *frame = maker.convert(*picture.buffer());
    ASSERT_NE(frame, nullptr);
    const auto expected = expectedFrame(picture);
    for (int row = 0; row < 5; ++row)
      EXPECT_EQ(0, std::memcmp(frame->Pixels() + std::size_t(row) * 24,
                               expected.data() + std::size_t(row) * 24, 21))
          << "row " << row;
  }
  // A picture of another size is refused rather than cut or overrun.
  SamplePicture other(8, 5, 24);
  pelnik::output::AviFrameMaker maker;
  ASSERT_TRUE(maker.prepare(7, 5));
  EXPECT_EQ(maker.convert(*other.buffer()), nullptr);
}

}  // namespace
