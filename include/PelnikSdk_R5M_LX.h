/*
 * PelnikR5M-LX camera SDK: the C interface.
 *
 * Every function but Pelnik_Initialize and Pelnik_GetDllVersion takes the
 * camera handle returned by Pelnik_Initialize first. Results are 1 for
 * success and 0 for failure unless stated; the reason of a failure is popped
 * with Pelnik_GetLastError and is also posted as message PELNIK_WM_ERROR to
 * the owner window given to Pelnik_Initialize. On Windows window handles are
 * HWNDs, narrow text is in the calling thread's ANSI code page and the W
 * functions take UTF-16 text as wchar_t. On Linux window handles are the
 * message targets of PelnikMessages.h (owner and callback windows) or X window
 * ids (the preview window's parent), narrow text is UTF-8 and the W functions
 * take UTF-16 text as char16_t.
 *
 * Threads. Any function may be called from any thread, and calls on
 * different handles never wait for each other beyond a short handle lookup.
 * On one handle:
 *  - the settings' setters and getters (filter values and their named pairs,
 *    gain, exposure, mirrors, auto iris, colour mode, subsample, wait time,
 *    Pelnik_Width/Height, Pelnik_GetCaptureWindowEx), Pelnik_GetLastError,
 *    Pelnik_GetImage and Pelnik_SaveImage/SaveImageW may run at any time,
 *    also concurrently with each other and while acquisition runs; a changed
 *    setting takes effect with the next frame;
 *  - the acquisition calls (Pelnik_Preview, CallBackPreview, StartPreview,
 *    StopPreview, Close, Capture, SnapShot, Trigger) may come from several
 *    threads; the library runs them one at a time;
 *  - the calls that reconfigure the camera or reach its device directly
 *    (Pelnik_SetDeviceNumber, EnumDevice, GetDeviceName, SetCaptureWindow,
 *    SetCaptureWindowEx, the register, SROM and IO port functions) may come
 *    from several threads too; the library runs them one at a time, never
 *    during a snapshot's frame read nor while an acquisition starts or
 *    stops; Pelnik_SetPreviewWindow and LoadConfigFile may overlap with
 *    anything;
 *  - the settings dialogs must not overlap with each other or with an
 *    acquisition call on the same handle;
 *  - never call Pelnik_Release while another call on that handle is running
 *    or may still start: it destroys the camera when it returns.
 * Messages are posted, never sent: no call waits for the application's
 * message loop. The error history is shared by every thread using a handle;
 * PELNIK_WM_ERROR messages keep the order in which failures happened.
 */
#ifndef PELNIK_SDK_R5M_LX_H
#define PELNIK_SDK_R5M_LX_H

#if defined(_WIN32)
/* Windows: window handles are HWND (the STRICT declaration, the default of
 * <windows.h>), wide text is UTF-16 wchar_t, and every function is __stdcall
 * in the 32-bit DLL, as callers of such a DLL expect. */
#include <stddef.h>
struct HWND__;
typedef struct HWND__ *PelnikWindow;
typedef wchar_t PelnikChar16;
#define PELNIK_API
#if defined(_WIN64)
#define PELNIK_CALL
#else
#define PELNIK_CALL __stdcall
#endif
#else
#ifdef __cplusplus
#include <cstdint>
typedef char16_t PelnikChar16;
#else
#include <stdint.h>
#if defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#include <uchar.h>
typedef char16_t PelnikChar16;
#else
typedef uint_least16_t PelnikChar16;
#endif
#endif
/* Window handles are message targets of PelnikMessages.h or X window ids. */
typedef int PelnikWindow;
#if defined(PELNIK_BUILDING_SDK)
#define PELNIK_API __attribute__((visibility("default")))
#else
#define PELNIK_API
#endif
#define PELNIK_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Messages posted to application windows. */
#define PELNIK_WM_FRAME 0x8002 /* wParam: PelnikFrameInfo*, or 0 with lParam = error code */
#define PELNIK_WM_ERROR 0x8003 /* wParam 0, lParam error code */
/* A recording started by Pelnik_Record has ended and its file is complete:
 * posted to the owner window; wParam = PELNIK_RECORD_END_* (how it ended),
 * lParam = frames in the file. */
#define PELNIK_WM_RECORD_END 0x8004

/* How a recording ended (wParam of PELNIK_WM_RECORD_END). */
#define PELNIK_RECORD_END_DURATION 1     /* the requested duration has passed */
#define PELNIK_RECORD_END_STOPPED 2      /* Pelnik_StopPreview, Pelnik_Close, a dialog, release */
#define PELNIK_RECORD_END_WRITE_FAILED 3 /* the disk refused a write; PELNIK_ERR_FILE raised */
#define PELNIK_RECORD_END_SIZE_LIMIT 4   /* the next frame would take the file past 4 GiB */
#define PELNIK_RECORD_END_CAMERA_LOST 5  /* the camera stopped delivering frames */
#define PELNIK_RECORD_END_PICTURE_CHANGED 6 /* the pictures no longer have the movie's size */

/* Error codes popped by Pelnik_GetLastError. */
#define PELNIK_ERR_NONE 0
#define PELNIK_ERR_NO_DEVICE 1     /* no device, or wrong state for the call */
#define PELNIK_ERR_CAMERA_ABSENT 2 /* camera absent or claimed by another process */
#define PELNIK_ERR_THREAD 3        /* worker thread could not be started */
#define PELNIK_ERR_WINDOW 4        /* window or size preset unavailable */
#define PELNIK_ERR_MEMORY 5        /* memory or buffer too small */
#define PELNIK_ERR_IO 6            /* device input/output */
#define PELNIK_ERR_FORMAT 7        /* invalid video format */
#define PELNIK_ERR_ACQUISITION 8   /* frame acquisition failed */
#define PELNIK_ERR_ARGUMENT 9      /* invalid argument */
#define PELNIK_ERR_UNSUPPORTED 11  /* not supported by this camera model */
#define PELNIK_ERR_FILE 12         /* file error */
#define PELNIK_ERR_STOPPED 13      /* camera stopped delivering frames */

/* Still-image format codes of Pelnik_SaveImage. */
#define PELNIK_FILE_BMP 0
#define PELNIK_FILE_RAW 1
#define PELNIK_FILE_JPEG_HIGH 2 /* quality 100 */
#define PELNIK_FILE_JPEG_MID 3  /* quality 70 */
#define PELNIK_FILE_JPEG_LOW 4  /* quality 20 */
#define PELNIK_FILE_PNG 5
#define PELNIK_FILE_TIFF 6

/* The record whose address a frame message carries; overwritten by the
 * next frame. `size` holds sizeof(PelnikFrameInfo). */
typedef struct PelnikFrameInfo {
  int size;
  int width;
  int height;
  int bitsPerPixel;
  int frameRate10; /* frames per second times ten */
  void *buffer;    /* the application buffer the picture was copied into */
} PelnikFrameInfo;
#if defined(__cplusplus) && defined(PELNIK_BUILDING_SDK) && defined(_WIN32) && !defined(_WIN64)
/* The 32-bit DLL hands out the record as six 32-bit ints. */
static_assert(sizeof(PelnikFrameInfo) == 6 * 4, "PelnikFrameInfo is six 32-bit fields on x86");
static_assert(offsetof(PelnikFrameInfo, buffer) == 5 * 4, "buffer is the sixth field on x86");
#endif

/* Library and handles */
PELNIK_API int PELNIK_CALL Pelnik_Initialize(PelnikWindow ownerWindow);
PELNIK_API int PELNIK_CALL Pelnik_Release(int handle);
PELNIK_API int PELNIK_CALL Pelnik_GetDllVersion(void);
PELNIK_API int PELNIK_CALL Pelnik_GetLastError(int handle);

/* Camera selection and information. `names` holds at least 10 slots of 256
 * characters; `info` starts with its size in bytes (at least 36). */
PELNIK_API int PELNIK_CALL Pelnik_EnumDevice(int handle, char *names);
PELNIK_API int PELNIK_CALL Pelnik_EnumDeviceW(int handle, PelnikChar16 *names);
PELNIK_API int PELNIK_CALL Pelnik_GetDeviceName(int handle, int number, char *text, int length);
PELNIK_API int PELNIK_CALL Pelnik_GetDeviceNameW(int handle, int number, PelnikChar16 *text,
                                                 int length);
PELNIK_API int PELNIK_CALL Pelnik_SetDeviceNumber(int handle, int number);
PELNIK_API int PELNIK_CALL Pelnik_GetCameraInfo(int handle, int *info);

/* Video format */
PELNIK_API int PELNIK_CALL Pelnik_SetCaptureWindow(int handle, int width, int height);
PELNIK_API int PELNIK_CALL Pelnik_SetCaptureWindowEx(int handle, int hTotal, int hStart,
                                                     int hEffective, int vTotal, int vStart,
                                                     int vEffective);
PELNIK_API int PELNIK_CALL Pelnik_GetCaptureWindowEx(int handle, int *hTotal, int *hStart,
                                                     int *hEffective, int *vTotal, int *vStart,
                                                     int *vEffective);
PELNIK_API int PELNIK_CALL Pelnik_Width(int handle);
PELNIK_API int PELNIK_CALL Pelnik_Height(int handle);
PELNIK_API int PELNIK_CALL Pelnik_SetColorMode(int handle, int bits);
PELNIK_API int PELNIK_CALL Pelnik_GetColorMode(int handle);
PELNIK_API int PELNIK_CALL Pelnik_SetSubSample(int handle, int value);
PELNIK_API int PELNIK_CALL Pelnik_GetSubSample(int handle);
PELNIK_API int PELNIK_CALL Pelnik_SetWaitTime(int handle, int milliseconds);
PELNIK_API int PELNIK_CALL Pelnik_GetWaitTime(int handle);

/* Acquisition. Row order 1 delivers memory rows top first, 0 reversed.
 *
 * A start refused because another acquisition runs (Pelnik_Preview or
 * Pelnik_CallBackPreview during triggered acquisition or after
 * Pelnik_Capture, Pelnik_Trigger during continuous acquisition or after
 * Pelnik_Capture) leaves that acquisition running untouched: it keeps its
 * callback window, buffer and row order, and nothing of the refused call is
 * kept, so the application may free the buffer it offered at once. A start
 * that fails for another reason keeps the window and buffer of the last
 * accepted start for a later Pelnik_StartPreview. Pelnik_StopPreview and
 * Pelnik_Close end the wait time between frames (Pelnik_SetWaitTime) at
 * once. A camera that cannot be reached once acquisition has started is
 * reported as PELNIK_ERR_STOPPED, by the error form of PELNIK_WM_FRAME and
 * the error history, and acquisition then waits for a stop. */
PELNIK_API int PELNIK_CALL Pelnik_SetPreviewWindow(int handle, PelnikWindow parentWindow, int left,
                                                   int top, int right, int bottom);
PELNIK_API int PELNIK_CALL Pelnik_Preview(int handle);
PELNIK_API int PELNIK_CALL Pelnik_CallBackPreview(int handle, PelnikWindow callbackWindow,
                                                  void *buffer, int size, int rowOrder);
PELNIK_API int PELNIK_CALL Pelnik_StartPreview(int handle);
PELNIK_API int PELNIK_CALL Pelnik_StopPreview(int handle);
PELNIK_API int PELNIK_CALL Pelnik_Close(int handle);
PELNIK_API int PELNIK_CALL Pelnik_Capture(int handle);
PELNIK_API int PELNIK_CALL Pelnik_SnapShot(int handle, void *buffer, int size, int rowOrder);
PELNIK_API int PELNIK_CALL Pelnik_Trigger(int handle, PelnikWindow callbackWindow, void *buffer,
                                          int size, int rowOrder);
PELNIK_API int PELNIK_CALL Pelnik_GetImage(int handle, void *buffer, int size, int rowOrder);
PELNIK_API int PELNIK_CALL Pelnik_GetStatus(int handle, int ignored);

/* Output files */
PELNIK_API int PELNIK_CALL Pelnik_SaveImage(int handle, const char *fileName, int format);
PELNIK_API int PELNIK_CALL Pelnik_SaveImageW(int handle, const PelnikChar16 *fileName, int format);
/* Records the processed pictures into an uncompressed AVI file (24-bit frames,
 * every colour mode) for `duration` milliseconds, taken as unsigned: the
 * recording ends at the first frame more than `duration` after its first
 * frame (0 records two frames; 0xFFFFFFFF, or -1, records until stopped).
 * Starts continuous acquisition when it is not running. The file is locked
 * while it is written: a second recorder on it fails with PELNIK_ERR_FILE.
 * While a recording runs on the camera, another Pelnik_Record fails with
 * PELNIK_ERR_NO_DEVICE and leaves the running one alone. Every ending
 * (duration, stop, release, full disk, size limit, camera lost) leaves a
 * complete, playable file and posts PELNIK_WM_RECORD_END. A refused start
 * leaves a running acquisition and its callback destination as they were;
 * a started recording takes over: frames are no longer copied to the
 * callback buffer. */
PELNIK_API int PELNIK_CALL Pelnik_Record(int handle, const char *fileName, int duration,
                                         int showWindow);
PELNIK_API int PELNIK_CALL Pelnik_RecordW(int handle, const PelnikChar16 *fileName, int duration,
                                          int showWindow);

/* Settings dialogs and configuration files. A dialog is modal on the
   calling thread and returns 1 once closed; parentWindow is an X window id
   on Linux, an HWND on Windows (the dialog is transient for it). One dialog is shown at a time in
   the process: another thread's request waits. An FLTK application calls them from the thread that
   runs its FLTK loop. Without a display they act as Cancel, return 1 and post notification 4. */
PELNIK_API int PELNIK_CALL Pelnik_SetAnalogDlg(int handle, PelnikWindow parentWindow);
PELNIK_API int PELNIK_CALL Pelnik_SetCameraDlg(int handle, PelnikWindow parentWindow);
PELNIK_API int PELNIK_CALL Pelnik_SetImageDlg(int handle, PelnikWindow parentWindow);
PELNIK_API int PELNIK_CALL Pelnik_LoadConfigFileA(int handle, const char *path);
PELNIK_API int PELNIK_CALL Pelnik_LoadConfigFileW(int handle, const PelnikChar16 *path);

/* Sensor and device access. `flag` pointers are optional and receive 1 on
 * success, 0 on failure. */
PELNIK_API int PELNIK_CALL Pelnik_ReadRegister(int handle, int reg, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_ReadRegisterEx(int handle, int reg, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_WriteRegister(int handle, int reg, int value);
PELNIK_API int PELNIK_CALL Pelnik_WriteRegisterEx(int handle, int reg, int value);
PELNIK_API int PELNIK_CALL Pelnik_ReadSromID(int handle, int index, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_WriteSromID(int handle, int index, int value);
PELNIK_API int PELNIK_CALL Pelnik_GetIOPort(int handle, unsigned char *value, int reserved1,
                                            int reserved2);
PELNIK_API int PELNIK_CALL Pelnik_SetIOPort(int handle, int value);
PELNIK_API int PELNIK_CALL Pelnik_SetMirrorV(int handle, int on);
PELNIK_API int PELNIK_CALL Pelnik_GetMirrorV(int handle);
PELNIK_API int PELNIK_CALL Pelnik_SetMirrorH(int handle, int on);
PELNIK_API int PELNIK_CALL Pelnik_GetMirrorH(int handle);
PELNIK_API int PELNIK_CALL Pelnik_SetAutoIris(int handle, int mode);
PELNIK_API int PELNIK_CALL Pelnik_GetAutoIris(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetRealExposureTime(int handle, int microseconds);
PELNIK_API int PELNIK_CALL Pelnik_GetRealExposureTime(int handle, int *flag);

/* Filter values: identifiers 1..28 (see the named pairs below). */
PELNIK_API int PELNIK_CALL Pelnik_SetFilterValue(int handle, int id, int value);
PELNIK_API int PELNIK_CALL Pelnik_GetFilterValue(int handle, int id, int *flag);

PELNIK_API int PELNIK_CALL Pelnik_SetBrightness(int handle, int value); /* id 1 */
PELNIK_API int PELNIK_CALL Pelnik_GetBrightness(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetContrast(int handle, int value); /* id 2 */
PELNIK_API int PELNIK_CALL Pelnik_GetContrast(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetHue(int handle, int value); /* id 3 */
PELNIK_API int PELNIK_CALL Pelnik_GetHue(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetSaturation(int handle, int value); /* id 4 */
PELNIK_API int PELNIK_CALL Pelnik_GetSaturation(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetSharpness(int handle, int value); /* id 5 */
PELNIK_API int PELNIK_CALL Pelnik_GetSharpness(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetBayerGainRGB(int handle, int value); /* id 6 */
PELNIK_API int PELNIK_CALL Pelnik_GetBayerGainRGB(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetBayerGainRed(int handle, int value); /* id 7 */
PELNIK_API int PELNIK_CALL Pelnik_GetBayerGainRed(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetBayerGainGreen(int handle, int value); /* id 8 */
PELNIK_API int PELNIK_CALL Pelnik_GetBayerGainGreen(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetBayerGainBlue(int handle, int value); /* id 9 */
PELNIK_API int PELNIK_CALL Pelnik_GetBayerGainBlue(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetBayerGainAuto(int handle, int value); /* id 10 */
PELNIK_API int PELNIK_CALL Pelnik_GetBayerGainAuto(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGamma(int handle, int value); /* id 11 */
PELNIK_API int PELNIK_CALL Pelnik_GetGamma(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetBayerMode(int handle, int value); /* id 12 */
PELNIK_API int PELNIK_CALL Pelnik_GetBayerMode(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGlobalGain(int handle, int value); /* id 13 */
PELNIK_API int PELNIK_CALL Pelnik_GetGlobalGain(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetColorGainRed(int handle, int value); /* id 14 */
PELNIK_API int PELNIK_CALL Pelnik_GetColorGainRed(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetColorGainGreen1(int handle, int value); /* id 15 */
PELNIK_API int PELNIK_CALL Pelnik_GetColorGainGreen1(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetColorGainGreen2(int handle, int value); /* id 16 */
PELNIK_API int PELNIK_CALL Pelnik_GetColorGainGreen2(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetColorGainBlue(int handle, int value); /* id 17 */
PELNIK_API int PELNIK_CALL Pelnik_GetColorGainBlue(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetExposureTime(int handle, int value); /* id 18 */
PELNIK_API int PELNIK_CALL Pelnik_GetExposureTime(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayMode(int handle, int value); /* id 19 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayMode(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayGainR(int handle, int value); /* id 20 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayGainR(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayGainG1(int handle, int value); /* id 21 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayGainG1(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayGainG2(int handle, int value); /* id 22 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayGainG2(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayGainB(int handle, int value); /* id 23 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayGainB(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayOffsetR(int handle, int value); /* id 24 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayOffsetR(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayOffsetG1(int handle, int value); /* id 25 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayOffsetG1(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayOffsetG2(int handle, int value); /* id 26 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayOffsetG2(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetGrayOffsetB(int handle, int value); /* id 27 */
PELNIK_API int PELNIK_CALL Pelnik_GetGrayOffsetB(int handle, int *flag);

/* Not supported by this camera model: the first seven post PELNIK_ERR_UNSUPPORTED
 * and return 0; the two getters clear their flag and return 0; the
 * configuration-filter pair records PELNIK_ERR_UNSUPPORTED and returns -1. */
PELNIK_API int PELNIK_CALL Pelnik_SetSamplingRate(int handle, int value);
PELNIK_API int PELNIK_CALL Pelnik_SetHalfClock(int handle, int value);
PELNIK_API int PELNIK_CALL Pelnik_GetHalfClock(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetCrossbar(int handle, int value);
PELNIK_API int PELNIK_CALL Pelnik_Fps(int handle);
PELNIK_API int PELNIK_CALL Pelnik_Fpga_ReadRegister(int handle, int reg, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_Fpga_WriteRegister(int handle, int reg, int value);
PELNIK_API int PELNIK_CALL Pelnik_GetSamplingRate(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_GetVideoFormat(int handle, int *flag);
PELNIK_API int PELNIK_CALL Pelnik_SetConfigFilter(int handle, int value);
PELNIK_API int PELNIK_CALL Pelnik_GetConfigFilter(int handle);

#ifdef __cplusplus
}
#endif

#endif /* PELNIK_SDK_R5M_LX_H */
