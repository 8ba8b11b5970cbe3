"""The exception every failure of the SDK is raised as."""

from __future__ import annotations

from typing import Optional

# What the SDK's error codes mean, as the public header describes them.
MEANINGS: dict[int, str] = {
    0: "failed without an error code",
    1: "no device, or wrong state for the call",
    2: "camera absent or claimed by another process",
    3: "worker thread could not be started",
    4: "window or size preset unavailable",
    5: "memory or buffer too small",
    6: "device input/output",
    7: "invalid video format",
    8: "frame acquisition failed",
    9: "invalid argument",
    11: "not supported by this camera model",
    12: "file error",
    13: "camera stopped delivering frames",
}


def meaning(code: int) -> str:
    """The meaning of an SDK error code."""
    return MEANINGS.get(code, f"unknown error code {code}")


class PelnikError(Exception):
    """A failed SDK call.

    ``code`` is the SDK's error code (0 when the SDK gave none), ``meaning``
    what it stands for, ``function`` the C function that failed.
    """

    def __init__(self, code: int, function: str = "", detail: Optional[str] = None) -> None:
        self.code = int(code)
        self.meaning = meaning(self.code)
        self.function = function
        self.detail = detail
        text = f"error {self.code}: {self.meaning}"
        if function:
            text = f"{function} failed: {text}"
        if detail:
            text += f" ({detail})"
        super().__init__(text)


class FrameTimeout(PelnikError, TimeoutError):
    """No frame arrived within the time allowed (code 13)."""

    def __init__(self, seconds: float, function: str = "") -> None:
        super().__init__(13, function, f"no frame within {seconds:g} s")
