#include "device/frame_geometry.h"

#include <cstring>

#include "device/device_status.h"

namespace pelnik::device {

int FrameGeometry::check() const {
  if (pitch <= 0 || imageWidth <= 0 || imageWidth > pitch) return kStatusBadHorizontalGeometry;
  if (rowsPerFrame <= 0 || imageHeight <= 0 ||
      std::int64_t{firstImageRow} + imageHeight > rowsPerFrame)
    return kStatusBadVerticalGeometry;
  return kStatusOk;
}

std::uint32_t FrameGeometry::transferLength() const {
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(std::int64_t{firstImageRow} + imageHeight) *
      static_cast<std::uint64_t>(pitch);
  return static_cast<std::uint32_t>((pixels + 1023) / 1024 * 1024);
}

std::size_t FrameGeometry::packedWindowBytes(int sampleBytes) const {
  if (imageWidth <= 0 || imageHeight <= 0) return 0;
  return static_cast<std::size_t>(imageWidth) * static_cast<std::size_t>(imageHeight) *
         static_cast<std::size_t>(sampleBytes);
}

std::size_t FrameGeometry::sourceExtentBytes(int sampleBytes) const {
  if (imageWidth <= 0 || imageHeight <= 0) return 0;
  const std::size_t lastRow = static_cast<std::size_t>(firstImageRow + imageHeight - 1);
  const std::size_t end = lastRow * static_cast<std::size_t>(pitch) +
                          static_cast<std::size_t>(xOffset) + static_cast<std::size_t>(imageWidth);
  return end * static_cast<std::size_t>(sampleBytes);
}

int copyImageWindow(const FrameGeometry &geometry, int sampleBytes, std::uint8_t *destination,
                    std::size_t destinationBytes, const std::uint8_t *source,
                    std::size_t sourceBytes) {
  const std::size_t windowBytes = geometry.packedWindowBytes(sampleBytes);
  if (!destination || destinationBytes < windowBytes) return kStatusNoDestination;
  // Geometry that ResetDefaults or a failed allocation left behind must not
  // read past the frame buffer.
  if (!source || geometry.xOffset < 0 || geometry.firstImageRow < 0 ||
      sourceBytes < geometry.sourceExtentBytes(sampleBytes))
    return kStatusNoMemory;
  if (windowBytes == 0) return kStatusOk;
  if (geometry.pitch == geometry.imageWidth && geometry.rowsPerFrame == geometry.imageHeight &&
      geometry.firstImageRow == 0 && geometry.xOffset == 0) {
    std::memcpy(destination, source, windowBytes);
    return kStatusOk;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(geometry.imageWidth) * sampleBytes;
  const std::size_t pitchBytes = static_cast<std::size_t>(geometry.pitch) * sampleBytes;
  const std::uint8_t *row = source + static_cast<std::size_t>(geometry.firstImageRow) * pitchBytes +
                            static_cast<std::size_t>(geometry.xOffset) * sampleBytes;
  for (std::int32_t i = 0; i < geometry.imageHeight; ++i, row += pitchBytes)
    std::memcpy(destination + static_cast<std::size_t>(i) * rowBytes, row, rowBytes);
  return kStatusOk;
}

}  // namespace pelnik::device
