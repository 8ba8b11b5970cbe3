#pragma once
// Uncompressed AVI movies of 24-bit bottom-up frames: RIFF "AVI " with one
// header list (avih, one strl with strh "vids"/"DIB " and a 40-byte strf),
// the movi list of "00db" chunks and an idx1 index. The headers are written
// at open with a nominal 30 frames per second; finish writes the index and
// patches the sizes, frame counts and the measured rate.
//
// Sizes and offsets of the format are 32-bit: a frame that would take the
// finished file (index included) past 4 GiB - 1 is refused, and the movie
// finished up to the frame before is complete.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/exclusive_file.h"

namespace pelnik::output {

inline constexpr std::uint32_t kAviHeaderBytes = 232;     // through "movi"
inline constexpr std::uint32_t kAviMoviSizeOffset = 224;  // movi list size
inline constexpr std::uint32_t kAviNominalRate = 3000;    // 30.00 fps
inline constexpr std::uint64_t kAviLargestFile = 0xFFFFFFFFull;

// Bytes of one frame: height rows of 3 x width rounded up to 4.
std::uint32_t aviFrameBytes(int width, int height);

// The 232 bytes from "RIFF" through "movi" as open writes them.
std::array<std::uint8_t, kAviHeaderBytes> aviStartHeaders(int width, int height);

class AviWriter {
 public:
  enum class OpenResult { Opened, Failed, Locked };
  enum class FrameResult { Written, SizeLimit, WriteFailed };

  AviWriter() = default;
  ~AviWriter() { reset(); }
  AviWriter(const AviWriter &) = delete;
  AviWriter &operator=(const AviWriter &) = delete;

  // Replaces the file (once no other writer holds it) and writes the start
  // headers. Failed: it cannot be created or the headers cannot be written.
  OpenResult open(const char *path, int width, int height, int sourceBitCount);
  bool isOpen() const { return file_.isOpen(); }

  // Appends one frame of frameBytes() bytes. SizeLimit: nothing written,
  // the file would outgrow 32-bit sizes. WriteFailed: the disk refused it;
  // the partial chunk is cut off again, so finish still has a whole movie.
  FrameResult writeFrame(const std::uint8_t *frame);

  // Writes the index, patches the header for `rateHundredths` (frames per
  // second x 100, at least 1) and closes. When the index no longer fits on
  // the disk the movie keeps its frames without one (flag cleared, sizes
  // still right). False when not even that could be made consistent.
  bool finish(std::uint32_t rateHundredths);

  // Closes a file still open, as it stands, and forgets the frames.
  void reset();

  std::uint32_t frameCount() const { return static_cast<std::uint32_t>(index_.size()); }
  std::uint32_t frameBytes() const { return frameBytes_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int sourceBitCount() const { return sourceBitCount_; }
  // Bytes in the file so far.
  std::uint64_t fileBytes() const { return file_.size(); }

  // The largest file this writer makes; tests lower it.
  void setLargestFile(std::uint64_t bytes) { largestFile_ = bytes; }

 private:
  struct IndexEntry {
    std::uint32_t offset;  // of the chunk's identifier, from "movi"
  };
  std::uint64_t finishedSizeWith(std::uint64_t frames) const;
  bool patch(std::uint32_t offset, std::uint32_t value);

  platform::ExclusiveFile file_;
  std::vector<IndexEntry> index_;
  int width_ = 0;
  int height_ = 0;
  int sourceBitCount_ = 0;
  std::uint32_t frameBytes_ = 0;
  std::uint64_t largestFile_ = kAviLargestFile;
};

}  // namespace pelnik::output
