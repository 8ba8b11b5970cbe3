"""Loading the SDK's shared library and declaring the C functions used here.

The library is found, in this order, at the path in the environment variable
``PELNIK_LIBRARY``, at the place ``make install`` recorded beside this package
(``_installed.py``), and by its soname through the dynamic loader.
"""

from __future__ import annotations

import ctypes
import os
import threading
from pathlib import Path
from typing import Optional

SONAME = "libPelnikSdk_R5M_LX.so.1"

# Narrow text crosses the C interface as UTF-8.
ENCODING = "utf-8"


class PelnikMsg(ctypes.Structure):
    """One message taken from a message target."""

    _fields_ = [
        ("message", ctypes.c_uint),
        ("wParam", ctypes.c_size_t),
        ("lParam", ctypes.c_ssize_t),
    ]


class PelnikFrameInfo(ctypes.Structure):
    """The record whose address a frame message carries."""

    _fields_ = [
        ("size", ctypes.c_int),
        ("width", ctypes.c_int),
        ("height", ctypes.c_int),
        ("bitsPerPixel", ctypes.c_int),
        ("frameRate10", ctypes.c_int),
        ("buffer", ctypes.c_void_p),
    ]


_INT = ctypes.c_int
_PINT = ctypes.POINTER(ctypes.c_int)

# Functions whose arguments after the handle are not all plain ints.
_SIGNATURES: dict[str, list] = {
    "Pelnik_Initialize": [_INT],
    "Pelnik_GetDllVersion": [],
    "Pelnik_EnumDevice": [_INT, ctypes.c_char_p],
    "Pelnik_GetDeviceName": [_INT, _INT, ctypes.c_char_p, _INT],
    "Pelnik_GetCameraInfo": [_INT, _PINT],
    "Pelnik_GetCaptureWindowEx": [_INT, _PINT, _PINT, _PINT, _PINT, _PINT, _PINT],
    "Pelnik_CallBackPreview": [_INT, _INT, ctypes.c_void_p, _INT, _INT],
    "Pelnik_Trigger": [_INT, _INT, ctypes.c_void_p, _INT, _INT],
    "Pelnik_SnapShot": [_INT, ctypes.c_void_p, _INT, _INT],
    "Pelnik_GetImage": [_INT, ctypes.c_void_p, _INT, _INT],
    "Pelnik_SaveImage": [_INT, ctypes.c_char_p, _INT],
    "Pelnik_Record": [_INT, ctypes.c_char_p, _INT, _INT],
    "Pelnik_GetAutoIris": [_INT, _PINT],
    "Pelnik_GetRealExposureTime": [_INT, _PINT],
    "Pelnik_GetFilterValue": [_INT, _INT, _PINT],
    "PelnikMsg_Get": [_INT, ctypes.POINTER(PelnikMsg), _INT],
}


def _installed_library() -> Optional[Path]:
    try:
        from . import _installed  # written by `make install`
    except ImportError:
        return None
    path = (Path(__file__).resolve().parent / _installed.LIBRARY_FROM_PACKAGE).resolve()
    return path if path.exists() else None


class Library:
    """The loaded SDK with its functions typed on first use."""

    def __init__(self, path: Optional[str] = None) -> None:
        candidates: list[str] = []
        if path:
            candidates.append(path)
        else:
            env = os.environ.get("PELNIK_LIBRARY")
            if env:
                candidates.append(env)
            installed = _installed_library()
            if installed:
                candidates.append(str(installed))
            candidates.append(SONAME)
        errors = []
        self._dll: Optional[ctypes.CDLL] = None
        for candidate in candidates:
            try:
                self._dll = ctypes.CDLL(candidate)
                self.path = candidate
                break
            except OSError as exc:
                errors.append(f"{candidate}: {exc}")
        if self._dll is None:
            raise OSError(
                "cannot load the PelnikR5M-LX SDK library (set PELNIK_LIBRARY to its path): " + "; ".join(errors)
            )
        self._functions: dict[str, ctypes._CFuncPtr] = {}
        self._lock = threading.Lock()

    def has(self, name: str) -> bool:
        """Whether the loaded library defines `name`."""
        try:
            getattr(self._dll, name)
            return True
        except AttributeError:
            return False

    def __getattr__(self, name: str):
        if not (name.startswith("Pelnik_") or name.startswith("PelnikMsg_")):
            raise AttributeError(name)
        with self._lock:
            function = self._functions.get(name)
            if function is None:
                function = getattr(self._dll, name)
                function.restype = ctypes.c_int
                if name in _SIGNATURES:
                    function.argtypes = _SIGNATURES[name]
                elif name.startswith("Pelnik_Get") and name not in (
                    "Pelnik_GetColorMode",
                    "Pelnik_GetSubSample",
                    "Pelnik_GetWaitTime",
                    "Pelnik_GetMirrorV",
                    "Pelnik_GetMirrorH",
                    "Pelnik_GetLastError",
                    "Pelnik_GetConfigFilter",
                    "Pelnik_GetStatus",
                    "Pelnik_GetIOPort",
                ):
                    # The named filter getters: (handle, flag).
                    function.argtypes = [_INT, _PINT]
                self._functions[name] = function
        return function


_library: Optional[Library] = None
_library_lock = threading.Lock()


def library() -> Library:
    """The process's SDK library, loaded on first use."""
    global _library
    with _library_lock:
        if _library is None:
            _library = Library()
        return _library
