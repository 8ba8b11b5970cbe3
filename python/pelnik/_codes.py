"""The numbers of the SDK's public headers, by name.

Error codes, their words (the table of PelnikErrors.h), message numbers,
recording endings and still-image formats. A test checks every value here
against include/PelnikSdk_R5M_LX.h and include/PelnikErrors.h, so the
package never carries a number of its own for them.
"""

ERR_NONE = 0
ERR_NO_DEVICE = 1
ERR_CAMERA_ABSENT = 2
ERR_THREAD = 3
ERR_WINDOW = 4
ERR_MEMORY = 5
ERR_IO = 6
ERR_FORMAT = 7
ERR_ACQUISITION = 8
ERR_ARGUMENT = 9
ERR_UNSUPPORTED = 11
ERR_FILE = 12
ERR_STOPPED = 13

# The words of each code, as PelnikErrorText gives them.
ERROR_TEXTS = {
    ERR_NONE: "failed without an error code",
    ERR_NO_DEVICE: "no camera is open, or the camera is busy with another acquisition",
    ERR_CAMERA_ABSENT: "the camera is not connected or another process is using it",
    ERR_THREAD: "a worker thread could not be started",
    ERR_WINDOW: "the window or capture region is not available",
    ERR_MEMORY: "out of memory, or the buffer is too small for the picture",
    ERR_IO: "the camera did not answer a command",
    ERR_FORMAT: "the colour mode or video format is not valid",
    ERR_ACQUISITION: "the camera could not deliver a picture",
    ERR_ARGUMENT: "a value is out of range",
    ERR_UNSUPPORTED: "this camera model does not support the call",
    ERR_FILE: "the file could not be written",
    ERR_STOPPED: "the camera stopped delivering pictures",
}
UNKNOWN_ERROR_TEXT = "unknown error"

WM_FRAME = 0x8002
WM_ERROR = 0x8003
WM_RECORD_END = 0x8004

RECORD_END_DURATION = 1
RECORD_END_STOPPED = 2
RECORD_END_WRITE_FAILED = 3
RECORD_END_SIZE_LIMIT = 4
RECORD_END_CAMERA_LOST = 5
RECORD_END_PICTURE_CHANGED = 6

FILE_BMP = 0
FILE_RAW = 1
FILE_JPEG_HIGH = 2
FILE_JPEG_MID = 3
FILE_JPEG_LOW = 4
FILE_PNG = 5
FILE_TIFF = 6

# The colour modes of PelnikModes.h: (set bits, reported bits, output bits
# per pixel, channels), in the order the camera stores them.
COLOUR_MODES = (
    (8, 8, 8, 1),
    (16, 10, 16, 1),
    (24, 24, 24, 3),
    (32, 32, 32, 4),
    (48, 42, 48, 3),
    (64, 58, 64, 4),
)

# PelnikSubsampleDivisor of PelnikModes.h: the divisor of each subsample value
# that has one (every other value divides by 1).
SUBSAMPLE_DIVISORS = {1: 2, 17: 2, 2: 4, 18: 4, 3: 8, 19: 8}
