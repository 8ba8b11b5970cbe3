// Opens one camera handle through the public interface and reports the
// library version and the open's last error.
#include <cstdio>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"

int main() {
  const int owner = PelnikMsg_CreateWindow();
  const int handle = Pelnik_Initialize(owner);
  std::printf("PelnikSdk_R5M_LX version %d\n", Pelnik_GetDllVersion());
  if (handle == 0) {
    std::printf("Pelnik_Initialize failed\n");
    return 1;
  }
  std::printf("camera handle %d, last error %d\n", handle, Pelnik_GetLastError(handle));
  Pelnik_Release(handle);
  PelnikMsg_DestroyWindow(owner);
  return 0;
}
