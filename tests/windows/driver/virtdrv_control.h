#pragma once
/* What the virtual driver adds to the camera's interface, for tests only:
   a buffered request (no input, 4-byte output) answering how many device
   control requests it has forwarded to the virtual camera since it started. */
#define PELNIK_VIRTDRV_COUNT_CODE 0x223FFCu /* device type 0x22, function 0x8FF, buffered */

/* The virtual camera's pipes the driver forwards to: "\\.\pipe\<base>-<unit>",
   a name the SDK itself never opens, so every request a test sees answered
   came through the driver. */
#define PELNIK_VIRTDRV_BACKEND_BASE "PNikR5MLXDrv"
#define PELNIK_VIRTDRV_SERVICE "pelnikvirtdrv"

/* The service key's REG_DWORD naming the cameras to create devices for, a bit
   per camera number (bit 0: \\.\PNikR5MLX-0); camera 0 alone without it. */
#define PELNIK_VIRTDRV_CAMERAS_VALUE "Cameras"
