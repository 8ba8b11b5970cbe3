"""pelnik: the PelnikR5M-LX camera SDK for Python (ctypes and numpy).

    import pelnik
    print(pelnik.cameras())
    with pelnik.Camera(0) as cam:
        cam.color_mode = 24
        for picture in cam.frames(count=10):
            print(picture.shape, picture.dtype)

Every failure raises :class:`PelnikError` with the SDK's error code.
"""

from ._library import Library, library
from ._version import __version__
from .camera import FILE_FORMATS, Camera, CameraInfo, Limits, Recording, cameras, picture_shape
from .errors import FrameTimeout, PelnikError, meaning
from .messages import MessageTarget

__all__ = [
    "Camera",
    "CameraInfo",
    "FILE_FORMATS",
    "FrameTimeout",
    "Library",
    "Limits",
    "MessageTarget",
    "PelnikError",
    "Recording",
    "cameras",
    "library",
    "meaning",
    "picture_shape",
    "version",
]


def version() -> int:
    """The SDK library's version value (Pelnik_GetDllVersion)."""
    return library().Pelnik_GetDllVersion()
