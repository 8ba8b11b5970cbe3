/* PelnikTiming.h: the sensor's nominal frame timing, header-only, for C and C++.
 *
 * The sensor reads one line per line period and a frame takes as many line
 * periods as it reads rows, or as its exposure lasts in lines when that is
 * longer: full frame at about 31 frames per second. */
#ifndef PELNIK_TIMING_H
#define PELNIK_TIMING_H

/* One sensor line: 896 pixel clocks, in nanoseconds. */
#define PELNIK_SENSOR_LINE_PERIOD_NS 31438.6

/* The nominal frame period in nanoseconds for a picture of `rows` rows
 * (after subsampling) and an exposure of `exposureLines` lines. */
static inline double PelnikNominalFramePeriodNs(int rows, int exposureLines) {
  const int lines = rows > exposureLines ? rows : exposureLines;
  return (lines > 0 ? lines : 1) * PELNIK_SENSOR_LINE_PERIOD_NS;
}

#endif /* PELNIK_TIMING_H */
