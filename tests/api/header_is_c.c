/* The public headers compile as C99 and link against the library. */
#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"

int main(void) {
  PelnikFrameInfo info;
  PelnikMsg msg;
  info.size = (int)sizeof info;
  msg.message = 0;
  (void)msg;
  return Pelnik_GetDllVersion() == 28181791 && info.size > 0 ? 0 : 1;
}
