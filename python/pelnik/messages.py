"""Message targets: where the SDK posts error notices and frame messages."""

from __future__ import annotations

import ctypes
import weakref
from typing import Optional, Tuple

from . import _codes
from ._library import Library, PelnikMsg, library
from .errors import PelnikError

WM_FRAME = _codes.WM_FRAME
WM_ERROR = _codes.WM_ERROR
WM_RECORD_END = _codes.WM_RECORD_END


def _destroy(lib: Library, handle: int) -> None:
    lib.PelnikMsg_DestroyWindow(handle)


class MessageTarget:
    """A message target of the SDK, destroyed by :meth:`close` or when collected."""

    def __init__(self, lib: Optional[Library] = None) -> None:
        self._lib = lib or library()
        self.handle: int = self._lib.PelnikMsg_CreateWindow()
        if self.handle == 0:
            raise PelnikError(_codes.ERR_MEMORY, "PelnikMsg_CreateWindow")
        self._finalizer = weakref.finalize(self, _destroy, self._lib, self.handle)

    @property
    def closed(self) -> bool:
        return not self._finalizer.alive

    def close(self) -> None:
        """Destroy the target; messages still queued are dropped."""
        self._finalizer()

    def fileno(self) -> int:
        """A descriptor readable exactly while messages wait (do not read or close it)."""
        fd = self._lib.PelnikMsg_Fd(self.handle)
        if fd < 0:
            raise PelnikError(_codes.ERR_NO_DEVICE, "PelnikMsg_Fd", "message target destroyed")
        return fd

    def get(self, timeout: Optional[float]) -> Optional[Tuple[int, int, int]]:
        """The next message as (message, wParam, lParam), or None on time-out.

        ``timeout`` in seconds; None waits without limit, 0 only looks.
        """
        msg = PelnikMsg()
        ms = -1 if timeout is None else max(0, int(round(timeout * 1000)))
        got = self._lib.PelnikMsg_Get(self.handle, ctypes.byref(msg), ms)
        if got < 0:
            raise PelnikError(_codes.ERR_NO_DEVICE, "PelnikMsg_Get", "message target destroyed")
        if got == 0:
            return None
        return int(msg.message), int(msg.wParam), int(msg.lParam)

    def drain(self) -> list:
        """Every message waiting now, oldest first."""
        out = []
        while True:
            m = self.get(0)
            if m is None:
                return out
            out.append(m)

    def __enter__(self) -> "MessageTarget":
        return self

    def __exit__(self, *exc) -> None:
        self.close()
