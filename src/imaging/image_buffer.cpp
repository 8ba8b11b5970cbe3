#include "imaging/image_buffer.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "imaging/conversion_kernels.h"
#include "platform/exclusive_file.h"

namespace pelnik {

namespace {

bool isSupportedBitCount(int bitCount) {
  switch (bitCount) {
    case 8:
    case 16:
    case 24:
    case 32:
    case 48:
    case 64:
      return true;
    default:
      return false;
  }
}

// Little-endian serialisation of the two BMP headers.
class ByteWriter {
 public:
  explicit ByteWriter(std::uint8_t *out) : out_(out) {}
  void u16(std::uint32_t value) {
    *out_++ = static_cast<std::uint8_t>(value);
    *out_++ = static_cast<std::uint8_t>(value >> 8);
  }
  void u32(std::uint32_t value) {
    u16(value & 0xFFFF);
    u16(value >> 16);
  }

 private:
  std::uint8_t *out_;
};

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;

// Fails the application: the rectangle and position zeroed, result 0.
int rejectRect(KernelRect *rect) {
  if (rect) *rect = KernelRect{};
  return 0;
}

}  // namespace

CImageBuffer::CImageBuffer() { Release(); }

CImageBuffer::~CImageBuffer() = default;

int CImageBuffer::StrideFor(int width, int bitCount) {
  const long long row = static_cast<long long>(width) * (bitCount / 8);
  const long long stride = (row + 3) / 4 * 4;
  return stride > INT_MAX ? 0 : static_cast<int>(stride);
}

std::size_t CImageBuffer::ByteSize() const {
  return static_cast<std::size_t>(height_) * static_cast<std::size_t>(stride_);
}

int CImageBuffer::Create(int width, int height, int bitCount) {
  const int bits = bitCount & 0xFFFF;
  // Bit counts that are not whole-byte pixel layouts of this library would
  // give rows of no bytes; they are refused like a zero bit count.
  if (width <= 0 || height <= 0 || !isSupportedBitCount(bits)) return 0;
  const int stride = StrideFor(width, bits);
  if (stride == 0) return 0;
  Release();
  header_.width = width;
  header_.height = height;
  header_.planes = 1;
  header_.bitCount = static_cast<std::uint16_t>(bits);
  width_ = width;
  height_ = height;
  stride_ = stride;
  bitCount_ = bits;
  return MakePixelMemory();
}

int CImageBuffer::CreateLike(const CImageBuffer *other) {
  if (!other || other->IsEmpty()) return 0;
  if (other == this) return 1;
  const BitmapInfoHeader header = other->header_;
  const int width = other->width_, height = other->height_;
  const int stride = other->stride_, bitCount = other->bitCount_;
  Release();
  header_ = header;
  width_ = width;
  height_ = height;
  stride_ = stride;
  bitCount_ = bitCount;
  return MakePixelMemory();
}

int CImageBuffer::CopyFrom(const CImageBuffer &other) {
  if (&other == this) return IsEmpty() ? 0 : 1;
  if (!CreateLike(&other)) {
    Release();
    return 0;
  }
  std::memcpy(colourTable_, other.colourTable_, sizeof colourTable_);
  std::memcpy(pixels_.get(), other.pixels_.get(), ByteSize());
  return 1;
}

int CImageBuffer::MakePixelMemory() {
  if (bitCount_ == 8) SetColorTable(kGreyRamp, nullptr, 0, 0);
  // Value-initialised: the pixel memory starts all zero.
  pixels_.reset(new (std::nothrow) std::uint8_t[ByteSize()]());
  if (!pixels_) {
    Release();
    return 0;
  }
  return 1;
}

void CImageBuffer::Release() {
  pixels_.reset();
  header_ = BitmapInfoHeader{};
  std::fill(std::begin(colourTable_), std::end(colourTable_), ColourEntry{});
  width_ = height_ = stride_ = bitCount_ = 0;
}

int CImageBuffer::SetColorTable(int mode, const ColourEntry *entries, int firstIndex, int count) {
  if (mode == kGreyRamp) {
    for (int i = 0; i < kColourTableSize; ++i) {
      const auto level = static_cast<std::uint8_t>(i);
      colourTable_[i] = ColourEntry{level, level, level, 0};
    }
  } else if (mode == kGivenEntries && entries && firstIndex >= 0 && firstIndex < kColourTableSize &&
             count > 0) {
    const int n = std::min(count, kColourTableSize - firstIndex);
    std::copy(entries, entries + n, colourTable_ + firstIndex);
  }
  return 1;
}

bool CImageBuffer::BlitFrom(const CImageBuffer &source, const KernelRect *sourceRect, int x, int y,
                            bool flip) {
  Kernel kernel = nullptr;
  if (source.bitCount_ == bitCount_) {
    kernel = kernels::blitSameDepth;
  } else if (source.bitCount_ == 8 && bitCount_ == 24) {
    kernel = kernels::blit8To24;
  } else if (source.bitCount_ == 32 && bitCount_ == 24) {
    kernel = kernels::blit32To24;
  }
  if (!kernel) return false;
  BlitBlock block;
  block.flip = flip ? 1 : 0;
  block.colourTable = reinterpret_cast<const std::uint8_t *>(source.colourTable_);
  BlitBlock *blockPointer = &block;
  KernelRect rect = sourceRect ? *sourceRect : KernelRect{0, 0, source.width_, source.height_};
  // The kernels only read the source; the contract's pointer is not const.
  auto &readable = const_cast<CImageBuffer &>(source);
  return ApplyKernel(kernel, readable, &rect, x, y, &blockPointer) != 0;
}

int CImageBuffer::ApplyKernel(Kernel kernel, CImageBuffer &source, KernelRect *sourceRect, int x,
                              int y, void *params, int extra) {
  if (!kernel) return rejectRect(sourceRect);
  KernelRect s = sourceRect ? *sourceRect : KernelRect{0, 0, source.width_, source.height_};
  if (s.empty()) return rejectRect(sourceRect);
  // Platform coordinates: y = 0 is the bottom line, the last memory row.
  KernelRect d{x, y, x + s.width(), y + s.height()};
  if (d.right <= 0 || d.bottom <= 0 || d.left >= width_ || d.top >= height_) {
    return rejectRect(sourceRect);
  }
  if (d.left < 0) s.left -= d.left, d.left = 0;
  if (d.top < 0) s.top -= d.top, d.top = 0;
  if (d.right > width_) s.right -= d.right - width_, d.right = width_;
  if (d.bottom > height_) s.bottom -= d.bottom - height_, d.bottom = height_;
  if (s.right <= 0 || s.bottom <= 0 || s.left >= source.width_ || s.top >= source.height_) {
    return rejectRect(sourceRect);
  }
  if (s.left < 0) d.left -= s.left, s.left = 0;
  if (s.top < 0) d.top -= s.top, s.top = 0;
  if (s.right > source.width_) d.right -= s.right - source.width_, s.right = source.width_;
  if (s.bottom > source.height_) d.bottom -= s.bottom - source.height_, s.bottom = source.height_;
  if (d.empty() || s.empty()) return rejectRect(sourceRect);

  KernelRect memoryRows{s.left, source.height_ - s.bottom, s.right, source.height_ - s.top};
  const int dstRow = height_ - d.bottom;
  if (sourceRect) *sourceRect = memoryRows;
  KernelRect *handed = sourceRect ? sourceRect : &memoryRows;
  return kernel(pixels_.get(), source.pixels_.get(), handed, d.left, dstRow,
                static_cast<std::uint16_t>(BytesPerPixel()),
                static_cast<std::uint16_t>(source.BytesPerPixel()), stride_, source.stride_, params,
                extra);
}

int CImageBuffer::ApplyScaledKernel(ScaledKernel kernel, CImageBuffer &source,
                                    const KernelRect *sourceRect, const KernelRect *destRect,
                                    int extra1, int extra2) {
  // An empty buffer on either side would hand the kernel no memory at all.
  if (!kernel || IsEmpty() || source.IsEmpty()) return 0;
  KernelRect s = sourceRect ? *sourceRect : KernelRect{0, 0, source.width_, source.height_};
  KernelRect d = destRect ? *destRect : KernelRect{0, 0, width_, height_};
  return kernel(pixels_.get(), source.pixels_.get(), &d, &s, width_, height_, source.width_,
                source.height_, static_cast<std::uint16_t>(BytesPerPixel()),
                static_cast<std::uint16_t>(source.BytesPerPixel()), stride_, source.stride_, extra1,
                extra2);
}

bool CImageBuffer::WriteAsBmp(const char *fileName) const {
  if (!fileName) return false;
  // Written by this save alone: another writer of the same file is refused,
  // and a path that is no regular file (a FIFO) fails instead of blocking.
  platform::ExclusiveFile file;
  if (file.open(fileName) != platform::ExclusiveFile::OpenResult::Opened) return false;
  const bool hasTable = bitCount_ <= 8;
  const std::size_t tableBytes = hasTable ? sizeof(colourTable_) : 0;
  const std::size_t offset = kFileHeaderBytes + kInfoHeaderBytes + tableBytes;
  const std::size_t fileSize = offset + ByteSize();

  std::array<std::uint8_t, kFileHeaderBytes + kInfoHeaderBytes> headers{};
  headers[0] = 'B';
  headers[1] = 'M';
  ByteWriter out(headers.data() + 2);
  out.u32(static_cast<std::uint32_t>(fileSize));
  out.u32(0);  // two reserved 16-bit fields
  out.u32(static_cast<std::uint32_t>(offset));
  out.u32(header_.size);
  out.u32(static_cast<std::uint32_t>(header_.width));
  out.u32(static_cast<std::uint32_t>(header_.height));
  out.u16(header_.planes);
  out.u16(header_.bitCount);
  out.u32(header_.compression);
  out.u32(header_.sizeImage);
  out.u32(static_cast<std::uint32_t>(header_.xPelsPerMeter));
  out.u32(static_cast<std::uint32_t>(header_.yPelsPerMeter));
  out.u32(header_.clrUsed);
  out.u32(header_.clrImportant);

  const bool written =
      file.append(headers.data(), headers.size(), hasTable ? colourTable_ : nullptr, tableBytes) &&
      (!pixels_ || file.append(pixels_.get(), ByteSize()));
  // A full disk must not pass for a saved file.
  return file.close() && written;
}

}  // namespace pelnik
