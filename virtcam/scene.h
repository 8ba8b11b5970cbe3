#pragma once
// What the virtual camera looks at: a picture in sensor coordinates of
// linear reflectance per colour (0 .. kFullReflectance), plus small patches
// that change from frame to frame (the moving element, the frame counter).
// Scenes are immutable once built, so any number of threads may render
// from one scene at the same time.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelnik::virtcam {

inline constexpr int kFullReflectance = 4095;

struct ScenePicture {
  int width = 0;
  int height = 0;
  // Planes red, green, blue, row-major, width x height each.
  std::vector<std::uint16_t> plane[3];

  ScenePicture() = default;
  ScenePicture(int w, int h);
  std::uint16_t at(int colour, int x, int y) const {
    return plane[colour][std::size_t(y) * std::size_t(width) + std::size_t(x)];
  }
  void set(int x, int y, std::uint16_t r, std::uint16_t g, std::uint16_t b);
  void fill(int x, int y, int w, int h, std::uint16_t r, std::uint16_t g, std::uint16_t b);
};

// A patch drawn over the picture at (x, y), sensor coordinates.
struct ScenePatch {
  int x = 0;
  int y = 0;
  ScenePicture picture;
};

class Scene {
 public:
  virtual ~Scene() = default;
  // The picture seen in frame `frameNumber` (sensor-sized).
  virtual const ScenePicture &picture(std::uint32_t frameNumber) const = 0;
  // Patches of frame `frameNumber`, drawn in order over the picture.
  virtual std::vector<ScenePatch> patches(std::uint32_t frameNumber) const = 0;
};

// The built-in test chart: colour patches, a grey ramp, fine line pairs,
// a disc moving along a track and a visible frame counter.
std::shared_ptr<const Scene> makeTestChart();

// One picture in every frame: nothing moves, so frames differ only in their
// stamp rows.
std::shared_ptr<const Scene> makeStillScene(ScenePicture picture);

// The user's own pictures: one image file (PNG, TIFF, BMP) or every such
// file of a directory in name order, one picture per frame in turn, each
// fitted into the sensor with its aspect kept. Null with `error` filled when
// nothing could be loaded.
std::shared_ptr<const Scene> loadSceneFrom(const std::string &path, std::string &error);

// An image file as a picture of its own size; false with `error` filled.
bool loadPicture(const std::string &file, ScenePicture &picture, std::string &error);

// `source` fitted into a width x height picture, centred, aspect kept,
// black borders.
ScenePicture fitPicture(const ScenePicture &source, int width, int height);

}  // namespace pelnik::virtcam
