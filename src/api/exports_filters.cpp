// The filter-value family: the generic pair and its 27 named forwards.
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "camera/CPelnik.h"

using pelnik::CPelnik;

// Each named member forwards to the generic pair with its identifier.
#define PELNIK_FILTER_VALUES(X) \
  X(Brightness, 1)              \
  X(Contrast, 2)                \
  X(Hue, 3)                     \
  X(Saturation, 4)              \
  X(Sharpness, 5)               \
  X(BayerGainRGB, 6)            \
  X(BayerGainRed, 7)            \
  X(BayerGainGreen, 8)          \
  X(BayerGainBlue, 9)           \
  X(BayerGainAuto, 10)          \
  X(Gamma, 11)                  \
  X(BayerMode, 12)              \
  X(GlobalGain, 13)             \
  X(ColorGainRed, 14)           \
  X(ColorGainGreen1, 15)        \
  X(ColorGainGreen2, 16)        \
  X(ColorGainBlue, 17)          \
  X(ExposureTime, 18)           \
  X(GrayMode, 19)               \
  X(GrayGainR, 20)              \
  X(GrayGainG1, 21)             \
  X(GrayGainG2, 22)             \
  X(GrayGainB, 23)              \
  X(GrayOffsetR, 24)            \
  X(GrayOffsetG1, 25)           \
  X(GrayOffsetG2, 26)           \
  X(GrayOffsetB, 27)

extern "C" {

int PELNIK_CALL Pelnik_SetFilterValue(int handle, int id, int value) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.SetFilterValue(id, value); });
}

int PELNIK_CALL Pelnik_GetFilterValue(int handle, int id, int *flag) {
  return pelnik::withCamera(handle, [=](CPelnik &c) { return c.GetFilterValue(id, flag); });
}

#define PELNIK_DEFINE_FILTER_PAIR(Name, id)                 \
  int PELNIK_CALL Pelnik_Set##Name(int handle, int value) { \
    return Pelnik_SetFilterValue(handle, id, value);        \
  }                                                         \
  int PELNIK_CALL Pelnik_Get##Name(int handle, int *flag) { \
    return Pelnik_GetFilterValue(handle, id, flag);         \
  }
PELNIK_FILTER_VALUES(PELNIK_DEFINE_FILTER_PAIR)
#undef PELNIK_DEFINE_FILTER_PAIR

}  // extern "C"
