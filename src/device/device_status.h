#pragma once
// Results of the device operations that report a code; the camera layer
// turns them into the library's error codes.

namespace pelnik::device {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusTooFewBuffers = 1;
inline constexpr int kStatusBadHorizontalGeometry = 3;
inline constexpr int kStatusBadVerticalGeometry = 4;
inline constexpr int kStatusNoMemory = 7;
inline constexpr int kStatusNoHandle = 10;
inline constexpr int kStatusCommandFailed = 12;
// Also a destination smaller than the window it is to receive.
inline constexpr int kStatusNoDestination = 14;
inline constexpr int kStatusImageFailed = 19;
inline constexpr int kStatusStreaming = 21;
inline constexpr int kStatusBadCameraNumber = 22;

}  // namespace pelnik::device
