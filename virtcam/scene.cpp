#include "virtcam/scene.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "virtcam/camera_registers.h"

namespace pelnik::virtcam {

ScenePicture::ScenePicture(int w, int h) : width(w), height(h) {
  for (auto &p : plane) p.assign(std::size_t(w) * std::size_t(h), 0);
}

void ScenePicture::set(int x, int y, std::uint16_t r, std::uint16_t g, std::uint16_t b) {
  const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
  plane[0][i] = r;
  plane[1][i] = g;
  plane[2][i] = b;
}

void ScenePicture::fill(int x, int y, int w, int h, std::uint16_t r, std::uint16_t g,
                        std::uint16_t b) {
  const int x1 = std::min(width, x + w), y1 = std::min(height, y + h);
  for (int yy = std::max(0, y); yy < y1; ++yy)
    for (int xx = std::max(0, x); xx < x1; ++xx) set(xx, yy, r, g, b);
}

ScenePicture fitPicture(const ScenePicture &source, int width, int height) {
  ScenePicture out(width, height);
  if (source.width <= 0 || source.height <= 0) return out;
  // Largest size with the source's aspect that fits, centred.
  const double scale = std::min(double(width) / source.width, double(height) / source.height);
  const int w = std::max(1, int(std::lround(source.width * scale)));
  const int h = std::max(1, int(std::lround(source.height * scale)));
  const int x0 = (width - w) / 2, y0 = (height - h) / 2;
  for (int y = 0; y < h; ++y) {
    const int sy = std::min(source.height - 1, int(std::int64_t(y) * source.height / h));
    for (int x = 0; x < w; ++x) {
      const int sx = std::min(source.width - 1, int(std::int64_t(x) * source.width / w));
      out.set(x0 + x, y0 + y, source.at(0, sx, sy), source.at(1, sx, sy), source.at(2, sx, sy));
    }
  }
  return out;
}

namespace {

std::uint16_t reflectance(double fraction) {
  return std::uint16_t(std::lround(std::clamp(fraction, 0.0, 1.0) * kFullReflectance));
}

// sRGB-encoded 8-bit value to linear reflectance.
std::uint16_t fromSrgb(int value) {
  const double v = value / 255.0;
  return reflectance(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
}

struct Rgb8 {
  int r, g, b;
};

// A classic 24-patch colour checker, sRGB-encoded.
constexpr Rgb8 kColourPatches[24] = {
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
    {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
    {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
    {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
    {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52}};

// 5 x 7 digit glyphs, one byte per row, bit 4 = leftmost column.
constexpr std::uint8_t kDigitGlyphs[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};

constexpr int kMargin = 48;
constexpr int kPatchSize = 112, kPatchPitch = 128;
constexpr int kTrackTop = 800, kTrackHeight = 96, kDiscRadius = 40;
constexpr int kDiscTravel = kSensorWidth - 2 * kMargin - kTrackHeight;
constexpr int kDiscStepPerFrame = 12;
constexpr int kCounterTop = 920, kCounterDigits = 8, kGlyphScale = 6;

const std::uint16_t kBackground = reflectance(0.40);
const std::uint16_t kWhite = reflectance(0.90);
const std::uint16_t kBlack = reflectance(0.02);
const std::uint16_t kTrack = reflectance(0.10);

class TestChart final : public Scene {
 public:
  TestChart() : chart_(kSensorWidth, kSensorHeight) { draw(); }

  const ScenePicture &picture(std::uint32_t) const override { return chart_; }

  std::vector<ScenePatch> patches(std::uint32_t frameNumber) const override {
    std::vector<ScenePatch> out;
    out.push_back(movingDisc(frameNumber));
    out.push_back(counter(frameNumber));
    return out;
  }

 private:
  void draw() {
    chart_.fill(0, 0, kSensorWidth, kSensorHeight, kBackground, kBackground, kBackground);
    for (int i = 0; i < 24; ++i) {
      const int x = kMargin + (i % 6) * kPatchPitch, y = kMargin + (i / 6) * kPatchPitch;
      const Rgb8 c = kColourPatches[i];
      chart_.fill(x, y, kPatchSize, kPatchSize, fromSrgb(c.r), fromSrgb(c.g), fromSrgb(c.b));
    }
    drawLinePairs(832, kMargin, true);
    drawLinePairs(832, kMargin + 256, false);
    // Continuous grey ramp, then eleven steps.
    const int rampLeft = kMargin, rampWidth = kSensorWidth - 2 * kMargin;
    for (int x = 0; x < rampWidth; ++x) {
      const std::uint16_t v = std::uint16_t(x * kFullReflectance / (rampWidth - 1));
      chart_.fill(rampLeft + x, 592, 1, 96, v, v, v);
    }
    for (int s = 0; s < 11; ++s) {
      const std::uint16_t v = reflectance(s / 10.0);
      chart_.fill(rampLeft + s * rampWidth / 11, 704, rampWidth / 11, 64, v, v, v);
    }
    chart_.fill(0, kTrackTop, kSensorWidth, kTrackHeight, kTrack, kTrack, kTrack);
  }

  // Four blocks of bars with periods 2, 4, 8 and 16 pixels.
  void drawLinePairs(int left, int top, bool vertical) {
    for (int block = 0; block < 4; ++block) {
      const int period = 2 << block;
      for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 96; ++x) {
          const int along = vertical ? x : y;
          const std::uint16_t v = (along % period) < period / 2 ? kWhite : kBlack;
          chart_.set(left + block * 100 + x, top + y, v, v, v);
        }
    }
  }

  static ScenePatch movingDisc(std::uint32_t frameNumber) {
    ScenePatch p{0, kTrackTop, ScenePicture(kTrackHeight, kTrackHeight)};
    p.x = kMargin + int((std::uint64_t(frameNumber) * kDiscStepPerFrame) % kDiscTravel);
    const int c = kTrackHeight / 2;
    for (int y = 0; y < kTrackHeight; ++y)
      for (int x = 0; x < kTrackHeight; ++x) {
        const bool inside = (x - c) * (x - c) + (y - c) * (y - c) <= kDiscRadius * kDiscRadius;
        const std::uint16_t v = inside ? kWhite : kTrack;
        p.picture.set(x, y, v, inside ? kWhite : kTrack, v);
      }
    return p;
  }

  static ScenePatch counter(std::uint32_t frameNumber) {
    constexpr int cell = (5 + 1) * kGlyphScale;
    ScenePatch p{kMargin, kCounterTop,
                 ScenePicture(kCounterDigits * cell + kGlyphScale * 3, 7 * kGlyphScale + 12)};
    p.picture.fill(0, 0, p.picture.width, p.picture.height, kBlack, kBlack, kBlack);
    std::uint32_t n = frameNumber;
    for (int d = kCounterDigits - 1; d >= 0; --d, n /= 10) {
      const auto &glyph = kDigitGlyphs[n % 10];
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (glyph[row] & (0x10 >> col))
            p.picture.fill(kGlyphScale * 2 + d * cell + col * kGlyphScale, 6 + row * kGlyphScale,
                           kGlyphScale, kGlyphScale, kWhite, kWhite, kWhite);
    }
    return p;
  }

  ScenePicture chart_;
};

class PictureSequence final : public Scene {
 public:
  explicit PictureSequence(std::vector<ScenePicture> pictures) : pictures_(std::move(pictures)) {}
  const ScenePicture &picture(std::uint32_t frameNumber) const override {
    // Frame numbers start at 1: the first frame shows the first picture.
    return pictures_[(frameNumber == 0 ? 0 : frameNumber - 1) % pictures_.size()];
  }
  std::vector<ScenePatch> patches(std::uint32_t) const override { return {}; }

 private:
  std::vector<ScenePicture> pictures_;
};

bool isPictureFile(const std::filesystem::path &path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".png" || ext == ".tif" || ext == ".tiff" || ext == ".bmp";
}

}  // namespace

std::shared_ptr<const Scene> makeTestChart() { return std::make_shared<TestChart>(); }

std::shared_ptr<const Scene> makeStillScene(ScenePicture picture) {
  std::vector<ScenePicture> one;
  one.push_back(std::move(picture));
  return std::make_shared<PictureSequence>(std::move(one));
}

std::shared_ptr<const Scene> loadSceneFrom(const std::string &path, std::string &error) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    for (const auto &entry : fs::directory_iterator(path, ec))
      if (entry.is_regular_file(ec) && isPictureFile(entry.path())) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
      error = "no PNG, TIFF or BMP file in " + path;
      return nullptr;
    }
  } else {
    files.push_back(path);
  }
  std::vector<ScenePicture> pictures;
  for (const auto &file : files) {
    ScenePicture picture;
    if (!loadPicture(file.string(), picture, error)) return nullptr;
    pictures.push_back(fitPicture(picture, kSensorWidth, kSensorHeight));
  }
  return std::make_shared<PictureSequence>(std::move(pictures));
}

}  // namespace pelnik::virtcam
