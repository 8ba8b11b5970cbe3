/* PelnikModes.h: the colour modes and subsample values of the camera,
 * header-only, for C and C++. The library, the tools, the GStreamer element
 * and the Python package read these facts from here. */
#ifndef PELNIK_MODES_H
#define PELNIK_MODES_H

/* One colour mode. Applications set it by `setBits` (Pelnik_SetColorMode)
 * and read it back as `reportedBits` (Pelnik_GetColorMode: the 16-bit modes
 * report their significant bits); the finished picture has `outputBits` per
 * pixel in `channels` channels (blue, green, red, x) of 8 or 16 bits. The
 * camera stores a mode by its position in the table. */
typedef struct PelnikColourModeInfo {
  int setBits;
  int reportedBits;
  int outputBits;
  int channels;
} PelnikColourModeInfo;

#define PELNIK_COLOUR_MODE_COUNT 6

static const PelnikColourModeInfo kPelnikColourModes[PELNIK_COLOUR_MODE_COUNT] = {
    {8, 8, 8, 1},    {16, 10, 16, 1}, {24, 24, 24, 3},
    {32, 32, 32, 4}, {48, 42, 48, 3}, {64, 58, 64, 4},
};

/* Bits of one sample of a mode's picture: 8 or 16. */
static inline int PelnikColourModeSampleBits(const PelnikColourModeInfo *mode) {
  return mode->outputBits / mode->channels;
}

/* The mode set by `setBits`, or by its reported bits; null for neither. */
static inline const PelnikColourModeInfo *PelnikColourModeForBits(int bits) {
  int i;
  for (i = 0; i < PELNIK_COLOUR_MODE_COUNT; ++i)
    if (kPelnikColourModes[i].setBits == bits || kPelnikColourModes[i].reportedBits == bits)
      return &kPelnikColourModes[i];
  return 0;
}

/* The divisor a subsample value applies to the picture's width and height.
 * The sensor takes 0 (full) and 1 (half); 2, 3 (and 17..19, the same with
 * the high bit) name quarter and eighth pictures it refuses. */
static inline int PelnikSubsampleDivisor(int subsample) {
  switch (subsample) {
    case 1:
    case 17:
      return 2;
    case 2:
    case 18:
      return 4;
    case 3:
    case 19:
      return 8;
    default:
      return 1;
  }
}

#endif /* PELNIK_MODES_H */
