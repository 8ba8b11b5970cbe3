"""The fault matrix's Python row: frames() against each fault the virtual
camera can inject, then healing. Whatever the fault, no call waits past the
documented limits, only the documented codes are raised, and the same Camera
object streams again once the camera heals. Each case prints a
"fault-matrix |" row for the notes.
"""

from __future__ import annotations

import time

import pytest

import pelnik
from pelnik import _codes

# The longest a call may block: the frame wait given to frames() plus the
# camera's own read time-out, with room for a loaded machine.
CALL_LIMIT_S = 10.0
DOCUMENTED = {_codes.ERR_NO_DEVICE, _codes.ERR_IO, _codes.ERR_ACQUISITION, _codes.ERR_STOPPED}
FAULTS = ["unplug", "stall", "short-read", "short-reads", "fail-commands", "kill"]


class Observed:
    """Codes raised and the longest call seen."""

    def __init__(self) -> None:
        self.codes: set[int] = set()
        self.longest = 0.0

    def call(self, action):
        start = time.monotonic()
        try:
            return action()
        except pelnik.PelnikError as error:
            self.codes.add(error.code)
            raise
        finally:
            self.longest = max(self.longest, time.monotonic() - start)


def inject(virtcam, fault: str) -> None:
    if fault == "kill":
        virtcam.kill_and_restart()
    else:
        virtcam.ctl(fault)


def heal(virtcam) -> None:
    deadline = time.monotonic() + 10
    while True:  # a restarted virtual camera takes a moment to listen
        try:
            virtcam.ctl("heal")
            return
        except Exception:  # pylint: disable=broad-except
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


@pytest.mark.parametrize("fault", FAULTS)
def test_frames_under_a_fault_raise_documented_codes_and_stream_again_after_healing(virtcam, fault, capsys):
    seen = Observed()
    with pelnik.Camera(0) as cam:
        cam.wait_time = 0
        stream = cam.frames(timeout=1.0)
        seen.call(lambda: next(stream))

        inject(virtcam, fault)
        delivered = 0
        fault_ends = time.monotonic() + 2.5
        while time.monotonic() < fault_ends:
            try:
                seen.call(lambda: next(stream))
                delivered += 1
            except pelnik.PelnikError:
                break  # the stream ended on the fault
        stream.close()

        heal(virtcam)
        # A stream that ended on the fault is started again, as an
        # application that saw the error would.
        recovered = False
        deadline = time.monotonic() + 15
        while not recovered and time.monotonic() < deadline:
            again = cam.frames(timeout=3.0)
            try:
                seen.call(lambda: next(again))
                recovered = True
            except pelnik.PelnikError:
                time.sleep(0.2)
            finally:
                again.close()

    codes = ",".join(str(c) for c in sorted(seen.codes)) or "-"
    with capsys.disabled():  # the row is for the notes, shown by ctest -V
        print(
            f"fault-matrix | {'python frames()':15} | {fault:16} | {delivered:3} pictures | codes {codes:12} "
            f"| longest call {seen.longest * 1000:5.0f} ms | {'recovered' if recovered else 'NOT recovered'}"
        )
    assert recovered, "the camera object did not stream again after healing"
    assert seen.longest <= CALL_LIMIT_S
    assert seen.codes <= DOCUMENTED
