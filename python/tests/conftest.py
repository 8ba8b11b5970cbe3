"""A virtual camera for the tests, in private runtime and settings directories.

The program is taken from PELNIK_VIRTCAM (ctest sets it to the one built
beside the library), else from PATH.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

# Private directories before the library is loaded: it finds the cameras and
# the settings store through them.
_ROOT = Path(tempfile.mkdtemp(prefix="pelnik-pytest-"))
os.environ["XDG_RUNTIME_DIR"] = str(_ROOT / "run")
os.environ["XDG_CONFIG_HOME"] = str(_ROOT / "config")
(_ROOT / "run").mkdir(mode=0o700)
(_ROOT / "config").mkdir()

VIRTCAM = os.environ.get("PELNIK_VIRTCAM") or shutil.which("pelnik-virtcam") or "pelnik-virtcam"


class VirtualCamera:
    """pelnik-virtcam serving cameras 0 and 2, with its control commands."""

    def __init__(self) -> None:
        self.directory = _ROOT / "run" / "pelnik"
        self.process = self._spawn()
        deadline = time.monotonic() + 10
        while not (self.directory / "pelnik-virtcam.control").exists():
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"{VIRTCAM} did not start")
            time.sleep(0.02)

    @staticmethod
    def _spawn() -> subprocess.Popen:
        return subprocess.Popen([VIRTCAM, "--cameras", "0,2", "--quiet"], stdout=subprocess.DEVNULL)

    def kill_and_restart(self) -> None:
        """SIGKILL (its sockets are left behind), then a new virtual camera."""
        self.process.kill()
        self.process.wait(10)
        self.process = self._spawn()

    def ctl(self, action: str, camera: int = 0) -> None:
        subprocess.run([VIRTCAM, "ctl", action, str(camera)], check=True)

    def stop(self) -> None:
        self.process.terminate()
        self.process.wait(10)


@pytest.fixture(scope="session")
def virtcam():
    camera = VirtualCamera()
    yield camera
    camera.stop()
    shutil.rmtree(_ROOT, ignore_errors=True)


@pytest.fixture
def cam(virtcam):
    import pelnik

    with pelnik.Camera(0) as camera:
        camera.wait_time = 0
        yield camera
    virtcam.ctl("heal", 0)


def read_stamp(row) -> tuple[int, int] | None:
    """(frame number, camera) of the virtual camera's stamp at the start of a row."""
    import numpy as np

    samples = np.asarray(row[:8], dtype=np.int64)
    if row.dtype == np.uint16:
        if np.any(samples & 0xFC03):
            return None
        samples = samples >> 2
    data = [int(v) for v in samples]
    if data[0] != ord("P") or data[1] != ord("N"):
        return None
    check = 0xFF
    for value in data[:7]:
        check ^= value
    if check != data[7]:
        return None
    return data[2] | data[3] << 8 | data[4] << 16 | data[5] << 24, data[6]
