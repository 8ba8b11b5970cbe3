#pragma once
// Turns a scene and the camera's register state into the bytes of one frame
// transfer. Deterministic: the same scene, registers, frame number, camera
// and noise give the same bytes, so a test can compute exactly the frame
// the camera sends.
//
// Output image: the window of sensor registers 18-21, subsampled by 2 when
// register 10 says so, mirrored as the readout-mode bits say. Colours form a
// Bayer mosaic whose phase follows the mirror bits: unmirrored the first two
// rows read (red, green / green, blue); mirroring either way moves the phase
// exactly as a sensor read backwards would, which is what the SDK's Bayer
// mode 1 with its mirror adjustment expects. Samples are 10-bit, value =
// reflectance x exposure lines / 512 x analog gain x 1000, clipped at 1023;
// 8-bit frames carry the top eight bits. The first and last image rows carry
// the frame stamp (frame_stamp.h). Transfer bytes past the image are 0.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "virtcam/camera_registers.h"
#include "virtcam/scene.h"

namespace pelnik::virtcam {

inline constexpr double kMaxNoiseSigma = 100;

struct NoiseSettings {
  double sigma = 0;  // standard deviation in 10-bit steps (at most kMaxNoiseSigma); 0 = none
  std::uint32_t seed = 1;
};

struct FrameSettings {
  CameraRegisters registers = CameraRegisters::powerUp();
  std::uint32_t frameNumber = 1;
  int camera = 0;
  NoiseSettings noise;
};

// The 10-bit value a reflectance reaches at the settings' exposure and gain.
std::uint16_t exposedValue(int reflectance, const CameraRegisters &registers);

class FrameRenderer {
 public:
  explicit FrameRenderer(std::shared_ptr<const Scene> scene);

  // Fills `out` with the first out.size() bytes of the frame transfer.
  void render(const FrameSettings &settings, std::span<std::uint8_t> out);

  // The whole transfer (the registers' transfer length).
  std::vector<std::uint8_t> render(const FrameSettings &settings);

 private:
  struct MosaicKey {
    const ScenePicture *picture = nullptr;
    int firstColumn = 0, firstRow = 0, columns = 0, rows = 0, step = 0;
    bool mirrorH = false, mirrorV = false;
    bool operator==(const MosaicKey &) const = default;
  };
  void prepareMosaic(const ScenePicture &picture, const FrameLayout &layout);
  void drawPatch(const ScenePatch &patch, const FrameLayout &layout, std::uint16_t *frame10,
                 std::size_t pixels) const;

  std::shared_ptr<const Scene> scene_;
  // Reflectance of each output pixel's colour for the current geometry,
  // rebuilt only when the window, mirrors or picture change.
  MosaicKey mosaicKey_;
  std::vector<std::uint16_t> mosaic_;
  std::vector<std::uint16_t> frame10_;
};

}  // namespace pelnik::virtcam
