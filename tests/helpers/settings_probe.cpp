// Opens camera 0 in a process of its own and prints the values it loaded:
// "gamma gain exposure mirrorV colour", or "error N" when the open failed.
#include <cstdio>

#include "PelnikSdk_R5M_LX.h"

int main() {
  const int handle = Pelnik_Initialize(0);
  const int error = Pelnik_GetLastError(handle);
  if (handle == 0 || error != 0) {
    std::printf("error %d\n", error);
    return 1;
  }
  std::printf("%d %d %d %d %d\n", Pelnik_GetGamma(handle, nullptr),
              Pelnik_GetGlobalGain(handle, nullptr), Pelnik_GetExposureTime(handle, nullptr),
              Pelnik_GetMirrorV(handle), Pelnik_GetColorMode(handle));
  Pelnik_Release(handle);
  return 0;
}
