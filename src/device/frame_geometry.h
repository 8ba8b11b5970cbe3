#pragma once
// Where the image lies in a raw frame as the camera delivers it, the length
// of one frame transfer, and the copy of the image window out of a frame.
#include <cstddef>
#include <cstdint>

namespace pelnik::device {

struct FrameGeometry {
  std::int32_t pitch = 0;          // pixels per stored row
  std::int32_t xOffset = 0;        // first image pixel in a row
  std::int32_t imageWidth = 0;     // pixels per image row
  std::int32_t rowsPerFrame = 0;   // stored rows per frame
  std::int32_t firstImageRow = 0;  // first row of the image
  std::int32_t imageHeight = 0;    // image rows

  // 0, or the status code of the first failed check (horizontal, then
  // vertical).
  int check() const;
  // Pixels per frame transfer: the rows up to the image's end, rounded up to
  // a multiple of 1024.
  std::uint32_t transferLength() const;
  // Bytes of the packed window (image rows back to back).
  std::size_t packedWindowBytes(int sampleBytes) const;
  // Bytes of a raw frame up to the end of the image's last sample.
  std::size_t sourceExtentBytes(int sampleBytes) const;
};

// Copies the image window of a raw frame into `destination`, rows packed.
// Refuses (kStatusNoDestination) a missing destination or one smaller than
// the window, and (kStatusNoMemory) a missing source or one that ends before
// the window does; 0 when copied.
int copyImageWindow(const FrameGeometry &geometry, int sampleBytes, std::uint8_t *destination,
                    std::size_t destinationBytes, const std::uint8_t *source,
                    std::size_t sourceBytes);

}  // namespace pelnik::device
