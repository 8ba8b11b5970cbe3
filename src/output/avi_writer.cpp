#include "output/avi_writer.h"

#include <cstring>

namespace pelnik::output {

namespace {

constexpr std::uint32_t kChunkHeaderBytes = 8;
constexpr std::uint32_t kIndexEntryBytes = 16;
constexpr std::uint32_t kKeyFrame = 0x10;
constexpr std::uint32_t kHasIndex = 0x10;
constexpr std::uint32_t kCaptureFile = 0x10000;
constexpr std::uint32_t kMoviIdentifierOffset = 228;

// Offsets of the fields the finish patches.
constexpr std::uint32_t kRiffSizeOffset = 4;
constexpr std::uint32_t kMicrosecondsPerFrameOffset = 32;
constexpr std::uint32_t kFlagsOffset = 44;
constexpr std::uint32_t kTotalFramesOffset = 48;
constexpr std::uint32_t kScaleOffset = 128;
constexpr std::uint32_t kLengthOffset = 140;

class LittleEndian {
 public:
  explicit LittleEndian(std::uint8_t *out) : out_(out) {}
  LittleEndian &tag(const char (&text)[5]) {
    std::memcpy(out_, text, 4);
    out_ += 4;
    return *this;
  }
  LittleEndian &u32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) *out_++ = static_cast<std::uint8_t>(value >> (8 * i));
    return *this;
  }
  LittleEndian &u16(std::uint16_t value) {
    *out_++ = static_cast<std::uint8_t>(value);
    *out_++ = static_cast<std::uint8_t>(value >> 8);
    return *this;
  }
  LittleEndian &zeros(int count) {
    std::memset(out_, 0, static_cast<std::size_t>(count));
    out_ += count;
    return *this;
  }

 private:
  std::uint8_t *out_;
};

}  // namespace

std::uint32_t aviFrameBytes(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
  const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
  return bytes > kAviLargestFile ? 0 : static_cast<std::uint32_t>(bytes);
}

std::array<std::uint8_t, kAviHeaderBytes> aviStartHeaders(int width, int height) {
  const std::uint32_t frame = aviFrameBytes(width, height);
  const std::uint32_t suggested = frame + kChunkHeaderBytes;
  std::array<std::uint8_t, kAviHeaderBytes> h{};
  LittleEndian out(h.data());
  out.tag("RIFF").u32(0).tag("AVI ");
  out.tag("LIST").u32(200).tag("hdrl");
  // Main header.
  out.tag("avih").u32(56);
  out.u32(1000000 / 30).u32(suggested * 30).u32(0).u32(kHasIndex | kCaptureFile);
  out.u32(0).u32(0).u32(1).u32(suggested);
  out.u32(static_cast<std::uint32_t>(width)).u32(static_cast<std::uint32_t>(height)).zeros(16);
  // Stream header.
  out.tag("LIST").u32(124).tag("strl");
  out.tag("strh").u32(64).tag("vids").tag("DIB ").u32(0).u16(0).u16(0).u32(0);
  out.u32(10000000 / 30).u32(10000000).u32(0).u32(0).u32(suggested).u32(0).u32(0).zeros(16);
  // Format header: a bottom-up 24-bit bitmap.
  out.tag("strf").u32(40).u32(40);
  out.u32(static_cast<std::uint32_t>(width)).u32(static_cast<std::uint32_t>(height));
  out.u16(1).u16(24).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
  // The movi size stays 0 until the finish patches it.
  out.tag("LIST").u32(0).tag("movi");
  return h;
}

AviWriter::OpenResult AviWriter::open(const char *path, int width, int height, int sourceBitCount) {
  reset();
  const std::uint32_t frame = aviFrameBytes(width, height);
  if (frame == 0) return OpenResult::Failed;
  switch (file_.open(path)) {
    case platform::ExclusiveFile::OpenResult::Locked:
      return OpenResult::Locked;
    case platform::ExclusiveFile::OpenResult::Failed:
      return OpenResult::Failed;
    case platform::ExclusiveFile::OpenResult::Opened:
      break;
  }
  const auto headers = aviStartHeaders(width, height);
  if (!file_.append(headers.data(), headers.size())) {
    file_.close();
    return OpenResult::Failed;
  }
  width_ = width;
  height_ = height;
  sourceBitCount_ = sourceBitCount;
  frameBytes_ = frame;
  return OpenResult::Opened;
}

std::uint64_t AviWriter::finishedSizeWith(std::uint64_t frames) const {
  return kAviHeaderBytes + frames * (kChunkHeaderBytes + frameBytes_) + kChunkHeaderBytes +
         frames * kIndexEntryBytes;
}

AviWriter::FrameResult AviWriter::writeFrame(const std::uint8_t *frame) {
  if (!file_.isOpen() || !frame) return FrameResult::WriteFailed;
  if (finishedSizeWith(index_.size() + 1) > largestFile_) return FrameResult::SizeLimit;
  const std::uint64_t chunkStart = file_.size();
  std::uint8_t header[kChunkHeaderBytes];
  LittleEndian(header).tag("00db").u32(frameBytes_);
  if (!file_.append(header, sizeof header, frame, frameBytes_)) {
    file_.truncate(chunkStart);
    return FrameResult::WriteFailed;
  }
  index_.push_back({static_cast<std::uint32_t>(chunkStart - kMoviIdentifierOffset)});
  return FrameResult::Written;
}

bool AviWriter::patch(std::uint32_t offset, std::uint32_t value) {
  std::uint8_t bytes[4];
  LittleEndian(bytes).u32(value);
  return file_.writeAt(offset, bytes, sizeof bytes);
}

bool AviWriter::finish(std::uint32_t rateHundredths) {
  if (!file_.isOpen()) return false;
  if (rateHundredths == 0) rateHundredths = 1;
  const auto frames = static_cast<std::uint32_t>(index_.size());
  const std::uint64_t moviEnd =
      kAviHeaderBytes + static_cast<std::uint64_t>(frames) * (kChunkHeaderBytes + frameBytes_);
  bool consistent = file_.size() == moviEnd || file_.truncate(moviEnd);

  std::vector<std::uint8_t> idx1(kChunkHeaderBytes + std::size_t{frames} * kIndexEntryBytes);
  LittleEndian out(idx1.data());
  out.tag("idx1").u32(frames * kIndexEntryBytes);
  for (const IndexEntry &entry : index_)
    out.tag("00db").u32(kKeyFrame).u32(entry.offset).u32(frameBytes_);
  bool indexed = consistent && file_.append(idx1.data(), idx1.size());
  if (!indexed) {
    // No room for the index: the frames still play from the movi list.
    file_.truncate(moviEnd);
  }

  const std::uint64_t fileSize = file_.size();
  consistent = fileSize == (indexed ? moviEnd + idx1.size() : moviEnd);
  consistent = patch(kRiffSizeOffset, static_cast<std::uint32_t>(fileSize - 8)) && consistent;
  consistent =
      patch(kAviMoviSizeOffset, static_cast<std::uint32_t>(moviEnd - kAviMoviSizeOffset - 4)) &&
      consistent;
  consistent = patch(kFlagsOffset, indexed ? kHasIndex | kCaptureFile : kCaptureFile) && consistent;
  consistent = patch(kTotalFramesOffset, frames) && consistent;
  consistent = patch(kLengthOffset, frames) && consistent;
  consistent = patch(kMicrosecondsPerFrameOffset, 100000000u / rateHundredths) && consistent;
  consistent = patch(kScaleOffset, 1000000000u / rateHundredths) && consistent;
  const bool closed = file_.close();
  index_.clear();
  return consistent && closed;
}

void AviWriter::reset() {
  file_.close();
  index_.clear();
  index_.shrink_to_fit();
  width_ = height_ = sourceBitCount_ = 0;
  frameBytes_ = 0;
}

}  // namespace pelnik::output
