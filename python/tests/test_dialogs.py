"""The settings dialogs through the binding, on an X server of the test's own.

A display is required: without Xvfb these tests fail rather than skip.
"""

from __future__ import annotations

import os
import subprocess
import threading
import time

import pytest

import pelnik

# Where the analog dialog puts its controls (window coordinates).
_MIRROR_V = (40, 45 + 6 * 46 + 31)
_OK = (197, 444)
_CANCEL = (302, 444)


@pytest.fixture(scope="module")
def display():
    """A private Xvfb for the module; DISPLAY points at it meanwhile.

    One server for all: the library's dialogs keep their display connection
    for the life of the process, and a server that went away ends them.
    """
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_end,),
        stderr=subprocess.DEVNULL,
    )
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()
    assert number, "Xvfb did not start"
    before = os.environ.get("DISPLAY")
    os.environ["DISPLAY"] = f":{number}"
    yield f":{number}"
    if before is None:
        os.environ.pop("DISPLAY", None)
    else:
        os.environ["DISPLAY"] = before
    server.terminate()
    server.wait(10)


def _xdotool(*arguments: str) -> str:
    return subprocess.run(["xdotool", *arguments], check=True, capture_output=True, text=True).stdout


def _dialog_window(timeout: float = 15.0) -> str:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Property$"], capture_output=True, text=True, check=False
        ).stdout.split()
        if found:
            return found[0]
        time.sleep(0.05)
    raise AssertionError("no dialog appeared")


def _click(window: str, where: tuple[int, int]) -> None:
    _xdotool("mousemove", "--window", window, str(where[0]), str(where[1]), "click", "1")


class _DialogThread(threading.Thread):
    """Runs one dialog call; the dialog is modal on this thread."""

    def __init__(self, show) -> None:
        super().__init__(daemon=True)
        self.show = show
        self.error: BaseException | None = None
        self.start()

    def run(self) -> None:
        try:
            self.show()
        except BaseException as e:  # pylint: disable=broad-exception-caught  # handed to the test thread
            self.error = e

    def finish(self, timeout: float = 15.0) -> None:
        self.join(timeout)
        assert not self.is_alive(), "the dialog call did not return"
        if self.error:
            raise self.error


def _eventually(condition, timeout: float = 10.0) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


# First in the module: once the library's dialogs hold a display connection
# they keep it, whatever DISPLAY says later.
def test_without_a_display_the_dialogs_raise_code_4(cam, monkeypatch):
    monkeypatch.delenv("DISPLAY", raising=False)
    for show in (cam.analog_dialog, cam.image_dialog, cam.camera_dialog):
        with pytest.raises(pelnik.PelnikError) as raised:
            show()
        assert raised.value.code == 4


@pytest.mark.parametrize("button, kept", [(_OK, True), (_CANCEL, False)], ids=["ok", "cancel"])
def test_analog_dialog_applies_at_once_and_ok_keeps_what_cancel_undoes(cam, display, button, kept):
    cam.mirror_v = False
    call = _DialogThread(cam.analog_dialog)
    window = _dialog_window()
    _click(window, _MIRROR_V)
    # The dialog sets the camera while it is open; other threads see it.
    assert _eventually(lambda: cam.mirror_v)
    _click(window, button)
    call.finish()
    assert cam.mirror_v == kept
