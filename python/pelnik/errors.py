"""The exception every failure of the SDK is raised as."""

from __future__ import annotations

from typing import Optional

from . import _codes

# What the SDK's error codes mean, in the words every tool prints.
MEANINGS: dict[int, str] = dict(_codes.ERROR_TEXTS)


def meaning(code: int) -> str:
    """The meaning of an SDK error code."""
    return MEANINGS.get(code, _codes.UNKNOWN_ERROR_TEXT)


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
        # The same form as the tools print: the failure in words, the code in brackets.
        text = f"{self.meaning} (error {self.code})"
        if detail:
            text = f"{detail}: {text}"
        if function:
            text = f"{function}: {text}"
        super().__init__(text)


class FrameTimeout(PelnikError, TimeoutError):
    """No frame arrived within the time allowed (code 13)."""

    def __init__(self, seconds: float, function: str = "") -> None:
        super().__init__(_codes.ERR_STOPPED, function, f"no frame within {seconds:g} s")
