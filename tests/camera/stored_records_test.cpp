// The camera's records and their stored forms: every field lands in its own
// counterpart, so a swapped pair (EH for EHS, red for blue) shows. The
// first check of each pair pins the forward conversion field by field; the
// round trip then pins the backward one.
#include "camera/stored_records.h"

#include <gtest/gtest.h>

namespace {

using namespace pelnik;

TEST(StoredRecords, SizePresetFieldsMapOneToOneAndLeaveTheSubsample) {
  VideoFormat format;
  format.TH = 1;
  format.TV = 2;
  format.EH = 3;
  format.EV = 4;
  format.EHS = 5;
  format.EVS = 6;
  format.Buf = 7;
  format.subSample = 1;
  EXPECT_EQ(sizePresetOf(format), (settings::SizePreset{1, 2, 3, 4, 5, 6, 7}));

  VideoFormat loaded;
  loaded.subSample = 1;
  assignSizePreset(loaded, settings::SizePreset{11, 12, 13, 14, 15, 16, 17});
  EXPECT_EQ(sizePresetOf(loaded), (settings::SizePreset{11, 12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(loaded.subSample, 1);
}

TEST(StoredRecords, AnalogValuesMapOneToOneAndLeaveTheIrisState) {
  AnalogSettings analog;
  analog.globalGain = 1;
  analog.gainGreen1 = 2;
  analog.gainRed = 3;
  analog.gainBlue = 4;
  analog.gainGreen2 = 5;
  analog.exposureLines = 6;
  analog.mirrorV = 7;
  analog.mirrorH = 8;
  analog.autoIrisMode = 9;
  analog.autoIrisState = 10;
  const settings::AnalogValues stored = analogValuesOf(analog);
  EXPECT_EQ(stored, (settings::AnalogValues{1, 2, 3, 4, 5, 6, 7, 8, 9}));

  AnalogSettings loaded;
  loaded.autoIrisState = 10;
  assignAnalogValues(loaded, settings::AnalogValues{21, 22, 23, 24, 25, 26, 27, 28, 29});
  EXPECT_EQ(analogValuesOf(loaded), (settings::AnalogValues{21, 22, 23, 24, 25, 26, 27, 28, 29}));
  EXPECT_EQ(loaded.autoIrisState, 10);
}

}  // namespace
