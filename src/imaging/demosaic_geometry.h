#pragma once
// Where the demosaic's border kernel reads and writes.
namespace pelnik::demosaic_geometry {

// A neighbour coordinate outside 0..size-1 moved back inside without
// changing its Bayer colour: by 4, as the border rule has it, or by 2 in a
// picture narrower (or lower) than 4, which the rule would read past. A
// picture of one column or row has no second colour to keep; it reads 0.
inline int fold(int c, int size) {
  if (c >= 0 && c < size) return c;
  const int step = size >= 4 ? 4 : size >= 2 ? 2 : 0;
  if (step == 0) return 0;
  return c < 0 ? c + step : c - step;
}

// The two outermost rows and columns on each side.
inline bool onBorder(int x, int y, int width, int height) {
  return y < 2 || y >= height - 2 || x < 2 || x >= width - 2;
}

}  // namespace pelnik::demosaic_geometry
