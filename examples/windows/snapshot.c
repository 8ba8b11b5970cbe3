/* Takes one picture from camera 0 and saves it as a BMP file: the smallest
 * Windows application of the SDK. Build with MinGW against an installed SDK:
 *   x86_64-w64-mingw32-gcc snapshot.c -I<sdk>/include <sdk>/lib/libPelnikSdk_R5M_LX.dll.a
 * or with Visual Studio: cl snapshot.c /I<sdk>\include <sdk>\lib\PelnikSdk_R5M_LX.lib
 * and run it with PelnikSdk_R5M_LX.dll beside it. */
#include <PelnikSdk_R5M_LX.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char **argv) {
  const char *file = argc > 1 ? argv[1] : "snapshot.bmp";
  /* No owner window: errors are popped with Pelnik_GetLastError. */
  int camera = Pelnik_Initialize(NULL);
  if (!camera) {
    fprintf(stderr, "out of memory\n");
    return 1;
  }
  int width = Pelnik_Width(camera), height = Pelnik_Height(camera);
  int size = width * height * 3;
  void *picture = size > 0 ? malloc((size_t)size) : NULL;
  int ok = picture && Pelnik_SnapShot(camera, picture, size, 1) &&
           Pelnik_SaveImage(camera, file, PELNIK_FILE_BMP);
  if (ok) {
    printf("version %d: %dx%d picture saved as %s\n", Pelnik_GetDllVersion(), width, height, file);
  } else {
    fprintf(stderr, "failed: error %d\n", Pelnik_GetLastError(camera));
  }
  free(picture);
  Pelnik_Release(camera);
  return ok ? 0 : 1;
}
