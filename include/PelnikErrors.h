/* PelnikErrors.h: the error codes of PelnikSdk_R5M_LX.h in words.
 *
 * Header-only, for C and C++: the tools, the GStreamer element and the
 * Python package (whose table a test checks against this one) print the
 * same words for the same code. One entry a line, code first. */
#ifndef PELNIK_ERRORS_H
#define PELNIK_ERRORS_H

#include <stddef.h>
#include <stdio.h>

#include "PelnikSdk_R5M_LX.h"

typedef struct PelnikErrorEntry {
  int code;
  const char *text;
} PelnikErrorEntry;

/* clang-format off */
static const PelnikErrorEntry PelnikErrorTable[] = {
  {PELNIK_ERR_NONE, "failed without an error code"},
  {PELNIK_ERR_NO_DEVICE, "no camera is open, or the camera is busy with another acquisition"},
  {PELNIK_ERR_CAMERA_ABSENT, "the camera is not connected or another process is using it"},
  {PELNIK_ERR_THREAD, "a worker thread could not be started"},
  {PELNIK_ERR_WINDOW, "the window or capture region is not available"},
  {PELNIK_ERR_MEMORY, "out of memory, or the buffer is too small for the picture"},
  {PELNIK_ERR_IO, "the camera did not answer a command"},
  {PELNIK_ERR_FORMAT, "the colour mode or video format is not valid"},
  {PELNIK_ERR_ACQUISITION, "the camera could not deliver a picture"},
  {PELNIK_ERR_ARGUMENT, "a value is out of range"},
  {PELNIK_ERR_UNSUPPORTED, "this camera model does not support the call"},
  {PELNIK_ERR_FILE, "the file could not be written"},
  {PELNIK_ERR_STOPPED, "the camera stopped delivering pictures"},
};
/* clang-format on */

/* The words for an error code; "unknown error" for a code not listed. */
static inline const char *PelnikErrorText(int code) {
  size_t i;
  for (i = 0; i < sizeof PelnikErrorTable / sizeof PelnikErrorTable[0]; ++i)
    if (PelnikErrorTable[i].code == code) return PelnikErrorTable[i].text;
  return "unknown error";
}

/* "TEXT (error N)" into out (size bytes, terminated when size > 0); returns
 * out. The form every tool prints. */
static inline char *PelnikErrorDescribe(int code, char *out, size_t size) {
  if (size > 0) snprintf(out, size, "%s (error %d)", PelnikErrorText(code), code);
  return out;
}

#endif /* PELNIK_ERRORS_H */
