/* The smallest program with the SDK: open camera 0, take one 8-bit picture,
 * print its size and mean. Build: cc snapshot.c $(pkg-config --cflags --libs pelniksdk) */
#include <PelnikMessages.h>
#include <PelnikSdk_R5M_LX.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  const int number = argc > 1 ? atoi(argv[1]) : 0;
  const int owner = PelnikMsg_CreateWindow();
  const int camera = Pelnik_Initialize(owner);
  int status = 1;
  if (!camera || !Pelnik_SetDeviceNumber(camera, number) || !Pelnik_SetColorMode(camera, 8)) {
    fprintf(stderr, "camera %d: SDK error %d\n", number, camera ? Pelnik_GetLastError(camera) : 5);
    goto done;
  }
  const int width = Pelnik_Width(camera), height = Pelnik_Height(camera);
  const int stride = (width + 3) & ~3; /* rows are padded to 4 bytes */
  unsigned char *picture = malloc((size_t)stride * (size_t)height);
  if (picture && Pelnik_SnapShot(camera, picture, stride * height, 1)) {
    double sum = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) sum += picture[(size_t)y * stride + x];
    printf("%d x %d, mean %.1f\n", width, height, sum / ((double)width * height));
    status = 0;
  } else {
    fprintf(stderr, "snapshot: SDK error %d\n", Pelnik_GetLastError(camera));
  }
  free(picture);
done:
  if (camera) Pelnik_Release(camera);
  PelnikMsg_DestroyWindow(owner);
  return status;
}
