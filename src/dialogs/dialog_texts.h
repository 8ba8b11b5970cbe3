#pragma once
// The texts of the settings dialogs in English and Japanese. Tab labels of
// the analog and image dialogs are the same in both languages.
#include <array>
#include <string>

#include "ui/ui_language.h"

namespace pelnik::settings {

struct DialogTexts {
  bool japanese;
  const char *title;
  const char *ok;
  const char *cancel;
  const char *defaults;
  const char *apply;

  // Analog dialog.
  const char *analogTab;
  const char *globalGain;
  const char *colorGainG1;
  const char *colorGainR;
  const char *colorGainB;
  const char *colorGainG2;
  const char *exposure;
  const char *exposureTimeUnset;
  const char *mirrorV;
  const char *mirrorH;
  const char *autoIris;
  const char *autoIrisExposure;
  const char *autoIrisGain;

  // Image dialog.
  const char *imageTab;
  const char *grayTab;
  std::array<const char *, 9> filterLabels;  // brightness .. gamma
  const char *bayerMode;
  std::array<const char *, 4> bayerModes;
  const char *autoWhiteBalance;
  const char *once;
  const char *allFrames;
  const char *grayGain;
  const char *grayOffset;
  std::array<const char *, 4> graySites;  // red, green 1, green 2, blue
  const char *filterMode;
  std::array<const char *, 3> filterModes;
  const char *autoGain;

  // Camera dialog.
  const char *streamTab;
  const char *colorList;
  std::array<const char *, 6> colorModes;
  const char *sizeList;
  const char *custom;
  const char *subSampleList;
  std::array<const char *, 2> subSamples;
  const char *hTotal;
  const char *vTotal;
  const char *hEffective;
  const char *vEffective;
  const char *hStart;
  const char *vStart;
  const char *waitTime;
  const char *clockList;
  std::array<const char *, 3> clocks;  // the third is formatted with the high clock
  const char *note;
};

const DialogTexts &dialogTexts(platform::UiLanguage language);

// A list text with one %d, formatted ("High(%dMHz)" with 24).
std::string formatWithNumber(const char *pattern, int number);

// The high clock's frequency in MHz, shown in the clock list.
inline constexpr int kHighClockMhz = 24;

}  // namespace pelnik::settings
