"""Cameras as Python objects: video format and filter values as properties,
pictures as numpy arrays.

Pictures are numpy arrays shaped by the colour mode: uint8 (H, W) for 8,
uint16 (H, W) holding 10 significant bits for 16, uint8 (H, W, 3) for 24 and
(H, W, 4) for 32, uint16 (H, W, 3) for 48 and (H, W, 4) for 64. Colour
samples are in the SDK's order, blue first (as OpenCV expects). Row 0 is the
top line.

Every picture a stream yields is a copy that owns its memory. The stream is
started without a buffer of ours, so the SDK never writes into Python
memory; for each frame message the newest picture is copied with
``Pelnik_GetImage``, which holds the camera's frame lock, so a picture is
never half of one frame and half of the next. A copy per frame (0.2 ms
for a full colour frame, 0.4 ms at 64 bits per pixel) was preferred to
rotating buffers: the SDK takes one buffer per stream, so rotation would
mean restarting the stream.
"""

from __future__ import annotations

import asyncio
import ctypes
import difflib
import os
import time
import warnings
import weakref
from pathlib import Path
from typing import AsyncIterator, Callable, Dict, Iterator, List, NamedTuple, Optional, Tuple, Union

import numpy as np

from ._library import ENCODING, Library, PelnikFrameInfo, library
from .errors import FrameTimeout, PelnikError
from . import _codes
from .messages import WM_ERROR, WM_FRAME, WM_RECORD_END, MessageTarget

# Bits per pixel of the finished picture for each Pelnik_GetColorMode value;
# Pelnik_GetColorMode reports the 16-bit modes by their significant bits.
_BITS_OF_REPORTED_MODE = {reported: bits for bits, reported, _, _ in _codes.COLOUR_MODES}

# dtype and channels of a picture of each bits per pixel.
_LAYOUT: Dict[int, Tuple[type, int]] = {
    bits: (np.uint8 if output // channels == 8 else np.uint16, channels)
    for bits, _, output, channels in _codes.COLOUR_MODES
}

# Subsample values and the divisor they apply to the picture size.
_SUBSAMPLE_DIVISOR = _codes.SUBSAMPLE_DIVISORS

# Still-image format names and their Pelnik_SaveImage codes.
FILE_FORMATS: Dict[str, int] = {
    "bmp": _codes.FILE_BMP,
    "raw": _codes.FILE_RAW,
    "jpeg": _codes.FILE_JPEG_HIGH,
    "jpeg100": _codes.FILE_JPEG_HIGH,
    "jpeg70": _codes.FILE_JPEG_MID,
    "jpeg20": _codes.FILE_JPEG_LOW,
    "png": _codes.FILE_PNG,
    "tiff": _codes.FILE_TIFF,
}
_SUFFIX_FORMATS = {
    ".bmp": "bmp",
    ".raw": "raw",
    ".jpg": "jpeg",
    ".jpeg": "jpeg",
    ".png": "png",
    ".tif": "tiff",
    ".tiff": "tiff",
}

# Frame-message error forms: a failed acquisition is one lost frame, the stream goes on.
_FRAME_FAILED = _codes.ERR_ACQUISITION

_ROW_ORDER_TOP_FIRST = 1


class CameraInfo(NamedTuple):
    """A camera present on this computer."""

    number: int
    name: str


class Limits(NamedTuple):
    """The sensor's size, gain and exposure limits (Pelnik_GetCameraInfo)."""

    width: int
    height: int
    gain_min: int
    gain_max: int
    exposure_min: int
    exposure_max: int


def picture_shape(width: int, height: int, bits: int) -> Tuple[Tuple[int, ...], type]:
    """Shape and dtype of a picture of this size and bits per pixel."""
    dtype, channels = _LAYOUT[bits]
    shape = (height, width) if channels == 1 else (height, width, channels)
    return shape, dtype


def _new_picture(
    width: int, height: int, bits: int, fill: Callable[[int, int], None], out: Optional[np.ndarray] = None
) -> np.ndarray:
    """A picture filled by `fill(address, size)` with rows padded to 4 bytes.

    With `out` (a view made by :func:`_picture_view`) the picture is written
    there and `out` is returned; rows that need padding pass through a scratch
    buffer kept with the view's owner, so nothing is allocated per picture.
    """
    shape, dtype = picture_shape(width, height, bits)
    row = width * bits // 8
    stride = (row + 3) & ~3
    if stride == row:
        picture = np.empty(shape, dtype) if out is None else out
        fill(picture.ctypes.data, max(picture.nbytes, 1))
        return picture
    if out is None:
        padded = np.empty((height, stride), np.uint8)
        fill(padded.ctypes.data, padded.nbytes)
        return np.ascontiguousarray(padded[:, :row].view(dtype).reshape(shape))
    padded = _scratch_for(out, height * stride).reshape(height, stride)
    fill(padded.ctypes.data, padded.nbytes)
    np.copyto(out.view(np.uint8).reshape(height, row), padded[:, :row])
    return out


_SCRATCH: "weakref.WeakKeyDictionary[object, np.ndarray]" = weakref.WeakKeyDictionary()


def _scratch_for(out: np.ndarray, size: int) -> np.ndarray:
    """A byte buffer of `size` kept as long as `out`'s memory lives."""
    owner = out.base if out.base is not None else out
    try:
        scratch = _SCRATCH.get(owner)
    except TypeError:  # an owner without weak references: no reuse
        return np.empty(size, np.uint8)
    if scratch is None or scratch.size != size:
        scratch = np.empty(size, np.uint8)
        _SCRATCH[owner] = scratch
    return scratch


def _picture_view(out: object, width: int, height: int, bits: int) -> np.ndarray:
    """`out` as a writable numpy array of the picture's shape and dtype, sharing its memory.

    Takes a numpy array or any writable, C-contiguous object with the buffer
    protocol; raises ValueError (TypeError for no buffer at all) otherwise.
    """
    shape, dtype = picture_shape(width, height, bits)
    if isinstance(out, np.ndarray):
        if out.shape != shape or out.dtype != np.dtype(dtype):
            raise ValueError(f"out is {out.dtype}{list(out.shape)}; the picture is {np.dtype(dtype)}{list(shape)}")
        if not out.flags.writeable or not out.flags.c_contiguous:
            raise ValueError("out must be writable and C-contiguous")
        return out
    try:
        view = memoryview(out)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"out must be a numpy array or a writable buffer, not {type(out).__name__}") from None
    if view.readonly or not view.c_contiguous:
        raise ValueError("out must be writable and C-contiguous")
    nbytes = int(np.prod(shape)) * np.dtype(dtype).itemsize
    plain_bytes = view.ndim <= 1 and view.itemsize == 1
    if view.nbytes != nbytes or not (
        plain_bytes or (view.shape == shape and view.itemsize == np.dtype(dtype).itemsize)
    ):
        raise ValueError(
            f"out holds {view.nbytes} bytes in shape {list(view.shape)}; the picture needs {nbytes} bytes "
            f"as {np.dtype(dtype)}{list(shape)}"
        )
    return np.frombuffer(view.cast("B"), np.uint8).view(dtype).reshape(shape)


def _release(lib: Library, handle: int, owner: MessageTarget) -> None:
    # Release stops acquisition and recording before the handle goes.
    lib.Pelnik_Release(handle)
    owner.close()


class _FilterValue:
    """A filter value by its name, read and set through the SDK's named pair.

    The SDK checks the range; a value outside it raises PelnikError code 9.
    """

    def __init__(self, thing: str, doc: str, alias: bool = False) -> None:
        self.thing = thing
        self.alias = alias
        self.name = ""  # the attribute's name, set when the class is made
        self.__doc__ = doc

    def __set_name__(self, owner: type, name: str) -> None:
        self.name = name

    def __get__(self, camera: Optional["Camera"], owner: type) -> Union[int, "_FilterValue"]:
        if camera is None:
            return self
        return camera._get_flagged("Pelnik_Get" + self.thing)

    def __set__(self, camera: "Camera", value: int) -> None:
        camera._call("Pelnik_Set" + self.thing, int(value))


def cameras(lib: Optional[Library] = None) -> List[CameraInfo]:
    """The cameras present, as ``Pelnik_EnumDevice`` finds them, with their numbers."""
    lib = lib or library()
    with MessageTarget(lib) as owner:
        handle = lib.Pelnik_Initialize(owner.handle)
        if handle == 0:
            raise PelnikError(_codes.ERR_MEMORY, "Pelnik_Initialize")
        try:
            names = ctypes.create_string_buffer(256 * 32)
            present = lib.Pelnik_EnumDevice(handle, names)
            found = []
            text = ctypes.create_string_buffer(256)
            number = 0
            # The enumeration counts present cameras; their numbers come from
            # the name function, which answers only for present ones.
            while len(found) < present and number < 32:
                if lib.Pelnik_GetDeviceName(handle, number, text, len(text)):
                    found.append(CameraInfo(number, text.value.decode(ENCODING)))
                number += 1
            return found
        finally:
            lib.Pelnik_Release(handle)


def _settable_names(cls: type) -> List[str]:
    return [
        name
        for klass in cls.__mro__
        for name, attr in vars(klass).items()
        if not name.startswith("_") and hasattr(attr, "__set__")
    ]


class Camera:
    """One camera, opened by number; a context manager that releases it.

    >>> with pelnik.Camera(0) as cam:
    ...     cam.color_mode = 24
    ...     cam.gamma = 100
    ...     for picture in cam.frames(count=10):
    ...         print(picture.shape)
    """

    brightness = _FilterValue("Brightness", "Brightness (filter value 1).")
    contrast = _FilterValue("Contrast", "Contrast (filter value 2).")
    hue = _FilterValue("Hue", "Hue rotation (filter value 3).")
    saturation = _FilterValue("Saturation", "Saturation (filter value 4).")
    sharpness = _FilterValue("Sharpness", "Sharpness (filter value 5).")
    bayer_gain_rgb = _FilterValue(
        "BayerGainRGB", "Red, green and blue Bayer gains packed in bits 0-7, 8-15, 16-23 (filter value 6)."
    )
    bayer_gain_red = _FilterValue("BayerGainRed", "Red Bayer gain, 100 = unity (filter value 7).")
    bayer_gain_green = _FilterValue("BayerGainGreen", "Green Bayer gain, 100 = unity (filter value 8).")
    bayer_gain_blue = _FilterValue("BayerGainBlue", "Blue Bayer gain, 100 = unity (filter value 9).")
    bayer_gain_auto = _FilterValue("BayerGainAuto", "Automatic white balance on (1) or off (0) (filter value 10).")
    gamma = _FilterValue("Gamma", "Gamma (filter value 11).")
    bayer_mode = _FilterValue("BayerMode", "Which colour sits at the first pixel, 0..3 (filter value 12).")
    global_gain = _FilterValue("GlobalGain", "Sensor gain, sent to the sensor at once (filter value 13).")
    color_gain_red = _FilterValue("ColorGainRed", "Per-channel sensor gain, always 0 on this model (filter value 14).")
    color_gain_green1 = _FilterValue("ColorGainGreen1", "Per-channel sensor gain, always 0 (filter value 15).")
    color_gain_green2 = _FilterValue("ColorGainGreen2", "Per-channel sensor gain, always 0 (filter value 16).")
    color_gain_blue = _FilterValue("ColorGainBlue", "Per-channel sensor gain, always 0 (filter value 17).")
    exposure_time = _FilterValue(
        "ExposureTime", "Exposure in sensor lines, sent to the sensor at once (filter value 18)."
    )
    gray_mode = _FilterValue("GrayMode", "Gray mode (filter value 19).")
    gray_gain_r = _FilterValue("GrayGainR", "Gray gain of the R site (filter value 20).")
    gray_gain_g1 = _FilterValue("GrayGainG1", "Gray gain of the G1 site (filter value 21).")
    gray_gain_g2 = _FilterValue("GrayGainG2", "Gray gain of the G2 site (filter value 22).")
    gray_gain_b = _FilterValue("GrayGainB", "Gray gain of the B site (filter value 23).")
    gray_offset_r = _FilterValue("GrayOffsetR", "Gray offset of the R site (filter value 24).")
    gray_offset_g1 = _FilterValue("GrayOffsetG1", "Gray offset of the G1 site (filter value 25).")
    gray_offset_g2 = _FilterValue("GrayOffsetG2", "Gray offset of the G2 site (filter value 26).")
    gray_offset_b = _FilterValue("GrayOffsetB", "Gray offset of the B site (filter value 27).")

    # The one identifier without a named pair.
    _GRAY_CALIBRATION_ID = 28

    # The names pelnik-capture and pelniksrc use for the same settings.
    gain = _FilterValue("GlobalGain", "Sensor gain: the name of global_gain in pelnik-capture and pelniksrc.", True)
    exposure_lines = _FilterValue(
        "ExposureTime",
        "Exposure in sensor lines: the name of exposure_time in pelnik-capture and pelniksrc.",
        True,
    )

    def __setattr__(self, name: str, value) -> None:
        # A misspelt setting must fail, not become a new attribute that the
        # camera never sees.
        if not name.startswith("_") and name != "number":
            attr = getattr(type(self), name, None)
            if not hasattr(attr, "__set__"):
                close = difflib.get_close_matches(name, _settable_names(type(self)), n=3)
                hint = f" (did you mean {' or '.join(close)}?)" if close else ""
                raise AttributeError(f"Camera has no setting '{name}'{hint}")
        super().__setattr__(name, value)

    def __init__(self, number: int = 0, *, lib: Optional[Library] = None) -> None:
        """Open camera `number`; raises PelnikError (code 2) when it is absent."""
        self._lib = lib or library()
        self._owner = MessageTarget(self._lib)
        self._handle = self._lib.Pelnik_Initialize(self._owner.handle)
        if self._handle == 0:
            self._owner.close()
            raise PelnikError(_codes.ERR_MEMORY, "Pelnik_Initialize")
        self._finalizer = weakref.finalize(self, _release, self._lib, self._handle, self._owner)
        self._streaming = False
        try:
            self._call("Pelnik_SetDeviceNumber", int(number))
        except BaseException:
            self.close()
            raise
        self.number = int(number)

    # -- life cycle ---------------------------------------------------------

    @property
    def closed(self) -> bool:
        return not self._finalizer.alive

    @property
    def handle(self) -> int:
        """The SDK's camera handle, for calls this class does not wrap."""
        if self.closed:
            raise PelnikError(_codes.ERR_NO_DEVICE, "", "camera closed")
        return self._handle

    def close(self) -> None:
        """Stop acquisition and recording and release the camera."""
        self._finalizer()

    def __enter__(self) -> "Camera":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"handle {self._handle}"
        return f"<pelnik.Camera number={getattr(self, 'number', '?')} {state}>"

    # -- calls and errors ---------------------------------------------------

    def _error(self, function: str, detail: Optional[str] = None) -> PelnikError:
        """The failure of the call just made: the newest code it posted to the
        owner target (some failures are only posted), else the newest code
        in the error history."""
        posted = [int(lparam) for message, _, lparam in self._owner.drain() if message == WM_ERROR]
        code = posted[-1] if posted else self._lib.Pelnik_GetLastError(self._handle)
        return PelnikError(code, function, detail)

    def _call(self, function: str, *args) -> int:
        """Call an export that returns 1/0; raise PelnikError on 0."""
        handle = self.handle
        self._owner.drain()  # notices of earlier calls and of the acquisition thread
        result = getattr(self._lib, function)(handle, *args)
        if result == 0:
            raise self._error(function)
        return result

    def _get_flagged(self, function: str, *args) -> int:
        """Call a getter with a success flag; raise PelnikError when the flag says failure."""
        handle = self.handle
        self._owner.drain()
        flag = ctypes.c_int(0)
        value = getattr(self._lib, function)(handle, *args, ctypes.byref(flag))
        if flag.value != 1:
            raise self._error(function)
        return value

    # -- camera information -------------------------------------------------

    @property
    def limits(self) -> Limits:
        """Sensor size and the gain and exposure ranges."""
        info = (ctypes.c_int * 9)(36)
        self._call("Pelnik_GetCameraInfo", info)
        return Limits(info[1], info[2], info[3], info[4], info[7], info[8])

    @property
    def name(self) -> str:
        text = ctypes.create_string_buffer(256)
        self._call("Pelnik_GetDeviceName", self.number, text, len(text))
        return text.value.decode(ENCODING)

    # -- video format -------------------------------------------------------

    @property
    def window(self) -> Tuple[int, int, int, int]:
        """Region of interest as (x, y, width, height) on the 1280 x 1024 sensor."""
        values = [ctypes.c_int() for _ in range(6)]
        self._call("Pelnik_GetCaptureWindowEx", *[ctypes.byref(v) for v in values])
        _, x, w, _, y, h = (v.value for v in values)
        return x, y, w, h

    @window.setter
    def window(self, region: Tuple[int, int, int, int]) -> None:
        x, y, w, h = (int(v) for v in region)
        values = [ctypes.c_int() for _ in range(6)]
        self._call("Pelnik_GetCaptureWindowEx", *[ctypes.byref(v) for v in values])
        total_h, total_v = values[0].value, values[3].value
        self._call("Pelnik_SetCaptureWindowEx", total_h, x, w, total_v, y, h)

    @property
    def width(self) -> int:
        """Width of the region of interest (before subsampling)."""
        return self._lib.Pelnik_Width(self.handle)

    @property
    def height(self) -> int:
        """Height of the region of interest (before subsampling)."""
        return self._lib.Pelnik_Height(self.handle)

    @property
    def subsample(self) -> int:
        """0, or 1 for half width and height."""
        return self._lib.Pelnik_GetSubSample(self.handle)

    @subsample.setter
    def subsample(self, value: int) -> None:
        self._owner.drain()
        if self._lib.Pelnik_SetSubSample(self.handle, int(value)) == 0:
            raise self._error("Pelnik_SetSubSample", f"{value} refused; 0 or 1")

    @property
    def color_mode(self) -> int:
        """Bits per pixel of the pictures: 8, 16, 24, 32, 48 or 64 (applies from the next stream)."""
        reported = self._lib.Pelnik_GetColorMode(self.handle)
        if reported not in _BITS_OF_REPORTED_MODE:
            raise self._error("Pelnik_GetColorMode")
        return _BITS_OF_REPORTED_MODE[reported]

    @color_mode.setter
    def color_mode(self, bits: int) -> None:
        self._call("Pelnik_SetColorMode", int(bits))

    @property
    def wait_time(self) -> int:
        """Pause of the acquisition loop between frames, in milliseconds."""
        return self._lib.Pelnik_GetWaitTime(self.handle)

    @wait_time.setter
    def wait_time(self, ms: int) -> None:
        self._owner.drain()
        if self._lib.Pelnik_SetWaitTime(self.handle, int(ms)) == 0:
            raise self._error("Pelnik_SetWaitTime", f"{ms} refused; 0 or more")

    @property
    def picture_size(self) -> Tuple[int, int]:
        """(width, height) of the pictures: the window divided by the subsample."""
        divisor = _SUBSAMPLE_DIVISOR.get(self.subsample, 1)
        return self.width // divisor, self.height // divisor

    @property
    def picture_shape(self) -> Tuple[Tuple[int, ...], type]:
        """Shape and dtype of the pictures of the current format."""
        w, h = self.picture_size
        return picture_shape(w, h, self.color_mode)

    # -- sensor -------------------------------------------------------------

    @property
    def exposure_us(self) -> int:
        """Exposure in microseconds (whole sensor lines)."""
        return self._get_flagged("Pelnik_GetRealExposureTime")

    @exposure_us.setter
    def exposure_us(self, microseconds: int) -> None:
        self._call("Pelnik_SetRealExposureTime", int(microseconds))

    @property
    def mirror_v(self) -> bool:
        return bool(self._lib.Pelnik_GetMirrorV(self.handle))

    @mirror_v.setter
    def mirror_v(self, on: bool) -> None:
        self._call("Pelnik_SetMirrorV", int(bool(on)))

    @property
    def mirror_h(self) -> bool:
        return bool(self._lib.Pelnik_GetMirrorH(self.handle))

    @mirror_h.setter
    def mirror_h(self, on: bool) -> None:
        self._call("Pelnik_SetMirrorH", int(bool(on)))

    @property
    def auto_iris(self) -> int:
        """Automatic exposure: 0 off, 1 by exposure, 2 by gain."""
        return self._get_flagged("Pelnik_GetAutoIris")

    @auto_iris.setter
    def auto_iris(self, mode: int) -> None:
        self._call("Pelnik_SetAutoIris", int(mode))

    @property
    def gray_calibration(self) -> int:
        """Gray gain calibration request, 0 or 1 (filter value 28)."""
        return self._get_flagged("Pelnik_GetFilterValue", self._GRAY_CALIBRATION_ID)

    @gray_calibration.setter
    def gray_calibration(self, value: int) -> None:
        self._call("Pelnik_SetFilterValue", self._GRAY_CALIBRATION_ID, int(value))

    def filter_values(self) -> Dict[str, int]:
        """Every named filter value, by property name."""
        return {
            name: getattr(self, name)
            for name, attr in type(self).__dict__.items()
            if isinstance(attr, _FilterValue) and not attr.alias
        }

    # -- pictures -----------------------------------------------------------

    def snapshot(self, out: Optional[object] = None) -> np.ndarray:
        """Take one picture (Pelnik_SnapShot) while no stream runs.

        With `out` (a numpy array of :attr:`picture_shape`, or any writable
        buffer of as many bytes) the picture is written there and returned
        as a numpy array sharing its memory.
        """
        w, h = self.picture_size
        bits = self.color_mode
        target = None if out is None else _picture_view(out, w, h, bits)

        def fill(address: int, size: int) -> None:
            self._call("Pelnik_SnapShot", address, size, _ROW_ORDER_TOP_FIRST)

        return _new_picture(w, h, bits, fill, target)

    def image(self) -> np.ndarray:
        """A copy of the last processed picture (Pelnik_GetImage)."""
        w, h = self.picture_size
        return self._picture(w, h, self.color_mode)

    def _picture(self, width: int, height: int, bits: int, out: Optional[object] = None) -> np.ndarray:
        def fill(address: int, size: int) -> None:
            self._call("Pelnik_GetImage", address, size, _ROW_ORDER_TOP_FIRST)

        target = None if out is None else _picture_view(out, width, height, bits)
        return _new_picture(width, height, bits, fill, target)

    def frames(
        self, count: Optional[int] = None, timeout: Optional[float] = 6.0, out: Optional[object] = None
    ) -> Iterator[np.ndarray]:
        """Stream pictures (Pelnik_CallBackPreview): yields `count` pictures, or until closed.

        When the consumer is slower than the camera, pictures are skipped and
        the newest is yielded. FrameTimeout is raised when nothing arrives
        for `timeout` seconds (None waits without limit). Leaving the loop
        stops the stream.

        With `out` (a numpy array of :attr:`picture_shape`, or any writable
        buffer of as many bytes) every picture is written there, so the loop
        allocates nothing per picture; each yielded array shares its memory
        and is overwritten by the next picture. A wrong `out` raises
        ValueError before the stream starts.
        """
        if out is not None:
            w, h = self.picture_size
            _picture_view(out, w, h, self.color_mode)
        with _Stream(self, "Pelnik_CallBackPreview") as stream:
            yield from stream.pictures(count, timeout, out)

    def trigger(self, count: Optional[int] = None, timeout: Optional[float] = None) -> Iterator[np.ndarray]:
        """Triggered acquisition (Pelnik_Trigger): one picture per trigger of the camera."""
        with _Stream(self, "Pelnik_Trigger") as stream:
            yield from stream.pictures(count, timeout)

    async def aframes(self, count: Optional[int] = None, timeout: Optional[float] = 6.0) -> AsyncIterator[np.ndarray]:
        """The asyncio form of :meth:`frames`, woken by the message target's descriptor.

        Use it inside ``contextlib.aclosing`` (or close the camera) so that
        leaving the loop early stops the stream at once.
        """
        loop = asyncio.get_running_loop()
        with _Stream(self, "Pelnik_CallBackPreview") as stream:
            ready = asyncio.Event()
            fd = stream.target.fileno()
            loop.add_reader(fd, ready.set)
            try:
                delivered = 0
                while count is None or delivered < count:
                    picture = stream.next_picture(0)
                    if picture is None:
                        ready.clear()
                        picture = stream.next_picture(0)
                    if picture is None:
                        try:
                            await asyncio.wait_for(ready.wait(), timeout)
                        except asyncio.TimeoutError:
                            raise FrameTimeout(timeout or 0, stream.function) from None
                        continue
                    delivered += 1
                    yield picture
            finally:
                loop.remove_reader(fd)

    def stop(self) -> None:
        """Stop acquisition and any recording (Pelnik_StopPreview)."""
        self._call("Pelnik_StopPreview")

    # -- files --------------------------------------------------------------

    def save(self, path: Union[str, os.PathLike], format: Union[str, int, None] = None) -> Path:
        """Save the current picture (Pelnik_SaveImage).

        `format` is a name of FILE_FORMATS, an SDK format code, or None to
        take it from the file's suffix. A picture must have been taken.
        """
        path = Path(path)
        if format is None:
            name = _SUFFIX_FORMATS.get(path.suffix.lower())
            if name is None:
                raise PelnikError(_codes.ERR_ARGUMENT, "Pelnik_SaveImage", f"no format for suffix '{path.suffix}'")
            code = FILE_FORMATS[name]
        elif isinstance(format, str):
            if format.lower() not in FILE_FORMATS:
                raise PelnikError(_codes.ERR_ARGUMENT, "Pelnik_SaveImage", f"unknown format '{format}'")
            code = FILE_FORMATS[format.lower()]
        else:
            code = int(format)
        self._call("Pelnik_SaveImage", os.fsencode(path), code)
        return path

    # -- settings dialogs ----------------------------------------------------

    def analog_dialog(self, parent: int = 0) -> None:
        """Show the analog dialog (gain, exposure, mirrors, auto iris) and return once it is closed.

        The dialog is modal on the calling thread; `parent` is an X window id
        it stays above (0: none). OK keeps what the user set, Cancel gives
        the camera its earlier values back. Without a display nothing is
        shown and PelnikError 4 is raised.
        """
        self._dialog("Pelnik_SetAnalogDlg", parent)

    def image_dialog(self, parent: int = 0) -> None:
        """Show the image dialog (filters, or the grey page in the monochrome modes); see analog_dialog."""
        self._dialog("Pelnik_SetImageDlg", parent)

    def camera_dialog(self, parent: int = 0) -> None:
        """Show the camera dialog (video format and size presets); see analog_dialog.

        A stream that ran is stopped while the dialog is open and restarted
        with the accepted format.
        """
        self._dialog("Pelnik_SetCameraDlg", parent)

    def _dialog(self, function: str, parent: int) -> None:
        # The export answers 1 even when there is no display to show the
        # dialog on; it says so only by posting notice 4 to the owner.
        self._call(function, int(parent))
        posted = [int(lparam) for message, _, lparam in self._owner.drain() if message == WM_ERROR]
        if 4 in posted:
            raise PelnikError(_codes.ERR_WINDOW, function, "no display to show the dialog on")

    def start_recording(self, path: Union[str, os.PathLike], seconds: float) -> Path:
        """Start recording an uncompressed AVI movie (Pelnik_Record) and return at once.

        Acquisition is started if none runs. The recording ends by itself
        `seconds` after its first frame, or at :meth:`stop` or close; every
        ending leaves a complete movie. A negative `seconds` records until
        stopped.
        """
        path = Path(path)
        if not self._lib.has("Pelnik_Record"):
            raise PelnikError(_codes.ERR_UNSUPPORTED, "Pelnik_Record", "this library has no recorder")
        # Unsigned milliseconds; all bits set records until stopped.
        duration_ms = 0xFFFFFFFF if seconds < 0 else min(int(round(seconds * 1000)), 0xFFFFFFFE)
        # The C argument is an int holding the unsigned value's bits.
        self._call("Pelnik_Record", os.fsencode(path), ctypes.c_int32(duration_ms).value, 0)
        return path

    def record(self, path: Union[str, os.PathLike], seconds: float, margin: float = 10.0) -> "Recording":
        """Record an uncompressed AVI movie of `seconds` and return when it is finished.

        Waits for the SDK's end-of-recording message; if it has not come
        `margin` seconds after the duration, the recording is stopped (and
        so finished). An acquisition the recording started is stopped
        afterwards. A recording that ended because the disk refused a write
        or the camera was lost raises PelnikError (12 or 13).
        """
        streaming_before = self._streaming
        path = self.start_recording(path, seconds)
        deadline = time.monotonic() + max(seconds, 0) + margin
        end = self._wait_record_end(deadline)
        if end is None:
            self._lib.Pelnik_StopPreview(self.handle)
            end = self._wait_record_end(time.monotonic() + margin)
        if not streaming_before:
            self._lib.Pelnik_StopPreview(self.handle)
        if end is None:
            raise PelnikError(_codes.ERR_NONE, "Pelnik_Record", "no end-of-recording message")
        reason, frames = end
        recording = Recording(path, frames, _RECORD_ENDINGS.get(reason, f"ending {reason}"))
        if reason in _RECORD_FAILURES:
            raise PelnikError(_RECORD_FAILURES[reason], "Pelnik_Record", f"{recording.ended} after {frames} frames")
        return recording

    def _wait_record_end(self, deadline: float) -> Optional[Tuple[int, int]]:
        """(how it ended, frames) from the end-of-recording message, or None at the deadline."""
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            message = self._owner.get(left)
            if message is not None and message[0] == WM_RECORD_END:
                return message[1], message[2]


class Recording(NamedTuple):
    """A finished movie: its file, the frames in it, and how the recording ended."""

    path: Path
    frames: int
    ended: str


# How a recording ended (wParam of the end-of-recording message), and the
# endings that are failures with the error code the SDK raised for them.
_RECORD_ENDINGS = {
    _codes.RECORD_END_DURATION: "duration",
    _codes.RECORD_END_STOPPED: "stopped",
    _codes.RECORD_END_WRITE_FAILED: "write failed",
    _codes.RECORD_END_SIZE_LIMIT: "size limit",
    _codes.RECORD_END_CAMERA_LOST: "camera lost",
    _codes.RECORD_END_PICTURE_CHANGED: "picture changed",
}
_RECORD_FAILURES = {
    _codes.RECORD_END_WRITE_FAILED: _codes.ERR_FILE,
    _codes.RECORD_END_CAMERA_LOST: _codes.ERR_STOPPED,
}


class _Stream:
    """One running acquisition that announces its frames to a target of its own."""

    def __init__(self, camera: Camera, function: str) -> None:
        if camera._streaming:
            raise PelnikError(_codes.ERR_NO_DEVICE, function, "a stream of this camera is already running")
        self.camera = camera
        self.function = function
        self.target = MessageTarget(camera._lib)
        try:
            camera._call(function, self.target.handle, None, 0, _ROW_ORDER_TOP_FIRST)
        except BaseException:
            self.target.close()
            raise
        camera._streaming = True

    def __enter__(self) -> "_Stream":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        camera = self.camera
        if camera._streaming:
            camera._streaming = False
            if not camera.closed:
                camera._lib.Pelnik_StopPreview(camera._handle)
        self.target.close()

    def next_picture(self, timeout: Optional[float], out: Optional[object] = None) -> Optional[np.ndarray]:
        """The newest picture once a frame message arrives; None on time-out."""
        first = self.target.get(timeout)
        if first is None:
            return None
        info: Optional[Tuple[int, int, int]] = None
        for message, wparam, lparam in [first] + self.target.drain():
            if message != WM_FRAME:
                continue
            if wparam == 0:
                if lparam == _FRAME_FAILED:
                    warnings.warn(PelnikError(lparam, self.function, "frame skipped"), RuntimeWarning, 2)
                    continue
                raise PelnikError(lparam, self.function)
            record = ctypes.cast(wparam, ctypes.POINTER(PelnikFrameInfo)).contents
            info = (record.width, record.height, record.bitsPerPixel)
        if info is None:
            return None
        return self.camera._picture(*info, out=out)

    def pictures(
        self, count: Optional[int], timeout: Optional[float], out: Optional[object] = None
    ) -> Iterator[np.ndarray]:
        delivered = 0
        deadline_span = timeout
        while count is None or delivered < count:
            started = time.monotonic()
            picture = None
            while picture is None:
                left = None if deadline_span is None else deadline_span - (time.monotonic() - started)
                if left is not None and left <= 0:
                    raise FrameTimeout(deadline_span, self.function)
                picture = self.next_picture(left, out)
            delivered += 1
            yield picture
