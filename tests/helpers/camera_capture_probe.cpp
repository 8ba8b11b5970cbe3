// Second process for the claim tests: opens camera 0 of the runtime
// directory it inherits, tries Pelnik_Capture and exits with the error codes
// it popped (second * 16 + first), 0 when the capture succeeded, 255 when no
// handle could be had.
#include "PelnikSdk_R5M_LX.h"

int main() {
  const int handle = Pelnik_Initialize(0);
  if (handle == 0) return 255;
  while (Pelnik_GetLastError(handle) != 0) {
  }
  const int captured = Pelnik_Capture(handle);
  const int first = Pelnik_GetLastError(handle);
  const int second = Pelnik_GetLastError(handle);
  Pelnik_Release(handle);
  if (captured) return 0;
  return (second & 15) * 16 + (first & 15);
}
